// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form1.h"

#include "app/commandbuttons.h"
#include "app/captionfit.h"
#include "app/portnumbers.h"
#include "session/settingsstore.h"
#include "app/signalshape.h"
#include "modem/commands.h"
#include "platform/processend.h"
#include "serial/baudrates.h"
#include "serial/ports/adapterreturn.h"
#include "serial/ports/portlisting.h"
#include "serial/ports/portmap.h"
#include "serial/widget/responselog.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The row of a control the window names, found while compiling: a name that the table
// lacks does not build.
consteval const ControlRow &rowOf(std::string_view name)
{
    const std::size_t index = controlRowIndex(name);
    if (index == std::size(ControlRows::rows))
        throw "the control table has no such control";
    return ControlRows::rows[index];
}

Form1::ProcessEnd &processEnd()
{
    static Form1::ProcessEnd end = endProcessNow;
    return end;
}

// "MS Sans Serif" 8.25 pt where it exists; elsewhere the nearest narrow sans-serif. The
// size is in pixels (8.25 pt at 96 dpi, times the layout's scale) so the text keeps its
// proportion to the fixed, pixel-placed layout whatever DPI the screen reports.
QFont controlFont(bool bold, double scale)
{
    QFont font;
    font.setFamilies({ QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                       QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                       QStringLiteral("Arial"), QStringLiteral("DejaVu Sans") });
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, int(std::lround(11 * scale))));
    font.setBold(bold);
    return font;
}

// Grey boxes with white text, through the palette: no style sheet, so the style-sheet
// engine is never loaded.
void paintGrey(QWidget *widget)
{
    QPalette palette = widget->palette();
    for (auto role : { QPalette::Window, QPalette::Base, QPalette::Button })
        palette.setColor(role, QColor::fromRgb(Colours::Window));
    for (auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        palette.setColor(role, QColor::fromRgb(Colours::Text));
    widget->setPalette(palette);
}

void setUp(ColourButton *button, const ControlRow &row)
{
    button->setText(QString::fromLatin1(row.text));
    button->setFace(colourOf(row.colour));
}

void setUp(QLabel *label, const ControlRow &row)
{
    label->setText(QString::fromLatin1(row.text));
    label->setTextFormat(Qt::PlainText);
    // A pixel to spare: a glyph on the last column looks cut off even where it is not.
    label->setFont(fittedFont(label->font(), label->text(), label->width() - 1));
    label->setAutoFillBackground(true);
    paintGrey(label);
}

void setUp(QLineEdit *box, const ControlRow &row)
{
    box->setText(QString::fromLatin1(row.text));
    box->setAlignment(Qt::AlignCenter);
    box->setFrame(false);
    paintGrey(box);
}

void setUp(ResponseLog *log, const ControlRow &row)
{
    log->setText(QString::fromLatin1(row.text));
    log->setFrameShape(QFrame::NoFrame);
    paintGrey(log);
}

void setUp(PickList *combo, const ControlRow &row)
{
    combo->setMaxVisibleItems(8);
    if (row.kind == ControlKind::PortList) {
        combo->setModel(new PortNumbers(combo));
    } else {
        combo->addItems(BaudRates::list());
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(QString::fromLatin1(row.text));
    paintGrey(combo);
}

void setUp(QCheckBox *box, const ControlRow &row)
{
    box->setText(QString::fromLatin1(row.text));
    const QStyle *style = box->style();
    const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box)
            + style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
    box->setFont(fittedFont(box->font(), box->text(), box->width() - 1 - indicator));
    box->setAutoFillBackground(true);
    paintGrey(box);
    // Fusion draws the unticked box's border a shade darker than the Window colour: on this
    // grey, 1.24:1, and the box all but vanishes. The grey behind the box comes from Base
    // instead, and a white Window makes the border a light grey, over 6:1 against it.
    QPalette palette = box->palette();
    palette.setColor(QPalette::Window, Qt::white);
    box->setPalette(palette);
    box->setBackgroundRole(QPalette::Base);
}

void setUp(SignalShape *shape, const ControlRow &row)
{
    shape->setFillColor(colourOf(row.colour));
}

} // namespace

