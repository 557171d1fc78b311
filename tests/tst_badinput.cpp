// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile input from both sides: 10,000 characters in every box, every byte value and
// terminal control sequences from the modem, characters the line cannot carry, a flood
// typed into the log itself. Checked byte for byte at the far end of a real
// pseudo-terminal.

#include "modem/commands.h"
#include "serial/widget/responselog.h"
#include "tests/support/userinput.h"
#include "tests/support/windowonpty.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

namespace {

constexpr qsizetype Long = 10000;

// Printable ASCII in a pattern that does not repeat within a box, different per box, so a
// dropped, doubled or swapped piece shows.
QString longText(int box)
{
    QString text;
    text.reserve(Long);
    for (qsizetype i = 0; i < Long; ++i)
        text.append(QChar(char16_t(u'!' + (i + i / 94 + box * 13) % 94)));
    return text;
}

// The modem reads its line all the time; so does this, while events run, so that a long
// frame never waits on a full buffer.
class Drain
{
public:
    explicit Drain(PtyPair &pty) : m_pty(pty), m_notifier(pty.masterFd(), QSocketNotifier::Read)
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, &m_notifier,
                         [this] { m_bytes += m_pty.readAvailable(); });
    }

    // Everything the modem has received, once `count` bytes are there or the time is up.
    QByteArray take(qsizetype count, int timeoutMs = 5000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        m_bytes += m_pty.readAvailable();
        while (m_bytes.size() < count && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
            m_bytes += m_pty.readAvailable();
        }
        return std::exchange(m_bytes, {});
    }

private:
    PtyPair &m_pty;
    QSocketNotifier m_notifier;
    QByteArray m_bytes;
};

} // namespace

class tst_BadInput : public QObject
{
    Q_OBJECT

private slots:
    void longTextsGoOutWhole_data();
    void longTextsGoOutWhole();
    void longPortText_data();
    void longPortText();
    void everyByteInOneBurst();
    void controlCharactersKept_data();
    void controlCharactersKept();
    void charactersTheLineCannotCarry_data();
    void charactersTheLineCannotCarry();
    void floodTypedIntoLog_data();
    void floodTypedIntoLog();
    void graphWithLongLog();
    void holderNameShownEscaped_data();
    void holderNameShownEscaped();
    void boxesShowPlainText();
};

void tst_BadInput::longTextsGoOutWhole_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("frame");

    // Each button with the number of its box, so that a button taking another box's text
    // shows.
    const std::tuple<const char *, int, const char *> valueButtons[] = {
        { "Command9", 3, Commands::SetRxFrequency },
        { "Command10", 4, Commands::SetTxFrequency },
        { "Command30", 1, Commands::SetRefFrequency },
        { "Command25", 6, Commands::SetOutputPower },
        { "Command27", 7, Commands::SetCompatibilityMode },
    };
    for (const auto &[button, box, prefix] : valueButtons) {
        QTest::newRow(button) << QString::fromLatin1(button)
                              << QByteArray(prefix) + longText(box).toLatin1() + "\r\n";
    }
    QTest::newRow("Command21") << QStringLiteral("Command21")
                               << QByteArray(Commands::SetSerialParams) + longText(13).toLatin1()
                    + longText(5).toLatin1() + "\r\n";
}

void tst_BadInput::longTextsGoOutWhole()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, frame);

    OpenWindow w;
    QVERIFY2(w.ready(), qPrintable(boxDetails(w.script)));
    // Every box full at once; each button must take its own box and nothing else.
    const QList<QLineEdit *> boxes{ w.form.Text1, w.form.Text3, w.form.Text4,
                                    w.form.Text5, w.form.Text6, w.form.Text7 };
    for (QLineEdit *box : boxes)
        box->setText(longText(box->objectName().mid(4).toInt()));
    w.form.Combo1->setEditText(longText(11));
    w.form.Combo3->setEditText(longText(13));
    QStringList typed;
    for (QLineEdit *box : boxes)
        typed.append(box->text());
    typed << w.form.Combo1->currentText() << w.form.Combo3->currentText();
    for (const QString &text : typed)
        QCOMPARE(text.size(), Long);

    Drain drain(w.pty);
    QPushButton *pressed = w.button(button);
    QVERIFY(pressed && pressed->isVisible());
    QTest::mouseClick(pressed, Qt::LeftButton);

    const QByteArray received = drain.take(frame.size());
    QCOMPARE(received.size(), frame.size());
    QVERIFY2(received == frame, "the frame differs from what was typed");
    QCOMPARE(w.pty.readFor(50), QByteArray());
    QVERIFY2(w.script.shown().isEmpty(), qPrintable(boxDetails(w.script)));
    // Set serial params has closed and reopened; a baud-rate text of no known rate keeps
    // the line as it was.
    QVERIFY(w.form.MSComm1->PortOpen());
    QCOMPARE(w.pty.lineSpeed(), speed_t(B19200));
    QStringList after;
    for (QLineEdit *box : boxes)
        after.append(box->text());
    after << w.form.Combo1->currentText() << w.form.Combo3->currentText();
    QVERIFY(after == typed);
}

