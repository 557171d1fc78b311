// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/userinput.h"

#include "app/picklist.h"

#include <QAbstractItemView>
#include <QSignalSpy>
#include <QTest>

bool pick(PickList *list, const QString &item, Pick how)
{
    const int index = list->findText(item, Qt::MatchExactly);
    if (index < 0)
        return false;
    QSignalSpy picked(list, &PickList::picked);
    switch (how) {
    case Pick::KeyDown:
        if (index == 0)
            return false;
        list->setCurrentIndex(index - 1);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        break;
    case Pick::PopupReturn:
    case Pick::PopupClick: {
        list->showPopup();
        QAbstractItemView *view = list->view();
        if (!QTest::qWaitForWindowExposed(view->window()))
            return false;
        const QModelIndex target = view->model()->index(index, 0);
        view->scrollTo(target);
        if (how == Pick::PopupReturn) {
            view->setCurrentIndex(target);
            QTest::keyClick(view, Qt::Key_Return);
        } else {
            const QPoint at = view->visualRect(target).center();
            QTest::mouseMove(view->viewport(), at);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        }
        // The user's next key or click comes through the event loop, never before the
        // list has finished closing.
        QCoreApplication::processEvents();
        break;
    }
    }
    return picked.count() == 1 && list->currentText() == item;
}

void typeText(QWidget *widget, const QString &text)
{
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x80)
            QTest::keyClick(widget, char(c));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString::fromUcs4(&c, 1),
                                Qt::NoModifier);
    }
}
