// SPDX-License-Identifier: GPL-3.0-or-later
// The signal graph: reading the value out of the log, the bar, the poll and its six-tick
// transmission cycle, checked on a real pseudo-terminal.

#include "monitor/rssigraph.h"
#include "serial/widget/responselog.h"
#include "tests/support/framestamps.h"
#include "tests/support/windowonpty.h"

#include <QElapsedTimer>

namespace {

const QByteArray Poll("QM@R?\r\n");
const QByteArray TxOn("QM++O\r\n");
const QByteArray TxOff("QM+++\r\n");

[[nodiscard]] bool graphOn(Form1 &form)
{
    QTest::mouseClick(form.Command34, Qt::LeftButton);
    return form.Timer1->isActive() && form.Command34->text() == u"Hide RSSI graph";
}

} // namespace

class tst_RssiGraph : public QObject
{
    Q_OBJECT

private slots:
    void rssiFromLog_data();
    void rssiFromLog();
    void barLevelAndBand_data();
    void barLevelAndBand();
    void firstPollOneSecondAfterOn();
    void frameScheduleOverTwelveTicks();
    void turningOffDisablesTransmission_data();
    void turningOffDisablesTransmission();
    void restartGoesOnWithTheCycle();
    void readingSetsBar_data();
    void readingSetsBar();
    void portClosedWhileGraphRuns();
    void hideDuringThirdTickWait();
};

void tst_RssiGraph::rssiFromLog_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<bool>("read");
    QTest::addColumn<int>("rssi");

    QTest::newRow("reply") << "-87 dBm\r\n\r\n" << true << -87;
    QTest::newRow("four characters exactly") << "-105 dBm" << true << -105;
    QTest::newRow("only four characters taken") << "-1234 dBm" << true << -123;
    QTest::newRow("split reading stops at CR") << "-8\r\n7 dBm\r\n\r\n" << true << -8;
    QTest::newRow("blank after the sign") << "- 9 dBm" << true << -9;
    QTest::newRow("tab after the sign") << "-\t7 dBm" << true << -7;
    QTest::newRow("line feed after the sign") << "-\n7 dBm" << true << -7;
    QTest::newRow("half to even, down") << "-8.5 dBm" << true << -8;
    QTest::newRow("half to even, up") << "-9.5 dBm" << true << -10;
    QTest::newRow("half to even, -1.5") << "-1.5 dBm" << true << -2;
    QTest::newRow("text before the value") << "noise -121 dBm" << true << -121;
    QTest::newRow("first '-' wins, not the one by dBm") << "-75\r\nOK\r\n-90 dBm\r\n"
                                                        << true << -75;
    QTest::newRow("'-' after the dBm") << "dBm\r\n-60\r\n" << true << -60;
    QTest::newRow("piece cut by the end of the log") << "dBm -12" << true << -12;
    QTest::newRow("no '-'") << "abc dBm" << false << 0;
    QTest::newRow("no digit after '-'") << "-abc dBm" << false << 0;
    QTest::newRow("two signs") << "--5 dBm" << false << 0;
    QTest::newRow("dbm in other case") << "dbm -80" << false << 0;
    QTest::newRow("DBM in other case") << "-80 DBM" << false << 0;
    QTest::newRow("no dBm yet") << "-80" << false << 0;
    QTest::newRow("empty log") << "" << false << 0;
}

void tst_RssiGraph::rssiFromLog()
{
    QFETCH(QString, log);
    QFETCH(bool, read);
    QFETCH(int, rssi);

    const std::optional<qint16> value = ::rssiFromLog(log);
    QCOMPARE(value.has_value(), read);
    if (read)
        QCOMPARE(int(*value), rssi);
}

void tst_RssiGraph::barLevelAndBand_data()
{
    QTest::addColumn<int>("rssi");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("band");

    QTest::newRow("-118") << -118 << 0 << int(SignalBand::Weak);
    QTest::newRow("-106") << -106 << 24 << int(SignalBand::Weak);
    QTest::newRow("-105") << -105 << 26 << int(SignalBand::Fair);
    QTest::newRow("-94") << -94 << 48 << int(SignalBand::Fair);
    QTest::newRow("-93") << -93 << 50 << int(SignalBand::Strong);
    QTest::newRow("0") << 0 << 236 << int(SignalBand::Strong);
}

