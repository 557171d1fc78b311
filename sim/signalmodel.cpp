// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/signalmodel.h"

#include <QRandomGenerator>
#include <QtGlobal>

namespace {

// The gap kept between noise and signal, so a pinned weak signal still stands above the floor.
constexpr int noiseMargin = 5;

// Pinned levels stay two or three digits long: the utility reads at most three digits after
// the minus sign.
constexpr int weakestPin = -150;
constexpr int strongestPin = -10;

int step(int from, int maxStep, int lowest, int highest)
{
    const int delta = QRandomGenerator::global()->bounded(-maxStep, maxStep + 1);
    return qBound(lowest, from + delta, highest);
}

} // namespace

void SignalModel::pin(std::optional<int> dBm)
{
    m_pinned = dBm ? std::optional(qBound(weakestPin, *dBm, strongestPin)) : std::nullopt;
}

int SignalModel::nextRssi()
{
    m_rssi = step(m_rssi, 3, weakestRssi, strongestRssi);
    return rssi();
}

int SignalModel::nextNoise()
{
    m_noise = step(m_noise, 2, lowestNoise, highestNoise);
    return qMin(m_noise, rssi() - noiseMargin);
}
