// SPDX-License-Identifier: GPL-3.0-or-later
// Drives real processes on an X server (DISPLAY) and times them from the outside.
//
//   xbench startup --runs N --settle-ms MS NAME=COMMAND...
//       Start-up: from just before fork() to the MapNotify of the program's top-level window
//       (found by its _NET_WM_PID), then VmRSS once start-up has settled. The programs take
//       turns in every round, each round in a rotated order, after one unrecorded warm-up.
//       A COMMAND is a program and its arguments, separated by blanks.
//
//   xbench session --korvanet PATH --empty PATH --ptywrite PATH --clicks N --idle-s S
//       The release binary on a pseudo-terminal: "Open port" clicked with xdotool, then
//       "Get CH spacing" clicked with xdotool against a raw write() baseline, then wake-ups
//       while idle with the graph off, on with a silent modem, on with a modem that answers,
//       and the same count for the empty window. With XBENCH_STRACE=FILE it also writes an
//       strace of six seconds of the graph running, to see what wakes the utility.
//
// Results are "@@" lines (stats.h); "##" lines are notes for the report.

#include "app/controltable.h"
#include "platform/pty.h"
#include "stats.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using bench::nowMs;
using bench::report;

namespace {

[[noreturn]] void die(const std::string &message)
{
    std::fprintf(stderr, "xbench: %s\n", message.c_str());
    std::exit(1);
}

void sleepMs(double ms)
{
    if (ms <= 0)
        return;
    timespec t{ time_t(ms / 1000), long(std::fmod(ms, 1000.0) * 1e6) };
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) { }
}

// Starts a program with its standard output thrown away; standard error stays ours, so its
// complaints land in bench/run's log.
pid_t spawn(const std::vector<std::string> &argv)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        die("fork failed");
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