void tst_RssiGraph::barLevelAndBand()
{
    QFETCH(int, rssi);
    QFETCH(int, level);
    QFETCH(int, band);

    QCOMPARE(barLevel(qint16(rssi)), level);
    QCOMPARE(int(bandFor(level)), band);
}

// The one test on the real timer's pace.
void tst_RssiGraph::firstPollOneSecondAfterOn()
{
    OpenWindow w;
    QVERIFY(w.ready());
    w.form.Text2->setText(QStringLiteral("old\r\n"));

    QElapsedTimer clock;
    clock.start();
    QVERIFY(graphOn(w.form));
    QCOMPARE(w.form.Text2->text(), QString());
    QVERIFY(w.form.Label8->isVisible());
    QCOMPARE(w.form.Label8->text(), QStringLiteral("Signal:"));
    QCOMPARE(signalBar(w.form), QStringLiteral("---"));

    QCOMPARE(w.pty.readFor(900), QByteArray());
    QCOMPARE(w.pty.readFrame(1500), Poll);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(w.form.Laskuri, qint16(1));
    QCOMPARE(signalBar(w.form), QStringLiteral("---"));
    QVERIFY(w.script.shown().isEmpty());
}

void tst_RssiGraph::frameScheduleOverTwelveTicks()
{
    OpenWindow w;
    QVERIFY(w.ready());

    FrameStamps stamps(w.pty);
    // The query of a tick with a wait is seen during that wait, while the count is 3 or 6.
    QList<int> countAtPoll;
    stamps.setOnFrame([&w, &countAtPoll](const FrameStamps::Frame &frame) {
        if (frame.bytes == Poll)
            countAtPoll.append(w.form.Laskuri);
    });
    QList<int> countAfterTick;
    for (int tick = 1; tick <= 12; ++tick) {
        stamps.mark();
        w.form.Timer1_Timer();
        stamps.take();
        countAfterTick.append(w.form.Laskuri);
    }

    QCOMPARE(countAfterTick, (QList<int>{ 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 0 }));
    QCOMPARE(countAtPoll, (QList<int>{ 1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6 }));
    const QByteArrayList expected{ Poll, Poll, Poll, TxOn, Poll, Poll, Poll, TxOff,
                                   Poll, Poll, Poll, TxOn, Poll, Poll, Poll, TxOff };
    QCOMPARE(stamps.bytes(), expected);
    QCOMPARE(stamps.pending(), QByteArray());
    const QList<FrameStamps::Frame> &frames = stamps.frames();
    for (qsizetype i = 1; i < frames.size(); ++i) {
        if (frames[i].bytes == Poll)
            continue;
        const qint64 gap = frames[i].latest - frames[i - 1].earliest;
        QVERIFY2(waitedAtLeast(gap, 100), QByteArray::number(i) + ": " + milliseconds(gap));
    }
    QVERIFY(w.script.shown().isEmpty());
}

void tst_RssiGraph::turningOffDisablesTransmission_data()
{
    QTest::addColumn<QByteArray>("reading");
    QTest::addColumn<QString>("logAfter");

    QTest::newRow("right after turning on, no tick yet") << QByteArray() << QString();
    QTest::newRow("with the bar showing")
            << QByteArray("-93 dBm\r\n") << QStringLiteral("-93 dBm\r\n\r\n");
}

void tst_RssiGraph::turningOffDisablesTransmission()
{
    QFETCH(QByteArray, reading);
    QFETCH(QString, logAfter);

    OpenWindow w;
    QVERIFY(w.ready());
    QVERIFY(graphOn(w.form));
    if (!reading.isEmpty()) {
        w.pty.write(reading);
        QTRY_COMPARE(signalBar(w.form), QStringLiteral("GGG"));
    }

    QTest::mouseClick(w.form.Command34, Qt::LeftButton);
    QCOMPARE(w.pty.readCount(TxOff.size()), TxOff);
    QVERIFY(!w.form.Timer1->isActive());
    QCOMPARE(w.form.Command34->text(), QStringLiteral("Show RSSI graph"));
    QCOMPARE(signalBar(w.form), QStringLiteral("---"));
    QVERIFY(w.form.Label8->isHidden());
    QCOMPARE(w.form.Text2->text(), logAfter);
    QCOMPARE(w.form.Laskuri, qint16(0));
}

