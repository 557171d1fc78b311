// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

// An editable drop-down list that tells a pick from typing. QComboBox also reports
// "activated" when the edit field loses focus or takes Enter while its text happens to
// match an item; here only a choice made in the list (mouse, list keys, wheel) counts.
class PickList : public QComboBox
{
    Q_OBJECT

public:
    explicit PickList(QWidget *parent = nullptr);

    void showPopup() override;
    void hidePopup() override;

signals:
    void picked();
    void aboutToPopUp();

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    bool m_picking = false;
    bool m_shown = false;
};
