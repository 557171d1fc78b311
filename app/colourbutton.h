// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPushButton>

// A push button drawn flat in its own face colour, whatever the platform style: the colour
// tells the user what kind of command the button sends. Its outline is whole and sharp at
// any scale, and its caption always fits inside it.
class ColourButton : public QPushButton
{
    Q_OBJECT

public:
    explicit ColourButton(QWidget *parent = nullptr);

    [[nodiscard]] QColor face() const { return m_face; }
    void setFace(const QColor &face);
    // The font the caption is drawn in: the button's own, smaller where it would not fit.
    [[nodiscard]] QFont captionFont() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct CaptionFit
    {
        QString text;
        int width = -1;
        QFont font;
        QFont fitted;
    };

    QColor m_face;
    mutable CaptionFit m_fit;
};
