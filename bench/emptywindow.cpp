// SPDX-License-Identifier: GPL-3.0-or-later
// The floor: a Qt Widgets process that shows one empty window of the utility's size and does
// nothing else. Whatever the utility costs beyond this is its own.
//
// With --text the window also shows one line of text. Drawing any text loads the font
// stack (fontconfig, FreeType, HarfBuzz and the font files), which the empty window never
// does; this second floor tells that share apart from the utility's own.
//
// With --fonts the line is shown twice, in the utility's own two fonts instead of the
// platform's: Liberation Sans (the face the utility's font list finds on a machine with
// fonts-liberation2, which bench/run installs) at 11 pixels, regular and bold. This third
// floor tells the share of those fonts apart from that of the window's controls.

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("emptywindow"));
    window.setFixedSize(589, 783);
    const QStringList arguments = QApplication::arguments();
    if (arguments.contains(QStringLiteral("--text")))
        (new QLabel(QStringLiteral("Open port"), &window))->move(10, 10);
    if (arguments.contains(QStringLiteral("--fonts"))) {
        for (const bool bold : { false, true }) {
            QFont font(QStringLiteral("Liberation Sans"));
            font.setPixelSize(11);
            font.setBold(bold);
            auto *label = new QLabel(QStringLiteral("Open port"), &window);
            label->setFont(font);
            label->move(10, bold ? 30 : 10);
        }
    }
    window.show();
    return QApplication::exec();
}
