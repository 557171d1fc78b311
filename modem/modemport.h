// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/task.h"
#include "serial/mscomm.h"

#include <QString>

// What a command sequence needs of the line it talks over. The window and the command-line
// front end each provide one, so the sequences run the same in both, and in tests without
// a window.
class ModemPort
{
public:
    virtual ~ModemPort() = default;

    // One command on the line as one frame: its text, then CR LF. A closed port refuses it.
    virtual CommStatus sendFrame(const QString &command) = 0;
    // Opening and closing as the front end does it, with whatever the front end shows.
    virtual CommStatus openPort() = 0;
    virtual void closePort() = 0;
    // Lets time pass while events keep flowing, so replies and clicks are not held up: the
    // window waits on the spot in its paced wait, the command line suspends the sequence.
    virtual Pause wait(int msecs) = 0;
};