void stop(pid_t pid)
{
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        sleepMs(10);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

int pidfdOpen(pid_t pid)
{
    return int(::syscall(SYS_pidfd_open, pid, 0));
}

struct MappedWindow
{
    Window id = 0;
    double at = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

long windowPid(Display *dpy, Window w)
{
    static const Atom netWmPid = XInternAtom(dpy, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    long pid = 0;
    if (XGetWindowProperty(dpy, w, netWmPid, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &after, &data)
                == Success
        && data && count == 1 && format == 32)
        pid = long(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

// Waits for the MapNotify of a top-level window that belongs to `pid`. The display must
// already have SubstructureNotify selected on the root window, from before the fork.
std::optional<MappedWindow> waitForMap(Display *dpy, pid_t pid, double timeoutMs)
{
    const double deadline = nowMs() + timeoutMs;
    for (;;) {
        while (XPending(dpy) > 0) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type != MapNotify || ev.xmap.override_redirect)
                continue;
            const double at = nowMs();
            if (windowPid(dpy, ev.xmap.window) != pid)
                continue;
            MappedWindow w;
            w.id = ev.xmap.window;
            w.at = at;
            XWindowAttributes attributes;
            XGetWindowAttributes(dpy, w.id, &attributes);
            Window child;
            XTranslateCoordinates(dpy, w.id, DefaultRootWindow(dpy), 0, 0, &w.x, &w.y, &child);
            w.width = attributes.width;
            w.height = attributes.height;
            return w;
        }
        const double left = deadline - nowMs();
        if (left <= 0)
            return std::nullopt;
        pollfd p{ ConnectionNumber(dpy), POLLIN, 0 };
        ::poll(&p, 1, int(left) + 1);
    }
}

Display *openDisplay()
{
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy)
        die("cannot open the display (DISPLAY unset?)");
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, False);
    return dpy;
}

// ---------------------------------------------------------------------------------------
// start-up

int startup(int argc, char *argv[])
{
    int runs = 10;
    double settleMs = 1000;
    std::vector<std::pair<std::string, std::string>> programs;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (a == "--settle-ms" && i + 1 < argc)
            settleMs = std::atof(argv[++i]);
        else if (const size_t eq = a.find('='); eq != std::string::npos)
            programs.emplace_back(a.substr(0, eq), a.substr(eq + 1));
        else
            die("startup: unexpected argument " + a);
    }
    if (programs.empty())
        die("startup: no programs");

    Display *dpy = openDisplay();
    std::map<std::string, std::vector<double>> times, rss;
    const auto once = [&](const std::pair<std::string, std::string> &program, bool record) {
        const double t0 = nowMs();
        std::vector<std::string> command;
        for (size_t from = 0, to; from < program.second.size(); from = to + 1) {
            to = program.second.find(' ', from);
            if (to == std::string::npos)
                to = program.second.size();
            if (to > from)
                command.push_back(program.second.substr(from, to - from));
        }
        const pid_t pid = spawn(command);
        const std::optional<MappedWindow> w = waitForMap(dpy, pid, 30000);
        if (!w) {
            stop(pid);
            die(program.first + ": no window was mapped within 30 s");
        }
        sleepMs(settleMs);
        const long kb = bench::vmRssKb(pid);
        stop(pid);
        if (!record) {
            std::printf("## window %s %dx%d\n", program.first.c_str(), w->width, w->height);
            return;
        }
        times[program.first].push_back(w->at - t0);
        rss[program.first].push_back(double(kb) / 1024);
    };

    for (const auto &program : programs)
        once(program, false);
    for (int run = 0; run < runs; ++run) {
        for (size_t k = 0; k < programs.size(); ++k)
            once(programs[(run + k) % programs.size()], true);
    }

    for (const auto &[name, path] : programs) {
        report("startup_" + name, times[name], "ms");
        report("rss_" + name, rss[name], "MiB");
    }
    // Each round's own ratio, the first program over each of the others.
    const std::string &first = programs.front().first;
    for (size_t k = 1; k < programs.size(); ++k) {
        const std::string &other = programs[k].first;
        std::vector<double> t, m;
        for (int run = 0; run < runs; ++run) {
            t.push_back(times[first][run] / times[other][run]);
            m.push_back(rss[first][run] / rss[other][run]);
        }
        report("startup_ratio_" + first + "_" + other, t, "x");
        report("rss_ratio_" + first + "_" + other, m, "x");
    }
    XCloseDisplay(dpy);
    return 0;
}

// ---------------------------------------------------------------------------------------
// session: clicks and idle wake-ups of the real binary

struct Pty
{
    int master = -1;
    int slave = -1;
    std::string path;
    std::string pending; // what the utility wrote that no one has looked at yet

    Pty()
    {
        RawPty pty;
        QString error;
        if (!openRawPty(pty, &error))
            die(qPrintable(error));
        master = pty.master;
        slave = pty.slave;
        path = pty.slavePath.toStdString();
    }

    void drain()
    {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(master, buffer, sizeof buffer)) > 0)
            pending.append(buffer, size_t(n));
    }
};

std::string exactPathOf(const char *program)
{
    char resolved[PATH_MAX];
    if (!::realpath(program, resolved))
        die(std::string("no such program: ") + program);
    return resolved;
}

void writeSettings(const std::string &slave)
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (!config || !*config)
        die("XDG_CONFIG_HOME must point at a directory of this run");
    const std::string dir = std::string(config) + "/Korvanet";
    ::mkdir(dir.c_str(), 0700);
    FILE *f = std::fopen((dir + "/Korvanet.conf").c_str(), "w");
    if (!f)
        die("cannot write " + dir + "/Korvanet.conf");
    std::fprintf(f, "[Ports]\nCOM3=%s\n\n[Settings]\nBaudRate=19200\nComPort=3\n", slave.c_str());
    std::fclose(f);
}

