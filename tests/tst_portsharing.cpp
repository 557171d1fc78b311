// SPDX-License-Identifier: GPL-3.0-or-later
// The line shared with the other serial programs of a Linux system, on real pseudo-terminals,
// as root and as a user without privileges (both programs run as the same one): picocom
// (flock), minicom and cu (UUCP lock files), screen (exclusive mode) and a second Korvanet.
// The utility's side is korvanet_openport, the window's "Open port" in a process of its own.
// And the lock folder that every user may write to, with what another user may put there:
// FIFOs, links, garbage, names the utility is about to use, a lock taken over mid-judgement.

#include "serial/locking/seriallock.h"
#include "serial/locking/uucplock.h"
#include "tests/support/otheruser.h"
#include "tests/support/portholder.h"
#include "tests/support/pty.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int Deadline = 5000;
const QString LockFolder = QStringLiteral("/run/lock");

QString rowName(const char *what, bool root)
{
    return QStringLiteral("%1 as %2").arg(QLatin1String(what), root ? u"root" : u"a user");
}

// A PID that belonged to a process which has ended.
pid_t deadPid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

QByteArray asciiLock(pid_t pid)
{
    return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
}

// The lock file minicom takes for a device under /dev: LCK..pts_3 for /dev/pts/3.
QString minicomLock(QString device)
{
    return LockFolder + QStringLiteral("/LCK..") + device.mid(5).replace(u'/', u'_');
}

// A file as a test compares it before and after: who owns it, its inode, its mode, and for a
// regular file what it holds; a FIFO or a device is never opened.
QString fileState(const QString &path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    QByteArray content;
    QFile file(path);
    if (S_ISREG(st.st_mode) && file.open(QIODevice::ReadOnly))
        content = file.readAll();
    return QStringLiteral("uid %1 inode %2 mode %3: %4")
            .arg(st.st_uid)
            .arg(st.st_ino)
            .arg(st.st_mode, 0, 8)
            .arg(QString::fromLatin1(content.toPercentEncoding()));
}

// The lock files that name a device, with what they hold and who owns them: the two UUCP
// names, and Qt's own lock of a process in `pids` (see serial/seriallock.h).
QMap<QString, QString> lockFiles(const QString &device, const QList<qint64> &pids = {})
{
    QStringList names{ QFileInfo(minicomLock(device)).fileName(),
                       QStringLiteral("LCK..") + QFileInfo(device).fileName() };
    for (const qint64 pid : pids)
        names.append(QStringLiteral("LCK.._proc_%1_fd_*").arg(pid));
    QMap<QString, QString> found;
    for (const QString &name : QDir(LockFolder).entryList(names, QDir::Files | QDir::System))
        found.insert(name, fileState(LockFolder + u'/' + name));
    return found;
}

void clearLocks(const QString &device)
{
    for (const QString &name : lockFiles(device).keys())
        QFile::remove(LockFolder + u'/' + name);
}

// A folder that every user may enter, with the utility's program, and for each user a home
// (the settings store, minicom's settings, screen's sockets).
class Place
{
public:
    bool make()
    {
        if (!m_dir.isValid() || ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755) != 0
            || !QFile::copy(QStringLiteral(KORVANET_OPENPORT), program())
            || !QFile::copy(QStringLiteral(KORVANET_BINARY), korvanet()))
            return false;
        for (const bool root : { true, false }) {
            const QString home = this->home(root);
            // No init string: minicom then writes nothing to the line of its own accord.
            if (!QDir().mkpath(home + QStringLiteral("/screen"))
                || !writeFile(home + QStringLiteral("/.minirc.dfl"),
                              "pu minit\npu mreset\npu mhangup\n"))
                return false;
            const uid_t owner = root ? 0 : Nobody;
            for (const QString &path : { home, home + QStringLiteral("/screen"),
                                         home + QStringLiteral("/.minirc.dfl") }) {
                if (::chown(QFile::encodeName(path).constData(), owner, owner) != 0)
                    return false;
            }
            ::chmod(QFile::encodeName(home + QStringLiteral("/screen")).constData(), 0700);
        }
        return true;
    }

    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QString program() const { return m_dir.filePath(QStringLiteral("openport")); }
    [[nodiscard]] QString korvanet() const { return m_dir.filePath(QStringLiteral("korvanet")); }
    [[nodiscard]] QString home(bool root) const
    {
        return m_dir.filePath(root ? QStringLiteral("root") : QStringLiteral("nobody"));
    }
    [[nodiscard]] QString settingsFile(bool root) const
    {
        return home(root) + QStringLiteral("/Korvanet/Korvanet.conf");
    }

    // Runs `command` as root or, through setpriv, as nobody. `held`: it starts only once a
    // line comes on its standard input, its PID known beforehand.
    void start(QProcess &process, bool root, QStringList command, bool held = false) const
    {
        if (held)
            command = QStringList{ "sh", "-c", "read go && exec \"$0\" \"$@\"" } + command;
        if (!root) {
            command = asNobody(command);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), home(root));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home(root));
        env.insert(QStringLiteral("SCREENDIR"), home(root) + QStringLiteral("/screen"));
        env.insert(QStringLiteral("TERM"), QStringLiteral("vt100"));
        process.setProcessEnvironment(env);
        // A session of its own: picocom, for one, ends by signalling its whole process group.
        process.setChildProcessModifier([] { ::setsid(); });
        process.start(command.takeFirst(), command);
    }

