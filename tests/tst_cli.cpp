// SPDX-License-Identifier: GPL-3.0-or-later
// korvanet read and korvanet send as a user runs them: the real binary as a process without
// a display, the simulated modem in this process on a real pseudo-terminal mapped to COM 3
// through the settings store's "Ports" section. Checked from both ends: what the modem
// received and answered, and what the process printed, returned and wrote to its transcript.

#include "platform/escaping.h"
#include "session/settingsstore.h"
#include "sim/simulatedmodem.h"
#include "tests/support/framestamps.h"
#include "tests/support/pty.h"
#include "tests/support/serverundertest.h"
#include "tests/support/transcriptfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

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
// simulated here answers. `prepare` sees the process before it starts (to signal it, say);
// `under`: a program it runs under, strace say.
Run korvanet(const QStringList &arguments, const QString &workingDirectory = {},
             const std::function<void(QProcess &)> &prepare = {}, QStringList under = {})
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
    under.append(QStringLiteral(KORVANET_BINARY));
    const QString program = under.takeFirst();
    process.start(program, under + arguments);
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

// Modems for a fleet: each its own simulator with its own serial number and rate, mapped to
// COM 11, 12, ...; each records the frames it got.
struct Fleet
{
    explicit Fleet(const QList<int> &rates)
    {
        resetSettings();
        for (qsizetype i = 0; i < rates.size(); ++i) {
            auto modem = std::make_unique<SimulatedModem>();
            modem->setSerialNumber("SN 20" + QByteArray::number(i));
            if (!modem->setSerialRate(rates[i]) || !modem->start())
                qFatal("the simulated modem did not start");
            mapComPort(int(11 + i), modem->slavePath());
            frames.append(QByteArrayList());
            QObject::connect(modem.get(), &SimulatedModem::frameReceived, modem.get(),
                             [this, i](const QByteArray &text) { frames[i].append(text); });
            modems.push_back(std::move(modem));
        }
    }

    std::vector<std::unique_ptr<SimulatedModem>> modems;
    QList<QByteArrayList> frames;
    QTemporaryDir dir;
};

// A profile as export writes it, for a modem set to 433.05 MHz, FEC off and 500 mW.
const QByteArray ChangedProfile("# Korvanet profile\n# modem type: UHF MODEM 2W\n"
                                "QM&FR=433.05000\nQM&FT=430.32500\nQM&C=430.00000\nQM&W=1250\n"
                                "QM%F=0\nQM@M=O\nQM@P=500\nQM@S=0\nQM%B=19200,8,N,1\n");

// In the order of the window's panels, as `read` asks.
const QByteArrayList ReadQueries{ "QM%D?", "QM%S?", "QM%V?", "QM&FR?", "QM&FT?", "QM&C?", "QM&W?",
                                  "QM%F?", "QM@M?", "QM%B?", "QM@P?",  "QM@S?",  "QM@F?", "QM@R?" };
const QByteArrayList ReadCaptions{ "Get modem type",    "Get serial number", "Get fw revision",
                                   "Get Rx freq",       "Get Tx freq",       "Get Ref freq",
                                   "Get CH spacing",    "Get FEC status",    "Get repeater mode",
                                   "Get serial params", "Get output power",  "Get compatib. mode",
                                   "Get noise level",   "Get RSSI level" };

// The README's section "Configuring many modems": its command file and its shell steps.
QByteArray readmeBlock(const char *fence, const QByteArray &heading = "Configuring many modems")
{
    QFile readme(QStringLiteral(KORVANET_README));
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = readme.readAll();
    const qsizetype section = text.indexOf("\n## " + heading + '\n');
    const qsizetype start = text.indexOf(QByteArray("```") + fence + '\n', section);
    if (section < 0 || start < 0)
        return {};
    const qsizetype body = text.indexOf('\n', start) + 1;
    return text.mid(body, text.indexOf("```\n", body) - body);
}

