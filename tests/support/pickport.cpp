// SPDX-License-Identifier: GPL-3.0-or-later
// Picks " 7" in the port list twice, as the user does, and prints the device that COM1 then
// leads to. Tests run it as a user other than themselves, for whom the settings file they
// prepared cannot be written or read: what the user is told goes to standard error.

#include "app/form1.h"
#include "serial/ports/portmap.h"

#include <QApplication>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Form1 form;
    form.show();
    for (int i = 0; i < 2; ++i) {
        // From the item above, one step down: a pick made with the list's own keys.
        form.Combo2->setCurrentIndex(form.Combo2->findText(QStringLiteral(" 7")) - 1);
        QTest::keyClick(form.Combo2, Qt::Key_Down);
    }
    std::printf("%s\n%s\n", qPrintable(form.Combo2->currentText()),
                qPrintable(PortMap::devicePath(1)));
    return 0;
}
