// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form1.h"
#include "app/messagebox.h"
#include "session/settingsstore.h"
#include "serial/ports/adapterreturn.h"
#include "serial/ports/portlisting.h"
#include "serial/ports/portmap.h"
#include "tests/support/portholder.h"
#include "tests/support/pty.h"
#include "tests/support/ser2net.h"
#include "tests/support/windowonpty.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextDocument>

#include <algorithm>

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
        return { -1, {}, QStringLiteral("did not finish") };
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
             QString::fromLocal8Bit(process.readAllStandardOutput()),
             QString::fromLocal8Bit(process.readAllStandardError()) };
}

// A /dev-like tree: an empty file for each node name.
bool makeNodes(const QTemporaryDir &dev, const QStringList &nodes)
{
    return std::all_of(nodes.cbegin(), nodes.cend(), [&dev](const QString &node) {
        QFile file(dev.filePath(node));
        return file.open(QIODevice::WriteOnly);
    });
}

} // namespace

class tst_PortMap : public QObject
{
    Q_OBJECT

private slots:
    // As the window and --list-ports do.
    void initTestCase() { PortMap::setOverrideSource(&SettingsStore::portOverrides); }
    void init() { resetSettings(); }

    void wineOrder_data()
    {
        QTest::addColumn<QStringList>("nodes");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing") << QStringList() << QStringList();
        QTest::newRow("series in order")
                << QStringList{ "ttyACM0", "ttyUSB1", "ttyS0", "ttyUSB0", "ttyS1" }
                << QStringList{ "ttyS0", "ttyS1", "ttyUSB0", "ttyUSB1", "ttyACM0" };
        QTest::newRow("each series ends at its first gap")
                << QStringList{ "ttyS0", "ttyS2", "ttyUSB1", "ttyACM0" }
                << QStringList{ "ttyS0", "ttyACM0" };
        QTest::newRow("other ttys do not count")
                << QStringList{ "tty0", "ttyAMA0", "ttyUSB0", "pts" } << QStringList{ "ttyUSB0" };
    }

    void wineOrder()
    {
        QFETCH(QStringList, nodes);
        QFETCH(QStringList, expected);
        QTemporaryDir dev;
        QVERIFY(makeNodes(dev, nodes));
        QStringList found;
        for (const QString &path : PortMap::detectedDevices(dev.path()))
            found.append(QFileInfo(path).fileName());
        QCOMPARE(found, expected);
    }

    // Wine's numbering: overrides keep their numbers, the counted devices fill the others.
    void wineNumbersAroundOverrides_data()
    {
        QTest::addColumn<QStringList>("nodes");
        QTest::addColumn<QStringList>("overrides"); // "n=device"
        QTest::addColumn<QStringList>("expected"); // "n=device", a * for an override
        QTest::newRow("no overrides") << QStringList{ "ttyS0", "ttyUSB0" } << QStringList()
                                      << QStringList{ "1=ttyS0", "2=ttyUSB0" };
        QTest::newRow("COM1 overridden: ttyS0 becomes COM2")
                << QStringList{ "ttyS0", "ttyS1", "ttyUSB0" }
                << QStringList{ "1=/dev/serial/by-id/a" }
                << QStringList{ "1=/dev/serial/by-id/a*", "2=ttyS0", "3=ttyS1", "4=ttyUSB0" };
        QTest::newRow("gaps filled in order")
                << QStringList{ "ttyS0", "ttyUSB0", "ttyACM0" } << QStringList{ "2=/x/b", "4=/x/d" }
                << QStringList{ "1=ttyS0", "2=/x/b*", "3=ttyUSB0", "4=/x/d*", "5=ttyACM0" };
        QTest::newRow("an override far up leaves the low numbers")
                << QStringList{ "ttyUSB0" } << QStringList{ "42=/x/z" }
                << QStringList{ "1=ttyUSB0", "42=/x/z*" };
        QTest::newRow("an override of a counted device does not hide it")
                << QStringList{ "ttyS0" } << QStringList{ "1=ttyS0" }
                << QStringList{ "1=ttyS0*", "2=ttyS0" };
        QTest::newRow("an empty override maps nothing")
                << QStringList{ "ttyS0" } << QStringList{ "1=" } << QStringList{ "1=ttyS0" };
    }