private:
    static bool writeFile(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    QTemporaryDir m_dir;
};

// The pseudo-terminal both programs meet on, the user's own in the user's rows. Lock files
// under its number are cleared before and after: the system hands numbers out again, and a
// program killed earlier may have left one behind.
struct Line
{
    explicit Line(bool root)
    {
        // The user's own device; for root, one that cu can open too: run by root, cu opens
        // the line as the user uucp.
        const QByteArray node = QFile::encodeName(pty.slavePath());
        if (root)
            ok = ::chmod(node.constData(), 0666) == 0;
        else
            ok = ::chown(node.constData(), Nobody, Nobody) == 0
                    && ::chmod(node.constData(), 0600) == 0;
        clearLocks(this->path());
    }
    ~Line() { clearLocks(path()); }

    [[nodiscard]] QString path() const { return pty.slavePath(); }

    PtyPair pty;
    bool ok = true;
};

// The utility: its output lines, one per box, then "open" or "closed". `beforehand` runs
// once its PID is known, before it does anything.
struct Utility
{
    Utility(const Place &place, bool root, const QString &device, bool hold = false,
            const std::function<void(pid_t)> &beforehand = {})
    {
        place.start(process, root,
                    hold ? QStringList{ place.program(), QStringLiteral("--hold"), device }
                         : QStringList{ place.program(), device },
                    bool(beforehand));
        process.waitForStarted(Deadline);
        pid = process.processId();
        if (beforehand) {
            beforehand(pid_t(pid));
            process.write("go\n");
        }
        if (hold) {
            // Until the line that says whether the port opened.
            const QDeadlineTimer deadline(Deadline);
            while (!lines().contains(u"open") && !lines().contains(u"closed")
                   && process.waitForReadyRead(int(deadline.remainingTime())))
                output += QString::fromLocal8Bit(process.readAllStandardOutput());
        } else if (process.waitForFinished(Deadline)) {
            output = QString::fromLocal8Bit(process.readAllStandardOutput());
        }
    }
    ~Utility()
    {
        // Ended as a user would, so that it leaves nothing behind.
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(Deadline))
                process.kill();
            process.waitForFinished(Deadline);
        }
    }

    [[nodiscard]] QStringList lines() const { return output.split(u'\n', Qt::SkipEmptyParts); }

    QProcess process;
    qint64 pid = 0;
    QString output;
};

QString refusal(const QString &detail)
{
    return QStringLiteral("box\terror\tPort already open.\t") + detail;
}

// Another serial program at 9600 baud, started by the user of the row.
struct OtherProgram
{
    OtherProgram(const Place &place, bool root, const QString &name, const QString &device)
    {
        // Each as a user would start it on the port.
        static const QHash<QString, QStringList> arguments{
            { QStringLiteral("picocom"), { "-q", "-b", "9600", "%1" } },
            { QStringLiteral("minicom"), { "-D", "%1", "-b", "9600" } },
            { QStringLiteral("screen"), { "-D", "-m", "%1", "9600" } },
            { QStringLiteral("cu"), { "-l", "%1", "-s", "9600" } },
        };
        QStringList command{ name };
        for (const QString &argument : arguments.value(name))
            command.append(argument == u"%1" ? device : argument);
        if (name == u"minicom") {
            // minicom draws on a terminal of its own.
            if (!root)
                ::chown(QFile::encodeName(terminal.slavePath()).constData(), Nobody, Nobody);
            process.setStandardInputFile(terminal.slavePath());
            process.setStandardOutputFile(terminal.slavePath());
        }
        place.start(process, root, command);
        process.waitForStarted(Deadline);
    }
    ~OtherProgram()
    {
        // Its whole session (cu runs as two processes); whatever lock it leaves, the line clears.
        if (const qint64 pid = process.processId(); pid > 0) {
            ::kill(-pid_t(pid), SIGKILL);
            process.waitForFinished(Deadline);
        }
    }

    PtyPair terminal;
    QProcess process;
};

