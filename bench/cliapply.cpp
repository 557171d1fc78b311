// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet apply` as a user runs it, against simulated modems at 19200 baud, paced as a real
// line would be (ten bits a byte), and against its floor: the bytes of every question, setting
// and reply at that rate, the simulator's reply delays, and the 200 ms pause after the save.
// A five-setting profile, applied with --save: it differs from the modem in all five, so each
// run sends them all; runs alternate between two such profiles.
//
//   cliapply --korvanet build/korvanet [--runs N]
//
// prints, side by side in one run: one unit against its floor; eight units at once against
// one; and on a bench (--wait), from the moment the device appears to its row in the record,
// the rate search included, against one unit's floor.

#include "session/settingsstore.h"
#include "sim/simulatedmodem.h"
#include "runtoend.h"
#include "stats.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Rate = 19200;
constexpr int SaveMsecs = 200;
constexpr int Units = 8;

const QByteArray Profiles[2] = {
    "QM&FR=433.05000\nQM&FT=433.05000\nQM%F=0\nQM@P=500\nQM@S=2\n",
    "QM&FR=431.12500\nQM&FT=431.12500\nQM%F=1\nQM@P=1000\nQM@S=0\n",
};

struct Line
{
    std::unique_ptr<SimulatedModem> modem;
    qint64 bytes = 0;
    int replies = 0;
};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs korvanet to its end; its time in ms, or a negative number when it failed.
double timed(const QString &korvanet, const QStringList &arguments)
{
    QProcess process;
    QElapsedTimer clock;
    bench::runToEnd(process, korvanet, arguments, clock);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (process.exitCode() != 0) {
        std::fprintf(stderr, "cliapply: %s failed (exit %d):\n%s%s\n",
                     qPrintable(arguments.join(u' ')), process.exitCode(),
                     process.readAllStandardOutput().constData(),
                     process.readAllStandardError().constData());
        return -1;
    }
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QCoreApplication app(argc, argv);

    QString korvanet;
    int runs = 10;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == u"--korvanet")
            korvanet = arguments[i + 1];
        else if (arguments[i] == u"--runs")
            runs = arguments[i + 1].toInt();
    }
    if (korvanet.isEmpty() || runs < 1) {
        std::fprintf(stderr, "usage: cliapply --korvanet PATH [--runs N]\n");
        return 2;
    }

    QTemporaryDir work;
    const QString profiles[2] = { work.filePath(QStringLiteral("a.profile")),
                                  work.filePath(QStringLiteral("b.profile")) };
    if (!writeFile(profiles[0], Profiles[0]) || !writeFile(profiles[1], Profiles[1]))
        return 1;

    std::vector<Line> lines(Units);
    for (int i = 0; i < Units; ++i) {
        Line &line = lines[size_t(i)];
        line.modem = std::make_unique<SimulatedModem>();
        line.modem->setLinePaced(true);
        line.modem->setSerialNumber("SN 4" + QByteArray::number(i));
        if (!line.modem->setSerialRate(Rate) || !line.modem->start()) {
            std::fprintf(stderr, "cliapply: the simulated modem did not start\n");
            return 1;
        }
        SettingsStore::write(QStringLiteral("Ports"), QStringLiteral("COM%1").arg(11 + i),
                             line.modem->slavePath());
        QObject::connect(line.modem.get(), &SimulatedModem::frameReceived, line.modem.get(),
                         [&line](const QByteArray &text) { line.bytes += text.size() + 2; });
        QObject::connect(line.modem.get(), &SimulatedModem::replySent, line.modem.get(),
                         [&line](const QByteArray &bytes) {
                             line.bytes += bytes.size();
                             ++line.replies;
                         });
    }
    const auto floorOf = [](const Line &line) {
        return double(line.bytes) * 10 * 1000 / Rate + line.replies * line.modem->replyDelay()
                + SaveMsecs;
    };
    const auto reset = [&lines] {
        for (Line &line : lines) {
            line.bytes = 0;
            line.replies = 0;
        }
    };

    // The bench: a folder of devices, one link plugged in at a time.
    QTemporaryDir dev;
    const QString record = work.filePath(QStringLiteral("bench.csv"));
    QProcess bench;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KORVANET_DEVICE_ROOT"), dev.path());
    bench.setProcessEnvironment(env);

    std::vector<double> one, oneFloor, oneRatio, eight, eightRatio, benchMs, benchRatio;
    int profile = 0;
    for (int run = -1; run < runs; ++run) { // the first one warms the caches and is not kept
        // One unit.
        reset();
        const double single =
                timed(korvanet,
                      { QStringLiteral("apply"), QStringLiteral("--port"), QStringLiteral("11"),
                        QStringLiteral("--save"), profiles[profile] });
        const double floor = floorOf(lines[0]);
        // Eight at once, from the other profile, so every unit changes again.
        profile ^= 1;
        reset();
        const double all = timed(korvanet,
                                 { QStringLiteral("apply"), QStringLiteral("--port"),
                                   QStringLiteral("11-%1").arg(10 + Units),
                                   QStringLiteral("--save"), profiles[profile] });
        if (single < 0 || all < 0)
            return 1;

        // A bench, with one unit plugged in once the watch is up: from the link to the row.
        profile ^= 1;
        QFile::remove(record);
        QFile::remove(dev.filePath(QStringLiteral("ttyUSB0")));
        bench.start(korvanet,
                    { QStringLiteral("apply"), QStringLiteral("--wait"), QStringLiteral("--save"),
                      QStringLiteral("--record"), record, profiles[profile] });
        QElapsedTimer clock;
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(1);
        QObject::connect(&bench, &QProcess::readyReadStandardError, &loop, [&] {
            if (bench.readAllStandardError().contains("waiting for modems")) {
                reset();
                clock.start();
                QFile::link(lines[0].modem->slavePath(), dev.filePath(QStringLiteral("ttyUSB0")));
                poll.start();
            }
        });
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            QFile file(record);
            if (file.open(QIODevice::ReadOnly) && file.readAll().count('\n') >= 2)
                loop.quit();
        });
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        const double benchTook = double(clock.nsecsElapsed()) / 1e6;
        poll.stop();
        bench.terminate();
        bench.waitForFinished();
        profile ^= 1;
        if (run < 0)
            continue;
        one.push_back(single);
        oneFloor.push_back(floor);
        oneRatio.push_back(single / floor);
        eight.push_back(all);
        eightRatio.push_back(all / single);
        benchMs.push_back(benchTook);
        benchRatio.push_back(benchTook / floor);
    }
    bench::report("cli_apply_one", one, "ms");
    bench::report("cli_apply_floor", oneFloor, "ms");
    bench::report("cli_apply_ratio", oneRatio, "x");
    bench::report("cli_apply_eight", eight, "ms");
    bench::report("cli_apply_eight_ratio", eightRatio, "x");
    bench::report("cli_apply_bench", benchMs, "ms");
    bench::report("cli_apply_bench_ratio", benchRatio, "x");
    return 0;
}
