// Opening and closing the port, and turning what the modem sends into the response log.

#include "app/form1.h"
#include "app/messagebox.h"
#include "serial/numbertext.h"
#include "serial/responselog.h"

namespace {

constexpr int LogLimit = 100;

QString messageFor(int code)
{
    switch (code) {
    case CommError::InvalidPortNumber:
        return QStringLiteral("Invalid port number.");
    case CommError::PortAlreadyOpen:
        return QStringLiteral("Port already open.");
    default:
        return QStringLiteral("Unknown error.");
    }
}

} // namespace

void Form1::showPortError(const CommStatus &status)
{
    MessageBox::error(this, messageFor(status.code), status.reason);
}

void Form1::Command1_Click()
{
    const QString portText = Combo2->currentText();
    const std::optional<qint16> number = toInt16HalfEven(leadingNumber(portText).value_or(0.0));
    if (!number) {
        // The text can be anything the user typed or the store held; a box shows only as
        // much of it as tells which.
        const QString shown = portText.size() > 40 ? portText.left(40) + u'\u2026' : portText;
        showPortError({CommError::Overflow, tr("\"%1\" is no port number.").arg(shown)});
        return;
    }
    if (CommStatus status = MSComm1->setCommPort(*number); !status.ok()) {
        showPortError(status);
        return;
    }
    // A rate that is none of the six leaves the line settings of the last open that had one.
    if (const std::optional<QString> settings = portSettingsForBaudText(Combo1->currentText())) {
        if (CommStatus status = MSComm1->setSettings(*settings); !status.ok()) {
            showPortError(status);
            return;
        }
    }
    MSComm1->setInputLen(0);
    MSComm1->setRThreshold(1);
    MSComm1->setSThreshold(1);
    if (CommStatus status = MSComm1->setPortOpen(true); !status.ok()) {
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
    Text2->setText(Text2->text() + MSComm1->Input() + QStringLiteral("\r\n"));
    // Whatever arrives after the read is modem data too: it stays queued and comes with
    // the next receive event instead of being thrown away here.
    if (Timer1->isActive())
        RssiGraph_Update();
}

void Form1::Text2_Change()
{
    if (Text2->text().size() > LogLimit)
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
