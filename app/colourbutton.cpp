// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/colourbutton.h"

#include "app/captionfit.h"

#include <QPainter>

namespace {

// Room between the outline and the caption, in logical pixels, on either side.
constexpr int CaptionMargin = 2;

} // namespace

ColourButton::ColourButton(QWidget *parent) : QPushButton(parent)
{
    setAutoDefault(false);
    setDefault(false);
}

void ColourButton::setFace(const QColor &face)
{
    m_face = face;
    update();
}

QFont ColourButton::captionFont() const
{
    // Measured again only when the caption, the width or the font changed: a click repaints
    // the button twice before it is reported, and measuring text is most of a repaint.
    if (text() != m_fit.text || width() != m_fit.width || font() != m_fit.font) {
        m_fit = { text(), width(), font(),
                  fittedFont(font(), text(), width() - 2 * CaptionMargin) };
    }
    return m_fit.fitted;
}

void ColourButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    {
        // At a fractional scale the button's edges fall between device pixels. A one-pixel
        // line in logical units then lands half outside (lost to the clip: no top or left
        // outline) or across two pixels, and the face shows beyond it. So face and outline go
        // on device pixels: the ones the button's own fill covers, the outline on the
        // outermost of them, as thick as one logical pixel rounds to.
        const QTransform toDevice = painter.deviceTransform();
        const QRectF edges = toDevice.mapRect(QRectF(rect()));
        const QRect pixels(QPoint(qRound(edges.left()), qRound(edges.top())),
                           QPoint(qRound(edges.right()) - 1, qRound(edges.bottom()) - 1));
        const int line = std::max(1, qRound(devicePixelRatioF()));
        const QTransform inDevicePixels = toDevice.inverted() * painter.worldTransform();
        painter.save();
        painter.setWorldTransform(inDevicePixels);
        painter.fillRect(pixels, Qt::black);
        painter.fillRect(pixels.adjusted(line, line, -line, -line),
                         isDown() ? m_face.darker(130) : m_face);
        painter.restore();
    }
    if (hasFocus()) {
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
    painter.setPen(Qt::black);
    painter.setFont(captionFont());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}