// Whether `line` runs at `speed`: each program sets its rate after it has taken the port.
bool runsAt(const PtyPair &line, speed_t speed)
{
    QDeadlineTimer deadline(Deadline);
    while (line.lineSpeed() != speed && !deadline.hasExpired())
        QTest::qWait(10);
    return line.lineSpeed() == speed;
}

void addProgramRows(const QStringList &programs)
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("root");
    for (const QString &program : programs) {
        for (const bool root : { true, false })
            QTest::newRow(qPrintable(rowName(qPrintable(program), root))) << program << root;
    }
}

void addUserRows()
{
    QTest::addColumn<bool>("root");
    QTest::newRow("as root") << true;
    QTest::newRow("as a user") << false;
}

} // namespace

class tst_PortSharing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void anotherProgramHoldsThePort_data()
    {
        addProgramRows({ "picocom", "minicom", "screen", "cu" });
    }
    void anotherProgramHoldsThePort();
    void othersAreRefusedWhileOpen_data()
    {
        addProgramRows({ "picocom", "minicom", "screen", "cu", "korvanet" });
    }
    void othersAreRefusedWhileOpen();
    void staleLockIsRemoved_data();
    void staleLockIsRemoved();
    void staleLockOfRootIsNamed();
    void signalsEndCleanly_data();
    void signalsEndCleanly();
    void nextRunOpensAfterKill_data() { addUserRows(); }
    void nextRunOpensAfterKill();
    void twoNamesOfOneDeviceCollide_data();
    void twoNamesOfOneDeviceCollide();
    void noLockAtLockName_data();
    void noLockAtLockName();
    void plantedBeforehand_data();
    void plantedBeforehand();
    void liveLockStays_data();
    void liveLockStays();
    void lockModuleLeavesOthersAlone_data();
    void lockModuleLeavesOthersAlone();
    void lockNameTooLong();
    void unseenHolderWhileModemManagerRuns();

private:
    Place m_place;
};

void tst_PortSharing::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("Running the other programs as root and as another user takes root.");
    for (const char *tool : { "setpriv", "picocom", "minicom", "screen", "cu", "socat" }) {
        const QString missing = QStringLiteral("%1 is missing; scripts/deps.sh installs it");
        QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(),
                 qPrintable(missing.arg(QLatin1String(tool))));
    }
    QVERIFY(m_place.make());
    // Every user may put lock files there, and remove only their own.
    struct stat st
    {
    };
    QVERIFY(::stat(QFile::encodeName(LockFolder).constData(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, mode_t(01777));
}

void tst_PortSharing::anotherProgramHoldsThePort()
{
    QFETCH(QString, program);
    QFETCH(bool, root);
    Line line(root);
    QVERIFY(line.ok);
    OtherProgram other(m_place, root, program, line.path());
    QVERIFY2(runsAt(line.pty, B9600),
             qPrintable(program + QStringLiteral(" did not take the port")));
    const QMap<QString, QString> locks = lockFiles(line.path());

    const Utility utility(m_place, root, line.path());
    QCOMPARE(utility.lines(),
             QStringList({ refusal(QStringLiteral("%1 is in use by %2 (PID %3).")
                                           .arg(line.path(), program)
                                           .arg(other.process.processId())),
                           QStringLiteral("closed") }));
    // Nothing changed on the line or in the other program's lock.
    QCOMPARE(line.pty.lineSpeed(), speed_t(B9600));
    QCOMPARE(line.pty.readAvailable(), QByteArray());
    QCOMPARE(lockFiles(line.path(), { utility.pid }), locks);
    QCOMPARE(other.process.state(), QProcess::Running);
}

void tst_PortSharing::othersAreRefusedWhileOpen()
{
    QFETCH(QString, program);
    QFETCH(bool, root);
    Line line(root);
    QVERIFY(line.ok);
    Utility utility(m_place, root, line.path(), true);
    QCOMPARE(utility.lines(), QStringList{ QStringLiteral("open") });
    QVERIFY(runsAt(line.pty, B19200));
    // The UUCP lock under both names, readable by all, in the user's own name.
    const QMap<QString, QString> ours = lockFiles(line.path());
    QCOMPARE(ours.size(), 2);
    const QString content = QString::fromLatin1(asciiLock(pid_t(utility.pid)).toPercentEncoding());
    for (const QString &lock : ours) {
        QCOMPARE(lock.section(u' ', 0, 1), QStringLiteral("uid %1").arg(root ? 0 : Nobody));
        QVERIFY2(lock.endsWith(content), qPrintable(lock));
    }

    if (program == u"korvanet") {
        const Utility second(m_place, root, line.path());
        QCOMPARE(second.lines(),
                 QStringList({ refusal(QStringLiteral("%1 is in use by openport (PID %2).")
                                               .arg(line.path())
                                               .arg(utility.pid)),
                               QStringLiteral("closed") }));
    } else {
        OtherProgram other(m_place, root, program, line.path());
        if (program == u"screen" && root)
            QEXPECT_FAIL("", "screen honours only exclusive mode, which does not bind root", Abort);
        QVERIFY2(other.process.waitForFinished(Deadline), "the other program kept running");
    }
    QCOMPARE(line.pty.lineSpeed(), speed_t(B19200));
    QCOMPARE(lockFiles(line.path()), ours);
    QCOMPARE(utility.process.state(), QProcess::Running);
}

void tst_PortSharing::staleLockIsRemoved_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("root");
    const pid_t dead = deadPid();
    for (const bool root : { true, false }) {
        QTest::newRow(qPrintable(rowName("ASCII PID", root))) << asciiLock(dead) << root;
        QTest::newRow(qPrintable(rowName("binary PID", root)))
                << QByteArray(reinterpret_cast<const char *>(&dead), sizeof(int)) << root;
        // Qt's own lock files, as an earlier version of this utility left them.
        QTest::newRow(qPrintable(rowName("Qt's lock format", root))) << QByteArray::number(dead)
                        + "\nkorvanet\nvm\n3d1219c7\nf646041c\n" << root;
    }
}

