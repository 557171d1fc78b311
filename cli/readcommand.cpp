// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet read`: every read-only question, once each, in the order of the window's panels.

#include "app/controltable.h"
#include "cli/cli.h"
#include "cli/clisession.h"
#include "cli/modes.h"
#include "modem/commands.h"

#include <cstdio>

namespace {

using namespace Commands;

struct Query
{
    const char *command;
    const char *button; // whose caption names the reply
};

constexpr Query queries[] = {
    { ModemType, "Command3" },        { SerialNumber, "Command4" },
    { FirmwareRevision, "Command5" }, { RxFrequency, "Command7" },
    { TxFrequency, "Command8" },      { RefFrequency, "Command29" },
    { ChannelSpacing, "Command12" },  { FecStatus, "Command16" },
    { RepeaterMode, "Command6" },     { SerialParams, "Command2" },
    { OutputPower, "Command24" },     { CompatibilityMode, "Command26" },
    { NoiseLevel, "Command19" },      { Rssi, "Command20" },
};

// A JSON string holds text, not bytes: each byte is taken as the Latin-1 character the
// window would show for it.
QByteArray jsonString(const QByteArray &bytes)
{
    QByteArray json = "\"";
    for (const QChar c : QString::fromLatin1(bytes)) {
        if (c == u'"' || c == u'\\')
            json.append('\\').append(char(c.unicode()));
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            json += "\\u00" + QByteArray::number(c.unicode(), 16).rightJustified(2, '0');
        else
            json += QString(c).toUtf8();
    }
    return json + '"';
}

} // namespace

int runRead(const CliOptions &options)
{
    CliSession session(QStringLiteral("read"), options.portText, options.baudText,
                       options.transcriptPath);
    if (!session.openPort().ok())
        return Cli::ExitStatus::PortFailure;

    int status = Cli::ExitStatus::Ok;
    QByteArrayList members;
    for (const Query &query : queries) {
        const QString command = QString::fromLatin1(query.command);
        const QByteArray caption = controlRow(query.button).text;
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
        // Escaped as in the transcript: a modem's stray control bytes must not reach the
        // terminal as commands, nor split the line.
        std::printf("%s\t%s\n", caption.constData(),
                    escapedBytes(reply.value_or(QByteArray())).constData());
        std::fflush(stdout);
    }
    if (options.json)
        std::printf("{\n%s\n}\n", members.join(",\n").constData());
    return status;
}