void tst_BadInput::longPortText_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("message"); // empty: opens COM3

    const QString unknown = QStringLiteral("Unknown error.");
    const QString invalid = QStringLiteral("Invalid port number.");
    QTest::newRow("digits far beyond 16 bits") << QString(Long, u'7') << unknown;
    QTest::newRow("letters") << QString(Long, u'x') << invalid;
    QTest::newRow("a fraction that never ends") << "3." + QString(Long - 2, u'0') << QString();
    QTest::newRow("blanks, then 3") << QString(Long - 1, u' ') + u'3' << QString();
    QTest::newRow("zeros, then 3") << QString(Long - 1, u'0') + u'3' << QString();
    QTest::newRow("3, then letters") << u'3' + QString(Long - 1, u'x') << QString();
}

void tst_BadInput::longPortText()
{
    QFETCH(QString, portText);
    QFETCH(QString, message);

    WindowOnPty w;
    w.form.Combo2->setEditText(portText);
    QVERIFY(w.show());
    QCOMPARE(w.form.Combo2->currentText(), portText);
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);

    QCOMPARE(w.form.Combo2->currentText(), portText);
    if (message.isEmpty()) {
        QVERIFY2(w.form.MSComm1->PortOpen(), qPrintable(boxDetails(w.script)));
        QCOMPARE(w.form.MSComm1->CommPort(), qint16(3));
        QVERIFY(w.script.shown().isEmpty());
        return;
    }
    QVERIFY(!w.form.MSComm1->PortOpen());
    QCOMPARE(w.script.texts(), QStringList{ message });
    QCOMPARE(w.script.shown().constFirst().kind, MessageBox::Kind::Error);
    // The reason fits in a box: it names the text, but not all 10,000 characters of it.
    const QString detail = w.script.shown().constFirst().detail;
    QVERIFY2(!detail.isEmpty() && detail.size() < 200, qPrintable(detail.left(300)));
    QVERIFY2(detail.contains(u"port number"), qPrintable(detail.left(300)));
}

void tst_BadInput::everyByteInOneBurst()
{
    OpenWindow w;
    QVERIFY2(w.ready(), qPrintable(boxDetails(w.script)));
    QByteArray all(256, 0);
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    // The rule empties the log inside the change that brought the burst, before anyone
    // else hears of that change: an observer hears of both changes (the burst, the emptying)
    // but sees only the emptied log, and the display never lays out the 258 characters.
    QStringList seen;
    connect(w.form.Text2, &ResponseLog::changed, &w.form,
            [&] { seen.append(w.form.Text2->text()); });
    int laidOut = 0;
    connect(w.form.Text2, &QPlainTextEdit::textChanged, &w.form,
            [&] { laidOut = std::max(laidOut, int(w.form.Text2->toPlainText().size())); });

    QVERIFY(w.pty.writeWhole(all));
    QTRY_COMPARE(seen, (QStringList{ QString(), QString() }));
    QCOMPARE(laidOut, 0);
    QCOMPARE(w.form.Text2->text(), QString());
    QCOMPARE(w.form.Text2->toPlainText(), QString());

    // And the line goes on working.
    w.pty.write("OK\r\n");
    QTRY_COMPARE(w.form.Text2->text(), QStringLiteral("OK\r\n\r\n"));
}

void tst_BadInput::controlCharactersKept_data()
{
    QTest::addColumn<QByteArray>("burst");
    QTest::addColumn<QString>("shown");

    QTest::newRow("terminal escapes")
            << QByteArray("\x00\x01\x1b[2J\r\r\n\b\x7f", 11)
            << QStringLiteral("\u2400\u2401\u241b[2J\u240d\n\u2408\u2421\n");
    QTest::newRow("window title and bell")
            << QByteArray("\x1b]0;pwned\x07OK") << QStringLiteral("\u241b]0;pwned\u2407OK\n");
    QByteArray controls;
    QString pictures;
    for (char16_t c = 0; c < 0x20; ++c) {
        controls.append(char(c));
        pictures.append(c == u'\t' ? QChar(u'\t') : QChar(char16_t(0x2400 + c)));
    }
    QTest::newRow("every control character") << controls << pictures + u'\n';
}

