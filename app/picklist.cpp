// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/picklist.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QScopedValueRollback>
#include <QTimer>

namespace {

// Stands in as a new field's completer while QComboBox takes the field, which keeps it from
// building one of its own, bound to the items, only to have it dropped; one serves every list.
QCompleter *noCompletion()
{
    static QPointer<QCompleter> none;
    if (!none)
        none = new QCompleter(QCoreApplication::instance());
    return none;
}

} // namespace

PickList::PickList(QWidget *parent) : QComboBox(parent)
{
    // Editable through a field of its own: setEditable() would build the drop-down list at once
    // (the style asks for one while the box is still a plain one) and size the box to its
    // items, which the window places itself.
    auto *field = new QLineEdit(this);
    // What the user types stays exactly as typed: no completion, never a new item.
    field->setCompleter(noCompletion());
    setLineEdit(field);
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::activated, this, [this] {
        if (m_picking)
            emit picked();
    });
}

void PickList::showPopup()
{
    emit aboutToPopUp();
    // Opening the list moves the focus off the edit field, and Qt may report its text as
    // activated right here; only what the user then chooses in the open list is a pick.
    QComboBox::showPopup();
    m_picking = true;
}

void PickList::hidePopup()
{
    QComboBox::hidePopup();
    // The chosen item is reported right after the list closes; keep listening until then.
    QTimer::singleShot(0, this, [this] { m_picking = false; });
}

void PickList::changeEvent(QEvent *event)
{
    // Qt builds the drop-down list on a change of font only to hand the font on. Until the box
    // is first shown that can wait: a list built later takes the box's font by itself, and the
    // first show measures the box afresh. The field is placed as Qt's own handling places it.
    if (event->type() == QEvent::FontChange && !m_shown && !findChild<QAbstractItemView *>()) {
        QResizeEvent unchanged(size(), size());
        QComboBox::resizeEvent(&unchanged);
        QWidget::changeEvent(event);
        return;
    }
    QComboBox::changeEvent(event);
}

void PickList::showEvent(QShowEvent *event)
{
    m_shown = true;
    QComboBox::showEvent(event);
}

void PickList::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const QScopedValueRollback picking(m_picking, true);
        QComboBox::keyPressEvent(event);
        return;
    }
    default:
        QComboBox::keyPressEvent(event);
    }
}

void PickList::wheelEvent(QWheelEvent *event)
{
    const QScopedValueRollback picking(m_picking, true);
    QComboBox::wheelEvent(event);
}