void tst_RssiGraph::restartGoesOnWithTheCycle()
{
    OpenWindow w;
    QVERIFY(w.ready());
    QVERIFY(graphOn(w.form));
    for (int tick = 1; tick <= 4; ++tick)
        w.form.Timer1_Timer();
    const QByteArray fourTicks = Poll + Poll + Poll + TxOn + Poll;
    QCOMPARE(w.pty.readCount(fourTicks.size()), fourTicks);

    QTest::mouseClick(w.form.Command34, Qt::LeftButton);
    QCOMPARE(w.pty.readCount(TxOff.size()), TxOff);
    QCOMPARE(w.form.Laskuri, qint16(4));
    QVERIFY(graphOn(w.form));

    w.form.Timer1_Timer();
    QCOMPARE(w.form.Laskuri, qint16(5));
    QCOMPARE(w.pty.readCount(Poll.size()), Poll);
    w.form.Timer1_Timer();
    QCOMPARE(w.form.Laskuri, qint16(0));
    QCOMPARE(w.pty.readCount(Poll.size() + TxOff.size()), Poll + TxOff);
    QVERIFY(w.script.shown().isEmpty());
}

void tst_RssiGraph::readingSetsBar_data()
{
    QTest::addColumn<QByteArrayList>("steps"); // bytes from the modem, or an action in <>
    QTest::addColumn<QString>("bar");
    QTest::addColumn<int>("rssi");

    QTest::newRow("-105: two yellow") << QByteArrayList{ "-105 dBm\r\n" } << "YY-" << -105;
    QTest::newRow("-106: one red") << QByteArrayList{ "-106 dBm\r\n" } << "R--" << -106;
    QTest::newRow("-94: two yellow") << QByteArrayList{ "-94 dBm\r\n" } << "YY-" << -94;
    QTest::newRow("-93: three green") << QByteArrayList{ "-93 dBm\r\n" } << "GGG" << -93;
    QTest::newRow("split over two receive events reads -8")
            << QByteArrayList{ "-8", "7 dBm\r\n" } << "GGG" << -8;
    QTest::newRow("no dBm yet: bar stays hidden") << QByteArrayList{ "-93" } << "---" << 0;
    QTest::newRow("dBm in a later event") << QByteArrayList{ "-93", " dBm\r\n" } << "GGG" << -93;
    QTest::newRow("first value since the emptying wins")
            << QByteArrayList{ "-93 dBm\r\n", "-106 dBm\r\n" } << "GGG" << -93;
    QTest::newRow("after a double-click the next value counts")
            << QByteArrayList{ "-93 dBm\r\n", "<double-click>", "-106 dBm\r\n" } << "R--" << -106;
    QTest::newRow("Get noise level reply")
            << QByteArrayList{ "-93 dBm\r\n", "<Get noise level>", "-121 dBm\r\n" } << "R--"
            << -121;
    QTest::newRow("no digit after '-' keeps the bar")
            << QByteArrayList{ "-106 dBm\r\n", "<double-click>", "-abc dBm\r\n" } << "R--" << -106;
    QTest::newRow("dBm without '-' keeps the bar")
            << QByteArrayList{ "-106 dBm\r\n", "<double-click>", "OK 12 dBm\r\n" } << "R--" << -106;
    // Only a running graph reads the log: the bar, once hidden, stays hidden.
    QTest::newRow("graph off: a reading leaves the bar hidden")
            << QByteArrayList{ "-106 dBm\r\n", "<Hide RSSI graph>", "-93 dBm\r\n" } << "---"
            << -106;
}

