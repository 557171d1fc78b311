// SPDX-License-Identifier: GPL-3.0-or-later
// The paced wait: how long it lasts, what it dispatches meanwhile, and that it sleeps
// rather than spins.

#include "serial/module1.h"
#include "serial/widget/responselog.h"
#include "tests/support/cputime.h"
#include "tests/support/windowonpty.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

using Module1::PumpedWait;

class tst_PumpedWait : public QObject
{
    Q_OBJECT

private slots:
    void init() { resetSettings(); }
    void cleanup()
    {
        Module1::setTickSource(nullptr);
        // Leave nothing queued for the next test.
        QTest::qWait(0);
    }

    void replyArrivesDuringWait_data()
    {
        QTest::addColumn<int>("replyAfterMs");
        QTest::newRow("early") << 20;
        QTest::newRow("late") << 150;
    }

    void replyArrivesDuringWait()
    {
        QFETCH(int, replyAfterMs);
        WindowOnPty w;
        QVERIFY(w.show());
        QVERIFY(w.openPort());

        QTimer::singleShot(replyAfterMs, this, [&w] { w.pty.write("QM OK\r\n"); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(PumpedWait(200), Module1::WaitTimeout);
        const qint64 elapsed = clock.elapsed();
        // Already there, without any further event processing after the return.
        QCOMPARE(w.form.Text2->text(), QStringLiteral("QM OK\r\n\r\n"));
        QVERIFY2(elapsed >= 200, qPrintable(QString::number(elapsed)));
    }

    void lastsItsInterval_data()
    {
        QTest::addColumn<quint32>("tickOffset");
        QTest::addColumn<int>("interval");
        QTest::newRow("plain") << quint32(0) << 200;
        QTest::newRow("across 2^31") << quint32(0x80000000u - 100) << 200;
        QTest::newRow("across 2^32") << quint32(0xFFFFFFFFu - 99) << 200;
        QTest::newRow("from 2^32 - 1") << quint32(0xFFFFFFFFu) << 200;
        QTest::newRow("100 across 2^32") << quint32(0xFFFFFFFFu - 49) << 100;
    }

    void lastsItsInterval()
    {
        QFETCH(quint32, tickOffset);
        QFETCH(int, interval);
        QElapsedTimer real;
        real.start();
        Module1::setTickSource(
                [&real, tickOffset] { return quint32(real.elapsed()) + tickOffset; });
        // Events keep coming during the wait, so it passes its checks many times.
        QTimer ticker;
        ticker.start(10);

        QElapsedTimer clock;
        clock.start();
        PumpedWait(interval);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= interval, qPrintable(QString::number(elapsed)));
        QVERIFY2(elapsed < interval + 1000, qPrintable(QString::number(elapsed)));
    }

    void nestedHandlerEndsWait_data()
    {
        QTest::addColumn<bool>("nestedWait"); // the slow handler waits itself, or just works
        QTest::addColumn<int>("laterAtMs");
        // Due while the slow handler runs: a further dispatch would run it at once.
        QTest::newRow("busy 500 ms") << false << 60;
        // Due after the inner wait ended: a further blocking pass would wait for it.
        QTest::newRow("inner wait 500 ms") << true << 700;
    }

    void nestedHandlerEndsWait()
    {
        QFETCH(bool, nestedWait);
        QFETCH(int, laterAtMs);
        QElapsedTimer clock;
        bool slowDone = false;
        bool laterRan = false;
        QTimer::singleShot(20, this, [&] {
            if (nestedWait)
                PumpedWait(500);
            else
                QThread::msleep(500); // the slow handler itself, not a synchronisation
            slowDone = true;
        });
        QTimer::singleShot(laterAtMs, this, [&] { laterRan = true; });

        clock.start();
        PumpedWait(200);
        const qint64 elapsed = clock.elapsed();
        QVERIFY(slowDone);
        QVERIFY2(!laterRan, "the wait dispatched again after its deadline had passed");
        QVERIFY2(elapsed >= 515 && elapsed < 1500, qPrintable(QString::number(elapsed)));
        QTRY_VERIFY(laterRan);
    }

    void zeroNeverBlocks_data()
    {
        QTest::addColumn<QString>("pending");
        QTest::newRow("nothing pending") << "none";
        QTest::newRow("one event pending") << "one";
        // A zero timer is pending after every pass: a wait that dispatches "until nothing
        // is pending" never comes back.
        QTest::newRow("events without end") << "endless";
    }

    void zeroNeverBlocks()
    {
        QFETCH(QString, pending);
        if (pending == u"one")
            QMetaObject::invokeMethod(
                    this, [] {}, Qt::QueuedConnection);
        QTimer endless;
        if (pending == u"endless")
            endless.start(0);
        // A timer far off must not hold it up either.
        QTimer later;
        later.start(5000);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(PumpedWait(0), Module1::WaitTimeout);
        QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
    }

    void tickGoingBackwardsEndsWait_data()
    {
        QTest::addColumn<int>("backAfterMs"); // 0: from the first check on
        QTest::newRow("at once") << 0;
        QTest::newRow("during the wait") << 30;
    }

    void tickGoingBackwardsEndsWait()
    {
        QFETCH(int, backAfterMs);
        QElapsedTimer real;
        real.start();
        quint32 offset = 1000000;
        int calls = 0;
        Module1::setTickSource([&] {
            // The first read fixes the deadline; with "at once" every later read is lower.
            if (backAfterMs == 0 && calls++ > 0)
                return quint32(real.elapsed()) + offset - 1000;
            return quint32(real.elapsed()) + offset;
        });
        if (backAfterMs > 0)
            QTimer::singleShot(backAfterMs, this, [&offset] { offset -= 1000; });
        QTimer ticker;
        ticker.start(10);

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(PumpedWait(200), Module1::WaitTimeout);
        const qint64 elapsed = clock.elapsed();
        // Waiting out the interval (or for ever) is the fault; this bound leaves ample room.
        QVERIFY2(elapsed < backAfterMs + 150, qPrintable(QString::number(elapsed)));
    }

    void idleWaitSleeps_data()
    {
        QTest::addColumn<bool>("portOpen");
        QTest::newRow("no port") << false;
        QTest::newRow("open port, quiet line") << true;
    }

    void idleWaitSleeps()
    {
        QFETCH(bool, portOpen);
        WindowOnPty w;
        QVERIFY(w.show());
        if (portOpen)
            QVERIFY(w.openPort());

        const qint64 before = cpuTimeNs();
        QElapsedTimer clock;
        clock.start();
        PumpedWait(200);
        const qint64 spent = (cpuTimeNs() - before) / 1000000;
        QVERIFY(clock.elapsed() >= 200);
        QVERIFY2(spent < 50,
                 qPrintable(QStringLiteral("%1 ms of CPU in a 200 ms wait").arg(spent)));
    }
};

KORVANET_TEST_MAIN(tst_PumpedWait)
#include "tst_pumpedwait.moc"
