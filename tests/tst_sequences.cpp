// SPDX-License-Identifier: GPL-3.0-or-later
// The paced command sequences: serial parameter change, save settings and factory defaults,
// checked byte for byte on a real pseudo-terminal, with the lower bounds of their waits.

#include "modem/framing.h"
#include "modem/modemport.h"
#include "modem/sequences.h"
#include "serial/module1.h"
#include "session/portopening.h"
#include "serial/widget/responselog.h"
#include "tests/support/framestamps.h"
#include "tests/support/windowonpty.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>

namespace {

const QString SaveQuestion = QStringLiteral("All changed settings will be saved. Are you sure?");
const QString NotSaved = QStringLiteral("Settings NOT saved.");
const QString FactoryQuestion = QStringLiteral(
        "ALL SETTINGS ARE RESTORED TO FACTORY DEFAULTS AND MODEM NEEDS TO BE POWER CYCLED!!! "
        "Are you sure?");
const QString FactoryRestored = QStringLiteral(
        "Factory defaults restored. Power cycle the modem and connect again. Baudrate is 9600.");
const QString FactoryNotRestored = QStringLiteral("Factory defaults NOT restored.");
const QString FactoryPortClosed =
        QStringLiteral("Factory defaults NOT restored. The port is not open.");

// Shows the window with `rate` in the baud-rate list (copied into Combo3 on the first show)
// and presses "Open port".
[[nodiscard]] bool openAt(WindowOnPty &w, const QString &rate)
{
    w.form.Combo1->setEditText(rate);
    return w.show() && w.openPort();
}

QString question(const QString &text)
{
    return QStringLiteral("Question: ") + text;
}

QString information(const QString &text)
{
    return QStringLiteral("Information: ") + text;
}

QString error(const QString &text)
{
    return QStringLiteral("Error: ") + text;
}

struct PortEvent
{
    bool open;
    qint64 at; // nanoseconds
    QByteArray masterBytes; // what the modem had received by then
};

// Records every open and close of the port with its time, and what had reached the modem
// at that moment.
void recordPortEvents(WindowOnPty &w, const QElapsedTimer &clock, QList<PortEvent> &events)
{
    QObject::connect(w.form.MSComm1, &MSComm::portOpenChanged, &w.form,
                     [&w, &clock, &events](bool open) {
                         events.append({ open, clock.nsecsElapsed(), w.pty.readAvailable() });
                     });
}

// A line with no window behind it, as another front end has one: frames through the
// framing, the port opened from its texts the way "Open port" opens it, paced waits.
class LinePort final : public ModemPort
{
public:
    CommStatus sendFrame(const QString &command) override { return ::sendFrame(comm, command); }
    CommStatus openPort() override { return openPortFromText(comm, QStringLiteral("3"), baudText); }
    void closePort() override { (void)comm.setPortOpen(false); }
    Pause wait(int msecs) override
    {
        return Pause::onTheSpot([msecs] { Module1::PumpedWait(msecs); });
    }

    MSComm comm;
    QString baudText = QStringLiteral("19200");
};

} // namespace

class tst_Sequences : public QObject
{
    Q_OBJECT

private slots:
    void setSerialParams_data();
    void setSerialParams();
    void getSerialParams();
    void getSerialParamsReopenFails_data();
    void getSerialParamsReopenFails();
    void saveSettings_data();
    void saveSettings();
    void factoryDefaults_data();
    void factoryDefaults();
    void factoryDefaultsPortLostDuringWait_data();
    void factoryDefaultsPortLostDuringWait();
    void enterAnswersYes_data();
    void enterAnswersYes();
    void withoutWindow_data();
    void withoutWindow();
};

