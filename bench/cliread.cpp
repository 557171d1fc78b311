// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet read` as a user runs it, against the simulated modem at 19200 baud, and against
// its floor: the time the bytes of the questions and the replies take on a real line at that
// rate (ten bits a byte), plus the simulator's reply delays. A pseudo-terminal moves bytes at
// no rate at all, so the simulator is paced: each reply comes only once its command and its
// own bytes would have crossed such a line.
//
// With --rfc2217, the same read also goes over RFC 2217 in every round: a second simulated
// modem, alike, behind Debian's ser2net on loopback (chardelay off), reached as COM 30. The
// two runs of a round go back to back, in turns, so the ratio compares like with like.
//
//   cliread --korvanet build/korvanet [--runs N] [--rfc2217]

#include "session/settingsstore.h"
#include "sim/simulatedmodem.h"
#include "runtoend.h"
#include "stats.h"
#include "tests/support/ser2net.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

constexpr int Rate = 19200;
constexpr int Queries = 14;

struct Sample
{
    double totalMs = 0; // exec to exit
    double firstFrameMs = 0; // exec to the first question at the modem: start-up and open
    double floorMs = 0;
};

// One simulated modem, paced at the bench's rate, with the bytes and replies of a run counted.
struct Modem
{
    Modem()
    {
        sim.setLinePaced(true);
        sim.setSignalLevel(-87);
        QObject::connect(&sim, &SimulatedModem::frameReceived, &sim, [this](const QByteArray &t) {
            if (firstFrameAt < 0)
                firstFrameAt = clock->nsecsElapsed();
            wireBytes += t.size() + 2; // and its CR LF
        });
        QObject::connect(&sim, &SimulatedModem::replySent, &sim, [this](const QByteArray &bytes) {
            wireBytes += bytes.size();
            ++replies;
        });
    }
    bool start() { return sim.setSerialRate(Rate) && sim.start(); }

    SimulatedModem sim;
    const QElapsedTimer *clock = nullptr;
    qint64 wireBytes = 0;
    int replies = 0;
    qint64 firstFrameAt = -1;
};

// ser2net in front of `device`, as the README configures it but on loopback; its address.
QString startSer2net(Ser2net &server, const QString &device)
{
    const quint16 port = freeLoopbackPort();
    const QByteArray yaml = QStringLiteral("connection: &bench\n"
                                           "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                           "  connector: serialdev,%2,19200n81,local\n"
                                           "  options:\n"
                                           "    chardelay: false\n")
                                    .arg(port)
                                    .arg(device)
                                    .toUtf8();
    if (!server.startWith(yaml, port))
        return {};
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
}

// One `korvanet read` of COM `port` against `modem`; false when it did not go through.
bool runRead(const QString &korvanet, int port, Modem &modem, Sample &sample)
{
    QElapsedTimer clock;
    modem.clock = &clock;
    modem.wireBytes = 0;
    modem.replies = 0;
    modem.firstFrameAt = -1;
    QProcess process;
    bench::runToEnd(process, korvanet,
                    { QStringLiteral("read"), QStringLiteral("--port"), QString::number(port),
                      QStringLiteral("--baud"), QString::number(Rate) },
                    clock);
    const double totalMs = double(clock.nsecsElapsed()) / 1e6;
    const QByteArray out = process.readAllStandardOutput();
    if (process.exitCode() != 0 || out.count('\n') != Queries || modem.replies != Queries) {
        std::fprintf(stderr, "cliread: the read of COM%d failed (exit %d, %d replies):\n%s%s\n",
                     port, process.exitCode(), modem.replies, out.constData(),
                     process.readAllStandardError().constData());
        return false;
    }
    const double floorMs =
            double(modem.wireBytes) * 10 * 1000 / Rate + modem.replies * modem.sim.replyDelay();
    sample = { totalMs, double(modem.firstFrameAt) / 1e6, floorMs };
    return true;
}

void reportRuns(const char *prefix, const std::vector<Sample> &samples)
{
    std::vector<double> total, first, floor, ratio, rest, restRatio;
    for (const Sample &s : samples) {
        total.push_back(s.totalMs);
        first.push_back(s.firstFrameMs);
        floor.push_back(s.floorMs);
        ratio.push_back(s.totalMs / s.floorMs);
        rest.push_back(s.totalMs - s.firstFrameMs);
        restRatio.push_back((s.totalMs - s.firstFrameMs) / s.floorMs);
    }
    const std::string key(prefix);
    bench::report(key + "_total", total, "ms");
    bench::report(key + "_floor", floor, "ms");
    bench::report(key + "_ratio", ratio, "x");
    bench::report(key + "_first_frame", first, "ms");
    bench::report(key + "_from_first_frame", rest, "ms");
    bench::report(key + "_from_first_frame_ratio", restRatio, "x");
}

} // namespace

int main(int argc, char *argv[])
{
    // The run's own settings, whatever the caller's environment: the COM map is written here.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QCoreApplication app(argc, argv);

    QString korvanet;
    bool overRfc2217 = false;
    int runs = 20;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == u"--rfc2217")
            overRfc2217 = true;
        else if (arguments[i] == u"--korvanet" && i + 1 < arguments.size())
            korvanet = arguments[++i];
        else if (arguments[i] == u"--runs" && i + 1 < arguments.size())
            runs = arguments[++i].toInt();
    }
    if (korvanet.isEmpty() || runs < 1) {
        std::fprintf(stderr, "usage: cliread --korvanet PATH [--runs N] [--rfc2217]\n");
        return 2;
    }

    Modem local;
    if (!local.start()) {
        std::fprintf(stderr, "cliread: the simulated modem did not start\n");
        return 1;
    }
    SettingsStore::write(QStringLiteral("Ports"), QStringLiteral("COM3"), local.sim.slavePath());

    std::unique_ptr<Modem> remote;
    Ser2net server;
    if (overRfc2217) {
        remote = std::make_unique<Modem>();
        const QString address =
                remote->start() ? startSer2net(server, remote->sim.slavePath()) : QString();
        if (address.isEmpty()) {
            std::fprintf(stderr,
                         "cliread: ser2net did not start in front of the second modem: %s\n",
                         qPrintable(server.error()));
            return 1;
        }
        SettingsStore::write(QStringLiteral("Ports"), QStringLiteral("COM30"), address);
    }

    std::vector<Sample> localSamples;
    std::vector<Sample> remoteSamples;
    std::vector<double> remoteOverLocal;
    for (int run = -1; run < runs; ++run) { // the first one warms the caches and is not kept
        Sample onPty;
        Sample overNetwork;
        // In turns, so neither always runs on the caches the other left.
        const bool networkFirst = remote && run % 2 != 0;
        if (networkFirst && !runRead(korvanet, 30, *remote, overNetwork))
            return 1;
        if (!runRead(korvanet, 3, local, onPty))
            return 1;
        if (remote && !networkFirst && !runRead(korvanet, 30, *remote, overNetwork))
            return 1;
        if (run < 0)
            continue;
        localSamples.push_back(onPty);
        if (remote) {
            remoteSamples.push_back(overNetwork);
            remoteOverLocal.push_back(overNetwork.totalMs / onPty.totalMs);
        }
    }
    reportRuns("cli_read", localSamples);
    if (remote) {
        reportRuns("cli_read_rfc2217", remoteSamples);
        bench::report("cli_read_rfc2217_over_pty", remoteOverLocal, "x");
    }
    return 0;
}
