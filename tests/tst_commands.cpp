// SPDX-License-Identifier: GPL-3.0-or-later
// Every command button, pressed as the user presses it, against a real pseudo-terminal: the
// exact bytes on the line, nothing more, and the log emptied first.

#include "serial/widget/responselog.h"
#include "tests/support/userinput.h"
#include "tests/support/windowonpty.h"

#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

namespace {

// The 22 buttons whose command is a constant text.
const std::pair<const char *, QByteArray> fixedFrames[] = {
    { "Command3", "QM%D?\r\n" },      { "Command4", "QM%S?\r\n" },
    { "Command5", "QM%V?\r\n" },      { "Command6", "QM@M?\r\n" },
    { "Command7", "QM&FR?\r\n" },     { "Command8", "QM&FT?\r\n" },
    { "Command12", "QM&W?\r\n" },     { "Command13", "QM&W=1250\r\n" },
    { "Command14", "QM&W=2000\r\n" }, { "Command15", "QM&W=2500\r\n" },
    { "Command16", "QM%F?\r\n" },     { "Command17", "QM%F=1\r\n" },
    { "Command18", "QM%F=0\r\n" },    { "Command19", "QM@F?\r\n" },
    { "Command20", "QM@R?\r\n" },     { "Command22", "QM+++\r\n" },
    { "Command23", "QM++O\r\n" },     { "Command24", "QM@P?\r\n" },
    { "Command26", "QM@S?\r\n" },     { "Command29", "QM&C?\r\n" },
    { "Command31", "QM@M=O\r\n" },    { "Command32", "QM@M=R\r\n" },
};

using Frames = std::span<const std::pair<const char *, QByteArray>>;

// The five buttons that send the text of their box, with the boxes' first texts.
const std::pair<const char *, QByteArray> valueFrames[] = {
    { "Command9", "QM&FR=430.32500\r\n" }, { "Command10", "QM&FT=430.32500\r\n" },
    { "Command30", "QM&C=430.32500\r\n" }, { "Command25", "QM@P=1000\r\n" },
    { "Command27", "QM@S=0\r\n" },
};

const QString compatibilityModes = QStringLiteral("0 = Tavix R4X\r\n"
                                                  "1 = PacCrest 4FSK\r\n"
                                                  "2 = PacCrest GMSK\r\n"
                                                  "3 = TrimTalk GMSK, Rx fits PacCrest modems\r\n"
                                                  "4 = TrimTalk GMSK, Rx fits Trimble modems\r\n"
                                                  "5 = PacCrest-FST");

// Long enough to tell "nothing more came" from a frame still on its way through the pty.
constexpr int QuietMs = 50;

// Something in the log that a click must remove: a reply, as the modem would send it.
bool fillLog(OpenWindow &window)
{
    window.pty.write("K");
    return QTest::qWaitFor([&window] { return window.form.Text2->text() == u"K\r\n"; });
}

} // namespace

