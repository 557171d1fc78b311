// SPDX-License-Identifier: GPL-3.0-or-later
// The window's side of the serial link: "Open port" and "Close port" with what they show and
// hide, and the receive event feeding the response log.

#include "app/form1.h"
#include "app/messagebox.h"
#include "serial/logrules.h"
#include "session/portopening.h"
#include "serial/widget/responselog.h"

void Form1::showPortError(const CommStatus &status)
{
    MessageBox::error(this, messageFor(status.code), status.reason);
}

void Form1::Command1_Click()
{
    if (CommStatus status =
                openPortFromText(*MSComm1, Combo2->currentText(), Combo1->currentText());
        !status.ok()) {
        showPortError(status);
        return;
    }
    Command1->setText(QStringLiteral("Port is open"));
    setGroupVisible(ControlGroup::ResponseLog, true);
    setGroupVisible(ControlGroup::MainPanel, true);
}

void Form1::Command36_Click()
{
    if (MSComm1->PortOpen()) {
        if (CommStatus status = MSComm1->setPortOpen(false); !status.ok()) {
            showPortError(status);
            return;
        }
    }
    Command1->setText(QStringLiteral("Open port"));
    setGroupVisible(ControlGroup::ResponseLog, false);
    setGroupVisible(ControlGroup::MainPanel, false);
    setGroupVisible(ControlGroup::ExtendedPanel, false);
    Label8->hide();
}

void Form1::MSComm1_OnComm()
{
    if (MSComm1->CommEvent() != CommEvents::Receive)
        return;
    if (MSComm1->InBufferCount() == 0)
        return;
    Text2->setText(LogRules::withReceived(Text2->text(), MSComm1->Input()));
    // Whatever arrives after the read is modem data too: it stays queued and comes with
    // the next receive event instead of being thrown away here.
    if (Timer1->isActive())
        RssiGraph_Update();
}

void Form1::Text2_Change()
{
    if (LogRules::overLimit(Text2->text()))
        Text2->setText(QString());
}

void Form1::Text2_DblClick()
{
    Text2->setText(QString());
}

void Form1::onDeviceLost(const QString &reason)
{
    // The port is already closed; the window follows, as after "Close port".
    Command36_Click();
    if (m_showingLoss)
        return;
    m_showingLoss = true;
    // Shown from the event loop, not from inside the serial port's error report.
    QTimer::singleShot(0, this, [this, reason] {
        MessageBox::error(this, QStringLiteral("Unknown error."), reason);
        m_showingLoss = false;
    });
}

void Form1::onLineWarning(const QString &warning)
{
    // The port is open and works; the user should know why its rate may not be the one
    // picked, without an error box, and without a modal one that would hold up "Set serial
    // params" halfway through its reopen.
    MessageBox::warning(this, QStringLiteral("Port open, with a warning."), warning);
}
