// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/unixsignals.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeEnds[2] = { -1, -1 };
volatile std::sig_atomic_t firstArrived = 0;

void forwardToPipe(int signalNumber)
{
    const int savedErrno = errno;
    if (firstArrived == 0)
        firstArrived = signalNumber;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Nothing to do if the pipe is full: the loop is already due to wake up.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

bool UnixSignals::watch(std::initializer_list<int> signalNumbers, QString *error)
{
    Q_ASSERT(pipeEnds[0] < 0);
    if (::pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC) != 0) {
        if (error)
            *error = QLatin1String("pipe2: ") + qt_error_string(errno);
        return false;
    }
    m_notifier.setSocket(pipeEnds[0]);
    connect(&m_notifier, &QSocketNotifier::activated, this, &UnixSignals::drain);
    m_notifier.setEnabled(true);

    struct sigaction action = {};
    action.sa_handler = forwardToPipe;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : signalNumbers) {
        if (::sigaction(signalNumber, &action, nullptr) != 0) {
            if (error)
                *error = QLatin1String("sigaction: ") + qt_error_string(errno);
            return false;
        }
    }
    return true;
}

int UnixSignals::arrived()
{
    return firstArrived;
}

void UnixSignals::drain()
{
    unsigned char byte = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1)
        emit received(byte);
}
