// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/runtoend.h"

#include "cli/clisession.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "session/termination.h"

#include <QEventLoop>

int runToEnd(Task<int> work, CliSession &session, const Progress &progress)
{
    const Termination::Scope lastWords([&session, &progress](int signalNumber) {
        session.closePort();
        sayOnStderr(QStringLiteral("interrupted by %1: %2")
                            .arg(signalName(signalNumber), progress.summary()));
        return 128 + signalNumber;
    });
    QEventLoop loop;
    work.start([&loop] { loop.quit(); });
    if (!work.done())
        loop.exec();
    return work.result();
}