void tst_Sequences::setSerialParams_data()
{
    QTest::addColumn<QString>("openRate");
    QTest::addColumn<QString>("combo1Typed"); // typed into Combo1 after opening, if any
    QTest::addColumn<QString>("combo3How"); // "set", "pick" (Down key) or "type"
    QTest::addColumn<QString>("combo3Text");
    QTest::addColumn<QString>("text5");
    QTest::addColumn<bool>("moreSettings");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<uint>("speedBefore");
    QTest::addColumn<uint>("speedAfter");
    QTest::addColumn<QString>("combo1After");

    // clang-format off
    QTest::newRow("modem told 9600, port stays at Combo1's 19200")
        << "19200" << "" << "set" << "9600" << ",8,N,1" << false
        << QByteArray("QM%B=9600,8,N,1\r\n") << uint(B19200) << uint(B19200) << "19200";
    QTest::newRow("Text5 emptied")
        << "19200" << "" << "set" << "9600" << "" << false
        << QByteArray("QM%B=9600\r\n") << uint(B19200) << uint(B19200) << "19200";
    QTest::newRow("38400 picked follows into Combo1 and the port")
        << "19200" << "" << "pick" << "38400" << ",8,N,1" << true
        << QByteArray("QM%B=38400,8,N,1\r\n") << uint(B19200) << uint(B38400) << "38400";
    QTest::newRow("38400 typed goes to the modem only")
        << "19200" << "" << "type" << "38400" << ",8,N,1" << true
        << QByteArray("QM%B=38400,8,N,1\r\n") << uint(B19200) << uint(B19200) << "19200";
    QTest::newRow("reopen takes Combo1 as it reads then; parity stays the modem's")
        << "9600" << "4800" << "set" << "9600" << ",7,E,2" << false
        << QByteArray("QM%B=9600,7,E,2\r\n") << uint(B9600) << uint(B4800) << "4800";
    // clang-format on
}

void tst_Sequences::setSerialParams()
{
    QFETCH(QString, openRate);
    QFETCH(QString, combo1Typed);
    QFETCH(QString, combo3How);
    QFETCH(QString, combo3Text);
    QFETCH(QString, text5);
    QFETCH(bool, moreSettings);
    QFETCH(QByteArray, frame);
    QFETCH(uint, speedBefore);
    QFETCH(uint, speedAfter);
    QFETCH(QString, combo1After);

    WindowOnPty w;
    w.form.Combo1->setEditText(openRate);
    const RecordedSession session(w.form);
    QVERIFY(openAt(w, openRate));
    if (moreSettings)
        QVERIFY(w.openPanel());
    if (!combo1Typed.isEmpty()) {
        w.form.Combo1->setFocus();
        w.form.Combo1->lineEdit()->selectAll();
        QTest::keyClicks(w.form.Combo1, combo1Typed);
    }
    w.form.Text5->setText(text5);
    if (combo3How == u"pick") {
        // The item before the wanted one, then one step down, as the user's arrow key does.
        w.form.Combo3->setCurrentIndex(w.form.Combo3->findText(combo3Text) - 1);
        w.form.Combo3->setFocus();
        QTest::keyClick(w.form.Combo3, Qt::Key_Down);
    } else if (combo3How == u"type") {
        w.form.Combo3->setFocus();
        w.form.Combo3->lineEdit()->selectAll();
        QTest::keyClicks(w.form.Combo3, combo3Text);
    } else {
        w.form.Combo3->setEditText(combo3Text);
    }
    QCOMPARE(w.form.Combo3->currentText(), combo3Text);

    QElapsedTimer clock;
    clock.start();
    QList<PortEvent> events;
    recordPortEvents(w, clock, events);
    // The rate the frame goes out at: nothing changes the line before the close.
    QCOMPARE(uint(w.pty.lineSpeed()), speedBefore);
    const qint64 clicked = clock.nsecsElapsed();
    QTest::mouseClick(w.form.Command21, Qt::LeftButton);

    QCOMPARE(events.size(), 2);
    QCOMPARE(events[0].open, false);
    QCOMPARE(events[1].open, true);
    // The frame went out, whole, before the close.
    QCOMPARE(events[0].masterBytes, frame);
    QVERIFY2(waitedAtLeast(events[0].at - clicked, 200), milliseconds(events[0].at - clicked));
    QVERIFY2(waitedAtLeast(events[1].at - events[0].at, 200),
             milliseconds(events[1].at - events[0].at));
    QCOMPARE(events[1].masterBytes, QByteArray());
    QCOMPARE(w.pty.readFor(50), QByteArray());

    QCOMPARE(uint(w.pty.lineSpeed()), speedAfter);
    termios line{};
    QCOMPARE(::tcgetattr(w.pty.masterFd(), &line), 0);
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & (PARENB | CSTOPB), tcflag_t(0));

    QCOMPARE(w.form.Combo1->currentText(), combo1After);
    // The record names the rate of each open as the line had it: the header and the first
    // open the rate the session started at, the reopen the one it went on at.
    const TranscriptFile transcript = session.file();
    const QByteArray port = "open COM3 " + w.pty.slavePath().toLatin1() + ' ';
    QCOMPARE(transcript.header.value("line"), openRate.toLatin1() + ",N,8,1");
    QCOMPARE(transcript.exchange(),
             QByteArrayList({ port + openRate.toLatin1() + ",N,8,1",
                              "sent " + frame.chopped(2) + "\\r\\n", "close",
                              port + combo1After.toLatin1() + ",N,8,1" }));
    QCOMPARE(w.form.Command1->text(), QStringLiteral("Port is open"));
    QVERIFY(!w.form.Text2->isHidden());
    QVERIFY(!w.form.Command21->isHidden());
    QCOMPARE(w.form.Check1->isChecked(), moreSettings);
    QVERIFY(w.form.Command35->isHidden());
    QVERIFY(w.form.Command34->isHidden());
    QCOMPARE(boxes(w.script), QStringList());
}

