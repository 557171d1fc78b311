// SPDX-License-Identifier: GPL-3.0-or-later
// The log shows every byte the modem sends and gives back exactly what it was given: the
// display mapping must survive any Latin-1 text, and a text typed into the box must come
// back as the same exact text.
#include "serial/widget/responselog.h"

#include <QApplication>

#include <cstdint>
#include <cstdlib>

namespace {

ResponseLog *log()
{
    static int argc = 1;
    static char name[] = "fuzz_responselog";
    static char *argv[] = { name, nullptr };
    static QApplication app(argc, argv);
    static ResponseLog widget;
    return &widget;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString exact =
            QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    if (ResponseLog::exactFor(ResponseLog::displayFor(exact)) != exact)
        std::abort();

    ResponseLog *widget = log();
    widget->setText(exact);
    if (widget->text() != exact || widget->toPlainText() != ResponseLog::displayFor(exact))
        std::abort();
    // What the widget shows, typed back in, is the same text.
    widget->setPlainText(widget->toPlainText());
    if (widget->text() != exact)
        std::abort();
    return 0;
}
