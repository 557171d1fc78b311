#include "app/form1.h"

#include <QApplication>
#include <QScreen>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvanet"));
    QApplication::setApplicationDisplayName(QStringLiteral("Korvanet"));
    QApplication::setApplicationVersion(QStringLiteral(KORVANET_VERSION));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    Form1 form;
    form.move(form.screen()->availableGeometry().center() - form.rect().center());
    form.show();
    return QApplication::exec();
}