void tst_BadInput::controlCharactersKept()
{
    QFETCH(QByteArray, burst);
    QFETCH(QString, shown);

    OpenWindow w;
    QVERIFY2(w.ready(), qPrintable(boxDetails(w.script)));
    QVERIFY(w.pty.writeWhole(burst));
    const QString exact = QString::fromLatin1(burst) + QStringLiteral("\r\n");
    QTRY_COMPARE(w.form.Text2->text(), exact);
    QCOMPARE(w.form.Text2->toPlainText(), shown);
    QCOMPARE(ResponseLog::exactFor(w.form.Text2->toPlainText()), exact);

    // The next reply is appended; nothing of the first is lost on the way.
    QVERIFY(w.pty.writeWhole("OK"));
    QTRY_COMPARE(w.form.Text2->text(), exact + QStringLiteral("OK\r\n"));
    QCOMPARE(w.form.Text2->toPlainText(), shown + QStringLiteral("OK\n"));
}

void tst_BadInput::charactersTheLineCannotCarry_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("frame");

    // One byte per character: what Latin-1 has goes as its byte, anything else as "?".
    QTest::newRow("Greek, euro, CJK")
            << "Text1"
            << "Command30" << QStringLiteral("\u03a9\u20ac\u4e2d") << QByteArray("QM&C=???\r\n");
    QTest::newRow("among digits") << "Text3"
                                  << "Command9" << QStringLiteral("430.3\u03a925")
                                  << QByteArray("QM&FR=430.3?25\r\n");
    QTest::newRow("Latin-1 letters")
            << "Text6"
            << "Command25" << QStringLiteral("\u00e9\u00b0") << QByteArray("QM@P=\xe9\xb0\r\n");
    QTest::newRow("outside the BMP")
            << "Text7"
            << "Command27" << QStringLiteral("1\U0001D11E2") << QByteArray("QM@S=1?2\r\n");
    QTest::newRow("modem rate") << "Combo3"
                                << "Command21" << QStringLiteral("96\u20ac0")
                                << QByteArray("QM%B=96?0,8,N,1\r\n");
}

void tst_BadInput::charactersTheLineCannotCarry()
{
    QFETCH(QString, box);
    QFETCH(QString, button);
    QFETCH(QString, typed);
    QFETCH(QByteArray, frame);

    OpenWindow w;
    QVERIFY2(w.ready(), qPrintable(boxDetails(w.script)));
    w.form.Text5->setText(QStringLiteral(",8,N,1"));
    QWidget *field = box == u"Combo3" ? static_cast<QWidget *>(w.form.Combo3->lineEdit())
                                      : w.form.findChild<QLineEdit *>(box);
    QVERIFY(field);
    w.form.activateWindow();
    field->setFocus();
    if (auto *edit = qobject_cast<QLineEdit *>(field))
        edit->clear();
    typeText(field, typed);
    const QString inBox = box == u"Combo3" ? w.form.Combo3->currentText()
                                           : static_cast<QLineEdit *>(field)->text();
    QCOMPARE(inBox, typed);

    Drain drain(w.pty);
    QTest::mouseClick(w.button(button), Qt::LeftButton);
    QCOMPARE(drain.take(frame.size()), frame);
    QVERIFY(w.script.shown().isEmpty());
}

void tst_BadInput::floodTypedIntoLog_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("left");

    // 10,000 characters one by one: every 101st empties the log, and one is left.
    QTest::newRow("key by key") << "keys" << QStringLiteral("!");
    QTest::newRow("one key event") << "event" << QString();
    QTest::newRow("paste") << "paste" << QString();
}

void tst_BadInput::floodTypedIntoLog()
{
    QFETCH(QString, how);
    QFETCH(QString, left);

    OpenWindow w;
    QVERIFY2(w.ready(), qPrintable(boxDetails(w.script)));
    w.form.activateWindow();
    w.form.Text2->setFocus();
    int changes = 0;
    qsizetype longest = 0;
    connect(w.form.Text2, &ResponseLog::changed, &w.form, [&] {
        ++changes;
        longest = qMax(longest, w.form.Text2->text().size());
    });
    const QString flood(Long, u'!');
    if (how == u"keys") {
        for (qsizetype i = 0; i < Long; ++i)
            QTest::keyClick(w.form.Text2, '!');
    } else if (how == u"event") {
        QTest::sendKeyEvent(QTest::Click, w.form.Text2, Qt::Key_unknown, flood, Qt::NoModifier);
    } else {
        QGuiApplication::clipboard()->setText(flood);
        QTest::keyClick(w.form.Text2, Qt::Key_V, Qt::ControlModifier);
    }

    QVERIFY(changes > 0);
    QCOMPARE(w.form.Text2->text(), left);
    QCOMPARE(w.form.Text2->toPlainText(), left);
    // Seen after the log's own change handler, the log never holds more than 100.
    QVERIFY2(longest <= 100, qPrintable(QString::number(longest)));
    // The log still takes the modem's replies.
    w.pty.write("OK\r\n");
    QTRY_COMPARE(w.form.Text2->text(), left + QStringLiteral("OK\r\n\r\n"));
}

