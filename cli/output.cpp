// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/output.h"

#include "session/termination.h"

#include <csignal>
#include <cstdio>

void printLine(const QByteArray &line)
{
    if (std::fwrite(line.constData(), 1, size_t(line.size()), stdout) != size_t(line.size())
        || std::fputc('\n', stdout) == EOF || std::fflush(stdout) != 0)
        Termination::endAsSignalled(SIGPIPE);
}

void sayOnStderr(const QString &text)
{
    std::fprintf(stderr, "korvanet: %s\n", text.toLocal8Bit().constData());
}
