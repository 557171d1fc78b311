// SPDX-License-Identifier: GPL-3.0-or-later
// Every caption readable in full, and the unticked check box visible, checked by pixels.
// CTest runs this again with a font configuration that knows only DejaVu, as on a machine
// without Liberation Sans.

#include "app/colourbutton.h"
#include "app/controltable.h"
#include "app/form1.h"
#include "app/screenfit.h"
#include "tests/support/pty.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QStyleOptionButton>

namespace {

// Relative luminance and contrast ratio as WCAG defines them.
double luminance(QRgb rgb)
{
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb))
            + 0.0722 * channel(qBlue(rgb));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// How many pixels of `area` are not `background`: caption ink.
int inkIn(const QImage &image, const QRect &area, QRgb background)
{
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            ink += (image.pixel(x, y) & 0xffffff) != (background & 0xffffff);
    }
    return ink;
}

} // namespace

class tst_Legibility : public QObject
{
    Q_OBJECT

private slots:
    // Without the font it is meant for, the run would prove nothing.
    void initTestCase()
    {
        const QString wanted = qEnvironmentVariable("KORVANET_TEST_FONTS");
        if (!wanted.isEmpty()) {
            Form1 form;
            QCOMPARE(QFontInfo(form.Command1->font()).family(), wanted);
        }
    }

    void captionFits_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("caption"); // empty: the one it starts with
        for (const ControlRow &row : controlTable()) {
            const bool captioned = row.kind == ControlKind::Button || row.kind == ControlKind::Label
                    || row.kind == ControlKind::CheckBox;
            if (captioned && *row.text)
                QTest::newRow(row.name) << row.name << QString();
        }
        // The captions that change while the utility runs.
        QTest::newRow("Command1 open") << "Command1"
                                       << "Port is open";
        QTest::newRow("Command34 running") << "Command34"
                                           << "Hide RSSI graph";
    }

    // A caption wider than its control is cut at the control's edge: ink in the last column
    // inside it (a centred button caption, on both sides).
    void captionFits()
    {
        QFETCH(QString, control);
        QFETCH(QString, caption);
        Form1 form;
        auto *widget = form.findChild<QWidget *>(control);
        QVERIFY(widget);
        const ControlRow &row = controlRow(control);
        if (!caption.isEmpty())
            static_cast<QAbstractButton *>(widget)->setText(caption);
        const QImage image = widget->grab().toImage();
        QCOMPARE(image.size(), widget->size());

        const auto column = [&image](int x, int inset) {
            return QRect(x, inset, 1, image.height() - 2 * inset);
        };
        const int right = image.width() - 1;
        if (row.kind == ControlKind::Button) {
            // Inside the one-pixel outline.
            const QRgb face = static_cast<ColourButton *>(widget)->face().rgb();
            QVERIFY(inkIn(image, image.rect().adjusted(1, 1, -1, -1), face) > 0);
            QCOMPARE(inkIn(image, column(1, 1), face), 0);
            QCOMPARE(inkIn(image, column(right - 1, 1), face), 0);
        } else {
            QVERIFY(inkIn(image, image.rect(), Colours::Window) > 0);
            QCOMPARE(inkIn(image, column(right, 0), Colours::Window), 0);
        }
    }

    // Every layout scale the window takes, down to the smallest (a 400 pixel screen): each
    // caption measured as it is fitted and painted (captionfit.cpp: the advance or the ink,
    // whichever reaches further, in the font the control paints with) within the room its
    // control gives it: inside a button's outline and a pixel of air, a label's or a check
    // box's text short of its last pixel.
    void captionFitsScaled_data()
    {
        QTest::addColumn<double>("scale");
        const double smallest =
                ScreenFit::fitFor(clientPixelSize(), 1, QSize(400, 400), 1, 1).layoutScale;
        for (int step = 0; 1.0 - step * 0.02 > smallest; ++step)
            QTest::newRow(qPrintable(QString::number(1.0 - step * 0.02))) << 1.0 - step * 0.02;
        QTest::newRow(qPrintable(QString::number(smallest))) << smallest;
    }

    void captionFitsScaled()
    {
        QFETCH(double, scale);
        Form1 form(nullptr, scale);
        QStringList problems;
        const auto measure = [&problems](const QWidget *control, const QFont &font,
                                         const QString &caption, int room) {
            const QFontMetrics metrics(font);
            const int width = std::max(metrics.horizontalAdvance(caption),
                                       metrics.boundingRect(caption).right() + 1);
            if (width > room) {
                problems.append(QStringLiteral("%1 \"%2\": %3 px in %4 (%5 px %6)")
                                        .arg(control->objectName(), caption)
                                        .arg(width)
                                        .arg(room)
                                        .arg(font.pixelSize())
                                        .arg(QFontInfo(font).family()));
            }
        };
        for (const ControlRow &row : controlTable()) {
            auto *control = form.findChild<QWidget *>(QLatin1StringView(row.name));
            if (auto *button = qobject_cast<ColourButton *>(control)) {
                QStringList captions{ button->text() };
                if (button == form.Command1)
                    captions.append(QStringLiteral("Port is open"));
                else if (button == form.Command34)
                    captions.append(QStringLiteral("Hide RSSI graph"));
                for (const QString &caption : std::as_const(captions)) {
                    button->setText(caption);
                    measure(button, button->captionFont(), caption, button->width() - 4);
                }
            } else if (auto *label = qobject_cast<QLabel *>(control)) {
                measure(label, label->font(), label->text(), label->width() - 1);
            } else if (auto *box = qobject_cast<QCheckBox *>(control)) {
                const QStyle *style = box->style();
                const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box)
                        + style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
                measure(box, box->font(), box->text(), box->width() - 1 - indicator);
            }
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    }

    // 3:1 is the usual floor for the parts of a control that tell it is there.
    void uncheckedBoxStandsOut()
    {
        Form1 form;
        QCheckBox *box = form.Check1;
        QVERIFY(!box->isChecked());
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        option.state |= QStyle::State_Off;
        const QRect indicator =
                box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        const QImage image = box->grab().toImage();
        const QPoint centre = indicator.center();
        for (const QPoint &edge :
             { QPoint(indicator.left(), centre.y()), QPoint(indicator.right(), centre.y()),
               QPoint(centre.x(), indicator.top()), QPoint(centre.x(), indicator.bottom()) }) {
            const double ratio = contrast(image.pixel(edge), Colours::Window);
            QVERIFY2(ratio >= 3.0,
                     qPrintable(QStringLiteral("%1:1 at %2,%3")
                                        .arg(ratio, 0, 'f', 2)
                                        .arg(edge.x())
                                        .arg(edge.y())));
        }
    }
};

KORVANET_TEST_MAIN(tst_Legibility)
#include "tst_legibility.moc"
