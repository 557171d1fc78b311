// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/helptexts.h"

namespace HelpTexts {

const char read[] = R"(Usage: korvanet read --port P[,P...] [--baud B] [--timeout MS] [--json]
                     [--transcript FILE]

Asks the modem on port P every read-only question, one at a time, each once the reply
to the one before has come or its time-out has passed: modem type, serial number,
firmware, Rx/Tx/Ref frequency, channel spacing, FEC, repeater mode, serial params,
output power, compatibility mode, noise and RSSI. Prints one line per question: the
caption of the window's button, a tab, and the reply as received without its CR LF
(control bytes and bytes outside ASCII escaped as \r, \n, \xNN, a backslash as \\).
No setting is ever sent.

P is a COM number as in the window's port list; a list (3,5-8) asks several modems at
once, each line then starting with its port and a tab, and each transcript going to a
file of its own (FILE with the port before its extension).

Options:
  --port P           the COM number or numbers (needed)
  --baud B           the PC's rate: %1 (default %2)
  --timeout MS       how long to wait for each reply, in milliseconds (default 1000)
  --json             print the captions and the replies as one JSON object instead (one
                     per modem, with its port); a reply that did not come is null
  --transcript FILE  append a record of the session to FILE
  -h, --help         show this help and exit

Each reply belongs to its question: one that comes after its time-out is reported as
late on stderr, never printed as the answer to the next question, and lines the modem
sends unasked make the run end with status 3.

Exit status (of the worst modem): 0 every question answered; 1 the port could not be
opened, or failed; 2 wrong usage; 3 a reply did not come in time, said ERROR, or came
late or unasked; 128 + the signal's number when a signal (SIGINT, SIGTERM, SIGHUP) ended
the run, or 141 when standard output was closed.
)";

const char send[] = R"(Usage: korvanet send --port P [--baud B] [--timeout MS] [--yes]
                     [--keep-going] [--transcript FILE] COMMAND...
       korvanet send --port P [--baud B] [--timeout MS] [--yes]
                     [--keep-going] [--transcript FILE] --file FILE

Sends command texts to the modem on port P in order, each once the reply to the one
before has come or its time-out has passed, and prints each one with its reply beside
it, a tab between them. Quote each text in a shell: korvanet send --port 3 'QM@P=500'.
FILE (- for standard input) holds one command text per line, at most 1 MiB and 256
bytes a line; "#" at the start of a line or after a blank starts a comment, and blank
lines are ignored. `korvanet commands` lists the texts with what each does.

Only the modem's 31 command texts are sent, the settings with a value in the form the
setting takes after the "=": a decimal number for the frequencies, a whole number for
the output power and the compatibility mode, a rate (and format, 9600,8,N,1) for the
serial params. Any other text is refused, with its line number, before the port is
opened, and then nothing is sent. QM**> (save settings) and QM*R> (factory defaults),
which the window confirms first, are sent only with --yes. Each of them is followed by a
pause of 200 ms. After QM%B= the port is closed and opened again, 200 ms apart, at the
new rate when it is one of the six, and the following commands go out at that rate.

The run stops at the first command whose reply does not come in time or says ERROR,
and says what was sent without a reply, what was never sent, and whether the modem is
left with transmission off or its changes unsaved; --keep-going sends the rest anyway.

Options:
  --port P           the COM number, as in the window's port list (needed)
  --baud B           the PC's rate: %1 (default %2)
  --timeout MS       how long to wait for each reply, in milliseconds (default 1000)
  --file FILE        read the command texts from FILE instead of the command line
  --yes              allow QM**> and QM*R>
  --keep-going       go on after a command that failed
  --transcript FILE  append a record of the session to FILE
  -h, --help         show this help and exit

The command texts:
%3

Exit status: 0 every command got a reply; 1 the port could not be opened, or failed;
2 wrong usage or a refused command; 3 a reply did not come in time, said ERROR, or came
late or unasked; 128 + the signal's number when a signal (SIGINT, SIGTERM, SIGHUP)
ended the run, or 141 when standard output was closed.
)";

const char exportProfile[] =
        R"(Usage: korvanet export --port P[,P...] [--baud B] [--timeout MS] [-o FILE|FOLDER]
                       [--transcript FILE]

Reads the settings of the modem on port P and writes them as a profile: a file in
`korvanet send`'s own format, one setting text per line (the serial params last), under
a header of comments that names the unit it came from (modem type, serial number,
firmware, date, port). `korvanet apply` brings other modems to the same settings.

The file is written under a temporary name, read back, and only then renamed into
place: an export that fails leaves no file, or the one that was there unchanged. A value
that fits no known reply is written as a comment holding the raw reply, and the exit
status says so.

With -o FILE the profile goes to FILE (- for standard output); without it, to a file
named after the modem's serial number in the current folder. For a list of ports
(3,5-8), each modem's profile goes to a file named after its serial number, in FOLDER
(-o) or the current folder.

Options:
  --port P           the COM number or numbers (needed)
  --baud B           the PC's rate: %1 (default %2)
  --timeout MS       how long to wait for each reply, in milliseconds (default 1000)
  -o, --output PATH  where the profile goes: a file, or a folder for several modems
  --transcript FILE  append a record of the session to FILE
  -h, --help         show this help and exit

Exit status (of the worst modem): 0 every setting read and written; 1 the port could not
be opened, or failed, or the file could not be written; 2 wrong usage; 3 a reply did not
come, said ERROR, or fits no known reply.
)";

const char apply[] =
        R"(Usage: korvanet apply --port P[,P...] [--baud B] [--timeout MS] [--save] [--all]
                      [--record FILE] [--json] [--transcript FILE] PROFILE

Brings the modem on port P (or each of a list, side by side) to the settings of PROFILE,
a file that `korvanet export` wrote (or one like it: setting texts, one per line), and
proves it. For each modem:
  1. identifies it: modem type, serial number, firmware; a profile exported from
     another modem type is refused;
  2. reads its current settings;
  3. disables transmission;
  4. sends only the settings that differ (--all: every one), the serial params last,
     then follows the modem to its new rate;
  5. stops at the first ERROR, time-out or lost device, and then never saves;
  6. with --save, stores the settings in the modem (with the window's pause of 200 ms);
  7. reads every setting back and compares: confirmed, differs or unreadable;
  8. enables transmission again, after a failure too, whenever the port still works.
It prints, per modem, each setting before -> after with its status, whether the modem
was saved, and the state it was left in; --json prints one JSON object per modem. A
summary of every modem's result ends the run.

Options:
  --port P           the COM number or numbers, as in the window's port list (needed)
  --baud B           the PC's rate: %1 (default %2)
  --timeout MS       how long to wait for each reply, in milliseconds (default 1000)
  --save             store the settings in the modem once they are all in
  --all              send every setting, not only those that differ
  --record FILE      append one CSV row per modem and run to FILE
  --json             print one JSON object per modem instead of lines
  --transcript FILE  append a record of the session to FILE
  -h, --help         show this help and exit

Exit status (of the worst modem): 0 every modem confirmed; 1 a port could not be opened,
or failed; 2 wrong usage, a refused profile, or a modem of another type; 3 stopped on a
failure (a reply that did not come, said ERROR, or came late or unasked); 4 a setting
read back differs from the profile or is unreadable; 128 + the signal's number when a
signal ended the run.
)";

const char commands[] = R"(Usage: korvanet commands

Lists the modem's 31 command texts, with what each reads or changes and, for a setting
that takes a value, the form of its value. Quote a text in a shell, since its
characters mean things there: korvanet send --port 3 'QM&FR=433.05000'.
)";

} // namespace HelpTexts
