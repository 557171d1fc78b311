// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/pty.h"

#include "platform/pty.h"
#include "session/settingsstore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    RawPty pty;
    QString error;
    if (!openRawPty(pty, &error))
        qFatal("%s", qPrintable(error));
    m_master = pty.master;
    m_slave = pty.slave;
    m_slavePath = pty.slavePath;
}

PtyPair::~PtyPair()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
}

void PtyPair::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    const QDeadlineTimer deadline(5000);
    while (done < bytes.size() && !deadline.hasExpired()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else
            QTest::qWait(1); // the utility has not read the last chunk yet
    }
    QVERIFY2(done == bytes.size(), "the master could not write everything");
}

bool PtyPair::writeWhole(const QByteArray &bytes)
{
    // A descriptor of its own on the slave only looks at how much waits there.
    const int probe = ::open(qPrintable(m_slavePath), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (probe < 0)
        return false;
    const auto closeProbe = qScopeGuard([probe] { ::close(probe); });
    if (::write(m_master, bytes.constData(), size_t(bytes.size())) != bytes.size())
        return false;
    int waiting = 0;
    const QDeadlineTimer deadline(2000);
    while (!deadline.hasExpired()
           && (::ioctl(probe, FIONREAD, &waiting) != 0 || waiting < bytes.size()))
        ::usleep(200);
    return waiting == bytes.size();
}

QByteArray PtyPair::readAvailable()
{
    QByteArray result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.append(buffer, n);
    }
    return result;
}

QByteArray PtyPair::readCount(qsizetype count, int timeoutMs)
{
    QByteArray result = readAvailable();
    const QDeadlineTimer deadline(timeoutMs);
    while (result.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        result += readAvailable();
        if (result.size() < count)
            QTest::qWait(1);
    }
    return result;
}

QByteArray PtyPair::readFrame(int timeoutMs)
{
    QByteArray result = readAvailable();
    const QDeadlineTimer deadline(timeoutMs);
    while (!result.endsWith("\r\n") && !deadline.hasExpired()) {
        QTest::qWait(1);
        result += readAvailable();
    }
    return result;
}

QByteArray PtyPair::readFor(int ms)
{
    QByteArray result = readAvailable();
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QTest::qWait(5);
        result += readAvailable();
    }
    return result;
}

speed_t PtyPair::lineSpeed() const
{
    termios t{};
    ::tcgetattr(m_master, &t);
    return ::cfgetospeed(&t);
}

void PtyPair::hangUp()
{
    ::close(m_master);
    m_master = -1;
    ::close(m_slave);
    m_slave = -1;
}

bool relink(const QString &path, const QString &target)
{
    const QString fresh = path + QStringLiteral(".new");
    QFile::remove(fresh);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && QFile::link(target, fresh)
            && ::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path).constData())
            == 0;
}

void mapComPort(int number, const QString &device)
{
    SettingsStore::write(QStringLiteral("Ports"), QStringLiteral("COM%1").arg(number), device);
}

void useTemporarySettings()
{
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
}

void resetSettings()
{
    SettingsStore::File store;
    store.clear();
    store.sync();
}

QVariant storedSetting(const QString &key)
{
    const SettingsStore::File store;
    return store.value(QStringLiteral("Settings/") + key);
}