ClientArea::ClientArea(QWidget *parent, double scale) : QWidget(parent), m_scale(scale)
{
    setObjectName(QStringLiteral("ClientArea"));
    // Set before the controls exist, so that they are born with it and never lay out their
    // text in the default font first (which would load a second font file).
    setFont(controlFont(false, scale));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

// The background picture, 586 x 784 from the top-left corner: a quiet dark gradient near the
// window's grey, faint horizontal rules, and faint radio-wave arcs around the lower right
// corner, away from the captions. Drawn rather than decoded from a file: it costs less at
// start-up than a bitmap, and nothing stays in memory for it.
void ClientArea::paintEvent(QPaintEvent *event)
{
    constexpr QSize picture(586, 784);
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.fillRect(rect(), QColor::fromRgb(Colours::Window));
    painter.scale(m_scale, m_scale);

    QLinearGradient gradient(0, 0, 0, picture.height());
    gradient.setColorAt(0, QColor(74, 78, 84));
    gradient.setColorAt(1, QColor(40, 42, 46));
    painter.fillRect(QRect(QPoint(0, 0), picture), gradient);

    painter.setPen(QColor(255, 255, 255, 9));
    for (int y = 30; y < picture.height(); y += 30)
        painter.drawLine(0, y, picture.width() - 1, y);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(160, 200, 255, 26), 2));
    const QPoint corner(picture.width(), picture.height());
    for (const int radius : { 110, 170, 230, 290 })
        painter.drawArc(QRect(corner - QPoint(radius, radius), QSize(2 * radius, 2 * radius)),
                        90 * 16, 90 * 16);
}

void ClientArea::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && window()->windowHandle())
        window()->windowHandle()->startSystemMove();
}

Form1::Form1(QWidget *parent, double layoutScale)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      m_layoutScale(layoutScale),
      m_client(new ClientArea(this, layoutScale)),
      m_adapterReturn(new AdapterReturn(this)),
      Command1(make<ColourButton>(rowOf("Command1"))),
      Command2(make<ColourButton>(rowOf("Command2"))),
      Command3(make<ColourButton>(rowOf("Command3"))),
      Command4(make<ColourButton>(rowOf("Command4"))),
      Command5(make<ColourButton>(rowOf("Command5"))),
      Command6(make<ColourButton>(rowOf("Command6"))),
      Command7(make<ColourButton>(rowOf("Command7"))),
      Command8(make<ColourButton>(rowOf("Command8"))),
      Command9(make<ColourButton>(rowOf("Command9"))),
      Command10(make<ColourButton>(rowOf("Command10"))),
      Command11(make<ColourButton>(rowOf("Command11"))),
      Command12(make<ColourButton>(rowOf("Command12"))),
      Command13(make<ColourButton>(rowOf("Command13"))),
      Command14(make<ColourButton>(rowOf("Command14"))),
      Command15(make<ColourButton>(rowOf("Command15"))),
      Command16(make<ColourButton>(rowOf("Command16"))),
      Command17(make<ColourButton>(rowOf("Command17"))),
      Command18(make<ColourButton>(rowOf("Command18"))),
      Command19(make<ColourButton>(rowOf("Command19"))),
      Command20(make<ColourButton>(rowOf("Command20"))),
      Command21(make<ColourButton>(rowOf("Command21"))),
      Command22(make<ColourButton>(rowOf("Command22"))),
      Command23(make<ColourButton>(rowOf("Command23"))),
      Command24(make<ColourButton>(rowOf("Command24"))),
      Command25(make<ColourButton>(rowOf("Command25"))),
      Command26(make<ColourButton>(rowOf("Command26"))),
      Command27(make<ColourButton>(rowOf("Command27"))),
      Command28(make<ColourButton>(rowOf("Command28"))),
      Command29(make<ColourButton>(rowOf("Command29"))),
      Command30(make<ColourButton>(rowOf("Command30"))),
      Command31(make<ColourButton>(rowOf("Command31"))),
      Command32(make<ColourButton>(rowOf("Command32"))),
      Command33(make<ColourButton>(rowOf("Command33"))),
      Command34(make<ColourButton>(rowOf("Command34"))),
      Command35(make<ColourButton>(rowOf("Command35"))),
      Command36(make<ColourButton>(rowOf("Command36"))),
      Text1(make<QLineEdit>(rowOf("Text1"))),
      Text2(make<ResponseLog>(rowOf("Text2"))),
      Text3(make<QLineEdit>(rowOf("Text3"))),
      Text4(make<QLineEdit>(rowOf("Text4"))),
      Text5(make<QLineEdit>(rowOf("Text5"))),
      Text6(make<QLineEdit>(rowOf("Text6"))),
      Text7(make<QLineEdit>(rowOf("Text7"))),
      Combo1(make<PickList>(rowOf("Combo1"))),
      Combo2(make<PickList>(rowOf("Combo2"))),
      Combo3(make<PickList>(rowOf("Combo3"))),
      Check1(make<QCheckBox>(rowOf("Check1"))),
      Label1(make<QLabel>(rowOf("Label1"))),
      Label2(make<QLabel>(rowOf("Label2"))),
      Label3(make<QLabel>(rowOf("Label3"))),
      Label4(make<QLabel>(rowOf("Label4"))),
      Label5(make<QLabel>(rowOf("Label5"))),
      Label6(make<QLabel>(rowOf("Label6"))),
      Label7(make<QLabel>(rowOf("Label7"))),
      Label8(make<QLabel>(rowOf("Label8"))),
      Shape1(make<SignalShape>(rowOf("Shape1"))),
      Shape2(make<SignalShape>(rowOf("Shape2"))),
      Shape3(make<SignalShape>(rowOf("Shape3"))),
      Timer1(new QTimer(this)),
      MSComm1(new MSComm(this))
{
    setObjectName(QStringLiteral("Form1"));
    // The serial layer numbers the ports; the user's own mapping is the store's to keep.
    PortMap::setOverrideSource(&SettingsStore::portOverrides);
    const int border = BorderTwips / TwipsPerPixel;
    const QSize client = clientPixelSize(m_layoutScale);
    setFixedSize(client + QSize(2 * border, 2 * border));
    m_client->setGeometry(QRect(QPoint(border, border), client));

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    Timer1->setTimerType(Qt::PreciseTimer);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));

    setTabOrderFromTable();
    connectHandlers();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::setProcessEnd(ProcessEnd end)
{
    processEnd() = std::move(end);
}