int runTool(const std::vector<std::string> &argv)
{
    const pid_t pid = spawn(argv);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Point
{
    int x, y;
};

Point centreOf(const char *control, const MappedWindow &w)
{
    const QRect r = pixelRect(controlRow(QLatin1StringView(control)));
    const int border = BorderTwips / TwipsPerPixel;
    return { w.x + border + r.center().x(), w.y + border + r.center().y() };
}

void moveTo(Point p)
{
    if (runTool({ "xdotool", "mousemove", "--sync", std::to_string(p.x), std::to_string(p.y) })
        != 0)
        die("xdotool mousemove failed");
}

void clickAt(Point p)
{
    moveTo(p);
    if (runTool({ "xdotool", "click", "1" }) != 0)
        die("xdotool click failed");
}

// One timed sample: starts `argv` and waits until the master has `count` new bytes. Also
// tells when the started process ended, watched through a pidfd in the same poll.
struct WireSample
{
    double bytesAt = -1;
    double exitedAt = -1;
};

WireSample timeToWire(Pty &pty, const std::vector<std::string> &argv, const std::string &expect)
{
    pty.drain();
    pty.pending.clear();
    WireSample s;
    const double t0 = nowMs();
    const pid_t pid = spawn(argv);
    const int pidfd = pidfdOpen(pid);
    std::string got;
    const double deadline = t0 + 5000;
    while ((s.bytesAt < 0 || s.exitedAt < 0) && nowMs() < deadline) {
        pollfd p[2] = { { pty.master, POLLIN, 0 }, { pidfd, POLLIN, 0 } };
        const nfds_t count = s.exitedAt < 0 ? 2 : 1;
        if (s.bytesAt >= 0) // only the exit is still to come
            p[0].fd = -1;
        if (::poll(p, count, int(deadline - nowMs()) + 1) <= 0)
            continue;
        const double at = nowMs();
        if (p[0].revents & POLLIN) {
            char buffer[256];
            ssize_t n;
            while ((n = ::read(pty.master, buffer, sizeof buffer)) > 0)
                got.append(buffer, size_t(n));
            if (got.size() >= expect.size() && s.bytesAt < 0)
                s.bytesAt = at - t0;
        }
        if (count == 2 && (p[1].revents & POLLIN)) {
            s.exitedAt = at - t0;
            ::waitpid(pid, nullptr, 0);
        }
    }
    ::close(pidfd);
    if (s.exitedAt < 0)
        stop(pid);
    if (got != expect)
        die("expected \"" + expect + "\" at the master, got \"" + got + "\"");
    return s;
}

// Context switches of every thread of a process, read from /proc. A voluntary switch is a
// thread going to sleep, so each one is followed by exactly one wake-up.
struct Switches
{
    long voluntary = 0;
    long involuntary = 0;
    std::map<std::string, long> byThread; // voluntary, by thread name
};

Switches switchesOf(pid_t pid)
{
    Switches s;
    const std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
    DIR *dir = ::opendir(taskDir.c_str());
    if (!dir)
        return s;
    while (dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        FILE *f = std::fopen((taskDir + "/" + e->d_name + "/status").c_str(), "r");
        if (!f)
            continue;
        char line[256], name[64] = "?";
        long v = 0, n = 0;
        while (std::fgets(line, sizeof line, f)) {
            std::sscanf(line, "Name: %63[^\n]", name);
            std::sscanf(line, "voluntary_ctxt_switches: %ld", &v);
            std::sscanf(line, "nonvoluntary_ctxt_switches: %ld", &n);
        }
        std::fclose(f);
        for (char *c = name; *c; ++c) {
            if (*c == ' ' || *c == ':')
                *c = '_';
        }
        // The main thread carries the program's own name; call it what it is.
        const std::string thread = std::string(e->d_name) == std::to_string(pid) ? "main" : name;
        s.voluntary += v;
        s.involuntary += n;
        s.byThread[thread] += v;
    }
    ::closedir(dir);
    return s;
}

// Reads what the utility writes for `ms` and, with `answer`, answers each RSSI query as a
// modem would. Returns the number of queries seen.
int serve(Pty &pty, double ms, bool answer)
{
    int queries = 0;
    const double until = nowMs() + ms;
    while (nowMs() < until) {
        pollfd p{ pty.master, POLLIN, 0 };
        if (::poll(&p, 1, int(until - nowMs()) + 1) <= 0 || !(p.revents & POLLIN))
            continue;
        pty.drain();
        for (size_t at; (at = pty.pending.find("\r\n")) != std::string::npos;) {
            const std::string frame = pty.pending.substr(0, at);
            pty.pending.erase(0, at + 2);
            if (frame != "QM@R?")
                continue;
            ++queries;
            if (answer) {
                static const char reply[] = "-75 dBm\r\n";
                (void)!::write(pty.master, reply, sizeof reply - 1);
            }
        }
    }
    return queries;
}

// Counts wake-ups of `pid` for `seconds`, one sample a second, while the pseudo-terminal (if
// any) is served. perf stat counts context switches over the same window from the outside,
// as a cross-check of the /proc figures.
void measureIdle(const std::string &key, pid_t pid, int seconds, Pty *pty, bool answer)
{
    const std::string perfOut = "/tmp/xbench-perf-" + std::to_string(::getpid()) + ".csv";
    const pid_t perf = spawn({ "perf", "stat", "-x", ",", "-o", perfOut, "-e", "context-switches",
                               "-p", std::to_string(pid), "--", "sleep", std::to_string(seconds) });
    sleepMs(50); // perf attaches before the first sample starts

    std::vector<double> perSecond, mainPerSecond;
    Switches first = switchesOf(pid), last = first;
    int queries = 0;
    const double start = nowMs();
    for (int s = 1; s <= seconds; ++s) {
        const double left = start + s * 1000.0 - nowMs();
        if (pty)
            queries += serve(*pty, left, answer);
        else
            sleepMs(left);
        Switches now = switchesOf(pid);
        perSecond.push_back(double(now.voluntary - last.voluntary));
        mainPerSecond.push_back(double(now.byThread["main"] - last.byThread["main"]));
        last = now;
    }
    int status = 0;
    ::waitpid(perf, &status, 0);
    report("idle_" + key, perSecond, "wakeups/s");
    report("idle_" + key + "_main", mainPerSecond, "wakeups/s");
    bench::reportValue("idle_" + key + "_involuntary",
                       double(last.involuntary - first.involuntary) / seconds, "switches/s");
    for (const auto &[thread, count] : last.byThread) {
        const auto was = first.byThread.find(thread);
        const long before = was == first.byThread.end() ? 0 : was->second;
        std::printf("## idle %s thread %s %.1f wakeups/s\n", key.c_str(), thread.c_str(),
                    double(count - before) / seconds);
    }
    if (pty)
        bench::reportValue("idle_" + key + "_rssi_queries", queries, "frames");
    if (FILE *f = std::fopen(perfOut.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, f)) {
            if (!std::strstr(line, "context-switches"))
                continue;
            // A counter that never ran, because the process never woke, says so instead of 0.
            long count = 0;
            const bool never = std::strncmp(line, "<not counted>", 13) == 0;
            if (never || std::sscanf(line, "%ld,", &count) == 1)
                bench::reportValue("idle_" + key + "_perf", double(count) / seconds, "switches/s");
        }
        std::fclose(f);
        ::unlink(perfOut.c_str());
    }
}

