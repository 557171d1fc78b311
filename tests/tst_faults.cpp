// SPDX-License-Identifier: GPL-3.0-or-later
// Faults from outside the utility, over real pseudo-terminals: the modem goes away in the
// middle of a paced sequence or while the graph polls, another program takes the port,
// the device is not the user's to open, the settings store cannot be written or holds
// garbage. Each time the utility keeps running, says so once at most, keeps everything
// the user typed and picked, and does not spin afterwards.

#include "session/settingsstore.h"
#include "serial/ports/portmap.h"
#include "serial/widget/responselog.h"
#include "tests/support/otheruser.h"
#include "tests/support/cputime.h"
#include "tests/support/portholder.h"
#include "tests/support/userinput.h"
#include "tests/support/windowonpty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString UnknownError = QStringLiteral("Unknown error.");
const QString InvalidPort = QStringLiteral("Invalid port number.");
const QString AlreadyOpen = QStringLiteral("Port already open.");
const QString SaveQuestion = QStringLiteral("All changed settings will be saved. Are you sure?");
// After a hang-up the freed pseudo-terminal number can go to another process at once; a
// reopen by the old path would find that one. Nothing can ever be created here.
const QString GonePath = QStringLiteral("/dev/korvanet-gone");

QString error(const QString &text)
{
    return QStringLiteral("Error: ") + text;
}

// Idle dispatch for half a second costs a few milliseconds; only a loop that keeps waking up
// on a dead resource comes near this.
constexpr int IdleMs = 500;
constexpr qint64 SpinLimitMs = 300;

#define VERIFY_NO_SPIN(measure, overMs)                                                   \
  do {                                                                                    \
    const qint64 cpuMs = (measure);                                                       \
    QVERIFY2(cpuMs < SpinLimitMs,                                                         \
             qPrintable(QStringLiteral("%1 ms of CPU in %2 ms").arg(cpuMs).arg(overMs))); \
  } while (false)

// What the user has typed and picked, to be found unchanged after a fault.
struct UserWork
{
    explicit UserWork(Form1 &form) : form(form)
    {
        form.Text1->setText(QStringLiteral("430.32500"));
        form.Text3->setText(QStringLiteral("431.12500"));
        form.Text4->setText(QStringLiteral("12.50000"));
        form.Text5->setText(QStringLiteral(",8,N,1"));
        form.Text6->setText(QStringLiteral("5"));
        form.Text7->setText(QStringLiteral("3"));
        form.Combo3->setEditText(QStringLiteral("9600"));
        snapshot = texts();
    }

    [[nodiscard]] QStringList texts() const
    {
        return {
            form.Text1->text(),         form.Text3->text(),         form.Text4->text(),
            form.Text5->text(),         form.Text6->text(),         form.Text7->text(),
            form.Combo1->currentText(), form.Combo2->currentText(), form.Combo3->currentText()
        };
    }

    [[nodiscard]] bool kept() const { return texts() == snapshot; }

    Form1 &form;
    QStringList snapshot;
};

// COM3 is the pseudo-terminal; the user has picked " 3" and "19200" and opened the port.
constexpr auto Picked = OpenWindow::Start::PickedLists;

QString settingsFile()
{
    return SettingsStore::File().fileName();
}

QString groupOf(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    const struct group *g = ::getgrgid(st.st_gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString();
}

} // namespace

class tst_Faults : public QObject
{
    Q_OBJECT

private slots:
    void frameWrittenAsDeviceGoesAway();
    void deviceVanishesDuringPacedWait_data();
    void deviceVanishesDuringPacedWait();
    void deviceVanishesWhileGraphPolls();
    void otherProgramTakesPortDuringReopen_data();
    void otherProgramTakesPortDuringReopen();
    void deviceNotAccessible_data();
    void deviceNotAccessible();
    void settingsFolderCannotBeWritten();
    void garbageSettingsFile_data();
    void garbageSettingsFile();
};

// The modem hangs up and the utility writes before its event loop has heard of it: the
// write itself finds out, and the frame must not count as sent (factory defaults, for one,
// would otherwise report success), while the loss is still shown once.
void tst_Faults::frameWrittenAsDeviceGoesAway()
{
    WindowOnPty w;
    QVERIFY(w.show());
    QVERIFY(w.openPort());
    // The port's lock file goes with the device.
    const QString lock =
            QStringLiteral("/run/lock/LCK..") + w.pty.slavePath().mid(5).replace(u'/', u'_');
    QVERIFY(QFileInfo::exists(lock));
    w.pty.hangUp();
    const CommStatus status = w.form.SendCommand(QStringLiteral("QM**>"));
    QVERIFY(!status.ok());
    QVERIFY(!status.reason.isEmpty());
    QVERIFY(!w.form.MSComm1->PortOpen());
    QTRY_COMPARE(boxes(w.script), QStringList{ QStringLiteral("Error: Unknown error.") });
    QCOMPARE(w.form.Command1->text(), QStringLiteral("Open port"));
    QVERIFY(!QFileInfo::exists(lock));
}