    void wineNumbersAroundOverrides()
    {
        QFETCH(QStringList, nodes);
        QFETCH(QStringList, overrides);
        QFETCH(QStringList, expected);
        QTemporaryDir dev;
        QVERIFY(makeNodes(dev, nodes));
        const auto inTree = [&dev](const QString &device) {
            return device.startsWith(u'/') || device.isEmpty() ? device : dev.filePath(device);
        };
        PortMap::Overrides map;
        for (const QString &entry : overrides)
            map.insert(entry.section(u'=', 0, 0).toInt(), inTree(entry.section(u'=', 1)));
        QStringList found;
        const QStringList detected = PortMap::detectedDevices(dev.path());
        for (const PortMap::Entry &entry : PortMap::numbered(map, detected)) {
            QString device = entry.device;
            device.remove(dev.path() + u'/');
            const QString marker = entry.overridden ? QStringLiteral("*") : QString();
            found.append(QStringLiteral("%1=%2%3").arg(entry.number).arg(device, marker));
        }
        QCOMPARE(found, expected);
    }

    // "Open port", the port list's tooltips and --list-ports (the same listing) number alike:
    // a tree of counted devices that lead to real pseudo-terminals, around two overrides.
    void openTooltipsAndListingAgree()
    {
        PtyPair usb0, usb1, acm0, first, third;
        QTemporaryDir dev;
        const QList<std::pair<const char *, PtyPair *>> nodes{ { "ttyUSB0", &usb0 },
                                                               { "ttyUSB1", &usb1 },
                                                               { "ttyACM0", &acm0 } };
        for (const auto &[node, pty] : nodes)
            QVERIFY(QFile::link(pty->slavePath(), dev.filePath(QLatin1StringView(node))));
        mapComPort(1, first.slavePath());
        mapComPort(3, third.slavePath());
        PortMap::setDeviceRoot(dev.path());
        const auto restore = qScopeGuard([] { PortMap::setDeviceRoot(QStringLiteral("/dev")); });

        struct Expected
        {
            int number;
            QString device;
            PtyPair *line;
        };
        const QList<Expected> expected{ { 1, first.slavePath() + " *", &first },
                                        { 2, dev.filePath("ttyUSB0"), &usb0 },
                                        { 3, third.slavePath() + " *", &third },
                                        { 4, dev.filePath("ttyUSB1"), &usb1 },
                                        { 5, dev.filePath("ttyACM0"), &acm0 } };
        MessageBox::Script script;
        Form1 form;
        form.show();
        form.Combo2->showPopup();
        form.Combo2->hidePopup();
        QStringList listing;
        for (const QString &line : portListing().split(u'\n'))
            listing.append(line.simplified());
        for (const auto &[number, device, line] : expected) {
            QVERIFY2(listing.contains(QStringLiteral("%1 %2 ready").arg(number).arg(device)),
                     qPrintable(listing.join(u'\n')));
            QCOMPARE(form.Combo2->itemData(number - 1, Qt::ToolTipRole).toString(),
                     Qt::convertFromPlainText(device.section(u' ', 0, 0)));

            // A fresh pseudo-terminal runs at 38400; the open sets the list's 19200.
            form.Combo2->setEditText(QStringLiteral(" %1").arg(number));
            form.Combo1->setEditText(QStringLiteral("19200"));
            QTest::mouseClick(form.Command1, Qt::LeftButton);
            QVERIFY2(form.MSComm1->PortOpen(), qPrintable(boxDetails(script)));
            QCOMPARE(line->lineSpeed(), speed_t(B19200));
            QTest::mouseClick(form.Command36, Qt::LeftButton);
        }
        QVERIFY(script.shown().isEmpty());
    }

