// SPDX-License-Identifier: GPL-3.0-or-later
/* The baseline for a click through xdotool: a process that does nothing but open the
 * terminal given as its argument and write one 7-byte frame to it, started and timed the
 * same way as the xdotool command. */

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc != 2)
        return 2;
    const int fd = open(argv[1], O_WRONLY | O_NOCTTY);
    if (fd < 0)
        return 1;
    static const char frame[] = "QM&W?\r\n";
    return write(fd, frame, sizeof frame - 1) == (ssize_t)(sizeof frame - 1) ? 0 : 1;
}