void tst_Faults::deviceVanishesDuringPacedWait_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("sentBefore"); // on the line before the modem went away
    QTest::addColumn<QStringList>("shown");

    // The loss is one event and the failed reopen another: each says what it is about,
    // once. Open port reports its own failure, as it does wherever it is called from.
    QTest::newRow("Save settings, Yes")
            << "Command11" << QByteArray("QM**>\r\n")
            << QStringList{ QStringLiteral("Question: ") + SaveQuestion, error(UnknownError) };
    QTest::newRow("Set serial params") << "Command21" << QByteArray("QM%B=9600,8,N,1\r\n")
                                       << QStringList{ error(UnknownError), error(InvalidPort) };
    QTest::newRow("Get serial params")
            << "Command2" << QByteArray() << QStringList{ error(UnknownError), error(InvalidPort) };
}

void tst_Faults::deviceVanishesDuringPacedWait()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, sentBefore);
    QFETCH(QStringList, shown);

    OpenWindow w(Picked);
    QVERIFY2(w.ready(), qPrintable(boxDetails(w.script)));
    const UserWork work(w.form);
    const QString device = w.pty.slavePath();

    QByteArray sent;
    QTimer::singleShot(50, &w.form, [&] {
        sent = w.pty.readAvailable();
        mapComPort(3, GonePath);
        w.pty.hangUp();
    });
    QTest::mouseClick(w.button(button), Qt::LeftButton);

    QCOMPARE(sent, sentBefore);
    QCOMPARE(boxes(w.script), shown);
    for (const MessageBox::Shown &box : w.script.shown()) {
        if (box.text == UnknownError) {
            // What went away and how, in the system's words as they stand now rather than
            // a leftover error text.
            static const QRegularExpression lost(QStringLiteral(
                    "^(.+) (was disconnected: the device no longer exists|went away: the line was "
                    "hung up) \\(.+\\)\\.$"));
            const QRegularExpressionMatch match = lost.match(box.detail);
            QVERIFY2(match.hasMatch() && match.captured(1) == device, qPrintable(box.detail));
        } else if (box.text == InvalidPort) {
            QVERIFY2(box.detail.contains(GonePath) && box.detail.contains(u"does not exist"),
                     qPrintable(box.detail));
        }
    }
    QVERIFY(!w.form.MSComm1->PortOpen());
    QCOMPARE(w.form.Command1->text(), QStringLiteral("Open port"));
    QVERIFY(w.form.Text2->isHidden());
    QVERIFY2(work.kept(), qPrintable(work.texts().join(u'|')));
    QVERIFY(w.picksStored());

    VERIFY_NO_SPIN(cpuMsWhileIdle(IdleMs), IdleMs);
    QCOMPARE(boxes(w.script), shown);
}

void tst_Faults::deviceVanishesWhileGraphPolls()
{
    OpenWindow w(Picked);
    QVERIFY2(w.ready(), qPrintable(boxDetails(w.script)));
    const UserWork work(w.form);
    QTest::mouseClick(w.form.Check1, Qt::LeftButton);
    QTest::mouseClick(w.form.Command34, Qt::LeftButton);
    QVERIFY(w.form.Timer1->isActive());
    w.pty.write("-94 dBm\r\n");
    QTRY_COMPARE(signalBar(w.form), QStringLiteral("YY-"));

    mapComPort(3, GonePath);
    w.pty.hangUp();
    QTRY_COMPARE(boxes(w.script), QStringList{ error(UnknownError) });
    QVERIFY(!w.form.MSComm1->PortOpen());

    // A fresh second, so that no tick of the real timer falls into the calls below.
    w.form.Timer1->start();
    QSignalSpy ticks(w.form.Timer1, &QTimer::timeout);
    // Ticks 3 to 6, both of the waiting ones among them, on a port that is gone.
    w.form.Laskuri = 2;
    for (int tick = 0; tick < 4; ++tick)
        w.form.Timer1_Timer();
    QCOMPARE(w.form.Laskuri, qint16(0));
    QCOMPARE(ticks.count(), 0);

    // And the real timer once, timed for CPU as it comes.
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = cpuTimeNs();
    QVERIFY(ticks.wait(2000));
    VERIFY_NO_SPIN((cpuTimeNs() - cpuBefore) / 1000000, clock.elapsed());
    QCOMPARE(w.form.Laskuri, qint16(1));

    // The graph goes on polling with its button hidden, as after "Close port"; nothing
    // further is said about the lost port.
    QCOMPARE(boxes(w.script), QStringList{ error(UnknownError) });
    QVERIFY(w.form.Timer1->isActive());
    QCOMPARE(w.form.Command34->text(), QStringLiteral("Hide RSSI graph"));
    QCOMPARE(signalBar(w.form), QStringLiteral("YY-"));
    QVERIFY(work.kept());
    QVERIFY(w.picksStored());
}

