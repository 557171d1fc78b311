// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/fleet.h"

#include "cli/cli.h"
#include "cli/clioptions.h"
#include "cli/output.h"
#include "serial/numbertext.h"
#include "session/termination.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

namespace {

// "COM3" for a port number as the window's list holds it, the text itself otherwise.
QString unitName(const QString &portText)
{
    const std::optional<double> value = leadingNumber(portText);
    const std::optional<qint16> number = value ? toInt16HalfEven(*value) : std::nullopt;
    return number ? QStringLiteral("COM%1").arg(*number) : portText;
}

// fleet.log becomes fleet.COM3.log: one transcript a unit, so sessions never interleave.
QString transcriptFor(const QString &path, const QString &name, bool several)
{
    if (!several || path.isEmpty())
        return path;
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    QString safeName = name;
    safeName.replace(u'/', u'_');
    const QString file = suffix.isEmpty()
            ? info.fileName() + u'.' + safeName
            : info.completeBaseName() + u'.' + safeName + u'.' + suffix;
    return info.dir().filePath(file);
}

} // namespace

Unit::Unit(const QString &frontEnd, const QString &portText, const CliOptions &options,
           bool several)
    : progress({}),
      m_portText(portText),
      m_name(unitName(portText)),
      m_transcriptPath(transcriptFor(options.transcriptPath, m_name, several)),
      m_several(several),
      m_session(
              std::make_unique<CliSession>(frontEnd, portText, options.baudText, m_transcriptPath))
{
    if (several)
        m_session->setSpeaker(m_name + QStringLiteral(": "));
}

QByteArray Unit::linePrefix() const
{
    return m_several ? m_name.toUtf8() + '\t' : QByteArray();
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

int worstOf(const QList<int> &statuses)
{
    int worst = Cli::ExitStatus::Ok;
    for (const int status : statuses)
        worst = Cli::worse(worst, status);
    return worst;
}
