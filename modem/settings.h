// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>
#include <span>

// What the modem's replies to its settings' queries mean: for each of the nine settings a
// profile carries, its query, its setting text, and how a reply is read. This table is the one
// place to change when a real modem answers otherwise than the simulator does.
//
// A reply is read tolerantly: a number with or without its unit ("430.32500 MHz", "430.325"),
// a label before it where the modem puts one ("MODE 0"), a switch as ON/OFF or 1/0 (the
// repeater also as R/O). A reply that fits no rule is unreadable, never guessed.
struct ModemSetting
{
    enum class Reading {
        Frequency, // MHz: QM&FR=430.32500
        Spacing, // kHz, set as its hundreds: "12.5 kHz" is QM&W=1250
        Switch, // ON/OFF, 1/0: QM%F=1
        Repeater, // ON/OFF, R/O, 1/0: QM@M=R
        Milliwatts, // QM@P=1000
        Mode, // "MODE 0": QM@S=0
        SerialParams, // "19200,8,N,1": QM%B=19200,8,N,1
    };

    const char *name; // as output and records name it: "Rx frequency"
    const char *query;
    const char *setting; // the text up to and with its "="
    Reading reading;
};

// The nine, in the order a profile applies them: the serial params last, since they move the
// line itself.
[[nodiscard]] std::span<const ModemSetting> modemSettings();

// The setting whose text `commandText` is ("QM&FR=433.05" is Rx frequency); none for a text
// that sets nothing the table knows.
[[nodiscard]] const ModemSetting *settingOf(QStringView commandText);
// The setting whose query `query` is; none for a question about anything else.
[[nodiscard]] const ModemSetting *settingAskedBy(QStringView query);

// The value a reply to the setting's query states, written as the setting text's value
// ("430.32500 MHz" gives "430.32500", "FEC ON" gives "1"); nothing when it fits no rule.
[[nodiscard]] std::optional<QString> valueFromReply(const ModemSetting &setting,
                                                    QByteArrayView reply);

// Whether two values of the setting are the same: numbers compare as numbers (431.125 is
// 431.12500), a rate alone as the rate with any format.
[[nodiscard]] bool sameValue(const ModemSetting &setting, QStringView a, QStringView b);