    // Which adapter is the one that went away: a name that stays with it, or its serial number.
    void sameAdapter_data()
    {
        QTest::addColumn<QStringList>("wasNames");
        QTest::addColumn<QString>("wasSerial");
        QTest::addColumn<QStringList>("nowNames");
        QTest::addColumn<QString>("nowSerial");
        QTest::addColumn<bool>("same");
        const QString a = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A10K4XYZ-if00-port0");
        const QString b = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_B20-if00-port0");
        QTest::newRow("its Ports entry")
                << QStringList{ "/x/modem" } << "" << QStringList{ "/x/modem" } << "" << true;
        QTest::newRow("a by-id link in common")
                << QStringList{ a, "/x/modem" } << "" << QStringList{ a } << "" << true;
        QTest::newRow("another adapter's link")
                << QStringList{ a } << "" << QStringList{ b } << "" << false;
        QTest::newRow("its serial number")
                << QStringList() << "A10K4XYZ" << QStringList() << "A10K4XYZ" << true;
        QTest::newRow("another serial number")
                << QStringList() << "A10K4XYZ" << QStringList() << "B20" << false;
        QTest::newRow("no serial number either")
                << QStringList() << "" << QStringList() << "" << false;
    }

    void sameAdapter()
    {
        QFETCH(QStringList, wasNames);
        QFETCH(QString, wasSerial);
        QFETCH(QStringList, nowNames);
        QFETCH(QString, nowSerial);
        QFETCH(bool, same);
        QCOMPARE(AdapterIdentity({ wasNames, wasSerial }).sameAs({ nowNames, nowSerial }), same);
    }

    // Its names: the by-id links that lead to it and its number's Ports entry, never a
    // counted device.
    void identifyNamesAnAdapter()
    {
        PtyPair usb0, other;
        QTemporaryDir dev;
        const QString link =
                dev.filePath(QStringLiteral("serial/by-id/usb-Sim_Modem_X-if00-port0"));
        QVERIFY(relink(link, dev.filePath(QStringLiteral("ttyUSB0"))));
        QVERIFY(relink(dev.filePath(QStringLiteral("serial/by-id/usb-Sim_Modem_Y-if00-port0")),
                       other.slavePath()));
        QVERIFY(QFile::link(usb0.slavePath(), dev.filePath(QStringLiteral("ttyUSB0"))));
        PortMap::setDeviceRoot(dev.path());
        const auto restore = qScopeGuard([] { PortMap::setDeviceRoot(QStringLiteral("/dev")); });
        mapComPort(3, link);

        QCOMPARE(identify(1, dev.filePath(QStringLiteral("ttyUSB0"))).names, QStringList{ link });
        QCOMPARE(identify(3, link).names, QStringList{ link });
        QCOMPARE(identify(4, other.slavePath()).names,
                 QStringList{
                         dev.filePath(QStringLiteral("serial/by-id/usb-Sim_Modem_Y-if00-port0")) });
        mapComPort(5, usb0.slavePath());
        QCOMPARE(identify(5, usb0.slavePath()).names, QStringList({ link, usb0.slavePath() }));
        // A device server is reached anew, never waited for as a file.
        mapComPort(6, QStringLiteral("rfc2217://127.0.0.1:2000"));
        QVERIFY(identify(6, QStringLiteral("rfc2217://127.0.0.1:2000")).isEmpty());
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
        QCOMPARE(form.Combo2->itemData(11, Qt::ToolTipRole).toString(),
                 Qt::convertFromPlainText(pty.slavePath()));
        QCOMPARE(form.Combo2->itemData(12, Qt::ToolTipRole).toString(), QString());

        // A device that appears later is described when the list is next opened.
        PtyPair later;
        mapComPort(14, later.slavePath());
        QCOMPARE(form.Combo2->itemData(13, Qt::ToolTipRole).toString(), QString());
        form.Combo2->showPopup();
        form.Combo2->hidePopup();
        QCOMPARE(form.Combo2->itemData(13, Qt::ToolTipRole).toString(),
                 Qt::convertFromPlainText(later.slavePath()));

        // A device server is named by its address, and opening the list does not call it.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QString address = QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort());
        mapComPort(15, address);
        form.Combo2->showPopup();
        form.Combo2->hidePopup();
        QCOMPARE(form.Combo2->itemData(14, Qt::ToolTipRole).toString(),
                 Qt::convertFromPlainText(address));
        QVERIFY(!server.hasPendingConnections() && !server.waitForNewConnection(200));
        // And one that goes is no longer described.
        pty.hangUp();
        form.Combo2->showPopup();
        form.Combo2->hidePopup();
        QCOMPARE(form.Combo2->itemData(11, Qt::ToolTipRole).toString(), QString());
        QCOMPARE(form.Combo2->itemData(13, Qt::ToolTipRole).toString(),
                 Qt::convertFromPlainText(later.slavePath()));
    }

