// SPDX-License-Identifier: GPL-3.0-or-later
// The floor: a Qt Widgets process that shows one empty window of the utility's size and does
// nothing else. Whatever the utility costs beyond this is its own.
//
// With --text the window also shows one line of text. Drawing any text loads the font
// stack (fontconfig, FreeType, HarfBuzz and the font files), which the empty window never
// does; this second floor tells that share apart from the utility's own.

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("emptywindow"));
    window.setFixedSize(589, 783);
    if (QApplication::arguments().contains(QStringLiteral("--text")))
        (new QLabel(QStringLiteral("Open port"), &window))->move(10, 10);
    window.show();
    return QApplication::exec();
}
