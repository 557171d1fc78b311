// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QMap>

// The port list's items, " 1", " 2", ...: the number with the blank a number-to-text
// conversion leaves for the sign. Made when shown rather than stored as 1000 items, and
// each number whose device is there carries that device as its tooltip.
class PortNumbers : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    void append(int count);
    void setTooltips(QMap<int, QString> tooltips);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;

private:
    int m_count = 0;
    QMap<int, QString> m_tooltips;
};
