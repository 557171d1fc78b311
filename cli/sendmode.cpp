// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet send`: command texts in order, each with its reply.
#include "cli/sendmode.h"

#include "cli/cli.h"
#include "cli/clioptions.h"
#include "cli/clisession.h"
#include "cli/commandfile.h"
#include "cli/output.h"
#include "cli/fleet.h"
#include "modem/commands.h"
#include "modem/sequences.h"
#include "platform/escaping.h"
#include "session/termination.h"

namespace {

// The pauses and the reopen that the window's buttons keep around these commands.
Task<CommStatus> sendLine(CliSession &session, QString text)
{
    const QLatin1StringView setSerialParams(Commands::SetSerialParams);
    if (text == QLatin1StringView(Commands::SaveSettings))
        co_return co_await Sequences::saveSettings(session);
    if (text == QLatin1StringView(Commands::FactoryDefaults)) {
        const CommStatus sent = session.sendFrame(text);
        co_await session.wait(Sequences::SettleMsecs);
        co_return sent;
    }
    if (text.startsWith(setSerialParams)) {
        const QString value = text.sliced(setSerialParams.size());
        session.followRate(value);
        co_return co_await Sequences::setSerialParams(session, value);
    }
    co_return session.sendFrame(text);
}

// The lines to send; nothing, with every refusal said, when any line may not go out.
std::optional<QList<CommandFile::Line>> checkedLines(const CliOptions &options)
{
    QList<CommandFile::Line> lines;
    QString where;
    if (options.file.isEmpty()) {
        lines = CommandFile::fromArguments(options.commands);
        where = QStringLiteral("command %1");
    } else {
        const CommandFile::Contents contents =
                CommandFile::read(options.file, [] { return Termination::pending(); });
        if (const int signalNumber = Termination::pending())
            Termination::endAsSignalled(signalNumber);
        if (!contents.error.isEmpty()) {
            sayOnStderr(contents.error);
            sayOnStderr(QStringLiteral("nothing was sent"));
            return std::nullopt;
        }
        lines = CommandFile::fromFile(contents.bytes);
        where = (options.file == u"-" ? QStringLiteral("standard input") : options.file)
                + QStringLiteral(":%1");
        if (lines.isEmpty()) {
            sayOnStderr(QStringLiteral("%1 holds no command").arg(options.file));
            return std::nullopt;
        }
    }
    bool refused = false;
    for (const CommandFile::Line &line : lines) {
        if (const QString refusal = CommandFile::refusalFor(line, options.yes);
            !refusal.isEmpty()) {
            sayOnStderr(where.arg(line.number) + QStringLiteral(": ") + refusal);
            refused = true;
        }
    }
    if (refused) {
        sayOnStderr(QStringLiteral("nothing was sent"));
        return std::nullopt;
    }
    return lines;
}

Task<int> sendEveryLine(Unit &unit, const CliOptions &options)
{
    CliSession &session = unit.session();
    Progress &progress = unit.progress;
    if (!session.openPort().ok())
        co_return Cli::ExitStatus::PortFailure;

    int status = Cli::ExitStatus::Ok;
    const QStringList &commands = progress.commands();
    for (qsizetype i = 0; i < commands.size(); ++i) {
        const QString &text = commands[i];
        const QDeadlineTimer deadline(options.timeoutMs, Qt::PreciseTimer);
        const CommStatus sent = co_await sendLine(session, text);
        if (sent.ok())
            progress.sent(i);
        else if (Termination::pending())
            co_await session.wait(SignalGraceMsecs);
        // Not a conditional expression: GCC 12 destroys a co_await's result twice in one.
        Replies::Reply reply;
        if (sent.ok() && !session.failed())
            reply = co_await session.reply(deadline);
        if (session.failed()) {
            sayOnStderr(progress.summary());
            co_return Cli::ExitStatus::PortFailure;
        }
        if (reply.ended)
            progress.answered(i);
        else
            session.reportTimeout(text, options.timeoutMs, reply.text);
        printLine(text.toLatin1() + '\t' + escapedBytes(reply.ended ? reply.text : QByteArray()));
        const bool garbled = reply.ended && session.reportGarbled(text, reply);
        if (reply.ended && !reply.text.contains("ERROR") && !garbled)
            continue;
        status = Cli::ExitStatus::NoReply;
        if (!options.keepGoing) {
            sayOnStderr(QStringLiteral("stopped at %1: %2").arg(text, progress.summary()));
            break;
        }
    }
    if (session.reportDoubts())
        status = Cli::ExitStatus::NoReply;
    // A run that stopped has said all this already.
    const QString behind = progress.leftBehind();
    if (status != Cli::ExitStatus::Ok && options.keepGoing)
        sayOnStderr(progress.summary());
    else if (status == Cli::ExitStatus::Ok && !behind.isEmpty())
        sayOnStderr(QStringLiteral("the modem is left with %1").arg(behind));
    co_return status;
}

} // namespace

int runSend(const CliOptions &options)
{
    const std::optional<QList<CommandFile::Line>> lines = checkedLines(options);
    if (!lines)
        return Cli::ExitStatus::Usage;
    QStringList commands;
    for (const CommandFile::Line &line : *lines)
        commands.append(line.text);

    Unit unit(QStringLiteral("send"), options.ports.constFirst(), options, false);
    unit.progress.plan(commands);
    return runSideBySide({ &unit }, [&options](Unit &u) { return sendEveryLine(u, options); })
            .constFirst();
}