// `steps` in a POSIX shell, in `folder`, as a user runs them: the build's binaries first on
// the PATH, no display.
void runShell(QProcess &shell, const QByteArray &steps, const QString &folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"),
               QFileInfo(QStringLiteral(KORVANET_BINARY)).path() + u':'
                       + env.value(QStringLiteral("PATH")));
    env.insert(QStringLiteral("TMPDIR"), folder);
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    shell.setProcessEnvironment(env);
    shell.setWorkingDirectory(folder);
    shell.start(QStringLiteral("sh"),
                { QStringLiteral("-eu"), QStringLiteral("-c"), QString::fromUtf8(steps) });
    shell.waitForFinished(30000);
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

    QByteArray stdoutSeen;
    QByteArray stderrSeen;

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
        // C0 (ESC, SOH), a backslash, DEL, C1 (CSI) and a Latin-1 letter.
        const QByteArray reply("\x1b[2J\\\xe9\x01\x7f\x9b ok");
        FrameStamps stamps(pty);
        stamps.setOnFrame(
                [&pty, &reply](const FrameStamps::Frame &) { pty.write(reply + "\r\n"); });
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t"));

        const Run run = korvanet({ "read", "--port", "3", "--transcript", path });
        // Bytes no modem sends at the right rate: printed escaped, and doubted.
        QVERIFY2(run.exitCode == 3, run.err.constData());
        QVERIFY2(run.err.startsWith(
                         "korvanet: the reply to QM%D? holds bytes no modem sends at "
                         "the right rate: \"\\x1b[2J\\\\\\xe9\\x01\\x7f\\x9b ok\"; the PC's "
                         "rate (19200) may not be the modem's (--baud auto finds it)\n"),
                 run.err.constData());
        const QByteArray escaped("\\x1b[2J\\\\\\xe9\\x01\\x7f\\x9b ok");
        QVERIFY2(run.out.startsWith("Get modem type\t" + escaped + "\nGet serial number\t"),
                 run.out.constData());
        QCOMPARE(TranscriptFile(path).exchange().at(2), "received " + escaped + "\\r\\n");

        const Run json = korvanet({ "read", "--port", "3", "--json" });
        QVERIFY2(json.exitCode == 3, json.err.constData());
        QVERIFY2(json.out.contains("\"Get modem type\": "
                                   "\"\\u001b[2J\\\\\\u00e9\\u0001\\u007f\\u009b ok\""),
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
        QVERIFY(steps.contains("korvanet send") && steps.contains("korvanet apply"));
        QProcess shell;
        runShell(shell, steps, dir.path());
        const QByteArray out = shell.readAllStandardOutput();
        QVERIFY2(shell.exitCode() == 0, shell.readAllStandardError().constData());
        QVERIFY2(out.startsWith("QM+++\tOK\nQM&FR=433.05000\tOK\n"), out.constData());
        QVERIFY2(out.contains("\nSN 1001\tfleet.profile\n"), out.constData());
        for (const QByteArray unit : { "COM2\t", "COM3\t" }) {
            QVERIFY2(out.contains(unit + "Rx frequency\t430.32500 -> 433.05000\tsent\tconfirmed\n"),
                     out.constData());
            QVERIFY2(out.contains("summary\t" + unit), out.constData());
        }
        QVERIFY2(out.contains("\nsummary\tCOM2\tSN 1002\tconfirmed\tsaved\ttransmission on\n"
                              "summary\tCOM3\tSN 1003\tconfirmed\tsaved\ttransmission on\n"),
                 out.constData());
        QVERIFY2(out.contains("\nGet Rx freq\t433.05000 MHz\n"), out.constData());
        QVERIFY2(out.contains("\nGet output power\t500 mW\n"), out.constData());
        QFile record(dir.filePath(QStringLiteral("fleet.csv")));
        QVERIFY(record.open(QIODevice::ReadOnly));
        const QByteArray rows = record.readAll();
        QCOMPARE(rows.count('\n'), 3);
        QVERIFY(rows.contains(",SN 1002,") && rows.contains(",SN 1003,"));
        // The apply and the read appended to unit 2's transcript, each with its header.
        QFile log(dir.filePath(QStringLiteral("fleet.COM2.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("# Korvanet session transcript\n"), 2);
    }

    // The bench as the README tries it: two modems plugged in one after the other, each found
    // at its rate, configured, saved and recorded.
    void readmeBenchWorksAsWritten()
    {
        QTemporaryDir dir;
        const QByteArray steps = readmeBlock("sh", "A bench of modems");
        QVERIFY(steps.contains("korvanet apply --wait"));
        QProcess shell;
        runShell(shell, steps, dir.path());
        const QByteArray out = shell.readAllStandardOutput();
        QVERIFY2(shell.exitCode() == 0, shell.readAllStandardError().constData());
        const QByteArrayList lines = out.split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].endsWith("/ttyUSB0)\tSN 2001\tconfirmed\tsaved\ttransmission on"),
                 out.constData());
        QVERIFY2(lines[1].endsWith("/ttyUSB1)\tSN 2002\tconfirmed\tsaved\ttransmission on"),
                 out.constData());
        QFile record(dir.filePath(QStringLiteral("bench.csv")));
        QVERIFY(record.open(QIODevice::ReadOnly));
        QCOMPARE(record.readAll().count('\n'), 3);
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
        QTest::newRow("a query with something after it")
                << QByteArray() << QStringList{ "QM%D?x" }
                << QByteArray("korvanet: command 1: \"QM%D?x\" is not a command of the modem\n");
        QTest::newRow("a constant setting with another value")
                << QByteArray() << QStringList{ "QM&W=1500" }
                << QByteArray("korvanet: command 1: \"QM&W=1500\" is not a command of the modem\n");
        QTest::newRow("an action with a value")
                << QByteArray() << QStringList{ "QM+++=1" }
                << QByteArray("korvanet: command 1: \"QM+++=1\" is not a command of the modem\n");
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
        QTest::newRow("read, given up after three in a row")
                << QStringList{ "read", "--timeout", "120" } << ReadQueries.mid(0, 3) << 120;
        QTest::newRow("read, the default time-out")
                << QStringList{ "read" } << ReadQueries.mid(0, 3) << 1000;
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
        else
            err += "korvanet: no reply to three questions in a row; the other 11 were not asked\n";
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
            // Whichever shows first: a line when none was owed, or one where an answer of
            // another form was due.
            QVERIFY2(run.err.contains("korvanet: a line no command asked for: ")
                             || run.err.contains(" fits no form of the "),
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

    // One modem's settings onto three others at their own rates: afterwards each holds the
    // source's settings, saved, and the record says which unit got what.
    void clone()
    {
        Fleet fleet({ 19200, 9600, 38400, 1200 });
        SimulatedModem &source = *fleet.modems[0];
        QVERIFY(korvanet({ "send", "--port", "11", "QM&FR=433.05", "QM@P=500", "QM%F=0" }).exitCode
                == 0);
        const QString profile = fleet.dir.filePath(QStringLiteral("source.profile"));
        const QString record = fleet.dir.filePath(QStringLiteral("fleet.csv"));
        const Run exported = korvanet({ "export", "--port", "11", "-o", profile });
        QVERIFY2(exported.exitCode == 0, exported.err.constData());
        QCOMPARE(exported.out, "SN 200\t" + QFile::encodeName(profile) + '\n');

        const QStringList rates{ "19200", "9600", "38400", "1200" };
        for (int unit = 1; unit <= 3; ++unit) {
            const Run run = korvanet({ "apply", "--port", QString::number(11 + unit), "--baud",
                                       rates[unit], "--save", "--record", record, profile });
            QVERIFY2(run.exitCode == 0, run.err.constData());
            QVERIFY(run.out.endsWith(
                    "saved\tyes\nleft with\ttransmission on\nresult\tconfirmed\n"));
            QCOMPARE(fleet.modems[unit]->current(), source.current());
            QCOMPARE(fleet.modems[unit]->saved(), source.current());
        }
        QFile csv(record);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArrayList rows = csv.readAll().split('\n');
        QCOMPARE(rows.size(), 5); // the header, three rows, the end of the last
        for (int unit = 1; unit <= 3; ++unit) {
            QVERIFY2(rows[unit].contains(",SN 20" + QByteArray::number(unit) + ','),
                     rows[unit].constData());
            QVERIFY(rows[unit].contains(",confirmed,yes,"));
        }
    }

    void applyOnTheWire_data()
    {
        QTest::addColumn<QByteArray>("refused"); // what the modem answers ERROR to
        QTest::addColumn<QByteArrayList>("sent"); // the settings and actions, in order
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("only what differs, serial params last")
                << QByteArray() << QByteArrayList{ "QM+++",    "QM&FR=433.05000",  "QM%F=0",
                                                   "QM@P=500", "QM%B=19200,8,N,1", "QM**>",
                                                   "QM++O" }
                << 0 << QByteArray("saved\tyes\nleft with\ttransmission on\nresult\tconfirmed\n");
        QTest::newRow("a refused setting stops it, unsaved, transmitting again")
                << QByteArray("QM@P=")
                << QByteArrayList{ "QM+++", "QM&FR=433.05000", "QM%F=0", "QM@P=500", "QM++O" } << 3
                << QByteArray("saved\tno\nleft with\ttransmission on, changes unsaved\n"
                              "result\tstopped\tQM@P=500: ERROR\n");
    }

    // Questions first (who, what), then transmission off, only the settings that differ with
    // the serial params last, the save, the read-back, and transmission on; a second run of
    // the same profile sends no setting at all.
    void applyOnTheWire()
    {
        QFETCH(QByteArray, refused);
        QFETCH(QByteArrayList, sent);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, result);
        Fleet fleet({ 9600 });
        fleet.modems[0]->setRefused(refused);
        const QString profile = fleet.dir.filePath(QStringLiteral("p"));
        QVERIFY(writeFile(profile, ChangedProfile));
        const QStringList apply{ "apply", "--port", "11", "--baud", "9600", "--save", profile };
        const Run run = korvanet(apply);
        QVERIFY2(run.exitCode == exitCode, run.err.constData());
        QVERIFY2(run.out.endsWith(result), run.out.constData());
        QByteArrayList actions;
        for (const QByteArray &frame : std::as_const(fleet.frames[0])) {
            if (!frame.endsWith('?'))
                actions.append(frame);
        }
        QCOMPARE(actions, sent);
        const QByteArrayList identify{ "QM%D?", "QM%S?", "QM%V?" };
        QCOMPARE(fleet.frames[0].mid(0, 3), identify);
        if (exitCode != 0)
            return;
        // Nine questions before, nine after: the read-back between the save and the last frame.
        QCOMPARE(fleet.frames[0].indexOf("QM**>"), fleet.frames[0].size() - 11);
        fleet.frames[0].clear();
        QCOMPARE(korvanet({ "apply", "--port", "11", "--save", profile }).exitCode, 0);
        QVERIFY(std::none_of(fleet.frames[0].cbegin(), fleet.frames[0].cend(),
                             [](const QByteArray &frame) { return frame.contains('='); }));
    }

    // One unit lost mid-apply holds up nobody: the others are confirmed, and the summary
    // names the lost one.
    void unitLostMidApply()
    {
        Fleet fleet({ 19200, 19200, 19200 });
        const QString profile = fleet.dir.filePath(QStringLiteral("p"));
        QVERIFY(writeFile(profile, ChangedProfile));
        QObject::connect(fleet.modems[1].get(), &SimulatedModem::frameReceived,
                         fleet.modems[1].get(), [&fleet](const QByteArray &text) {
                             if (text == "QM+++")
                                 QTimer::singleShot(0, [&fleet] { fleet.modems[1].reset(); });
                         });
        const Run run = korvanet({ "apply", "--port", "11-13", "--save", profile });
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.out.contains("summary\tCOM11\tSN 200\tconfirmed\tsaved\ttransmission on\n"
                                  "summary\tCOM12\tSN 201\tport failure\tnot saved\t"
                                  "transmission off\n"
                                  "summary\tCOM13\tSN 202\tconfirmed\tsaved\ttransmission on\n"),
                 run.out.constData());
        QVERIFY2(run.err.startsWith("korvanet: COM12: Unknown error.\n"), run.err.constData());
    }

    // An export that fails leaves no file, or the one that was there as it was.
    void failedExport_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("an older file") << ChangedProfile;
    }

    void failedExport()
    {
        QFETCH(QByteArray, before);
        Fleet fleet({ 19200 });
        const QString profile = fleet.dir.filePath(QStringLiteral("p"));
        if (!before.isEmpty())
            QVERIFY(writeFile(profile, before));
        QObject::connect(fleet.modems[0].get(), &SimulatedModem::frameReceived,
                         fleet.modems[0].get(), [&fleet](const QByteArray &text) {
                             if (text == "QM@P?")
                                 QTimer::singleShot(0, [&fleet] { fleet.modems[0].reset(); });
                         });
        const Run run = korvanet({ "export", "--port", "11", "-o", profile });
        QCOMPARE(run.exitCode, 1);
        QFile file(profile);
        QCOMPARE(file.exists(), !before.isEmpty());
        QVERIFY(before.isEmpty() || (file.open(QIODevice::ReadOnly) && file.readAll() == before));
        QCOMPARE(QDir(fleet.dir.path()).entryList(QDir::Files | QDir::Hidden).size(),
                 before.isEmpty() ? 0 : 1);
    }

    // Two runs recording into one file at once: every row whole, one header.
    void recordsFromTwoRuns()
    {
        Fleet fleet({ 19200, 19200, 19200, 19200 });
        const QString profile = fleet.dir.filePath(QStringLiteral("p"));
        const QString record = fleet.dir.filePath(QStringLiteral("r.csv"));
        QVERIFY(writeFile(profile, ChangedProfile));
        QProcess second;
        second.start(QStringLiteral(KORVANET_BINARY),
                     { "apply", "--port", "13,14", "--record", record, profile });
        const Run first = korvanet({ "apply", "--port", "11,12", "--record", record, profile });
        // The modems live in this process: its loop must run while the second run ends.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
        QCOMPARE(first.exitCode, 0);
        QCOMPARE(second.exitCode(), 0);
        QFile csv(record);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArrayList rows = csv.readAll().split('\n');
        QCOMPARE(rows.size(), 6);
        QVERIFY(rows[0].startsWith("time,port,device,"));
        for (qsizetype i = 1; i < 5; ++i)
            QVERIFY2(rows[i].endsWith(",confirmed,no,\r") && rows[i].count(',') == 12,
                     rows[i].constData());
    }

    void byDevicePath_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("throughLink"); // a by-id-style link to the device
        for (const char *mode : { "read", "export", "apply" }) {
            QTest::newRow(mode) << QString::fromLatin1(mode) << false;
            QTest::newRow(qPrintable(QStringLiteral("%1, by id").arg(QLatin1StringView(mode))))
                    << QString::fromLatin1(mode) << true;
        }
    }

    // A device path or a link to it is a port of its own, with no settings file at all, named
    // with the number it gets.
    void byDevicePath()
    {
        QFETCH(QString, mode);
        QFETCH(bool, throughLink);
        Fleet fleet({ 19200 });
        resetSettings();
        QString device = fleet.modems[0]->slavePath();
        if (throughLink) {
            const QString link = fleet.dir.filePath(QStringLiteral("usb-Sim_Modem_A1-if00-port0"));
            QVERIFY(QFile::link(device, link));
            device = link;
        }
        const QString profile = fleet.dir.filePath(QStringLiteral("p"));
        QVERIFY(writeFile(profile, ChangedProfile));
        QStringList arguments{ mode, "--port", device };
        if (mode == u"export")
            arguments << "-o" << profile;
        if (mode == u"apply")
            arguments << "--record" << fleet.dir.filePath(QStringLiteral("r")) << profile;
        const Run run = korvanet(arguments);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(QFileInfo(SettingsStore::File().fileName()).exists() == false
                || !SettingsStore::File().childGroups().contains(QStringLiteral("Ports")));
        QCOMPARE(fleet.frames[0].value(0), QByteArray("QM%D?"));
        if (mode == u"apply") {
            QFile record(fleet.dir.filePath(QStringLiteral("r")));
            QVERIFY(record.open(QIODevice::ReadOnly));
            QVERIFY2(record.readAll().contains(" (" + QFile::encodeName(device) + "),"
                                               + QFile::encodeName(device) + ','),
                     "the record names the COM number and the path");
        }
    }

    void rateSearch_data()
    {
        QTest::addColumn<int>("rate"); // 0: a modem that never answers
        for (const int rate : { 1200, 9600, 38400, 0 })
            QTest::newRow(qPrintable(QString::number(rate))) << rate;
    }

    // --baud auto: one harmless question at each rate until an answer comes, nothing else on
    // the wire until then, and a silent port given up within about 2 s.
    void rateSearch()
    {
        QFETCH(int, rate);
        Fleet fleet({ rate == 0 ? 19200 : rate });
        fleet.modems[0]->setSilent(rate == 0);
        QElapsedTimer clock;
        clock.start();
        const Run run = korvanet({ "read", "--port", "11", "--baud", "auto" });
        if (rate == 0) {
            QCOMPARE(run.exitCode, 3);
            QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
            QCOMPARE(run.err,
                     QByteArray("korvanet: no answer at any rate (9600 19200 38400 4800 "
                                "2400 1200)\n"));
            // Only the probe, at each rate; the one at the modem's own came through whole.
            QCOMPARE(fleet.frames[0], QByteArrayList{ "QM%D?" });
            return;
        }
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(run.err, "korvanet: the modem answers at " + QByteArray::number(rate) + " baud\n");
        // The probe that found it, then read's own questions from the first.
        QCOMPARE(fleet.frames[0].mid(0, 3), QByteArrayList({ "QM%D?", "QM%D?", "QM%S?" }));
        // The next search begins where this one ended.
        fleet.frames[0].clear();
        QCOMPARE(korvanet({ "read", "--port", "11", "--baud", "auto" }).exitCode, 0);
        QCOMPARE(fleet.frames[0].mid(0, 2), QByteArrayList({ "QM%D?", "QM%D?" }));
    }

    // Modem after modem on a bench: each device that appears is found at its rate, applied,
    // confirmed and recorded; one that vanishes at once is said and skipped.
    void bench()
    {
        Fleet fleet({ 9600, 38400, 1200 });
        QTemporaryDir dev;
        const QString profile = fleet.dir.filePath(QStringLiteral("p"));
        const QString record = fleet.dir.filePath(QStringLiteral("r.csv"));
        QVERIFY(writeFile(profile, ChangedProfile));
        qsizetype plugged = 0;
        const auto plugNext = [&] {
            if (plugged < 3) {
                QFile::link(fleet.modems[plugged]->slavePath(),
                            dev.filePath(QStringLiteral("ttyUSB%1").arg(plugged)));
                ++plugged;
            }
        };
        const auto prepare = [&](QProcess &process) {
            QProcessEnvironment env = process.processEnvironment();
            env.insert(QStringLiteral("KORVANET_DEVICE_ROOT"), dev.path());
            process.setProcessEnvironment(env);
            QObject::connect(&process, &QProcess::readyReadStandardError, &process, [&] {
                const QByteArray err = process.readAllStandardError();
                stderrSeen += err;
                // A device here and gone before anyone could open it, then the first modem.
                if (err.contains("waiting for modems"))
                    QFile::link(QStringLiteral("/dev/korvanet-nothing"), dev.filePath("ttyACM9"));
                if (err.contains("ttyACM9 appeared")) {
                    QFile::remove(dev.filePath("ttyACM9"));
                    plugNext();
                }
            });
            QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [&] {
                stdoutSeen += process.readAllStandardOutput();
                if (stdoutSeen.count('\n') < 3)
                    plugNext();
                else
                    ::kill(pid_t(process.processId()), SIGINT);
            });
        };
        korvanet({ "apply", "--wait", "--save", "--record", record, profile }, {}, prepare);
        for (int unit = 0; unit < 3; ++unit) {
            QVERIFY2(stdoutSeen.contains(
                             QStringLiteral("COM%1 (%2)\tSN 20%3\tconfirmed\tsaved")
                                     .arg(unit + 1)
                                     .arg(dev.filePath(QStringLiteral("ttyUSB%1").arg(unit)))
                                     .arg(unit)
                                     .toUtf8()),
                     stdoutSeen.constData());
            QCOMPARE(fleet.modems[unit]->saved().outputPower, 500);
        }
        QVERIFY2(stderrSeen.contains("ttyACM9 went away before it could be opened; skipped"),
                 stderrSeen.constData());
        QVERIFY2(stderrSeen.endsWith("korvanet: units done: 3, confirmed: 3, failed: 0\n"),
                 stderrSeen.constData());
        QFile csv(record);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll().count('\n'), 4);
    }

    void pauses_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("save") << QByteArray("QM**>");
        QTest::newRow("factory defaults") << QByteArray("QM*R>");
    }

    // The modem gets the window's 200 ms after a save or the factory defaults before the next
    // frame, on the command line too.
    void pauses()
    {
        QFETCH(QByteArray, command);
        ModemOnCom3 m;
        const Run run = korvanet(
                { "send", "--port", "3", "--yes", "--transcript", m.transcript, command, "QM%D?" });
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const TranscriptFile transcript(m.transcript);
        const qint64 gap = transcript.timeOf("sent", "QM%D?\\r\\n")
                - transcript.timeOf("sent", command + "\\r\\n");
        QVERIFY2(gap >= 199, qPrintable(QString::number(gap)));
    }

    void outcomes_data()
    {
        QTest::addColumn<QStringList>("arguments"); // PROFILE: a profile for the modem
        QTest::addColumn<QByteArray>("refused"); // what the modem answers ERROR to
        QTest::addColumn<QByteArray>("ignored"); // what it answers OK to and does not keep
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said"); // on stdout or stderr
        QTest::newRow("read: an ERROR reply")
                << QStringList{ "read" } << QByteArray("QM%V?") << QByteArray() << 3
                << QByteArray("Get fw revision\tERROR\n");
        QTest::newRow("export: every setting read")
                << QStringList{ "export", "-o", "PROFILE" } << QByteArray() << QByteArray() << 0
                << QByteArray("SN 200\t");
        QTest::newRow("export: an ERROR reply")
                << QStringList{ "export", "-o", "PROFILE" } << QByteArray("QM@S?") << QByteArray()
                << 3 << QByteArray("korvanet: QM@S? answered ERROR; no profile was written\n");
        QTest::newRow("apply: a modem that takes a value and does not keep it")
                << QStringList{ "apply", "PROFILE" } << QByteArray() << QByteArray("QM@P=") << 4
                << QByteArray("output power\t1000 -> 1000\tsent\tdiffers\n");
        QTest::newRow("apply: a profile for another modem type")
                << QStringList{ "apply", "OTHER" } << QByteArray() << QByteArray() << 2
                << QByteArray("result\trefused\tthe profile is for a UHF MODEM 5W, this is a "
                              "UHF MODEM 2W\n");
    }

    // Each documented outcome with its exit status and its words.
    void outcomes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, refused);
        QFETCH(QByteArray, ignored);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        Fleet fleet({ 19200 });
        fleet.modems[0]->setRefused(refused);
        fleet.modems[0]->setIgnored(ignored);
        const QString profile = fleet.dir.filePath(QStringLiteral("p"));
        const QString other = fleet.dir.filePath(QStringLiteral("other"));
        QVERIFY(writeFile(profile, ChangedProfile));
        QVERIFY(writeFile(other, QByteArray(ChangedProfile).replace("2W", "5W")));
        arguments.replaceInStrings(QStringLiteral("PROFILE"), profile);
        arguments.replaceInStrings(QStringLiteral("OTHER"), other);
        arguments.insert(1, QStringLiteral("--port"));
        arguments.insert(2, QStringLiteral("11"));
        const Run run = korvanet(arguments);
        QVERIFY2(run.exitCode == exitCode, run.err.constData());
        QVERIFY2(run.out.contains(said) || run.err.contains(said), (run.out + run.err).constData());
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
        // In a shared folder, another user's link would lead the record where they chose.
        QTest::newRow("a symbolic link")
                << "link" << QByteArray("a symbolic link, which is not followed");
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
        } else if (kind == u"link") {
            path = m.dir.filePath(QStringLiteral("link"));
            QVERIFY(QFile::link(m.dir.filePath(QStringLiteral("elsewhere")), path));
        }
        const Run run = korvanet({ "read", "--port", "3", "--transcript", path });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.count('\n'), ReadCaptions.size());
        QCOMPARE(run.err,
                 "korvanet: transcript " + QFile::encodeName(path) + ": " + reason
                         + "; the session goes on without it.\n");
        QCOMPARE(m.frames, ReadQueries);
        QVERIFY(!QFileInfo::exists(m.dir.filePath(QStringLiteral("elsewhere"))));
    }

    // No lock file can be made (strace has link() fail, as on a read-only file system): the
    // port opens all the same, flock() and exclusive mode keeping it from other programs,
    // and the user is told, on stderr and in the transcript.
    void noLockFile()
    {
        ModemOnCom3 m;
        // LeakSanitizer, when built in, cannot stop a process that strace traces.
        const QString asan =
                qEnvironmentVariable("ASAN_OPTIONS") + QStringLiteral(":detect_leaks=0");
        const Run run =
                korvanet({ "read", "--port", "3", "--transcript", m.transcript }, {}, {},
                         { "strace", "-f", "-qq", "-o", "/dev/null", "-E", "ASAN_OPTIONS=" + asan,
                           "-e", "trace=link", "-e", "inject=link:error=EROFS" });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(m.frames, ReadQueries);
        const QString device = m.modem.slavePath();
        QByteArrayList warnings;
        for (const QString &name : { device.mid(5).replace(u'/', u'_'), device.mid(9) }) {
            warnings.append(QStringLiteral("%1 has no lock file /run/lock/LCK..%2 (Read-only file "
                                           "system): programs that go by lock files alone will "
                                           "not see that it is in use.")
                                    .arg(device, name)
                                    .toLatin1());
        }
        QCOMPARE(run.err, "korvanet: " + warnings.join("\nkorvanet: ") + '\n');
        QByteArrayList recorded;
        for (const TranscriptFile::Event &event : TranscriptFile(m.transcript).events) {
            if (event.name == "warning")
                recorded.append(event.text);
        }
        QCOMPARE(recorded, warnings);
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

        ServerUnderTest far;
        QString address;
        if (server == int(Server::Readme)) {
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
            QVERIFY2(far.ser2net.startWith(yaml, port), qPrintable(far.ser2net.error()));
            address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
        } else {
            if (server == int(Server::Raw))
                QVERIFY(m.modem.setSerialRate(9600));
            address = far.start(Server(server), m.modem.slavePath(), QStringLiteral("9600n81"));
            QVERIFY2(!address.isEmpty(), qPrintable(far.error()));
        }
        if (server == int(Server::Killed)) {
            QObject::connect(
                    &m.modem, &SimulatedModem::frameReceived, &m.modem,
                    [&far] { far.ser2net.kill(); }, Qt::SingleShotConnection);
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
    using Server = ServerUnderTest::Kind;
};

KORVANET_TEST_MAIN(tst_Cli)
#include "tst_cli.moc"
