// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/termination.h"

#include "platform/processend.h"
#include "platform/unixsignals.h"

#include <QObject>

#include <csignal>
#include <utility>

namespace Termination {
namespace {

BeforeEnd &beforeEndOf()
{
    static BeforeEnd beforeEnd;
    return beforeEnd;
}

} // namespace

bool watch(QObject *owner, BeforeEnd beforeEnd, QString *error)
{
    beforeEndOf() = std::move(beforeEnd);
    auto *unixSignals = new UnixSignals(owner);
    if (!unixSignals->watch({ SIGTERM, SIGINT, SIGHUP }, error))
        return false;
    QObject::connect(unixSignals, &UnixSignals::received, owner,
                     [](int signalNumber) { endAsSignalled(signalNumber); });
    return true;
}

Scope::Scope(BeforeEnd beforeEnd) : m_previous(std::exchange(beforeEndOf(), std::move(beforeEnd)))
{
}

Scope::~Scope()
{
    beforeEndOf() = std::move(m_previous);
}

void endAsSignalled(int signalNumber)
{
    // Once only: a second signal while the first is being dealt with changes nothing.
    static bool ending = false;
    int status = 128 + signalNumber;
    if (!std::exchange(ending, true) && beforeEndOf())
        status = beforeEndOf()(signalNumber);
    endProcessNow(status);
}

int pending()
{
    return UnixSignals::arrived();
}

} // namespace Termination
