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
    // The file's creator writes the header with its row, so that two runs starting a record at
    // once cannot both write one.
    int fd = ::open(name.constData(),
                    O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    QByteArray bytes = line;
    if (fd >= 0) {
        bytes.prepend(row(columns));
    } else if (errno == EEXIST) {
        fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }
    if (fd < 0)
        return QStringLiteral("%1: %2").arg(path, qt_error_string(errno));
    const int error = writeAll(fd, bytes);
    ::close(fd);
    return error == 0 ? QString() : QStringLiteral("%1: %2").arg(path, qt_error_string(error));
}

} // namespace Record
