// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/task.h"

#include <QString>
#include <QStringList>

#include <optional>

class CliSession;

// Finding the rate a modem runs at, for --baud auto: one harmless question (the modem type) at
// each rate in turn on the open port, first the rate that last worked for this device, then
// the factory rate, 9600, then the rest. Each try waits no longer than its bytes need at its
// rate plus the modem's time to answer, so a silent port is given up within about 2 s; and
// nothing but that question goes out until a rate is found.
namespace RateSearch {

[[nodiscard]] QStringList candidates(const QString &device);

// The rate found, and now in use on the port (and remembered for `device`); nothing when no
// rate got an answer.
Task<std::optional<QString>> find(CliSession &session, QString device);

} // namespace RateSearch
