// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulatedmodem.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <memory>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int replyTimeoutMs = 3000;
const QByteArray sentinel = "QM%V?";
const QByteArray sentinelReply = "FW 3.1.7\r\n";

// The settings queries, and what they answer on a modem fresh from the factory.
const QByteArrayList settingQueries = {
    "QM&FR?", "QM&FT?", "QM&C?", "QM&W?", "QM%F?", "QM@P?", "QM@S?", "QM@M?", "QM%B?",
};
const QByteArrayList factoryReplies = {
    "430.32500 MHz\r\n", "430.32500 MHz\r\n", "430.00000 MHz\r\n", "12.5 kHz\r\n",   "FEC ON\r\n",
    "1000 mW\r\n",       "MODE 0\r\n",        "REPEATER OFF\r\n",  "9600,8,N,1\r\n",
};

// The utility's end of the line: the pty slave opened and driven as any serial port would be.
// Its speed table is its own, so a wrong entry in the modem's cannot hide behind it.
class Host : public QObject
{
public:
    ~Host() override
    {
        m_notifier.setEnabled(false);
        if (m_fd >= 0)
            ::close(m_fd);
    }

    [[nodiscard]] bool open(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        m_notifier.setSocket(m_fd);
        connect(&m_notifier, &QSocketNotifier::activated, this, &Host::readAvailable);
        m_notifier.setEnabled(true);
        return true;
    }

    [[nodiscard]] bool configure(int baud)
    {
        static const QHash<int, speed_t> speeds = {
            { 1200, B1200 },   { 4800, B4800 },   { 9600, B9600 },
            { 19200, B19200 }, { 38400, B38400 }, { 115200, B115200 },
        };
        Q_ASSERT(speeds.contains(baud));
        termios settings{};
        if (::tcgetattr(m_fd, &settings) != 0)
            return false;
        ::cfmakeraw(&settings);
        return ::cfsetspeed(&settings, speeds.value(baud)) == 0
                && ::tcsetattr(m_fd, TCSANOW, &settings) == 0;
    }

    [[nodiscard]] bool write(QByteArrayView bytes)
    {
        return QTest::qWaitFor(
                [&] {
                    const ssize_t written = ::write(m_fd, bytes.data(), size_t(bytes.size()));
                    if (written > 0)
                        bytes = bytes.sliced(written);
                    return bytes.isEmpty();
                },
                replyTimeoutMs);
    }

    // One write per frame, as the utility sends them; the replies come back with their CR LF.
    [[nodiscard]] QByteArrayList exchange(const QByteArrayList &commands)
    {
        for (const QByteArray &command : commands) {
            if (!write(command + "\r\n"))
                return {};
        }
        return readLines(commands.size());
    }

    // Fewer lines than asked for when the deadline passes, which the caller's compare shows.
    [[nodiscard]] QByteArrayList readLines(qsizetype count)
    {
        (void)QTest::qWaitFor([&] { return m_received.count("\r\n") >= count; }, replyTimeoutMs);
        QByteArrayList lines;
        qsizetype from = 0;
        while (lines.size() < count) {
            const qsizetype end = m_received.indexOf("\r\n", from);
            if (end < 0)
                break;
            lines.append(m_received.sliced(from, end + 2 - from));
            from = end + 2;
        }
        m_received.remove(0, from);
        return lines;
    }

    [[nodiscard]] QByteArray readBytes(qsizetype count)
    {
        (void)QTest::qWaitFor([&] { return m_received.size() >= count; }, replyTimeoutMs);
        const QByteArray bytes = m_received.first(std::min(count, m_received.size()));
        m_received.remove(0, bytes.size());
        return bytes;
    }

private:
    void readAvailable()
    {
        char buffer[4096];
        for (ssize_t count; (count = ::read(m_fd, buffer, sizeof buffer)) > 0;)
            m_received.append(buffer, count);
    }

    int m_fd = -1;
    QSocketNotifier m_notifier{ QSocketNotifier::Read };
    QByteArray m_received;
};

// Rows of commands to send, then a query and the reply it must get.
struct CommandRow
{
    const char *name;
    QByteArrayList commands;
    QByteArray query;
    QByteArray reply;
};

void addCommandRows(std::initializer_list<CommandRow> rows)
{
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("reply");
    for (const CommandRow &row : rows)
        QTest::newRow(row.name) << row.commands << row.query << row.reply;
}

// What a UART hears at the wrong speed: something, and nothing that reads as text.
bool isLineNoise(const QByteArray &bytes)
{
    return !bytes.isEmpty() && std::none_of(bytes.begin(), bytes.end(), [](char byte) {
        return (byte >= 0x20 && byte < 0x7f) || byte == '\r' || byte == '\n';
    });
}

