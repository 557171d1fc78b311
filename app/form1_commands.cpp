// SPDX-License-Identifier: GPL-3.0-or-later
// The window's side of the modem command set: the buttons that send commands, each a short
// run of steps over the framing and the command sequences of modem/.

#include "app/commandbuttons.h"
#include "app/form1.h"
#include "app/messagebox.h"
#include "app/windowport.h"
#include "modem/commands.h"
#include "modem/framing.h"
#include "modem/sequences.h"
#include "serial/widget/responselog.h"

namespace {

QString text(const char *command)
{
    return QString::fromLatin1(command);
}

} // namespace

CommStatus Form1::SendCommand(const QString &command)
{
    return sendFrame(*MSComm1, command);
}

void Form1::FixedCommand_Click(const char *command)
{
    Text2->setText(QString());
    SendCommand(text(command));
}

void Form1::ValueCommand_Click(const ValueCommandButton &command)
{
    Text2->setText(QString());
    SendCommand(text(command.prefix) + (this->*command.valueBox)->text());
}

void Form1::Command28_Click()
{
    MessageBox::information(this, text(compatibilityModeList()));
}

void Form1::Command2_Click()
{
    Text2->setText(QString());
    WindowPort port(*this);
    Sequences::readSerialParams(port).runHere();
}

void Form1::Command21_Click()
{
    Text2->setText(QString());
    const QString rate = Combo3->currentText();
    const QString format = Text5->text();
    WindowPort port(*this);
    Sequences::setSerialParams(port, rate + format).runHere();
}

void Form1::Command11_Click()
{
    if (!MessageBox::question(
                this, QStringLiteral("All changed settings will be saved. Are you sure?"))) {
        MessageBox::information(this, QStringLiteral("Settings NOT saved."));
        return;
    }
    Text2->setText(QString());
    WindowPort port(*this);
    Sequences::saveSettings(port).runHere();
}

void Form1::Command35_Click()
{
    if (!MessageBox::question(this,
                              QStringLiteral("ALL SETTINGS ARE RESTORED TO FACTORY DEFAULTS AND "
                                             "MODEM NEEDS TO BE POWER CYCLED!!! Are you sure?"))) {
        MessageBox::information(this, QStringLiteral("Factory defaults NOT restored."));
        return;
    }
    WindowPort port(*this);
    if (Sequences::restoreFactoryDefaults(port).runHere()) {
        MessageBox::information(this,
                                QStringLiteral("Factory defaults restored. Power cycle the "
                                               "modem and connect again. Baudrate is 9600."));
    } else {
        MessageBox::error(this,
                          QStringLiteral("Factory defaults NOT restored. The port is not open."));
    }
}
