// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <functional>

class QWidget;

// Every box of the utility goes through here. The boxes carry no title of their own, so each
// shows the application's name.
namespace MessageBox {

enum class Kind { Error, Information, Question, Warning };

struct Shown
{
    Kind kind;
    QString text;
    QString detail;
};

// An error icon and OK; `detail` (the system's reason) is shown under the fixed text.
void error(QWidget *parent, const QString &text, const QString &detail = {});
// An information icon and OK.
void information(QWidget *parent, const QString &text);
// Yes and No, no icon, Yes the default button (Enter answers Yes). True only for Yes.
[[nodiscard]] bool question(QWidget *parent, const QString &text);
// A warning icon and OK, and the only box that is not modal: it returns at once, and the
// window and whatever handler is running go on while it is shown. For what is no failure.
void warning(QWidget *parent, const QString &text, const QString &detail);

// Sees every box as it comes up, scripted ones too, before it is answered: the session
// transcript records them. An empty function stops it.
void setObserver(std::function<void(const Shown &)> observer);

// While a Script lives, no box opens: each is recorded, and questions take the queued
// answers in order, then the default button (Yes) once the queue is empty.
class Script
{
public:
    Script();
    ~Script();
    Script(const Script &) = delete;
    Script &operator=(const Script &) = delete;

    void answerNext(bool yes) { m_answers.append(yes); }
    [[nodiscard]] const QList<Shown> &shown() const { return m_shown; }
    [[nodiscard]] QStringList texts() const;

private:
    friend bool scriptedAnswer(const Shown &box);
    QList<bool> m_answers;
    QList<Shown> m_shown;
};

} // namespace MessageBox