// 0 for anything but a signal level the utility's bar can read.
int levelOf(const QByteArray &reply)
{
    static const QRegularExpression level(QStringLiteral("^(-\\d{2,3}) dBm\\r\\n$"));
    const auto match = level.match(QString::fromLatin1(reply));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

} // namespace

class tst_SimulatedModem : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_modem = std::make_unique<SimulatedModem>();
        QVERIFY(m_modem->setSerialRate(9600));
        QString error;
        QVERIFY2(m_modem->start(&error), qPrintable(error));
        m_host = std::make_unique<Host>();
        QVERIFY(m_host->open(m_modem->slavePath()));
        QVERIFY(m_host->configure(9600));
    }

    void cleanup()
    {
        // The host goes first: with the master closed under it, its fd would only report hang-ups.
        m_host.reset();
        m_modem.reset();
    }

    void everyCommandGetsOneReplyLine_data()
    {
        QTest::addColumn<QByteArray>("command");
        const QByteArrayList commands = {
            // Queries
            "QM%D?",
            "QM%S?",
            "QM%V?",
            "QM&FR?",
            "QM&FT?",
            "QM&C?",
            "QM&W?",
            "QM%F?",
            "QM@F?",
            "QM@R?",
            "QM@P?",
            "QM@S?",
            "QM@M?",
            "QM%B?",
            // Settings
            "QM&FR=430.32500",
            "QM&FT=430.32500",
            "QM&C=430.00000",
            "QM&W=1250",
            "QM&W=2000",
            "QM&W=2500",
            "QM%F=1",
            "QM%F=0",
            "QM@P=1000",
            "QM@S=3",
            "QM@M=O",
            "QM@M=R",
            "QM%B=9600,8,N,1",
            // Actions
            "QM+++",
            "QM++O",
            "QM**>",
            "QM*R>",
        };
        for (const QByteArray &command : commands)
            QTest::newRow(command.constData()) << command;
    }

    void everyCommandGetsOneReplyLine()
    {
        QFETCH(QByteArray, command);

        // The sentinel's reply must come straight after: a second line, or none, shows up there.
        const QByteArrayList replies = m_host->exchange({ command, sentinel });
        QCOMPARE(replies.size(), 2);
        QCOMPARE(replies.at(1), sentinelReply);

        const QByteArray &reply = replies.at(0);
        QCOMPARE(reply.count('\r') + reply.count('\n'), 2);
        if (command.endsWith('?'))
            QVERIFY2(reply != "ERROR\r\n", reply.constData());
        else
            QCOMPARE(reply, "OK\r\n");

        // The utility's signal bar takes the first minus sign in the log as the start of a level.
        if (command == "QM@R?" || command == "QM@F?")
            QVERIFY2(levelOf(reply) < 0, reply.constData());
        else
            QVERIFY2(!reply.contains('-'), reply.constData());
    }

    void settingRoundTrips_data()
    {
        addCommandRows({
                { "receive frequency", { "QM&FR=431.12500" }, "QM&FR?", "431.12500 MHz\r\n" },
                { "receive frequency padded", { "QM&FR=431.1" }, "QM&FR?", "431.10000 MHz\r\n" },
                { "receive frequency whole MHz", { "QM&FR=445" }, "QM&FR?", "445.00000 MHz\r\n" },
                { "transmit frequency", { "QM&FT=440.00625" }, "QM&FT?", "440.00625 MHz\r\n" },
                { "reference frequency", { "QM&C=425.5" }, "QM&C?", "425.50000 MHz\r\n" },
                { "spacing 20 kHz", { "QM&W=2000" }, "QM&W?", "20 kHz\r\n" },
                { "spacing 25 kHz", { "QM&W=2500" }, "QM&W?", "25 kHz\r\n" },
                { "spacing back to 12.5 kHz",
                  { "QM&W=2500", "QM&W=1250" },
                  "QM&W?",
                  "12.5 kHz\r\n" },
                { "FEC off", { "QM%F=0" }, "QM%F?", "FEC OFF\r\n" },
                { "FEC on again", { "QM%F=0", "QM%F=1" }, "QM%F?", "FEC ON\r\n" },
                { "output power", { "QM@P=500" }, "QM@P?", "500 mW\r\n" },
                { "compatibility mode", { "QM@S=5" }, "QM@S?", "MODE 5\r\n" },
                { "repeater on", { "QM@M=R" }, "QM@M?", "REPEATER ON\r\n" },
                { "repeater off again", { "QM@M=R", "QM@M=O" }, "QM@M?", "REPEATER OFF\r\n" },
                { "serial format", { "QM%B=9600,7,E,2" }, "QM%B?", "9600,7,E,2\r\n" },
                { "serial rate alone keeps the format",
                  { "QM%B=9600,8,O,1", "QM%B=9600" },
                  "QM%B?",
                  "9600,8,O,1\r\n" },
        });
    }

    void settingRoundTrips()
    {
        QFETCH(QByteArrayList, commands);
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, reply);

        QCOMPARE(m_host->exchange(commands), QByteArrayList(commands.size(), "OK\r\n"));

        // Reading back every setting also catches a command that writes into the wrong one.
        QByteArrayList expected = factoryReplies;
        expected[settingQueries.indexOf(query)] = reply;
        QCOMPARE(m_host->exchange(settingQueries), expected);
    }

    void malformedFrameGetsError_data()
    {
        QTest::addColumn<QByteArray>("frame");

        QTest::newRow("wrong prefix") << QByteArray("QX&FR?");
        QTest::newRow("prefix alone") << QByteArray("QM");
        QTest::newRow("lower case") << QByteArray("qm&fr?");
        QTest::newRow("unknown code") << QByteArray("QM&ZZ?");
        QTest::newRow("junk after the question mark") << QByteArray("QM&FR?x");
        QTest::newRow("empty value") << QByteArray("QM&FR=");
        QTest::newRow("frequency not a number") << QByteArray("QM&FR=abc");
        QTest::newRow("frequency with a space") << QByteArray("QM&FR= 430.325");
        QTest::newRow("frequency below UHF") << QByteArray("QM&FT=146.52000");
        QTest::newRow("frequency too fine") << QByteArray("QM&C=430.325001");
        QTest::newRow("mode 7") << QByteArray("QM@S=7");
        QTest::newRow("mode 9") << QByteArray("QM@S=9");
        QTest::newRow("spacing not offered") << QByteArray("QM&W=1300");
        QTest::newRow("FEC neither on nor off") << QByteArray("QM%F=2");
        QTest::newRow("repeater in lower case") << QByteArray("QM@M=o");
        QTest::newRow("no power") << QByteArray("QM@P=0");
        QTest::newRow("power beyond 2 W") << QByteArray("QM@P=2500");
        QTest::newRow("negative power") << QByteArray("QM@P=-5");
        QTest::newRow("unsupported rate") << QByteArray("QM%B=14400,8,N,1");
        QTest::newRow("unknown character format") << QByteArray("QM%B=19200,9,X,1");
        QTest::newRow("value for a read-only item") << QByteArray("QM%D=1");
        QTest::newRow("value for an action") << QByteArray("QM**>=1");
        QTest::newRow("garbage bytes") << QByteArray("\x00\xff\x80\x1b\x7fQM", 7);
        QTest::newRow("NUL inside a value") << QByteArray("QM@P=10\x00", 8);
        QTest::newRow("overlong line") << "QM&FR=" + QByteArray(10000, '4');
        QTest::newRow("overlong line hiding a command") << QByteArray(300, ' ') + "QM@P=500";
    }

    void malformedFrameGetsError()
    {
        QFETCH(QByteArray, frame);

        const ModemSettings before = m_modem->current();
        QCOMPARE(m_host->exchange({ frame, sentinel }),
                 (QByteArrayList{ "ERROR\r\n", sentinelReply }));
        QVERIFY(m_modem->current() == before);
        QCOMPARE(m_modem->serialRate(), 9600);
    }

    void framing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("replies");

        const QByteArray type = "UHF MODEM 2W\r\n";
        QTest::newRow("CR LF") << QByteArray("QM%D?\r\n") << type;
        QTest::newRow("bare CR") << QByteArray("QM%D?\r") << type;
        QTest::newRow("bare LF") << QByteArray("QM%D?\n") << type;
        QTest::newRow("LF CR") << QByteArray("QM%D?\n\r") << type;
        QTest::newRow("blank lines") << QByteArray("\r\n\r\n\nQM%D?\r\n\r\n") << type;
        QTest::newRow("two frames in one write")
                << QByteArray("QM%D?\r\nQM%S?\r\n") << type + "SN 10293847\r\n";
        // Larger than one read of the line, so the frame is cut in two on the way in.
        QTest::newRow("frame across reads") << QByteArray(4093, '\n') + "QM%D?\r\n" << type;
    }

    void framing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, replies);

        QVERIFY(m_host->write(bytes));
        QVERIFY(m_host->write(sentinel + "\r\n"));
        QCOMPARE(m_host->readLines(replies.count("\r\n") + 1).join(), replies + sentinelReply);
    }

    void replyWaitsForTheDelay_data()
    {
        QTest::addColumn<int>("delay");
        QTest::newRow("40 ms") << 40;
        QTest::newRow("150 ms") << 150;
    }

    void replyWaitsForTheDelay()
    {
        QFETCH(int, delay);

        m_modem->setReplyDelay(delay);
        QElapsedTimer sinceSent;
        sinceSent.start();
        QCOMPARE(m_host->exchange({ sentinel, sentinel }), QByteArrayList(2, sentinelReply));
        QVERIFY2(sinceSent.elapsed() >= delay, qPrintable(QString::number(sinceSent.elapsed())));
    }

    void lineIsRawBeforeTheHostConfiguresIt()
    {
        // A slave still in cooked mode would echo replies back as commands and turn CR into LF.
        SimulatedModem modem;
        QVERIFY(modem.start());
        Host host;
        QVERIFY(host.open(modem.slavePath()));
        QCOMPARE(host.exchange({ "QM%D?", sentinel }),
                 (QByteArrayList{ "UHF MODEM 2W\r\n", sentinelReply }));
    }

    void mismatchedSpeedGivesOnlyNoise_data()
    {
        QTest::addColumn<int>("hostRate");
        QTest::newRow("slower") << 4800;
        QTest::newRow("faster") << 19200;
        QTest::newRow("much faster") << 115200;
    }

    void mismatchedSpeedGivesOnlyNoise()
    {
        QFETCH(int, hostRate);

        QSignalSpy frames(m_modem.get(), &SimulatedModem::frameReceived);
        QVERIFY(m_host->configure(hostRate));
        const QByteArray frame = "QM@P=500\r\n";
        const QByteArray noise = replyToMismatchedFrame(frame);
        QVERIFY2(isLineNoise(noise), noise.toHex(' ').constData());
        QVERIFY(noise.size() <= frame.size());
        QCOMPARE(frames.count(), 0);
        QCOMPARE(m_modem->current().outputPower, 1000);

        QVERIFY(m_host->configure(9600));
        QCOMPARE(m_host->exchange({ "QM@P=500", "QM@P?" }),
                 (QByteArrayList{ "OK\r\n", "500 mW\r\n" }));
    }

    void rateChangeIsAnsweredAtTheOldRate_data()
    {
        QTest::addColumn<int>("newRate");
        QTest::newRow("1200") << 1200;
        QTest::newRow("19200") << 19200;
        QTest::newRow("115200") << 115200;
    }

    void rateChangeIsAnsweredAtTheOldRate()
    {
        QFETCH(int, newRate);

        QSignalSpy rateChanges(m_modem.get(), &SimulatedModem::serialRateChanged);
        int rateWhenAnswered = 0;
        QObject probe;
        connect(m_modem.get(), &SimulatedModem::replySent, &probe,
                [&] { rateWhenAnswered = m_modem->serialRate(); });

        const QByteArray rate = QByteArray::number(newRate);
        QCOMPARE(m_host->exchange({ "QM%B=" + rate + ",8,N,1" }), QByteArrayList{ "OK\r\n" });
        QCOMPARE(rateWhenAnswered, 9600);
        QCOMPARE(m_modem->serialRate(), newRate);
        QCOMPARE(rateChanges.count(), 1);
        QCOMPARE(rateChanges.first().first().toInt(), newRate);

        const QByteArray noise = replyToMismatchedFrame(sentinel + "\r\n");
        QVERIFY2(isLineNoise(noise), noise.toHex(' ').constData());

        QVERIFY(m_host->configure(newRate));
        QCOMPARE(m_host->exchange({ "QM%B?" }), QByteArrayList{ rate + ",8,N,1\r\n" });
    }

    void powerCycleKeepsOnlySavedSettings_data()
    {
        addCommandRows({
                { "saved, then changed",
                  { "QM@P=500", "QM**>", "QM@P=100" },
                  "QM@P?",
                  "500 mW\r\n" },
                { "never saved", { "QM&W=2500" }, "QM&W?", "12.5 kHz\r\n" },
                { "saved, then factory reset",
                  { "QM@S=4", "QM**>", "QM*R>" },
                  "QM@S?",
                  "MODE 0\r\n" },
                { "changed after factory reset",
                  { "QM*R>", "QM@M=R" },
                  "QM@M?",
                  "REPEATER OFF\r\n" },
        });
    }

    void powerCycleKeepsOnlySavedSettings()
    {
        QFETCH(QByteArrayList, commands);
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, reply);

        QSignalSpy saves(m_modem.get(), &SimulatedModem::settingsSaved);
        QSignalSpy resets(m_modem.get(), &SimulatedModem::factoryReset);
        QCOMPARE(m_host->exchange(commands), QByteArrayList(commands.size(), "OK\r\n"));
        QCOMPARE(saves.count(), commands.count("QM**>"));
        QCOMPARE(resets.count(), commands.count("QM*R>"));

        m_modem->powerCycle();
        QCOMPARE(m_host->exchange({ query }), QByteArrayList{ reply });
    }

    void transmissionSwitchIsNotPersisted()
    {
        QCOMPARE(m_host->exchange({ "QM+++" }), QByteArrayList{ "OK\r\n" });
        QVERIFY(!m_modem->current().transmissionEnabled);
        QCOMPARE(m_host->exchange({ "QM++O" }), QByteArrayList{ "OK\r\n" });
        QVERIFY(m_modem->current().transmissionEnabled);

        QCOMPARE(m_host->exchange({ "QM+++", "QM**>" }), QByteArrayList(2, "OK\r\n"));
        m_modem->powerCycle();
        QVERIFY(m_modem->current().transmissionEnabled);
    }

    void factoryResetMovesTheLineAtPowerCycle()
    {
        QCOMPARE(m_host->exchange({ "QM%B=19200,8,N,1" }), QByteArrayList{ "OK\r\n" });
        QVERIFY(m_host->configure(19200));
        QCOMPARE(m_host->exchange({ "QM@P=500", "QM&W=2500", "QM**>", "QM*R>" }),
                 QByteArrayList(4, "OK\r\n"));

        // Factory values at once, but the UART stays at 19200 until the modem restarts.
        QCOMPARE(m_host->exchange(settingQueries), factoryReplies);
        QVERIFY(m_modem->saved() == ModemSettings());

        m_modem->powerCycle();
        QCOMPARE(m_modem->serialRate(), 9600);
        QVERIFY(m_host->configure(9600));
        QCOMPARE(m_host->exchange(settingQueries), factoryReplies);
    }

    void signalLevelsDriftPlausibly()
    {
        QByteArrayList queries;
        for (int i = 0; i < 100; ++i)
            queries << "QM@R?"
                    << "QM@F?";
        const QByteArrayList replies = m_host->exchange(queries);
        QCOMPARE(replies.size(), queries.size());

        QSet<int> levelsSeen;
        int previous = 0;
        for (qsizetype i = 0; i < replies.size(); i += 2) {
            const int rssi = levelOf(replies.at(i));
            const int noise = levelOf(replies.at(i + 1));
            QVERIFY2(rssi >= -115 && rssi <= -65, replies.at(i).constData());
            QVERIFY2(noise >= -125 && noise <= -110, replies.at(i + 1).constData());
            QVERIFY(noise < rssi);
            // A fading link moves a few dB at a time; jumps across the range would look like noise.
            QVERIFY(previous == 0 || std::abs(rssi - previous) <= 6);
            previous = rssi;
            levelsSeen.insert(rssi);
        }
        QVERIFY(levelsSeen.size() > 1);
    }

    void pinnedSignalLevel_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("strong") << -65;
        QTest::newRow("middling") << -92;
        QTest::newRow("below the usual noise") << -121;
    }

    void pinnedSignalLevel()
    {
        QFETCH(int, level);

        m_modem->setSignalLevel(level);
        const QByteArray pinned = QByteArray::number(level) + " dBm\r\n";
        const QByteArrayList replies = m_host->exchange({ "QM@R?", "QM@F?", "QM@R?" });
        QCOMPARE(replies.size(), 3);
        QCOMPARE(replies.at(0), pinned);
        QCOMPARE(replies.at(2), pinned);
        QVERIFY2(levelOf(replies.at(1)) < level, replies.at(1).constData());
    }

private:
    [[nodiscard]] QByteArray replyToMismatchedFrame(const QByteArray &frame)
    {
        QSignalSpy replies(m_modem.get(), &SimulatedModem::replySent);
        if (!m_host->write(frame) || !replies.wait(replyTimeoutMs))
            return {};
        return m_host->readBytes(replies.first().first().toByteArray().size());
    }

    std::unique_ptr<SimulatedModem> m_modem;
    std::unique_ptr<Host> m_host;
};

QTEST_GUILESS_MAIN(tst_SimulatedModem)
#include "tst_simulatedmodem.moc"