void tst_PortSharing::staleLockIsRemoved()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, root);
    Line line(root);
    QVERIFY(line.ok);
    const QString stale = minicomLock(line.path());
    {
        QFile file(stale);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    // Left by the same user's earlier run, so this user may remove it.
    const uid_t owner = root ? 0 : Nobody;
    QVERIFY(::chown(QFile::encodeName(stale).constData(), owner, owner) == 0);

    const Utility utility(m_place, root, line.path());
    QCOMPARE(utility.lines(), QStringList{ QStringLiteral("open") });
    QVERIFY(lockFiles(line.path(), { utility.pid }).isEmpty());
}

void tst_PortSharing::staleLockOfRootIsNamed()
{
    Line line(false);
    QVERIFY(line.ok);
    const pid_t dead = deadPid();
    const QString stale = minicomLock(line.path());
    {
        QFile file(stale);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(asciiLock(dead)) == 11);
    }
    const QMap<QString, QString> locks = lockFiles(line.path());

    const Utility utility(m_place, false, line.path());
    const QStringList lines = utility.lines();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.last(), QStringLiteral("closed"));
    const QStringList box = lines.first().split(u'\t');
    QCOMPARE(box.mid(0, 3), QStringList({ "box", "error", "Unknown error." }));
    const QString detail = box.value(3);
    const QString start =
            QStringLiteral("%1 is locked by %2, left behind by PID %3, which has ended.");
    QVERIFY2(detail.startsWith(start.arg(line.path(), stale).arg(dead)), qPrintable(detail));
    QVERIFY2(detail.endsWith(QStringLiteral("remove it with: sudo rm ") + stale),
             qPrintable(detail));
    QCOMPARE(lockFiles(line.path(), { utility.pid }), locks);
}

void tst_PortSharing::signalsEndCleanly_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("root");
    for (const bool root : { true, false }) {
        QTest::newRow(qPrintable(rowName("SIGTERM", root))) << SIGTERM << root;
        QTest::newRow(qPrintable(rowName("SIGINT", root))) << SIGINT << root;
        QTest::newRow(qPrintable(rowName("SIGHUP", root))) << SIGHUP << root;
    }
}

void tst_PortSharing::signalsEndCleanly()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, root);
    Line line(root);
    QVERIFY(line.ok);
    QFile::remove(m_place.settingsFile(root));
    Utility utility(m_place, root, line.path(), true);
    QCOMPARE(utility.lines(), QStringList{ QStringLiteral("open") });
    QVERIFY(!lockFiles(line.path()).isEmpty());

    QVERIFY(utility.pid > 0 && ::kill(pid_t(utility.pid), signalNumber) == 0);
    QVERIFY(utility.process.waitForFinished(Deadline));
    QCOMPARE(utility.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(utility.process.exitCode(), 0);
    QVERIFY(lockFiles(line.path(), { utility.pid }).isEmpty());
    // No frame: that belongs to "Close software".
    QCOMPARE(line.pty.readAvailable(), QByteArray());
    const QSettings stored(m_place.settingsFile(root), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("Settings/ComPort")).toString(), QStringLiteral(" 3"));
    QCOMPARE(stored.value(QStringLiteral("Settings/BaudRate")).toString(), QStringLiteral("19200"));
}

