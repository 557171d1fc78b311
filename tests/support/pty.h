// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QTest>
#include <QElapsedTimer>
#include <QString>
#include <QVariant>

#include <termios.h>

// A real pseudo-terminal pair. The utility opens the slave as its serial device; the test
// reads and writes the master, byte for byte. The pair keeps a raw slave descriptor of its
// own, so the master neither echoes nor hangs up while the utility has the slave closed.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    [[nodiscard]] QString slavePath() const { return m_slavePath; }
    [[nodiscard]] int masterFd() const { return m_master; }

    // Bytes from the master as the modem would send them.
    void write(const QByteArray &bytes);
    // Writes `bytes` at once and returns when all of them wait at the slave, unread, so that
    // the utility takes them in with one read: true when they did.
    [[nodiscard]] bool writeWhole(const QByteArray &bytes);
    // Whatever the utility has written so far, without waiting.
    [[nodiscard]] QByteArray readAvailable();
    // Reads, dispatching events meanwhile, until `count` bytes have come or `timeoutMs`
    // has passed; returns what came.
    [[nodiscard]] QByteArray readCount(qsizetype count, int timeoutMs = 2000);
    // Reads until the bytes end with CR LF or `timeoutMs` has passed.
    [[nodiscard]] QByteArray readFrame(int timeoutMs = 2000);
    // Dispatches events for `ms` and returns everything that came meanwhile: for checking
    // that nothing is written.
    [[nodiscard]] QByteArray readFor(int ms);

    // The line speed the utility set on its side (the master reports the slave's termios).
    [[nodiscard]] speed_t lineSpeed() const;
    // The modem goes away: the other end hangs up.
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

// Points the link at `path` to `target` in one step, as udev replaces a /dev/serial/by-id
// link: nobody who looks meanwhile finds it missing or half made. Its folders are made.
bool relink(const QString &path, const QString &target);

// Maps a COM number to a device through the per-user "Ports" override.
void mapComPort(int number, const QString &device);

// Points the settings store at a fresh temporary directory for this process.
void useTemporarySettings();
// Empties that store, so each test starts as on a first run.
void resetSettings();
// What the store holds under "Settings/`key`" now, read afresh; invalid when nothing.
[[nodiscard]] QVariant storedSetting(const QString &key);

#define KORVANET_TEST_MAIN(TestObject)                                   \
  int main(int argc, char **argv)                                        \
  {                                                                      \
    useTemporarySettings();                                              \
    QApplication app(argc, argv);                                        \
    QApplication::setApplicationDisplayName(QStringLiteral("Korvanet")); \
    TestObject test;                                                     \
    QTEST_SET_MAIN_SOURCE_PATH                                           \
    return QTest::qExec(&test, argc, argv);                              \
  }