void tst_Sequences::getSerialParams()
{
    WindowOnPty w;
    QVERIFY(openAt(w, QStringLiteral("19200")));
    w.form.Text2->setText(QStringLiteral("old\r\n"));

    QElapsedTimer clock;
    clock.start();
    QList<PortEvent> events;
    recordPortEvents(w, clock, events);
    // A line from the modem during the first wait: it belongs to the log after the emptying.
    QTimer::singleShot(50, &w.form, [&w] { w.pty.write("A"); });
    const qint64 clicked = clock.nsecsElapsed();
    QTest::mouseClick(w.form.Command2, Qt::LeftButton);

    QCOMPARE(events.size(), 2);
    QCOMPARE(events[0].open, false);
    QCOMPARE(events[1].open, true);
    // Nothing reached the modem before the close, nor between the close and the reopen.
    QCOMPARE(events[0].masterBytes, QByteArray());
    QCOMPARE(events[1].masterBytes, QByteArray());
    QVERIFY2(waitedAtLeast(events[0].at - clicked, 200), milliseconds(events[0].at - clicked));
    QVERIFY2(waitedAtLeast(events[1].at - events[0].at, 200),
             milliseconds(events[1].at - events[0].at));
    QCOMPARE(w.pty.readFor(50), QByteArray("QM%B?\r\n"));

    w.pty.write("9600,8,N,1\r\n");
    QTRY_COMPARE(w.form.Text2->text(), QStringLiteral("A\r\n9600,8,N,1\r\n\r\n"));
    QCOMPARE(w.form.Command1->text(), QStringLiteral("Port is open"));
    QCOMPARE(uint(w.pty.lineSpeed()), uint(B19200));
    QCOMPARE(boxes(w.script), QStringList());
}

void tst_Sequences::getSerialParamsReopenFails_data()
{
    QTest::addColumn<int>("atMs");

    // Remapped rather than hung up: a freed pseudo-terminal number is soon reused by another
    // process, and the reopen would then find that one.
    QTest::newRow("COM3 remapped to a missing device during the first wait") << 50;
    QTest::newRow("COM3 remapped while the port is closed") << 300;
}

void tst_Sequences::getSerialParamsReopenFails()
{
    QFETCH(int, atMs);

    WindowOnPty w;
    QVERIFY(openAt(w, QStringLiteral("19200")));

    QElapsedTimer clock;
    clock.start();
    QList<PortEvent> events;
    recordPortEvents(w, clock, events);
    QTimer::singleShot(atMs, &w.form,
                       [] { mapComPort(3, QStringLiteral("/nonexistent/korvanet-tty")); });
    QTest::mouseClick(w.form.Command2, Qt::LeftButton);

    QCOMPARE(boxes(w.script), QStringList{ error(QStringLiteral("Invalid port number.")) });
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].open, false);
    QCOMPARE(events[0].masterBytes, QByteArray());
    QVERIFY(!w.form.MSComm1->PortOpen());
    QCOMPARE(w.form.Command1->text(), QStringLiteral("Open port"));
    QCOMPARE(w.pty.readFor(100), QByteArray());
}

