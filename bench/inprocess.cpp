// SPDX-License-Identifier: GPL-3.0-or-later
// The utility's window inside this process, its port on a real pseudo-terminal whose master
// end stands in for the modem. Measured here:
//   clickToWire  a click on "Get CH spacing" to the frame's bytes readable at the master;
//   wireToLog    a reply written at the master to its text in the response log;
//   pumpedWait   how far PumpedWait(200) overshoots, and the CPU it burns meanwhile;
//   flood        1 MB of random bytes at full speed: the log rule, a 50 ms timer's jitter,
//                memory growth and the time to drain.
// Each prints "@@" summary lines (stats.h) for bench/run; a QVERIFY failure means the
// figure is not worth reporting. Counts can be set through the environment (BENCH_CLICKS,
// BENCH_REPLIES, BENCH_WAITS, BENCH_FLOODS) for a quick look.

#include "app/form1.h"
#include "app/messagebox.h"
#include "platform/pty.h"
#include "session/settingsstore.h"
#include "serial/module1.h"
#include "serial/widget/responselog.h"
#include "stats.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <cerrno>
#include <memory>
#include <random>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using bench::nowMs;
using bench::report;

namespace {

int countFromEnv(const char *name, int fallback)
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue(name, &ok);
    return ok && n > 0 ? n : fallback;
}

// Reads `fd` until `count` bytes have come or `timeoutMs` has passed. poll() wakes on the
// first byte, so the time of return is the time the last byte became readable.
QByteArray readFd(int fd, qsizetype count, int timeoutMs)
{
    QByteArray got;
    const double deadline = nowMs() + timeoutMs;
    char buffer[256];
    while (got.size() < count) {
        const int left = int(deadline - nowMs());
        if (left <= 0)
            break;
        pollfd p{ fd, POLLIN, 0 };
        if (::poll(&p, 1, left) <= 0)
            continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, n);
    }
    return got;
}

