// The real korvanet binary as its own process on its own X server: "Open port" and then
// "Close software" are clicked with xdotool where they stand on the window, and the far end
// of the port must see the enable-transmission frame before the process ends with 0.

#include "app/controltable.h"
#include "tests/support/pty.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

// Runs a tool to its end and returns its output; nothing when it failed or took too long.
std::optional<QByteArray> run(const QString &program, const QStringList &arguments,
                              const QString &display, int timeoutMs = 10000)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(env);
    tool.start(program, arguments);
    if (!tool.waitForFinished(timeoutMs) || tool.exitStatus() != QProcess::NormalExit
        || tool.exitCode() != 0) {
        qWarning("%s %s failed: %s", qPrintable(program), qPrintable(arguments.join(u' ')),
                 tool.readAllStandardError().constData());
        return std::nullopt;
    }
    return tool.readAllStandardOutput();
}

// The centre of a control on the screen, from the window's place and the control's twips.
QPoint centreOf(const char *name, QPoint window)
{
    const QRect control = pixelRect(controlSpec(QLatin1StringView(name)));
    const int border = BorderTwips / TwipsPerPixel;
    return window + QPoint(border, border) + control.center();
}

} // namespace

class tst_E2eCloseSoftware : public QObject
{
    Q_OBJECT

private:
    QProcess m_xvfb;
    QString m_display;

    bool click(QPoint at)
    {
        return run(QStringLiteral("xdotool"),
                   {QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                    QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")},
                   m_display)
            .has_value();
    }

private slots:
    void initTestCase()
    {
        for (const char *tool : {"Xvfb", "xdotool", "xdpyinfo"}) {
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1StringView(tool)).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing (scripts/deps.sh installs it)")
                                    .arg(QLatin1StringView(tool))));
        }
        // The server picks a free display itself and says which: no clash with another
        // server, nor with a second run of this test at the same time.
        m_xvfb.start(QStringLiteral("Xvfb"),
                     {QStringLiteral("-displayfd"), QStringLiteral("1"),
                      QStringLiteral("-screen"), QStringLiteral("0"),
                      QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                      QStringLiteral("tcp")});
        QVERIFY2(m_xvfb.waitForReadyRead(10000), m_xvfb.readAllStandardError().constData());
        const QByteArray number = m_xvfb.readLine().trimmed();
        QVERIFY2(!number.isEmpty(), "Xvfb named no display");
        m_display = u':' + QString::fromLatin1(number);
        const QDeadlineTimer ready(10000);
        while (!run(QStringLiteral("xdpyinfo"), {}, m_display) && !ready.hasExpired())
            QTest::qWait(50);
        QVERIFY2(!ready.hasExpired(), "Xvfb did not come up");
    }

    void cleanupTestCase()
    {
        m_xvfb.terminate();
        m_xvfb.waitForFinished(5000);
    }

    void closeSoftwareSendsFrameAndEnds()
    {
        resetSettings();
        PtyPair pty;
        mapComPort(3, pty.slavePath());
        // Should "Open port" have missed, "Close software" must not reach a real COM1.
        mapComPort(1, QStringLiteral("/nonexistent/ttyKorvanetE2e"));

        QProcess korvanet;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        korvanet.setProcessEnvironment(env); // XDG_CONFIG_HOME: this test's own store
        korvanet.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        korvanet.start(QStringLiteral(KORVANET_BINARY), QStringList());
        QVERIFY2(korvanet.waitForStarted(5000), qPrintable(korvanet.errorString()));

        const QByteArray windows = run(QStringLiteral("xdotool"),
                                       {QStringLiteral("search"), QStringLiteral("--sync"),
                                        QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                        QStringLiteral("^Korvanet$")},
                                       m_display, 20000)
                                       .value_or(QByteArray());
        const QByteArray window = windows.split('\n').constFirst().trimmed();
        QVERIFY2(!window.isEmpty(), "no visible window named Korvanet");

        const QByteArray shell = run(QStringLiteral("xdotool"),
                                     {QStringLiteral("getwindowgeometry"),
                                      QStringLiteral("--shell"), QString::fromLatin1(window)},
                                     m_display)
                                     .value_or(QByteArray());
        QHash<QString, int> geometry;
        static const QRegularExpression line(QStringLiteral("^(\\w+)=(\\d+)$"),
                                             QRegularExpression::MultilineOption);
        for (const auto &m : line.globalMatch(QString::fromLatin1(shell)))
            geometry.insert(m.captured(1), m.captured(2).toInt());
        // The size tells it is the utility's window; the place is wherever it was centred.
        const int frame = 2 * (BorderTwips / TwipsPerPixel);
        QCOMPARE(geometry.value(QStringLiteral("WIDTH")), ClientWidthTwips / TwipsPerPixel + frame);
        QCOMPARE(geometry.value(QStringLiteral("HEIGHT")),
                 ClientHeightTwips / TwipsPerPixel + frame);
        const QPoint origin(geometry.value(QStringLiteral("X")),
                            geometry.value(QStringLiteral("Y")));

        QVERIFY(click(centreOf("Command1", origin)));
        // Open: the line runs at the default 19200 now (a fresh pseudo-terminal has 38400).
        QTRY_COMPARE_WITH_TIMEOUT(pty.lineSpeed(), speed_t(B19200), 5000);
        QCOMPARE(pty.readAvailable(), QByteArray());

        QVERIFY(click(centreOf("Command33", origin)));
        QVERIFY2(korvanet.waitForFinished(5000), "korvanet did not end after \"Close software\"");
        QCOMPARE(korvanet.exitStatus(), QProcess::NormalExit);
        QCOMPARE(korvanet.exitCode(), 0);
        QCOMPARE(pty.readAvailable(), QByteArray("QM++O\r\n"));
    }
};

KORVANET_TEST_MAIN(tst_E2eCloseSoftware)
#include "tst_e2e_closesoftware.moc"
