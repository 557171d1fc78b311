// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/controltable.h"
#include "app/form1.h"
#include "app/screenfit.h"
#include "app/windowtranscript.h"
#include "cli/cli.h"
#include "platform/escaping.h"
#include "serial/ports/portlisting.h"
#include "serial/ports/portmap.h"
#include "serial/widget/responselog.h"
#include "session/settingsstore.h"
#include "session/termination.h"
#include "session/transcript.h"
#include "sim/simulatedmodem.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QScreen>
#include <QStyleFactory>

#include <cstdio>

namespace {

constexpr int ExitUsage = 2;

struct Options
{
    bool demo = false;
    bool listPorts = false;
    QString transcript;
};

// Parsed before any application object exists, so that --help, --version and --list-ports
// work in a terminal without a display.
int parse(int argc, char *argv[], Options &options)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Configures and inspects a UHF radio modem attached to a serial port.\n\n"
            "Without a window (see 'korvanet read --help', 'korvanet send --help'):\n"
            "  korvanet read --port N [--baud B] [--json]     ask every read-only question\n"
            "  korvanet send --port N [--yes] COMMAND... | --file FILE\n"
            "                                                 send command texts in order"));
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({ QStringLiteral("v"), QStringLiteral("version") },
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption demo(
            QStringLiteral("demo"),
            QStringLiteral("Run against a built-in simulated modem on COM 3."));
    const QCommandLineOption listPorts(
            QStringLiteral("list-ports"),
            QStringLiteral("List the COM numbers and their devices, then exit."));
    const QCommandLineOption transcript(QStringLiteral("transcript"),
                                        QStringLiteral("Append a record of the session to <file>."),
                                        QStringLiteral("file"));
    parser.addOptions({ help, version, demo, listPorts, transcript });

    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.errorText().isEmpty()
                ? QStringLiteral("Unexpected argument: %1")
                          .arg(parser.positionalArguments().constFirst())
                : parser.errorText();
        std::fprintf(stderr, "korvanet: %s\nTry 'korvanet --help' for the options.\n",
                     qPrintable(error));
        return ExitUsage;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                        QStringLiteral("korvanet"))),
                   stdout);
        return EXIT_SUCCESS;
    }
    if (parser.isSet(version)) {
        std::printf("korvanet %s\n", KORVANET_VERSION);
        return EXIT_SUCCESS;
    }
    options.demo = parser.isSet(demo);
    options.listPorts = parser.isSet(listPorts);
    options.transcript = parser.value(transcript);
    return -1;
}

// KORVANET_LOG_TRACE=<file> appends every new text of the response log to that file, one line
// each, escaped as the transcript escapes. The end-to-end tests read back through it what the
// log holds; nobody else needs it.
void traceLogTo(ResponseLog *log, const QString &path)
{
    auto *file = new QFile(path, log);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "korvanet: KORVANET_LOG_TRACE: %s\n", qPrintable(file->errorString()));
        return;
    }
    QObject::connect(log, &ResponseLog::changed, file,
                     [log, file] { file->write(escapedText(log->text()).append('\n')); });
}

} // namespace

int main(int argc, char *argv[])
{
    // Every front end numbers the ports around the user's own "Ports" entries.
    PortMap::setOverrideSource(&SettingsStore::portOverrides);
    // A folder of devices other than /dev: to try the bench mode without hardware, with links
    // named like adapters (ttyUSB0) to a simulated modem's pseudo-terminal.
    if (const QString root = qEnvironmentVariable("KORVANET_DEVICE_ROOT"); !root.isEmpty())
        PortMap::setDeviceRoot(root);
    if (argc > 1 && Cli::isMode(argv[1]))
        return Cli::run(argc, argv);

    Options options;
    if (const int exitCode = parse(argc, argv, options); exitCode >= 0)
        return exitCode;

    if (options.listPorts) {
        QCoreApplication app(argc, argv);
        std::fputs(qPrintable(portListing()), stdout);
        return EXIT_SUCCESS;
    }

    double layoutScale = 1.0;
    const std::unique_ptr<QApplication> app = ScreenFit::startFitted(
            argc, argv, clientPixelSize(), BorderTwips / TwipsPerPixel, &layoutScale);
    QApplication::setApplicationName(QStringLiteral("korvanet"));
    QApplication::setApplicationDisplayName(
            options.demo ? QStringLiteral("Korvanet (demo, simulated modem)")
                         : QStringLiteral("Korvanet"));
    QApplication::setApplicationVersion(QStringLiteral(KORVANET_VERSION));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    SimulatedModem modem;
    // The demo keeps its settings in memory: it starts at the defaults (COM 3, 19200 baud,
    // where the simulated modem answers), whatever is picked while trying it leaves the
    // user's real choice alone, and no way out (a signal included) leaves a folder behind.
    if (options.demo) {
        SettingsStore::keepInMemory();
        QString error;
        if (!modem.start(&error)) {
            std::fprintf(stderr, "korvanet: the simulated modem did not start: %s\n",
                         qPrintable(error));
            return EXIT_FAILURE;
        }
        PortMap::setSessionOverride(3, modem.slavePath());
    }

    Form1 form(nullptr, layoutScale);
    // A signal ends the window as closing it does: the port closed, its locks removed, no
    // frame sent (that belongs to "Close software"), status 0.
    const auto closePort = [&form](int) {
        (void)form.MSComm1->setPortOpen(false);
        return EXIT_SUCCESS;
    };
    if (QString error; !Termination::watch(&form, closePort, &error))
        std::fprintf(stderr, "korvanet: signals: %s\n", qPrintable(error));
    // Without a title of its own Qt leaves WM_NAME empty and fills only _NET_WM_NAME, so
    // window lists and tools that read WM_NAME (xdotool, wmctrl) would find no name.
    form.setWindowTitle(QApplication::applicationDisplayName());
    if (const QString trace = qEnvironmentVariable("KORVANET_LOG_TRACE"); !trace.isEmpty())
        traceLogTo(form.Text2, trace);
    Transcript transcript;
    if (!options.transcript.isEmpty())
        recordWindowSession(transcript, options.transcript, form);
    form.move(ScreenFit::placement(form.size(), form.screen()->availableGeometry()));
    form.show();
    return QApplication::exec();
}
