// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringView>

#include <span>

// The modem's whole vocabulary. Every frame on the line is one of these texts (the
// settings with the user's value appended) followed by CR LF.
namespace Commands {
inline constexpr char ModemType[] = "QM%D?";
inline constexpr char SerialNumber[] = "QM%S?";
inline constexpr char FirmwareRevision[] = "QM%V?";
inline constexpr char RxFrequency[] = "QM&FR?";
inline constexpr char SetRxFrequency[] = "QM&FR=";
inline constexpr char TxFrequency[] = "QM&FT?";
inline constexpr char SetTxFrequency[] = "QM&FT=";
inline constexpr char RefFrequency[] = "QM&C?";
inline constexpr char SetRefFrequency[] = "QM&C=";
inline constexpr char ChannelSpacing[] = "QM&W?";
inline constexpr char ChannelSpacing12_5[] = "QM&W=1250";
inline constexpr char ChannelSpacing20[] = "QM&W=2000";
inline constexpr char ChannelSpacing25[] = "QM&W=2500";
inline constexpr char FecStatus[] = "QM%F?";
inline constexpr char FecOn[] = "QM%F=1";
inline constexpr char FecOff[] = "QM%F=0"; // the digit zero
inline constexpr char NoiseLevel[] = "QM@F?";
inline constexpr char Rssi[] = "QM@R?";
inline constexpr char OutputPower[] = "QM@P?";
inline constexpr char SetOutputPower[] = "QM@P=";
inline constexpr char CompatibilityMode[] = "QM@S?";
inline constexpr char SetCompatibilityMode[] = "QM@S=";
inline constexpr char RepeaterMode[] = "QM@M?";
inline constexpr char RepeaterOff[] = "QM@M=O"; // the letter O
inline constexpr char RepeaterOn[] = "QM@M=R";
inline constexpr char SerialParams[] = "QM%B?";
inline constexpr char SetSerialParams[] = "QM%B=";
inline constexpr char DisableTransmission[] = "QM+++";
inline constexpr char EnableTransmission[] = "QM++O"; // the letter O
inline constexpr char SaveSettings[] = "QM**>";
inline constexpr char FactoryDefaults[] = "QM*R>";
} // namespace Commands

// How a command text is built: a query ends in "?"; a setting carries "=" and a constant value;
// a value setting is the text up to its "=", sent with a value appended; an action has neither.
enum class CommandShape { Query, Setting, ValueSetting, Action };

// What a value setting takes after its "=": a decimal number (a frequency in MHz), a whole
// number (milliwatts, a mode), or a rate with the rest of a serial format after it
// ("9600,8,N,1", or the rate alone).
enum class ValueForm { None, DecimalNumber, WholeNumber, SerialFormat };

struct VocabularyEntry
{
    const char *text;
    CommandShape shape;
    const char *meaning; // what it reads or changes, as `korvanet commands` lists it
    ValueForm form = ValueForm::None;
};

// Whether `value` is written in `form`: digits and the form's own punctuation only, so no
// unit, blank, ";" or "#" can ride along with it.
[[nodiscard]] bool fitsForm(ValueForm form, QStringView value);
// The form as a user reads it: "a decimal number such as 430.32500".
[[nodiscard]] const char *formDescription(ValueForm form);

// All 31 texts, the value settings by the text up to their "=".
[[nodiscard]] std::span<const VocabularyEntry> vocabulary();

// What "?" shows beside the compatibility mode box: the six modes, joined by CR LF.
[[nodiscard]] const char *compatibilityModeList();
