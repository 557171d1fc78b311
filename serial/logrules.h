// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the response log holds: everything received since it was last emptied, the text of
// each receive event followed by a CR LF of its own, and never more than LogLimit
// characters, CR LF counting as two.
namespace LogRules {

inline constexpr qsizetype LogLimit = 100;

// The log once a receive event has brought `received`.
[[nodiscard]] inline QString withReceived(const QString &log, const QString &received)
{
    return log + received + QStringLiteral("\r\n");
}

// A log past the limit is emptied whole, never trimmed: what stays is always a reply from
// its start.
[[nodiscard]] inline bool overLimit(const QString &log)
{
    return log.size() > LogLimit;
}

} // namespace LogRules
