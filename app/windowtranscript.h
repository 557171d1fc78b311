// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class Form1;
class Transcript;

// Records the window's session in `transcript`, appended to `path`: the port's traffic,
// opens, closes and losses, and every message box with its text. The header names the port
// the lists would open now.
void recordWindowSession(Transcript &transcript, const QString &path, Form1 &form);
