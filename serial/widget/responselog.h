// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPlainTextEdit>

// The response log. Its text is kept exactly as received: CR LF is two characters, and the
// length rule counts them. The widget only shows it: a CR LF pair as a line break, any
// other control character (a lone CR or LF, NUL, ...) as its visible control picture, so
// nothing the modem sent is lost or hidden on the way to the screen and back.
class ResponseLog : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit ResponseLog(QWidget *parent = nullptr);

    [[nodiscard]] const QString &text() const { return m_text; }
    // Emits changed() at once, before returning, when the text differs; the display follows.
    void setText(const QString &text);

    [[nodiscard]] static QString displayFor(const QString &exact);
    [[nodiscard]] static QString exactFor(const QString &display);

signals:
    void changed();
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void onEdited();

    QString m_text;
    bool m_updating = false;
};
