// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/settings.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A profile: a modem's settings as a file in `korvanet send`'s own format, one setting text per
// line, the serial params last, under a header of comments that names the unit it came from:
//
//   # Korvanet profile
//   # modem type: UHF MODEM 2W
//   # serial number: SN 10293847
//   ...
//   QM&FR=430.32500
namespace Profile {

struct Header
{
    QString modemType;
    QString serialNumber;
    QString firmware;
    QString port;
};

struct Entry
{
    const ModemSetting *setting = nullptr;
    QString value; // what goes after the setting's "="
    int line = 0;
};

struct Contents
{
    Header header;
    QList<Entry> entries; // in the table's order: the serial params last
    QByteArray sha256; // of the file's bytes, in hex
};

// Reads and checks a profile as apply takes it: a command file (bounded, vetted like any
// other), holding settings of the table only, each once, the serial params at one of the six
// rates so that the PC's side can follow the modem. Nothing, with every reason said on
// `errors` ("FILE:LINE: ..."), otherwise.
[[nodiscard]] std::optional<Contents> read(const QString &path, QStringList *errors);

// The file's text for `lines` (setting texts, or comments for values that could not be read)
// under `header`, with the date of now.
[[nodiscard]] QByteArray text(const Header &header, const QStringList &lines);

// Writes `bytes` to `path` so that it is there whole or not at all: under a temporary name in
// the same folder, read back and compared, then renamed over `path`. "-" is standard output.
// Empty on success, the reason otherwise.
[[nodiscard]] QString write(const QString &path, const QByteArray &bytes);

} // namespace Profile
