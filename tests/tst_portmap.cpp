#include "app/form1.h"
#include "serial/portmap.h"
#include "tests/support/pty.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct Run
{
    int exitCode;
    QString out;
    QString err;
};

Run korvanet(const QStringList &arguments)
{
    QProcess process;
    process.setProgram(QStringLiteral(KORVANET_BINARY));
    process.setArguments(arguments);
    // No display on purpose: the command-line options must not need one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.start();
    if (!process.waitForFinished(10000))
        return {-1, {}, QStringLiteral("did not finish")};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

} // namespace

class tst_PortMap : public QObject
{
    Q_OBJECT

private slots:
    void init() { resetSettings(); }

    void wineOrder_data()
    {
        QTest::addColumn<QStringList>("nodes");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing") << QStringList() << QStringList();
        QTest::newRow("series in order")
            << QStringList{"ttyACM0", "ttyUSB1", "ttyS0", "ttyUSB0", "ttyS1"}
            << QStringList{"ttyS0", "ttyS1", "ttyUSB0", "ttyUSB1", "ttyACM0"};
        QTest::newRow("each series ends at its first gap")
            << QStringList{"ttyS0", "ttyS2", "ttyUSB1", "ttyACM0"}
            << QStringList{"ttyS0", "ttyACM0"};
        QTest::newRow("other ttys do not count")
            << QStringList{"tty0", "ttyAMA0", "ttyUSB0", "pts"} << QStringList{"ttyUSB0"};
    }

    void wineOrder()
    {
        QFETCH(QStringList, nodes);
        QFETCH(QStringList, expected);
        QTemporaryDir dev;
        for (const QString &node : nodes) {
            QFile file(dev.filePath(node));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QStringList found;
        for (const QString &path : PortMap::detectedDevices(dev.path()))
            found.append(QFileInfo(path).fileName());
        QCOMPARE(found, expected);
    }

    void overrideWinsAndIsReadEachTime()
    {
        PtyPair first;
        PtyPair second;
        mapComPort(1, first.slavePath());
        QCOMPARE(PortMap::devicePath(1), first.slavePath());
        mapComPort(1, second.slavePath());
        QCOMPARE(PortMap::devicePath(1), second.slavePath());
        QCOMPARE(PortMap::devicePath(0), QString());
        QCOMPARE(PortMap::devicePath(-3), QString());
    }

    void portListTooltips()
    {
        PtyPair pty;
        mapComPort(12, pty.slavePath());
        mapComPort(13, QStringLiteral("/dev/korvanet-no-such-device"));
        Form1 form;
        form.show();
        // The items keep their texts; when the list opens, present devices get a tooltip
        // that names them, and only those.
        form.Combo2->showPopup();
        form.Combo2->hidePopup();
        QCOMPARE(form.Combo2->itemText(11), QStringLiteral(" 12"));
        QCOMPARE(form.Combo2->itemData(11, Qt::ToolTipRole).toString(), pty.slavePath());
        QCOMPARE(form.Combo2->itemData(12, Qt::ToolTipRole).toString(), QString());

        // A device that appears later is described when the list is next opened.
        PtyPair later;
        mapComPort(14, later.slavePath());
        QCOMPARE(form.Combo2->itemData(13, Qt::ToolTipRole).toString(), QString());
        form.Combo2->showPopup();
        form.Combo2->hidePopup();
        QCOMPARE(form.Combo2->itemData(13, Qt::ToolTipRole).toString(), later.slavePath());
    }

    void listPorts()
    {
        PtyPair pty;
        mapComPort(42, pty.slavePath());
        mapComPort(43, QStringLiteral("/dev/korvanet-no-such-device"));
        const Run run = korvanet({QStringLiteral("--list-ports")});
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = run.out.split(u'\n');
        const auto lineFor = [&lines](int number) {
            for (const QString &line : lines) {
                if (line.startsWith(QString::number(number) + u' '))
                    return line.simplified();
            }
            return QString();
        };
        QCOMPARE(lineFor(42), QStringLiteral("42 %1 * ready").arg(pty.slavePath()));
        QCOMPARE(lineFor(43), QStringLiteral("43 /dev/korvanet-no-such-device * missing"));
        QVERIFY(run.out.startsWith(u"COM"));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outStart");
        QTest::addColumn<QString>("errStart");
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "korvanet 1." << "";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: korvanet [options]" << "";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << ""
                                        << "korvanet: Unknown option 'frobnicate'.";
        QTest::newRow("stray argument") << QStringList{"COM3"} << 2 << ""
                                        << "korvanet: Unexpected argument: COM3";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, outStart);
        QFETCH(QString, errStart);
        const Run run = korvanet(arguments);
        QCOMPARE(run.exitCode, exitCode);
        // The stream with nothing expected must stay empty.
        const auto matches = [](const QString &stream, const QString &start) {
            return start.isEmpty() ? stream.isEmpty() : stream.startsWith(start);
        };
        QVERIFY2(matches(run.out, outStart), qPrintable(run.out));
        QVERIFY2(matches(run.err, errStart), qPrintable(run.err));
    }
};

KORVANET_TEST_MAIN(tst_PortMap)
#include "tst_portmap.moc"
