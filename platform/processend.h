// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Ends the process at once, as "Close software" and a termination signal do: what is buffered
// for stdout and stderr goes out, and nothing else runs (no handler resumes, no destructor
// sends a frame).
[[noreturn]] void endProcessNow(int exitCode);
