// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the modem remembers. A default-constructed value holds the factory settings, which is
// what "restore factory defaults" goes back to.
struct ModemSettings
{
    QString receiveFrequency = QStringLiteral("430.32500"); // MHz, always five decimals
    QString transmitFrequency = QStringLiteral("430.32500");
    QString referenceFrequency = QStringLiteral("430.00000");
    int channelSpacing = 1250; // kHz × 100, as the command carries it
    bool fecEnabled = true;
    int outputPower = 1000; // mW
    int compatibilityMode = 0;
    bool repeaterEnabled = false;
    int serialRate = 9600;
    QString serialFormat = QStringLiteral(",8,N,1");
    // Only ever lives in RAM: a power cycle always comes up transmitting.
    bool transmissionEnabled = true;

    friend bool operator==(const ModemSettings &, const ModemSettings &) = default;
};
