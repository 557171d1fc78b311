// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/fleet.h"

#include "cli/cli.h"
#include "cli/clioptions.h"
#include "cli/output.h"
#include "cli/portlist.h"
#include "cli/ratesearch.h"
#include "session/termination.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

namespace {

// fleet.log becomes fleet.COM3.log: one transcript a unit, so sessions never interleave.
QString transcriptFor(const QString &path, const QString &number, bool several)
{
    if (!several || path.isEmpty())
        return path;
    const QFileInfo info(path);
    const QString com = QStringLiteral("COM") + number;
    const QString file = info.suffix().isEmpty()
            ? info.fileName() + u'.' + com
            : info.completeBaseName() + u'.' + com + u'.' + info.suffix();
    return info.dir().filePath(file);
}

} // namespace

Unit::Unit(const QString &frontEnd, const QString &port, const CliOptions &options, bool several)
    : Unit(frontEnd, resolvePort(port), options, several)
{
}

Unit::Unit(const QString &frontEnd, const ResolvedPort &port, const CliOptions &options,
           bool several)
    : m_name(port.name),
      m_transcriptPath(transcriptFor(options.transcriptPath, port.number, several)),
      m_several(several),
      m_session(std::make_unique<CliSession>(frontEnd, port.number, options.baudText,
                                             m_transcriptPath))
{
    if (several)
        m_session->setSpeaker(m_name + QStringLiteral(": "));
}

QByteArray Unit::linePrefix() const
{
    return m_several ? m_name.toUtf8() + '\t' : QByteArray();
}

Task<int> openUnit(Unit &unit, const CliOptions &options)
{
    CliSession &session = unit.session();
    if (!session.openPort().ok())
        co_return Cli::ExitStatus::PortFailure;
    if (options.baudText != u"auto")
        co_return Cli::ExitStatus::Ok;
    const std::optional<QString> rate = co_await RateSearch::find(session, session.deviceName());
    if (session.failed())
        co_return Cli::ExitStatus::PortFailure;
    if (!rate) {
        session.say(QStringLiteral("no answer at any rate (%1)")
                            .arg(RateSearch::candidates(session.deviceName()).join(u' ')));
        co_return Cli::ExitStatus::NoReply;
    }
    session.say(QStringLiteral("the modem answers at %1 baud").arg(*rate));
    co_return Cli::ExitStatus::Ok;
}

QList<int> runSideBySide(const QList<Unit *> &units, const std::function<Task<int>(Unit &)> &work)
{
    const Termination::Scope lastWords([&units](int signalNumber) {
        for (Unit *unit : units)
            unit->session().closePort();
        for (Unit *unit : units) {
            const QString who = units.size() > 1 ? unit->name() + QStringLiteral(": ") : QString();
            sayOnStderr(QStringLiteral("interrupted by %1: %2%3")
                                .arg(signalName(signalNumber), who, unit->progress.summary()));
        }
        return 128 + signalNumber;
    });
    std::vector<Task<int>> tasks;
    tasks.reserve(units.size());
    QEventLoop loop;
    qsizetype running = units.size();
    for (Unit *unit : units) {
        tasks.push_back(work(*unit));
        tasks.back().start([&running, &loop] {
            if (--running == 0)
                loop.quit();
        });
    }
    if (running > 0)
        loop.exec();
    QList<int> statuses;
    for (Task<int> &task : tasks)
        statuses.append(task.result());
    return statuses;
}

QList<int> runForEachPort(const CliOptions &options, const QString &frontEnd,
                          const std::function<Task<int>(Unit &, qsizetype)> &work)
{
    std::vector<std::unique_ptr<Unit>> units;
    QList<Unit *> running;
    for (const QString &port : options.ports) {
        units.push_back(std::make_unique<Unit>(frontEnd, port, options, options.ports.size() > 1));
        running.append(units.back().get());
    }
    return runSideBySide(
            running, [&running, &work](Unit &unit) { return work(unit, running.indexOf(&unit)); });
}

int worstOf(const QList<int> &statuses)
{
    int worst = Cli::ExitStatus::Ok;
    for (const int status : statuses)
        worst = Cli::worse(worst, status);
    return worst;
}
