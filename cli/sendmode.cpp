// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet send`: command texts in order, each with its reply.
#include "cli/sendmode.h"

#include "cli/cli.h"
#include "cli/clioptions.h"
#include "cli/clisession.h"
#include "cli/commandfile.h"
#include "modem/commands.h"
#include "modem/sequences.h"
#include "platform/escaping.h"

#include <QFile>

#include <cstdio>

namespace {

// The pauses and the reopen that the window's buttons keep around these commands.
void sendLine(CliSession &session, const QString &text)
{
    const QLatin1StringView setSerialParams(Commands::SetSerialParams);
    if (text == QLatin1StringView(Commands::SaveSettings)) {
        Sequences::saveSettings(session);
    } else if (text == QLatin1StringView(Commands::FactoryDefaults)) {
        session.sendFrame(text);
        session.wait(Sequences::SettleMsecs);
    } else if (text.startsWith(setSerialParams)) {
        const QString value = text.sliced(setSerialParams.size());
        session.followRate(value);
        Sequences::setSerialParams(session, value);
    } else {
        session.sendFrame(text);
    }
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
        QFile file(options.file);
        if (!file.open(QIODevice::ReadOnly)) {
            sayOnStderr(QStringLiteral("%1: %2").arg(options.file, file.errorString()));
            return std::nullopt;
        }
        lines = CommandFile::fromFile(QString::fromUtf8(file.readAll()));
        where = options.file + QStringLiteral(":%1");
        if (lines.isEmpty()) {
            sayOnStderr(QStringLiteral("%1 holds no command").arg(options.file));
            return std::nullopt;
        }
    }
    bool refused = false;
    for (const CommandFile::Line &line : lines) {
        if (const QString refusal = CommandFile::refusalFor(line.text, options.yes);
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

} // namespace

int runSend(const CliOptions &options)
{
    const std::optional<QList<CommandFile::Line>> lines = checkedLines(options);
    if (!lines)
        return Cli::ExitStatus::Usage;

    CliSession session(QStringLiteral("send"), options.portText, options.baudText,
                       options.transcriptPath);
    if (!session.openPort().ok())
        return Cli::ExitStatus::PortFailure;

    int status = Cli::ExitStatus::Ok;
    for (const CommandFile::Line &line : *lines) {
        const QDeadlineTimer deadline(options.timeoutMs, Qt::PreciseTimer);
        sendLine(session, line.text);
        const std::optional<QByteArray> reply =
                session.failed() ? std::nullopt : session.reply(deadline);
        if (session.failed())
            return Cli::ExitStatus::PortFailure;
        if (!reply)
            session.reportTimeout(line.text, options.timeoutMs);
        if (!reply || reply->contains("ERROR"))
            status = Cli::ExitStatus::NoReply;
        std::printf("%s\t%s\n", line.text.toLatin1().constData(),
                    escapedBytes(reply.value_or(QByteArray())).constData());
        std::fflush(stdout);
    }
    return status;
}
