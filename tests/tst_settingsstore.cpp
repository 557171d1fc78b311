// SPDX-License-Identifier: GPL-3.0-or-later
// A settings store that cannot be written or read, or whose file is damaged: the user is
// told once, on standard error, with the file and the reason, and a "Ports" override is
// never dropped in favour of a counted device (this machine's /dev/ttyS0, say).

#include "session/settingsstore.h"
#include "app/form1.h"
#include "app/messagebox.h"
#include "serial/ports/portmap.h"
#include "tests/support/otheruser.h"
#include "tests/support/pty.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run
{
    int exitCode = -1;
    QStringList out;
    QStringList told; // the utility's own lines on standard error
};

// Runs `command` with the settings store under `home`, offscreen.
Run run(QStringList command, const QString &home)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    env.insert(QStringLiteral("HOME"), home);
    env.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(env);
    process.start(command.takeFirst(), command);
    Run result;
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput())
                         .split(u'\n', Qt::SkipEmptyParts);
    // Only the utility's lines: fontconfig, for one, may complain about a cache it cannot write.
    for (const QString &line :
         QString::fromLocal8Bit(process.readAllStandardError()).split(u'\n')) {
        if (line.startsWith(u"korvanet: "))
            result.told.append(line);
    }
    return result;
}

QString storeFile(const QString &home)
{
    return home + QStringLiteral("/Korvanet/Korvanet.conf");
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(content) == content.size();
}

bool writeStore(const QString &home, const QByteArray &content)
{
    return writeFile(storeFile(home), content);
}

