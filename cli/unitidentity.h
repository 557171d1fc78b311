// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/task.h"

#include <QString>

#include <optional>

class Unit;
struct CliOptions;

// Who a modem is, as it says itself: its answers to the modem type, serial number and
// firmware questions, escaped so that they are safe to print and to file.
struct UnitIdentity
{
    QString modemType;
    QString serialNumber;
    QString firmware;

    // "SN_10293847": the serial number as a file name, nothing in it but letters, digits, '.',
    // '-' and '_'.
    [[nodiscard]] QString fileStem() const;
};

// Asks the three questions; nothing, when one of them got no proper answer (said on stderr,
// and the exit status is in `status`).
Task<std::optional<UnitIdentity>> identify(Unit &unit, const CliOptions &options, int *status);
