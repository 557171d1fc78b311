// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

struct CliOptions;

// `korvanet read`: every read-only question, once each; returns the exit status.
int runRead(const CliOptions &options);
