// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "cli/applymode.h"
#include "cli/clioptions.h"
#include "cli/commandfile.h"
#include "cli/commandsmode.h"
#include "cli/exportmode.h"
#include "cli/helptexts.h"
#include "cli/output.h"
#include "cli/portlist.h"
#include "cli/readmode.h"
#include "cli/sendmode.h"
#include "serial/baudrates.h"
#include "session/termination.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSet>

#include <array>
#include <csignal>
#include <cstdio>

namespace {

constexpr int DefaultTimeoutMs = 1000;
const char *const DefaultBaud = "19200"; // the window's rate on a first run

struct Mode
{
    const char *name;
    const char *help;
    int (*run)(const CliOptions &);
    bool portList; // --port takes a list
};

constexpr std::array modes = {
    Mode{ "read", HelpTexts::read, runRead, true },
    Mode{ "send", HelpTexts::send, runSend, false },
    Mode{ "export", HelpTexts::exportProfile, runExport, true },
    Mode{ "apply", HelpTexts::apply, runApply, true },
    Mode{ "commands", HelpTexts::commands, runCommands, false },
};

const Mode *modeNamed(const char *name)
{
    for (const Mode &mode : modes) {
        if (qstrcmp(mode.name, name) == 0)
            return &mode;
    }
    return nullptr;
}

// The texts in rows of five, indented like the options.
QString vocabularyLines()
{
    const QStringList texts = CommandFile::acceptedTexts();
    QStringList rows;
    for (qsizetype i = 0; i < texts.size(); i += 5) {
        QString row;
        for (const QString &text : texts.mid(i, 5))
            row += text.leftJustified(16);
        rows.append(QStringLiteral("  ") + row.trimmed());
    }
    return rows.join(u'\n');
}

int usage(const char *mode, const QString &error)
{
    std::fprintf(stderr, "korvanet %s: %s\nTry 'korvanet %s --help' for the options.\n", mode,
                 error.toLocal8Bit().constData(), mode);
    return Cli::ExitStatus::Usage;
}

QCommandLineOption option(const char *name, const char *valueName = nullptr,
                          const char *defaultValue = nullptr)
{
    QCommandLineOption result(QString::fromLatin1(name), {});
    if (valueName)
        result.setValueName(QString::fromLatin1(valueName));
    if (defaultValue)
        result.setDefaultValue(QString::fromLatin1(defaultValue));
    return result;
}

} // namespace