class tst_Commands : public QObject
{
    Q_OBJECT

private slots:
    void fixedAndValueButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("frame");
        for (const auto &[button, frame] : fixedFrames)
            QTest::newRow(button) << QString::fromLatin1(button) << frame;
        for (const auto &[button, frame] : valueFrames)
            QTest::newRow(button) << QString::fromLatin1(button) << frame;
    }
    void fixedAndValueButtons()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, frame);
        OpenWindow window;
        QVERIFY(window.ready());
        QPushButton *pressed = window.button(button);
        QVERIFY(pressed && pressed->isVisible());

        QVERIFY(fillLog(window));
        QSignalSpy sent(window.form.MSComm1, &MSComm::dataSent);
        QVERIFY(sent.isValid());
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        QTest::mouseClick(pressed, Qt::LeftButton);
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QCOMPARE(window.form.Text2->text(), QString());
        QCOMPARE(window.form.Text2->toPlainText(), QString());
        QCOMPARE(window.pty.readCount(frame.size()), frame);
        QCOMPARE(window.pty.readFor(QuietMs), QByteArray());
        QVERIFY(window.script.shown().isEmpty());
        // The component reports the frame as one write, with the time it went out.
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).toByteArray(), frame);
        const qint64 at = sent.at(0).at(1).toLongLong();
        QVERIFY(at >= before && at <= after);
    }

    void sameButtonTwice_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("Set CH spacing 12.5") << "Command13" << QByteArray("QM&W=1250\r\n");
        QTest::newRow("Get RSSI level") << "Command20" << QByteArray("QM@R?\r\n");
        QTest::newRow("Set output power") << "Command25" << QByteArray("QM@P=1000\r\n");
    }
    void sameButtonTwice()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, frame);
        OpenWindow window;
        QVERIFY(window.ready());
        for (int press = 0; press < 2; ++press) {
            QVERIFY(fillLog(window));
            QTest::mouseClick(window.button(button), Qt::LeftButton);
            QCOMPARE(window.form.Text2->text(), QString());
        }
        QCOMPARE(window.pty.readCount(2 * frame.size()), frame + frame);
        QCOMPARE(window.pty.readFor(QuietMs), QByteArray());
    }

    // What the user types goes out as typed, one byte per character: no trimming, no
    // check, Latin-1 where it can, '?' where it cannot.
    void typedValues_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("empty Rx freq") << "Command9"
                                       << "Text3"
                                       << "" << QByteArray("QM&FR=\r\n");
        QTest::newRow("leading blank power") << "Command25"
                                             << "Text6"
                                             << " 500" << QByteArray("QM@P= 500\r\n");
        QTest::newRow("trailing blank Tx freq") << "Command10"
                                                << "Text4"
                                                << "430.125 " << QByteArray("QM&FT=430.125 \r\n");
        QTest::newRow("mode outside the list") << "Command27"
                                               << "Text7"
                                               << "7" << QByteArray("QM@S=7\r\n");
        QTest::newRow("power with a unit") << "Command25"
                                           << "Text6"
                                           << "2W" << QByteArray("QM@P=2W\r\n");
        QTest::newRow("Latin-1 letter")
                << "Command30"
                << "Text1" << QStringLiteral("430,1\u00e9") << QByteArray("QM&C=430,1\xe9\r\n");
        QTest::newRow("beyond Latin-1")
                << "Command9"
                << "Text3" << QStringLiteral("\u20ac5") << QByteArray("QM&FR=?5\r\n");
    }
    void typedValues()
    {
        QFETCH(QString, button);
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QByteArray, frame);
        OpenWindow window;
        QVERIFY(window.ready());
        auto *edit = window.form.findChild<QLineEdit *>(box);
        QVERIFY(edit && edit->isVisible());

        edit->setFocus();
        edit->selectAll();
        if (typed.isEmpty())
            QTest::keyClick(edit, Qt::Key_Backspace);
        else
            typeText(edit, typed);
        QCOMPARE(edit->text(), typed);

        QVERIFY(fillLog(window));
        QTest::mouseClick(window.button(button), Qt::LeftButton);
        QCOMPARE(window.form.Text2->text(), QString());
        QCOMPARE(window.pty.readCount(frame.size()), frame);
        QCOMPARE(window.pty.readFor(QuietMs), QByteArray());
        // The box keeps what was typed.
        QCOMPARE(edit->text(), typed);
    }

    void compatibilityModeInfo()
    {
        OpenWindow window;
        QVERIFY(window.ready());
        QVERIFY(fillLog(window));
        QTest::mouseClick(window.form.Command28, Qt::LeftButton);

        QCOMPARE(window.script.shown().size(), 1);
        const MessageBox::Shown box = window.script.shown().first();
        QCOMPARE(box.kind, MessageBox::Kind::Information);
        QCOMPARE(compatibilityModes.size(), 156);
        QCOMPARE(box.text, compatibilityModes);
        QCOMPARE(window.form.Text2->text(), QStringLiteral("K\r\n"));
        QCOMPARE(window.form.Text7->text(), QStringLiteral("0"));
        QCOMPARE(window.pty.readFor(100), QByteArray());
    }

    // The buttons are hidden while the port is closed, but their handlers can still run;
    // they must neither fail loudly nor leave frames queued for the next open.
    void closedPort_data()
    {
        QTest::addColumn<bool>("openedBefore");
        QTest::newRow("never opened") << false;
        QTest::newRow("opened and closed") << true;
    }
    void closedPort()
    {
        QFETCH(bool, openedBefore);
        WindowOnPty w;
        QVERIFY(w.show());
        if (openedBefore) {
            QVERIFY(w.openPort());
            QTest::mouseClick(w.form.Command36, Qt::LeftButton);
        }
        QVERIFY(!w.form.MSComm1->PortOpen());

        for (const Frames rows : { Frames(fixedFrames), Frames(valueFrames) }) {
            for (const auto &[name, frame] : rows) {
                QPushButton *button = w.button(QLatin1StringView(name));
                QVERIFY(!button->isVisible());
                w.form.Text2->setText(QStringLiteral("x"));
                button->click();
                QVERIFY2(w.form.Text2->text().isEmpty(), name);
            }
        }
        w.form.FixedCommand_Click("QM%D?");
        QVERIFY2(w.script.shown().isEmpty(), qPrintable(w.script.texts().join(u'|')));

        QVERIFY(w.openPort());
        QCOMPARE(w.pty.readFor(100), QByteArray());
        QVERIFY(w.script.shown().isEmpty());
    }
};

KORVANET_TEST_MAIN(tst_Commands)
#include "tst_commands.moc"