void tst_Faults::otherProgramTakesPortDuringReopen_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("advice"); // after the holder's name; %1: the pty's number
    QTest::newRow("a program") << "korvanet_holdport" << QString();
    // It probes a port that it sees come, and can hold it for seconds.
    QTest::newRow("ModemManager")
            << "ModemManager"
            << " It probes serial devices for modems and can hold one for seconds. To keep it "
               "away from this one, put the rule KERNEL==\"%1\", ENV{ID_MM_DEVICE_IGNORE}=\"1\" "
               "in a file under /etc/udev/rules.d/ (such as 99-korvanet.rules), run \"sudo "
               "udevadm control --reload\" and plug the adapter in again.";
}

void tst_Faults::otherProgramTakesPortDuringReopen()
{
    QFETCH(QString, program);
    QFETCH(QString, advice);
    OpenWindow w(Picked);
    QVERIFY2(w.ready(), qPrintable(boxDetails(w.script)));
    const UserWork work(w.form);

    // Another program opens the port in the gap that "Get serial params" leaves.
    std::optional<PortHolder> holder;
    const QMetaObject::Connection taking =
            connect(w.form.MSComm1, &MSComm::portOpenChanged, &w.form, [&](bool open) {
                if (!open && !holder)
                    holder.emplace(w.pty.slavePath(), program);
            });
    QTest::mouseClick(w.form.Command2, Qt::LeftButton);
    disconnect(taking);
    QVERIFY(holder);
    QVERIFY2(holder->holds(), qPrintable(holder->error()));

    QCOMPARE(boxes(w.script), QStringList{ error(AlreadyOpen) });
    QCOMPARE(w.script.shown().constFirst().detail,
             QStringLiteral("%1 is in use by %2 (PID %3).")
                             .arg(w.pty.slavePath(), program)
                             .arg(holder->pid())
                     + QString(advice).replace(QStringLiteral("%1"),
                                               QFileInfo(w.pty.slavePath()).fileName()));
    QVERIFY(!w.form.MSComm1->PortOpen());
    QCOMPARE(w.form.Command1->text(), QStringLiteral("Open port"));
    // The sequence's query found the port closed and was dropped, not queued.
    QCOMPARE(w.pty.readFor(100), QByteArray());
    VERIFY_NO_SPIN(cpuMsWhileIdle(IdleMs), IdleMs);
    QVERIFY(work.kept());
    QVERIFY(w.picksStored());

    // Once the other program lets go, the port is the utility's again.
    QVERIFY(holder->letGo());
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    QVERIFY(w.form.MSComm1->PortOpen());
    QCOMPARE(w.script.shown().size(), 1);
    w.pty.write("OK\r\n");
    QTRY_COMPARE(w.form.Text2->text(), QStringLiteral("OK\r\n\r\n"));
}

void tst_Faults::deviceNotAccessible_data()
{
    QTest::addColumn<bool>("otherUser");
    QTest::addColumn<bool>("inGroup");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("group");
    QTest::addColumn<bool>("joiningHelps"); // or only the administrator can help

    const QString dialout = QStringLiteral("dialout");
    QTest::newRow("the device's owner") << false << false << true << 0660 << dialout << true;
    QTest::newRow("another user") << true << false << false << 0660 << dialout << true;
    // What the advice says to do, done: the same user in the device's group.
    QTest::newRow("another user in the device's group")
            << true << true << true << 0660 << dialout << true;
    // Joining would not help, or would give away far more than the port.
    QTest::newRow("another user, the device its owner's alone")
            << true << false << false << 0600 << dialout << false;
    QTest::newRow("another user, the device root's group's")
            << true << false << false << 0660 << QStringLiteral("root") << false;
}

