// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet --demo` as a newcomer tries it: no modem, no settings, an X server of its own.
// The built-in simulated modem must answer on COM 3 at the preset rate, and the window is
// photographed with an answer in the log and the signal bar running (the README's picture).

#include "app/controltable.h"
#include "tests/e2e/e2esupport.h"
#include "tests/support/pty.h"
#include "tests/support/transcriptfile.h"

#include <QFile>
#include <QTemporaryDir>

using namespace E2e;

class tst_E2eDemo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString missing = missingTools();
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
    }

    void demoAnswersGetModemType()
    {
        XServer x;
        QString error;
        QVERIFY2(x.start(&error), qPrintable(error));
        Utility app(x);
        QVERIFY2(app.start({ QStringLiteral("--demo") }, &error), qPrintable(error));
        QCOMPARE(app.title(), QStringLiteral("Korvanet (demo, simulated modem)"));

        QVERIFY(app.click("Command1"));
        QTRY_VERIFY_WITH_TIMEOUT(filledWith(app.grab("Text2"), Colours::Window), 5000);
        QVERIFY(app.click("Check1"));
        QTRY_VERIFY_WITH_TIMEOUT(mostly(app.grab("Command3"), Colours::Query), 3000);
        QCOMPARE(lightPixels(app.grab("Text2")), 0);
        QVERIFY(app.click("Command3"));
        QVERIFY2(app.waitForLogText("UHF MODEM 2W\\r\\n\\r\\n") >= 0,
                 app.logTexts().join('|').constData());
        QTRY_VERIFY_WITH_TIMEOUT(lightPixels(app.grab("Text2")) > 20, 3000);

        // The picture: the graph running (it empties the log), then the modem type again.
        QVERIFY(app.click("Command34"));
        QTRY_VERIFY_WITH_TIMEOUT(isBarColour(centrePixel(app.grab("Shape1"))), 3000);
        const qsizetype mark = app.logTexts().size();
        QVERIFY(app.click("Command3"));
        QVERIFY(app.waitForLogText("UHF MODEM 2W\\r\\n\\r\\n", mark) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(lightPixels(app.grab("Text2")) > 20, 3000);
        const QString picture = QStringLiteral(KORVANET_E2E_OUTPUT "/demo.png");
        QVERIFY(app.saveWindowPicture(picture));
        qInfo("the window: %s", qPrintable(picture));
    }

    void demoLeavesSettingsAlone_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("Close software") << "Close software";
        QTest::newRow("SIGTERM") << "SIGTERM";
    }

    // Whatever is picked in the three lists, opened and closed, and however the demo ends, the
    // user's own settings and everything else in the configuration folder stay as they were,
    // byte for byte.
    void demoLeavesSettingsAlone()
    {
        QFETCH(QString, way);
        XServer x;
        QString error;
        QVERIFY2(x.start(&error), qPrintable(error));
        Utility app(x);
        app.mapComPort(7, QStringLiteral("/nonexistent/ttyKorvanetE2e"));
        {
            QFile store(app.configHome() + QStringLiteral("/Korvanet/Korvanet.conf"));
            QVERIFY(store.open(QIODevice::Append));
            QVERIFY(store.write("[Settings]\nComPort=7\nBaudRate=4800\n") > 0);
        }
        const QMap<QString, QByteArray> before = folderContents(app.configHome());
        QVERIFY(before.contains(QStringLiteral("Korvanet/Korvanet.conf")));
        QTemporaryDir elsewhere;
        const QString transcript = elsewhere.filePath(QStringLiteral("demo.transcript"));
        QVERIFY2(app.start({ QStringLiteral("--demo"), QStringLiteral("--transcript"), transcript },
                           &error),
                 qPrintable(error));

        // Picks with the arrow key, from the top of each list: " 3" in the port list, "2400"
        // in the baud-rate list, then "1200" in the modem's, which the baud-rate list follows.
        const auto pickDown = [&app](const char *list, int steps) {
            bool picked = app.click(list);
            for (int step = 0; step < steps; ++step)
                picked = picked && app.key(QStringLiteral("Down"));
            return picked;
        };
        QVERIFY(pickDown("Combo2", 3));
        QVERIFY(pickDown("Combo1", 2));
        QVERIFY(app.click("Command1"));
        QTRY_VERIFY_WITH_TIMEOUT(filledWith(app.grab("Text2"), Colours::Window), 5000);
        QVERIFY(pickDown("Combo3", 1));
        QVERIFY(app.click("Command36"));
        QTRY_VERIFY_WITH_TIMEOUT(!filledWith(app.grab("Text2"), Colours::Window), 5000);
        QVERIFY(app.click("Command1"));
        QTRY_VERIFY_WITH_TIMEOUT(filledWith(app.grab("Text2"), Colours::Window), 5000);

        if (way == u"Close software")
            QVERIFY(app.click("Command33"));
        else
            app.process().terminate();
        QVERIFY2(app.process().waitForFinished(5000), qPrintable(way));
        QCOMPARE(app.process().exitCode(), 0);

        // The picks were taken: each open at the rate the lists showed then.
        QByteArrayList opened;
        for (const TranscriptFile::Event &event : TranscriptFile(transcript).events) {
            // "COM3 /dev/pts/7 2400,N,8,1": the device is the demo's own, wherever it is.
            const QByteArrayList words = event.text.split(' ');
            if (event.name == "open")
                opened.append(words.value(0) + ' ' + words.value(2));
        }
        QCOMPARE(opened.mid(0, 2), QByteArrayList({ "COM3 2400,N,8,1", "COM3 1200,N,8,1" }));

        const QMap<QString, QByteArray> after = folderContents(app.configHome());
        QCOMPARE(after.keys(), before.keys());
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    }
};

KORVANET_TEST_MAIN(tst_E2eDemo)
#include "tst_e2e_demo.moc"
