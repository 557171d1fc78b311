// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/windowport.h"

#include "app/form1.h"
#include "serial/module1.h"

CommStatus WindowPort::sendFrame(const QString &command)
{
    return m_form.SendCommand(command);
}

CommStatus WindowPort::openPort()
{
    m_form.Command1_Click();
    if (m_form.MSComm1->PortOpen())
        return {};
    return { CommError::PortNotOpen, QStringLiteral("The port did not open.") };
}

void WindowPort::closePort()
{
    m_form.Command36_Click();
}

Pause WindowPort::wait(int msecs)
{
    return Pause::onTheSpot([msecs] { Module1::PumpedWait(msecs); });
}
