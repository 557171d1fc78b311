// SPDX-License-Identifier: GPL-3.0-or-later
// Open port, Close port and the response log, over a real pseudo-terminal: the exact line
// speed the utility sets, the exact failure messages, and the log byte for byte.

#include "serial/lossreason.h"
#include "serial/permissionadvice.h"
#include "serial/widget/responselog.h"
#include "tests/support/cputime.h"
#include "tests/support/portholder.h"
#include "tests/support/serverundertest.h"
#include "tests/support/windowonpty.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Names = QSet<QString>;

// Shown by Open port: the log, its label and the main command panel.
const Names portControls = {
    "Text2",     "Label3",    "Label4",    "Label5",    "Label6",    "Check1",    "Command22",
    "Command23", "Command2",  "Command21", "Command7",  "Command9",  "Command8",  "Command10",
    "Command29", "Command30", "Command11", "Command12", "Command13", "Command14", "Command15",
    "Command16", "Command17", "Command18", "Command6",  "Command31", "Command32", "Text5",
    "Text3",     "Text4",     "Text1",     "Combo3",
};

// Hidden by Close port besides those: the "More settings..." panel and the graph's label.
const Names panelControls = {
    "Command3",  "Command4",  "Command5",  "Command19", "Command20", "Command24",
    "Command25", "Command26", "Command27", "Command28", "Command34", "Command35",
    "Text6",     "Text7",     "Label7",    "Label8",
};

Names visibleControls(const Form1 &form)
{
    Names visible;
    for (const ControlRow &row : controlTable()) {
        const auto *control = form.findChild<QWidget *>(QLatin1StringView(row.name));
        if (control && control->isVisible())
            visible.insert(QString::fromLatin1(row.name));
    }
    return visible;
}

QStringList sorted(const Names &names)
{
    QStringList list(names.cbegin(), names.cend());
    list.sort();
    return list;
}

// A window with no pseudo-terminal behind it, its port list set as the user left it.
struct Window
{
    explicit Window(const QString &port = QStringLiteral(" 3"))
    {
        form.Combo2->setEditText(port);
        form.Combo1->setEditText(QStringLiteral("19200"));
        form.show();
    }
    Form1 form;
};

// COM3 on the pty, with the lists set as the user left them, on screen.
[[nodiscard]] bool showWith(WindowOnPty &w, const QString &port = QStringLiteral(" 3"),
                            const QString &baud = QStringLiteral("19200"))
{
    w.form.Combo2->setEditText(port);
    w.form.Combo1->setEditText(baud);
    return w.show();
}

} // namespace

class tst_PortHandling : public QObject
{
    Q_OBJECT

private slots:
    void init() { resetSettings(); }

    void openMapsPortNumber_data()
    {
        QTest::addColumn<QString>("portText");
        QTest::addColumn<int>("number");
        QTest::newRow("default, no blank") << "3" << 3;
        QTest::newRow("list item") << " 7" << 7;
        QTest::newRow("blanks and tab") << " \t 12" << 12;
        QTest::newRow("half up to even") << "7.5" << 8;
        QTest::newRow("half down to even") << "6.5" << 6;
        QTest::newRow("digits then letters") << "5x" << 5;
        QTest::newRow("largest") << "32767" << 32767;
    }

    void openMapsPortNumber()
    {
        QFETCH(QString, portText);
        QFETCH(int, number);
        WindowOnPty w;
        mapComPort(number, w.pty.slavePath());
        QVERIFY(showWith(w, portText));
        const Names before = visibleControls(w.form);

        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
        QCOMPARE(w.form.MSComm1->CommPort(), number);
        QCOMPARE(w.form.Command1->text(), QStringLiteral("Port is open"));
        const Names after = visibleControls(w.form);
        QCOMPARE(sorted(after - before), sorted(portControls));
        QCOMPARE(sorted(before - after), QStringList());
        // Opening neither writes nor empties anything.
        QCOMPARE(w.pty.readFor(50), QByteArray());
        QCOMPARE(w.form.Text2->text(), QString());
    }

    void openAppliesLineSettings_data()
    {
        QTest::addColumn<QString>("earlierBaud"); // opened and closed first; empty: never
        QTest::addColumn<QString>("baud");
        QTest::addColumn<speed_t>("speed");
        QTest::addColumn<QString>("settings");
        QTest::newRow("1200") << ""
                              << "1200" << speed_t(B1200) << "1200,N,8,1";
        QTest::newRow("2400") << ""
                              << "2400" << speed_t(B2400) << "2400,N,8,1";
        QTest::newRow("4800") << ""
                              << "4800" << speed_t(B4800) << "4800,N,8,1";
        QTest::newRow("9600") << ""
                              << "9600" << speed_t(B9600) << "9600,N,8,1";
        QTest::newRow("19200") << ""
                               << "19200" << speed_t(B19200) << "19200,N,8,1";
        QTest::newRow("38400") << ""
                               << "38400" << speed_t(B38400) << "38400,N,8,1";
        QTest::newRow("57600, first time") << ""
                                           << "57600" << speed_t(B9600) << "9600,N,8,1";
        QTest::newRow("trailing blank, first time") << ""
                                                    << "9600 " << speed_t(B9600) << "9600,N,8,1";
        QTest::newRow("57600 after 2400") << "2400"
                                          << "57600" << speed_t(B2400) << "2400,N,8,1";
        QTest::newRow("blank after 38400") << "38400"
                                           << "9600 " << speed_t(B38400) << "38400,N,8,1";
        QTest::newRow("leading blank after 1200") << "1200"
                                                  << " 4800" << speed_t(B1200) << "1200,N,8,1";
        QTest::newRow("empty after 4800") << "4800"
                                          << "" << speed_t(B4800) << "4800,N,8,1";
    }

