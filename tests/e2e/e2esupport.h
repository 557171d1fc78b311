// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the end-to-end tests share: their own X server, the simulated modem and the real
// utility as separate processes, and the hands and eyes of a person at the screen (xdotool
// clicks and keys, screenshots). Every object ends what it started when it goes out of scope,
// so a failed check leaves no server, modem or window behind.

#include <QByteArrayList>
#include <QImage>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QTemporaryDir>

#include <optional>

namespace E2e {

// Runs a tool to its end and returns its output; nothing when it failed or took too long.
// `quiet` keeps expected failures (a search that finds nothing yet) out of the test log.
std::optional<QByteArray> run(const QString &program, const QStringList &arguments,
                              const QString &display, int timeoutMs = 10000, bool quiet = false);

// Which tools the tests need that are not installed, as a message; empty when all are there.
QString missingTools();

// A process that is ended, asked nicely first, when its owner goes; and killed by the
// system should the test itself die (a crash, CTest's timeout) before it could end it.
class ChildProcess : public QProcess
{
public:
    ChildProcess();
    ~ChildProcess() override;
    // SIGTERM, then SIGKILL if it has not gone within `graceMs`.
    void end(int graceMs = 3000);
};

// An Xvfb server on a display that no other server uses.
class XServer
{
public:
    // Starts the server with a screen of `size` and waits until it answers. A `workArea`
    // tells clients, as a desktop's panels do, which part of the screen is theirs.
    bool start(QString *error, QSize size = QSize(1280, 1024), QRect workArea = QRect());
    [[nodiscard]] QString display() const { return m_display; }

private:
    ChildProcess m_process;
    QString m_display;
};

// korvanet-modem-sim as its own process, with its event lines read as they come.
class ModemSim
{
public:
    bool start(const QStringList &arguments, QString *error);
    [[nodiscard]] QString slavePath() const { return m_slavePath; }
    // Ends the modem as a pulled-out adapter ends: the far end of its line hangs up.
    void end() { m_process.end(); }

    // Every event line so far, without the device path that came first.
    [[nodiscard]] QByteArrayList lines();
    // Waits until `line` comes at index `from` or later; its index, or -1 at the deadline.
    qsizetype waitForLine(QByteArrayView line, qsizetype from = 0, int timeoutMs = 5000);
    // The frames received so far ("< ..." lines), without the marker.
    [[nodiscard]] QByteArrayList frames();

private:
    void readLines();

    ChildProcess m_process;
    QString m_slavePath;
    QByteArrayList m_lines;
};

// The real korvanet binary on an X server, with settings and a log trace of its own.
class Utility
{
public:
    // The server needs to run only by start().
    explicit Utility(const XServer &server);

    // Written into the utility's own settings store before it starts.
    void mapComPort(int number, const QString &device);
    // The utility's XDG_CONFIG_HOME, where its settings store lives.
    [[nodiscard]] QString configHome() const { return m_home.filePath(QStringLiteral("config")); }
    // Set in the utility's environment (QT_SCALE_FACTOR, LC_ALL, TMPDIR), over the test's.
    void setEnvironment(const QString &name, const QString &value);

    // Starts it and waits until its window is shown.
    bool start(const QStringList &arguments, QString *error);
    [[nodiscard]] QProcess &process() { return m_process; }
    // The main window's title as window lists and tools read it (WM_NAME).
    [[nodiscard]] QString title() const;
    // The window's outer top-left corner on the screen.
    [[nodiscard]] QPoint origin() const { return m_origin; }
    // The main window on the screen, in the screen's pixels, and its X window id.
    [[nodiscard]] QRect geometry() const { return { m_origin, m_size }; }
    [[nodiscard]] QByteArray windowId() const { return m_window; }
    // A control's rectangle on the screen, from the control table and the window's size:
    // a window that had to shrink to fit its screen is scaled alike everywhere.
    [[nodiscard]] QRect screenRect(const char *control) const;

    // A left click at the centre of a control.
    bool click(const char *control);
    // Two left clicks at the centre of a control, quick enough to count as a double-click.
    bool doubleClick(const char *control);
    // Clicks a text box, selects all it holds and types `text` over it.
    bool typeInto(const char *control, const QString &text);
    // Key presses as xdotool names them ("Return", "ctrl+a"), to whichever window has focus.
    bool key(const QString &keys);
    // Types text as key presses, to whichever window has focus.
    bool type(const QString &text);
    // Waits until a window of the utility other than the main one (a message box) is shown
    // and has the keyboard focus.
    bool waitForDialog(int timeoutMs = 5000);
    // Waits until only the main window is left.
    bool waitForNoDialog(int timeoutMs = 5000);

    // The screen's pixels in `area`; a null image when the grab failed.
    [[nodiscard]] QImage grab(const QRect &area) const;
    [[nodiscard]] QImage grab(const char *control) const { return grab(screenRect(control)); }
    // The whole window cropped out of a screenshot, written as a PNG file.
    bool saveWindowPicture(const QString &path) const;

    // Every text the response log has had, in order, escaped as the trace writes them.
    [[nodiscard]] QByteArrayList logTexts() const;
    // Waits until the log's text becomes `text` (escaped as the trace writes it) at entry
    // `from` or later; its index, or -1 at the deadline.
    qsizetype waitForLogText(QByteArrayView text, qsizetype from = 0, int timeoutMs = 5000) const;

private:
    static constexpr bool Quiet = true;
    std::optional<QByteArray> xdotool(const QStringList &arguments, bool quiet = false) const;
    [[nodiscard]] QList<QByteArray> visibleWindows() const;
    [[nodiscard]] std::optional<QRect> geometryOf(const QByteArray &window) const;
    // A shown window of the utility other than the main one: a message box.
    [[nodiscard]] std::optional<QByteArray> dialog() const;

    [[nodiscard]] QString display() const { return m_server.display(); }

    const XServer &m_server;
    QTemporaryDir m_home;
    ChildProcess m_process;
    QByteArray m_window;
    QPoint m_origin;
    QSize m_size;
    QList<std::pair<QString, QString>> m_environment;
};

// Everything under `root` by its path there, a folder's with a "/" at the end: a file's bytes,
// a folder's nothing.
[[nodiscard]] QMap<QString, QByteArray> folderContents(const QString &root);

// Pixels in `image` whose red, green and blue are all at least `floor`: text on the grey boxes.
int lightPixels(const QImage &image, int floor = 0xc0);
// How many pixels of `image` are `colour`.
int pixelsOf(const QImage &image, QRgb colour);
// Whether more than half of `image` is `colour`: a button's face under its caption.
bool mostly(const QImage &image, QRgb colour);
// Whether `pixel` is one of the signal bar's pure fills: red, yellow or green.
bool isBarColour(QRgb pixel);
// The pixel at the centre of `image`; 0 (black, transparent) for a failed grab.
QRgb centrePixel(const QImage &image);
// Whether every pixel inside the 1 px frame of `image` is `colour`.
bool filledWith(const QImage &image, QRgb colour);

} // namespace E2e
