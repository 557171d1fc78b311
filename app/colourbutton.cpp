#include "app/colourbutton.h"

#include <QPainter>

ColourButton::ColourButton(QWidget *parent)
    : QPushButton(parent)
{
    setAutoDefault(false);
    setDefault(false);
}

void ColourButton::setFace(const QColor &face)
{
    m_face = face;
    update();
}

void ColourButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect outline = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(rect(), isDown() ? m_face.darker(130) : m_face);
    painter.setPen(Qt::black);
    painter.drawRect(outline);
    if (hasFocus()) {
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(outline.adjusted(2, 2, -2, -2));
    }
    painter.setPen(Qt::black);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}
