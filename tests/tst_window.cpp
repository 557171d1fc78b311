// The window as the user meets it: every control read back from the live widgets and
// compared with an inventory written out here, independently of the product's own table,
// and the controls that "Open port", "More settings..." and the graph show and hide.

#include "app/signalshape.h"
#include "serial/responselog.h"
#include "tests/support/windowonpty.h"

#include <QCheckBox>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>

#include <memory>

namespace {

enum class Colour { Olive, Magenta, Grey, Red, Yellow, Green };

struct Control
{
    const char *name;
    const char *kind; // the Qt class of the live widget
    const char *text; // caption, or the text the window shows after start-up
    const char *hint;
    int left, top, width, height; // twips
    Colour colour;
    bool shownAtStart;
    int tab; // -1: takes no focus (labels and rectangles)
    bool bold;
};

constexpr const char *Button = "ColourButton";
constexpr const char *Label = "QLabel";
constexpr const char *TextBox = "QLineEdit";
constexpr const char *Log = "ResponseLog";
constexpr const char *List = "PickList";
constexpr const char *Box = "QCheckBox";
constexpr const char *Rect = "SignalShape";

constexpr Colour O = Colour::Olive;
constexpr Colour M = Colour::Magenta;
constexpr Colour G = Colour::Grey;

const char *const saveHint = "If settings have been changed Save settings must be pressed or "
                             "settings are lost in next power cycle.";

// The lists show what start-up and activation put there on a first run: the stored
// defaults "3" and "19200", and the baud rate copied into Combo3. The log is emptied at
// start-up.
const Control inventory[] = {
    {"Label2", Label, "Select comport:", "", 2280, 120, 1215, 255, G, true, -1, false},
    {"Combo2", List, "3", "", 2400, 360, 1695, 315, G, true, 23, true},
    {"Command1", Button, "Open port", "Select correct COM port, baudrate and then press this.",
     480, 360, 1695, 375, O, true, 46, false},
    {"Label1", Label, "Select baudrate:", "", 2400, 840, 1215, 255, G, true, -1, false},
    {"Combo1", List, "19200", "", 2400, 1080, 1695, 315, G, true, 24, true},
    {"Command36", Button, "Close port", "", 480, 960, 1695, 375, O, true, 1, false},
    {"Command33", Button, "Close software", saveHint, 6240, 10800, 1815, 495, O, true, 4, false},

    {"Label3", Label, "Data from modem:", "", 4320, 120, 1575, 255, G, false, -1, false},
    {"Text2", Log, "", "Response from modem shows here. Doubleclick to clear.",
     4320, 360, 3615, 1095, G, false, 44, true},

    {"Command22", Button, "Disable transmission",
     "Press this before changing settings (if modem is receiving data).",
     480, 2160, 1695, 375, M, false, 20, false},
    {"Command23", Button, "Enable transmission", "Press this before closing the software.",
     3360, 2160, 1695, 375, M, false, 19, false},
    {"Command2", Button, "Get serial params", "", 480, 2760, 1695, 375, O, false, 45, false},
    {"Command21", Button, "Set serial params", "", 3360, 2760, 1695, 375, M, false, 22, false},
    {"Combo3", List, "19200", "Select baudrate.", 5640, 2760, 1695, 315, G, false, 0, true},
    {"Text5", TextBox, ",8,N,1", "Change additional serial settings. MUST be in this format.",
     7320, 2760, 735, 285, G, false, 21, true},
    {"Command7", Button, "Get Rx freq", "", 480, 3360, 1695, 375, O, false, 40, false},
    {"Command9", Button, "Set Rx freq", "", 3360, 3360, 1695, 375, M, false, 38, false},
    {"Text3", TextBox, "430.32500", "Set Rx frequency. MUST be in this format.",
     6240, 3360, 1215, 285, G, false, 37, true},
    {"Label4", Label, "Mhz", "", 7440, 3360, 495, 255, G, false, -1, true},
    {"Command8", Button, "Get Tx freq", "", 480, 3960, 1695, 375, O, false, 39, false},
    {"Command10", Button, "Set Tx freq", "", 3360, 3960, 1695, 375, M, false, 35, false},
    {"Text4", TextBox, "430.32500", "Set Tx frequency. MUST be in this format.",
     6240, 3960, 1215, 285, G, false, 36, true},
    {"Label5", Label, "Mhz", "", 7440, 3960, 495, 255, G, false, -1, true},
    {"Command29", Button, "Get Ref freq", "", 480, 4560, 1695, 375, O, false, 11, false},
    {"Command30", Button, "Set Ref freq", "", 3360, 4560, 1695, 375, M, false, 10, false},
    {"Text1", TextBox, "430.32500", "Set reference frequency. MUST be in this format.",
     6240, 4560, 1215, 285, G, false, 9, true},
    {"Label6", Label, "Mhz", "", 7440, 4560, 495, 255, G, false, -1, true},
    {"Command12", Button, "Get CH spacing", "", 480, 5160, 1695, 375, O, false, 33, false},
    {"Command13", Button, "Set CH spacing 12.5", "", 480, 5760, 1695, 375, M, false, 32, false},
    {"Command14", Button, "Set CH spacing 20", "", 3360, 5760, 1695, 375, M, false, 31, false},
    {"Command15", Button, "Set CH spacing 25", "", 6240, 5760, 1695, 375, M, false, 30, false},
    {"Command16", Button, "Get FEC status", "", 480, 6360, 1695, 375, O, false, 29, false},
    {"Command17", Button, "Set FEC ON", "", 3360, 6360, 1695, 375, M, false, 28, false},
    {"Command18", Button, "Set FEC OFF", "", 6240, 6360, 1695, 375, M, false, 27, false},
    {"Command6", Button, "Get repeater mode", "", 480, 6960, 1695, 375, O, false, 8, false},
    {"Command31", Button, "Set repeater OFF", "", 3360, 6960, 1695, 375, M, false, 7, false},
    {"Command32", Button, "Set repeater ON", "", 6240, 6960, 1695, 375, M, false, 6, false},
    {"Check1", Box, "More settings...", "", 600, 7440, 1815, 375, G, false, 5, true},
    {"Command11", Button, "Save settings",
     "If settings have been changed Save settings must be pressed or settings are lost in "
     "next power cycle. ",
     3360, 10800, 1695, 495, M, false, 34, false},

    {"Command3", Button, "Get modem type", "", 480, 8040, 1695, 375, O, false, 43, false},
    {"Command4", Button, "Get serial number", "", 3360, 8040, 1695, 375, O, false, 42, false},
    {"Command5", Button, "Get fw revision", "", 6240, 8040, 1695, 375, O, false, 41, false},
    {"Command20", Button, "Get RSSI level",
     "Received signal strength. Available up to 7 seconds after last reception. ",
     480, 8640, 1695, 375, O, false, 25, false},
    {"Command34", Button, "Show RSSI graph",
     "Graphical signal strength. Turn it off before changing settings.",
     3360, 8640, 1695, 375, O, false, 3, false},
    {"Command19", Button, "Get noise level", "", 6240, 8640, 1695, 375, O, false, 26, false},
    {"Command24", Button, "Get output power", "", 480, 9240, 1695, 375, O, false, 18, false},
    {"Command25", Button, "Set output power", "", 3360, 9240, 1695, 375, M, false, 16, false},
    {"Text6", TextBox, "1000", "Output power in milliwatts", 6240, 9240, 1095, 285, G, false, 17,
     true},
    {"Label7", Label, "mW", "", 7560, 9240, 495, 255, G, false, -1, true},
    {"Command26", Button, "Get compatib. mode", "", 480, 9840, 1695, 375, O, false, 15, false},
    {"Command27", Button, "Set compatib. mode", "", 3360, 9840, 1695, 375, M, false, 14, false},
    {"Text7", TextBox, "0", "Press question mark to get info about this.",
     6240, 9840, 375, 285, G, false, 13, true},
    {"Command28", Button, "?", "", 7680, 9840, 375, 375, O, false, 12, true},
    {"Command35", Button, "Set factory defaults", "This sets all settings to factory defaults.",
     480, 10800, 1695, 495, M, false, 2, false},

    {"Label8", Label, "Signal:", "", 960, 1800, 615, 255, G, false, -1, true},
    {"Shape1", Rect, "", "", 1680, 1680, 1575, 375, Colour::Red, false, -1, false},
    {"Shape2", Rect, "", "", 3240, 1680, 1695, 375, Colour::Yellow, false, -1, false},
    {"Shape3", Rect, "", "", 4920, 1680, 1935, 375, Colour::Green, false, -1, false},
};

constexpr int Twips = 15;

QRgb rgbOf(Colour colour)
{
    switch (colour) {
    case Colour::Olive:
        return qRgb(192, 192, 0);
    case Colour::Magenta:
        return qRgb(255, 0, 255);
    case Colour::Grey:
        return qRgb(63, 63, 63);
    case Colour::Red:
        return qRgb(255, 0, 0);
    case Colour::Yellow:
        return qRgb(255, 255, 0);
    case Colour::Green:
        return qRgb(0, 255, 0);
    }
    return 0;
}

const QStringList portGroup = {"Label2", "Combo2", "Command1", "Label1", "Combo1", "Command36",
                               "Command33"};
const QStringList needsOpenPort = {
    "Text2",     "Label3",    "Label4",    "Label5",    "Label6",    "Check1",    "Command22",
    "Command23", "Command2",  "Command21", "Command7",  "Command9",  "Command8",  "Command10",
    "Command29", "Command30", "Command11", "Command12", "Command13", "Command14", "Command15",
    "Command16", "Command17", "Command18", "Command6",  "Command31", "Command32", "Text5",
    "Text3",     "Text4",     "Text1",     "Combo3"};
const QStringList extendedPanel = {"Command3",  "Command4",  "Command5",  "Command19", "Command20",
                                   "Command24", "Command25", "Command26", "Command27", "Command28",
                                   "Command34", "Command35", "Text6",     "Text7",     "Label7"};

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

QStringList visibleControls(const Form1 &form)
{
    QStringList shown;
    for (const Control &control : inventory) {
        const auto *widget = form.findChild<QWidget *>(QLatin1StringView(control.name));
        if (widget && widget->isVisibleTo(&form))
            shown.append(QLatin1StringView(control.name));
    }
    return sorted(shown);
}

// The colour that covers most of the widget's face, the edge left out.
QRgb dominantColour(const QImage &image)
{
    QHash<QRgb, int> counts;
    for (int y = 2; y < image.height() - 2; ++y) {
        for (int x = 2; x < image.width() - 2; ++x)
            ++counts[image.pixel(x, y) | 0xff000000];
    }
    QRgb best = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    }
    return best;
}

