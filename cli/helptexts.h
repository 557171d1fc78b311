// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What `korvanet MODE --help` prints. %1 stands for the six rates, %2 for the default rate;
// the send help's %3 for the command texts.
namespace HelpTexts {
extern const char read[];
extern const char send[];
extern const char exportProfile[];
extern const char apply[];
extern const char commands[];
} // namespace HelpTexts
