// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

struct CliOptions;

// `korvanet export`: a modem's settings as a profile, of one modem or several side by side.
int runExport(const CliOptions &options);
