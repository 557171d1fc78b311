// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/windowtranscript.h"

#include "app/form1.h"
#include "app/messagebox.h"
#include "session/transcript.h"

#include <QPointer>

namespace {

QByteArrayView eventOf(MessageBox::Kind kind)
{
    switch (kind) {
    case MessageBox::Kind::Error:
        return "error";
    case MessageBox::Kind::Information:
        return "information";
    case MessageBox::Kind::Question:
        return "question";
    case MessageBox::Kind::Warning:
        break;
    }
    return "message";
}

} // namespace

void recordWindowSession(Transcript &transcript, const QString &path, Form1 &form)
{
    transcript.start(path, QStringLiteral("window"), form.Combo2->currentText(),
                     form.Combo1->currentText(), *form.MSComm1);
    transcript.attach(*form.MSComm1);
    MessageBox::setObserver([to = QPointer<Transcript>(&transcript)](const MessageBox::Shown &box) {
        // A warning box shows what the line warned of, which the transcript has from the
        // line itself, in the words the command line records too.
        if (to && box.kind != MessageBox::Kind::Warning)
            to->record(eventOf(box.kind), box.text, box.detail);
    });
}
