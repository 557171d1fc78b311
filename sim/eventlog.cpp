// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/eventlog.h"

#include "sim/simulatedmodem.h"

#include <cstdio>

namespace {

// Keeps every event on one readable line whatever bytes the host sent.
QByteArray escaped(QByteArrayView bytes)
{
    QByteArray text;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code >= 0x20 && code < 0x7f && byte != '\\')
            text.append(byte);
        else
            text.append("\\x").append(QByteArray::number(code, 16).rightJustified(2, '0'));
    }
    return text;
}

QByteArray withoutLineEnd(const QByteArray &reply)
{
    return reply.endsWith("\r\n") ? reply.chopped(2) : reply;
}

} // namespace

namespace EventLog {

void print(QByteArrayView line)
{
    std::fwrite(line.data(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void follow(SimulatedModem &modem)
{
    QObject::connect(&modem, &SimulatedModem::frameReceived, &modem,
                     [](const QByteArray &text) { print("< " + escaped(text)); });
    QObject::connect(&modem, &SimulatedModem::replySent, &modem,
                     [](const QByteArray &bytes) { print("> " + escaped(withoutLineEnd(bytes))); });
    QObject::connect(&modem, &SimulatedModem::lineMismatched, &modem,
                     [](int hostRate) { print("mismatch " + QByteArray::number(hostRate)); });
    QObject::connect(&modem, &SimulatedModem::settingsSaved, &modem, [] { print("saved"); });
    QObject::connect(&modem, &SimulatedModem::factoryReset, &modem, [] { print("factory"); });
    QObject::connect(&modem, &SimulatedModem::serialRateChanged, &modem,
                     [](int baud) { print("rate " + QByteArray::number(baud)); });
}

} // namespace EventLog
