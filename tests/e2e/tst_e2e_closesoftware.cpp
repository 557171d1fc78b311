// SPDX-License-Identifier: GPL-3.0-or-later
// The real korvanet binary as its own process on its own X server: "Open port" and then
// "Close software" are clicked with xdotool where they stand on the window, and the far end
// of the port must see the enable-transmission frame before the process ends with 0.

#include "tests/e2e/e2esupport.h"
#include "tests/support/pty.h"

using namespace E2e;

class tst_E2eCloseSoftware : public QObject
{
    Q_OBJECT

private:
    XServer m_x;

private slots:
    void initTestCase()
    {
        const QString missing = missingTools();
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
        QString error;
        QVERIFY2(m_x.start(&error), qPrintable(error));
    }

    void closeSoftwareSendsFrameAndEnds()
    {
        PtyPair pty;
        Utility korvanet(m_x);
        korvanet.mapComPort(3, pty.slavePath());
        // Should "Open port" have missed, "Close software" must not reach a real COM1.
        korvanet.mapComPort(1, QStringLiteral("/nonexistent/ttyKorvanetE2e"));
        QString error;
        QVERIFY2(korvanet.start({}, &error), qPrintable(error));
        QCOMPARE(korvanet.title(), QStringLiteral("Korvanet"));

        QVERIFY(korvanet.click("Command1"));
        // Open: the line runs at the default 19200 now (a fresh pseudo-terminal has 38400).
        QTRY_COMPARE_WITH_TIMEOUT(pty.lineSpeed(), speed_t(B19200), 5000);
        QCOMPARE(pty.readAvailable(), QByteArray());

        QVERIFY(korvanet.click("Command33"));
        QVERIFY2(korvanet.process().waitForFinished(5000),
                 "korvanet did not end after \"Close software\"");
        QCOMPARE(korvanet.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(korvanet.process().exitCode(), 0);
        QCOMPARE(pty.readAvailable(), QByteArray("QM++O\r\n"));
    }
};

KORVANET_TEST_MAIN(tst_E2eCloseSoftware)
#include "tst_e2e_closesoftware.moc"
