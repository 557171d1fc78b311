// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/e2e/e2esupport.h"

#include "app/controltable.h"
#include "monitor/rssigraph.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <cmath>
#include <csignal>
#include <sys/prctl.h>

namespace E2e {
namespace {

// Debian's ImageMagick by its full path: another `convert` may come first on the PATH.
const QString convertTool = QStringLiteral("/usr/bin/convert");

QSize windowSize()
{
    const int frame = 2 * (BorderTwips / TwipsPerPixel);
    return { ClientWidthTwips / TwipsPerPixel + frame, ClientHeightTwips / TwipsPerPixel + frame };
}

QString cropGeometry(const QRect &area)
{
    return QStringLiteral("%1x%2+%3+%4")
            .arg(area.width())
            .arg(area.height())
            .arg(area.x())
            .arg(area.y());
}

} // namespace

std::optional<QByteArray> run(const QString &program, const QStringList &arguments,
                              const QString &display, int timeoutMs, bool quiet)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(env);
    tool.start(program, arguments);
    if (!tool.waitForFinished(timeoutMs) || tool.exitStatus() != QProcess::NormalExit
        || tool.exitCode() != 0) {
        if (!quiet) {
            qWarning("%s %s failed: %s", qPrintable(program), qPrintable(arguments.join(u' ')),
                     tool.readAllStandardError().constData());
        }
        return std::nullopt;
    }
    return tool.readAllStandardOutput();
}

QString missingTools()
{
    QStringList missing;
    for (const char *tool : { "Xvfb", "xdotool", "xdpyinfo", "xprop", "import" }) {
        if (QStandardPaths::findExecutable(QLatin1StringView(tool)).isEmpty())
            missing.append(QLatin1StringView(tool));
    }
    if (!QFile::exists(convertTool))
        missing.append(convertTool);
    if (missing.isEmpty())
        return {};
    return missing.join(u' ') + QStringLiteral(" missing (scripts/deps.sh installs them)");
}

ChildProcess::ChildProcess()
{
    setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

ChildProcess::~ChildProcess()
{
    end();
}

void ChildProcess::end(int graceMs)
{
    if (state() == QProcess::NotRunning)
        return;
    terminate();
    if (!waitForFinished(graceMs)) {
        kill();
        waitForFinished(graceMs);
    }
}

bool XServer::start(QString *error, QSize size, QRect workArea)
{
    // The server picks a free display itself and says which: no clash with another server,
    // nor with a second run of these tests at the same time. Without -noreset it resets
    // whenever its last client goes (xdpyinfo below, any xdotool call before the utility
    // connects) and refuses a client that comes meanwhile.
    m_process.start(
            QStringLiteral("Xvfb"),
            { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
              QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()),
              QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset") });
    if (!m_process.waitForReadyRead(10000)) {
        *error = QStringLiteral("Xvfb did not start: ")
                + QString::fromLocal8Bit(m_process.readAllStandardError());
        return false;
    }
    const QByteArray number = m_process.readLine().trimmed();
    if (number.isEmpty()) {
        *error = QStringLiteral("Xvfb named no display");
        return false;
    }
    m_display = u':' + QString::fromLatin1(number);
    const QDeadlineTimer ready(10000);
    while (!run(QStringLiteral("xdpyinfo"), {}, display(), 10000, true)) {
        if (ready.hasExpired()) {
            *error = QStringLiteral("Xvfb on %1 did not answer").arg(display());
            return false;
        }
        QTest::qWait(20);
    }
    if (workArea.isValid()) {
        const QString area = QStringLiteral("%1,%2,%3,%4")
                                     .arg(workArea.x())
                                     .arg(workArea.y())
                                     .arg(workArea.width())
                                     .arg(workArea.height());
        const QString atom = QStringLiteral("_NET_WORKAREA");
        if (!run(QStringLiteral("xprop"),
                 { QStringLiteral("-root"), QStringLiteral("-format"), atom, QStringLiteral("32c"),
                   QStringLiteral("-set"), atom, area },
                 display())) {
            *error = QStringLiteral("xprop could not set the work area");
            return false;
        }
    }
    return true;
}

bool ModemSim::start(const QStringList &arguments, QString *error)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(KORVANET_MODEM_SIM), arguments);
    const QDeadlineTimer deadline(10000);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            *error = QStringLiteral("korvanet-modem-sim printed no device: %1")
                             .arg(m_process.errorString());
            return false;
        }
    }
    m_slavePath = QString::fromLocal8Bit(m_process.readLine().trimmed());
    if (!m_slavePath.startsWith(u'/')) {
        *error = QStringLiteral("korvanet-modem-sim printed no device but \"%1\"").arg(m_slavePath);
        return false;
    }
    return true;
}

void ModemSim::readLines()
{
    // Takes in what the pipe holds now, not only what an earlier wait already read.
    while (m_process.waitForReadyRead(0)) { }
    while (m_process.canReadLine()) {
        QByteArray line = m_process.readLine();
        line.chop(1);
        m_lines.append(line);
    }
}