void tst_Sequences::saveSettings_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QByteArrayList>("frames");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("logAfter");

    QTest::newRow("Yes: log emptied, one frame, no message")
            << true << QByteArrayList{ "QM**>\r\n" } << QStringList{ question(SaveQuestion) }
            << QStringLiteral("OK\r\n\r\n");
    QTest::newRow("No: nothing sent, log kept")
            << false << QByteArrayList{}
            << QStringList{ question(SaveQuestion), information(NotSaved) }
            << QStringLiteral("old\r\n");
}

void tst_Sequences::saveSettings()
{
    QFETCH(bool, answer);
    QFETCH(QByteArrayList, frames);
    QFETCH(QStringList, shown);
    QFETCH(QString, logAfter);

    WindowOnPty w;
    QVERIFY(openAt(w, QStringLiteral("19200")));
    w.form.Text2->setText(QStringLiteral("old\r\n"));

    FrameStamps stamps(w.pty);
    // The modem acknowledges at once, so its reply lands inside the handler's wait.
    stamps.setOnFrame([&w](const FrameStamps::Frame &) { w.pty.write("OK\r\n"); });
    w.script.answerNext(answer);
    QElapsedTimer took;
    took.start();
    QTest::mouseClick(w.form.Command11, Qt::LeftButton);
    const qint64 returnedAfter = took.nsecsElapsed();

    if (answer) {
        QVERIFY2(waitedAtLeast(returnedAfter, 200), milliseconds(returnedAfter));
        QVERIFY(stamps.waitForCount(1));
    } else {
        QVERIFY(!stamps.waitForCount(1, 300));
    }
    QCOMPARE(stamps.bytes(), frames);
    QCOMPARE(stamps.pending(), QByteArray());
    QTRY_COMPARE(w.form.Text2->text(), logAfter);
    QCOMPARE(boxes(w.script), shown);
}

void tst_Sequences::factoryDefaults_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<uint>("speed");
    QTest::addColumn<bool>("answer");

    QTest::newRow("Yes at 19200") << "19200" << uint(B19200) << true;
    QTest::newRow("Yes at 38400: nothing moves to 9600") << "38400" << uint(B38400) << true;
    QTest::newRow("No") << "19200" << uint(B19200) << false;
}

void tst_Sequences::factoryDefaults()
{
    QFETCH(QString, rate);
    QFETCH(uint, speed);
    QFETCH(bool, answer);

    WindowOnPty w;
    QVERIFY(openAt(w, rate));
    QVERIFY(w.openPanel());
    QCOMPARE(w.form.Combo3->currentText(), rate);
    w.form.Text2->setText(QStringLiteral("old\r\n"));

    QSignalSpy reopened(w.form.MSComm1, &MSComm::portOpenChanged);
    QVERIFY(reopened.isValid());
    FrameStamps stamps(w.pty);
    stamps.setOnFrame([&w](const FrameStamps::Frame &) { w.pty.write("OK\r\n"); });
    w.script.answerNext(answer);
    stamps.mark();
    QTest::mouseClick(w.form.Command35, Qt::LeftButton);
    const qint64 returned = stamps.now();

    if (answer) {
        QVERIFY(stamps.waitForCount(2));
        QCOMPARE(stamps.bytes(), (QByteArrayList{ "QM*R>\r\n", "QM**>\r\n" }));
        const QList<FrameStamps::Frame> &frames = stamps.frames();
        const qint64 between = frames[1].latest - frames[0].earliest;
        QVERIFY2(waitedAtLeast(between, 200), milliseconds(between));
        // The message is the handler's last step.
        const qint64 toMessage = returned - frames[1].earliest;
        QVERIFY2(waitedAtLeast(toMessage, 200), milliseconds(toMessage));
        QCOMPARE(boxes(w.script),
                 (QStringList{ question(FactoryQuestion), information(FactoryRestored) }));
        QTRY_COMPARE(w.form.Text2->text(), QStringLiteral("old\r\nOK\r\n\r\nOK\r\n\r\n"));
    } else {
        QVERIFY(!stamps.waitForCount(1, 300));
        QCOMPARE(boxes(w.script),
                 (QStringList{ question(FactoryQuestion), information(FactoryNotRestored) }));
        QCOMPARE(w.form.Text2->text(), QStringLiteral("old\r\n"));
    }
    QCOMPARE(stamps.pending(), QByteArray());
    QCOMPARE(w.form.Combo1->currentText(), rate);
    QCOMPARE(w.form.Combo3->currentText(), rate);
    QVERIFY(w.form.MSComm1->PortOpen());
    QCOMPARE(reopened.count(), 0);
    QCOMPARE(uint(w.pty.lineSpeed()), speed);
    QCOMPARE(w.form.Command1->text(), QStringLiteral("Port is open"));
}

