// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/questions.h"

namespace {

using namespace Questions;

constexpr Question questions[] = {
    ModemType,    SerialNumber,      FirmwareRevision, RxFrequency,  TxFrequency,
    RefFrequency, ChannelSpacing,    FecStatus,        RepeaterMode, SerialParams,
    OutputPower,  CompatibilityMode, NoiseLevel,       Rssi,
};

} // namespace

std::span<const Question> readOnlyQuestions()
{
    return questions;
}