    void listPorts_data()
    {
        QTest::addColumn<QString>("holder"); // holds COM42's device; empty: nothing does
        QTest::addColumn<QString>("under42"); // the line under COM42's; %1: the pty's number
        QTest::newRow("nobody holds it") << QString() << QString();
        // Said under each device there that ModemManager does not leave alone (udev does not
        // run here, so nothing says it should), and not under a missing one.
        QTest::newRow("ModemManager runs")
                << "ModemManager"
                << "ModemManager runs and does not ignore this device. It probes serial devices "
                   "for modems and can hold one for seconds. To keep it away from this one, put "
                   "the rule KERNEL==\"%1\", ENV{ID_MM_DEVICE_IGNORE}=\"1\" in a file under "
                   "/etc/udev/rules.d/ (such as 99-korvanet.rules), run \"sudo udevadm control "
                   "--reload\" and plug the adapter in again.";
    }

    void listPorts()
    {
        QFETCH(QString, holder);
        QFETCH(QString, under42);
        PtyPair pty;
        mapComPort(42, pty.slavePath());
        mapComPort(43, QStringLiteral("/dev/korvanet-no-such-device"));
        // Device servers, each tried with a bare connection: one that takes it, a port
        // nothing listens on, a name that does not resolve.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QString answering = QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.serverPort());
        const QString closed = QStringLiteral("tcp://127.0.0.1:%1").arg(freeLoopbackPort());
        mapComPort(44, answering);
        mapComPort(45, closed);
        mapComPort(46, QStringLiteral("rfc2217://no-such-server.invalid:2000"));
        std::optional<PortHolder> other;
        if (!holder.isEmpty()) {
            other.emplace(pty.slavePath(), holder);
            QVERIFY2(other->holds(), qPrintable(other->error()));
        } else if (QProcess::execute(QStringLiteral("pidof"),
                                     { QStringLiteral("-q"), QStringLiteral("ModemManager") })
                   == 0) {
            QSKIP("This machine runs a ModemManager of its own.");
        }
        const Run run = korvanet({ QStringLiteral("--list-ports") });
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = run.out.split(u'\n');
        const auto lineFor = [&lines](int number, int below = 0) {
            for (qsizetype i = 0; i + below < lines.size(); ++i) {
                if (lines.at(i).startsWith(QString::number(number) + u' '))
                    return lines.at(i + below).simplified();
            }
            return QString();
        };
        QCOMPARE(lineFor(42), QStringLiteral("42 %1 * ready").arg(pty.slavePath()));
        QCOMPARE(lineFor(43), QStringLiteral("43 /dev/korvanet-no-such-device * missing"));
        QCOMPARE(lineFor(44),
                 QStringLiteral("44 %1 * answers RFC 2217 device server").arg(answering));
        QCOMPARE(lineFor(45),
                 QStringLiteral("45 %1 * refused raw TCP: the rate is set at the server, not from "
                                "here")
                         .arg(closed));
        QCOMPARE(lineFor(46),
                 QStringLiteral("46 rfc2217://no-such-server.invalid:2000 * unknown host RFC 2217 "
                                "device server"));
        QCOMPARE(lineFor(42, 1),
                 under42.isEmpty()
                         ? lineFor(43)
                         : QString(under42).replace(QStringLiteral("%1"),
                                                    QFileInfo(pty.slavePath()).fileName()));
        QVERIFY(!lineFor(43, 1).startsWith(u"ModemManager"));
        QVERIFY(run.out.startsWith(u"COM"));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outStart");
        QTest::addColumn<QString>("errStart");
        QTest::newRow("--version") << QStringList{ "--version" } << 0 << "korvanet 1."
                                   << "";
        QTest::newRow("--help") << QStringList{ "--help" } << 0 << "Usage: korvanet [options]"
                                << "";
        QTest::newRow("unknown option") << QStringList{ "--frobnicate" } << 2 << ""
                                        << "korvanet: Unknown option 'frobnicate'.";
        QTest::newRow("stray argument") << QStringList{ "COM3" } << 2 << ""
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
