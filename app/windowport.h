// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/modemport.h"

class Form1;

// The window as the line a command sequence talks over: frames go out through SendCommand,
// the port closes and opens through the "Close port" and "Open port" handlers, with every
// caption, control and message they show, and the pauses are paced waits that keep the
// window live.
class WindowPort final : public ModemPort
{
public:
    explicit WindowPort(Form1 &form) : m_form(form) { }

    CommStatus sendFrame(const QString &command) override;
    // "Open port" reports its own failure in a box; the status only says whether the port
    // is open afterwards.
    CommStatus openPort() override;
    void closePort() override;
    Pause wait(int msecs) override;

private:
    Form1 &m_form;
};
