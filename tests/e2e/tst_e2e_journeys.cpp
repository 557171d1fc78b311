// SPDX-License-Identifier: GPL-3.0-or-later
// A person's journeys through the real utility: korvanet and korvanet-modem-sim run as their
// own processes on an X server of their own, the window is clicked and typed into with
// xdotool, and what happened is read back from three sides: the frames the simulated modem
// received and answered, the texts the response log had (its trace), and the screen's pixels.

#include "app/controltable.h"
#include "monitor/rssigraph.h"
#include "tests/e2e/e2esupport.h"
#include "tests/support/pty.h"
#include "tests/support/ser2net.h"
#include "tests/support/transcriptfile.h"

#include <functional>

#include <fcntl.h>
#include <unistd.h>

using namespace E2e;

namespace {

// One journey's world. Members end in reverse order: the utility, then the modem, then the
// X server, whatever the journey's checks said.
struct Session
{
    XServer x;
    ModemSim sim;
    Utility app{ x };
    // When set, what COM 3 leads to instead of the modem's pseudo-terminal, given its path:
    // a device server in front of it.
    std::function<QString(const QString &)> deviceFor;
    // When set, COM 3 is this link to the modem, as a /dev/serial/by-id link leads to an adapter.
    QString link;

    // The modem on COM 3, the utility started and its port opened with "Open port".
    bool open(const QStringList &simArguments, QString *error, const QStringList &appArguments = {})
    {
        if (!x.start(error) || !sim.start(simArguments, error))
            return false;
        const QString device = deviceFor ? deviceFor(sim.slavePath()) : sim.slavePath();
        if (!link.isEmpty() && !relink(link, device)) {
            *error = QStringLiteral("could not link %1").arg(link);
            return false;
        }
        app.mapComPort(3, link.isEmpty() ? device : link);
        // Should a click go astray, "Close software" must not reach a real COM1.
        app.mapComPort(1, QStringLiteral("/nonexistent/ttyKorvanetE2e"));
        if (!app.start(appArguments, error))
            return false;
        if (!app.click("Command1")) {
            *error = QStringLiteral("could not click \"Open port\"");
            return false;
        }
        // The open port shows the response log: an empty grey box where the background was.
        const QDeadlineTimer deadline(5000);
        while (!filledWith(app.grab("Text2"), Colours::Window)) {
            if (deadline.hasExpired()) {
                *error = QStringLiteral("the response log did not show after \"Open port\"");
                return false;
            }
            QTest::qWait(20);
        }
        return true;
    }
};

// The speed of a pseudo-terminal's line, read from its slave as any program there would.
speed_t lineSpeedOf(const QString &slavePath)
{
    const int fd =
            ::open(QFile::encodeName(slavePath).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    termios line{};
    const bool read = fd >= 0 && ::tcgetattr(fd, &line) == 0;
    if (fd >= 0)
        ::close(fd);
    return read ? ::cfgetospeed(&line) : B0;
}

} // namespace

class tst_E2eJourneys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString missing = missingTools();
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
    }

    void getRxFreqShowsReplyInLog()
    {
        Session s;
        QString error;
        QVERIFY2(s.open({}, &error), qPrintable(error));
        QCOMPARE(lightPixels(s.app.grab("Text2")), 0);
        const qsizetype mark = s.sim.lines().size();

        QVERIFY(s.app.click("Command7"));
        const qsizetype asked = s.sim.waitForLine("< QM&FR?", mark);
        QVERIFY2(asked >= 0, qPrintable(s.sim.lines().join('\n')));
        QVERIFY(s.sim.waitForLine("> 430.32500 MHz", asked) > asked);
        // The reply with the receive event's own CR LF after the modem's; the log was empty
        // already, so emptying it first left no trace.
        QVERIFY2(s.app.waitForLogText("430.32500 MHz\\r\\n\\r\\n") >= 0,
                 s.app.logTexts().join('|').constData());
        QCOMPARE(s.app.logTexts(), QByteArrayList({ "430.32500 MHz\\r\\n\\r\\n" }));
        // And the person at the screen sees it: light text on the grey box.
        QTRY_VERIFY_WITH_TIMEOUT(lightPixels(s.app.grab("Text2")) > 20, 3000);
    }

    void setTxFreqThenGetTxFreqReturnsIt()
    {
        Session s;
        QString error;
        QVERIFY2(s.open({}, &error), qPrintable(error));
        const qsizetype mark = s.sim.lines().size();

        QVERIFY(s.app.typeInto("Text4", QStringLiteral("431.12500")));
        QVERIFY(s.app.click("Command10"));
        const qsizetype set = s.sim.waitForLine("< QM&FT=431.12500", mark);
        QVERIFY2(set >= 0, qPrintable(s.sim.lines().join('\n')));
        QVERIFY(s.sim.waitForLine("> OK", set) > set);
        QVERIFY(s.app.waitForLogText("OK\\r\\n\\r\\n") >= 0);

        QVERIFY(s.app.click("Command8"));
        const qsizetype asked = s.sim.waitForLine("< QM&FT?", set);
        QVERIFY2(asked > set, qPrintable(s.sim.lines().join('\n')));
        QVERIFY(s.sim.waitForLine("> 431.12500 MHz", asked) > asked);
        QVERIFY2(s.app.waitForLogText("431.12500 MHz\\r\\n\\r\\n") >= 0,
                 s.app.logTexts().join('|').constData());
        QCOMPARE(s.sim.frames(), QByteArrayList({ "QM&FT=431.12500", "QM&FT?" }));
    }

    void typingIntoLogAndDoubleClickEmptyIt()
    {
        Session s;
        QString error;
        QVERIFY2(s.open({}, &error), qPrintable(error));
        QVERIFY(s.app.click("Command7"));
        QVERIFY(s.app.waitForLogText("430.32500 MHz\\r\\n\\r\\n") >= 0);

        // A note typed under the reply: the typed line break is CR LF in the log's text.
        QVERIFY(s.app.click("Text2"));
        QVERIFY(s.app.key(QStringLiteral("ctrl+End")));
        QVERIFY(s.app.type(QStringLiteral("x\\y")));
        QVERIFY(s.app.key(QStringLiteral("Return")));
        QVERIFY2(s.app.waitForLogText("430.32500 MHz\\r\\n\\r\\nx\\\\y\\r\\n") >= 0,
                 s.app.logTexts().join('|').constData());

        const qsizetype mark = s.app.logTexts().size();
        QVERIFY(s.app.doubleClick("Text2"));
        QVERIFY2(s.app.waitForLogText("", mark) >= 0, s.app.logTexts().join('|').constData());
        // Tab takes the caret out of the log; then the box is plain grey again.
        QVERIFY(s.app.key(QStringLiteral("Tab")));
        QTRY_VERIFY_WITH_TIMEOUT(filledWith(s.app.grab("Text2"), Colours::Window), 3000);
        QCOMPARE(s.sim.frames(), QByteArrayList({ "QM&FR?" }));
    }

    void rssiGraphShowsBarAndHideDisablesTransmission()
    {
        Session s;
        QString error;
        QVERIFY2(s.open({ QStringLiteral("--signal=-87") }, &error), qPrintable(error));
        QVERIFY(!isBarColour(centrePixel(s.app.grab("Shape1"))));

        QVERIFY(s.app.click("Check1"));
        // The extended panel is there when its button's olive face is.
        QTRY_VERIFY_WITH_TIMEOUT(mostly(s.app.grab("Command34"), Colours::Query), 3000);
        QVERIFY(s.app.click("Command34"));
        QTRY_VERIFY_WITH_TIMEOUT(isBarColour(centrePixel(s.app.grab("Shape1"))), 3000);
        // -87 dBm is a strong signal: three green segments.
        QTRY_VERIFY_WITH_TIMEOUT(filledWith(s.app.grab("Shape3"), BarColours::Green), 1000);
        QVERIFY(filledWith(s.app.grab("Shape1"), BarColours::Green));
        QVERIFY(filledWith(s.app.grab("Shape2"), BarColours::Green));
        QVERIFY(s.sim.frames().contains("QM@R?"));

        // Within the first five ticks the graph itself never disables transmission, so the
        // frame after this click is the button's own.
        const qsizetype mark = s.sim.lines().size();
        QVERIFY(!s.sim.frames().contains("QM+++"));
        QVERIFY(s.app.click("Command34"));
        QVERIFY2(s.sim.waitForLine("< QM+++", mark) >= 0, qPrintable(s.sim.lines().join('\n')));
        QTRY_VERIFY_WITH_TIMEOUT(!isBarColour(centrePixel(s.app.grab("Shape1"))), 3000);
        QVERIFY(!isBarColour(centrePixel(s.app.grab("Shape3"))));
    }

    void saveSettingsAnsweredWithEnter()
    {
        Session s;
        QString error;
        QVERIFY2(s.open({}, &error), qPrintable(error));
        const qsizetype mark = s.sim.lines().size();

        QVERIFY(s.app.click("Command11"));
        QVERIFY2(s.app.waitForDialog(), "no question box after \"Save settings\"");
        // Nothing goes out before the answer.
        QCOMPARE(s.sim.lines().size(), mark);
        QVERIFY(s.app.key(QStringLiteral("Return")));
        const qsizetype saved = s.sim.waitForLine("saved", mark);
        QVERIFY2(saved >= 0, qPrintable(s.sim.lines().join('\n')));
        QCOMPARE(s.sim.lines().at(saved - 1), QByteArray("< QM**>"));
        QVERIFY2(s.app.waitForNoDialog(), "the question box stayed after Enter");
    }

    // The session's transcript holds every frame and every reply byte for byte, in order,
    // with the box between them, and keeps all of it when the utility is killed outright.
    void transcriptRecordsSessionAndSurvivesSigkill()
    {
        Session s;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("session.transcript"));
        QString error;
        QVERIFY2(s.open({}, &error, { QStringLiteral("--transcript"), path }), qPrintable(error));

        QVERIFY(s.app.click("Command7"));
        QVERIFY(s.app.waitForLogText("430.32500 MHz\\r\\n\\r\\n") >= 0);
        QVERIFY(s.app.typeInto("Text4", QStringLiteral("431.12500")));
        QVERIFY(s.app.click("Command10"));
        qsizetype mark = s.app.waitForLogText("OK\\r\\n\\r\\n");
        QVERIFY(mark >= 0);
        QVERIFY(s.app.click("Command11"));
        QVERIFY2(s.app.waitForDialog(), "no question box after \"Save settings\"");
        QVERIFY(s.app.key(QStringLiteral("Return")));
        QVERIFY2(s.app.waitForLogText("OK\\r\\n\\r\\n", mark + 1) >= 0,
                 s.app.logTexts().join('|').constData());

        // The log showed the last reply, so it was read, and recorded, before this.
        s.app.process().kill();
        QVERIFY(s.app.process().waitForFinished(5000));
        QCOMPARE(s.sim.frames(), QByteArrayList({ "QM&FR?", "QM&FT=431.12500", "QM**>" }));

        const TranscriptFile transcript(path);
        QVERIFY(transcript.wellFormed);
        QCOMPARE(transcript.header.value("front end"), QByteArray("window"));
        QCOMPARE(transcript.header.value("port"), QByteArray("COM3"));
        QCOMPARE(transcript.header.value("device"), s.sim.slavePath().toLatin1());
        QCOMPARE(transcript.exchange(),
                 QByteArrayList({ "open COM3 " + s.sim.slavePath().toLatin1() + " 19200,N,8,1",
                                  "sent QM&FR?\\r\\n", "received 430.32500 MHz\\r\\n",
                                  "sent QM&FT=431.12500\\r\\n", "received OK\\r\\n",
                                  "question All changed settings will be saved. Are you sure?",
                                  "sent QM**>\\r\\n", "received OK\\r\\n" }));
        QVERIFY(transcript.timesNeverDecrease());
    }

    // The modem at a remote site, behind Debian's ser2net with RFC 2217: "Set serial params"
    // moves it to 9600, the server's port follows (its pseudo-terminal's line, as the modem
    // sees it), and the next command is answered at the new rate.
    void setSerialParamsOverRfc2217()
    {
        Ser2net ser2net; // outlives the utility, which goes first with the session
        Session s;
        QString address;
        s.deviceFor = [&](const QString &pty) {
            if (ser2net.start(pty, QStringLiteral("19200n81")))
                address = ser2net.address(Ser2net::Accepter::Rfc2217);
            return address;
        };
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("session.transcript"));
        QString error;
        QVERIFY2(s.open({}, &error, { QStringLiteral("--transcript"), path }),
                 qPrintable(error + ser2net.error()));
        QCOMPARE(lineSpeedOf(s.sim.slavePath()), speed_t(B19200));
        const qsizetype mark = s.sim.lines().size();

        // 9600 picked in the modem's rate list with the arrow keys, as a pick (the list's
        // text is the last rate's, with no item chosen yet: four steps down from none).
        QVERIFY(s.app.click("Combo3"));
        for (int step = 0; step < 4; ++step)
            QVERIFY(s.app.key(QStringLiteral("Down")));
        QVERIFY(s.app.click("Command21"));
        const qsizetype set = s.sim.waitForLine("< QM%B=9600,8,N,1", mark);
        QVERIFY2(set >= 0, qPrintable(s.sim.lines().join('\n')));
        QVERIFY(s.sim.waitForLine("rate 9600", set) > set);
        const QByteArray reopened = "open COM3 " + address.toLatin1() + " 9600,N,8,1";
        QTRY_VERIFY2_WITH_TIMEOUT(TranscriptFile(path).exchange().contains(reopened),
                                  TranscriptFile(path).exchange().join('\n').constData(), 5000);
        QCOMPARE(lineSpeedOf(s.sim.slavePath()), speed_t(B9600));

        QVERIFY(s.app.click("Command7"));
        const qsizetype asked = s.sim.waitForLine("< QM&FR?", set);
        QVERIFY2(asked > set, qPrintable(s.sim.lines().join('\n')));
        QVERIFY2(s.sim.waitForLine("> 430.32500 MHz", asked) > asked,
                 qPrintable(s.sim.lines().join('\n')));
        QVERIFY2(s.app.waitForLogText("430.32500 MHz\\r\\n\\r\\n") >= 0,
                 s.app.logTexts().join('|').constData());
        for (const QByteArray &line : s.sim.lines())
            QVERIFY2(!line.startsWith("mismatch"), line.constData());
    }

    // The adapter is pulled out with the window open and plugged in again: the loss is said
    // once, and the window opens the same adapter again by itself, with the texts it had
    // open, not what the lists show by then. Here udev does not run, and the adapter's
    // /dev/serial/by-id link is a link in a folder of the test's own, made anew for the new
    // modem's line as udev would make it.
    void pulledOutAdapterIsOpenedAgainWhenBack()
    {
        Session s;
        QTemporaryDir dev;
        s.link = dev.filePath(QStringLiteral("serial/by-id/usb-Sim_Modem_X-if00-port0"));
        const QString path = dev.filePath(QStringLiteral("session.transcript"));
        QString error;
        QVERIFY2(s.open({}, &error, { QStringLiteral("--transcript"), path }), qPrintable(error));

        s.sim.end();
        QVERIFY2(s.app.waitForDialog(), "no box after the modem went away");
        QVERIFY(s.app.key(QStringLiteral("Return")));
        QVERIFY(s.app.waitForNoDialog());
        QTRY_VERIFY_WITH_TIMEOUT(!filledWith(s.app.grab("Text2"), Colours::Window), 3000);
        QVERIFY(s.app.typeInto("Combo1", QStringLiteral("9600")));

        ModemSim back;
        QVERIFY2(back.start({}, &error), qPrintable(error));
        QVERIFY(relink(s.link, back.slavePath()));
        QTRY_VERIFY_WITH_TIMEOUT(filledWith(s.app.grab("Text2"), Colours::Window), 5000);
        QVERIFY2(s.app.waitForNoDialog(0), "a box came with the reopen");
        QVERIFY(s.app.click("Command7"));
        QVERIFY2(back.waitForLine("< QM&FR?") >= 0, qPrintable(back.lines().join('\n')));
        QVERIFY2(s.app.waitForLogText("430.32500 MHz\\r\\n\\r\\n") >= 0,
                 s.app.logTexts().join('|').constData());

        const TranscriptFile transcript(path);
        QByteArrayList events;
        for (const QByteArray &event : transcript.exchange())
            events.append(event.split(' ').constFirst());
        QCOMPARE(events,
                 QByteArrayList({ "open", "close", "lost", "error", "open", "sent", "received" }));
        const QByteArray opened = "COM3 " + s.link.toLocal8Bit() + " 19200,N,8,1";
        QCOMPARE(transcript.events.at(0).text, opened);
        QCOMPARE(transcript.events.at(4).text, opened);
    }

    void closeSoftwareSendsEnableTransmissionLastAndEnds()
    {
        Session s;
        QString error;
        QVERIFY2(s.open({}, &error), qPrintable(error));
        QVERIFY(s.app.click("Command7"));
        QVERIFY(s.sim.waitForLine("> 430.32500 MHz") >= 0);

        QVERIFY(s.app.click("Command33"));
        QVERIFY2(s.app.process().waitForFinished(5000),
                 "korvanet did not end after \"Close software\"");
        QCOMPARE(s.app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(s.app.process().exitCode(), 0);
        QVERIFY2(s.sim.waitForLine("< QM++O") >= 0, qPrintable(s.sim.lines().join('\n')));
        QCOMPARE(s.sim.frames().constLast(), QByteArray("QM++O"));
        QCOMPARE(s.sim.frames(), QByteArrayList({ "QM&FR?", "QM++O" }));
    }
};

KORVANET_TEST_MAIN(tst_E2eJourneys)
#include "tst_e2e_journeys.moc"