QByteArrayList ModemSim::lines()
{
    readLines();
    return m_lines;
}

qsizetype ModemSim::waitForLine(QByteArrayView line, qsizetype from, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        readLines();
        for (qsizetype i = from; i < m_lines.size(); ++i) {
            if (m_lines.at(i) == line)
                return i;
        }
        if (deadline.hasExpired())
            return -1;
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
}

QByteArrayList ModemSim::frames()
{
    QByteArrayList result;
    for (const QByteArray &line : lines()) {
        if (line.startsWith("< "))
            result.append(line.mid(2));
    }
    return result;
}

Utility::Utility(const XServer &server) : m_server(server) { }

void Utility::mapComPort(int number, const QString &device)
{
    const QString directory = m_home.filePath(QStringLiteral("config/Korvanet"));
    QDir().mkpath(directory);
    QFile store(directory + QStringLiteral("/Korvanet.conf"));
    const bool fresh = !store.exists();
    if (!store.open(QIODevice::Append | QIODevice::Text))
        qFatal("cannot write %s", qPrintable(store.fileName()));
    if (fresh)
        store.write("[Ports]\n");
    store.write(QStringLiteral("COM%1=%2\n").arg(number).arg(device).toLocal8Bit());
}

void Utility::setEnvironment(const QString &name, const QString &value)
{
    m_environment.append({ name, value });
}