QByteArray damaged(const char *start, qsizetype size = -1)
{
    return QByteArray(start, size < 0 ? qsizetype(qstrlen(start)) : size);
}

} // namespace

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void init() { resetSettings(); }

    void damagedFile_data()
    {
        QTest::addColumn<QByteArray>("start"); // then "[Ports]", "COM1=" and a pseudo-terminal
        QTest::addColumn<QByteArray>("end");
        QTest::addColumn<QString>("damage"); // empty: none to tell
        QTest::newRow("clean") << damaged("[Settings]\nComPort=\" 4\"\n") << QByteArray()
                               << QString();
        // Qt's reader reports nothing here, and loses every line after the quote.
        QTest::newRow("a quote that never closes")
                << damaged("[Settings]\nComPort=\"5\n") << QByteArray()
                << "line 2 opens a quote that does not close";
        QTest::newRow("bytes that are no text first")
                << damaged("\x01\xff\xfe\x7f\n") << QByteArray()
                << "line 1 is no \"key=value\" line";
        QTest::newRow("a broken section header") << damaged("[Settings\nComPort=4\n")
                                                 << QByteArray() << "line 1 is no [section] line";
        QTest::newRow("NUL bytes after it")
                << QByteArray() << damaged("\0\x01\n", 3) << "line 3 holds a NUL byte";
    }

    // Through `korvanet --list-ports`, which numbers the ports as "Open port" does.
    void damagedFile()
    {
        QFETCH(QByteArray, start);
        QFETCH(QByteArray, end);
        QFETCH(QString, damage);
        PtyPair pty;
        QTemporaryDir home;
        QVERIFY(writeStore(home.path(),
                           start + "[Ports]\nCOM1=" + QFile::encodeName(pty.slavePath()) + '\n'
                                   + end));

        const Run listed = run({ QStringLiteral(KORVANET_BINARY), QStringLiteral("--list-ports") },
                               home.path());
        QCOMPARE(listed.exitCode, 0);
        QVERIFY2(listed.out.size() > 1, qPrintable(listed.out.join(u'\n')));
        QCOMPARE(listed.out[1].simplified(), QStringLiteral("1 %1 * ready").arg(pty.slavePath()));
        const QStringList told = damage.isEmpty()
                ? QStringList()
                : QStringList{ QStringLiteral("korvanet: the settings file %1 is damaged (%2); its "
                                              "\"Ports\" entries are read line by line.")
                                       .arg(storeFile(home.path()), damage) };
        QCOMPARE(listed.told, told);
    }

    // Qt writes back only what it could read; the override it lost must come back with the pick.
    void damagedFileKeepsOverrideOnSave()
    {
        PtyPair pty;
        const QString file = SettingsStore::File().fileName();
        QVERIFY(writeFile(file,
                          "[Settings]\nComPort=\"5\n[Ports]\nCOM1="
                                  + QFile::encodeName(pty.slavePath()) + '\n'));
        MessageBox::Script script;
        Form1 form;
        QCOMPARE(PortMap::devicePath(1), pty.slavePath());
        form.Combo2->setCurrentIndex(form.Combo2->findText(QStringLiteral(" 7")) - 1);
        QTest::keyClick(form.Combo2, Qt::Key_Down);

        const SettingsStore::File store;
        QCOMPARE(store.value(QStringLiteral("Settings/ComPort")).toString(), QStringLiteral(" 7"));
        QCOMPARE(store.value(QStringLiteral("Ports/COM1")).toString(), pty.slavePath());
        QCOMPARE(PortMap::devicePath(1), pty.slavePath());
        QVERIFY(script.shown().isEmpty());
    }

    void storeNotAccessible_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("told"); // %1: the file
        const QString cannotSave = QStringLiteral(
                "korvanet: cannot save the settings in %1: Permission denied; the choice holds for "
                "this run only.");
        QTest::newRow("read-only") << 0444 << QStringList{ cannotSave };
        QTest::newRow("unreadable")
                << 0
                << QStringList{ QStringLiteral("korvanet: cannot read the settings in %1: "
                                               "Permission denied; the last port and rate and "
                                               "the \"Ports\" entries are not known."),
                                cannotSave };
    }

    // Picks twice as a user the file does not let in: root may write anything, so as root
    // the helper runs as nobody.
    void storeNotAccessible()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, told);
        const bool root = ::geteuid() == 0;
        if (root && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("setpriv (util-linux) is needed to run the check as a user without access.");

        PtyPair pty;
        QTemporaryDir place;
        QVERIFY(::chmod(QFile::encodeName(place.path()).constData(), 0755) == 0);
        const QString program = place.filePath(QStringLiteral("pickport"));
        QVERIFY(QFile::copy(QStringLiteral(KORVANET_PICKPORT), program));
        const QString home = place.filePath(QStringLiteral("home"));
        const QByteArray content = "[Settings]\nComPort=\" 4\"\n[Ports]\nCOM1="
                + QFile::encodeName(pty.slavePath()) + '\n';
        QVERIFY(writeStore(home, content));
        QStringList command{ program };
        if (root) {
            for (const QString &path :
                 { home, home + QStringLiteral("/Korvanet"), storeFile(home) })
                QVERIFY(::chown(QFile::encodeName(path).constData(), Nobody, Nobody) == 0);
            command = asNobody(command);
        }
        QVERIFY(::chmod(QFile::encodeName(storeFile(home)).constData(), mode_t(mode)) == 0);

        const Run picked = run(command, home);
        QCOMPARE(picked.exitCode, 0);
        QCOMPARE(picked.out.value(0), QStringLiteral(" 7"));
        for (QString &line : told)
            line = line.arg(storeFile(home));
        QCOMPARE(picked.told, told);
        // Read-only, the override still counts; unreadable, the user has been told.
        if (mode & 0400)
            QCOMPARE(picked.out.value(1), pty.slavePath());
        QVERIFY(::chmod(QFile::encodeName(storeFile(home)).constData(), 0644) == 0);
        QFile file(storeFile(home));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }

    void storeIsNoFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a FIFO") << "FIFO";
        QTest::newRow("a folder") << "folder";
    }

    // Qt's reader would wait on a FIFO for good: what is no file is left alone, and said once.
    void storeIsNoFile()
    {
        QFETCH(QString, kind);
        QTemporaryDir home;
        const QString file = storeFile(home.path());
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        if (kind == u"FIFO")
            QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
        else
            QVERIFY(QDir().mkpath(file));

        const Run picked = run({ QStringLiteral(KORVANET_PICKPORT) }, home.path());
        QCOMPARE(picked.exitCode, 0);
        QCOMPARE(picked.out.value(0), QStringLiteral(" 7"));
        QCOMPARE(picked.told,
                 QStringList({ QStringLiteral("korvanet: cannot read the settings in %1: it is a "
                                              "%2, not a file; the last port and rate and the "
                                              "\"Ports\" entries are not known.")
                                       .arg(file, kind),
                               QStringLiteral("korvanet: cannot save the settings in %1: it is a "
                                              "%2, not a file; the choice holds for this run "
                                              "only.")
                                       .arg(file, kind) }));
    }

    // A device path from the settings is shown escaped: a NUL in it would cut the message
    // short, an escape sequence would steer the terminal.
    void devicePathShownEscaped()
    {
        QTemporaryDir home;
        QVERIFY(writeStore(home.path(), "[Ports]\nCOM3=/dev/pts/0\\0gone\\x1b[2J\n"));
        const QString shown = QStringLiteral("/dev/pts/0\\x00gone\\x1b[2J");
        const Run opened = run({ QStringLiteral(KORVANET_BINARY), QStringLiteral("read"),
                                 QStringLiteral("--port"), QStringLiteral("3") },
                               home.path());
        QCOMPARE(opened.exitCode, 1);
        QCOMPARE(opened.told,
                 QStringList({ QStringLiteral("korvanet: Invalid port number."),
                               QStringLiteral("korvanet: COM3 is %1, which does not exist.")
                                       .arg(shown) }));
        const Run listed = run({ QStringLiteral(KORVANET_BINARY), QStringLiteral("--list-ports") },
                               home.path());
        QCOMPARE(listed.exitCode, 0);
        QVERIFY2(listed.out.filter(QRegularExpression(QStringLiteral("^3 ")))
                         .value(0)
                         .contains(shown + QStringLiteral(" *")),
                 qPrintable(listed.out.join(u'\n')));
    }
};

KORVANET_TEST_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
