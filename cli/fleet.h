// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/clisession.h"
#include "cli/progress.h"
#include "platform/task.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

struct CliOptions;
struct ResolvedPort;

// Long enough for the event loop to end a run that a signal interrupted.
inline constexpr int SignalGraceMsecs = 1000;

// One modem of a run: where it is, its session on the port, and how far its commands got.
class Unit
{
public:
    // `port` as --port names it; `several`: one of many units, whose output lines and
    // transcript carry its port.
    Unit(const QString &frontEnd, const QString &port, const CliOptions &options, bool several);

    // "COM3", or "COM5 (/dev/ttyUSB0)" for a port named by its path, as output lines, messages
    // and records name it.
    [[nodiscard]] const QString &name() const { return m_name; }
    [[nodiscard]] CliSession &session() { return *m_session; }
    [[nodiscard]] const CliSession &session() const { return *m_session; }
    [[nodiscard]] const QString &transcriptPath() const { return m_transcriptPath; }
    // Output lines start with the unit's name when there are several.
    [[nodiscard]] QByteArray linePrefix() const;

    Progress progress;

private:
    Unit(const QString &frontEnd, const ResolvedPort &port, const CliOptions &options,
         bool several);

    QString m_name;
    QString m_transcriptPath;
    bool m_several;
    std::unique_ptr<CliSession> m_session;
};

// Opens the unit's port the way the run asked; with --baud auto, finds the modem's rate on it
// and says which. 0 when the unit is ready for its questions, its exit status otherwise.
Task<int> openUnit(Unit &unit, const CliOptions &options);

// Runs `work` for every unit side by side on the one event loop: each waits for its own
// modem only, so a slow or dead one holds up nobody. A termination signal, or a standard output
// that nobody reads any more, ends them all before that: every port closed and its locks
// removed, each unit's progress said on stderr, status 128 + the signal's number. Gives each
// unit's status, in order.
QList<int> runSideBySide(const QList<Unit *> &units, const std::function<Task<int>(Unit &)> &work);

// One unit for each port the run names, side by side as runSideBySide() runs them; `work`
// learns each unit's place in the list. Gives each unit's status, in order.
QList<int> runForEachPort(const CliOptions &options, const QString &frontEnd,
                          const std::function<Task<int>(Unit &, qsizetype)> &work);

// The worst of the statuses.
[[nodiscard]] int worstOf(const QList<int> &statuses);
