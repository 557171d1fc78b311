// SPDX-License-Identifier: GPL-3.0-or-later
// The real utility on the machines technicians have: small screens whose panels take part of
// them, at every scale factor a desktop offers; a decimal-comma locale; and every way out,
// after which nothing may be left in the temporary folder.

#include "app/controltable.h"
#include "tests/e2e/e2esupport.h"
#include "tests/support/pty.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

using namespace E2e;

namespace {

bool isBlack(const QImage &image, int x, int y)
{
    return (image.pixel(x, y) & 0xffffff) == 0;
}

bool blackRow(const QImage &image, int y, int left, int right)
{
    for (int x = left; x <= right; ++x) {
        if (!isBlack(image, x, y))
            return false;
    }
    return true;
}

bool blackColumn(const QImage &image, int x, int top, int bottom)
{
    for (int y = top; y <= bottom; ++y) {
        if (!isBlack(image, x, y))
            return false;
    }
    return true;
}

// What is wrong with the outline of the button at `area` of `image`; empty when it is whole,
// sharp (pure black) on all four sides, with the face inside and no face colour outside. Each
// side is looked for a pixel either way of where the control table puts it: at fractional
// scales the rounding decides.
QString outlineProblem(const QImage &image, const QRect &area, QRgb face)
{
    if (!image.rect().adjusted(1, 1, -1, -1).contains(area.adjusted(-1, -1, 1, 1)))
        return QStringLiteral("outside the window");
    const auto find = [](int from, int to, auto isEdge) {
        for (int at = from; from <= to ? at <= to : at >= to; at += from <= to ? 1 : -1) {
            if (isEdge(at))
                return at;
        }
        return -1;
    };
    const int x0 = area.left() + 2, x1 = area.right() - 2, y0 = area.top() + 2,
              y1 = area.bottom() - 2;
    const int top =
            find(area.top() - 1, area.top() + 1, [&](int y) { return blackRow(image, y, x0, x1); });
    const int bottom = find(area.bottom() + 1, area.bottom() - 1,
                            [&](int y) { return blackRow(image, y, x0, x1); });
    const int left = find(area.left() - 1, area.left() + 1,
                          [&](int x) { return blackColumn(image, x, y0, y1); });
    const int right = find(area.right() + 1, area.right() - 1,
                           [&](int x) { return blackColumn(image, x, y0, y1); });
    if (top < 0 || bottom < 0 || left < 0 || right < 0)
        return QStringLiteral("a side without outline (top %1, bottom %2, left %3, right %4)")
                .arg(top)
                .arg(bottom)
                .arg(left)
                .arg(right);
    if (!blackRow(image, top, left, right) || !blackRow(image, bottom, left, right)
        || !blackColumn(image, left, top, bottom) || !blackColumn(image, right, top, bottom))
        return QStringLiteral("corners not closed");
    const auto isFace = [&](int x, int y) {
        return (image.pixel(x, y) & 0xffffff) == (face & 0xffffff);
    };
    for (int x = left; x <= right; ++x) {
        if (isFace(x, top - 1) || isFace(x, bottom + 1))
            return QStringLiteral("face colour outside the outline at x %1").arg(x);
    }
    for (int y = top; y <= bottom; ++y) {
        if (isFace(left - 1, y) || isFace(right + 1, y))
            return QStringLiteral("face colour outside the outline at y %1").arg(y);
    }
    // As thick as a logical pixel rounds to, then the face.
    const int middle = (top + bottom) / 2;
    int inner = left;
    while (inner < right && isBlack(image, inner, middle))
        ++inner;
    if (inner - left > 3 || !isFace(inner, middle))
        return QStringLiteral("outline %1 pixels thick, then %2")
                .arg(inner - left)
                .arg(image.pixel(inner, middle) & 0xffffff, 6, 16, QLatin1Char('0'));
    return {};
}

} // namespace

class tst_E2eMachines : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<XServer> m_x;
    QSize m_screen;

    // One server per screen size, kept for the rows that follow.
    bool serverFor(QSize screen, QRect workArea, QString *error)
    {
        if (m_x && m_screen == screen)
            return true;
        m_x = std::make_unique<XServer>();
        m_screen = screen;
        return m_x->start(error, screen, workArea);
    }

