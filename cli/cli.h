// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command-line front end: `korvanet read`, `send`, `export`, `apply` and `commands`. It
// runs the same layers as the window (session/, modem/, serial/) without a window, so it
// needs no display.
namespace Cli {

// From the best outcome to the worst; a run of many modems ends with its worst unit's.
namespace ExitStatus {
inline constexpr int Ok = 0;
inline constexpr int Mismatch = 4; // a setting read back differs from the profile, or is unreadable
inline constexpr int NoReply = 3; // stopped: a reply did not come in time, said ERROR, or
        // came late or unasked
inline constexpr int Usage = 2; // wrong usage, or input refused (a command, a profile)
inline constexpr int PortFailure = 1; // a port could not be opened, or failed
} // namespace ExitStatus

// The worse of two exit statuses.
[[nodiscard]] int worse(int a, int b);

// Whether `argument`, the first one after the program's name, names a mode of this front end.
[[nodiscard]] bool isMode(const char *argument);

// Runs the mode named by argv[1]; returns the process's exit status.
int run(int argc, char *argv[]);

} // namespace Cli