    void openAppliesLineSettings()
    {
        QFETCH(QString, earlierBaud);
        QFETCH(QString, baud);
        QFETCH(speed_t, speed);
        QFETCH(QString, settings);
        WindowOnPty w;
        QVERIFY(showWith(w, QStringLiteral(" 3"), earlierBaud));
        if (!earlierBaud.isEmpty()) {
            QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
            QTest::mouseClick(w.form.Command36, Qt::LeftButton);
            QVERIFY(!w.form.MSComm1->PortOpen());
        }
        // Whatever the line was set to before, only this open may set it now.
        termios line{};
        QCOMPARE(::tcgetattr(w.pty.masterFd(), &line), 0);
        ::cfsetspeed(&line, B50);
        QCOMPARE(::tcsetattr(w.pty.masterFd(), TCSANOW, &line), 0);

        w.form.Combo1->setEditText(baud);
        const RecordedSession session(w.form);
        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
        QCOMPARE(w.pty.lineSpeed(), speed);
        QCOMPARE(w.form.MSComm1->Settings(), settings);
        // The record's header and its open both name the line as it was set.
        const TranscriptFile transcript = session.file();
        const QByteArray device = w.pty.slavePath().toLatin1();
        QCOMPARE(transcript.header.value("port"), QByteArray("COM3"));
        QCOMPARE(transcript.header.value("device"), device);
        QCOMPARE(transcript.header.value("line"), settings.toLatin1());
        QCOMPARE(transcript.exchange(),
                 QByteArrayList{ "open COM3 " + device + ' ' + settings.toLatin1() });
        QCOMPARE(w.form.Command1->text(), QStringLiteral("Port is open"));
        termios applied{};
        QCOMPARE(::tcgetattr(w.pty.masterFd(), &applied), 0);
        QCOMPARE(applied.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(applied.c_cflag & (PARENB | CSTOPB), tcflag_t(0));
    }

    void openFails_data()
    {
        QTest::addColumn<QString>("portText");
        QTest::addColumn<int>("mapNumber"); // mapped to `device`; 0: nothing mapped
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QByteArray>("recordedPort"); // the transcript header's
        const QString invalid = QStringLiteral("Invalid port number.");
        const QString unknown = QStringLiteral("Unknown error.");
        const QString missing = QStringLiteral("/nonexistent/ttyKorvanet0");
        QTest::newRow("no device for the number")
                << " 999" << 0 << QString() << invalid << "No serial device is known as COM999."
                << QByteArray("COM999");
        QTest::newRow("mapped device missing")
                << " 9" << 9 << missing << invalid
                << "COM9 is " + missing + ", which does not exist." << QByteArray("COM9");
        QTest::newRow("COM3 reads as 0") << "COM3" << 0 << QString() << invalid
                                         << "\"COM3\" is no port number." << QByteArray("\"COM3\"");
        QTest::newRow("zero") << " 0" << 0 << QString() << invalid << "COM0 is not a port number."
                              << QByteArray("COM0");
        QTest::newRow("negative") << "-3" << 0 << QString() << invalid
                                  << "COM-3 is not a port number." << QByteArray("COM-3");
        QTest::newRow("empty") << "" << 0 << QString() << invalid << "\"\" is no port number."
                               << QByteArray("\"\"");
        QTest::newRow("above 16 bits") << "40000" << 0 << QString() << unknown
                                       << "\"40000\" is no port number." << QByteArray("\"40000\"");
        QTest::newRow("below 16 bits")
                << "-40000" << 0 << QString() << unknown << "\"-40000\" is no port number."
                << QByteArray("\"-40000\"");
        QTest::newRow("rounds past 32767")
                << "32767.5" << 0 << QString() << unknown << "\"32767.5\" is no port number."
                << QByteArray("\"32767.5\"");
    }

    void openFails()
    {
        QFETCH(QString, portText);
        QFETCH(int, mapNumber);
        QFETCH(QString, device);
        QFETCH(QString, message);
        QFETCH(QString, detail);
        QFETCH(QByteArray, recordedPort);
        if (mapNumber > 0)
            mapComPort(mapNumber, device);
        MessageBox::Script script;
        Window w(portText);
        const RecordedSession session(w.form);
        const Names before = visibleControls(w.form);

        QTest::mouseClick(w.form.Command1, Qt::LeftButton);
        QCOMPARE(script.texts(), QStringList{ message });
        QCOMPARE(script.shown().constFirst().kind, MessageBox::Kind::Error);
        QCOMPARE(script.shown().constFirst().detail, detail);
        // The record names no port that nobody asked for, and the failure as the box said it.
        const TranscriptFile transcript = session.file();
        QCOMPARE(transcript.header.value("port"), recordedPort);
        QCOMPARE(transcript.header.value("device"),
                 device.isEmpty() ? QByteArray("none") : device.toLatin1());
        QCOMPARE(transcript.exchange(),
                 QByteArrayList{ "error " + message.toLatin1() + "\\n" + detail.toLatin1() });
        QVERIFY(!w.form.MSComm1->PortOpen());
        QCOMPARE(w.form.Command1->text(), QStringLiteral("Open port"));
        QCOMPARE(sorted(visibleControls(w.form)), sorted(before));
    }

    void openWhileOpen_data()
    {
        QTest::addColumn<QString>("portText");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("detail"); // %1: the open device
        const QString open = QStringLiteral("%1 is already open.");
        QTest::newRow("same choice") << " 3"
                                     << "19200" << open;
        QTest::newRow("other port") << " 4"
                                    << "19200"
                                    << "%1 is open; close it before choosing another port.";
        QTest::newRow("other rate") << " 3"
                                    << "2400" << open;
    }

    void openWhileOpen()
    {
        QFETCH(QString, portText);
        QFETCH(QString, baud);
        QFETCH(QString, detail);
        PtyPair other;
        WindowOnPty w;
        mapComPort(4, other.slavePath());
        QVERIFY(showWith(w));
        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));

