// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/profile.h"

#include "cli/commandfile.h"
#include "modem/commands.h"
#include "platform/escaping.h"
#include "platform/fdio.h"
#include "serial/baudrates.h"
#include "session/termination.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

namespace {

const QString headerTitle = QStringLiteral("# Korvanet profile");

struct HeaderField
{
    const char *label;
    QString Profile::Header::*field;
};

const HeaderField headerFields[] = {
    { "modem type", &Profile::Header::modemType },
    { "serial number", &Profile::Header::serialNumber },
    { "firmware", &Profile::Header::firmware },
    { "port", &Profile::Header::port },
};

// "# modem type: UHF MODEM 2W" fills the header's modem type.
void readHeaderLine(const QByteArray &line, Profile::Header &header)
{
    for (const HeaderField &field : headerFields) {
        const QByteArray prefix = QByteArray("# ") + field.label + ": ";
        if (line.startsWith(prefix))
            header.*field.field = QString::fromUtf8(line.mid(prefix.size())).trimmed();
    }
}

} // namespace

namespace Profile {

std::optional<Contents> read(const QString &path, QStringList *errors)
{
    const CommandFile::Contents file =
            CommandFile::read(path, [] { return Termination::pending() != 0; });
    if (!file.error.isEmpty()) {
        errors->append(file.error);
        return std::nullopt;
    }
    Contents contents;
    contents.sha256 = QCryptographicHash::hash(file.bytes, QCryptographicHash::Sha256).toHex();
    for (const QByteArray &line : file.bytes.split('\n'))
        readHeaderLine(line.trimmed(), contents.header);

    const QString where = path + QStringLiteral(":%1: ");
    QList<Entry> found;
    for (const CommandFile::Line &line : CommandFile::fromFile(file.bytes)) {
        if (const QString refusal = CommandFile::refusalFor(line, false); !refusal.isEmpty()) {
            errors->append(where.arg(line.number) + refusal);
            continue;
        }
        const ModemSetting *setting = settingOf(line.text);
        if (!setting) {
            errors->append(where.arg(line.number)
                           + QStringLiteral("%1 is no setting; a profile holds settings only, "
                                            "and apply disables, enables and saves itself")
                                     .arg(line.text));
            continue;
        }
        const QString value = line.text.sliced(qstrlen(setting->setting));
        for (const Entry &earlier : std::as_const(found)) {
            if (earlier.setting == setting) {
                errors->append(where.arg(line.number)
                               + QStringLiteral("the %1 again (first on line %2)")
                                         .arg(QLatin1StringView(setting->name))
                                         .arg(earlier.line));
            }
        }
        if (setting->reading == ModemSetting::Reading::SerialParams
            && !portSettingsForBaudText(value.section(u',', 0, 0))) {
            errors->append(where.arg(line.number)
                           + QStringLiteral("the rate %1 is none of %2, so the PC could not "
                                            "follow the modem to it")
                                     .arg(value.section(u',', 0, 0), BaudRates::spelledOut()));
        }
        found.append({ setting, value, line.number });
    }
    if (found.isEmpty() && errors->isEmpty())
        errors->append(path + QStringLiteral(" holds no setting"));
    if (!errors->isEmpty())
        return std::nullopt;
    // The table's order, whatever the file's: the serial params go last.
    for (const ModemSetting &setting : modemSettings()) {
        for (const Entry &entry : std::as_const(found)) {
            if (entry.setting == &setting)
                contents.entries.append(entry);
        }
    }
    return contents;
}

QByteArray text(const Header &header, const QStringList &lines)
{
    const QDateTime local = QDateTime::currentDateTime();
    const QDateTime now = local.toOffsetFromUtc(local.offsetFromUtc());
    QByteArray bytes = headerTitle.toUtf8() + '\n';
    for (const HeaderField &field : headerFields) {
        // A modem's reply goes into a comment: escaped, so it can never end the comment.
        bytes += QByteArray("# ") + field.label + ": " + escapedText(header.*field.field) + '\n';
    }
    bytes += "# date: " + now.toString(Qt::ISODate).toLatin1() + '\n';
    for (const QString &line : lines)
        bytes += line.toUtf8() + '\n';
    return bytes;
}

QString write(const QString &path, const QByteArray &bytes)
{
    if (path == u"-") {
        if (writeAll(STDOUT_FILENO, bytes) != 0)
            return QStringLiteral("standard output: %1").arg(qt_error_string(errno));
        return {};
    }
    const QFileInfo target(path);
    QTemporaryFile temporary(target.absoluteDir().filePath(QStringLiteral(".korvanet-XXXXXX")));
    if (!temporary.open())
        return QStringLiteral("%1: %2").arg(path, temporary.errorString());
    // A profile is no secret: as readable as any file the user writes.
    temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                             | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (temporary.write(bytes) != bytes.size() || !temporary.flush()
        || ::fsync(temporary.handle()) != 0)
        return QStringLiteral("%1: %2").arg(path, temporary.errorString());
    QFile back(temporary.fileName());
    if (!back.open(QIODevice::ReadOnly) || back.readAll() != bytes)
        return QStringLiteral("%1: what was written did not read back the same").arg(path);
    // rename() replaces the old file in one step, so a reader finds the old or the new one.
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(path).constData())
        != 0)
        return QStringLiteral("%1: %2").arg(path, qt_error_string(errno));
    temporary.setAutoRemove(false);
    return {};
}

} // namespace Profile
