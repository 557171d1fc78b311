// SPDX-License-Identifier: GPL-3.0-or-later
// "Close software": the enable-transmission frame reaches the modem, the port closes and the
// process ends, whatever state the port and the other handlers are in. The end itself is
// recorded instead of ending this test.

#include "session/settingsstore.h"
#include "serial/widget/responselog.h"
#include "tests/support/windowonpty.h"

#include <QSettings>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QByteArray enableFrame = "QM++O\r\n";

struct End
{
    int exitCode;
    bool portOpen;
    bool insideWait;
};

// What ended up on standard error while it lived: the handler reports there, not in a box.
class StderrCapture
{
public:
    StderrCapture()
    {
        std::fflush(stderr);
        if (::pipe(m_pipe) == 0) {
            ::fcntl(m_pipe[0], F_SETFL, O_NONBLOCK);
            m_saved = ::dup(STDERR_FILENO);
            ::dup2(m_pipe[1], STDERR_FILENO);
        }
    }
    ~StderrCapture() { restore(); }

    QByteArray restore()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
            m_saved = -1;
            ::close(m_pipe[1]);
            char buffer[4096];
            for (ssize_t n; (n = ::read(m_pipe[0], buffer, sizeof buffer)) > 0;)
                m_text.append(buffer, n);
            ::close(m_pipe[0]);
        }
        return m_text;
    }

private:
    int m_pipe[2] = { -1, -1 };
    int m_saved = -1;
    QByteArray m_text;
};

} // namespace

class tst_CloseSoftware : public QObject
{
    Q_OBJECT

private:
    QList<End> m_ends;
    bool m_insideWait = false;
    Form1 *m_form = nullptr;

private slots:
    void initTestCase()
    {
        // For the whole run: no test may end the test process.
        Form1::setProcessEnd([this](int exitCode) {
            m_ends.append({ exitCode, m_form && m_form->MSComm1->PortOpen(), m_insideWait });
        });
    }

    void init()
    {
        resetSettings();
        m_ends.clear();
        m_insideWait = false;
        m_form = nullptr;
    }

    void sendsFrameClosesAndEnds_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("settings");
        // The component's initial port and settings: COM1 at 9600.
        QTest::newRow("never opened") << "never" << 1 << "9600,N,8,1";
        // What the last Open port applied, whatever the lists show now.
        QTest::newRow("opened and closed") << "closed" << 3 << "2400,N,8,1";
        QTest::newRow("open") << "open" << 3 << "38400,N,8,1";
    }

    void sendsFrameClosesAndEnds()
    {
        QFETCH(QString, state);
        QFETCH(int, port);
        QFETCH(QString, settings);
        PtyPair pty;
        // What the lists show at the end leads here; it must stay untouched.
        PtyPair decoy;
        mapComPort(port, pty.slavePath());
        mapComPort(port == 1 ? 3 : 1, decoy.slavePath());
        MessageBox::Script script;
        Form1 form;
        m_form = &form;
        form.show();
        if (state != u"never") {
            form.Combo2->setEditText(QStringLiteral(" 3"));
            form.Combo1->setEditText(state == u"open" ? QStringLiteral("38400")
                                                      : QStringLiteral("2400"));
            QTest::mouseClick(form.Command1, Qt::LeftButton);
            QVERIFY(form.MSComm1->PortOpen());
        }
        if (state == u"closed") {
            QTest::mouseClick(form.Command36, Qt::LeftButton);
            QVERIFY(!form.MSComm1->PortOpen());
            // Not consulted by "Close software".
            form.Combo2->setEditText(QStringLiteral(" 1"));
            form.Combo1->setEditText(QStringLiteral("4800"));
        }
        form.Text2->setText(QStringLiteral("kept"));

        QTest::mouseClick(form.Command33, Qt::LeftButton);
        QCOMPARE(m_ends.size(), 1);
        QCOMPARE(m_ends[0].exitCode, 0);
        QVERIFY2(!m_ends[0].portOpen, "the port was still open when the process ended");
        // The frame was on the line before the port closed and the end came.
        QCOMPARE(pty.readAvailable(), enableFrame);
        QCOMPARE(decoy.readAvailable(), QByteArray());
        QCOMPARE(form.MSComm1->CommPort(), port);
        QCOMPARE(form.MSComm1->Settings(), settings);
        QVERIFY(!form.MSComm1->PortOpen());
        QCOMPARE(form.Text2->text(), QStringLiteral("kept"));
        QVERIFY2(script.shown().isEmpty(), qPrintable(script.texts().join(u'|')));
        const SettingsStore::File store;
        QVERIFY(!store.contains(QStringLiteral("Settings/ComPort")));
        QVERIFY(!store.contains(QStringLiteral("Settings/BaudRate")));
    }

    void endsWhileAnotherHandlerWaits_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("sentBefore");
        QTest::newRow("Save settings") << "Command11" << QByteArray("QM**>\r\n");
        QTest::newRow("Get serial params") << "Command2" << QByteArray();
    }

    void endsWhileAnotherHandlerWaits()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, sentBefore);
        WindowOnPty w;
        w.script.answerNext(true);
        m_form = &w.form;
        QVERIFY(w.show());
        w.form.Combo2->setEditText(QStringLiteral(" 3"));
        QVERIFY(w.openPort());

        // Pressed by the user while the other handler sits in its wait.
        QTimer::singleShot(50, this, [&w] { QTest::mouseClick(w.form.Command33, Qt::LeftButton); });
        m_insideWait = true;
        QTest::mouseClick(w.button(button), Qt::LeftButton);
        m_insideWait = false;

        QCOMPARE(m_ends.size(), 1);
        QCOMPARE(m_ends[0].exitCode, 0);
        QVERIFY2(m_ends[0].insideWait, "the end came only after the waiting handler returned");
        QVERIFY(!m_ends[0].portOpen);
        const QByteArray expected = sentBefore + enableFrame;
        QCOMPARE(w.pty.readCount(expected.size()).left(expected.size()), expected);
    }

    void failedOpenStillEnds()
    {
        const QString missing = QStringLiteral("/nonexistent/ttyKorvanet1");
        mapComPort(1, missing);
        MessageBox::Script script;
        Form1 form;
        m_form = &form;
        form.show();

        StderrCapture captured;
        QTest::mouseClick(form.Command33, Qt::LeftButton);
        const QByteArray said = captured.restore();

        QCOMPARE(m_ends.size(), 1);
        QCOMPARE(m_ends[0].exitCode, 0);
        QVERIFY(!form.MSComm1->PortOpen());
        QVERIFY2(script.shown().isEmpty(), qPrintable(script.texts().join(u'|')));
        // The reason goes to standard error, naming the device that failed.
        QVERIFY2(said.contains(missing.toLocal8Bit()), said.constData());
    }
};

KORVANET_TEST_MAIN(tst_CloseSoftware)
#include "tst_closesoftware.moc"