bool Utility::start(const QStringList &arguments, QString *error)
{
    if (!m_home.isValid()) {
        *error = m_home.errorString();
        return false;
    }
    QDir(m_home.path()).mkpath(QStringLiteral("config"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    // The temporary directory is private to this user, as the runtime directory must be.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path());
    env.insert(QStringLiteral("KORVANET_LOG_TRACE"), m_home.filePath(QStringLiteral("log.trace")));
    for (const auto &[name, value] : std::as_const(m_environment))
        env.insert(name, value);
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(QStringLiteral(KORVANET_BINARY), arguments);
    if (!m_process.waitForStarted(5000)) {
        *error = m_process.errorString();
        return false;
    }

    // The one window of the utility at start; its size is the designed one unless it had to
    // shrink to fit its screen. Qt's helper windows of the same class are a pixel or three wide.
    const QDeadlineTimer deadline(20000);
    for (;;) {
        for (const QByteArray &window : visibleWindows()) {
            const std::optional<QRect> geometry = geometryOf(window);
            if (geometry && geometry->width() > 100 && geometry->height() > 100) {
                m_window = window;
                m_origin = geometry->topLeft();
                m_size = geometry->size();
                return true;
            }
        }
        if (m_process.state() == QProcess::NotRunning) {
            *error = QStringLiteral("korvanet ended with %1 before its window showed")
                             .arg(m_process.exitCode());
            return false;
        }
        if (deadline.hasExpired()) {
            *error = QStringLiteral("no visible korvanet window");
            return false;
        }
        QTest::qWait(20);
    }
}

QString Utility::title() const
{
    const std::optional<QByteArray> name =
            xdotool({ QStringLiteral("getwindowname"), QString::fromLatin1(m_window) });
    return name ? QString::fromUtf8(name->trimmed()) : QString();
}

QList<QByteArray> Utility::visibleWindows() const
{
    const QByteArray found = xdotool({ QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                       QStringLiteral("--class"), QStringLiteral("korvanet") },
                                     Quiet)
                                     .value_or(QByteArray());
    QList<QByteArray> windows;
    for (const QByteArray &line : found.split('\n')) {
        if (!line.trimmed().isEmpty())
            windows.append(line.trimmed());
    }
    return windows;
}

std::optional<QRect> Utility::geometryOf(const QByteArray &window) const
{
    const std::optional<QByteArray> shell =
            xdotool({ QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                      QString::fromLatin1(window) },
                    Quiet);
    if (!shell)
        return std::nullopt;
    QHash<QString, int> values;
    static const QRegularExpression line(QStringLiteral("^(\\w+)=(-?\\d+)$"),
                                         QRegularExpression::MultilineOption);
    for (const auto &m : line.globalMatch(QString::fromLatin1(*shell)))
        values.insert(m.captured(1), m.captured(2).toInt());
    return QRect(values.value(QStringLiteral("X")), values.value(QStringLiteral("Y")),
                 values.value(QStringLiteral("WIDTH")), values.value(QStringLiteral("HEIGHT")));
}

std::optional<QByteArray> Utility::dialog() const
{
    for (const QByteArray &window : visibleWindows()) {
        const std::optional<QRect> geometry = geometryOf(window);
        if (window != m_window && geometry && geometry->width() > 3 && geometry->height() > 3)
            return window;
    }
    return std::nullopt;
}

std::optional<QByteArray> Utility::xdotool(const QStringList &arguments, bool quiet) const
{
    return run(QStringLiteral("xdotool"), arguments, display(), 10000, quiet);
}

QRect Utility::screenRect(const char *control) const
{
    const int border = BorderTwips / TwipsPerPixel;
    const QRect designed =
            pixelRect(controlRow(QLatin1StringView(control))).translated(QPoint(border, border));
    const double scale = double(m_size.width()) / windowSize().width();
    const auto at = [scale](int pixels) { return int(std::lround(pixels * scale)); };
    return QRect(QPoint(at(designed.left()), at(designed.top())),
                 QPoint(at(designed.right() + 1) - 1, at(designed.bottom() + 1) - 1))
            .translated(m_origin);
}

bool Utility::click(const char *control)
{
    // No --sync: it waits for the pointer to move, forever when it stands there already (a
    // button clicked twice). The server handles the move before the click all the same.
    const QPoint at = screenRect(control).center();
    return xdotool({ QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                     QStringLiteral("click"), QStringLiteral("1") })
            .has_value();
}

bool Utility::doubleClick(const char *control)
{
    const QPoint at = screenRect(control).center();
    return xdotool({ QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                     QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                     QStringLiteral("--delay"), QStringLiteral("50"), QStringLiteral("1") })
            .has_value();
}

bool Utility::typeInto(const char *control, const QString &text)
{
    return click(control) && key(QStringLiteral("ctrl+a")) && type(text);
}

bool Utility::type(const QString &text)
{
    return xdotool({ QStringLiteral("type"), QStringLiteral("--"), text }).has_value();
}

bool Utility::key(const QString &keys)
{
    return xdotool({ QStringLiteral("key"), keys }).has_value();
}

bool Utility::waitForDialog(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // Shown is not enough: a key pressed before the box has the focus goes to the
        // blocked main window and is lost.
        const std::optional<QByteArray> focus =
                xdotool({ QStringLiteral("getwindowfocus") }, Quiet);
        const std::optional<QByteArray> box = dialog();
        if (box && focus && focus->trimmed() == *box)
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
}

bool Utility::waitForNoDialog(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (dialog()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

QImage Utility::grab(const QRect &area) const
{
    const std::optional<QByteArray> png =
            run(QStringLiteral("import"),
                { QStringLiteral("-silent"), QStringLiteral("-window"), QStringLiteral("root"),
                  QStringLiteral("-crop"), cropGeometry(area), QStringLiteral("png:-") },
                display());
    return png ? QImage::fromData(*png, "PNG") : QImage();
}

bool Utility::saveWindowPicture(const QString &path) const
{
    const QString screen = m_home.filePath(QStringLiteral("screen.png"));
    return run(QStringLiteral("import"),
               { QStringLiteral("-silent"), QStringLiteral("-window"), QStringLiteral("root"),
                 screen },
               display())
            && run(convertTool,
                   { screen, QStringLiteral("-crop"), cropGeometry(geometry()),
                     QStringLiteral("+repage"), path },
                   display());
}

QByteArrayList Utility::logTexts() const
{
    QFile trace(m_home.filePath(QStringLiteral("log.trace")));
    if (!trace.open(QIODevice::ReadOnly))
        return {};
    QByteArrayList texts = trace.readAll().split('\n');
    texts.removeLast(); // after the last line's end
    return texts;
}

qsizetype Utility::waitForLogText(QByteArrayView text, qsizetype from, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QByteArrayList texts = logTexts();
        for (qsizetype i = from; i < texts.size(); ++i) {
            if (texts.at(i) == text)
                return i;
        }
        if (deadline.hasExpired())
            return -1;
        QTest::qWait(20);
    }
}

QMap<QString, QByteArray> folderContents(const QString &root)
{
    QMap<QString, QByteArray> contents;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QDir(root).relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            contents.insert(name + u'/', {});
            continue;
        }
        QFile file(path);
        contents.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : "(unreadable)");
    }
    return contents;
}

int lightPixels(const QImage &image, int floor)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            count += qRed(pixel) >= floor && qGreen(pixel) >= floor && qBlue(pixel) >= floor;
        }
    }
    return count;
}

int pixelsOf(const QImage &image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += (image.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
    }
    return count;
}

bool mostly(const QImage &image, QRgb colour)
{
    return !image.isNull() && 2 * pixelsOf(image, colour) > image.width() * image.height();
}

bool isBarColour(QRgb pixel)
{
    const QRgb rgb = pixel & 0xffffff;
    return rgb == (BarColours::Red & 0xffffff) || rgb == (BarColours::Yellow & 0xffffff)
            || rgb == (BarColours::Green & 0xffffff);
}

QRgb centrePixel(const QImage &image)
{
    return image.isNull() ? 0 : image.pixel(image.rect().center());
}

bool filledWith(const QImage &image, QRgb colour)
{
    if (image.width() < 3 || image.height() < 3)
        return false;
    for (int y = 1; y < image.height() - 1; ++y) {
        for (int x = 1; x < image.width() - 1; ++x) {
            if ((image.pixel(x, y) & 0xffffff) != (colour & 0xffffff))
                return false;
        }
    }
    return true;
}

} // namespace E2e