void tst_PortSharing::nextRunOpensAfterKill()
{
    QFETCH(bool, root);
    Line line(root);
    QVERIFY(line.ok);
    Utility first(m_place, root, line.path(), true);
    QCOMPARE(first.lines(), QStringList{ QStringLiteral("open") });
    QVERIFY(first.pid > 0 && ::kill(pid_t(first.pid), SIGKILL) == 0);
    QVERIFY(first.process.waitForFinished(Deadline));
    // What a killed run leaves: its lock files, naming a process that is gone.
    QCOMPARE(lockFiles(line.path(), { first.pid }).size(), 3);
    if (!root) {
        // Exclusive mode ends with a real device's last close. A pseudo-terminal keeps it
        // for as long as its master is open, and the kernel then refuses every other user;
        // the test ends it as that last close would.
        const int fd = ::open(QFile::encodeName(line.path()).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0 && ::ioctl(fd, TIOCNXCL) == 0);
        ::close(fd);
    }

    const Utility next(m_place, root, line.path());
    QCOMPARE(next.lines(), QStringList{ QStringLiteral("open") });
    QVERIFY(lockFiles(line.path(), { first.pid, next.pid }).isEmpty());
}

void tst_PortSharing::twoNamesOfOneDeviceCollide_data()
{
    QTest::addColumn<bool>("holdByLink");
    QTest::addColumn<bool>("root");
    for (const bool root : { true, false }) {
        QTest::newRow(qPrintable(rowName("link, then path", root))) << true << root;
        QTest::newRow(qPrintable(rowName("path, then link", root))) << false << root;
    }
}

void tst_PortSharing::twoNamesOfOneDeviceCollide()
{
    QFETCH(bool, holdByLink);
    QFETCH(bool, root);
    const QString link = m_place.path() + QStringLiteral("/ttyKorvanet");
    QProcess socat;
    socat.start(QStringLiteral("socat"),
                { QStringLiteral("PTY,link=%1,rawer").arg(link),
                  QStringLiteral("PTY,link=%1Peer,rawer").arg(link) });
    const auto stop = qScopeGuard([&socat] {
        socat.kill();
        socat.waitForFinished(Deadline);
    });
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).exists(), Deadline);
    const QString device = QFileInfo(link).canonicalFilePath();
    clearLocks(device);
    const auto clear = qScopeGuard([device] { clearLocks(device); });
    if (!root)
        QVERIFY(::chown(QFile::encodeName(device).constData(), Nobody, Nobody) == 0);

    const Utility holder(m_place, root, holdByLink ? link : device, true);
    QCOMPARE(holder.lines(), QStringList{ QStringLiteral("open") });
    const Utility second(m_place, root, holdByLink ? device : link);
    const QString named =
            holdByLink ? device : QStringLiteral("%1, which is %2,").arg(link, device);
    const QString detail = QStringLiteral("%1 is in use by openport (PID %2).");
    QCOMPARE(second.lines(),
             QStringList({ refusal(detail.arg(named).arg(holder.pid)), QStringLiteral("closed") }));
    // Locked under the device's own name only.
    QCOMPARE(lockFiles(device).size(), 2);
    QVERIFY(!QFileInfo::exists(LockFolder + QStringLiteral("/LCK..ttyKorvanet")));
}

void tst_PortSharing::noLockAtLockName_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("obstacle"); // as the refusal names it
    QTest::addColumn<bool>("root");
    for (const bool root : { true, false }) {
        QTest::newRow(qPrintable(rowName("a FIFO", root))) << "fifo"
                                                           << "is a FIFO, not a lock file" << root;
        QTest::newRow(qPrintable(rowName("a symbolic link", root)))
                << "link"
                << "is a symbolic link, not a lock file" << root;
        QTest::newRow(qPrintable(rowName("garbage", root))) << "garbage\n"
                                                            << "names no process" << root;
        QTest::newRow(qPrintable(rowName("nothing", root))) << ""
                                                            << "names no process" << root;
        QTest::newRow(qPrintable(rowName("a negative PID", root))) << "       -42\n"
                                                                   << "names no process" << root;
        QTest::newRow(qPrintable(rowName("a megabyte", root)))
                << QString(1024 * 1024, u'7') << "is 1048576 bytes long, more than any lock file"
                << root;
    }
}

