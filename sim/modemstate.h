// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/modemsettings.h"
#include "sim/signalmodel.h"

// Everything the modem keeps between commands, and the rules for what survives a power cycle.
struct ModemState
{
    ModemSettings current;
    ModemSettings saved;
    SignalModel signal;
    // The unit's own: no setting, so nothing changes it.
    QByteArray serialNumber = "SN 10293847";

    void save()
    {
        saved = current;
        saved.transmissionEnabled = ModemSettings().transmissionEnabled;
    }

    // Whether the modem transmits is not a setting, so a factory reset leaves it alone.
    void restoreFactoryDefaults()
    {
        const bool transmitting = current.transmissionEnabled;
        current = saved = ModemSettings();
        current.transmissionEnabled = transmitting;
    }

    void powerCycle() { current = saved; }
};
