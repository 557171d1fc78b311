// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/task.h"

#include <QString>

#include <functional>

class Unit;
struct CliOptions;

// A bench that takes modem after modem (--wait): serial devices are watched as they come; each
// new one is waited for until it can be opened, and `work` runs on it at the rate it is found
// at, beside any other still at work, while the watch goes on. The devices there at the start
// are left alone, unless --port names them. Ctrl-C (or SIGTERM, SIGHUP) ends the bench: a unit
// still at work is cut short with its progress said, and a summary tells the units done,
// confirmed and failed. The exit status is the worst unit's, or 128 + the signal's number when
// a unit was cut short.
int runAsTheyCome(const CliOptions &options, const QString &frontEnd,
                  const std::function<Task<int>(Unit &)> &work);

// The options of a bench run: each modem's rate is found, unless --baud names it.
[[nodiscard]] CliOptions benchOptions(const CliOptions &options);
