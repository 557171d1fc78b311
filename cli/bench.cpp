// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/bench.h"

#include "cli/cli.h"
#include "cli/clioptions.h"
#include "cli/fleet.h"
#include "cli/output.h"
#include "cli/portlist.h"
#include "platform/escaping.h"
#include "serial/ports/devicewatcher.h"
#include "session/termination.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <list>
#include <unistd.h>

namespace {

// How long a new device may take to let this user open it: udev's rules set its group and
// mode a moment after the node appears, and a desktop's ModemManager may probe it for seconds.
constexpr int ReadyWithinMsecs = 10000;
constexpr int ReadyPollMsecs = 50;

struct Running
{
    std::unique_ptr<Unit> unit;
    Task<int> task;
};

bool openable(const QString &device)
{
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
}

} // namespace

CliOptions benchOptions(const CliOptions &options)
{
    CliOptions bench = options;
    if (!options.baudGiven)
        bench.baudText = QStringLiteral("auto");
    return bench;
}

int runAsTheyCome(const CliOptions &options, const QString &frontEnd,
                  const std::function<Task<int>(Unit &)> &work)
{
    std::list<Running> running;
    QList<int> statuses;
    QEventLoop loop;
    DeviceWatcher watcher;

    const auto sayDone = [&statuses] {
        const qsizetype confirmed = statuses.count(Cli::ExitStatus::Ok);
        sayOnStderr(QStringLiteral("units done: %1, confirmed: %2, failed: %3")
                            .arg(statuses.size())
                            .arg(confirmed)
                            .arg(statuses.size() - confirmed));
    };
    const Termination::Scope lastWords([&](int signalNumber) {
        bool cut = false;
        for (Running &r : running) {
            if (r.task.done())
                continue;
            cut = true;
            r.unit->session().closePort();
            sayOnStderr(QStringLiteral("interrupted by %1: %2: %3")
                                .arg(signalName(signalNumber), r.unit->name(),
                                     r.unit->progress.summary()));
        }
        sayDone();
        return cut ? 128 + signalNumber : worstOf(statuses);
    });

    const auto begin = [&](const QString &port) {
        running.push_back({ std::make_unique<Unit>(frontEnd, port, options, true), Task<int>({}) });
        Running &r = running.back();
        r.task = work(*r.unit);
        r.task.start([&statuses, &r, &running, &loop] {
            statuses.append(r.task.result());
            // The unit goes with the next turn of the loop, not from inside its own end.
            QTimer::singleShot(0, &loop, [&running, unit = r.unit.get()] {
                running.remove_if([unit](const Running &each) { return each.unit.get() == unit; });
            });
        });
    };

    // A device that appears is opened once this user may, or reported if it goes first.
    QObject::connect(&watcher, &DeviceWatcher::appeared, &loop, [&](const QString &device) {
        const QString shown = escapedString(device);
        sayOnStderr(QStringLiteral("%1 appeared").arg(shown));
        auto *poll = new QTimer(&loop);
        const QDeadlineTimer deadline(ReadyWithinMsecs);
        QObject::connect(poll, &QTimer::timeout, &loop, [&, poll, device, shown, deadline] {
            if (!QFile::exists(device)) {
                sayOnStderr(QStringLiteral("%1 went away before it could be opened; skipped")
                                    .arg(shown));
            } else if (openable(device)) {
                begin(device);
            } else if (deadline.hasExpired()) {
                sayOnStderr(QStringLiteral("%1 could not be opened within %2 s; skipped")
                                    .arg(shown)
                                    .arg(ReadyWithinMsecs / 1000));
            } else {
                return;
            }
            poll->deleteLater();
        });
        poll->start(ReadyPollMsecs);
    });

    QString error;
    if (!watcher.start(&error)) {
        sayOnStderr(error);
        return Cli::ExitStatus::PortFailure;
    }
    sayOnStderr(QStringLiteral("waiting for modems (%1); Ctrl-C ends").arg(watcher.source()));
    for (const QString &port : options.ports)
        begin(port);
    // Until a signal ends it: the bench has no end of its own.
    loop.exec();
    return worstOf(statuses);
}