void tst_BadInput::graphWithLongLog()
{
    OpenWindow w;
    QVERIFY2(w.ready(), qPrintable(boxDetails(w.script)));
    int receiveEvents = 0;
    connect(w.form.MSComm1, &MSComm::OnComm, &w.form, [&] {
        if (w.form.MSComm1->CommEvent() == CommEvents::Receive)
            ++receiveEvents;
    });
    // The bytes wait whole at the port before the utility reads them: exactly one event.
    const auto receiveAsOneEvent = [&](const QByteArray &bytes) {
        const int before = receiveEvents;
        if (!w.pty.writeWhole(bytes))
            return false;
        const QDeadlineTimer deadline(2000);
        while (receiveEvents == before && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        return receiveEvents == before + 1;
    };
    QTest::mouseClick(w.form.Command34, Qt::LeftButton);
    QVERIFY(w.form.Timer1->isActive());
    w.pty.write("-94 dBm\r\n");
    QTRY_COMPARE(signalBar(w.form), QStringLiteral("YY-"));

    // A long log is emptied by its own change before any reading could see it.
    QString log;
    while (log.size() < Long)
        log += QStringLiteral("RSSI -50 dBm, ");
    log.truncate(Long);
    w.form.Text2->setText(log);
    QCOMPARE(w.form.Text2->text(), QString());
    QCOMPARE(signalBar(w.form), QStringLiteral("YY-"));
    w.pty.write("-106 dBm\r\n");
    QTRY_COMPARE(signalBar(w.form), QStringLiteral("R--"));

    // So is the same from the modem, in three receive events of over 3,000 characters.
    const QByteArray burst = log.toLatin1();
    for (qsizetype start = 0; start < Long; start += 3334) {
        QVERIFY(receiveAsOneEvent(burst.mid(start, 3334)));
        QCOMPARE(w.form.Text2->text(), QString());
    }
    QCOMPARE(signalBar(w.form), QStringLiteral("R--"));
    QCOMPARE(w.form.RSSI, qint16(-106));

    // And a fresh reading still sets the bar.
    w.pty.write("-93 dBm\r\n");
    QTRY_COMPARE(signalBar(w.form), QStringLiteral("GGG"));
    QCOMPARE(w.form.RSSI, qint16(-93));
    QVERIFY(w.script.shown().isEmpty());
}

void tst_BadInput::holderNameShownEscaped_data()
{
    QTest::addColumn<QByteArray>("name"); // of the program that holds the port
    QTest::addColumn<QString>("shown");
    QTest::newRow("terminal controls and HTML")
            << QByteArray("\x1b]0;pwned\x07\x1b[2J<font color=red size=7>BIG")
            << QStringLiteral("\\x1b]0;pwned\\x07\\x1b[2J<font color=red size=7>BIG");
    QTest::newRow("longer than a line")
            << QByteArray(200, 'n') << QString(64, u'n') + QChar(u'\u2026');
}

// Another user's program holds the port under a name of that user's choosing: the refusal
// names it escaped, and only as much of it as tells which.
void tst_BadInput::holderNameShownEscaped()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    const QString program = dir.filePath(QFile::decodeName(name));
    QVERIFY(QFile::copy(QStringLiteral(KORVANET_HOLDPORT), program));

    WindowOnPty w;
    QVERIFY(w.show());
    QProcess holder;
    holder.start(program, { w.pty.slavePath() });
    QVERIFY2(holder.waitForReadyRead(5000) && holder.readLine() == "open\n",
             holder.readAllStandardError().constData());
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    QCOMPARE(w.script.texts(), QStringList{ QStringLiteral("Port already open.") });
    QCOMPARE(w.script.shown().constFirst().detail,
             QStringLiteral("%1 is in use by %2 (PID %3).")
                     .arg(w.pty.slavePath(), shown)
                     .arg(holder.processId()));
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
}

// What a box shows is text, never markup, whoever chose it.
void tst_BadInput::boxesShowPlainText()
{
    const QString detail = QStringLiteral(
            "<font color=red size=7>BIG</font> <a href=\"https://example.org\">x</a>");
    QStringList labels;
    QTimer::singleShot(0, qApp, [&labels] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        for (const QLabel *label : box->findChildren<QLabel *>()) {
            if (!label->text().isEmpty())
                labels.append(label->text()
                              + QLatin1String(label->textFormat() == Qt::PlainText
                                                      ? " (plain)"
                                                      : " (not plain)"));
        }
        box->done(QMessageBox::Ok);
    });
    MessageBox::error(nullptr, QStringLiteral("Port already open."), detail);
    QCOMPARE(labels,
             QStringList({ QStringLiteral("Port already open. (plain)"),
                           detail + QStringLiteral(" (plain)") }));
}

KORVANET_TEST_MAIN(tst_BadInput)
#include "tst_badinput.moc"
