// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/serialline.h"

#include <QRandomGenerator>

#include <algorithm>
#include <array>

namespace {

struct Rate
{
    int baud;
    speed_t speed;
};

constexpr std::array rates = {
    Rate{ 1200, B1200 },   Rate{ 2400, B2400 },   Rate{ 4800, B4800 },   Rate{ 9600, B9600 },
    Rate{ 19200, B19200 }, Rate{ 38400, B38400 }, Rate{ 57600, B57600 }, Rate{ 115200, B115200 },
};

} // namespace

namespace SerialLine {

bool isSupportedRate(int baud)
{
    return speedFor(baud) != 0;
}

speed_t speedFor(int baud)
{
    const auto it = std::find_if(rates.begin(), rates.end(),
                                 [baud](const Rate &r) { return r.baud == baud; });
    return it == rates.end() ? 0 : it->speed;
}

int rateOf(speed_t speed)
{
    const auto it = std::find_if(rates.begin(), rates.end(),
                                 [speed](const Rate &r) { return r.speed == speed; });
    return it == rates.end() ? 0 : it->baud;
}

QByteArray garble(qsizetype sentBytes)
{
    QByteArray noise(std::max<qsizetype>(1, sentBytes / 2), Qt::Uninitialized);
    auto *random = QRandomGenerator::global();
    for (char &byte : noise) {
        // A break reads as 0x00; otherwise the stop bit lands where the top data bit should be.
        byte = random->bounded(8) == 0 ? '\0' : char(0x80 | random->bounded(0x80));
    }
    return noise;
}

} // namespace SerialLine