// Whatever another user put at the lock's name, that names no running program, is left where
// it is and named, and the run ends at once: `korvanet read` as a user runs it, ended by
// SIGTERM should it hang.
void tst_PortSharing::noLockAtLockName()
{
    QFETCH(QString, what);
    QFETCH(QString, obstacle);
    QFETCH(bool, root);
    Line line(root);
    QVERIFY(line.ok);
    const QString lock = minicomLock(line.path());
    const QByteArray name = QFile::encodeName(lock);
    const QString target = m_place.path() + QStringLiteral("/lock-elsewhere");
    if (what == u"fifo") {
        QVERIFY(::mkfifo(name.constData(), 0644) == 0);
    } else if (what == u"link") {
        // To a lock that would name this live process, were it followed.
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(asciiLock(::getpid())) == 11);
        file.close();
        QVERIFY(::symlink(QFile::encodeName(target).constData(), name.constData()) == 0);
    } else {
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(what.toLatin1()) == what.size());
    }
    const uid_t other = root ? Nobody : 0;
    QVERIFY(::lchown(name.constData(), other, other) == 0);
    const QString before = fileState(lock);

    // COM3 is the line, for the user of the row.
    const QString settings = m_place.settingsFile(root);
    QVERIFY(QDir().mkpath(QFileInfo(settings).absolutePath()));
    {
        QFile file(settings);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Ports]\nCOM3=" + QFile::encodeName(line.path()) + '\n');
    }
    const auto forget = qScopeGuard([settings] { QFile::remove(settings); });
    for (const QString &path : { QFileInfo(settings).absolutePath(), settings })
        QVERIFY(::chown(QFile::encodeName(path).constData(), root ? 0 : Nobody, 0) == 0);

    QProcess korvanet;
    m_place.start(korvanet, root, { m_place.korvanet(), "read", "--port", "3" });
    QVERIFY(korvanet.waitForStarted(Deadline));
    if (!korvanet.waitForFinished(2000)) {
        ::kill(pid_t(korvanet.processId()), SIGTERM);
        QVERIFY2(korvanet.waitForFinished(1000), "the run hangs, and SIGTERM does not end it");
    }
    QCOMPARE(korvanet.exitStatus(), QProcess::NormalExit);
    QCOMPARE(korvanet.exitCode(), 1);
    QStringList told;
    for (const QString &said : QString::fromLocal8Bit(korvanet.readAllStandardError()).split(u'\n'))
        if (said.startsWith(u"korvanet: "))
            told.append(said);
    const QString detail =
            QStringLiteral("%1 cannot be locked: %2 %3. If no other program uses the port, "
                           "remove it: %4%2")
                    .arg(line.path(), lock, obstacle, root ? u"rm " : u"sudo rm ");
    QCOMPARE(told, QStringList({ "korvanet: Unknown error.", "korvanet: " + detail }));
    QCOMPARE(fileState(lock), before);
    QCOMPARE(line.pty.readAvailable(), QByteArray());
    QFile::remove(target);
}

void tst_PortSharing::plantedBeforehand_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("root");
    for (const bool root : { true, false }) {
        QTest::newRow(qPrintable(rowName("a hard link to the user's file at LTMP.<pid>", root)))
                << "hard link" << root;
        QTest::newRow(qPrintable(rowName("another user's file at LTMP.<pid>", root)))
                << "file" << root;
        QTest::newRow(qPrintable(rowName("a symbolic link at LTMP.<pid>", root)))
                << "symbolic link" << root;
        QTest::newRow(qPrintable(rowName("a live lock at Qt's name for /proc/<pid>/fd/<n>", root)))
                << "qt" << root;
    }
}

// Names that the utility's process would once have used, known before it starts: another
// user puts something there first. The port opens with locks of the user's own, and what was
// put there is left as it was, down to the byte.
void tst_PortSharing::plantedBeforehand()
{
    QFETCH(QString, what);
    QFETCH(bool, root);
    Line line(root);
    QVERIFY(line.ok);
    const uid_t user = root ? 0 : Nobody;
    const uid_t other = root ? Nobody : 0;
    // A file of the user's own that only the user may read.
    const QString victim = m_place.path() + QStringLiteral("/victim");
    {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("secret\n") == 7);
    }
    QVERIFY(::chmod(QFile::encodeName(victim).constData(), 0600) == 0);
    QVERIFY(::chown(QFile::encodeName(victim).constData(), user, user) == 0);

    QStringList planted;
    QMap<QString, QString> before;
    const auto clear = qScopeGuard([&] {
        for (const QString &path : std::as_const(planted))
            QFile::remove(path);
        QFile::remove(victim);
    });
    const auto plant = [&](pid_t pid) {
        const QString temporary = LockFolder + QStringLiteral("/LTMP.%1").arg(pid);
        const QByteArray name = QFile::encodeName(temporary);
        if (what == u"hard link") {
            planted.append(temporary);
            ::link(QFile::encodeName(victim).constData(), name.constData());
        } else if (what == u"file") {
            planted.append(temporary);
            QFile file(temporary);
            if (file.open(QIODevice::WriteOnly))
                file.write("another user's\n");
            file.close();
            ::chmod(name.constData(), 0666);
            ::chown(name.constData(), other, other);
        } else if (what == u"symbolic link") {
            planted.append(temporary);
            ::symlink(QFile::encodeName(victim).constData(), name.constData());
            ::lchown(name.constData(), other, other);
        } else {
            // Qt's own lock format, naming a process that runs: Qt takes it for held.
            const QByteArray content = QByteArray::number(::getpid()) + '\n'
                    + QFile::encodeName(QCoreApplication::applicationFilePath()) + "\n\n";
            for (int fd = 3; fd < 64; ++fd) {
                planted.append(LockFolder
                               + QStringLiteral("/LCK.._proc_%1_fd_%2").arg(pid).arg(fd));
                QFile file(planted.last());
                if (file.open(QIODevice::WriteOnly))
                    file.write(content);
                file.close();
                ::chown(QFile::encodeName(planted.last()).constData(), other, other);
            }
        }
        for (const QString &path : std::as_const(planted))
            before.insert(path, fileState(path));
        before.insert(victim, fileState(victim));
    };

    const Utility utility(m_place, root, line.path(), true, plant);
    QCOMPARE(utility.lines(), QStringList{ QStringLiteral("open") });
    const QMap<QString, QString> ours = lockFiles(line.path());
    QCOMPARE(ours.size(), 2);
    const QString content = QString::fromLatin1(asciiLock(pid_t(utility.pid)).toPercentEncoding());
    for (const QString &lock : ours) {
        QCOMPARE(lock.section(u' ', 0, 1), QStringLiteral("uid %1").arg(user));
        QVERIFY2(lock.endsWith(content), qPrintable(lock));
    }
    QCOMPARE(fileState(victim), before.take(victim));
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(fileState(it.key()), it.value());
}