int session(int argc, char *argv[])
{
    std::string korvanet, empty, ptywrite;
    int clicks = 30;
    int idleSeconds = 10;
    for (int i = 0; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--korvanet")
            korvanet = exactPathOf(argv[i + 1]);
        else if (a == "--empty")
            empty = exactPathOf(argv[i + 1]);
        else if (a == "--ptywrite")
            ptywrite = exactPathOf(argv[i + 1]);
        else if (a == "--clicks")
            clicks = std::atoi(argv[i + 1]);
        else if (a == "--idle-s")
            idleSeconds = std::atoi(argv[i + 1]);
        else
            die("session: unexpected argument " + a);
    }
    if (korvanet.empty() || empty.empty() || ptywrite.empty())
        die("session: --korvanet, --empty and --ptywrite are needed");

    Pty pty;
    writeSettings(pty.path);
    Display *dpy = openDisplay();
    const pid_t pid = spawn({ korvanet });
    const std::optional<MappedWindow> w = waitForMap(dpy, pid, 30000);
    if (!w)
        die("korvanet mapped no window");
    sleepMs(500);

    termios before{};
    ::tcgetattr(pty.master, &before);
    clickAt(centreOf("Command1", *w));
    // Open: the line runs at 19200 now (a fresh pseudo-terminal has 38400).
    for (int i = 0; i < 500; ++i) {
        termios t{};
        ::tcgetattr(pty.master, &t);
        if (::cfgetospeed(&t) == B19200)
            break;
        if (i == 499)
            die("\"Open port\" did not open the port");
        sleepMs(10);
    }
    sleepMs(300);

    // Click to wire: the same pointer place for every click, the clicks 150 ms and more
    // apart; the baseline interleaved, one after each click.
    const std::string frame = "QM&W?\r\n";
    moveTo(centreOf("Command12", *w));
    std::vector<double> clickBytes, clickExit, rawBytes, rawExit, difference;
    for (int i = -3; i < clicks; ++i) {
        const WireSample c = timeToWire(pty, { "xdotool", "click", "1" }, frame);
        sleepMs(150);
        const WireSample r = timeToWire(pty, { ptywrite, pty.path }, frame);
        sleepMs(150);
        if (i < 0)
            continue;
        clickBytes.push_back(c.bytesAt);
        clickExit.push_back(c.exitedAt);
        rawBytes.push_back(r.bytesAt);
        rawExit.push_back(r.exitedAt);
        difference.push_back(c.bytesAt - r.bytesAt);
    }
    report("click_to_wire_xdotool", clickBytes, "ms");
    report("click_xdotool_exit", clickExit, "ms");
    report("click_to_wire_raw", rawBytes, "ms");
    report("click_raw_exit", rawExit, "ms");
    report("click_to_wire_difference", difference, "ms");

    // Idle with the port open, the graph off. The pointer rests on the button it clicked.
    sleepMs(1000);
    pty.drain();
    measureIdle("graph_off", pid, idleSeconds, &pty, false);

    // The graph on: "More settings..." shows its button. First the modem stays silent, so
    // what wakes the utility is its own timer alone; then it answers every poll, as a modem
    // does, and each answer is appended to the log and drawn.
    clickAt(centreOf("Check1", *w));
    sleepMs(300);
    clickAt(centreOf("Command34", *w));
    serve(pty, 2500, false);
    measureIdle("graph_on_silent", pid, idleSeconds, &pty, false);
    serve(pty, 2500, true);
    if (const char *out = std::getenv("XBENCH_STRACE")) { // what wakes it, for a closer look
        const pid_t strace = spawn({ "strace", "-f", "-tt", "-o", out, "-p", std::to_string(pid) });
        serve(pty, 6000, true);
        ::kill(strace, SIGINT);
        ::waitpid(strace, nullptr, 0);
    }
    measureIdle("graph_on", pid, idleSeconds, &pty, true);
    stop(pid);

    // The floor: an empty Qt window that only sits there.
    const pid_t floorPid = spawn({ empty });
    if (!waitForMap(dpy, floorPid, 30000))
        die("the empty window was not mapped");
    sleepMs(1000);
    measureIdle("floor", floorPid, idleSeconds, nullptr, false);
    stop(floorPid);
    XCloseDisplay(dpy);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    std::signal(SIGPIPE, SIG_IGN);
    if (argc >= 2 && std::strcmp(argv[1], "startup") == 0)
        return startup(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "session") == 0)
        return session(argc - 2, argv + 2);
    std::fprintf(stderr, "usage: xbench startup|session ...\n");
    return 2;
}
