// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/commands.h"

#include <span>

// The questions the modem answers without changing anything, each named by the caption of
// the window's button that asks it: the window shows the names on its buttons, and
// `korvanet read` prints them beside the answers.
struct Question
{
    const char *command;
    const char *caption;
};

namespace Questions {
inline constexpr Question ModemType{ Commands::ModemType, "Get modem type" };
inline constexpr Question SerialNumber{ Commands::SerialNumber, "Get serial number" };
inline constexpr Question FirmwareRevision{ Commands::FirmwareRevision, "Get fw revision" };
inline constexpr Question RxFrequency{ Commands::RxFrequency, "Get Rx freq" };
inline constexpr Question TxFrequency{ Commands::TxFrequency, "Get Tx freq" };
inline constexpr Question RefFrequency{ Commands::RefFrequency, "Get Ref freq" };
inline constexpr Question ChannelSpacing{ Commands::ChannelSpacing, "Get CH spacing" };
inline constexpr Question FecStatus{ Commands::FecStatus, "Get FEC status" };
inline constexpr Question RepeaterMode{ Commands::RepeaterMode, "Get repeater mode" };
inline constexpr Question SerialParams{ Commands::SerialParams, "Get serial params" };
inline constexpr Question OutputPower{ Commands::OutputPower, "Get output power" };
inline constexpr Question CompatibilityMode{ Commands::CompatibilityMode, "Get compatib. mode" };
inline constexpr Question NoiseLevel{ Commands::NoiseLevel, "Get noise level" };
inline constexpr Question Rssi{ Commands::Rssi, "Get RSSI level" };
} // namespace Questions

// Every question, in the order of the window's panels: the modem, the frequencies and the
// channel, the serial line, then the extended settings and the signal.
[[nodiscard]] std::span<const Question> readOnlyQuestions();
