// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet read`: every read-only question, once each, in the order of the window's panels,
// of one modem or of several side by side.
#include "cli/readmode.h"

#include "cli/cli.h"
#include "cli/clioptions.h"
#include "cli/bench.h"
#include "cli/fleet.h"
#include "cli/output.h"
#include "modem/questions.h"
#include "modem/settings.h"
#include "platform/escaping.h"
#include "session/termination.h"

namespace {

QStringList questionCommands()
{
    QStringList commands;
    for (const Question &question : readOnlyQuestions())
        commands.append(QLatin1StringView(question.command));
    return commands;
}

// A reply to a setting's query that fits none of its forms is no answer to that question:
// the line may belong to another one (a modem talking unasked) or the modem may differ.
bool readable(CliSession &session, const QString &command, const QByteArray &reply)
{
    const ModemSetting *setting = settingAskedBy(command);
    if (!setting || reply.contains("ERROR") || valueFromReply(*setting, reply))
        return true;
    session.say(QStringLiteral("the reply to %1 fits no form of the %2: \"%3\"")
                        .arg(command, QLatin1StringView(setting->name),
                             QString::fromLatin1(escapedBytes(reply))));
    return false;
}

Task<int> askEveryQuestion(Unit &unit, const CliOptions &options)
{
    CliSession &session = unit.session();
    Progress &progress = unit.progress;
    progress.plan(questionCommands());
    if (const int opened = co_await openUnit(unit, options); opened != Cli::ExitStatus::Ok)
        co_return opened;

    int status = Cli::ExitStatus::Ok;
    int unansweredInARow = 0;
    QByteArrayList members;
    const std::span<const Question> questions = readOnlyQuestions();
    for (qsizetype i = 0; i < qsizetype(questions.size()); ++i) {
        const QString &command = progress.commands()[i];
        const QByteArray caption(questions[i].caption);
        const QDeadlineTimer deadline(options.timeoutMs, Qt::PreciseTimer);
        const qsizetype lateBefore = session.replies().lateReplies().size();
        if (!session.sendFrame(command).ok()) {
            // A run that a signal interrupted ends from the event loop, in its own words.
            if (Termination::pending())
                co_await session.wait(SignalGraceMsecs);
            co_return Cli::ExitStatus::PortFailure;
        }
        progress.sent(i);
        const Replies::Reply reply = co_await session.reply(deadline);
        if (session.failed())
            co_return Cli::ExitStatus::PortFailure;
        if (reply.ended)
            progress.answered(i);
        else
            session.reportTimeout(command, options.timeoutMs, reply.text);
        const bool garbled = reply.ended && session.reportGarbled(command, reply);
        if (!reply.ended || garbled || reply.text.contains("ERROR")
            || (reply.ended && !garbled && !readable(session, command, reply.text)))
            status = Cli::ExitStatus::NoReply;
        // A modem that answers late still answers; one that sends nothing, or nothing but
        // garbage, does not.
        const bool cameLate = session.replies().lateReplies().size() > lateBefore;
        unansweredInARow = (reply.ended && !garbled) || cameLate ? 0 : unansweredInARow + 1;

        const QByteArray answer = reply.ended ? reply.text : QByteArray();
        if (options.json) {
            members.append("    " + jsonString(caption) + ": "
                           + (reply.ended ? jsonString(answer) : QByteArray("null")));
            continue;
        }
        // A modem's stray control bytes must not reach the terminal as commands, nor split
        // the line.
        printLine(unit.linePrefix() + caption + '\t' + escapedBytes(answer));
        // A modem that has not answered three questions in a row will not answer the rest;
        // waiting out every one would only hide that.
        if (unansweredInARow == 3 && i + 1 < qsizetype(questions.size())) {
            session.say(QStringLiteral("no reply to three questions in a row; the other %1 "
                                       "were not asked")
                                .arg(questions.size() - size_t(i) - 1));
            break;
        }
    }
    if (session.reportDoubts())
        status = Cli::ExitStatus::NoReply;
    if (options.json) {
        if (!unit.linePrefix().isEmpty())
            members.prepend("    \"port\": " + jsonString(unit.name().toUtf8()));
        printLine("{\n" + members.join(",\n") + "\n}");
    }
    co_return status;
}

} // namespace

int runRead(const CliOptions &options)
{
    if (options.wait) {
        const CliOptions bench = benchOptions(options);
        return runAsTheyCome(bench, QStringLiteral("read"),
                             [&bench](Unit &unit) { return askEveryQuestion(unit, bench); });
    }
    return worstOf(
            runForEachPort(options, QStringLiteral("read"), [&options](Unit &unit, qsizetype) {
                return askEveryQuestion(unit, options);
            }));
}