template <typename Control>
Control *Form1::make(const ControlRow &row)
{
    auto *control = new Control(m_client);
    control->setObjectName(QLatin1StringView(row.name));
    control->setGeometry(pixelRect(row, m_layoutScale));
    control->setToolTip(QString::fromLatin1(row.hint));
    control->setFont(controlFont(row.bold, m_layoutScale));
    control->setHidden(!row.shownAtStart());
    if (row.kind == ControlKind::Label || row.kind == ControlKind::Shape)
        control->setFocusPolicy(Qt::NoFocus);
    setUp(control, row);
    m_controls.append({ &row, control });
    return control;
}

void Form1::setTabOrderFromTable()
{
    QList<std::pair<int, QWidget *>> focusable;
    for (const auto &[row, control] : std::as_const(m_controls)) {
        if (row->tab >= 0 && control->focusPolicy() != Qt::NoFocus)
            focusable.append({ row->tab, control });
    }
    std::sort(focusable.begin(), focusable.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (qsizetype i = 1; i < focusable.size(); ++i)
        setTabOrder(focusable[i - 1].second, focusable[i].second);
}

void Form1::setGroupVisible(ControlGroup group, bool visible)
{
    for (const auto &[row, control] : std::as_const(m_controls)) {
        if (row->group == group)
            control->setVisible(visible);
    }
}

void Form1::connectHandlers()
{
    const std::pair<QPushButton *, void (Form1::*)()> named[] = {
        { Command1, &Form1::Command1_Click },   { Command2, &Form1::Command2_Click },
        { Command11, &Form1::Command11_Click }, { Command21, &Form1::Command21_Click },
        { Command28, &Form1::Command28_Click }, { Command33, &Form1::Command33_Click },
        { Command34, &Form1::Command34_Click }, { Command35, &Form1::Command35_Click },
        { Command36, &Form1::Command36_Click },
    };
    // A press of the user's own on either ends any wait for a lost adapter, before its
    // handler runs; the handlers themselves also run within sequences and after a loss.
    for (QPushButton *button : { Command1, Command36 })
        connect(button, &QPushButton::clicked, m_adapterReturn, &AdapterReturn::stop);
    for (const auto &[button, handler] : named)
        connect(button, &QPushButton::clicked, this, handler);
    for (const FixedCommandButton &command : fixedCommandButtons()) {
        connect(this->*command.button, &QPushButton::clicked, this,
                [this, text = command.command] { FixedCommand_Click(text); });
    }
    for (const ValueCommandButton &command : valueCommandButtons()) {
        connect(this->*command.button, &QPushButton::clicked, this,
                [this, &command] { ValueCommand_Click(command); });
    }

    // Only the user's own pick counts, never text set from code or typed into the field.
    connect(Combo1, &PickList::picked, this, &Form1::Combo1_Click);
    connect(Combo2, &PickList::picked, this, &Form1::Combo2_Click);
    connect(Combo3, &PickList::picked, this, &Form1::Combo3_Click);
    // Built when the list opens, not at start-up (a scan of every tty costs milliseconds),
    // and again each time, since adapters come and go while the utility runs.
    connect(Combo2, &PickList::aboutToPopUp, this, &Form1::refreshPortTooltips);
    connect(Check1, &QCheckBox::stateChanged, this, &Form1::Check1_Click);

    connect(Text2, &ResponseLog::changed, this, &Form1::Text2_Change);
    connect(Text2, &ResponseLog::doubleClicked, this, &Form1::Text2_DblClick);
    connect(MSComm1, &MSComm::OnComm, this, &Form1::MSComm1_OnComm);
    connect(MSComm1, &MSComm::deviceLost, this, &Form1::onDeviceLost);
    connect(MSComm1, &MSComm::lineWarning, this, &Form1::onLineWarning);
    connect(m_adapterReturn, &AdapterReturn::back, this, &Form1::onAdapterBack);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
}

void Form1::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Activation proper comes and goes with every message box and every return from
    // another application; the baud rate is copied only when the window first appears.
    if (!std::exchange(m_activated, true))
        Form_Activate();
}

