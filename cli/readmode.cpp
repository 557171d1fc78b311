// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet read`: every read-only question, once each, in the order of the window's panels.
#include "cli/readmode.h"

#include "cli/cli.h"
#include "cli/clioptions.h"
#include "cli/clisession.h"
#include "modem/questions.h"
#include "platform/escaping.h"

#include <cstdio>

int runRead(const CliOptions &options)
{
    CliSession session(QStringLiteral("read"), options.portText, options.baudText,
                       options.transcriptPath);
    if (!session.openPort().ok())
        return Cli::ExitStatus::PortFailure;

    int status = Cli::ExitStatus::Ok;
    QByteArrayList members;
    for (const Question &question : readOnlyQuestions()) {
        const QString command = QString::fromLatin1(question.command);
        const QByteArray caption(question.caption);
        const QDeadlineTimer deadline(options.timeoutMs, Qt::PreciseTimer);
        if (!session.sendFrame(command).ok())
            return Cli::ExitStatus::PortFailure;
        const std::optional<QByteArray> reply = session.reply(deadline);
        if (session.failed())
            return Cli::ExitStatus::PortFailure;
        if (!reply)
            session.reportTimeout(command, options.timeoutMs);
        if (!reply || reply->contains("ERROR"))
            status = Cli::ExitStatus::NoReply;

        if (options.json) {
            members.append("    " + jsonString(caption) + ": "
                           + (reply ? jsonString(*reply) : QByteArray("null")));
            continue;
        }
        // A modem's stray control bytes must not reach the terminal as commands, nor split
        // the line.
        std::printf("%s\t%s\n", caption.constData(),
                    escapedBytes(reply.value_or(QByteArray())).constData());
        std::fflush(stdout);
    }
    if (options.json)
        std::printf("{\n%s\n}\n", members.join(",\n").constData());
    return status;
}
