// Presses "Open port" on a window whose COM3 is the device named on the command line, and
// prints what the user got: one line per box ("box", kind, text, detail, tab-separated),
// then "open" or "closed". Tests run it as a user other than themselves, which a process
// cannot become and then stop being.

#include "app/form1.h"
#include "app/messagebox.h"
#include "serial/portmap.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: openport DEVICE\n");
        return 2;
    }
    // For this run only: the user running this may not be able to write a settings store.
    PortMap::setSessionOverride(3, QString::fromLocal8Bit(argv[1]));
    MessageBox::Script script;
    Form1 form;
    form.Combo2->setEditText(QStringLiteral(" 3"));
    form.Combo1->setEditText(QStringLiteral("19200"));
    form.Command1_Click();
    for (const MessageBox::Shown &box : script.shown()) {
        const char *kind = box.kind == MessageBox::Kind::Error ? "error"
            : box.kind == MessageBox::Kind::Question           ? "question"
                                                               : "information";
        std::printf("box\t%s\t%s\t%s\n", kind, qPrintable(box.text), qPrintable(box.detail));
    }
    std::puts(form.MSComm1->PortOpen() ? "open" : "closed");
    return 0;
}
