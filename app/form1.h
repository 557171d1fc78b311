// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/colourbutton.h"
#include "app/controltable.h"
#include "app/picklist.h"
#include "serial/mscomm.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <functional>

class AdapterReturn;
class ResponseLog;
class SignalShape;
struct ControlRow;
struct ValueCommandButton;

// The client area: the background colour and picture under the controls. Dragging it
// moves the window, which has no title bar to drag.
class ClientArea : public QWidget
{
    Q_OBJECT

public:
    ClientArea(QWidget *parent, double scale);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    const double m_scale;
};

// The one window. Its members are the controls, named as the modem's users know them, and
// its member functions the handlers of their events, all defined in app/: the shell in
// form1.cpp, the serial link in form1_port.cpp, the commands in form1_commands.cpp, the
// signal graph in form1_rssi.cpp. Each handler is a short run of steps; what the steps do
// lives in serial/, modem/ and monitor/, which know nothing of the window.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    // `layoutScale` below 1 lays the window out that much smaller, for a screen too small for
    // it (see ScreenFit).
    explicit Form1(QWidget *parent = nullptr, double layoutScale = 1.0);
    ~Form1() override;

    // How "Close software" ends the process; tests replace it to watch the end happen.
    using ProcessEnd = std::function<void(int exitCode)>;
    static void setProcessEnd(ProcessEnd end);

    // Application shell.
    void Form_Load();
    void Form_Activate();
    void Combo1_Click();
    void Combo2_Click();
    void Combo3_Click();
    void Check1_Click();
    void Command33_Click();

    // Serial link.
    void Command1_Click();
    void Command36_Click();
    void MSComm1_OnComm();
    void Text2_Change();
    void Text2_DblClick();

    // Modem command set. SendCommand skips a frame for a closed port (and says so in its
    // result) rather than queueing it for the next open.
    CommStatus SendCommand(const QString &text);
    void FixedCommand_Click(const char *command);
    void ValueCommand_Click(const ValueCommandButton &command);
    void Command28_Click();
    void Command2_Click();
    void Command21_Click();
    void Command11_Click();
    void Command35_Click();

    // Signal monitor.
    void Command34_Click();
    void Timer1_Timer();
    void RssiGraph_Update();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    template <typename Control>
    Control *make(const ControlRow &row);
    void setGroupVisible(ControlGroup group, bool visible);
    void connectHandlers();
    void setTabOrderFromTable();
    void showPortError(const CommStatus &status);
    void showPortOpen(const QString &portText, const QString &baudText);
    void onDeviceLost(const QString &reason);
    void onLineWarning(const QString &warning);
    void onAdapterBack();
    void refreshPortTooltips();

    const double m_layoutScale;
    ClientArea *const m_client;
    QList<std::pair<const ControlRow *, QWidget *>> m_controls;
    bool m_activated = false;
    bool m_showingLoss = false;
    // The texts the port was last opened with, for opening it again as it was when its
    // adapter comes back after a loss, whatever the lists show by then.
    QString m_openPortText;
    QString m_openBaudText;
    AdapterReturn *const m_adapterReturn;

public:
    // The controls, in families as the users name them. clang-format 14 scatters a list of
    // declarators like this one across hundreds of columns, so it is laid out by hand.
    // clang-format off
    ColourButton *const Command1, *const Command2, *const Command3, *const Command4,
        *const Command5, *const Command6, *const Command7, *const Command8, *const Command9,
        *const Command10, *const Command11, *const Command12, *const Command13, *const Command14,
        *const Command15, *const Command16, *const Command17, *const Command18, *const Command19,
        *const Command20, *const Command21, *const Command22, *const Command23, *const Command24,
        *const Command25, *const Command26, *const Command27, *const Command28, *const Command29,
        *const Command30, *const Command31, *const Command32, *const Command33, *const Command34,
        *const Command35, *const Command36;
    QLineEdit *const Text1;
    ResponseLog *const Text2;
    QLineEdit *const Text3, *const Text4, *const Text5, *const Text6, *const Text7;
    PickList *const Combo1, *const Combo2, *const Combo3;
    QCheckBox *const Check1;
    QLabel *const Label1, *const Label2, *const Label3, *const Label4, *const Label5,
        *const Label6, *const Label7, *const Label8;
    SignalShape *const Shape1, *const Shape2, *const Shape3;
    QTimer *const Timer1;
    MSComm *const MSComm1;
    // clang-format on

    qint16 RSSI = 0;
    qint16 Laskuri = 0;
};