void tst_Sequences::factoryDefaultsPortLostDuringWait_data()
{
    QTest::addColumn<bool>("hangUp");

    QTest::newRow("Close port pressed") << false;
    QTest::newRow("modem hung up") << true;
}

void tst_Sequences::factoryDefaultsPortLostDuringWait()
{
    QFETCH(bool, hangUp);

    WindowOnPty w;
    QVERIFY(openAt(w, QStringLiteral("19200")));
    QVERIFY(w.openPanel());

    FrameStamps stamps(w.pty);
    QTimer::singleShot(50, &w.form, [&w, hangUp] {
        if (hangUp)
            w.pty.hangUp();
        else
            w.form.Command36_Click();
    });
    QTest::mouseClick(w.form.Command35, Qt::LeftButton);
    stamps.take();

    QCOMPARE(stamps.bytes(), QByteArrayList{ "QM*R>\r\n" });
    QCOMPARE(stamps.pending(), QByteArray());
    const QStringList shown = boxes(w.script);
    QVERIFY2(!shown.contains(information(FactoryRestored)), qPrintable(shown.join(u'|')));
    QCOMPARE(shown.first(), question(FactoryQuestion));
    QCOMPARE(shown.last(), error(FactoryPortClosed));
    QCOMPARE(shown.count(error(QStringLiteral("Unknown error."))), hangUp ? 1 : 0);
    QCOMPARE(shown.size(), hangUp ? 3 : 2);
    QVERIFY(!w.form.MSComm1->PortOpen());
    QCOMPARE(w.form.Command1->text(), QStringLiteral("Open port"));
    if (!hangUp)
        QCOMPARE(w.pty.readFor(100), QByteArray());
}

void tst_Sequences::enterAnswersYes_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("Save settings")
            << "Command11" << QByteArray("QM**>\r\n") << QStringList{ SaveQuestion };
    QTest::newRow("Set factory defaults") << "Command35" << QByteArray("QM*R>\r\nQM**>\r\n")
                                          << QStringList{ FactoryQuestion, FactoryRestored };
}

// The real boxes, no script: Enter on the question must mean Yes.
void tst_Sequences::enterAnswersYes()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, written);
    QFETCH(QStringList, shown);

    PtyPair pty;
    resetSettings();
    mapComPort(3, pty.slavePath());
    Form1 form;
    form.show();
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QVERIFY(form.MSComm1->PortOpen() && form.Command1->text() == u"Port is open");
    QTest::mouseClick(form.Check1, Qt::LeftButton);
    QVERIFY(form.Check1->isChecked() && !form.Command35->isHidden());

    struct SeenBox
    {
        QString text;
        bool asks;
        bool yesIsDefault;
    };
    QList<SeenBox> seen;
    QPointer<QMessageBox> current;
    QElapsedTimer sinceEnter;
    // The boxes run their own event loop inside the handler, so the test answers them from
    // a timer: Enter goes where the keyboard focus is, as the user's key would.
    QTimer answerer;
    answerer.setInterval(10);
    connect(&answerer, &QTimer::timeout, &answerer, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (box != current) {
            current = box;
            const QAbstractButton *yes = box->button(QMessageBox::Yes);
            seen.append({ box->text(), yes != nullptr,
                          yes && static_cast<QAbstractButton *>(box->defaultButton()) == yes });
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
            sinceEnter.start();
        } else if (sinceEnter.elapsed() > 2000) {
            box->done(QMessageBox::Cancel); // Enter did nothing: fail below instead of hanging
        }
    });
    answerer.start();

    QTest::mouseClick(form.findChild<QPushButton *>(button), Qt::LeftButton);
    answerer.stop();

    QCOMPARE(pty.readCount(written.size(), 1000), written);
    QStringList texts;
    for (const SeenBox &box : std::as_const(seen))
        texts.append(box.text);
    QCOMPARE(texts, shown);
    QVERIFY(seen.first().asks);
    QVERIFY(seen.first().yesIsDefault);
    QCOMPARE(pty.readFor(50), QByteArray());
}

