// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>

class SimulatedModem;

// The simulator's stdout, one flushed line per event, so a harness reading the pipe sees each
// event the moment it happens.
namespace EventLog {

void print(QByteArrayView line);
void follow(SimulatedModem &modem);

} // namespace EventLog
