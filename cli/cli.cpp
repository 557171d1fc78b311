// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "cli/clioptions.h"
#include "cli/commandfile.h"
#include "cli/readmode.h"
#include "cli/sendmode.h"
#include "cli/output.h"
#include "serial/baudrates.h"
#include "session/termination.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

constexpr int DefaultTimeoutMs = 1000;
const char *const DefaultBaud = "19200"; // the window's rate on a first run

const char readHelp[] = R"(Usage: korvanet read --port N [--baud B] [--timeout MS] [--json]
                     [--transcript FILE]

Asks the modem on COM port N every read-only question, one at a time, each once the
reply to the one before has come or its time-out has passed: modem type, serial number,
firmware, Rx/Tx/Ref frequency, channel spacing, FEC, repeater mode, serial params,
output power, compatibility mode, noise and RSSI. Prints one line per question: the
caption of the window's button, a tab, and the reply as received without its CR LF
(control bytes and bytes outside ASCII escaped as \r, \n, \xNN, a backslash as \\).
No setting is ever sent.

Options:
  --port N           the COM number, as in the window's port list (needed)
  --baud B           the PC's rate: %1 (default %2)
  --timeout MS       how long to wait for each reply, in milliseconds (default 1000)
  --json             print the captions and the replies as one JSON object instead;
                     a reply that did not come is null
  --transcript FILE  append a record of the session to FILE
  -h, --help         show this help and exit

Each reply belongs to its question: one that comes after its time-out is reported as
late on stderr, never printed as the answer to the next question, and lines the modem
sends unasked make the run end with status 3.

Exit status: 0 every question answered; 1 the port could not be opened, or failed;
2 wrong usage; 3 a reply did not come in time, said ERROR, or came late or unasked;
128 + the signal's number when a signal (SIGINT, SIGTERM, SIGHUP) ended the run, or 141
when standard output was closed.
)";

const char sendHelp[] = R"(Usage: korvanet send --port N [--baud B] [--timeout MS] [--yes]
                     [--keep-going] [--transcript FILE] COMMAND...
       korvanet send --port N [--baud B] [--timeout MS] [--yes]
                     [--keep-going] [--transcript FILE] --file FILE

Sends command texts to the modem on COM port N in order, each once the reply to the one
before has come or its time-out has passed, and prints each one with its reply beside
it, a tab between them. Quote each text in a shell: 'QM&FR=433.05000'. FILE (- for
standard input) holds one command text per line, at most 1 MiB and 256 bytes a line;
"#" at the start of a line or after a blank starts a comment, and blank lines are
ignored.

Only the modem's 31 command texts are sent, the settings with a value in the form the
setting takes after the "=": a decimal number for the frequencies, a whole number for
the output power and the compatibility mode, a rate (and format, 9600,8,N,1) for the
serial params. Any other text is refused, with its line number, before the port is
opened, and then nothing is sent. QM**> (save settings) and QM*R> (factory defaults), which the window
confirms first, are sent only with --yes. Each of them is followed by a pause of 200 ms.
After QM%B= the port is closed and opened again, 200 ms apart, at the new rate when it
is one of the six, and the following commands go out at that rate.

The run stops at the first command whose reply does not come in time or says ERROR,
and says what was sent without a reply, what was never sent, and whether the modem is
left with transmission off or its changes unsaved; --keep-going sends the rest anyway.

Options:
  --port N           the COM number, as in the window's port list (needed)
  --baud B           the PC's rate: %1 (default %2)
  --timeout MS       how long to wait for each reply, in milliseconds (default 1000)
  --file FILE        read the command texts from FILE instead of the command line
  --yes              allow QM**> and QM*R>
  --keep-going       go on after a command that failed
  --transcript FILE  append a record of the session to FILE
  -h, --help         show this help and exit

The command texts:
%3

Exit status: 0 every command got a reply; 1 the port could not be opened, or failed;
2 wrong usage or a refused command; 3 a reply did not come in time, said ERROR, or came
late or unasked; 128 + the signal's number when a signal (SIGINT, SIGTERM, SIGHUP)
ended the run, or 141 when standard output was closed.
)";

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

} // namespace

