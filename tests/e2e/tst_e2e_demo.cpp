// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet --demo` as a newcomer tries it: no modem, no settings, an X server of its own.
// The built-in simulated modem must answer on COM 3 at the preset rate, and the window is
// photographed with an answer in the log and the signal bar running (the README's picture).

#include "app/controltable.h"
#include "tests/e2e/e2esupport.h"
#include "tests/support/pty.h"

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
};

KORVANET_TEST_MAIN(tst_E2eDemo)
#include "tst_e2e_demo.moc"
