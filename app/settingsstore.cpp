#include "app/settingsstore.h"

#include <QSettings>

namespace SettingsStore {
namespace {

QString path(const QString &section, const QString &name)
{
    return section + u'/' + name;
}

} // namespace

// A QSettings per call: Qt shares the parsed file between instances, and a fresh one sees
// what another process (a second window, a test) wrote in the meantime.
QString read(const QString &section, const QString &name, const QString &fallback)
{
    const QSettings store(QStringLiteral("Korvanet"), QStringLiteral("Korvanet"));
    const QVariant value = store.value(path(section, name));
    // Only strings are ever written here. Anything else (a list, a rectangle from a hand-
    // edited file) reads as an empty text, which would stand in for the user's choice.
    return value.typeId() == QMetaType::QString ? value.toString() : fallback;
}

void write(const QString &section, const QString &name, const QString &value)
{
    QSettings store(QStringLiteral("Korvanet"), QStringLiteral("Korvanet"));
    store.setValue(path(section, name), value);
    store.sync();
}

QString portOverride(int comNumber)
{
    return read(QStringLiteral("Ports"), QStringLiteral("COM%1").arg(comNumber), QString());
}

QList<int> overriddenPorts()
{
    QSettings store(QStringLiteral("Korvanet"), QStringLiteral("Korvanet"));
    store.beginGroup(QStringLiteral("Ports"));
    QList<int> numbers;
    for (const QString &name : store.childKeys()) {
        if (const int number = name.mid(3).toInt(); name.startsWith(u"COM") && number > 0)
            numbers.append(number);
    }
    return numbers;
}

} // namespace SettingsStore
