// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command-line front end: `korvanet read` and `korvanet send`. It runs the same core as
// the window (serial/, modem/) without a window, so it needs no display.
namespace Cli {

namespace ExitStatus {
inline constexpr int Ok = 0;
inline constexpr int PortFailure = 1;
inline constexpr int Usage = 2;
inline constexpr int NoReply = 3; // a reply did not come in time, or it said ERROR
} // namespace ExitStatus

// Whether `argument`, the first one after the program's name, names a mode of this front end.
[[nodiscard]] bool isMode(const char *argument);

// Runs the mode named by argv[1]; returns the process's exit status.
int run(int argc, char *argv[]);

} // namespace Cli
