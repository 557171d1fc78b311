// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/form1.h"

#include <span>

// Which button sends which command. The controls are named by member pointers, so a button
// or a box the window does not have cannot build.

// A button whose whole job is to empty the log and send one constant command.
struct FixedCommandButton
{
    ColourButton *const Form1::*button;
    const char *command;
};

// A button that empties the log and sends a setting with the text of its box, as typed.
struct ValueCommandButton
{
    ColourButton *const Form1::*button;
    QLineEdit *const Form1::*valueBox;
    const char *prefix;
};

[[nodiscard]] std::span<const FixedCommandButton> fixedCommandButtons();
[[nodiscard]] std::span<const ValueCommandButton> valueCommandButtons();
