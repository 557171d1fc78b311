// SPDX-License-Identifier: GPL-3.0-or-later
// korvanet read and korvanet send as a user runs them: the real binary as a process without
// a display, the simulated modem in this process on a real pseudo-terminal mapped to COM 3
// through the settings store's "Ports" section. Checked from both ends: what the modem
// received and answered, and what the process printed, returned and wrote to its transcript.

#include "platform/escaping.h"
#include "sim/simulatedmodem.h"
#include "tests/support/framestamps.h"
#include "tests/support/pty.h"
#include "tests/support/ser2net.h"
#include "tests/support/transcriptfile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>
#include <functional>

#include <sys/stat.h>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// The binary with no display at all; this process's event loop runs meanwhile, so the modem
// simulated here answers. `prepare` sees the process before it starts (to signal it, say).
Run korvanet(const QStringList &arguments, const QString &workingDirectory = {},
             const std::function<void(QProcess &)> &prepare = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDirectory);
    QSignalSpy finished(&process, &QProcess::finished);
    if (prepare)
        prepare(process);
    process.start(QStringLiteral(KORVANET_BINARY), arguments);
    if (!finished.wait(30000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
             process.readAllStandardOutput(), process.readAllStandardError() };
}

// What every run starts with: COM 3 is a modem simulated in this process.
struct ModemOnCom3
{
    ModemOnCom3()
    {
        resetSettings();
        if (!modem.start())
            qFatal("the simulated modem did not start");
        mapComPort(3, modem.slavePath());
        QObject::connect(&modem, &SimulatedModem::frameReceived, &modem,
                         [this](const QByteArray &text) { frames.append(text); });
        QObject::connect(&modem, &SimulatedModem::replySent, &modem,
                         [this](const QByteArray &bytes) { replies.append(bytes.chopped(2)); });
    }

    SimulatedModem modem;
    QByteArrayList frames;
    QByteArrayList replies;
    QTemporaryDir dir;
    const QString transcript = dir.filePath(QStringLiteral("session.transcript"));
};

// In the order of the window's panels, as `read` asks.
const QByteArrayList ReadQueries{ "QM%D?", "QM%S?", "QM%V?", "QM&FR?", "QM&FT?", "QM&C?", "QM&W?",
                                  "QM%F?", "QM@M?", "QM%B?", "QM@P?",  "QM@S?",  "QM@F?", "QM@R?" };
const QByteArrayList ReadCaptions{ "Get modem type",    "Get serial number", "Get fw revision",
                                   "Get Rx freq",       "Get Tx freq",       "Get Ref freq",
                                   "Get CH spacing",    "Get FEC status",    "Get repeater mode",
                                   "Get serial params", "Get output power",  "Get compatib. mode",
                                   "Get noise level",   "Get RSSI level" };

