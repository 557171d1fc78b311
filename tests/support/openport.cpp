// SPDX-License-Identifier: GPL-3.0-or-later
// Presses "Open port" on a window whose COM3 is the device named on the command line, and
// prints what the user got: one line per box ("box", kind, text, detail, tab-separated),
// then "open" or "closed". Tests run it as a user other than themselves, which a process
// cannot become and then stop being.
//
// With --hold it first picks " 3" and "19200" from the lists, as a user would, and after the
// output stays running with the port open, ending on a signal as the utility does.

#include "session/termination.h"
#include "app/form1.h"
#include "app/messagebox.h"
#include "serial/ports/portmap.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool hold = argc == 3 && qstrcmp(argv[1], "--hold") == 0;
    if (argc != 2 && !hold) {
        std::fprintf(stderr, "usage: openport [--hold] DEVICE\n");
        return 2;
    }
    // For this run only: the user running this may not be able to write a settings store.
    PortMap::setSessionOverride(3, QString::fromLocal8Bit(argv[argc - 1]));
    MessageBox::Script script;
    Form1 form;
    QString error;
    const auto closePort = [&form](int) {
        (void)form.MSComm1->setPortOpen(false);
        return 0;
    };
    if (hold && !Termination::watch(&form, closePort, &error)) {
        std::fprintf(stderr, "openport: %s\n", qPrintable(error));
        return 1;
    }
    form.Combo2->setEditText(QStringLiteral(" 3"));
    form.Combo1->setEditText(QStringLiteral("19200"));
    if (hold) {
        form.Combo2_Click();
        form.Combo1_Click();
    }
    form.Command1_Click();
    for (const MessageBox::Shown &box : script.shown()) {
        const char *kind = box.kind == MessageBox::Kind::Error ? "error"
                : box.kind == MessageBox::Kind::Question       ? "question"
                                                               : "information";
        std::printf("box\t%s\t%s\t%s\n", kind, qPrintable(box.text), qPrintable(box.detail));
    }
    std::puts(form.MSComm1->PortOpen() ? "open" : "closed");
    std::fflush(stdout);
    return hold && form.MSComm1->PortOpen() ? QApplication::exec() : 0;
}
