// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/settingsstore.h"

#include "platform/fdio.h"
#include "session/settingsfile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace SettingsStore {
namespace {

enum Trouble { Unreadable = 1, Damaged = 2, Unwritable = 4 };

// On standard error, once a run for each kind of trouble: a box at every pick would stand in
// the way, and the window keeps the choice for the run all the same.
void tellOnce(Trouble trouble, const QString &text)
{
    static int told = 0;
    if (told & trouble)
        return;
    told |= trouble;
    std::fprintf(stderr, "korvanet: %s\n", qPrintable(text));
}

QString path(const QString &section, const QString &name)
{
    return section + u'/' + name;
}

// The n of a key "COMn"; 0 for any other key.
int comNumberOf(QStringView key)
{
    bool isNumber = false;
    const int number = key.mid(3).toInt(&isNumber);
    return key.startsWith(u"COM") && isNumber && number > 0 ? number : 0;
}

// Set by keepInMemory(): the store for this run, by section/key.
std::optional<QHash<QString, QString>> &memory()
{
    static std::optional<QHash<QString, QString>> store;
    return store;
}

// Where QSettings("Korvanet", "Korvanet") keeps its file, found without opening it.
QString storeFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/Korvanet/Korvanet.conf");
}

// Qt's reader opens the file blocking and reads all of it: a FIFO there would hold the run
// for good, a device would be read without end. What is not a regular file of a size settings
// can take is left alone; a link is followed, the folder being the user's own. Empty when the
// file may be handed to Qt, or is not there yet; otherwise what it is.
QString notAFile()
{
    constexpr qint64 Largest = 64 * 1024 * 1024;
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(storeFile()).constData(), &st) != 0)
        return {};
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("it is %1, not a file").arg(fileKind(st.st_mode));
    if (st.st_size > Largest) {
        return QStringLiteral("it is %1 bytes long, more than settings ever take")
                .arg(qint64(st.st_size));
    }
    return {};
}

// Whether the store's file may be read; when not, the user is told once.
bool mayRead()
{
    const QString why = notAFile();
    if (!why.isEmpty()) {
        tellOnce(Unreadable,
                 QStringLiteral("cannot read the settings in %1: %2; the last port and rate and "
                                "the \"Ports\" entries are not known.")
                         .arg(storeFile(), why));
    }
    return why.isEmpty();
}

// The file's own lines, and whether Qt's reader can be trusted with them.
SettingsFileLines inspect(const QSettings &store)
{
    QFile file(store.fileName());
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        tellOnce(Unreadable,
                 QStringLiteral("cannot read the settings in %1: %2; the last port and "
                                "rate and the \"Ports\" entries are not known.")
                         .arg(file.fileName(), file.errorString()));
        return {};
    }
    SettingsFileLines lines = readSettingsLines(file.readAll());
    if (lines.damage.isEmpty() && store.status() == QSettings::FormatError)
        lines.damage = QStringLiteral("it is not in INI form");
    if (!lines.damage.isEmpty()) {
        tellOnce(Damaged,
                 QStringLiteral("the settings file %1 is damaged (%2); its \"Ports\" "
                                "entries are read line by line.")
                         .arg(file.fileName(), lines.damage));
    }
    return lines;
}

// Qt says only that it could not write; the system says why.
QString whyNotWritable(const QString &fileName)
{
    if (::access(QFile::encodeName(fileName).constData(), W_OK) != 0 && errno != ENOENT)
        return QString::fromLocal8Bit(std::strerror(errno));
    const QString folder = QFileInfo(fileName).absolutePath();
    if (::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return QStringLiteral("%1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    return QStringLiteral("the system gave no reason");
}

} // namespace

File::File() : QSettings(QStringLiteral("Korvanet"), QStringLiteral("Korvanet")) { }

// A QSettings per call: Qt shares the parsed file between instances, and a fresh one sees
// what another process (a second window, a test) wrote in the meantime.
QString read(const QString &section, const QString &name, const QString &fallback)
{
    if (memory())
        return memory()->value(path(section, name), fallback);
    if (!mayRead())
        return fallback;
    const File store;
    (void)inspect(store);
    const QVariant value = store.value(path(section, name));
    // Only strings are ever written here. Anything else (a list, a rectangle from a hand-
    // edited file) reads as an empty text, which would stand in for the user's choice.
    return value.typeId() == QMetaType::QString ? value.toString() : fallback;
}

void write(const QString &section, const QString &name, const QString &value)
{
    if (memory()) {
        memory()->insert(path(section, name), value);
        return;
    }
    if (const QString why = notAFile(); !why.isEmpty()) {
        tellOnce(Unwritable,
                 QStringLiteral("cannot save the settings in %1: %2; the choice holds for this "
                                "run only.")
                         .arg(storeFile(), why));
        return;
    }
    File store;
    const SettingsFileLines lines = inspect(store);
    store.setValue(path(section, name), value);
    // Qt writes back only what it could read: the "Ports" entries of a damaged file that it
    // lost would be gone for good.
    if (!lines.damage.isEmpty()) {
        for (auto it = lines.ports.cbegin(); it != lines.ports.cend(); ++it)
            store.setValue(QStringLiteral("Ports/COM%1").arg(it.key()), it.value());
    }
    store.sync();
    if (store.status() == QSettings::AccessError) {
        tellOnce(Unwritable,
                 QStringLiteral("cannot save the settings in %1: %2; the choice holds "
                                "for this run only.")
                         .arg(store.fileName(), whyNotWritable(store.fileName())));
    }
}

void keepInMemory()
{
    memory().emplace();
}

PortMap::Overrides portOverrides()
{
    if (memory()) {
        PortMap::Overrides overrides;
        for (auto it = memory()->cbegin(); it != memory()->cend(); ++it) {
            const int number = comNumberOf(it.key().section(u'/', 1));
            if (it.key().startsWith(u"Ports/") && number)
                overrides.insert(number, it.value());
        }
        return overrides;
    }
    if (!mayRead())
        return {};
    File store;
    const SettingsFileLines lines = inspect(store);
    if (!lines.damage.isEmpty())
        return lines.ports;
    PortMap::Overrides overrides;
    store.beginGroup(QStringLiteral("Ports"));
    for (const QString &name : store.childKeys()) {
        const QVariant device = store.value(name);
        if (const int number = comNumberOf(name); number && device.typeId() == QMetaType::QString)
            overrides.insert(number, device.toString());
    }
    return overrides;
}

} // namespace SettingsStore
