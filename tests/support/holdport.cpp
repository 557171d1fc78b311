// SPDX-License-Identifier: GPL-3.0-or-later
// Another program that has the modem's port open: it opens a serial device the way any Qt
// program does (lock file included) and holds it until its standard input closes.

#include <QCoreApplication>
#include <QSerialPort>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: holdport DEVICE\n");
        return 2;
    }
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "holdport: %s\n", qPrintable(port.errorString()));
        return 1;
    }
    std::puts("open");
    std::fflush(stdout);
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) { }
    return 0;
}