void tst_Sequences::withoutWindow_data()
{
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<bool>("openFirst");
    QTest::addColumn<QString>("baudText"); // the front end's rate when the sequence reopens
    // What the modem got, and where the port closed and opened in between.
    QTest::addColumn<QByteArrayList>("line");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<uint>("speedAfter");
    QTest::addColumn<int>("pausedMs");

    // clang-format off
    QTest::newRow("read serial params: the query after the reopen")
        << "read" << true << "19200" << QByteArrayList{"<close>", "<open>", "QM%B?\r\n"}
        << true << uint(B19200) << 400;
    QTest::newRow("set serial params: the frame, then the reopen at the new rate")
        << "set" << true << "9600" << QByteArrayList{"QM%B=9600,8,N,1\r\n", "<close>", "<open>"}
        << true << uint(B9600) << 400;
    QTest::newRow("save settings")
        << "save" << true << "19200" << QByteArrayList{"QM**>\r\n"} << true << uint(B19200) << 200;
    QTest::newRow("factory defaults")
        << "factory" << true << "19200" << QByteArrayList{"QM*R>\r\nQM**>\r\n"} << true
        << uint(B19200) << 400;
    QTest::newRow("factory defaults on a closed port: not restored")
        << "factory" << false << "19200" << QByteArrayList{} << false << uint(B19200) << 400;
    // clang-format on
}

void tst_Sequences::withoutWindow()
{
    QFETCH(QString, sequence);
    QFETCH(bool, openFirst);
    QFETCH(QString, baudText);
    QFETCH(QByteArrayList, line);
    QFETCH(bool, sent);
    QFETCH(uint, speedAfter);
    QFETCH(int, pausedMs);

    PtyPair pty;
    resetSettings();
    mapComPort(3, pty.slavePath());
    LinePort port;
    if (openFirst)
        QVERIFY(port.openPort().ok());
    port.baudText = baudText;
    QByteArrayList seen;
    const auto look = [&] {
        if (const QByteArray bytes = pty.readAvailable(); !bytes.isEmpty())
            seen.append(bytes);
    };
    connect(&port.comm, &MSComm::portOpenChanged, &port.comm, [&](bool open) {
        look();
        seen.append(open ? "<open>" : "<close>");
    });

    QElapsedTimer clock;
    clock.start();
    bool ok = false;
    if (sequence == u"read")
        ok = Sequences::readSerialParams(port).runHere().ok();
    else if (sequence == u"set")
        ok = Sequences::setSerialParams(port, QStringLiteral("9600,8,N,1")).runHere().ok();
    else if (sequence == u"save")
        ok = Sequences::saveSettings(port).runHere().ok();
    else
        ok = Sequences::restoreFactoryDefaults(port).runHere();
    const qint64 took = clock.nsecsElapsed();
    QTest::qWait(50);
    look();

    QCOMPARE(seen, line);
    QCOMPARE(ok, sent);
    QVERIFY2(waitedAtLeast(took, pausedMs), milliseconds(took));
    QCOMPARE(port.comm.PortOpen(), openFirst);
    if (openFirst)
        QCOMPARE(uint(pty.lineSpeed()), speedAfter);
}

KORVANET_TEST_MAIN(tst_Sequences)
#include "tst_sequences.moc"