namespace Cli {

int worse(int a, int b)
{
    // Best to worst; a signal's status (above 128) is worse than any.
    constexpr std::array order = { ExitStatus::Ok, ExitStatus::Mismatch, ExitStatus::NoReply,
                                   ExitStatus::Usage, ExitStatus::PortFailure };
    const auto rank = [&order](int status) {
        const auto it = std::find(order.begin(), order.end(), status);
        return it == order.end() ? int(order.size()) : int(it - order.begin());
    };
    return rank(a) >= rank(b) ? a : b;
}

bool isMode(const char *argument)
{
    return modeNamed(argument) != nullptr;
}

int run(int argc, char *argv[])
{
    const Mode &mode = *modeNamed(argv[1]);
    const bool send = qstrcmp(mode.name, "send") == 0;
    const bool apply = qstrcmp(mode.name, "apply") == 0;
    const bool commands = qstrcmp(mode.name, "commands") == 0;
    QStringList arguments{ QStringLiteral("korvanet") };
    for (int i = 2; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") }, {});
    const QCommandLineOption port = option("port", "P");
    const QCommandLineOption baud = option("baud", "B", DefaultBaud);
    const QCommandLineOption timeout =
            option("timeout", "MS", QByteArray::number(DefaultTimeoutMs).constData());
    const QCommandLineOption transcript = option("transcript", "FILE");
    const QCommandLineOption json = option("json");
    const QCommandLineOption file = option("file", "FILE");
    const QCommandLineOption yes = option("yes");
    const QCommandLineOption keepGoing = option("keep-going");
    const QCommandLineOption output({ QStringLiteral("o"), QStringLiteral("output") }, {},
                                    QStringLiteral("PATH"));
    const QCommandLineOption save = option("save");
    const QCommandLineOption all = option("all");
    const QCommandLineOption record = option("record", "FILE");
    const QCommandLineOption wait = option("wait");
    QSet<QString> added;
    const auto add = [&parser, &added](std::initializer_list<QCommandLineOption> options) {
        for (const QCommandLineOption &o : options) {
            parser.addOption(o);
            added.insert(o.names().constLast());
        }
    };
    add({ help });
    if (!commands)
        add({ port, baud, timeout, transcript });
    if (send)
        add({ file, yes, keepGoing });
    if (qstrcmp(mode.name, "read") == 0 || apply)
        add({ json, wait });
    if (qstrcmp(mode.name, "export") == 0)
        add({ output });
    if (apply)
        add({ save, all, record });

    if (!parser.parse(arguments))
        return usage(mode.name, parser.errorText());
    if (parser.isSet(help)) {
        QString text = QString::fromLatin1(mode.help);
        if (!commands)
            text = text.arg(BaudRates::spelledOut(), QLatin1StringView(DefaultBaud));
        if (send)
            text = text.arg(vocabularyLines());
        std::fputs(qPrintable(text), stdout);
        return ExitStatus::Ok;
    }

    // Only what the mode knows; the others are not the parser's to look up.
    const auto known = [&added](const QCommandLineOption &o) {
        return added.contains(o.names().constLast());
    };
    CliOptions options;
    const QStringList positional = parser.positionalArguments();
    if (commands) {
        if (!positional.isEmpty())
            return usage(mode.name,
                         QStringLiteral("unexpected argument: %1").arg(positional.constFirst()));
        return runCommands(options);
    }
    options.wait = known(wait) && parser.isSet(wait);
    if (!parser.isSet(port) && !options.wait)
        return usage(mode.name, QStringLiteral("--port N is needed"));
    QString error;
    if (parser.isSet(port)) {
        options.ports = portsFrom(parser.value(port), &error);
        if (options.ports.isEmpty())
            return usage(mode.name, error);
    }
    if (options.ports.size() > 1 && !mode.portList)
        return usage(mode.name, QStringLiteral("--port takes one port here"));
    options.baudText = parser.value(baud);
    options.baudGiven = parser.isSet(baud);
    options.transcriptPath = parser.value(transcript);
    bool ok = false;
    options.timeoutMs = parser.value(timeout).toInt(&ok);
    // The window keeps the last rate for a text that is none of the six; a script that asked
    // for another rate must not run at whatever that happens to be.
    const bool autoRate = options.baudText == u"auto" && mode.portList;
    if (!autoRate && !portSettingsForBaudText(options.baudText))
        return usage(mode.name,
                     QStringLiteral("--baud wants one of %1")
                             .arg(BaudRates::list().join(QStringLiteral(", "))));
    if (!ok || options.timeoutMs <= 0)
        return usage(mode.name, QStringLiteral("--timeout wants a number of milliseconds above 0"));
    options.json = known(json) && parser.isSet(json);
    options.output = known(output) ? parser.value(output) : QString();
    options.save = known(save) && parser.isSet(save);
    options.all = known(all) && parser.isSet(all);
    options.record = known(record) ? parser.value(record) : QString();

    if (send) {
        options.file = parser.value(file);
        options.yes = parser.isSet(yes);
        options.keepGoing = parser.isSet(keepGoing);
        options.commands = positional;
        if (parser.isSet(file) == !options.commands.isEmpty())
            return usage(mode.name, QStringLiteral("give either command texts or --file FILE"));
        if (parser.isSet(file) && options.file.isEmpty())
            return usage(mode.name, QStringLiteral("--file wants a file name"));
    } else if (apply) {
        if (positional.size() != 1)
            return usage(mode.name, QStringLiteral("give one profile"));
        options.profile = positional.constFirst();
    } else if (!positional.isEmpty()) {
        return usage(mode.name,
                     QStringLiteral("unexpected argument: %1").arg(positional.constFirst()));
    }

    // No window and no display: the core's port and timers need only an event loop.
    QCoreApplication app(argc, argv);
    // A reader that has gone is seen as a failed write, which ends the run in its own words.
    std::signal(SIGPIPE, SIG_IGN);
    // From here a signal ends the run wherever it is: while a file is read, and later with
    // the run's own words.
    if (QString error; !Termination::watch(&app, {}, &error))
        sayOnStderr(QStringLiteral("signals: %1").arg(error));
    return mode.run(options);
}

} // namespace Cli
