// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "serial/network/networkaddress.h"

// Whether a device server answers at an address: a bare TCP connect and close, nothing sent,
// given up after `timeoutMs`. Only for a look the user asked for (--list-ports): the server
// sees a client come and go, and ser2net opens its serial port for it.
namespace ServerProbe {

enum class Answer { Answers, Refused, UnknownHost, NoAnswer, Failed };

[[nodiscard]] Answer probe(const NetworkAddress &address, int timeoutMs);
// The answer in the words of the port listing's state column.
[[nodiscard]] QString describe(Answer answer);

} // namespace ServerProbe