void tst_Faults::deviceNotAccessible()
{
    QFETCH(bool, otherUser);
    QFETCH(bool, inGroup);
    QFETCH(bool, opens);
    QFETCH(int, mode);
    QFETCH(QString, group);
    QFETCH(bool, joiningHelps);

    PtyPair pty;
    const QString device = pty.slavePath();
    const bool root = ::geteuid() == 0;
    if (otherUser && !root && inGroup)
        QSKIP("Joining the device's group takes root; only the refusal can be shown as a user.");
    if (otherUser && root && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("setpriv (util-linux) is needed to run the check as a user without access.");

    // Read and write for the owner and the device's group, as serial devices come.
    QVERIFY(::chmod(QFile::encodeName(device).constData(), mode_t(mode)) == 0);
    if (root) {
        const struct group *g = ::getgrnam(qPrintable(group));
        QVERIFY(g && ::chown(QFile::encodeName(device).constData(), uid_t(-1), g->gr_gid) == 0);
    } else {
        group = groupOf(device);
    }

    // The other user needs to reach the program and a settings folder of its own.
    QTemporaryDir place;
    QVERIFY(place.isValid());
    QVERIFY(QFile::setPermissions(place.path(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                          | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                          | QFileDevice::ExeOther | QFileDevice::ReadGroup
                                          | QFileDevice::ExeGroup));
    const QString program = place.filePath(QStringLiteral("openport"));
    QVERIFY(QFile::copy(QStringLiteral(KORVANET_OPENPORT), program));

    QStringList command{ program, device };
    if (otherUser && root) {
        struct stat st
        {
        };
        QVERIFY(::stat(QFile::encodeName(device).constData(), &st) == 0);
        command = asNobody(command, inGroup ? int(st.st_gid) : -1);
    } else if (otherUser) {
        // Not root: the owner without any permission is refused the same way, and no group
        // can help.
        QVERIFY(::chmod(QFile::encodeName(device).constData(), 0) == 0);
        joiningHelps = false;
    }

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), place.path());
    env.insert(QStringLiteral("HOME"), place.path());
    process.setProcessEnvironment(env);
    process.start(command.takeFirst(), command);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QStringList lines = QString::fromLocal8Bit(process.readAllStandardOutput())
                                      .split(u'\n', Qt::SkipEmptyParts);

    if (opens) {
        QCOMPARE(lines, QStringList{ QStringLiteral("open") });
        return;
    }
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.last(), QStringLiteral("closed"));
    const QStringList box = lines.first().split(u'\t');
    QCOMPARE(box.size(), 4);
    QCOMPARE(box[0], QStringLiteral("box"));
    QCOMPARE(box[1], QStringLiteral("error"));
    // Not "Port already open.": nobody else has it, and waiting would not help.
    QCOMPARE(box[2], UnknownError);
    const QString reason = box[3];
    QVERIFY2(reason.startsWith(QStringLiteral("Permission denied: ") + device), qPrintable(reason));
    if (!joiningHelps) {
        QVERIFY2(!reason.contains(u"usermod"), qPrintable(reason));
        QVERIFY2(reason.contains(u"A udev rule or the administrator must grant access"),
                 qPrintable(reason));
        return;
    }
    QVERIFY2(reason.contains(QStringLiteral("\"%1\"").arg(group)), qPrintable(reason));
    QVERIFY2(reason.contains(QStringLiteral("usermod -aG %1").arg(group)), qPrintable(reason));
    QVERIFY2(reason.contains(u"log out and in again"), qPrintable(reason));
}

