// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/unixsignals.h"
#include "sim/eventlog.h"
#include "sim/simulatedmodem.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {

int failWith(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvanet-modem-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVANET_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Simulated radio modem on a pseudo-terminal.\n"
                           "Prints the terminal's device path, then one line per event.\n"
                           "SIGUSR1 power-cycles the modem; SIGTERM and SIGINT end it."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption delayOption(QStringLiteral("delay"),
                                         QStringLiteral("Reply delay in milliseconds."),
                                         QStringLiteral("ms"), QStringLiteral("5"));
    const QCommandLineOption rateOption(QStringLiteral("rate"),
                                        QStringLiteral("Serial rate the modem is set to."),
                                        QStringLiteral("baud"), QStringLiteral("19200"));
    const QCommandLineOption signalOption(QStringLiteral("signal"),
                                          QStringLiteral("Pin the received signal strength."),
                                          QStringLiteral("dBm"));
    const QCommandLineOption silentOption(QStringLiteral("silent"),
                                          QStringLiteral("Send no replies: commands are taken in "
                                                         "and carried out, nothing comes back."));
    const QCommandLineOption pacedOption(QStringLiteral("paced"),
                                         QStringLiteral("Replies also take the time their bytes "
                                                        "and the command's need on a real line."));
    const QCommandLineOption dripOption(
            QStringLiteral("drip"),
            QStringLiteral("Send replies a byte at a time, this many milliseconds apart."),
            QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption floodOption(
            QStringLiteral("flood"),
            QStringLiteral("Send a line nobody asked for every this many milliseconds."),
            QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption serialNumberOption(
            QStringLiteral("serial-number"),
            QStringLiteral("What the modem answers to QM%S? (default: SN 10293847)."),
            QStringLiteral("text"));
    const QCommandLineOption refuseOption(
            QStringLiteral("refuse"),
            QStringLiteral("Answer ERROR to every command that begins with this text."),
            QStringLiteral("text"));
    const QCommandLineOption ignoreOption(
            QStringLiteral("ignore"),
            QStringLiteral("Answer OK to every command that begins with this text, and change "
                           "nothing."),
            QStringLiteral("text"));
    parser.addOptions({ delayOption, rateOption, signalOption, silentOption, pacedOption,
                        dripOption, floodOption, serialNumberOption, refuseOption, ignoreOption });
    parser.process(app);

    SimulatedModem modem;
    bool ok = false;
    const int delay = parser.value(delayOption).toInt(&ok);
    if (!ok || delay < 0)
        return failWith(QStringLiteral("--delay wants a number of milliseconds"));
    modem.setReplyDelay(delay);
    for (const auto &[option, set] : { std::pair{ &dripOption, &SimulatedModem::setDrip },
                                       std::pair{ &floodOption, &SimulatedModem::setFlood } }) {
        const int msecs = parser.value(*option).toInt(&ok);
        if (!ok || msecs < 0)
            return failWith(QStringLiteral("--%1 wants a number of milliseconds")
                                    .arg(option->names().constFirst()));
        (modem.*set)(msecs);
    }
    modem.setSilent(parser.isSet(silentOption));
    for (const QCommandLineOption *option : { &serialNumberOption, &refuseOption, &ignoreOption }) {
        const QByteArray text = parser.value(*option).toLatin1();
        const bool printable =
                std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
        if (!printable || text.size() > 64)
            return failWith(QStringLiteral("--%1 wants up to 64 printable ASCII characters")
                                    .arg(option->names().constFirst()));
    }
    if (parser.isSet(serialNumberOption))
        modem.setSerialNumber(parser.value(serialNumberOption).toLatin1());
    modem.setRefused(parser.value(refuseOption).toLatin1());
    modem.setIgnored(parser.value(ignoreOption).toLatin1());
    modem.setLinePaced(parser.isSet(pacedOption));
    if (!modem.setSerialRate(parser.value(rateOption).toInt()))
        return failWith(QStringLiteral("--rate wants one of 1200, 2400, 4800, 9600, 19200, "
                                       "38400, 57600, 115200"));
    if (parser.isSet(signalOption)) {
        const int level = parser.value(signalOption).toInt(&ok);
        if (!ok || level >= 0)
            return failWith(QStringLiteral("--signal wants a negative level in dBm"));
        modem.setSignalLevel(level);
    }

    UnixSignals unixSignals;
    QString error;
    if (!unixSignals.watch({ SIGINT, SIGTERM, SIGUSR1 }, &error) || !modem.start(&error))
        return failWith(error);
    QObject::connect(&unixSignals, &UnixSignals::received, &modem, [&modem](int signalNumber) {
        if (signalNumber != SIGUSR1) {
            QCoreApplication::quit();
            return;
        }
        EventLog::print("power cycle");
        modem.powerCycle();
    });

    EventLog::print(modem.slavePath().toLocal8Bit());
    EventLog::follow(modem);
    return app.exec();
}
