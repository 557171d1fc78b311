// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

// A filled rectangle with the thin black outline of the signal bar's segments.
class SignalShape : public QWidget
{
    Q_OBJECT

public:
    explicit SignalShape(QWidget *parent = nullptr);

    [[nodiscard]] QColor fillColor() const { return m_fill; }
    void setFillColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
};