// Runs the event loop for `ms`, then dispatches whatever is still pending. Not QTest::qWait:
// that sleeps 10 ms between its passes, which would show up as timer jitter of our own.
void settle(int ms = 0)
{
    if (ms > 0) {
        QEventLoop loop;
        QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace

class Bench : public QObject
{
    Q_OBJECT

private:
    int m_master = -1;
    int m_slave = -1;
    // A second pair that nothing else reads: the kernel's own pseudo-terminal latency, timed
    // the same way, as the baseline for both directions.
    int m_rawMaster = -1;
    int m_rawSlave = -1;
    std::unique_ptr<MessageBox::Script> m_script;
    std::unique_ptr<Form1> m_form;

private slots:
    void initTestCase()
    {
        RawPty line;
        RawPty spare;
        QVERIFY(openRawPty(line) && openRawPty(spare));
        // Our own descriptor on the slave keeps the master from hanging up between opens.
        m_master = line.master;
        m_slave = line.slave;
        m_rawMaster = spare.master;
        m_rawSlave = spare.slave;
        // The flood's writer blocks while the utility is behind, as a real line holds it up.
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) & ~O_NONBLOCK);
        SettingsStore::write(QStringLiteral("Ports"), QStringLiteral("COM3"), line.slavePath);
        SettingsStore::write(QStringLiteral("Settings"), QStringLiteral("ComPort"),
                             QStringLiteral("3"));

        m_script = std::make_unique<MessageBox::Script>();
        m_form = std::make_unique<Form1>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        QTest::mouseClick(m_form->Command1, Qt::LeftButton);
        QVERIFY(m_form->MSComm1->PortOpen());
        QVERIFY(m_form->Command12->isVisible());
        settle(200);
    }

    void cleanupTestCase()
    {
        QVERIFY2(m_script->shown().isEmpty(), qPrintable(m_script->texts().join(u' ')));
        QVERIFY(m_form->MSComm1->PortOpen());
        m_form.reset();
        for (int fd : { m_master, m_slave, m_rawMaster, m_rawSlave })
            ::close(fd);
    }

    void clickToWire()
    {
        const int clicks = countFromEnv("BENCH_CLICKS", 1000);
        const QByteArray frame("QM&W?\r\n");
        std::vector<double> samples, raw, difference;
        for (int i = -50; i < clicks; ++i) { // the first 50 warm the caches up
            const double t0 = nowMs();
            QTest::mouseClick(m_form->Command12, Qt::LeftButton);
            const QByteArray got = readFd(m_master, frame.size(), 1000);
            const double t1 = nowMs();
            QCOMPARE(got, frame);
            // The send event of the write and the button's repaint, outside the clock.
            settle();

            const double r0 = nowMs();
            QVERIFY(::write(m_rawSlave, frame.constData(), size_t(frame.size())) == frame.size());
            QCOMPARE(readFd(m_rawMaster, frame.size(), 1000), frame);
            const double r1 = nowMs();
            if (i >= 0) {
                samples.push_back((t1 - t0) * 1000);
                raw.push_back((r1 - r0) * 1000);
                difference.push_back((t1 - t0 - (r1 - r0)) * 1000);
            }
        }
        report("click_to_wire_inprocess", samples, "us");
        report("click_to_wire_inprocess_raw", raw, "us");
        report("click_to_wire_inprocess_own", difference, "us");
    }

    void wireToLog()
    {
        const int replies = countFromEnv("BENCH_REPLIES", 1000);
        const QByteArray reply("430.32500 MHz\r\n");
        ResponseLog *log = m_form->Text2;
        double inLog = 0;
        // The log's own change signal stamps the moment the text is there: no polling
        // interval of ours lies between the change and the clock.
        const QMetaObject::Connection stamp = connect(log, &ResponseLog::changed, this, [&] {
            if (inLog == 0 && log->text().contains(u"MHz"))
                inLog = nowMs();
        });
        // Only so that the wait below cannot hang for ever should a reply be lost.
        QTimer guard;
        guard.setInterval(2000);

        std::vector<double> samples, passSamples, raw, difference;
        for (int i = -50; i < replies; ++i) {
            // The same bytes through the spare pair, master to slave, read with poll().
            const double r0 = nowMs();
            QVERIFY(::write(m_rawMaster, reply.constData(), size_t(reply.size())) == reply.size());
            QCOMPARE(readFd(m_rawSlave, reply.size(), 1000), reply);
            const double r1 = nowMs();

            log->setText(QString());
            settle();
            inLog = 0;
            guard.start();
            const double t0 = nowMs();
            QVERIFY(::write(m_master, reply.constData(), size_t(reply.size())) == reply.size());
            // One blocking pass at a time, the log looked at after each: the wait blocks in
            // the dispatcher until the serial notifier fires, as the window's own loop does.
            double t1 = 0;
            while (t1 == 0 && nowMs() - t0 < 2000) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                if (log->text().contains(u"MHz"))
                    t1 = nowMs();
            }
            guard.stop();
            QCOMPARE(log->text(), QString::fromLatin1(reply + "\r\n"));
            if (i >= 0) {
                samples.push_back((inLog - t0) * 1000);
                passSamples.push_back((t1 - t0) * 1000);
                raw.push_back((r1 - r0) * 1000);
                difference.push_back((inLog - t0 - (r1 - r0)) * 1000);
            }
        }
        disconnect(stamp);
        log->setText(QString());
        report("wire_to_log", samples, "us");
        report("wire_to_log_pass_end", passSamples, "us");
        report("wire_to_log_raw", raw, "us");
        report("wire_to_log_own", difference, "us");
    }

    void pumpedWait()
    {
        const int waits = countFromEnv("BENCH_WAITS", 20);
        std::vector<double> overshoot;
        std::vector<double> cpu;
        for (int i = 0; i < waits; ++i) {
            settle(20);
            const double c0 = nowMs(CLOCK_PROCESS_CPUTIME_ID);
            const double t0 = nowMs();
            Module1::PumpedWait(200);
            const double t1 = nowMs();
            const double c1 = nowMs(CLOCK_PROCESS_CPUTIME_ID);
            QVERIFY2(t1 - t0 >= 200, "PumpedWait returned short of its interval");
            overshoot.push_back(t1 - t0 - 200);
            cpu.push_back(c1 - c0);
        }
        report("pumpedwait_overshoot", overshoot, "ms");
        report("pumpedwait_cpu", cpu, "ms");
    }

    void flood()
    {
        const int floods = countFromEnv("BENCH_FLOODS", 5);
        constexpr qsizetype FloodBytes = 1 << 20;
        constexpr int LogLimit = 100;
        ResponseLog *log = m_form->Text2;
        Form1 *form = m_form.get();

        QByteArray data(FloodBytes, Qt::Uninitialized);
        std::mt19937 random(20240611);
        for (char &c : data)
            c = char(random() & 0xff);

        // Two watchers on the log. The first sees every text before the window's own
        // 100-character rule has run, so it can count what arrived; the second sees what the
        // rule left, which is what must never exceed 100. The rule's handler is moved
        // between them; it still runs synchronously inside the same change.
        qsizetype counted = 0;
        qsizetype longestBeforeRule = 0;
        qsizetype longestAfterRule = 0;
        qsizetype changes = 0;
        qsizetype strays = 0;
        double drainedAt = 0;
        QString previous = log->text();
        QVERIFY(disconnect(log, &ResponseLog::changed, form, &Form1::Text2_Change));
        const auto before = connect(log, &ResponseLog::changed, this, [&] {
            const QString &now = log->text();
            longestBeforeRule = std::max(longestBeforeRule, now.size());
            if (now.isEmpty()) {
                previous.clear();
                return;
            }
            if (now.startsWith(previous) && now.endsWith(u"\r\n"))
                counted += now.size() - previous.size() - 2;
            else
                ++strays;
            previous = now;
            if (counted >= FloodBytes && drainedAt == 0)
                drainedAt = nowMs();
        });
        connect(log, &ResponseLog::changed, form, &Form1::Text2_Change);
        const auto after = connect(log, &ResponseLog::changed, this, [&] {
            ++changes;
            longestAfterRule = std::max(longestAfterRule, log->text().size());
        });

        std::vector<double> ticks;
        QTimer metronome;
        metronome.setTimerType(Qt::PreciseTimer);
        metronome.setInterval(50);
        connect(&metronome, &QTimer::timeout, this, [&] { ticks.push_back(nowMs()); });

        std::vector<double> drain, writing, jitter, quietJitter, growth, throughput;
        const long rssFirst = bench::vmRssKb(0);
        for (int run = 0; run < floods; ++run) {
            log->setText(QString());
            settle(300);
            const long rssBefore = bench::vmRssKb(0);
            counted = 0;
            drainedAt = 0;
            ticks.clear();
            metronome.start();
            settle(500);

            std::atomic<double> lastWritten{ 0 };
            const double start = nowMs();
            std::thread writer([&] {
                qsizetype done = 0;
                while (done < data.size()) {
                    const ssize_t n =
                            ::write(m_master, data.constData() + done, size_t(data.size() - done));
                    if (n > 0)
                        done += n;
                    else if (n < 0 && errno != EINTR && errno != EAGAIN)
                        break;
                }
                lastWritten = nowMs();
            });
            while (drainedAt == 0 && nowMs() - start < 60000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            writer.join();
            QCOMPARE(counted, FloodBytes);
            settle(300);
            metronome.stop();
            settle();
            const long rssAfter = bench::vmRssKb(0);

            // Intervals that overlap the flood, from the first byte to the last one consumed.
            double worst = 0, quietWorst = 0;
            for (size_t i = 1; i < ticks.size(); ++i) {
                const double deviation = std::abs(ticks[i] - ticks[i - 1] - 50);
                if (ticks[i] >= start && ticks[i - 1] <= drainedAt)
                    worst = std::max(worst, deviation);
                else if (ticks[i] < start)
                    quietWorst = std::max(quietWorst, deviation);
            }
            drain.push_back(drainedAt - lastWritten);
            writing.push_back(lastWritten - start);
            throughput.push_back(double(FloodBytes) / 1024 / 1024 / ((drainedAt - start) / 1000));
            jitter.push_back(worst);
            quietJitter.push_back(quietWorst);
            growth.push_back(double(rssAfter - rssBefore) / 1024);
        }
        const long rssLast = bench::vmRssKb(0);

        disconnect(before);
        disconnect(after);
        QVERIFY(form->MSComm1->PortOpen());
        QCOMPARE(strays, 0);
        QVERIFY2(longestAfterRule <= LogLimit, "the log held more than 100 characters");
        QVERIFY(longestBeforeRule > LogLimit); // the rule really had work to do
        report("flood_drain", drain, "ms");
        report("flood_write", writing, "ms");
        report("flood_throughput", throughput, "MiB/s");
        report("flood_jitter", jitter, "ms");
        report("flood_quiet_jitter", quietJitter, "ms");
        report("flood_rss_growth", growth, "MiB");
        bench::reportValue("flood_rss_growth_total", double(rssLast - rssFirst) / 1024, "MiB");
        bench::reportValue("flood_log_longest", double(longestAfterRule), "chars");
        bench::reportValue("flood_log_longest_before_rule", double(longestBeforeRule), "chars");
        bench::reportValue("flood_log_changes", double(changes), "changes");
    }
};

int main(int argc, char *argv[])
{
    // The utility's settings go to a directory of this run, never the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Korvanet"));
    Bench bench;
    return QTest::qExec(&bench, argc, argv);
}

#include "inprocess.moc"