bool hasPixel(const QImage &image, bool (*matches)(QRgb))
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (matches(image.pixel(x, y)))
                return true;
        }
    }
    return false;
}

bool nearWhite(QRgb c)
{
    return qRed(c) > 220 && qGreen(c) > 220 && qBlue(c) > 220;
}

bool nearBlack(QRgb c)
{
    return qRed(c) < 50 && qGreen(c) < 50 && qBlue(c) < 50;
}

QString colourName(QRgb c)
{
    return QStringLiteral("rgb(%1,%2,%3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

QString textOf(const QWidget *widget)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *box = qobject_cast<const QLineEdit *>(widget))
        return box->text();
    if (const auto *log = qobject_cast<const ResponseLog *>(widget))
        return log->text() + log->toPlainText();
    if (const auto *list = qobject_cast<const QComboBox *>(widget))
        return list->currentText();
    return {};
}

QWidget *control(const Form1 &form, const char *name)
{
    return form.findChild<QWidget *>(QLatin1StringView(name));
}

} // namespace

class tst_Window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        resetSettings();
        m_form = std::make_unique<Form1>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }
    void cleanupTestCase() { m_form.reset(); }

    void inventoryIsComplete()
    {
        QCOMPARE(std::size(inventory), size_t(58));
        const auto *client = m_form->findChild<QWidget *>(QStringLiteral("ClientArea"));
        QVERIFY(client);
        QStringList children;
        for (const QObject *child : client->children()) {
            if (child->isWidgetType())
                children.append(child->objectName());
        }
        QStringList expected;
        for (const Control &row : inventory)
            expected.append(QLatin1StringView(row.name));
        QCOMPARE(sorted(children), sorted(expected));
    }

    void control_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(inventory)); ++i)
            QTest::newRow(inventory[i].name) << i;
    }
    void control()
    {
        QFETCH(int, row);
        const Control &expected = inventory[row];
        const QWidget *widget = ::control(*m_form, expected.name);
        QVERIFY(widget);
        QCOMPARE(widget->metaObject()->className(), expected.kind);
        QCOMPARE(widget->parentWidget()->objectName(), QStringLiteral("ClientArea"));
        QCOMPARE(textOf(widget), QString::fromUtf8(expected.text));
        QCOMPARE(widget->toolTip(), QString::fromUtf8(expected.hint));
        QCOMPARE(widget->geometry(),
                 QRect(expected.left / Twips, expected.top / Twips, expected.width / Twips,
                       expected.height / Twips));
        QCOMPARE(widget->isVisibleTo(m_form.get()), expected.shownAtStart);
        if (expected.kind != Rect) {
            QCOMPARE(widget->font().weight(), expected.bold ? QFont::Bold : QFont::Normal);
            // 8.25 pt at 96 dpi.
            QCOMPARE(QFontInfo(widget->font()).pixelSize(), 11);
        }
        if (expected.tab < 0)
            QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
        else
            QVERIFY(widget->focusPolicy() & Qt::TabFocus);
    }

    // Read back from what the widget paints, not from a style sheet string.
    void colour_data() { control_data(); }
    void colour()
    {
        QFETCH(int, row);
        const Control &expected = inventory[row];
        QWidget *widget = ::control(*m_form, expected.name);
        const QRgb want = rgbOf(expected.colour);
        const QImage face = widget->grab().toImage();
        if (auto *shape = qobject_cast<SignalShape *>(widget)) {
            QCOMPARE(shape->fillColor(), QColor::fromRgb(want));
            QCOMPARE(colourName(face.pixel(face.width() / 2, face.height() / 2)),
                     colourName(want));
            QCOMPARE(colourName(face.pixel(0, 0)), colourName(qRgb(0, 0, 0)));
            return;
        }
        QCOMPARE(colourName(dominantColour(face)), colourName(want));
        if (expected.kind == Button)
            QVERIFY2(hasPixel(face, nearBlack), "no dark caption text");
        else if (*expected.text)
            QVERIFY2(hasPixel(face, nearWhite), "no white text");
    }

    // The fallback font decides the width of every caption; none may be cut off, the
    // captions that the window sets at run time included.
    void captionFits_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        for (const Control &row : inventory) {
            if (*row.text && row.kind != List && row.kind != Log)
                QTest::newRow(row.name) << row.name << QString::fromUtf8(row.text);
        }
        QTest::newRow("Command1 open") << "Command1" << "Port is open";
        QTest::newRow("Command34 running") << "Command34" << "Hide RSSI graph";
    }
    void captionFits()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QWidget *widget = m_form->findChild<QWidget *>(name);
        const int needed = widget->fontMetrics().horizontalAdvance(caption);
        int room = widget->contentsRect().width();
        if (auto *box = qobject_cast<QCheckBox *>(widget)) {
            QStyleOptionButton option;
            option.initFrom(box);
            option.text = caption;
            room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
        } else if (qobject_cast<QPushButton *>(widget) || qobject_cast<QLineEdit *>(widget)) {
            room -= 4; // the one-pixel border on each side, and a pixel of air
        }
        QVERIFY2(needed <= room, qPrintable(QStringLiteral("%1 px for \"%2\" in %3 px of %4")
                                                .arg(needed).arg(caption).arg(room)
                                                .arg(QFontInfo(widget->font()).family())));
    }

    void window()
    {
        Form1 &form = *m_form;
        QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(form.isWindow());
        QCOMPARE(form.size(), QSize(589, 783));
        QCOMPARE(form.minimumSize(), QSize(589, 783));
        QCOMPARE(form.maximumSize(), QSize(589, 783));
        auto *client = form.findChild<QWidget *>(QStringLiteral("ClientArea"));
        QCOMPARE(client->geometry(), QRect(1, 1, 587, 781));

        const QImage frame = form.grab().toImage();
        QCOMPARE(colourName(frame.pixel(0, 0)), colourName(qRgb(0, 0, 0)));
        QCOMPARE(colourName(frame.pixel(588, 400)), colourName(qRgb(0, 0, 0)));
        QCOMPARE(colourName(frame.pixel(300, 782)), colourName(qRgb(0, 0, 0)));

        // The picture is 586 pixels wide and the client area 587: the last column shows the
        // window's own background colour. The picture itself is a quiet dark gradient, lighter
        // at the top, never the flat window grey and never bright enough to fight the captions.
        const QImage area = client->grab().toImage();
        QCOMPARE(colourName(area.pixel(586, 300)), colourName(qRgb(63, 63, 63)));
        int previous = 256;
        for (const int y : {10, 200, 400, 600, 775}) {
            const QRgb pixel = area.pixel(20, y + 5); // between the faint rules
            QVERIFY2(pixel != qRgb(63, 63, 63), qPrintable(colourName(pixel)));
            QVERIFY2(qGray(pixel) < 90 && qGray(pixel) > 30, qPrintable(colourName(pixel)));
            QVERIFY2(qGray(pixel) < previous, qPrintable(colourName(pixel)));
            previous = qGray(pixel);
        }
    }

    void listsAndBoxes()
    {
        const QStringList rates = {"1200", "2400", "4800", "9600", "19200", "38400"};
        for (PickList *list : {m_form->Combo1, m_form->Combo3}) {
            QStringList items;
            for (int i = 0; i < list->count(); ++i)
                items.append(list->itemText(i));
            QCOMPARE(items, rates);
            QVERIFY(list->isEditable());
        }
        QCOMPARE(m_form->Combo2->count(), 1000);
        QCOMPARE(m_form->Combo2->itemText(0), QStringLiteral(" 1"));
        QCOMPARE(m_form->Combo2->itemText(999), QStringLiteral(" 1000"));

        for (QLineEdit *box : {m_form->Text1, m_form->Text3, m_form->Text4, m_form->Text5,
                               m_form->Text6, m_form->Text7}) {
            QCOMPARE(box->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
            QVERIFY(!box->hasFrame());
        }
        QCOMPARE(m_form->Text2->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(m_form->Text2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(!m_form->Text2->isReadOnly());
        QVERIFY(!m_form->Check1->isChecked());
    }

    void noAcceleratorsNoDefaultButton()
    {
        const auto buttons = m_form->findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 36);
        for (const QPushButton *button : buttons) {
            QVERIFY2(!button->isDefault() && !button->autoDefault(),
                     qPrintable(button->objectName()));
        }
        for (const Control &row : inventory) {
            const QString text = textOf(::control(*m_form, row.name));
            QVERIFY2(!text.contains(u'&'), row.name);
        }
        for (const QLabel *label : m_form->findChildren<QLabel *>())
            QVERIFY2(!label->buddy(), qPrintable(label->objectName()));
    }

    void timer()
    {
        QCOMPARE(m_form->Timer1->interval(), 1000);
        QVERIFY(!m_form->Timer1->isActive());
    }

    // The focus chain holds every control, shown or not; Tab then skips the hidden ones.
    void focusChain()
    {
        QList<const Control *> focusable;
        for (const Control &row : inventory) {
            if (row.tab >= 0)
                focusable.append(&row);
        }
        std::sort(focusable.begin(), focusable.end(),
                  [](const Control *a, const Control *b) { return a->tab < b->tab; });
        QStringList expected;
        for (const Control *row : std::as_const(focusable))
            expected.append(QLatin1StringView(row->name));
        QCOMPARE(expected.size(), 47);

        QStringList chain;
        QWidget *start = m_form->Combo3;
        QWidget *widget = start;
        do {
            const QString name = widget->objectName();
            if (expected.contains(name) && !chain.contains(name))
                chain.append(name);
            widget = widget->nextInFocusChain();
        } while (widget != start && chain.size() <= expected.size());
        QCOMPARE(chain, expected);
    }

    // With everything shown, the Tab key itself walks the controls in that order, and
    // leaving the response log by Tab does not type into it.
    void tabKeyWalk()
    {
        WindowOnPty w;
        w.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&w.form));
        QVERIFY(w.openPort());
        QVERIFY(w.openPanel());

        QStringList walk;
        w.form.Combo3->setFocus(Qt::OtherFocusReason);
        for (int i = 0; i < 48; ++i) {
            QWidget *focus = QApplication::focusWidget();
            QVERIFY(focus);
            // An editable list keeps the focus in its edit field.
            if (auto *list = qobject_cast<QComboBox *>(focus->parentWidget()))
                focus = list;
            walk.append(focus->objectName());
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        const QStringList expected = {
            "Combo3",    "Command36", "Command35", "Command34", "Command33", "Check1",
            "Command32", "Command31", "Command6",  "Text1",     "Command30", "Command29",
            "Command28", "Text7",     "Command27", "Command26", "Command25", "Text6",
            "Command24", "Command23", "Command22", "Text5",     "Command21", "Combo2",
            "Combo1",    "Command20", "Command19", "Command18", "Command17", "Command16",
            "Command15", "Command14", "Command13", "Command12", "Command11", "Command10",
            "Text4",     "Text3",     "Command9",  "Command8",  "Command7",  "Command5",
            "Command4",  "Command3",  "Text2",     "Command2",  "Command1",  "Combo3"};
        QCOMPARE(walk, expected);
        QCOMPARE(w.form.Text2->text(), QString());
        QVERIFY(w.script.shown().isEmpty());
    }

    // Start, port open, panel open, the graph's label, and the way back.
    void visibilityStates()
    {
        WindowOnPty w;
        QVERIFY(w.show());
        const QStringList start = sorted(portGroup);
        const QStringList open = sorted(portGroup + needsOpenPort);
        const QStringList panel = sorted(portGroup + needsOpenPort + extendedPanel);
        QCOMPARE(needsOpenPort.size(), 32);
        QCOMPARE(extendedPanel.size(), 15);

        QCOMPARE(visibleControls(w.form), start);

        QTest::mouseClick(w.form.Command1, Qt::LeftButton);
        QVERIFY2(w.script.shown().isEmpty(), qPrintable(w.script.texts().join(u'|')));
        QCOMPARE(w.form.Command1->text(), QStringLiteral("Port is open"));
        QCOMPARE(visibleControls(w.form), open);

        QTest::mouseClick(w.form.Check1, Qt::LeftButton);
        QVERIFY(w.form.Check1->isChecked());
        QCOMPARE(visibleControls(w.form), panel);
        // Ticked and focused, the box keeps its grey face and white caption.
        const QImage ticked = w.form.Check1->grab().toImage();
        QCOMPARE(colourName(dominantColour(ticked)), colourName(qRgb(63, 63, 63)));
        QVERIFY(hasPixel(ticked, nearWhite));

        // The graph shows its label; unchecking hides the panel and the label, and leaves
        // the graph's timer running.
        QTest::mouseClick(w.form.Command34, Qt::LeftButton);
        QCOMPARE(visibleControls(w.form), sorted(panel + QStringList{"Label8"}));
        QTest::mouseClick(w.form.Check1, Qt::LeftButton);
        QVERIFY(!w.form.Check1->isChecked());
        QCOMPARE(visibleControls(w.form), open);
        QVERIFY(w.form.Timer1->isActive());
        w.form.Timer1->stop();

        // Space on the focused box works like a click.
        w.form.Check1->setFocus();
        QTest::keyClick(w.form.Check1, Qt::Key_Space);
        QVERIFY(w.form.Check1->isChecked());
        QCOMPARE(visibleControls(w.form), panel);

        QTest::mouseClick(w.form.Command36, Qt::LeftButton);
        QCOMPARE(w.form.Command1->text(), QStringLiteral("Open port"));
        QCOMPARE(visibleControls(w.form), start);
        QVERIFY(w.form.Check1->isChecked());

        // Reopened with the box still ticked: the tick shows, the panel does not.
        QTest::mouseClick(w.form.Command1, Qt::LeftButton);
        QVERIFY(w.form.Check1->isChecked());
        QCOMPARE(visibleControls(w.form), open);
        QTest::mouseClick(w.form.Check1, Qt::LeftButton);
        QVERIFY(!w.form.Check1->isChecked());
        QCOMPARE(visibleControls(w.form), open);
        QTest::mouseClick(w.form.Check1, Qt::LeftButton);
        QCOMPARE(visibleControls(w.form), panel);

        QVERIFY(w.script.shown().isEmpty());
        // Showing and hiding panels sends nothing.
        QCOMPARE(w.pty.readFor(20), QByteArray());
    }

private:
    std::unique_ptr<Form1> m_form;
};

KORVANET_TEST_MAIN(tst_Window)
#include "tst_window.moc"
