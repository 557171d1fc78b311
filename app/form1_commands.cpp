// The buttons that send commands to the modem.

#include "app/form1.h"
#include "app/messagebox.h"
#include "modem/commands.h"
#include "serial/module1.h"
#include "serial/responselog.h"

using Module1::PumpedWait;

namespace {

QString text(const char *command)
{
    return QString::fromLatin1(command);
}

} // namespace

CommStatus Form1::SendCommand(const QString &command)
{
    // One write per frame. A closed port refuses it here, so nothing piles up to go out
    // all at once at the next open.
    return MSComm1->setOutput(command + QStringLiteral("\r\n"));
}

void Form1::FixedCommand_Click(const char *command)
{
    Text2->setText(QString());
    SendCommand(text(command));
}

void Form1::ValueCommand_Click(const ValueCommand &command)
{
    Text2->setText(QString());
    const auto *box = findChild<QLineEdit *>(QLatin1StringView(command.valueBox));
    SendCommand(text(command.prefix) + box->text());
}

void Form1::Command28_Click()
{
    MessageBox::information(this, text(compatibilityModeList()));
}

void Form1::Command2_Click()
{
    Text2->setText(QString());
    PumpedWait(200);
    Command36_Click();
    PumpedWait(200);
    Command1_Click();
    // After a failed reopen the port is closed and this frame is skipped: the failure has
    // been shown once already.
    SendCommand(text(Commands::SerialParams));
}

void Form1::Command21_Click()
{
    Text2->setText(QString());
    const QString rate = Combo3->currentText();
    const QString format = Text5->text();
    SendCommand(text(Commands::SetSerialParams) + rate + format);
    PumpedWait(200);
    Command36_Click();
    PumpedWait(200);
    Command1_Click();
}

void Form1::Command11_Click()
{
    if (!MessageBox::question(this, QStringLiteral("All changed settings will be saved. Are you sure?"))) {
        MessageBox::information(this, QStringLiteral("Settings NOT saved."));
        return;
    }
    Text2->setText(QString());
    SendCommand(text(Commands::SaveSettings));
    PumpedWait(200);
}

void Form1::Command35_Click()
{
    if (!MessageBox::question(this, QStringLiteral("ALL SETTINGS ARE RESTORED TO FACTORY DEFAULTS AND "
                                                   "MODEM NEEDS TO BE POWER CYCLED!!! Are you sure?"))) {
        MessageBox::information(this, QStringLiteral("Factory defaults NOT restored."));
        return;
    }
    // Success is claimed only when both frames went out; a port closed meanwhile (by the
    // user during the wait, or by a lost device) must not read as restored.
    bool sent = SendCommand(text(Commands::FactoryDefaults)).ok();
    PumpedWait(200);
    if (sent)
        sent = SendCommand(text(Commands::SaveSettings)).ok();
    PumpedWait(200);
    if (sent) {
        MessageBox::information(this, QStringLiteral("Factory defaults restored. Power cycle the "
                                                     "modem and connect again. Baudrate is 9600."));
    } else {
        MessageBox::error(this, QStringLiteral("Factory defaults NOT restored. The port is not open."));
    }
}