// The README's section "Configuring many modems": its command file and its shell steps.
QByteArray readmeBlock(const char *fence)
{
    QFile readme(QStringLiteral(KORVANET_README));
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = readme.readAll();
    const qsizetype section = text.indexOf("\n## Configuring many modems\n");
    const qsizetype start = text.indexOf(QByteArray("```") + fence + '\n', section);
    if (section < 0 || start < 0)
        return {};
    const qsizetype body = text.indexOf('\n', start) + 1;
    return text.mid(body, text.indexOf("```\n", body) - body);
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

QByteArrayList sentFrames(const TranscriptFile &transcript)
{
    QByteArrayList sent;
    for (const TranscriptFile::Event &event : transcript.events) {
        if (event.name == "sent")
            sent.append(event.text);
    }
    return sent;
}

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("lines") << false;
        QTest::newRow("json") << true;
    }

    void read()
    {
        QFETCH(bool, json);
        ModemOnCom3 m;
        m.modem.setSignalLevel(-87);
        QStringList arguments{ "read", "--port", "3", "--transcript", m.transcript };
        if (json)
            arguments << "--json";
        const Run run = korvanet(arguments);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(run.err, QByteArray());

        // Every query once, in order, and nothing else: the modem's view and the line's.
        QCOMPARE(m.frames, ReadQueries);
        const TranscriptFile transcript(m.transcript);
        QByteArrayList frames;
        for (const QByteArray &query : ReadQueries)
            frames.append(query + "\\r\\n");
        QCOMPARE(sentFrames(transcript), frames);

        QCOMPARE(m.replies.size(), ReadQueries.size());
        QCOMPARE(m.replies.first(), QByteArray("UHF MODEM 2W"));
        QCOMPARE(m.replies.at(3), QByteArray("430.32500 MHz"));
        QCOMPARE(m.replies.at(9), QByteArray("19200,8,N,1"));
        QCOMPARE(m.replies.last(), QByteArray("-87 dBm"));
        if (!json) {
            QByteArray expected;
            for (qsizetype i = 0; i < ReadCaptions.size(); ++i)
                expected += ReadCaptions[i] + '\t' + m.replies[i] + '\n';
            QCOMPARE(run.out, expected);
            return;
        }
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(run.out, &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        QVERIFY(document.isObject());
        QCOMPARE(document.object().size(), ReadCaptions.size());
        qsizetype previous = -1;
        for (qsizetype i = 0; i < ReadCaptions.size(); ++i) {
            const QString caption = QString::fromLatin1(ReadCaptions[i]);
            QCOMPARE(document.object().value(caption).toString().toLatin1(), m.replies[i]);
            const qsizetype at = run.out.indexOf('"' + ReadCaptions[i] + '"');
            QVERIFY2(at > previous, "the members are not in the order of the questions");
            previous = at;
        }
    }

    // A modem (here the test itself, on the master) that answers with control bytes, a
    // backslash and a byte outside ASCII: none of it reaches the terminal raw or breaks a line.
    void readEscapesWhatTheModemSends()
    {
        resetSettings();
        PtyPair pty;
        mapComPort(3, pty.slavePath());
        const QByteArray reply("\x1b[2J\\\xe9\x01 ok");
        FrameStamps stamps(pty);
        stamps.setOnFrame(
                [&pty, &reply](const FrameStamps::Frame &) { pty.write(reply + "\r\n"); });
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t"));

        const Run run = korvanet({ "read", "--port", "3", "--transcript", path });
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const QByteArray escaped("\\x1b[2J\\\\\\xe9\\x01 ok");
        QVERIFY2(run.out.startsWith("Get modem type\t" + escaped + "\nGet serial number\t"),
                 run.out.constData());
        QCOMPARE(TranscriptFile(path).exchange().at(2), "received " + escaped + "\\r\\n");

        const Run json = korvanet({ "read", "--port", "3", "--json" });
        QVERIFY2(json.exitCode == 0, json.err.constData());
        QVERIFY2(json.out.contains("\"Get modem type\": \"\\u001b[2J\\\\\\u00e9\\u0001 ok\""),
                 json.out.constData());
        QCOMPARE(QJsonDocument::fromJson(json.out).object().value("Get fw revision").toString(),
                 QString::fromLatin1(reply));
    }

    // The README's example file, as written: the frames in order with the window's pause
    // after the save, the replies beside them, and the modem set and saved afterwards.
    void sendReadmeExample()
    {
        ModemOnCom3 m;
        const QByteArray example = readmeBlock("text");
        QVERIFY(example.contains("QM**>"));
        const QString file = m.dir.filePath(QStringLiteral("fleet.txt"));
        QVERIFY(writeFile(file, example));

        const Run run = korvanet(
                { "send", "--port", "3", "--yes", "--file", file, "--transcript", m.transcript });
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const QByteArrayList commands{ "QM+++",    "QM&FR=433.05000", "QM&FT=433.05000",
                                       "QM@P=500", "QM**>",           "QM++O" };
        QCOMPARE(m.frames, commands);
        QCOMPARE(run.out, commands.join("\tOK\n") + "\tOK\n");

        const TranscriptFile transcript(m.transcript);
        QVERIFY(transcript.wellFormed);
        QCOMPARE(transcript.header.value("front end"), QByteArray("send"));
        QByteArrayList exchange{ "open COM3 " + m.modem.slavePath().toLatin1() + " 19200,N,8,1" };
        for (const QByteArray &command : commands)
            exchange << "sent " + command + "\\r\\n"
                     << "received OK\\r\\n";
        QCOMPARE(transcript.exchange(), exchange << "close");
        const qint64 saved = transcript.timeOf("sent", "QM**>\\r\\n");
        const qint64 enabled = transcript.timeOf("sent", "QM++O\\r\\n");
        // The window's wait counts whole milliseconds and may end within the last of them.
        QVERIFY2(enabled - saved >= 199, qPrintable(QString::number(enabled - saved)));

        QCOMPARE(m.modem.current().receiveFrequency, QStringLiteral("433.05000"));
        QCOMPARE(m.modem.current().transmitFrequency, QStringLiteral("433.05000"));
        QCOMPARE(m.modem.current().outputPower, 500);
        QVERIFY(m.modem.current().transmissionEnabled);
        QVERIFY(m.modem.saved() == m.modem.current());
    }

    // The README's shell steps run as written, on the simulator's own binary.
    void readmeStepsWorkAsWritten()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("fleet.txt")), readmeBlock("text")));
        const QByteArray steps = readmeBlock("sh");
        QVERIFY(steps.contains("korvanet send"));
        QProcess shell;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"),
                   QFileInfo(QStringLiteral(KORVANET_BINARY)).path() + u':'
                           + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("TMPDIR"), dir.path());
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        shell.setProcessEnvironment(env);
        shell.setWorkingDirectory(dir.path());
        shell.start(QStringLiteral("sh"),
                    { QStringLiteral("-eu"), QStringLiteral("-c"), QString::fromUtf8(steps) });
        QVERIFY(shell.waitForFinished(30000));
        const QByteArray out = shell.readAllStandardOutput();
        QVERIFY2(shell.exitCode() == 0, shell.readAllStandardError().constData());
        QVERIFY2(out.startsWith("QM+++\tOK\nQM&FR=433.05000\tOK\n"), out.constData());
        QVERIFY2(out.contains("\nGet Rx freq\t433.05000 MHz\n"), out.constData());
        QVERIFY2(out.contains("\nGet output power\t500 mW\n"), out.constData());
        // Both runs appended to the one record, each with its header.
        QFile log(dir.filePath(QStringLiteral("fleet.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("# Korvanet session transcript\n"), 2);
    }

    void sendSerialParams_data()
    {
        QTest::addColumn<QString>("params");
        QTest::addColumn<QByteArray>("reopenedAt");
        QTest::addColumn<QByteArray>("reply"); // to the query that follows, at the new rate
        QTest::addColumn<int>("exitCode");
        QTest::newRow("one of the six")
                << "9600,8,N,1" << QByteArray("9600,N,8,1") << QByteArray("9600,8,N,1") << 0;
        QTest::newRow("the rate alone")
                << "38400" << QByteArray("38400,N,8,1") << QByteArray("38400,8,N,1") << 0;
        // As when the rate is typed into the window's list: the port stays at its rate, and
        // the modem, which moved, can no longer be understood.
        QTest::newRow("none of the six")
                << "57600,8,N,1" << QByteArray("19200,N,8,1") << QByteArray() << 3;
    }

    void sendSerialParams()
    {
        QFETCH(QString, params);
        QFETCH(QByteArray, reopenedAt);
        QFETCH(QByteArray, reply);
        QFETCH(int, exitCode);
        ModemOnCom3 m;

        const QString set = QStringLiteral("QM%B=") + params;
        const Run run = korvanet({ "send", "--port", "3", "--timeout", "300", "--transcript",
                                   m.transcript, set, "QM%B?" });
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.out, set.toLatin1() + "\tOK\nQM%B?\t" + reply + '\n');

        const TranscriptFile transcript(m.transcript);
        const QByteArrayList exchange = transcript.exchange();
        const QByteArray device = m.modem.slavePath().toLatin1();
        QCOMPARE(exchange.mid(0, 5),
                 QByteArrayList({ "open COM3 " + device + " 19200,N,8,1",
                                  "sent " + set.toLatin1() + "\\r\\n", "received OK\\r\\n", "close",
                                  "open COM3 " + device + ' ' + reopenedAt }));
        QCOMPARE(exchange.at(5), QByteArray("sent QM%B?\\r\\n"));
        // 200 ms after the frame the port closes, and 200 ms after that it opens again.
        const qint64 sent = transcript.timeOf("sent", set.toLatin1() + "\\r\\n");
        const qint64 closed = transcript.timeOf("close", "");
        const qint64 opened = transcript.timeOf("open", "COM3 " + device + ' ' + reopenedAt, 2);
        QVERIFY2(closed - sent >= 199, qPrintable(QString::number(closed - sent)));
        QVERIFY2(opened - closed >= 199, qPrintable(QString::number(opened - closed)));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: the commands go on the command line
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QByteArray>("stderr");

        QTest::newRow("unknown text")
                << QByteArray("# set up\nQM+++\n\nQM&FX=433.05000\nQM++O\n") << QStringList()
                << QByteArray(
                           "korvanet: cmds:4: \"QM&FX=433.05000\" is not a command of the modem\n");
        QTest::newRow("save without --yes")
                << QByteArray("QM&FR=433.05000\r\nQM**>   # keep it\r\n") << QStringList()
                << QByteArray("korvanet: cmds:2: QM**> saves the modem's settings for good; the "
                              "window asks first, so it goes out only with --yes\n");
        QTest::newRow("factory defaults without --yes")
                << QByteArray() << QStringList{ "QM%D?", "QM*R>" }
                << QByteArray("korvanet: command 2: QM*R> restores the modem's factory defaults; "
                              "the window asks first, so it goes out only with --yes\n");
        QTest::newRow("a setting without its value")
                << QByteArray() << QStringList{ "QM&FR=" }
                << QByteArray("korvanet: command 1: \"QM&FR=\" needs a value after the \"=\"\n");
        // A CR inside a value would end the frame early and put a second command, unchecked,
        // on the line.
        QTest::newRow("a second command hidden in a value")
                << QByteArray("QM@P=1\rQM*R>\n") << QStringList()
                << QByteArray("korvanet: cmds:1: \"QM@P=1\\rQM*R>\" holds a character outside "
                              "printable ASCII\n");
        QTest::newRow("a unit after a value")
                << QByteArray("QM@P=500 mW\n") << QStringList()
                << QByteArray("korvanet: cmds:1: \"QM@P=500 mW\": the value after QM@P= must be "
                              "a whole number\n");
        QTest::newRow("a second command after a semicolon")
                << QByteArray("QM&FR=433.000;QM**>\n") << QStringList()
                << QByteArray("korvanet: cmds:1: \"QM&FR=433.000;QM**>\": the value after QM&FR= "
                              "must be a decimal number such as 430.32500\n");
        QTest::newRow("a hash inside a value is no comment")
                << QByteArray("QM%B=9600#,8,N,1\n") << QStringList()
                << QByteArray("korvanet: cmds:1: \"QM%B=9600#,8,N,1\": the value after QM%B= "
                              "must be a rate, alone or with its format, such as 9600,8,N,1\n");
        QTest::newRow("a line longer than a modem takes")
                << QByteArray("QM&FR=" + QByteArray(251, '1') + "\n") << QStringList()
                << QByteArray("korvanet: cmds:1: the line is longer than 256 bytes\n");
        QTest::newRow("a FIFO") << QByteArray("<fifo>") << QStringList()
                                << QByteArray("korvanet: cmds is not a regular file; give a file, "
                                              "or - for standard input\n");
        QTest::newRow("a device without end")
                << QByteArray("<zero>") << QStringList()
                << QByteArray("korvanet: /dev/zero is not a regular file; give a file, or - for "
                              "standard input\n");
        QTest::newRow("more than a command file holds")
                << QByteArray("<big>") << QStringList()
                << QByteArray("korvanet: cmds holds 1048578 bytes; a command file holds at most "
                              "1048576\n");
        QTest::newRow("lower case")
                << QByteArray() << QStringList{ "qm%d?", "QM%D?" }
                << QByteArray("korvanet: command 1: \"qm%d?\" is not a command of the modem\n");
    }

    // Refused before the port is opened: not one byte reaches the line, whatever else the
    // run held.
    void refused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, commands);
        QFETCH(QByteArray, stderr);
        resetSettings();
        PtyPair pty;
        mapComPort(3, pty.slavePath());
        QTemporaryDir dir;
        QStringList arguments{ "send", "--port", "3", "--transcript", dir.filePath("t") };
        const QString cmds = dir.filePath(QStringLiteral("cmds"));
        if (file == "<fifo>")
            QCOMPARE(::mkfifo(QFile::encodeName(cmds).constData(), 0600), 0);
        else if (file == "<big>")
            QVERIFY(writeFile(cmds, QByteArray(1024 * 1024 / 6 * 6, ' ').append("QM%D?\n")));
        else if (!file.isEmpty() && file != "<zero>")
            QVERIFY(writeFile(cmds, file));
        if (!file.isEmpty())
            arguments << "--file" << (file == "<zero>" ? "/dev/zero" : "cmds");
        const Run run = korvanet(arguments + commands, dir.path());
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.err, stderr + "korvanet: nothing was sent\n");
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(pty.readFor(100), QByteArray());
        QVERIFY(!QFile::exists(dir.filePath("t")));
    }

    void timeouts_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArrayList>("commands");
        QTest::addColumn<int>("timeoutMs");
        QTest::newRow("read") << QStringList{ "read", "--timeout", "120" } << ReadQueries << 120;
        QTest::newRow("send") << QStringList{ "send",  "--timeout", "250",  "--keep-going",
                                              "QM+++", "QM@P=500",  "QM++O" }
                              << QByteArrayList{ "QM+++", "QM@P=500", "QM++O" } << 250;
    }

    // A modem that takes everything in and answers nothing: each command waits its time-out,
    // neither less nor much more, then the next goes out, and the run ends with status 3.
    void timeouts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArrayList, commands);
        QFETCH(int, timeoutMs);
        ModemOnCom3 m;
        m.modem.setSilent(true);

        const Run run = korvanet(arguments << "--port"
                                           << "3"
                                           << "--transcript" << m.transcript);
        QCOMPARE(run.exitCode, 3);
        QCOMPARE(m.frames, commands);
        QByteArray err;
        for (const QByteArray &command : commands)
            err += "korvanet: no reply to " + command + " within " + QByteArray::number(timeoutMs)
                    + " ms\n";
        if (arguments.contains("--keep-going"))
            err += "korvanet: 0 of 3 answered; sent without a reply: QM+++, QM@P=500, QM++O; the "
                   "modem is left with changes unsaved\n";
        QCOMPARE(run.err, err);

        const TranscriptFile transcript(m.transcript);
        for (qsizetype i = 0; i < commands.size(); ++i) {
            const qint64 sent = transcript.timeOf("sent", commands[i] + "\\r\\n");
            const qint64 given = transcript.timeOf("timeout", commands[i]);
            QVERIFY2(sent > 0 && given > 0, commands[i].constData());
            const qint64 waited = given - sent;
            QVERIFY2(waited >= timeoutMs - 1 && waited <= timeoutMs + 50,
                     qPrintable(QStringLiteral("%1: %2 ms").arg(commands[i]).arg(waited)));
        }
    }

    void misbehavingModem_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("dripMs");
        QTest::addColumn<int>("floodMs");
        QTest::newRow("replies after their time-out") << 200 << 0 << 0;
        QTest::newRow("a byte at a time") << 5 << 25 << 0;
        QTest::newRow("lines nobody asked for") << 5 << 0 << 15;
    }

    // Each reply belongs to its question however late it comes: an answer on stdout is the
    // modem's reply to that question or none, what came late or unasked is said, and the
    // status is never 0.
    void misbehavingModem()
    {
        QFETCH(int, delayMs);
        QFETCH(int, dripMs);
        QFETCH(int, floodMs);
        ModemOnCom3 m;
        m.modem.setReplyDelay(delayMs);
        m.modem.setDrip(dripMs);
        m.modem.setFlood(floodMs);
        const Run run = korvanet(
                { "read", "--port", "3", "--timeout", "150", "--transcript", m.transcript });
        QCOMPARE(run.exitCode, 3);
        if (floodMs > 0) {
            QVERIFY2(run.err.contains("korvanet: a line no command asked for: "),
                     run.err.constData());
            return;
        }
        const QByteArrayList lines = run.out.split('\n');
        for (qsizetype i = 0; i < ReadCaptions.size(); ++i)
            QCOMPARE(lines.value(i), ReadCaptions[i] + '\t');
        for (qsizetype i = 0; i < 3; ++i) {
            const QByteArray late =
                    "the reply to " + m.frames[i] + " came late: \"" + m.replies[i] + '"';
            QVERIFY2(run.err.contains(late), run.err.constData());
        }
        QVERIFY(TranscriptFile(m.transcript).timeOf("late", m.frames[0] + ' ' + m.replies[0]) > 0);
    }

    void signalEndsTheRun_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QByteArray>("words");
        const QByteArray unanswered("0 of 3 answered; sent without a reply: QM+++; never sent: "
                                    "QM@P=500, QM++O; the modem is left with transmission off");
        QTest::newRow("SIGINT") << SIGINT << "SIGINT: " + unanswered;
        QTest::newRow("SIGTERM") << SIGTERM << "SIGTERM: " + unanswered;
        QTest::newRow("SIGHUP") << SIGHUP << "SIGHUP: " + unanswered;
        QTest::newRow("standard output closed")
                << SIGPIPE
                << QByteArray("SIGPIPE (standard output closed): 2 of 3 answered; never sent: "
                              "QM++O; the modem is left with transmission off and changes "
                              "unsaved");
    }

    // A signal, or a reader that has gone, ends the run at once: 128 + the signal's number, how
    // far it got on stderr, not one frame more, and no lock left behind.
    void signalEndsTheRun()
    {
        QFETCH(int, signalNumber);
        QFETCH(QByteArray, words);
        ModemOnCom3 m;
        const bool pipe = signalNumber == SIGPIPE;
        m.modem.setSilent(!pipe);
        m.modem.setReplyDelay(100);
        QProcess head; // `korvanet send ... | head -n1`
        const auto interrupt = [&](QProcess &process) {
            if (pipe) {
                process.setStandardOutputProcess(&head);
                QObject::connect(&process, &QProcess::started, &head,
                                 [&head] { head.start(QStringLiteral("head"), { "-n1" }); });
                return;
            }
            QObject::connect(
                    &m.modem, &SimulatedModem::frameReceived, &process,
                    [&process, signalNumber] { ::kill(pid_t(process.processId()), signalNumber); },
                    Qt::SingleShotConnection);
        };
        QElapsedTimer clock;
        clock.start();
        const Run run = korvanet(
                { "send", "--port", "3", "--timeout", "5000", "QM+++", "QM@P=500", "QM++O" }, {},
                interrupt);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(run.exitCode, 128 + signalNumber);
        QCOMPARE(run.err, "korvanet: interrupted by " + words + '\n');
        QTest::qWait(200);
        QCOMPARE(m.frames.size(), pipe ? 2 : 1);
        const QString lock =
                QStringLiteral("/run/lock/LCK..") + m.modem.slavePath().mid(5).replace(u'/', u'_');
        QVERIFY2(!QFile::exists(lock), qPrintable(lock));
    }

    void portFailures_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("held"); // "": missing device; else who holds the port
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("read, missing device") << "read"
                                              << "" << QByteArray("Invalid port number.");
        QTest::newRow("send, missing device") << "send"
                                              << "" << QByteArray("Invalid port number.");
        QTest::newRow("read, held by another program")
                << "read" << KORVANET_HOLDPORT << QByteArray("Port already open.");
        QTest::newRow("send, held by another program")
                << "send" << KORVANET_HOLDPORT << QByteArray("Port already open.");
    }

    // The window's message texts on stderr, the detail beneath, exit status 1, nothing sent.
    void portFailures()
    {
        QFETCH(QString, mode);
        QFETCH(QString, held);
        QFETCH(QByteArray, message);
        resetSettings();
        PtyPair pty;
        QProcess holder;
        if (held.isEmpty()) {
            mapComPort(3, QStringLiteral("/dev/korvanet-no-such-device"));
        } else {
            mapComPort(3, pty.slavePath());
            holder.start(held, { pty.slavePath() });
            QVERIFY2(holder.waitForReadyRead(5000), holder.readAllStandardError().constData());
            QCOMPARE(holder.readLine(), QByteArray("open\n"));
        }
        QStringList arguments{ mode, "--port", "3" };
        if (mode == u"send")
            arguments << "QM%D?";
        const Run run = korvanet(arguments);
        holder.closeWriteChannel();
        QVERIFY(held.isEmpty() || holder.waitForFinished(5000));

        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QByteArray());
        const QByteArrayList lines = run.err.split('\n');
        QCOMPARE(lines.size(), 3); // message, detail, and the end of the last line
        QCOMPARE(lines[0], "korvanet: " + message);
        const QByteArray device = held.isEmpty() ? QByteArray("/dev/korvanet-no-such-device")
                                                 : pty.slavePath().toLatin1();
        QVERIFY2(lines[1].startsWith("korvanet: ") && lines[1].contains(device),
                 lines[1].constData());
        QCOMPARE(pty.readAvailable(), QByteArray());
    }

    void modemMisbehaves_data()
    {
        QTest::addColumn<QByteArrayList>("answers"); // one per frame; "hang up": the device goes
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("firstErrorLine");
        QTest::newRow("a stray line is no reply to the next command")
                << QByteArrayList{ "A\r\nSTRAY\r\n", "\r\nB\r\n" } << 3
                << QByteArray("QM%D?\tA\nQM%S?\tB\n")
                << QByteArray("korvanet: a line no command asked for: \"STRAY\"");
        QTest::newRow("a reply that says ERROR stops the run")
                << QByteArrayList{ "ERROR 7\r\n", "B\r\n" } << 3 << QByteArray("QM%D?\tERROR 7\n")
                << QByteArray("korvanet: stopped at QM%D?: 1 of 2 answered; never sent: QM%S?");
        QTest::newRow("the device goes away")
                << QByteArrayList{ "A\r\n", "hang up" } << 1 << QByteArray("QM%D?\tA\n")
                << QByteArray("korvanet: Unknown error.");
    }

    // The test itself is the modem, on the master.
    void modemMisbehaves()
    {
        QFETCH(QByteArrayList, answers);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, firstErrorLine);
        resetSettings();
        PtyPair pty;
        mapComPort(3, pty.slavePath());
        FrameStamps stamps(pty);
        qsizetype frames = 0;
        stamps.setOnFrame([&](const FrameStamps::Frame &) {
            const QByteArray answer = answers.value(frames++);
            if (answer == "hang up")
                pty.hangUp();
            else
                pty.write(answer);
        });
        const Run run = korvanet({ "send", "--port", "3", "--timeout", "500", "QM%D?", "QM%S?" });
        QVERIFY2(run.exitCode == exitCode, run.err.constData());
        QCOMPARE(run.out, out);
        QCOMPARE(run.err.split('\n').constFirst(), firstErrorLine);
    }

    void transcriptCannotBeWritten_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("disk full") << "/dev/full" << QByteArray("No space left on device");
        // Opened without blocking: a FIFO that nobody reads must not hold the session up.
        QTest::newRow("FIFO without a reader") << "fifo" << QByteArray("No such device or address");
        QTest::newRow("a folder") << "folder" << QByteArray("Is a directory");
    }

    // Said once on stderr; the session itself goes on to its end untouched.
    void transcriptCannotBeWritten()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, reason);
        ModemOnCom3 m;
        QString path = kind;
        if (kind == u"fifo") {
            path = m.dir.filePath(QStringLiteral("fifo"));
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else if (kind == u"folder") {
            path = m.dir.path();
        }
        const Run run = korvanet({ "read", "--port", "3", "--transcript", path });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.count('\n'), ReadCaptions.size());
        QCOMPARE(run.err,
                 "korvanet: transcript " + QFile::encodeName(path) + ": " + reason
                         + "; the session goes on without it.\n");
        QCOMPARE(m.frames, ReadQueries);
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("no port") << QStringList{ "read" } << QByteArray("--port N is needed");
        QTest::newRow("a rate the window does not offer")
                << QStringList{ "read", "--port", "3", "--baud", "57600" }
                << QByteArray("--baud wants one of 1200, 2400, 4800, 9600, 19200, 38400");
        QTest::newRow("no time-out")
                << QStringList{ "send", "--port", "3", "--timeout", "0", "QM%D?" }
                << QByteArray("--timeout wants a number of milliseconds above 0");
        QTest::newRow("nothing to send") << QStringList{ "send", "--port", "3" }
                                         << QByteArray("give either command texts or --file FILE");
        QTest::newRow("both") << QStringList{ "send", "--port", "3", "--file", "f", "QM%D?" }
                              << QByteArray("give either command texts or --file FILE");
        QTest::newRow("no --yes for read") << QStringList{ "read", "--port", "3", "--yes" }
                                           << QByteArray("Unknown option 'yes'.");
    }

    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, error);
        const QString mode = arguments.constFirst();
        const Run run = korvanet(arguments);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.err,
                 "korvanet " + mode.toLatin1() + ": " + error + "\nTry 'korvanet " + mode.toLatin1()
                         + " --help' for the options.\n");
    }

    // ---- Over the network ----------------------------------------------------------------
    // COM 30 leads to a device server's address: Debian's ser2net on loopback in front of
    // the simulated modem's pseudo-terminal, as a modem at a remote site is reached. A run
    // is checked as the ones above are (the modem's own record, stdout, the transcript byte
    // for byte); a fault by its exit status, the window's message and its detail on stderr,
    // and how long it took.
    void overTheNetwork_data()
    {
        QTest::addColumn<int>("server"); // what COM 30 leads to: Server
        QTest::addColumn<QStringList>("arguments"); // the mode, then what follows --port 30
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out"); // a run that went through: stdout exactly
        // stderr exactly, %1 the address, %2 the same server as tcp://
        QTest::addColumn<QByteArray>("err");
        QTest::addColumn<QByteArrayList>("opens"); // the line settings of each open
        QTest::addColumn<int>("rateAfter"); // the modem's rate afterwards
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");

        // A read's output is every caption with the modem's own reply beside it.
        const QByteArray readOutput("<read>");
        const QByteArray none;
        const QByteArrayList once19200{ "19200,N,8,1" };
        const QByteArray rawWarning("korvanet: %1 carries bytes only: the rate of its serial port "
                                    "is set at the server, so 9600 baud cannot be set from "
                                    "here.\n");

        QTest::newRow("read over RFC 2217")
                << int(Server::Rfc2217) << QStringList{ "read" } << 0 << readOutput << none
                << once19200 << 19200 << 0 << 3000;
        QTest::newRow("send over RFC 2217, the far port follows the new rate")
                << int(Server::Rfc2217)
                << QStringList{ "send",  "--yes", "QM&FR=433.05000", "QM%B=9600,8,N,1",
                                "QM%B?", "QM**>" }
                << 0
                << QByteArray("QM&FR=433.05000\tOK\nQM%B=9600,8,N,1\tOK\nQM%B?\t9600,8,N,1\n"
                              "QM**>\tOK\n")
                << none << QByteArrayList{ "19200,N,8,1", "9600,N,8,1" } << 9600 << 0 << 3000;
        QTest::newRow("read over the README's ser2net configuration")
                << int(Server::Readme) << QStringList{ "read" } << 0 << readOutput << none
                << once19200 << 19200 << 0 << 3000;
        // The server's port is at 9600 by its configuration, and so is the modem.
        QTest::newRow("read over raw TCP, the rate warned of")
                << int(Server::Raw) << QStringList{ "read", "--baud", "9600" } << 0 << readOutput
                << rawWarning << QByteArrayList{ "9600,N,8,1" } << 9600 << 0 << 3000;
        QTest::newRow("send over raw TCP, warned of once for two opens")
                << int(Server::Raw)
                << QStringList{ "send", "--baud", "9600", "QM%B=9600,8,N,1", "QM%D?" } << 0
                << QByteArray("QM%B=9600,8,N,1\tOK\nQM%D?\tUHF MODEM 2W\n")
                << rawWarning + "korvanet: the modem is left with changes unsaved\n"
                << QByteArrayList{ "9600,N,8,1", "9600,N,8,1" } << 9600 << 0 << 3000;

        const QByteArray invalid("korvanet: Invalid port number.\nkorvanet: ");
        QTest::newRow("refused") << int(Server::Refused) << QStringList{ "read" } << 1 << none
                                 << invalid
                        + "%1 refused the connection: no server listens on that port.\n"
                                 << QByteArrayList() << 19200 << 0 << 2000;
        QTest::newRow("unknown host")
                << int(Server::UnknownHost) << QStringList{ "read" } << 1 << none
                << invalid
                        + "%1: the host \"no-such-modem.invalid\" is unknown; its name does not "
                          "resolve.\n"
                << QByteArrayList() << 19200 << 0 << 6500;
        QTest::newRow("plain telnet")
                << int(Server::PlainTelnet) << QStringList{ "read" } << 1 << none
                << invalid
                        + "%1 speaks telnet but refuses COM-PORT-OPTION (RFC 2217), so it cannot "
                          "set the line's rate. For a port that carries bytes only, use %2.\n"
                << QByteArrayList() << 19200 << 0 << 2000;
        QTest::newRow("a server that never answers")
                << int(Server::Silent) << QStringList{ "read" } << 1 << none
                << invalid
                        + "%1 took the connection but gave no telnet answer (RFC 2217) within 5 "
                          "s.\n"
                << QByteArrayList() << 19200 << 5000 << 7000;
        QTest::newRow("a second client")
                << int(Server::Held) << QStringList{ "send", "QM%D?" } << 1 << none
                << QByteArray("korvanet: Port already open.\nkorvanet: %1 is in use: the server "
                              "said \"Port already in use\" and closed the connection.\n")
                << QByteArrayList() << 19200 << 0 << 2000;
        // Killed as the first question reaches the modem, before it answers.
        QTest::newRow("ser2net killed mid-session")
                << int(Server::Killed)
                << QStringList{ "send", "--timeout", "5000", "QM%D?", "QM%S?" } << 1 << none
                << QByteArray("korvanet: Unknown error.\nkorvanet: %1: the server closed the "
                              "connection.\nkorvanet: 0 of 2 answered; sent without a reply: "
                              "QM%D?; never sent: QM%S?\n")
                << once19200 << 19200 << 0 << 3000;
    }

    void overTheNetwork()
    {
        QFETCH(int, server);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(QByteArrayList, opens);
        QFETCH(int, rateAfter);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        ModemOnCom3 m;
        m.modem.setSignalLevel(-87);
        QByteArrayList wire; // the traffic as the modem had it, escaped as a transcript is
        QObject::connect(&m.modem, &SimulatedModem::frameReceived, &m.modem,
                         [&wire](const QByteArray &text) {
                             wire.append("sent " + escapedBytes(text + "\r\n"));
                         });
        QObject::connect(&m.modem, &SimulatedModem::replySent, &m.modem,
                         [&wire](const QByteArray &bytes) {
                             wire.append("received " + escapedBytes(bytes));
                         });

        Ser2net ser2net;
        QTcpServer silent;
        QTcpSocket holder;
        QString address;
        switch (Server(server)) {
        case Server::Rfc2217:
        case Server::Held:
        case Server::Killed:
        case Server::PlainTelnet:
        case Server::Raw: {
            const bool raw = server == int(Server::Raw);
            if (raw)
                QVERIFY(m.modem.setSerialRate(9600));
            QVERIFY2(ser2net.start(m.modem.slavePath()), qPrintable(ser2net.error()));
            address = ser2net.address(raw ? Ser2net::Accepter::Raw
                                              : server == int(Server::PlainTelnet)
                                              ? Ser2net::Accepter::Telnet
                                              : Ser2net::Accepter::Rfc2217);
            break;
        }
        case Server::Readme: {
            // The section's YAML as written, but for the device and a port of the test's own.
            QFile readme(QStringLiteral(KORVANET_README));
            QVERIFY(readme.open(QIODevice::ReadOnly));
            const QByteArray text = readme.readAll();
            const qsizetype section = text.indexOf("\n## Modems at remote sites\n");
            const qsizetype start = text.indexOf("```yaml\n", section);
            QVERIFY(section >= 0 && start >= 0);
            QByteArray yaml = text.mid(start + 8, text.indexOf("```\n", start + 8) - start - 8);
            QVERIFY2(yaml.contains("/dev/ttyUSB0") && yaml.contains("tcp,4001"), yaml.constData());
            const quint16 port = freeLoopbackPort();
            yaml.replace("/dev/ttyUSB0", QFile::encodeName(m.modem.slavePath()))
                    .replace("tcp,4001", "tcp," + QByteArray::number(port));
            QVERIFY2(ser2net.startWith(yaml, port), qPrintable(ser2net.error()));
            address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
            break;
        }
        case Server::Refused:
            address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(freeLoopbackPort());
            break;
        case Server::UnknownHost:
            address = QStringLiteral("rfc2217://no-such-modem.invalid:2000");
            break;
        case Server::Silent:
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.serverPort());
            break;
        }
        if (server == int(Server::Held)) {
            // Another client has the port: ser2net greets it with its telnet options.
            holder.connectToHost(QHostAddress::LocalHost, ser2net.port(Ser2net::Accepter::Rfc2217));
            QVERIFY(holder.waitForConnected(2000) && holder.waitForReadyRead(2000));
        }
        if (server == int(Server::Killed)) {
            QObject::connect(
                    &m.modem, &SimulatedModem::frameReceived, &m.modem,
                    [&ser2net] { ser2net.kill(); }, Qt::SingleShotConnection);
        }
        mapComPort(30, address);

        QStringList command{ arguments.constFirst(), "--port", "30", "--transcript", m.transcript };
        QElapsedTimer clock;
        clock.start();
        const Run run = korvanet(command + arguments.mid(1));
        const qint64 ms = clock.elapsed();
        QByteArray raw = address.toLatin1();
        raw.replace("rfc2217://", "tcp://");
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.err, QByteArray(err).replace("%1", address.toLatin1()).replace("%2", raw));
        QVERIFY2(ms >= minMs && ms <= maxMs, qPrintable(QString::number(ms)));

        const TranscriptFile transcript(m.transcript);
        QVERIFY(transcript.wellFormed);
        QCOMPARE(transcript.header.value("device"), address.toLatin1());
        QCOMPARE(transcript.header.contains("note"), address.startsWith(u"tcp://"));
        QByteArrayList traffic;
        QByteArrayList opened;
        qsizetype warnings = 0;
        for (const QByteArray &line : transcript.exchange()) {
            if (line.startsWith("sent ") || line.startsWith("received "))
                traffic.append(line);
            else if (line.startsWith("open "))
                opened.append(line.mid(5));
            warnings += line.startsWith("warning ");
        }
        QByteArrayList expectedOpens;
        for (const QByteArray &settings : opens)
            expectedOpens.append("COM30 " + address.toLatin1() + ' ' + settings);
        QCOMPARE(opened, expectedOpens);
        QCOMPARE(warnings, qsizetype(err.contains("cannot be set from here") ? 1 : 0));
        QCOMPARE(m.modem.serialRate(), rateAfter);
        if (exitCode != 0)
            return;
        if (out == "<read>") {
            out.clear();
            QCOMPARE(m.replies.size(), ReadCaptions.size());
            for (qsizetype i = 0; i < ReadCaptions.size(); ++i)
                out += ReadCaptions[i] + '\t' + m.replies[i] + '\n';
        }
        QCOMPARE(run.out, out);
        QCOMPARE(traffic, wire);
        QVERIFY(m.modem.saved() == m.modem.current());
        if (arguments.contains("QM&FR=433.05000"))
            QCOMPARE(m.modem.current().receiveFrequency, QStringLiteral("433.05000"));
    }

private:
    enum class Server {
        Rfc2217,
        Readme,
        Raw,
        Refused,
        UnknownHost,
        PlainTelnet,
        Silent,
        Held,
        Killed
    };
};

KORVANET_TEST_MAIN(tst_Cli)
#include "tst_cli.moc"
