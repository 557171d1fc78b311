// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

struct CliOptions;

// `korvanet commands`: the vocabulary, with what each text does and its value's form.
int runCommands(const CliOptions &options);
