// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/portnumbers.h"

#include <QTextDocument>

void PortNumbers::append(int count)
{
    beginInsertRows({}, m_count, m_count + count - 1);
    m_count += count;
    endInsertRows();
}

void PortNumbers::setTooltips(QMap<int, QString> tooltips)
{
    m_tooltips = std::move(tooltips);
    if (m_count > 0)
        emit dataChanged(index(0), index(m_count - 1), { Qt::ToolTipRole });
}

int PortNumbers::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_count;
}

QVariant PortNumbers::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_count)
        return {};
    const int number = index.row() + 1;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return QStringLiteral(" %1").arg(number);
    case Qt::ToolTipRole: {
        // A tooltip that looks like HTML is shown as HTML: a device's description comes from
        // its own firmware, so it is shown as the plain text it is.
        const QString tooltip = m_tooltips.value(number);
        return tooltip.isEmpty() ? QString() : Qt::convertFromPlainText(tooltip);
    }
    default:
        return {};
    }
}
