// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/picklist.h"

#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QTimer>

PickList::PickList(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    // What the user types stays exactly as typed: no completion, never a new item.
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