void tst_PortSharing::liveLockStays_data()
{
    QTest::addColumn<bool>("race");
    QTest::addColumn<bool>("root");
    // kill() gives EPERM for another user's process, which runs all the same.
    QTest::newRow("a live holder of another user, as a user") << false << false;
    for (const bool root : { true, false })
        QTest::newRow(qPrintable(rowName("a stale lock taken over while judged", root)))
                << true << root;
}

// A lock that names a running program stays, and the port is refused. In the race, another
// program writes its PID over a stale lock in the moment between the utility judging it
// stale and removing it, a moment that strace stretches to half a second. On ext4 the inode
// stays the same whether the lock is rewritten or made anew.
void tst_PortSharing::liveLockStays()
{
    QFETCH(bool, race);
    QFETCH(bool, root);
    Line line(root);
    QVERIFY(line.ok);
    const QString lock = minicomLock(line.path());
    const pid_t dead = deadPid();
    const pid_t live = ::getpid();
    {
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(asciiLock(race ? dead : live)) == 11);
    }
    // A stale lock of the user's own, which the user may remove; a live one of root's.
    const uid_t owner = race && !root ? Nobody : 0;
    QVERIFY(::chown(QFile::encodeName(lock).constData(), owner, owner) == 0);

    QStringList command{ m_place.program(), line.path() };
    if (race) {
        // LeakSanitizer, when built in, cannot stop a process that strace traces.
        const QString asan =
                qEnvironmentVariable("ASAN_OPTIONS") + QStringLiteral(":detect_leaks=0");
        command = QStringList{ "strace", "-qq",        "-E", "ASAN_OPTIONS=" + asan,
                               "-e",     "trace=kill", "-e", "inject=kill:delay_exit=500000" }
                + command;
    }
    QProcess utility;
    m_place.start(utility, root, command);
    QVERIFY(utility.waitForStarted(Deadline));
    if (race) {
        // strace tells of the call as it returns, before the delay.
        const QByteArray judged = "kill(" + QByteArray::number(dead) + ", 0)";
        QByteArray trace;
        utility.setReadChannel(QProcess::StandardError);
        const QDeadlineTimer deadline(Deadline);
        while (!trace.contains(judged) && utility.waitForReadyRead(int(deadline.remainingTime())))
            trace += utility.readAllStandardError();
        QVERIFY2(trace.contains(judged), trace.constData());
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(file.write(asciiLock(live)) == 11);
    }
    const QString held = fileState(lock);
    QVERIFY(utility.waitForFinished(Deadline));
    const QStringList lines = QString::fromLocal8Bit(utility.readAllStandardOutput())
                                      .split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines,
             QStringList({ refusal(QStringLiteral("%1 is in use by %2 (PID %3).")
                                           .arg(line.path(),
                                                QFileInfo(QCoreApplication::applicationFilePath())
                                                        .fileName())
                                           .arg(live)),
                           QStringLiteral("closed") }));
    QCOMPARE(fileState(lock), held);
}

