// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/commands.h"

const char *compatibilityModeList()
{
    return "0 = Tavix R4X\r\n"
           "1 = PacCrest 4FSK\r\n"
           "2 = PacCrest GMSK\r\n"
           "3 = TrimTalk GMSK, Rx fits PacCrest modems\r\n"
           "4 = TrimTalk GMSK, Rx fits Trimble modems\r\n"
           "5 = PacCrest-FST";
}
