// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/unitidentity.h"
#include "modem/settings.h"
#include "platform/task.h"
#include "session/replies.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class CliSession;
class Unit;
struct CliOptions;
namespace Profile {
struct Contents;
}

// What apply does to one modem, and what became of it.

struct SettingOutcome
{
    const ModemSetting *setting = nullptr;
    QString wanted;
    std::optional<QString> before; // nothing: unreadable
    std::optional<QString> after; // nothing: unreadable, or not read back
    bool planned = false; // differs, or --all: it is to be sent
    bool sent = false;
    bool readBack = false;

    // The setting text that sets it to what the profile wants.
    [[nodiscard]] QString command() const { return QLatin1StringView(setting->setting) + wanted; }
    [[nodiscard]] const char *delivery() const
    {
        return sent ? "sent" : planned ? "not sent" : "unchanged";
    }

    [[nodiscard]] QString status() const
    {
        if (!readBack)
            return QStringLiteral("not read back");
        if (!after)
            return QStringLiteral("unreadable");
        return sameValue(*setting, *after, wanted) ? QStringLiteral("confirmed")
                                                   : QStringLiteral("differs");
    }
};

// What became of one modem.
struct Outcome
{
    std::optional<UnitIdentity> identity;
    QList<SettingOutcome> settings;
    QString result; // confirmed, differs, stopped, refused, port failure
    QByteArray line; // all of it on one line, once it is known
    QString stoppedAt; // the command the run stopped at, and why
    bool saved = false;
    bool transmissionOff = false;
    bool unsaved = false;
};

// The exit status an outcome ends with.
[[nodiscard]] int statusOf(const Outcome &outcome);

// One modem brought to a profile: identified, read, its transmission disabled, the settings
// that differ sent (the serial params last, followed to their rate), saved when asked, read
// back, and its transmission enabled again whenever the port still works.
class ApplyRun
{
public:
    ApplyRun(Unit &unit, const CliOptions &options, const Profile::Contents &profile,
             Outcome &outcome);

    Task<int> run();

private:
    Task<bool> readCurrent();
    Task<bool> sendSettings();
    Task<void> readBack();
    Task<Replies::Reply> sendTracked(QString command);

    Unit &m_unit;
    CliSession &m_session;
    const CliOptions &m_options;
    const Profile::Contents &m_profile;
    Outcome &m_outcome;
    QStringList m_plan;
    bool m_lineQuiet = false; // the modem stopped answering: nothing more is asked of it
    bool m_lastSent = false; // the last frame reached the line
};
