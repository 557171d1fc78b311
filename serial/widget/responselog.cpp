// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/widget/responselog.h"

#include <QMimeData>
#include <QScopedValueRollback>

namespace {

constexpr char16_t ControlPictures = 0x2400; // U+2400..U+241F stand for 0x00..0x1F
constexpr char16_t DeletePicture = 0x2421;
// The document turns a no-break space into a plain one on the way back; show it as the
// visible-space sign instead so a typed edit does not change the modem's byte 0xA0.
constexpr char16_t NoBreakSpace = 0x00a0;
constexpr char16_t NoBreakSpacePicture = 0x2423;

} // namespace

ResponseLog::ResponseLog(QWidget *parent) : QPlainTextEdit(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAnywhere);
    setUndoRedoEnabled(false);
    // Tab walks the window's controls, as from every other box; it never types into the log.
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &ResponseLog::onEdited);
}

QString ResponseLog::displayFor(const QString &exact)
{
    QString shown;
    shown.reserve(exact.size());
    for (qsizetype i = 0; i < exact.size(); ++i) {
        const char16_t c = exact[i].unicode();
        if (c == u'\r' && i + 1 < exact.size() && exact[i + 1] == u'\n') {
            shown.append(u'\n');
            ++i;
        } else if (c < 0x20 && c != u'\t') {
            shown.append(QChar(char16_t(ControlPictures + c)));
        } else if (c == 0x7f) {
            shown.append(QChar(DeletePicture));
        } else if (c == NoBreakSpace) {
            shown.append(QChar(NoBreakSpacePicture));
        } else {
            shown.append(QChar(c));
        }
    }
    return shown;
}

QString ResponseLog::exactFor(const QString &display)
{
    QString exact;
    exact.reserve(display.size() + display.count(u'\n'));
    for (const QChar ch : display) {
        const char16_t c = ch.unicode();
        if (c == u'\n' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            exact.append(u"\r\n");
        else if (c >= ControlPictures && c < ControlPictures + 0x20)
            exact.append(QChar(char16_t(c - ControlPictures)));
        else if (c == DeletePicture)
            exact.append(QChar(char16_t(0x7f)));
        else if (c == NoBreakSpacePicture)
            exact.append(QChar(NoBreakSpace));
        else
            exact.append(ch);
    }
    return exact;
}

void ResponseLog::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    emit changed();
    // The change handler may already have replaced the text (the log's length rule empties
    // it); that nested call showed its own text, and laying out this one would be wasted.
    if (m_text != text)
        return;
    const QScopedValueRollback guard(m_updating, true);
    // Shown from the top: after the log is emptied the first reply is the answer the user
    // asked for, and it is also the value the signal bar reads.
    setPlainText(displayFor(m_text));
}

void ResponseLog::onEdited()
{
    if (m_updating)
        return;
    // Typed by the user: the display is the truth for this change, and a typed line
    // break becomes CR LF.
    const QString edited = exactFor(toPlainText());
    if (edited == m_text)
        return;
    m_text = edited;
    emit changed();
}

void ResponseLog::mouseDoubleClickEvent(QMouseEvent *event)
{
    QPlainTextEdit::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

void ResponseLog::insertFromMimeData(const QMimeData *source)
{
    // A paste carries text of its own making; normalise it as if it had been typed.
    if (!source->hasText())
        return;
    QString pasted = source->text();
    pasted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    pasted.replace(u'\r', u'\n');
    insertPlainText(pasted);
}
