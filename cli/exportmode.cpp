// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet export`: the modem's settings as a profile that `korvanet apply` takes.
#include "cli/exportmode.h"

#include "cli/cli.h"
#include "cli/clioptions.h"
#include "cli/fleet.h"
#include "cli/output.h"
#include "cli/profile.h"
#include "cli/unitidentity.h"
#include "modem/settings.h"
#include "platform/escaping.h"

#include <QDir>

namespace {

QString profilePath(const CliOptions &options, const UnitIdentity &identity)
{
    const QString name = identity.fileStem() + QStringLiteral(".profile");
    if (options.ports.size() > 1)
        return QDir(options.output.isEmpty() ? QStringLiteral(".") : options.output).filePath(name);
    return options.output.isEmpty() ? name : options.output;
}

Task<int> exportUnit(Unit &unit, const CliOptions &options)
{
    CliSession &session = unit.session();
    if (const int opened = co_await openUnit(unit, options); opened != Cli::ExitStatus::Ok)
        co_return opened;
    int status = Cli::ExitStatus::Ok;
    const std::optional<UnitIdentity> identity = co_await identify(unit, options, &status);
    if (!identity)
        co_return status;

    QStringList lines;
    for (const ModemSetting &setting : modemSettings()) {
        const QString query = QLatin1StringView(setting.query);
        const Replies::Reply reply = co_await session.ask(query, options.timeoutMs);
        if (session.failed())
            co_return Cli::ExitStatus::PortFailure;
        // Half a profile is worse than none: no file, or the old one as it was.
        if (!reply.ended || reply.text.contains("ERROR")) {
            session.say(QStringLiteral("%1 %2; no profile was written")
                                .arg(query,
                                     reply.ended ? QStringLiteral("answered ERROR")
                                                 : QStringLiteral("got no reply in time")));
            co_return Cli::ExitStatus::NoReply;
        }
        if (const std::optional<QString> value = valueFromReply(setting, reply.text)) {
            lines.append(QLatin1StringView(setting.setting) + *value);
            continue;
        }
        const QString raw = QString::fromLatin1(escapedBytes(reply.text));
        lines.append(QStringLiteral("# %1 unreadable: \"%2\"").arg(query, raw));
        session.say(QStringLiteral("the reply to %1 fits no known form: \"%2\"; it is in the "
                                   "profile as a comment")
                            .arg(query, raw));
        status = Cli::ExitStatus::NoReply;
    }
    if (session.reportDoubts()) {
        session.say(QStringLiteral("no profile was written"));
        co_return Cli::ExitStatus::NoReply;
    }

    Profile::Header header{ identity->modemType, identity->serialNumber, identity->firmware,
                            unit.name() + QStringLiteral(" (") + session.deviceName() + u')' };
    const QString path = profilePath(options, *identity);
    if (const QString error = Profile::write(path, Profile::text(header, lines));
        !error.isEmpty()) {
        sayOnStderr(error);
        co_return Cli::ExitStatus::PortFailure;
    }
    if (path != u"-")
        printLine(unit.linePrefix() + identity->serialNumber.toUtf8() + '\t' + escapedText(path));
    co_return status;
}

} // namespace

int runExport(const CliOptions &options)
{
    if (options.ports.size() > 1 && options.output == u"-") {
        sayOnStderr(QStringLiteral("several profiles cannot all go to standard output"));
        return Cli::ExitStatus::Usage;
    }
    return worstOf(
            runForEachPort(options, QStringLiteral("export"), [&options](Unit &unit, qsizetype) {
                return exportUnit(unit, options);
            }));
}
