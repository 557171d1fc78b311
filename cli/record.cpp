// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/record.h"

#include "platform/escaping.h"
#include "platform/fdio.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace Record {

QByteArray row(const QStringList &fields)
{
    QByteArrayList cells;
    for (const QString &field : fields) {
        QByteArray cell = escapedText(field);
        if (cell.contains(',') || cell.contains('"') || cell.startsWith(' ') || cell.endsWith(' '))
            cell = '"' + cell.replace('"', "\"\"") + '"';
        cells.append(cell);
    }
    return cells.join(',') + "\r\n";
}

QString append(const QString &path, const QStringList &fields)
{
    const QByteArray name = QFile::encodeName(path);
    const QByteArray line = row(fields);
    const auto openToAppend = [&name] {
        return ::open(name.constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    };
    const auto failed = [&path](int error) {
        return QStringLiteral("%1: %2").arg(path, qt_error_string(error));
    };
    int fd = openToAppend();
    if (fd < 0 && errno == ENOENT) {
        // A new record appears with its header and first row at once, so that a run adding
        // to it meanwhile cannot put a row ahead of the header.
        const int error = createWhole(path, row(columns) + line, 0644);
        if (error != EEXIST)
            return error == 0 ? QString() : failed(error);
        fd = openToAppend(); // made by another run meanwhile
    }
    if (fd < 0)
        return failed(errno);
    const int error = writeAll(fd, line);
    ::close(fd);
    return error == 0 ? QString() : failed(error);
}

} // namespace Record