        w.form.Combo2->setEditText(portText);
        w.form.Combo1->setEditText(baud);
        QTest::mouseClick(w.form.Command1, Qt::LeftButton);
        QCOMPARE(w.script.texts(), QStringList{ QStringLiteral("Port already open.") });
        QCOMPARE(w.script.shown().constFirst().detail, detail.arg(w.pty.slavePath()));
        QVERIFY(w.form.MSComm1->PortOpen());
        QCOMPARE(w.form.MSComm1->CommPort(), 3);
        QCOMPARE(w.pty.lineSpeed(), speed_t(B19200));
        QCOMPARE(w.form.Command1->text(), QStringLiteral("Port is open"));
        // Still the same working line.
        w.pty.write("OK\r\n");
        QTRY_COMPARE(w.form.Text2->text(), QStringLiteral("OK\r\n\r\n"));
    }

    void openHeldByAnotherProcess()
    {
        WindowOnPty w;
        QProcess holder;
        holder.start(QStringLiteral(KORVANET_HOLDPORT), { w.pty.slavePath() });
        QVERIFY2(holder.waitForReadyRead(5000), holder.readAllStandardError().constData());
        QCOMPARE(holder.readLine(), QByteArray("open\n"));

        QVERIFY(showWith(w));
        QTest::mouseClick(w.form.Command1, Qt::LeftButton);
        QCOMPARE(w.script.texts(), QStringList{ QStringLiteral("Port already open.") });
        QVERIFY(!w.form.MSComm1->PortOpen());
        QCOMPARE(w.form.Command1->text(), QStringLiteral("Open port"));

        // Once the other program lets go, the same click opens it.
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(5000));
        QCOMPARE(holder.exitCode(), 0);
        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
    }

    // What the system says about a device node: the advice when it may not be opened, the
    // reason when an open line stopped working. %1 is the node.
    void whatTheSystemSays_data()
    {
        QTest::addColumn<uint>("owner");
        QTest::addColumn<uint>("group");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("gone"); // the node removed before asking
        QTest::addColumn<QString>("line"); // "open", "hung up" or "none" (no descriptor)
        QTest::addColumn<QString>("advice");
        QTest::addColumn<QString>("loss");
        const struct group *dialoutGroup = ::getgrnam("dialout");
        const uint dialout = dialoutGroup ? dialoutGroup->gr_gid : 20;
        const uint nameless = 4242;
        const QString join = QStringLiteral(
                "Permission denied: %1 belongs to the group \"dialout\". Add your user to it "
                "(sudo usermod -aG dialout $USER), then log out and in again.");
        const auto administrator = [](const char *ids, const char *mode) {
            return QStringLiteral("Permission denied: %1 (%2, mode %3) lets no group of users read "
                                  "and write it, so joining a group would not help. A udev rule or "
                                  "the administrator must grant access, for example the rule "
                                  "KERNEL==\"ttyKorvanet0\", GROUP=\"dialout\", MODE=\"0660\" in "
                                  "/etc/udev/rules.d/.")
                    .arg(QStringLiteral("%1"), QLatin1StringView(ids), QLatin1StringView(mode));
        };
        const QString denied = QStringLiteral("Permission denied: %1.");
        const QString failed = QStringLiteral("%1 failed: the driver said no");
        // The system's own words, in the user's language.
        const QString hungUp = QStringLiteral("%1 went away: the line was hung up (%2).")
                                       .arg(QStringLiteral("%1"), qt_error_string(EIO));
        const QString disconnected =
                QStringLiteral("%1 was disconnected: the device no longer exists (%2).")
                        .arg(QStringLiteral("%1"), qt_error_string(ENOENT));

        // clang-format off
        QTest::newRow("group reads and writes; fails without a hang-up")
            << 0u << dialout << 0660 << false << "open" << join << failed;
        QTest::newRow("group reads, cannot write; hung up")
            << 0u << dialout << 0640 << false << "hung up" << administrator("root:dialout", "0640")
            << hungUp;
        QTest::newRow("group writes, cannot read; no descriptor")
            << 0u << dialout << 0620 << false << "none" << administrator("root:dialout", "0620")
            << failed;
        QTest::newRow("root's own group")
            << 0u << 0u << 0660 << false << "open" << administrator("root:root", "0660") << failed;
        QTest::newRow("a group without a name")
            << 0u << nameless << 0660 << false << "open" << administrator("root:4242", "0660")
            << failed;
        QTest::newRow("the owner's alone, an owner without a name")
            << nameless << dialout << 0600 << false << "open"
            << administrator("4242:dialout", "0600") << failed;
        QTest::newRow("node gone, line hung up")
            << 0u << dialout << 0660 << true << "hung up" << denied << disconnected;
        QTest::newRow("node gone, line open")
            << 0u << dialout << 0660 << true << "open" << denied << disconnected;
        // clang-format on
    }

    void whatTheSystemSays()
    {
        QFETCH(uint, owner);
        QFETCH(uint, group);
        QFETCH(int, mode);
        QFETCH(bool, gone);
        QFETCH(QString, line);
        QFETCH(QString, advice);
        QFETCH(QString, loss);
        if (::geteuid() != 0)
            QSKIP("Device nodes of other owners take root.");
        QVERIFY2(!::getpwuid(4242) && !::getgrgid(4242), "4242 must be nobody's user and group");

        // A node of the pseudo-terminal's own device, as udev makes them.
        PtyPair pty;
        struct stat device
        {
        };
        QCOMPARE(::stat(QFile::encodeName(pty.slavePath()).constData(), &device), 0);
        QTemporaryDir dir;
        const QString node = dir.filePath(QStringLiteral("ttyKorvanet0"));
        const QByteArray path = QFile::encodeName(node);
        QCOMPARE(::mknod(path.constData(), S_IFCHR | 0600, device.st_rdev), 0);
        QCOMPARE(::chown(path.constData(), owner, group), 0);
        QCOMPARE(::chmod(path.constData(), mode_t(mode)), 0);

        const int fd = line == u"none"
                ? -1
                : ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY);
        const auto closeFd = qScopeGuard([fd] {
            if (fd >= 0)
                ::close(fd);
        });
        QVERIFY(line == u"none" || fd >= 0);
        if (line == u"hung up")
            pty.hangUp();
        if (gone)
            QVERIFY(QFile::remove(node));

        QCOMPARE(permissionAdvice(node), advice.arg(node));
        QCOMPARE(lossReason(node, fd, QStringLiteral("the driver said no")), loss.arg(node));
    }

    void closePort_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("panel");
        QTest::addColumn<bool>("graph");
        QTest::newRow("never opened") << false << false << false;
        QTest::newRow("open") << true << false << false;
        QTest::newRow("open with panel") << true << true << false;
        QTest::newRow("open with panel and graph") << true << true << true;
    }

    void closePort()
    {
        QFETCH(bool, open);
        QFETCH(bool, panel);
        QFETCH(bool, graph);
        WindowOnPty w;
        QVERIFY(showWith(w));
        const Names atStart = visibleControls(w.form);
        if (open)
            QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
        if (panel) {
            QTest::mouseClick(w.form.Check1, Qt::LeftButton);
            QVERIFY(w.form.Command35->isVisible());
        }
        if (graph) {
            QTest::mouseClick(w.form.Command34, Qt::LeftButton);
            QVERIFY(w.form.Label8->isVisible());
        }
        w.form.Text2->setText(QStringLiteral("kept\r\n"));

        for (int time = 1; time <= 2; ++time) {
            QTest::mouseClick(w.form.Command36, Qt::LeftButton);
            QVERIFY2(w.script.shown().isEmpty(), qPrintable(boxDetails(w.script)));
            QVERIFY(!w.form.MSComm1->PortOpen());
            QCOMPARE(w.form.Command1->text(), QStringLiteral("Open port"));
            QCOMPARE(sorted(visibleControls(w.form)), sorted(atStart));
            QCOMPARE(w.form.Text2->text(), QStringLiteral("kept\r\n"));
            QCOMPARE(w.form.Check1->isChecked(), panel);
        }
        if (open) {
            // Nothing goes to the modem on closing.
            QCOMPARE(w.pty.readFor(50).contains("QM"), false);
        }

        // Reopening shows the log as it was, and the panel only when ticked again.
        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
        QCOMPARE(sorted(visibleControls(w.form) - atStart), sorted(portControls));
        QCOMPARE(w.form.Text2->text(), QStringLiteral("kept\r\n"));
    }

    void receivedTextInLog_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QByteArrayList>("events");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QByteArray>("recorded"); // every chunk in the transcript, joined
        const QString x86(86, u'x');
        const QString x87(87, u'x');
        QTest::newRow("one event") << "" << QByteArrayList{ "AB\r\n" } << "AB\r\n\r\n"
                                   << QByteArray("AB\\r\\n");
        QTest::newRow("two events") << "" << QByteArrayList{ "A", "B\r\n" } << "A\r\nB\r\n\r\n"
                                    << QByteArray("AB\\r\\n");
        QTest::newRow("appended to typed text")
                << "typed" << QByteArrayList{ "OK" } << "typedOK\r\n"
                << QByteArray("OK");
        QTest::newRow("90 + 12") << QString(90, u'x') << QByteArrayList{ "0123456789AB" } << ""
                                 << QByteArray("0123456789AB");
        QTest::newRow("exactly 100")
                << x86 << QByteArrayList{ "0123456789AB" } << x86 + "0123456789AB\r\n"
                << QByteArray("0123456789AB");
        QTest::newRow("101") << x87 << QByteArrayList{ "0123456789AB" } << ""
                             << QByteArray("0123456789AB");
        QTest::newRow("after emptying")
                << QString(90, u'x') << QByteArrayList{ "0123456789AB", "OK\r\n" } << "OK\r\n\r\n"
                << QByteArray("0123456789ABOK\\r\\n");
        QTest::newRow("lone CR and LF") << "" << QByteArrayList{ "a\rb\nc" } << "a\rb\nc\r\n"
                                        << QByteArray("a\\rb\\nc");
        // Each class of byte outside printable ASCII reaches the log as it came and the
        // transcript escaped, so no record can move a terminal's cursor or split a line.
        const auto row = [](const char *name, QByteArrayView bytes, const char *recorded) {
            QTest::newRow(name) << QString() << QByteArrayList{ bytes.toByteArray() }
                                << QString::fromLatin1(bytes) + QStringLiteral("\r\n")
                                << QByteArray(recorded);
        };
        row("printable edges", " !~", " !~");
        row("C0", QByteArrayView("\x00\x01\x07\x09\x1b\x1f", 6), "\\x00\\x01\\x07\\x09\\x1b\\x1f");
        row("DEL", "\x7f", "\\x7f");
        row("C1", "\x80\x85\x9b\x9f", "\\x80\\x85\\x9b\\x9f");
        row("0xa0 to 0xff", "\xa0\xc3\xa4\xff", "\\xa0\\xc3\\xa4\\xff");
        row("backslash", "\\x41\\", "\\\\x41\\\\");
        row("CR", "\r", "\\r");
        row("LF", "\n", "\\n");
    }

    void receivedTextInLog()
    {
        QFETCH(QString, before);
        QFETCH(QByteArrayList, events);
        QFETCH(QString, expected);
        QFETCH(QByteArray, recorded);
        WindowOnPty w;
        QVERIFY(showWith(w));
        const RecordedSession session(w.form);
        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
        w.form.Text2->setText(before);
        QCOMPARE(w.form.Text2->text(), before);

        QSignalSpy received(w.form.MSComm1, &MSComm::OnComm);
        QSignalSpy traffic(w.form.MSComm1, &MSComm::dataReceived);
        QVERIFY(traffic.isValid());
        const qint64 start = QDateTime::currentMSecsSinceEpoch();
        for (const QByteArray &bytes : events) {
            const qsizetype seen = received.count();
            w.pty.write(bytes);
            // Each piece is its own receive event: the next is written only once this landed.
            QTRY_VERIFY(received.count() > seen);
        }
        QTRY_COMPARE(w.form.Text2->text(), expected);
        QCOMPARE(w.form.Text2->toPlainText(), ResponseLog::displayFor(expected));

        // What the component reports reading is the modem's bytes, exactly, each chunk with
        // the time it was read.
        QByteArray reported;
        for (const QList<QVariant> &chunk : std::as_const(traffic)) {
            reported += chunk.at(0).toByteArray();
            const qint64 at = chunk.at(1).toLongLong();
            QVERIFY(at >= start && at <= QDateTime::currentMSecsSinceEpoch());
        }
        QCOMPARE(reported, events.join());
        const TranscriptFile transcript = session.file();
        QVERIFY(transcript.wellFormed);
        QCOMPARE(transcript.exchange(),
                 QByteArrayList({ "open COM3 " + w.pty.slavePath().toLatin1() + " 19200,N,8,1",
                                  "received " + recorded }));
    }

    void logLimitOnAnyChange_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed"); // empty: `before` set from code
        QTest::addColumn<QString>("expected");
        QTest::newRow("set 100") << QString(100, u'y') << "" << QString(100, u'y');
        QTest::newRow("set 101") << QString(101, u'y') << ""
                                 << "";
        QTest::newRow("typed to 100") << QString(99, u'y') << "z" << QString(99, u'y') + u'z';
        QTest::newRow("typed to 101") << QString(100, u'y') << "z"
                                      << "";
        // A typed line break is CR LF: two characters.
        QTest::newRow("typed break to 100") << QString(98, u'y') << "\n"
                                            << QString(98, u'y') + "\r\n";
        QTest::newRow("typed break to 101") << QString(99, u'y') << "\n"
                                            << "";
    }

    void logLimitOnAnyChange()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        Window w;
        w.form.Text2->show();
        w.form.Text2->setText(before);
        if (!typed.isEmpty()) {
            w.form.Text2->setFocus();
            QTest::keyClick(w.form.Text2, Qt::Key_End, Qt::ControlModifier);
            if (typed == u"\n")
                QTest::keyClick(w.form.Text2, Qt::Key_Return);
            else
                QTest::keyClicks(w.form.Text2, typed);
        }
        QCOMPARE(w.form.Text2->text(), expected);
        QCOMPARE(w.form.Text2->toPlainText(), ResponseLog::displayFor(expected));
    }

    void doubleClickEmptiesLog()
    {
        WindowOnPty w;
        QVERIFY(showWith(w));
        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
        w.pty.write("RSSI -80 dBm\r\n");
        QTRY_COMPARE(w.form.Text2->text(), QStringLiteral("RSSI -80 dBm\r\n\r\n"));
        QTest::mouseDClick(w.form.Text2->viewport(), Qt::LeftButton);
        QCOMPARE(w.form.Text2->text(), QString());
        QCOMPARE(w.form.Text2->toPlainText(), QString());
    }

    void sendEventChangesNothing()
    {
        WindowOnPty w;
        QVERIFY(showWith(w));
        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
        w.form.Text2->setText(QStringLiteral("before"));
        QList<qint16> events;
        connect(w.form.MSComm1, &MSComm::OnComm, this,
                [&] { events.append(w.form.MSComm1->CommEvent()); });

        QVERIFY(w.form.MSComm1->setOutput(QStringLiteral("QM&W?\r\n")).ok());
        QCOMPARE(w.pty.readCount(7), QByteArray("QM&W?\r\n"));
        QTRY_VERIFY(events.contains(CommEvents::Send));
        QVERIFY(!events.contains(CommEvents::Receive));
        QCOMPARE(w.form.Text2->text(), QStringLiteral("before"));
    }

    void bytesAfterReadAreKept()
    {
        WindowOnPty w;
        QVERIFY(showWith(w));
        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
        // More bytes reach the line while the receive handler is between reading its input
        // and finishing: the log's change runs right after the read.
        bool late = false;
        bool lateWaiting = false;
        connect(w.form.Text2, &ResponseLog::changed, this, [&] {
            if (std::exchange(late, true))
                return;
            lateWaiting = w.pty.writeWhole("LATE");
        });
        w.pty.write("EARLY");
        QTRY_VERIFY(late);
        QVERIFY(lateWaiting);
        QTRY_COMPARE(w.form.Text2->text(), QStringLiteral("EARLY\r\nLATE\r\n"));
    }

    void burstArrivesWhole()
    {
        WindowOnPty w;
        QVERIFY(showWith(w));
        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
        QString all;
        connect(w.form.Text2, &ResponseLog::changed, this, [&] { all = w.form.Text2->text(); });

        QByteArray sent;
        for (char c = 'a'; c < 'a' + 6; ++c) {
            const QByteArray chunk(8, c);
            w.pty.write(chunk);
            sent += chunk;
        }
        // However the chunks fell into receive events, each event adds only its CR LF.
        QTRY_COMPARE(QString(all).remove(QStringLiteral("\r\n")), QString::fromLatin1(sent));
    }

    void everyByteReachesLog()
    {
        WindowOnPty w;
        QVERIFY(showWith(w));
        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
        QByteArray all(256, 0);
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        for (qsizetype start = 0; start < all.size(); start += 40) {
            const QByteArray chunk = all.mid(start, 40);
            w.form.Text2->setText(QString());
            w.pty.write(chunk);
            QTRY_COMPARE(w.form.Text2->text(), QString::fromLatin1(chunk) + QStringLiteral("\r\n"));
            QCOMPARE(ResponseLog::exactFor(w.form.Text2->toPlainText()), w.form.Text2->text());
        }
    }

    void displayRoundTrip_data()
    {
        QTest::addColumn<QString>("exact");
        QTest::addColumn<QString>("shown"); // null: any picture, as long as it comes back
        QTest::newRow("CR LF") << "A\r\nB"
                               << "A\nB";
        QTest::newRow("lone CR") << "A\rB" << QStringLiteral("A\u240DB");
        QTest::newRow("lone LF") << "A\nB" << QStringLiteral("A\u240AB");
        QTest::newRow("NUL") << QStringLiteral("A%1B").arg(QChar(0)) << QStringLiteral("A\u2400B");
        QTest::newRow("CR CR LF") << "\r\r\n" << QStringLiteral("\u240D\n");
        QTest::newRow("CR LF LF") << "\r\n\n" << QStringLiteral("\n\u240A");
        QTest::newRow("DEL") << "\x7f" << QStringLiteral("\u2421");
        // The document turns a no-break space into a plain one unless it is shown otherwise.
        QTest::newRow("no-break space") << QStringLiteral("1\u00A02") << QString();
    }

    void displayRoundTrip()
    {
        QFETCH(QString, exact);
        QFETCH(QString, shown);
        if (!shown.isNull())
            QCOMPARE(ResponseLog::displayFor(exact), shown);
        QCOMPARE(ResponseLog::exactFor(ResponseLog::displayFor(exact)), exact);

        // Typing after such a reply keeps every character of it.
        Window w;
        w.form.Text2->show();
        w.form.Text2->setText(exact);
        w.form.Text2->setFocus();
        QTest::keyClick(w.form.Text2, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(w.form.Text2, QStringLiteral("z"));
        QCOMPARE(w.form.Text2->text(), exact + u'z');
    }

    // What comes after the loss, COM3 being the adapter's /dev/serial/by-id link: the same
    // adapter back (its link made anew for a new line) opens again, quietly, with the texts
    // it was opened with; the user's own press of "Close port" ends the wait.
    void deviceLost_data()
    {
        QTest::addColumn<bool>("comesBack");
        QTest::addColumn<bool>("closePressed");
        QTest::addColumn<bool>("busyAtFirst"); // another program has it for a moment
        QTest::addColumn<bool>("folderGoes"); // udev removes a folder with its last link
        QTest::addColumn<bool>("reopens");
        QTest::newRow("gone for good") << false << false << false << false << false;
        QTest::newRow("back") << true << false << false << false << true;
        QTest::newRow("back, busy at first") << true << false << true << false << true;
        QTest::newRow("back in a folder made anew") << true << false << false << true << true;
        QTest::newRow("back after Close port") << true << true << false << false << false;
    }

    void deviceLost()
    {
        QFETCH(bool, comesBack);
        QFETCH(bool, closePressed);
        QFETCH(bool, busyAtFirst);
        QFETCH(bool, folderGoes);
        QFETCH(bool, reopens);
        QTemporaryDir dev;
        const QString link =
                dev.filePath(QStringLiteral("serial/by-id/usb-Sim_Modem_X-if00-port0"));
        WindowOnPty w;
        QVERIFY(relink(link, w.pty.slavePath()));
        mapComPort(3, link);
        QVERIFY(showWith(w, QStringLiteral(" 3"), QStringLiteral("9600")));
        const Names atStart = visibleControls(w.form);
        QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));

        w.pty.hangUp();
        // The rows that go on wait for no more than the box.
        const qint64 cpuMs = comesBack ? 0 : cpuMsWhileIdle(1000);

        QTRY_COMPARE(w.script.texts(), QStringList{ QStringLiteral("Unknown error.") });
        QVERIFY(!w.form.MSComm1->PortOpen());
        QCOMPARE(w.form.Command1->text(), QStringLiteral("Open port"));
        QCOMPARE(sorted(visibleControls(w.form)), sorted(atStart));
        QCOMPARE(w.script.shown().constFirst().kind, MessageBox::Kind::Error);
        QVERIFY(!w.script.shown().constFirst().detail.isEmpty());
        // Only a loop that keeps waking up on the dead line comes near this.
        QVERIFY2(cpuMs < 300, qPrintable(QStringLiteral("%1 ms of CPU in 1 s").arg(cpuMs)));
        if (!comesBack)
            return;

        w.form.Combo1->setEditText(QStringLiteral("19200"));
        if (folderGoes) {
            // Heard of as the window's own watch hears of it, before the folder comes back.
            QFileSystemWatcher folder({ QFileInfo(link).absolutePath() });
            QSignalSpy gone(&folder, &QFileSystemWatcher::directoryChanged);
            QVERIFY(QDir(QFileInfo(link).absolutePath()).removeRecursively());
            QVERIFY(gone.wait(2000));
        }
        if (closePressed)
            QTest::mouseClick(w.form.Command36, Qt::LeftButton);
        PtyPair back;
        std::optional<PortHolder> holder;
        if (busyAtFirst) {
            holder.emplace(back.slavePath());
            QVERIFY2(holder->holds(), qPrintable(holder->error()));
        }
        QVERIFY(relink(link, back.slavePath()));
        if (busyAtFirst) {
            QCOMPARE(back.readFor(100), QByteArray());
            QVERIFY(!w.form.MSComm1->PortOpen());
            QVERIFY(holder->letGo());
        }
        if (reopens) {
            QTRY_VERIFY_WITH_TIMEOUT(w.form.MSComm1->PortOpen(), 3000);
            QCOMPARE(back.lineSpeed(), speed_t(B9600));
            QCOMPARE(w.form.Command1->text(), QStringLiteral("Port is open"));
            QVERIFY(w.form.Text2->isVisible());
        } else {
            QCOMPARE(back.readFor(300), QByteArray());
            QVERIFY(!w.form.MSComm1->PortOpen());
        }
        QCOMPARE(w.script.shown().size(), 1);
    }

    // COM 30 leads to Debian's ser2net on loopback in front of the pseudo-terminal, as a modem
    // at a remote site is reached: the bytes, the warning of a raw port, and each fault with
    // its box, its time, and the window left as it was and never frozen.
    void overTheNetwork_data()
    {
        QTest::addColumn<int>("server"); // Server
        QTest::addColumn<QString>("box"); // "Kind: text"; empty: none
        QTest::addColumn<QString>("detail"); // part of the box's detail
        QTest::addColumn<int>("minMs"); // how long "Open port" took
        QTest::addColumn<int>("maxMs");

        const QString invalid = QStringLiteral("Error: Invalid port number.");
        QTest::newRow("RFC 2217, 0xFF both ways") << int(Server::Rfc2217) << ""
                                                  << "" << 0 << 1000;
        QTest::newRow("raw TCP, warned of once")
                << int(Server::Raw) << "Warning: Port open, with a warning."
                << "carries bytes only: the rate of its serial port is set at the server, so "
                   "19200 baud cannot be set from here."
                << 0 << 1500;
        QTest::newRow("refused") << int(Server::Refused) << invalid << "refused the connection" << 0
                                 << 1000;
        QTest::newRow("unknown host")
                << int(Server::UnknownHost) << invalid << "is unknown" << 0 << 5500;
        QTest::newRow("plain telnet")
                << int(Server::PlainTelnet) << invalid << "refuses COM-PORT-OPTION" << 0 << 1000;
        QTest::newRow("a server that never answers")
                << int(Server::Silent) << invalid << "gave no telnet answer (RFC 2217) within 5 s"
                << 4500 << 6000;
        QTest::newRow("a second client")
                << int(Server::Held) << "Error: Port already open."
                << "is in use: the server said \"Port already in use\"" << 0 << 1000;
        QTest::newRow("ser2net killed mid-session")
                << int(Server::Killed) << "Error: Unknown error."
                << "the server closed the connection." << 0 << 1000;
    }

    void overTheNetwork()
    {
        QFETCH(int, server);
        QFETCH(QString, box);
        QFETCH(QString, detail);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        WindowOnPty w;
        ServerUnderTest far;
        const QString address =
                far.start(Server(server), w.pty.slavePath(), QStringLiteral("19200n81"));
        QVERIFY2(!address.isEmpty(), qPrintable(far.error()));
        mapComPort(30, address);
        QVERIFY(showWith(w, QStringLiteral(" 30")));
        const Names atStart = visibleControls(w.form);

        // The window goes on while the port opens: a timer of its own keeps its pace.
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, &tick, [&ticks] { ++ticks; });
        tick.start(100);
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = cpuTimeNs();
        // An impatient second click while the server keeps the first waiting.
        if (server == int(Server::Silent)) {
            QTimer::singleShot(200, &w.form,
                               [&w] { QTest::mouseClick(w.form.Command1, Qt::LeftButton); });
        }
        QTest::mouseClick(w.form.Command1, Qt::LeftButton);
        const qint64 ms = clock.elapsed();
        const qint64 cpuMs = (cpuTimeNs() - cpuBefore) / 1000000;
        QVERIFY2(ms >= minMs && ms <= maxMs, qPrintable(QString::number(ms)));
        QVERIFY2(ticks >= ms / 200,
                 qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(ms)));
        QVERIFY2(cpuMs < 300 + ms / 10, qPrintable(QStringLiteral("%1 ms of CPU").arg(cpuMs)));

        if (server == int(Server::Rfc2217)) {
            QCOMPARE(boxes(w.script), QStringList());
            // 0xFF is telnet's IAC: doubled on the wire both ways, and single at both ends.
            w.pty.write("A\xff\xff\r\n");
            QTRY_COMPARE(w.form.Text2->text(), QStringLiteral("A\u00ff\u00ff\r\n\r\n"));
            w.form.Text3->setText(QStringLiteral("\u00ff\u00ff"));
            QTest::mouseClick(w.form.Command9, Qt::LeftButton);
            QCOMPARE(w.pty.readCount(10), QByteArray("QM&FR=\xff\xff\r\n"));
            return;
        }
        if (server == int(Server::Raw)) {
            QVERIFY(w.form.MSComm1->PortOpen());
            QTest::mouseClick(w.form.Command36, Qt::LeftButton);
            QVERIFY2(w.openPort(), qPrintable(boxDetails(w.script)));
        }
        if (server == int(Server::Killed)) {
            QVERIFY2(w.form.MSComm1->PortOpen(), qPrintable(boxDetails(w.script)));
            far.ser2net.kill();
            QTRY_VERIFY_WITH_TIMEOUT(!w.script.shown().isEmpty(), 1000);
            const qint64 idleCpuMs = cpuMsWhileIdle(1000);
            QVERIFY2(idleCpuMs < 300, qPrintable(QStringLiteral("%1 ms of CPU").arg(idleCpuMs)));
        }
        QStringList expected{ box };
        if (server == int(Server::Silent))
            expected.prepend(QStringLiteral("Error: Port already open."));
        QCOMPARE(boxes(w.script), expected);
        QVERIFY2(w.script.shown().constLast().detail.contains(detail)
                         && w.script.shown().constLast().detail.contains(address),
                 qPrintable(w.script.shown().constLast().detail));
        if (server == int(Server::Raw))
            return;
        QVERIFY(!w.form.MSComm1->PortOpen());
        QCOMPARE(w.form.Command1->text(), QStringLiteral("Open port"));
        QCOMPARE(sorted(visibleControls(w.form)), sorted(atStart));
    }

private:
    using Server = ServerUnderTest::Kind;
};

KORVANET_TEST_MAIN(tst_PortHandling)
#include "tst_porthandling.moc"
