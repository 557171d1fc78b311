// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class PickList;
class QWidget;

// How a user chooses an item of a list: with the arrow key from the item above it, or in
// the opened list with Enter or with the mouse.
enum class Pick { KeyDown, PopupReturn, PopupClick };

// Chooses `item` in `list` the way a user does. False when the list has no such item (for
// KeyDown: none above it either), or when the choice did not count as exactly one pick.
[[nodiscard]] bool pick(PickList *list, const QString &item, Pick how = Pick::KeyDown);

// Types `text` as a keyboard layout delivers it, one key event per character: ASCII as its
// key, anything else as a key event that carries the character (QTest::keyClicks takes
// ASCII only).
void typeText(QWidget *widget, const QString &text);