void tst_PortSharing::lockModuleLeavesOthersAlone_data()
{
    QTest::addColumn<QString>("other"); // what another program has done
    QTest::newRow("a lock at the name") << "lock";
    QTest::newRow("a FIFO at the name") << "fifo";
    QTest::newRow("a symbolic link at the name") << "link";
    QTest::newRow("ours removed, and a lock of its own made") << "made anew";
    QTest::newRow("its PID written over ours") << "written over";
}

// The lock module's promises, kept whatever another program does at the same names: a name
// already taken is never replaced by a lock of this process, and the release of this
// process's lock removes no other program's lock.
void tst_PortSharing::lockModuleLeavesOthersAlone()
{
    QFETCH(QString, other);
    QTemporaryDir folder;
    const QString lock = folder.filePath(QStringLiteral("LCK..ttyKorvanet"));
    const QByteArray name = QFile::encodeName(lock);
    const QString target = m_place.path() + QStringLiteral("/not-a-lock");
    const QByteArray theirs = asciiLock(::getppid());
    const auto write = [&lock, &theirs] {
        QFile file(lock);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                && file.write(theirs) == theirs.size();
    };
    ino_t inode = 0;
    int error = 0;
    if (other == u"made anew" || other == u"written over") {
        QCOMPARE(UucpLock::create(lock, &inode, &error), UucpLock::Created::Yes);
        if (other == u"made anew")
            QVERIFY(QFile::remove(lock));
        QVERIFY(write());
        const QString before = fileState(lock);
        UucpLock::removeOwn(lock, inode);
        QCOMPARE(fileState(lock), before);
    } else {
        if (other == u"fifo")
            QVERIFY(::mkfifo(name.constData(), 0644) == 0);
        else if (other == u"link")
            QVERIFY(::symlink(QFile::encodeName(target).constData(), name.constData()) == 0);
        else
            QVERIFY(write());
        const QString before = fileState(lock);
        QCOMPARE(UucpLock::create(lock, &inode, &error), UucpLock::Created::Taken);
        QCOMPARE(fileState(lock), before);
        QVERIFY(!QFileInfo::exists(target));
    }
    // Nothing left behind under another name.
    QCOMPARE(QDir(folder.path())
                     .entryList(QDir::AllEntries | QDir::System | QDir::Hidden
                                | QDir::NoDotAndDotDot),
             QStringList{ QFileInfo(lock).fileName() });
}

// A device whose lock names are longer than a file name may be: nobody can hold such a name,
// so the device is claimed without it, and the system's reason is said.
void tst_PortSharing::lockNameTooLong()
{
    QTemporaryDir folder;
    const QString device = folder.filePath(QString(251, u'x'));
    {
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    SerialLock lock;
    const std::optional<SerialLock::Refusal> refused = lock.acquire(device);
    QVERIFY2(!refused, qPrintable(refused.value_or(SerialLock::Refusal{}).detail));
    QVERIFY(lock.held());
    const QStringList warnings = lock.warnings();
    QCOMPARE(warnings.size(), 2);
    for (const QString &warning : warnings) {
        QVERIFY2(warning.startsWith(device + QStringLiteral(" has no lock file ") + LockFolder
                                    + QStringLiteral("/LCK.."))
                         && warning.contains(u" (File name too long): "),
                 qPrintable(warning));
    }
}

// A user cannot look into root's processes, so a port that root's program holds in exclusive
// mode alone has no holder to name; while ModemManager runs, it may well be that program.
void tst_PortSharing::unseenHolderWhileModemManagerRuns()
{
    Line line(false);
    QVERIFY(line.ok);
    OtherProgram screen(m_place, true, QStringLiteral("screen"), line.path());
    QVERIFY2(runsAt(line.pty, B9600), "screen did not take the port");
    PtyPair elsewhere;
    const PortHolder modemManager(elsewhere.slavePath(), QStringLiteral("ModemManager"));
    QVERIFY2(modemManager.holds(), qPrintable(modemManager.error()));

    const Utility utility(m_place, false, line.path());
    QCOMPARE(utility.lines(),
             QStringList(
                     { refusal(QStringLiteral("%1 is in use by another program. ModemManager runs, "
                                              "and may be that program. It probes serial devices "
                                              "for modems and can hold one for seconds. To keep it "
                                              "away from this one, put the rule KERNEL==\"%2\", "
                                              "ENV{ID_MM_DEVICE_IGNORE}=\"1\" in a file under "
                                              "/etc/udev/rules.d/ (such as 99-korvanet.rules), run "
                                              "\"sudo udevadm control --reload\" and plug the "
                                              "adapter in again.")
                                       .arg(line.path(), QFileInfo(line.path()).fileName())),
                       QStringLiteral("closed") }));
}

KORVANET_TEST_MAIN(tst_PortSharing)
#include "tst_portsharing.moc"