void tst_Faults::settingsFolderCannotBeWritten()
{
    resetSettings();
    // The folder the store lives in is a plain file: nothing can be created or written
    // there, whoever runs the test.
    const QString folder = QFileInfo(settingsFile()).absolutePath();
    QVERIFY(QDir(folder).removeRecursively());
    {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    const auto restore = qScopeGuard([folder] {
        QFile::remove(folder);
        QDir().mkpath(folder);
        resetSettings();
    });

    PtyPair pty;
    // COM5 for this run only; the store cannot say where it is.
    PortMap::setSessionOverride(5, pty.slavePath());
    MessageBox::Script script;
    Form1 form;
    form.show();
    QCOMPARE(form.Combo2->currentText(), QStringLiteral("3"));
    QCOMPARE(form.Combo1->currentText(), QStringLiteral("19200"));

    // The picks cannot be kept for the next run. No box says so (standard error does, once):
    // the window has them for this run, a box on every pick would only get in the way, and
    // the next start simply begins from the defaults again.
    QVERIFY(pick(form.Combo2, QStringLiteral(" 5")));
    QVERIFY(pick(form.Combo1, QStringLiteral("4800")));
    QCOMPARE(form.Combo3->currentText(), QStringLiteral("4800"));
    QVERIFY(pick(form.Combo2, QStringLiteral(" 6")));
    QVERIFY(pick(form.Combo2, QStringLiteral(" 5")));
    QVERIFY2(script.shown().isEmpty(), qPrintable(boxDetails(script)));
    QCOMPARE(form.Combo2->currentText(), QStringLiteral(" 5"));
    QCOMPARE(form.Combo1->currentText(), QStringLiteral("4800"));

    // And they work: the port opens at the picked rate.
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QVERIFY2(form.MSComm1->PortOpen(), qPrintable(boxDetails(script)));
    QCOMPARE(pty.lineSpeed(), speed_t(B4800));
    VERIFY_NO_SPIN(cpuMsWhileIdle(IdleMs), IdleMs);
    QVERIFY(script.shown().isEmpty());
    QVERIFY(QFileInfo(folder).isFile());

    Form1 next;
    QCOMPARE(next.Combo2->currentText(), QStringLiteral("3"));
    QCOMPARE(next.Combo1->currentText(), QStringLiteral("19200"));
}

void tst_Faults::garbageSettingsFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("baud");

    QByteArray random(4096, 0);
    QRandomGenerator generator(20240611);
    for (char &byte : random)
        byte = char(generator.bounded(256));
    const QString defaultPort = QStringLiteral("3");
    const QString defaultBaud = QStringLiteral("19200");

    QTest::newRow("random bytes") << random << defaultPort << defaultBaud;
    QTest::newRow("NUL bytes") << QByteArray(4096, '\0') << defaultPort << defaultBaud;
    QTest::newRow("one huge line")
            << QByteArray(4 * 1024 * 1024, 'x') << defaultPort << defaultBaud;
    QTest::newRow("huge value") << "[Settings]\nComPort=" + QByteArray(20000, '7')
                    + "\nBaudRate=4800\n"
                                << QString(20000, u'7') << QStringLiteral("4800");
    QTest::newRow("broken lines, then a good one") << QByteArray(
            "[Settings\n=\n==x\n[]\nComPort\n\x01\xff\xfe\n[Settings]\nBaudRate=2400\n")
                                                   << defaultPort << QStringLiteral("2400");
    // A quote that never closes takes the rest of the file into its value; the number reader
    // skips the line breaks and finds 5.
    QTest::newRow("unclosed quote") << QByteArray("[Settings]\nComPort=\"5\nBaudRate=2400\n")
                                    << QStringLiteral("5\nBaudRate=2400\n") << defaultBaud;
    QTest::newRow("bytes that are no UTF-8")
            << QByteArray("[Settings]\nComPort=\xff\xfe\x01 7\n")
            << QStringLiteral("\uFFFD\uFFFD\u0001 7") << defaultBaud;
    // The store only ever writes strings; a value that reads back as anything else was
    // never the user's pick.
    QTest::newRow("a rectangle") << QByteArray("[Settings]\nComPort=@Rect(1 2 3 4)\n")
                                 << defaultPort << defaultBaud;
    QTest::newRow("a list") << QByteArray("[Settings]\nComPort=4, 5\nBaudRate=1200, 2400\n")
                            << defaultPort << defaultBaud;
    QTest::newRow("a broken variant")
            << QByteArray("[Settings]\nBaudRate=@Variant(\\0\\0\\0\\x7f\\xff)\n") << defaultPort
            << defaultBaud;
}

void tst_Faults::garbageSettingsFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, port);
    QFETCH(QString, baud);

    resetSettings();
    QVERIFY(QDir().mkpath(QFileInfo(settingsFile()).absolutePath()));
    {
        QFile file(settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
    }
    MessageBox::Script script;
    {
        Form1 form;
        form.show();
        QCOMPARE(form.Combo2->currentText(), port);
        QCOMPARE(form.Combo1->currentText(), baud);
        QCOMPARE(form.Combo3->currentText(), baud);
        QVERIFY(script.shown().isEmpty());

        // The next picks are kept whatever the file held before.
        QVERIFY(pick(form.Combo2, QStringLiteral(" 7")));
        QVERIFY(pick(form.Combo1, QStringLiteral("38400")));
    }
    Form1 next;
    QCOMPARE(next.Combo2->currentText(), QStringLiteral(" 7"));
    QCOMPARE(next.Combo1->currentText(), QStringLiteral("38400"));
    QVERIFY(script.shown().isEmpty());
}

KORVANET_TEST_MAIN(tst_Faults)
#include "tst_faults.moc"
