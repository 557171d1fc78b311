// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/task.h"

class CliSession;

// Long enough for the event loop to end a run that a signal interrupted.
inline constexpr int SignalGraceMsecs = 1000;

class Progress;

// Runs a mode's work on the event loop to its end and gives its exit status. A termination
// signal, or a standard output that nobody reads any more, ends it before that: the port is
// closed and its locks removed, stderr says how far the run got, and the status is 128 + the
// signal's number.
int runToEnd(Task<int> work, CliSession &session, const Progress &progress);
