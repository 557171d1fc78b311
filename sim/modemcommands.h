// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/modemstate.h"

#include <QByteArray>
#include <QByteArrayView>

struct CommandOutcome
{
    enum class Effect { None, Saved, FactoryReset, SerialRateChanged };

    QByteArray reply; // one line, without the line end
    Effect effect = Effect::None;
};

// The modem's command language. Every line gets exactly one reply; a line that is not a
// well-formed command leaves the state as it was and gets errorReply.
[[nodiscard]] CommandOutcome executeCommand(QByteArrayView line, ModemState &state);

inline constexpr char errorReply[] = "ERROR";