void Form1::refreshPortTooltips()
{
    static_cast<PortNumbers *>(Combo2->model())->setTooltips(portTooltips());
}

void Form1::Form_Load()
{
    static_cast<PortNumbers *>(Combo2->model())->append(1000);
    Text2->setText(QString());
    Combo2->setCurrentIndex(-1);
    Combo2->setEditText(SettingsStore::read(QStringLiteral("Settings"), QStringLiteral("ComPort"),
                                            QStringLiteral("3")));
    Combo1->setEditText(SettingsStore::read(QStringLiteral("Settings"), QStringLiteral("BaudRate"),
                                            QStringLiteral("19200")));
}

void Form1::Form_Activate()
{
    Combo3->setEditText(Combo1->currentText());
}

void Form1::Combo2_Click()
{
    SettingsStore::write(QStringLiteral("Settings"), QStringLiteral("ComPort"),
                         Combo2->currentText());
}

void Form1::Combo1_Click()
{
    SettingsStore::write(QStringLiteral("Settings"), QStringLiteral("BaudRate"),
                         Combo1->currentText());
    Combo3->setEditText(Combo1->currentText());
}

void Form1::Combo3_Click()
{
    Combo1->setEditText(Combo3->currentText());
}

void Form1::Check1_Click()
{
    const bool checked = Check1->isChecked();
    setGroupVisible(ControlGroup::ExtendedPanel, checked);
    if (!checked)
        Label8->hide();
}

void Form1::Command33_Click()
{
    CommStatus status;
    if (!MSComm1->PortOpen())
        status = MSComm1->setPortOpen(true);
    if (status.ok())
        status = SendCommand(QString::fromLatin1(Commands::EnableTransmission));
    // The modem must really get the frame before the port closes under it.
    if (status.ok() && !MSComm1->drainOutput(500))
        status = {
            CommError::ReadWriteFailed,
            QStringLiteral("%1 did not take the frame in time.").arg(MSComm1->deviceName())
        };
    if (!status.ok()) {
        std::fprintf(stderr, "korvanet: \"QM++O\" was not sent before closing: %s\n",
                     qPrintable(status.reason));
    }
    if (MSComm1->PortOpen())
        (void)MSComm1->setPortOpen(false);
    processEnd()(0);
}
