// SPDX-License-Identifier: GPL-3.0-or-later
// Where the utility's start-up time and memory go: the costly pieces of building the window,
// each timed cold in a fresh process, in the order the window meets them, and each with the
// resident memory it added. `startupparts --runs N` runs N fresh processes of itself and
// prints the summaries; the pieces are:
//   app          QApplication (X connection, platform plugin, Fusion style)
//   fonts        the first text measured: fontconfig, FreeType, HarfBuzz, the font files
//   ownfonts     the same text in the window's own two fonts, regular and bold, which are not
//                the platform's (a window in the default font would not need them)
//   form         Form1's constructor: the controls, the 1000-item port list, the settings
//   show         show() up to the request to map the window
//   paint        one full paint of the window, background included, as its first frame
//   ports        the port list's tooltips, which the list builds when it first opens: a
//                udev scan of every tty on the machine (not part of start-up)

#include "app/form1.h"
#include "serial/ports/portlisting.h"
#include "stats.h"

#include <QApplication>
#include <QFontMetrics>
#include <QScreen>
#include <QStyleFactory>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Step
{
    double ms;
    double mib;
};

int once(int argc, char *argv[])
{
    std::vector<std::pair<const char *, Step>> steps;
    double t = bench::nowMs();
    long kb = bench::vmRssKb(0);
    const auto mark = [&](const char *name) {
        const double now = bench::nowMs();
        const long nowKb = bench::vmRssKb(0);
        steps.push_back({ name, { now - t, double(nowKb - kb) / 1024 } });
        t = now;
        kb = nowKb;
    };

    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    mark("app");
    {
        QFont font;
        font.setPixelSize(11);
        (void)QFontMetrics(font).horizontalAdvance(QStringLiteral("Open port"));
    }
    mark("fonts");
    {
        // The client area carries the font the controls are born in.
        const ClientArea area(nullptr, 1.0);
        QFont font = area.font();
        for (const bool bold : { false, true }) {
            font.setBold(bold);
            (void)QFontMetrics(font).horizontalAdvance(QStringLiteral("Open port"));
        }
    }
    mark("ownfonts");
    Form1 form;
    mark("form");
    form.move(form.screen()->availableGeometry().center() - form.rect().center());
    form.show();
    mark("show");
    (void)form.grab();
    mark("paint");
    (void)portTooltips();
    mark("ports");

    for (const auto &[name, step] : steps)
        std::printf("%s %.4f %.4f\n", name, step.ms, step.mib);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 2 && std::strcmp(argv[1], "--once") == 0)
        return once(argc, argv);
    const int runs = argc >= 3 && std::strcmp(argv[1], "--runs") == 0 ? std::atoi(argv[2]) : 10;

    std::vector<std::string> order;
    std::map<std::string, std::vector<double>> ms, mib;
    for (int run = 0; run < runs; ++run) {
        int out[2];
        if (::pipe(out) != 0)
            return 1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::execl("/proc/self/exe", argv[0], "--once", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        FILE *f = ::fdopen(out[0], "r");
        char name[64];
        double m, r;
        while (std::fscanf(f, "%63s %lf %lf", name, &m, &r) == 3) {
            if (run == 0)
                order.push_back(name);
            ms[name].push_back(m);
            mib[name].push_back(r);
        }
        std::fclose(f);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return 1;
    }
    for (const std::string &name : order) {
        bench::report("part_" + name, ms[name], "ms");
        bench::report("part_rss_" + name, mib[name], "MiB");
    }
    return 0;
}
