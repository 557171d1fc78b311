// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet read` as a user runs it, against the simulated modem at 19200 baud, and against
// its floor: the time the bytes of the questions and the replies take on a real line at that
// rate (ten bits a byte), plus the simulator's reply delays. A pseudo-terminal moves bytes at
// no rate at all, so the simulator is paced: each reply comes only once its command and its
// own bytes would have crossed such a line.
//
//   cliread --korvanet build/korvanet [--runs N]

#include "session/settingsstore.h"
#include "sim/simulatedmodem.h"
#include "stats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int Rate = 19200;
constexpr int Queries = 14;

struct Sample
{
    double totalMs = 0; // exec to exit
    double firstFrameMs = 0; // exec to the first question at the modem: start-up and open
    double floorMs = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    // The run's own settings, whatever the caller's environment: the COM map is written here.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QCoreApplication app(argc, argv);

    QString korvanet;
    int runs = 20;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == u"--korvanet")
            korvanet = arguments[i + 1];
        else if (arguments[i] == u"--runs")
            runs = arguments[i + 1].toInt();
    }
    if (korvanet.isEmpty() || runs < 1) {
        std::fprintf(stderr, "usage: cliread --korvanet PATH [--runs N]\n");
        return 2;
    }

    SimulatedModem modem;
    modem.setLinePaced(true);
    modem.setSignalLevel(-87);
    if (!modem.setSerialRate(Rate) || !modem.start()) {
        std::fprintf(stderr, "cliread: the simulated modem did not start\n");
        return 1;
    }
    SettingsStore::write(QStringLiteral("Ports"), QStringLiteral("COM3"), modem.slavePath());

    QElapsedTimer clock;
    qint64 wireBytes = 0;
    int replies = 0;
    qint64 firstFrameAt = -1;
    QObject::connect(&modem, &SimulatedModem::frameReceived, &modem, [&](const QByteArray &text) {
        if (firstFrameAt < 0)
            firstFrameAt = clock.nsecsElapsed();
        wireBytes += text.size() + 2; // and its CR LF
    });
    QObject::connect(&modem, &SimulatedModem::replySent, &modem, [&](const QByteArray &bytes) {
        wireBytes += bytes.size();
        ++replies;
    });

    std::vector<Sample> samples;
    for (int run = -1; run < runs; ++run) { // the first one warms the caches and is not kept
        wireBytes = 0;
        replies = 0;
        firstFrameAt = -1;
        QProcess process;
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        clock.start();
        process.start(korvanet,
                      { QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("3"),
                        QStringLiteral("--baud"), QString::number(Rate) });
        loop.exec();
        const double totalMs = double(clock.nsecsElapsed()) / 1e6;
        const QByteArray out = process.readAllStandardOutput();
        if (process.exitCode() != 0 || out.count('\n') != Queries || replies != Queries) {
            std::fprintf(stderr, "cliread: the read failed (exit %d, %d replies):\n%s%s\n",
                         process.exitCode(), replies, out.constData(),
                         process.readAllStandardError().constData());
            return 1;
        }
        if (run < 0)
            continue;
        const double floorMs = double(wireBytes) * 10 * 1000 / Rate + replies * modem.replyDelay();
        samples.push_back({ totalMs, double(firstFrameAt) / 1e6, floorMs });
    }

    std::vector<double> total, first, floor, ratio, rest, restRatio;
    for (const Sample &s : samples) {
        total.push_back(s.totalMs);
        first.push_back(s.firstFrameMs);
        floor.push_back(s.floorMs);
        ratio.push_back(s.totalMs / s.floorMs);
        rest.push_back(s.totalMs - s.firstFrameMs);
        restRatio.push_back((s.totalMs - s.firstFrameMs) / s.floorMs);
    }
    bench::report("cli_read_total", total, "ms");
    bench::report("cli_read_floor", floor, "ms");
    bench::report("cli_read_ratio", ratio, "x");
    bench::report("cli_read_first_frame", first, "ms");
    bench::report("cli_read_from_first_frame", rest, "ms");
    bench::report("cli_read_from_first_frame_ratio", restRatio, "x");
    return 0;
}
