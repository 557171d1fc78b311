// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pty.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace {

bool fail(QString *error, const char *step)
{
    if (error)
        *error = QStringLiteral("%1: %2").arg(QLatin1StringView(step), qt_error_string(errno));
    return false;
}

bool addFlags(int fd, int get, int set, int flags)
{
    const int current = ::fcntl(fd, get);
    return current >= 0 && ::fcntl(fd, set, current | flags) == 0;
}

} // namespace

bool openRawPty(RawPty &pty, QString *error, speed_t speed)
{
    if (::openpty(&pty.master, &pty.slave, nullptr, nullptr, nullptr) != 0)
        return fail(error, "openpty");
    termios raw{};
    bool ok = ::tcgetattr(pty.slave, &raw) == 0;
    ::cfmakeraw(&raw);
    if (speed != 0)
        ::cfsetspeed(&raw, speed);
    ok = ok && ::tcsetattr(pty.slave, TCSANOW, &raw) == 0;
    ok = ok && addFlags(pty.master, F_GETFL, F_SETFL, O_NONBLOCK)
            && addFlags(pty.master, F_GETFD, F_SETFD, FD_CLOEXEC)
            && addFlags(pty.slave, F_GETFD, F_SETFD, FD_CLOEXEC);
    char path[PATH_MAX];
    ok = ok && ::ttyname_r(pty.slave, path, sizeof path) == 0;
    if (!ok) {
        const int saved = errno;
        ::close(pty.master);
        ::close(pty.slave);
        pty = {};
        errno = saved;
        return fail(error, "setting up the pseudo-terminal");
    }
    pty.slavePath = QFile::decodeName(path);
    return true;
}