void tst_RssiGraph::readingSetsBar()
{
    QFETCH(QByteArrayList, steps);
    QFETCH(QString, bar);
    QFETCH(int, rssi);

    OpenWindow w;
    QVERIFY(w.ready());
    QVERIFY(graphOn(w.form));

    QString log;
    for (const QByteArray &step : std::as_const(steps)) {
        if (step == "<double-click>") {
            QTest::mouseDClick(w.form.Text2->viewport(), Qt::LeftButton);
            log.clear();
        } else if (step == "<Get noise level>") {
            QTest::mouseClick(w.form.Command19, Qt::LeftButton);
            log.clear();
        } else if (step == "<Hide RSSI graph>") {
            QTest::mouseClick(w.form.Command34, Qt::LeftButton);
        } else {
            w.pty.write(step);
            log += QString::fromLatin1(step) + QStringLiteral("\r\n");
            // The update runs inside the receive event that appended the step.
            QTRY_COMPARE(w.form.Text2->text(), log);
            continue;
        }
        QCOMPARE(w.form.Text2->text(), log);
    }
    QCOMPARE(signalBar(w.form), bar);
    QCOMPARE(int(w.form.RSSI), rssi);
    QCOMPARE(w.form.Timer1->isActive(), !steps.contains("<Hide RSSI graph>"));
    QVERIFY(w.script.shown().isEmpty());
}

void tst_RssiGraph::portClosedWhileGraphRuns()
{
    OpenWindow w;
    QVERIFY(w.ready());
    QVERIFY(graphOn(w.form));
    w.pty.write("-94 dBm\r\n");
    QTRY_COMPARE(signalBar(w.form), QStringLiteral("YY-"));

    QTest::mouseClick(w.form.Command36, Qt::LeftButton);
    QVERIFY(!w.form.MSComm1->PortOpen());
    QVERIFY(w.form.Timer1->isActive());
    QCOMPARE(signalBar(w.form), QStringLiteral("YY-"));
    QVERIFY(w.form.Command34->isHidden());
    QVERIFY(w.form.Label8->isHidden());
    QCOMPARE(w.form.Command34->text(), QStringLiteral("Hide RSSI graph"));
    (void)w.pty.readAvailable();

    // Four ticks with the port closed, both waiting ones among them.
    w.form.Laskuri = 2;
    for (int tick = 1; tick <= 4; ++tick)
        w.form.Timer1_Timer();
    QCOMPARE(w.form.Laskuri, qint16(0));
    QVERIFY(w.script.shown().isEmpty());
    QCOMPARE(signalBar(w.form), QStringLiteral("YY-"));

    // A fresh second for the real timer, so that no poll of its own falls into the check
    // below: whatever arrives then is a skipped frame sent late.
    w.form.Timer1->start();
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    QVERIFY(w.form.MSComm1->PortOpen());
    QCOMPARE(w.pty.readFor(200), QByteArray());
    QVERIFY(w.script.shown().isEmpty());

    QVERIFY(w.form.Check1->isChecked());
    QVERIFY(w.form.Command34->isHidden());
    QTest::mouseClick(w.form.Check1, Qt::LeftButton);
    QTest::mouseClick(w.form.Check1, Qt::LeftButton);
    QVERIFY(!w.form.Command34->isHidden());
    QCOMPARE(w.form.Command34->text(), QStringLiteral("Hide RSSI graph"));
    QTest::mouseClick(w.form.Command34, Qt::LeftButton);
    QVERIFY(!w.form.Timer1->isActive());
    QCOMPARE(w.pty.readCount(TxOff.size()), TxOff);
    QCOMPARE(signalBar(w.form), QStringLiteral("---"));
}

// The click lands in the 100 ms wait of the third tick; the tick still sends its own frame
// afterwards, so transmission ends up enabled.
void tst_RssiGraph::hideDuringThirdTickWait()
{
    OpenWindow w;
    QVERIFY(w.ready());
    QVERIFY(graphOn(w.form));

    FrameStamps stamps(w.pty);
    w.form.Laskuri = 2;
    QTimer::singleShot(30, &w.form, [&w] { QTest::mouseClick(w.form.Command34, Qt::LeftButton); });
    w.form.Timer1_Timer();
    stamps.take();

    QCOMPARE(stamps.bytes(), (QByteArrayList{ Poll, TxOff, TxOn }));
    QVERIFY(!w.form.Timer1->isActive());
    QCOMPARE(w.form.Command34->text(), QStringLiteral("Show RSSI graph"));
    QCOMPARE(w.form.Laskuri, qint16(3));
    QCOMPARE(signalBar(w.form), QStringLiteral("---"));
    QVERIFY(w.form.Label8->isHidden());
}

KORVANET_TEST_MAIN(tst_RssiGraph)
#include "tst_rssigraph.moc"
