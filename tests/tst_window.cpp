// SPDX-License-Identifier: GPL-3.0-or-later
// The window as the user meets it: every control read back from the live widgets and
// compared with an inventory kept as data (tests/data/controls.json), independently of the
// product's own table, and the controls that "Open port", "More settings..." and the graph
// show and hide.

#include "app/screenfit.h"
#include "app/signalshape.h"
#include "serial/widget/responselog.h"
#include "tests/support/windowonpty.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QHash>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>

#include <memory>

namespace {

struct Control
{
    QString name;
    QByteArray kind; // the Qt class of the live widget
    QString text; // caption, or the text the window shows after start-up
    QString hint;
    int left, top, width, height; // twips
    QRgb colour;
    bool shownAtStart;
    int tab; // -1: takes no focus (labels and rectangles)
    bool bold;
};

const QByteArray Button = "ColourButton";
const QByteArray Log = "ResponseLog";
const QByteArray List = "PickList";
const QByteArray Rect = "SignalShape";

constexpr int Twips = 15;

const QHash<QString, QRgb> colourNames = {
    { "olive", qRgb(192, 192, 0) }, { "magenta", qRgb(255, 0, 255) }, { "grey", qRgb(63, 63, 63) },
    { "red", qRgb(255, 0, 0) },     { "yellow", qRgb(255, 255, 0) },  { "green", qRgb(0, 255, 0) },
};

// Every control as the user meets it on a first run, from tests/data/controls.json; read
// by initTestCase, before any test or its data.
QList<Control> inventory;

// Reads the inventory, or says what is wrong with the file.
QString readInventory()
{
    QFile file(QStringLiteral(KORVANET_TEST_DATA "/controls.json"));
    if (!file.open(QIODevice::ReadOnly))
        return file.fileName() + QStringLiteral(": ") + file.errorString();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return file.fileName() + QStringLiteral(": ") + parseError.errorString();
    for (const QJsonValue &value : document[QStringLiteral("controls")].toArray()) {
        const QJsonArray row = value.toArray();
        if (row.size() != 12 || !colourNames.contains(row[8].toString()))
            return QStringLiteral("malformed row: ") + QJsonDocument(row).toJson();
        inventory.append({ row[0].toString(), row[1].toString().toLatin1(), row[2].toString(),
                           row[3].toString(), row[4].toInt(), row[5].toInt(), row[6].toInt(),
                           row[7].toInt(), colourNames.value(row[8].toString()), row[9].toBool(),
                           row[10].toInt(), row[11].toBool() });
    }
    return {};
}

const QStringList portGroup = { "Label2", "Combo2",    "Command1", "Label1",
                                "Combo1", "Command36", "Command33" };
const QStringList needsOpenPort = { "Text2",     "Label3",    "Label4",    "Label5",    "Label6",
                                    "Check1",    "Command22", "Command23", "Command2",  "Command21",
                                    "Command7",  "Command9",  "Command8",  "Command10", "Command29",
                                    "Command30", "Command11", "Command12", "Command13", "Command14",
                                    "Command15", "Command16", "Command17", "Command18", "Command6",
                                    "Command31", "Command32", "Text5",     "Text3",     "Text4",
                                    "Text1",     "Combo3" };
const QStringList extendedPanel = { "Command3",  "Command4",  "Command5",  "Command19", "Command20",
                                    "Command24", "Command25", "Command26", "Command27", "Command28",
                                    "Command34", "Command35", "Text6",     "Text7",     "Label7" };

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

QStringList visibleControls(const Form1 &form)
{
    QStringList shown;
    for (const Control &control : std::as_const(inventory)) {
        const auto *widget = form.findChild<QWidget *>(control.name);
        if (widget && widget->isVisibleTo(&form))
            shown.append(control.name);
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

QWidget *control(const Form1 &form, const QString &name)
{
    return form.findChild<QWidget *>(name);
}

} // namespace

class tst_Window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString unread = readInventory();
        QVERIFY2(unread.isEmpty(), qPrintable(unread));
        resetSettings();
        m_form = std::make_unique<Form1>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }
    void cleanupTestCase() { m_form.reset(); }

    void inventoryIsComplete()
    {
        QCOMPARE(inventory.size(), 58);
        const auto *client = m_form->findChild<QWidget *>(QStringLiteral("ClientArea"));
        QVERIFY(client);
        QStringList children;
        for (const QObject *child : client->children()) {
            if (child->isWidgetType())
                children.append(child->objectName());
        }
        QStringList expected;
        for (const Control &row : std::as_const(inventory))
            expected.append(row.name);
        QCOMPARE(sorted(children), sorted(expected));
    }

