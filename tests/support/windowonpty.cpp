// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/windowonpty.h"

#include "app/signalshape.h"
#include "app/windowtranscript.h"
#include "monitor/rssigraph.h"
#include "tests/support/userinput.h"

#include <QTest>

WindowOnPty::FirstRun::FirstRun(const PtyPair &pty)
{
    resetSettings();
    mapComPort(3, pty.slavePath());
}

bool WindowOnPty::show()
{
    form.show();
    return QTest::qWaitForWindowExposed(&form);
}

bool WindowOnPty::openPort()
{
    const qsizetype boxesBefore = script.shown().size();
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    return form.MSComm1->PortOpen() && form.Command1->text() == u"Port is open"
            && script.shown().size() == boxesBefore;
}

bool WindowOnPty::openPanel()
{
    QTest::mouseClick(form.Check1, Qt::LeftButton);
    if (!form.Check1->isChecked())
        return false;
    for (const ControlRow &row : controlTable()) {
        if (row.group != ControlGroup::ExtendedPanel)
            continue;
        const auto *control = form.findChild<QWidget *>(QLatin1StringView(row.name));
        if (!control || !control->isVisible())
            return false;
    }
    return true;
}

QPushButton *WindowOnPty::button(const QString &name) const
{
    return form.findChild<QPushButton *>(name);
}

OpenWindow::OpenWindow(Start start) : start(start)
{
    if (start == Start::PickedLists) {
        opened = show() && pick(form.Combo2, QStringLiteral(" 3"))
                && pick(form.Combo1, QStringLiteral("19200")) && openPort();
    } else {
        opened = show() && openPort() && openPanel();
    }
}

bool OpenWindow::ready() const
{
    return opened && script.shown().isEmpty() && (start != Start::PickedLists || picksStored());
}

bool OpenWindow::picksStored() const
{
    return storedSetting(QStringLiteral("ComPort")).toString() == u" 3"
            && storedSetting(QStringLiteral("BaudRate")).toString() == u"19200";
}

RecordedSession::RecordedSession(Form1 &form)
{
    recordWindowSession(transcript, path, form);
}

QStringList boxes(const MessageBox::Script &script)
{
    QStringList result;
    for (const MessageBox::Shown &box : script.shown()) {
        const char *kind = box.kind == MessageBox::Kind::Error ? "Error"
                : box.kind == MessageBox::Kind::Question       ? "Question"
                : box.kind == MessageBox::Kind::Warning        ? "Warning"
                                                               : "Information";
        result.append(QLatin1StringView(kind) + QStringLiteral(": ") + box.text);
    }
    return result;
}

QString boxDetails(const MessageBox::Script &script)
{
    QStringList result;
    for (const MessageBox::Shown &box : script.shown())
        result.append(box.text + QStringLiteral(" / ") + box.detail);
    return result.join(u" | ");
}

QString signalBar(const Form1 &form)
{
    QString result;
    for (const SignalShape *shape : { form.Shape1, form.Shape2, form.Shape3 }) {
        if (shape->isHidden())
            result += u'-';
        else if (shape->fillColor() == QColor::fromRgb(BarColours::Green))
            result += u'G';
        else if (shape->fillColor() == QColor::fromRgb(BarColours::Yellow))
            result += u'Y';
        else if (shape->fillColor() == QColor::fromRgb(BarColours::Red))
            result += u'R';
        else
            result += u'?';
    }
    return result;
}
