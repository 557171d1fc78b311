// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

struct CliOptions;

// `korvanet apply`: a profile onto one modem or several side by side, with read-back.
int runApply(const CliOptions &options);
