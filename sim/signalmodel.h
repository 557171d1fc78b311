// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

// Radio levels as the modem would measure them. Each reading moves a little from the last one
// so a graph of them looks like a real link fading in and out, not like white noise.
class SignalModel
{
public:
    static constexpr int weakestRssi = -115;
    static constexpr int strongestRssi = -65;
    static constexpr int lowestNoise = -125;
    static constexpr int highestNoise = -110;

    void pin(std::optional<int> dBm);
    [[nodiscard]] int nextRssi();
    [[nodiscard]] int nextNoise();

private:
    [[nodiscard]] int rssi() const { return m_pinned.value_or(m_rssi); }

    std::optional<int> m_pinned;
    int m_rssi = -90;
    int m_noise = -118;
};
