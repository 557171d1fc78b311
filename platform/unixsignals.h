// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <initializer_list>

// Delivers Unix signals through the event loop. The handler itself only writes the signal
// number into a pipe, which is all that is safe to do there. One instance per process.
class UnixSignals : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    [[nodiscard]] bool watch(std::initializer_list<int> signalNumbers, QString *error = nullptr);

    // The first watched signal that has arrived, from the moment the handler ran (before the
    // event loop has delivered it); 0 while none has. For code that must not start anything
    // once the process is on its way out.
    [[nodiscard]] static int arrived();

signals:
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier m_notifier{ QSocketNotifier::Read };
};
