// SPDX-License-Identifier: GPL-3.0-or-later
// The window's side of the serial link: "Open port" and "Close port" with what they show and
// hide, and the receive event feeding the response log.

#include "app/form1.h"
#include "app/messagebox.h"
#include "serial/logrules.h"
#include "serial/ports/adapterreturn.h"
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
    showPortOpen(Combo2->currentText(), Combo1->currentText());
}

void Form1::showPortOpen(const QString &portText, const QString &baudText)
{
    m_openPortText = portText;
    m_openBaudText = baudText;
    m_adapterReturn->remember(MSComm1->CommPort(), MSComm1->deviceName());
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
    // The port is already closed; the window follows, as after "Close port", and waits for
    // the same adapter to come back.
    Command36_Click();
    m_adapterReturn->watch();
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

void Form1::onAdapterBack()
{
    // As "Open port" with the texts of the lost session, but quietly: a failed try is tried
    // again while the adapter stays, and the user was told of the loss already.
    if (MSComm1->PortOpen() || !openPortFromText(*MSComm1, m_openPortText, m_openBaudText).ok())
        return;
    showPortOpen(m_openPortText, m_openBaudText);
}