private slots:
    void initTestCase()
    {
        const QString missing = missingTools();
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
    }

    void screens_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QRect>("workArea"); // what the panels leave
        QTest::addColumn<QString>("scale");
        QTest::addColumn<QString>("picture"); // saved for the docs; empty: none
        const struct
        {
            QSize screen;
            QRect workArea;
        } machines[] = {
            { { 1024, 600 }, { 0, 0, 1024, 552 } }, // a rugged laptop, a panel at the bottom
            { { 1024, 768 }, { 0, 0, 1024, 728 } },
            { { 1366, 768 }, { 0, 27, 1366, 741 } }, // a bar at the top
            { { 1920, 1080 }, { 64, 0, 1856, 1080 } }, // a dock on the left
        };
        for (const auto &[screen, workArea] : machines) {
            for (const char *scale : { "1", "1.25", "1.5", "2" }) {
                const QString name = QStringLiteral("%1x%2 at %3")
                                             .arg(screen.width())
                                             .arg(screen.height())
                                             .arg(QLatin1StringView(scale));
                QString picture;
                if (screen == QSize(1366, 768) && qstrcmp(scale, "1") == 0)
                    picture = QStringLiteral("window-1366x768.png");
                if (screen == QSize(1920, 1080) && qstrcmp(scale, "1.5") == 0)
                    picture = QStringLiteral("window-scale-1.5.png");
                QTest::newRow(qPrintable(name))
                        << screen << workArea << QString::fromLatin1(scale) << picture;
            }
        }
    }

    // The whole window in the available area, every control in its place inside it with the
    // panel open, and every button's outline whole.
    void screens()
    {
        QFETCH(QSize, screen);
        QFETCH(QRect, workArea);
        QFETCH(QString, scale);
        QFETCH(QString, picture);
        QString error;
        QVERIFY2(serverFor(screen, workArea, &error), qPrintable(error));
        PtyPair pty;
        Utility app(*m_x);
        app.mapComPort(3, pty.slavePath());
        app.setEnvironment(QStringLiteral("QT_SCALE_FACTOR"), scale);
        QVERIFY2(app.start({}, &error), qPrintable(error));
        const QRect window = app.geometry();
        qInfo("window %dx%d at %d,%d in %dx%d+%d+%d", window.width(), window.height(), window.x(),
              window.y(), workArea.width(), workArea.height(), workArea.x(), workArea.y());
        QVERIFY(workArea.contains(window));
        // Uniformly: the designed proportions, to a pixel.
        const QSize designed = clientPixelSize() + QSize(2, 2);
        QVERIFY(std::abs(window.height()
                         - window.width() * designed.height() / double(designed.width()))
                <= 2);
        for (const ControlRow &row : controlTable())
            QVERIFY2(window.contains(app.screenRect(row.name)), row.name);

        QVERIFY(app.click("Command1"));
        QTRY_COMPARE_WITH_TIMEOUT(pty.lineSpeed(), speed_t(B19200), 5000);
        QVERIFY(app.click("Check1"));
        QTRY_VERIFY_WITH_TIMEOUT(mostly(app.grab("Command35"), Colours::Setting), 5000);
        const QImage shot = app.grab(window);
        QVERIFY(!shot.isNull());
        QStringList problems;
        for (const ControlRow &row : controlTable()) {
            if (row.kind != ControlKind::Button)
                continue;
            const QString problem =
                    outlineProblem(shot, app.screenRect(row.name).translated(-window.topLeft()),
                                   colourOf(row.colour).rgb());
            if (!problem.isEmpty())
                problems.append(QStringLiteral("%1: %2").arg(QLatin1StringView(row.name), problem));
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
        if (!picture.isEmpty())
            QVERIFY(app.saveWindowPicture(QStringLiteral(KORVANET_E2E_OUTPUT "/") + picture));

        QVERIFY(app.click("Command33"));
        QVERIFY(app.process().waitForFinished(5000));
    }

    // Typed into the real window under a decimal-comma locale, "3.5" is COM4, as everywhere.
    void decimalCommaLocale()
    {
        QString error;
        QVERIFY2(serverFor(QSize(1280, 1024), QRect(), &error), qPrintable(error));
        PtyPair com3, com4;
        Utility app(*m_x);
        app.mapComPort(3, com3.slavePath());
        app.mapComPort(4, com4.slavePath());
        app.setEnvironment(QStringLiteral("LC_ALL"), QStringLiteral("fi_FI.UTF-8"));
        QVERIFY2(app.start({}, &error), qPrintable(error));
        QVERIFY(app.typeInto("Combo2", QStringLiteral("3.5")));
        QVERIFY(app.click("Command1"));
        QTRY_COMPARE_WITH_TIMEOUT(com4.lineSpeed(), speed_t(B19200), 5000);
        QCOMPARE(com3.lineSpeed(), speed_t(B38400));
        QVERIFY(app.click("Command33"));
        QVERIFY(app.process().waitForFinished(5000));
        QCOMPARE(com4.readAvailable(), QByteArray("QM++O\r\n"));
    }

    void nothingLeftBehind_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("demo");
        for (const char *way : { "Close software", "window closed", "SIGTERM" }) {
            QTest::newRow(way) << QString::fromLatin1(way) << false;
            QTest::newRow(qPrintable(QStringLiteral("%1, demo").arg(QLatin1StringView(way))))
                    << QString::fromLatin1(way) << true;
        }
    }

    void nothingLeftBehind()
    {
        QFETCH(QString, way);
        QFETCH(bool, demo);
        QString error;
        QVERIFY2(serverFor(QSize(1280, 1024), QRect(), &error), qPrintable(error));
        QTemporaryDir temporary;
        PtyPair pty;
        Utility app(*m_x);
        app.mapComPort(3, pty.slavePath());
        app.setEnvironment(QStringLiteral("TMPDIR"), temporary.path());
        QVERIFY2(app.start(demo ? QStringList{ QStringLiteral("--demo") } : QStringList(), &error),
                 qPrintable(error));
        // Open first: "Close software" on a closed port would reach for COM1.
        QVERIFY(app.click("Command1"));
        QTRY_VERIFY_WITH_TIMEOUT(filledWith(app.grab("Text2"), Colours::Window), 5000);

        if (way == u"Close software")
            QVERIFY(app.click("Command33"));
        else if (way == u"window closed")
            QVERIFY(run(QStringLiteral(KORVANET_CLOSEWINDOW),
                        { QString::fromLatin1(app.windowId()) }, m_x->display()));
        else
            app.process().terminate();
        QVERIFY2(app.process().waitForFinished(5000), qPrintable(way));
        const QStringList left =
                QDir(temporary.path())
                        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
    }
};

KORVANET_TEST_MAIN(tst_E2eMachines)
#include "tst_e2e_machines.moc"