    void control_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(inventory.size()); ++i)
            QTest::newRow(qPrintable(inventory[i].name)) << i;
    }
    void control()
    {
        QFETCH(int, row);
        const Control &expected = inventory[row];
        const QWidget *widget = ::control(*m_form, expected.name);
        QVERIFY(widget);
        QCOMPARE(QByteArray(widget->metaObject()->className()), expected.kind);
        QCOMPARE(widget->parentWidget()->objectName(), QStringLiteral("ClientArea"));
        QCOMPARE(textOf(widget), expected.text);
        QCOMPARE(widget->toolTip(), expected.hint);
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
        const QRgb want = expected.colour;
        const QImage face = widget->grab().toImage();
        if (auto *shape = qobject_cast<SignalShape *>(widget)) {
            QCOMPARE(shape->fillColor(), QColor::fromRgb(want));
            QCOMPARE(colourName(face.pixel(face.width() / 2, face.height() / 2)), colourName(want));
            QCOMPARE(colourName(face.pixel(0, 0)), colourName(qRgb(0, 0, 0)));
            return;
        }
        QCOMPARE(colourName(dominantColour(face)), colourName(want));
        if (expected.kind == Button)
            QVERIFY2(hasPixel(face, nearBlack), "no dark caption text");
        else if (!expected.text.isEmpty())
            QVERIFY2(hasPixel(face, nearWhite), "no white text");
    }

    // The fallback font decides the width of every caption; none may be cut off, the
    // captions that the window sets at run time included.
    void captionFits_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        for (const Control &row : std::as_const(inventory)) {
            if (!row.text.isEmpty() && row.kind != List && row.kind != Log)
                QTest::newRow(qPrintable(row.name)) << row.name << row.text;
        }
        QTest::newRow("Command1 open") << "Command1"
                                       << "Port is open";
        QTest::newRow("Command34 running") << "Command34"
                                           << "Hide RSSI graph";
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
        QVERIFY2(needed <= room,
                 qPrintable(QStringLiteral("%1 px for \"%2\" in %3 px of %4")
                                    .arg(needed)
                                    .arg(caption)
                                    .arg(room)
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
        for (const int y : { 10, 200, 400, 600, 775 }) {
            const QRgb pixel = area.pixel(20, y + 5); // between the faint rules
            QVERIFY2(pixel != qRgb(63, 63, 63), qPrintable(colourName(pixel)));
            QVERIFY2(qGray(pixel) < 90 && qGray(pixel) > 30, qPrintable(colourName(pixel)));
            QVERIFY2(qGray(pixel) < previous, qPrintable(colourName(pixel)));
            previous = qGray(pixel);
        }
    }

    // On every available area from 400 to 2200 pixels either way, and a pixel either side of
    // where the designed window just fits: the area as Qt reports it (whole logical pixels,
    // rounded), the ratio that the restart with the fitted QT_SCALE_FACTOR brings, and the
    // window laid out at its scale and placed. It must lie inside the area, in logical and in
    // device pixels, at a ratio Qt can paint (1 or more), shrunk only where it has to be and
    // then filling the area to within a percent.
    void fitsScreen_data()
    {
        QTest::addColumn<double>("platformRatio");
        QTest::addColumn<double>("userFactor"); // QT_SCALE_FACTOR as the user set it
        const std::pair<double, double> ratios[] = {
            { 1, 1 },    { 1.25, 1 }, { 1.5, 1 }, { 1.75, 1 }, { 2, 1 },   { 2.5, 1 },    { 3, 1 },
            { 1, 1.25 }, { 1, 1.5 },  { 1, 2 },   { 1, 3 },    { 2, 1.5 }, { 1.5, 1.25 },
        };
        for (const auto &[platform, user] : ratios) {
            QTest::newRow(qPrintable(
                    QStringLiteral("ratio %1, QT_SCALE_FACTOR %2").arg(platform).arg(user)))
                    << platform << user;
        }
    }

    void fitsScreen()
    {
        QFETCH(double, platformRatio);
        QFETCH(double, userFactor);
        const double ratio = platformRatio * userFactor;
        const int frame = BorderTwips / TwipsPerPixel;
        const QSize designed = clientPixelSize() + QSize(2 * frame, 2 * frame);
        QList<int> sizes;
        for (int size = 400; size <= 2200; size += 50)
            sizes.append(size);
        for (const int edge : { designed.width(), designed.height() }) {
            for (int size = int(edge * ratio) - 1; size <= int(edge * ratio) + 2; ++size)
                sizes.append(size);
        }
        // Qt's logical pixels for the device's, rounded as QHighDpi rounds a size.
        const auto logical = [](QSize device, double ratio) { return device * (1.0 / ratio); };

        QStringList problems;
        for (const int width : std::as_const(sizes)) {
            for (const int height : std::as_const(sizes)) {
                const QSize device(width, height);
                const QSize given = logical(device, ratio);
                const ScreenFit::Fit fit =
                        ScreenFit::fitFor(clientPixelSize(), frame, given, ratio, userFactor);
                const double after =
                        fit.qtScaleFactor > 0 ? platformRatio * fit.qtScaleFactor : ratio;
                const QRect area(QPoint(), logical(device, after));
                const QSize window =
                        clientPixelSize(fit.layoutScale) + designed - clientPixelSize();
                const QRect placed(ScreenFit::placement(window, area), window);
                const QSize painted = window * after;
                const bool shrunk = fit.qtScaleFactor > 0 || fit.layoutScale < 1;
                // A logical pixel to spare: where the area is rounded up to just the window,
                // the screen may be half a pixel short of it.
                const bool roomy = ratio >= 1 && given.width() > designed.width()
                        && given.height() > designed.height();
                QString problem;
                if (after < 1)
                    problem = QStringLiteral("ratio %1").arg(after);
                else if (!area.contains(placed))
                    problem = QStringLiteral("%1x%2 at %3,%4 outside %5x%6")
                                      .arg(window.width())
                                      .arg(window.height())
                                      .arg(placed.x())
                                      .arg(placed.y())
                                      .arg(area.width())
                                      .arg(area.height());
                else if (painted.width() > width || painted.height() > height)
                    problem = QStringLiteral("%1x%2 device pixels")
                                      .arg(painted.width())
                                      .arg(painted.height());
                else if (roomy && shrunk)
                    problem = QStringLiteral("shrunk, though %1x%2 fits")
                                      .arg(designed.width())
                                      .arg(designed.height());
                else if (shrunk && painted.width() < 0.99 * width - 2
                         && painted.height() < 0.99 * height - 2)
                    problem = QStringLiteral("shrunk to %1x%2 device pixels")
                                      .arg(painted.width())
                                      .arg(painted.height());
                if (!problem.isEmpty())
                    problems.append(
                            QStringLiteral("%1x%2: %3").arg(width).arg(height).arg(problem));
            }
        }
        QVERIFY2(problems.isEmpty(),
                 qPrintable(QStringLiteral("%1 areas, first: %2")
                                    .arg(problems.size())
                                    .arg(problems.mid(0, 5).join(QStringLiteral("; ")))));
    }

    void listsAndBoxes()
    {
        const QStringList rates = { "1200", "2400", "4800", "9600", "19200", "38400" };
        for (PickList *list : { m_form->Combo1, m_form->Combo3 }) {
            QStringList items;
            for (int i = 0; i < list->count(); ++i)
                items.append(list->itemText(i));
            QCOMPARE(items, rates);
            QVERIFY(list->isEditable());
        }
        QCOMPARE(m_form->Combo2->count(), 1000);
        QCOMPARE(m_form->Combo2->itemText(0), QStringLiteral(" 1"));
        QCOMPARE(m_form->Combo2->itemText(999), QStringLiteral(" 1000"));
        for (PickList *list : { m_form->Combo1, m_form->Combo2, m_form->Combo3 }) {
            QVERIFY(!list->completer());
            // The drop-down is built when first asked for, and still in the box's own font.
            QCOMPARE(list->view()->font(), list->font());
        }

        for (QLineEdit *box : { m_form->Text1, m_form->Text3, m_form->Text4, m_form->Text5,
                                m_form->Text6, m_form->Text7 }) {
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
        for (const Control &row : std::as_const(inventory)) {
            const QString text = textOf(::control(*m_form, row.name));
            QVERIFY2(!text.contains(u'&'), qPrintable(row.name));
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
        for (const Control &row : std::as_const(inventory)) {
            if (row.tab >= 0)
                focusable.append(&row);
        }
        std::sort(focusable.begin(), focusable.end(),
                  [](const Control *a, const Control *b) { return a->tab < b->tab; });
        QStringList expected;
        for (const Control *row : std::as_const(focusable))
            expected.append(row->name);
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
            "Command4",  "Command3",  "Text2",     "Command2",  "Command1",  "Combo3"
        };
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
        QCOMPARE(visibleControls(w.form), sorted(panel + QStringList{ "Label8" }));
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
