// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

struct CliOptions;

// `korvanet send`: command texts in order, each with its reply; returns the exit status.
int runSend(const CliOptions &options);
