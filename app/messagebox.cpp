// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/messagebox.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace MessageBox {
namespace {

Script *activeScript = nullptr;

std::function<void(const Shown &)> boxObserver;

} // namespace

// Records the box on the active script; returns its answer (Yes when none is queued).
bool scriptedAnswer(const Shown &box)
{
    activeScript->m_shown.append(box);
    return activeScript->m_answers.isEmpty() || activeScript->m_answers.takeFirst();
}

namespace {

// The box as the user sees it, not shown yet.
QMessageBox *build(QWidget *parent, const Shown &box)
{
    auto *dialog = new QMessageBox(parent);
    // Texts carry names from outside (another user's process, a settings file); the box would
    // otherwise take one that looks like HTML for rich text, links and all. setTextFormat()
    // leaves the informative text's label as it is, hence each label.
    dialog->setText(box.text);
    dialog->setInformativeText(box.detail);
    dialog->setTextFormat(Qt::PlainText);
    for (QLabel *label : dialog->findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    switch (box.kind) {
    case Kind::Error:
        dialog->setIcon(QMessageBox::Critical);
        dialog->setStandardButtons(QMessageBox::Ok);
        break;
    case Kind::Information:
        dialog->setIcon(QMessageBox::Information);
        dialog->setStandardButtons(QMessageBox::Ok);
        break;
    case Kind::Warning:
        dialog->setIcon(QMessageBox::Warning);
        dialog->setStandardButtons(QMessageBox::Ok);
        break;
    case Kind::Question:
        dialog->setIcon(QMessageBox::NoIcon);
        dialog->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        dialog->setDefaultButton(QMessageBox::Yes);
        dialog->setEscapeButton(QMessageBox::No);
        break;
    }
    return dialog;
}

bool present(QWidget *parent, const Shown &box)
{
    if (boxObserver)
        boxObserver(box);
    if (activeScript)
        return scriptedAnswer(box);
    const std::unique_ptr<QMessageBox> dialog(build(parent, box));
    return dialog->exec() == QMessageBox::Yes;
}

} // namespace

void setObserver(std::function<void(const Shown &)> observer)
{
    boxObserver = std::move(observer);
}

void error(QWidget *parent, const QString &text, const QString &detail)
{
    present(parent, { Kind::Error, text, detail });
}

void information(QWidget *parent, const QString &text)
{
    present(parent, { Kind::Information, text, {} });
}

bool question(QWidget *parent, const QString &text)
{
    return present(parent, { Kind::Question, text, {} });
}

void warning(QWidget *parent, const QString &text, const QString &detail)
{
    const Shown box{ Kind::Warning, text, detail };
    if (boxObserver)
        boxObserver(box);
    if (activeScript) {
        scriptedAnswer(box);
        return;
    }
    QMessageBox *dialog = build(parent, box);
    dialog->setWindowModality(Qt::NonModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

Script::Script()
{
    Q_ASSERT(!activeScript);
    activeScript = this;
}

Script::~Script()
{
    activeScript = nullptr;
}

QStringList Script::texts() const
{
    QStringList result;
    for (const Shown &box : m_shown)
        result.append(box.text);
    return result;
}

} // namespace MessageBox
