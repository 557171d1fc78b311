// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// One row of a run's record: a CSV file (RFC 4180) that says which unit got what, and when.
// Several runs may append to one file at once: each row goes out in one write() to a file
// opened for appending, and the header row is written by whoever creates the file.
namespace Record {

inline const QStringList columns = {
    QStringLiteral("time"),           QStringLiteral("port"),
    QStringLiteral("device"),         QStringLiteral("adapter serial number"),
    QStringLiteral("modem type"),     QStringLiteral("serial number"),
    QStringLiteral("firmware"),       QStringLiteral("profile"),
    QStringLiteral("profile sha256"), QStringLiteral("changes"),
    QStringLiteral("result"),         QStringLiteral("saved"),
    QStringLiteral("transcript"),
};

// One line of CSV for `fields`: quoted where a field needs it, with every character outside
// printable ASCII escaped first, so that a modem's reply can never break the row.
[[nodiscard]] QByteArray row(const QStringList &fields);

// Appends `fields` (one for each of `columns`) to `path`; empty on success, the reason
// otherwise.
[[nodiscard]] QString append(const QString &path, const QStringList &fields);

} // namespace Record
