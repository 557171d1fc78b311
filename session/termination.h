// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class QObject;

// How SIGTERM, SIGINT and SIGHUP end the process: from the event loop (the signal handler only
// wakes it), `beforeEnd` closes what is open, removes the locks and says whatever the front
// end has to say, and gives the exit status; then the process ends at once, so that a
// handler waiting in a paced wait never resumes to reopen a port or send its next frame.
namespace Termination {

using BeforeEnd = std::function<int(int signalNumber)>;

// Once per process; `owner` holds the watch for as long as it lives.
[[nodiscard]] bool watch(QObject *owner, BeforeEnd beforeEnd, QString *error);

// What runs before the end while this lives, instead of what ran before it: a run puts its
// own words in place for as long as it has a port open.
class Scope
{
public:
    explicit Scope(BeforeEnd beforeEnd);
    ~Scope();
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

private:
    BeforeEnd m_previous;
};

// Ends the process now, as the signal `signalNumber` would (a write to a closed pipe ends a
// run as SIGPIPE would, its default being silenced).
[[noreturn]] void endAsSignalled(int signalNumber);

// The termination signal that has arrived, with the process about to end (nothing new may
// start, no frame may go out); 0 while none has.
[[nodiscard]] int pending();

} // namespace Termination