namespace Cli {

bool isMode(const char *argument)
{
    return std::strcmp(argument, "read") == 0 || std::strcmp(argument, "send") == 0;
}

int run(int argc, char *argv[])
{
    const char *mode = argv[1];
    const bool send = std::strcmp(mode, "send") == 0;
    QStringList arguments{ QStringLiteral("korvanet") };
    for (int i = 2; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") }, {});
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("N"));
    const QCommandLineOption baud(QStringLiteral("baud"), {}, QStringLiteral("B"),
                                  QLatin1StringView(DefaultBaud));
    const QCommandLineOption timeout(QStringLiteral("timeout"), {}, QStringLiteral("MS"),
                                     QString::number(DefaultTimeoutMs));
    const QCommandLineOption transcript(QStringLiteral("transcript"), {}, QStringLiteral("FILE"));
    const QCommandLineOption json(QStringLiteral("json"), {});
    const QCommandLineOption file(QStringLiteral("file"), {}, QStringLiteral("FILE"));
    const QCommandLineOption yes(QStringLiteral("yes"), {});
    const QCommandLineOption keepGoing(QStringLiteral("keep-going"), {});
    parser.addOptions({ help, port, baud, timeout, transcript });
    if (send)
        parser.addOptions({ file, yes, keepGoing });
    else
        parser.addOption(json);

    if (!parser.parse(arguments))
        return usage(mode, parser.errorText());
    if (parser.isSet(help)) {
        QString text = QString::fromLatin1(send ? sendHelp : readHelp)
                               .arg(BaudRates::spelledOut(), QLatin1StringView(DefaultBaud));
        if (send)
            text = text.arg(vocabularyLines());
        std::fputs(qPrintable(text), stdout);
        return ExitStatus::Ok;
    }

    CliOptions options;
    options.portText = parser.value(port);
    options.baudText = parser.value(baud);
    options.transcriptPath = parser.value(transcript);
    bool ok = false;
    options.timeoutMs = parser.value(timeout).toInt(&ok);
    if (!parser.isSet(port))
        return usage(mode, QStringLiteral("--port N is needed"));
    // The window keeps the last rate for a text that is none of the six; a script that asked
    // for another rate must not run at whatever that happens to be.
    if (!portSettingsForBaudText(options.baudText))
        return usage(mode,
                     QStringLiteral("--baud wants one of %1")
                             .arg(BaudRates::list().join(QStringLiteral(", "))));
    if (!ok || options.timeoutMs <= 0)
        return usage(mode, QStringLiteral("--timeout wants a number of milliseconds above 0"));

    if (send) {
        options.file = parser.value(file);
        options.yes = parser.isSet(yes);
        options.keepGoing = parser.isSet(keepGoing);
        options.commands = parser.positionalArguments();
        if (parser.isSet(file) == !options.commands.isEmpty())
            return usage(mode, QStringLiteral("give either command texts or --file FILE"));
        if (parser.isSet(file) && options.file.isEmpty())
            return usage(mode, QStringLiteral("--file wants a file name"));
    } else {
        options.json = parser.isSet(json);
        if (!parser.positionalArguments().isEmpty()) {
            return usage(mode,
                         QStringLiteral("unexpected argument: %1")
                                 .arg(parser.positionalArguments().constFirst()));
        }
    }

    // No window and no display: the core's port and timers need only an event loop.
    QCoreApplication app(argc, argv);
    // A reader that has gone is seen as a failed write, which ends the run in its own words.
    std::signal(SIGPIPE, SIG_IGN);
    // From here a signal ends the run wherever it is: while the command file is read, and
    // later with the run's own words (runToEnd).
    const auto plainEnd = [](int signalNumber) { return 128 + signalNumber; };
    if (QString error; !Termination::watch(&app, plainEnd, &error))
        sayOnStderr(QStringLiteral("signals: %1").arg(error));
    return send ? runSend(options) : runRead(options);
}

} // namespace Cli
