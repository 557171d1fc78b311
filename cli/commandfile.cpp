// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commandfile.h"

#include "modem/commands.h"
#include "platform/escaping.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace Commands;

struct Confirmed
{
    const char *text;
    const char *what;
};

constexpr Confirmed confirmedTexts[] = {
    { SaveSettings, "saves the modem's settings for good" },
    { FactoryDefaults, "restores the modem's factory defaults" },
};

QString shown(const QString &text)
{
    return u'"' + escapedString(text) + u'"';
}

// A "#" that starts a comment: at the start of the line or after a blank. One inside a word
// stays, and is then refused with its value.
qsizetype commentStart(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'#' && (i == 0 || text[i - 1] == u' ' || text[i - 1] == u'\t'))
            return i;
    }
    return -1;
}

QString errnoText(int error)
{
    return qt_error_string(error);
}

} // namespace

namespace CommandFile {

Contents read(const QString &path, const std::function<bool()> &interrupted)
{
    const bool standardInput = path == u"-";
    const int fd = standardInput ? STDIN_FILENO
                                 : ::open(QFile::encodeName(path).constData(),
                                          O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return { {}, QStringLiteral("%1: %2").arg(path, errnoText(errno)) };
    struct stat st
    {
    };
    Contents contents;
    if (::fstat(fd, &st) != 0) {
        contents.error = QStringLiteral("%1: %2").arg(path, errnoText(errno));
    } else if (!standardInput && !S_ISREG(st.st_mode)) {
        // A FIFO could hold the run for ever, a device could give without end.
        contents.error =
                QStringLiteral("%1 is not a regular file; give a file, or - for standard input")
                        .arg(path);
    } else if (S_ISREG(st.st_mode) && st.st_size > MaxFileBytes) {
        contents.error = QStringLiteral("%1 holds %2 bytes; a command file holds at most %3")
                                 .arg(path)
                                 .arg(qint64(st.st_size))
                                 .arg(MaxFileBytes);
    }
    char buffer[4096];
    while (contents.error.isEmpty()) {
        pollfd ready{ fd, POLLIN, 0 };
        if (interrupted()) {
            contents.error = QStringLiteral("%1: interrupted").arg(path);
            break;
        }
        if (::poll(&ready, 1, 100) == 0)
            continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno != EINTR && errno != EAGAIN)
                contents.error = QStringLiteral("%1: %2").arg(path, errnoText(errno));
            continue;
        }
        if (contents.bytes.size() + n > MaxFileBytes) {
            contents.error = QStringLiteral("%1 holds more than %2 bytes, the most a command "
                                            "file holds")
                                     .arg(path)
                                     .arg(MaxFileBytes);
            break;
        }
        contents.bytes.append(buffer, n);
    }
    if (!standardInput)
        ::close(fd);
    if (!contents.error.isEmpty())
        contents.bytes.clear();
    return contents;
}

QList<Line> fromFile(const QByteArray &contents)
{
    QList<Line> lines;
    const QList<QByteArray> raw = contents.split('\n');
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const bool overlong = raw[i].size() > MaxLineBytes;
        QString text = QString::fromUtf8(raw[i].left(MaxLineBytes));
        if (const qsizetype comment = commentStart(text); comment >= 0)
            text.truncate(comment);
        text = text.trimmed();
        if (!text.isEmpty() || overlong)
            lines.append({ int(i + 1), text, overlong });
    }
    return lines;
}

QList<Line> fromArguments(const QStringList &arguments)
{
    QList<Line> lines;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString text = arguments[i].trimmed();
        if (!text.isEmpty())
            lines.append({ int(i + 1), text.left(MaxLineBytes), text.size() > MaxLineBytes });
    }
    return lines;
}

QString refusalFor(const Line &line, bool confirmed)
{
    const QString &text = line.text;
    if (line.overlong)
        return QStringLiteral("the line is longer than %1 bytes").arg(MaxLineBytes);
    // A CR or LF inside a value would put a second command on the line, one nobody checked.
    if (!isPrintableAscii(text))
        return QStringLiteral("%1 holds a character outside printable ASCII").arg(shown(text));
    for (const Confirmed &c : confirmedTexts) {
        if (text == QLatin1StringView(c.text) && !confirmed) {
            return QStringLiteral("%1 %2; the window asks first, so it goes out only with --yes")
                    .arg(text, QLatin1StringView(c.what));
        }
    }
    for (const VocabularyEntry &entry : vocabulary()) {
        const QLatin1StringView known(entry.text);
        if (entry.shape != CommandShape::ValueSetting) {
            if (text == known)
                return {};
        } else if (text.startsWith(known)) {
            const QStringView value = QStringView(text).sliced(known.size());
            if (value.isEmpty())
                return QStringLiteral("%1 needs a value after the \"=\"").arg(shown(text));
            if (!fitsForm(entry.form, value)) {
                return QStringLiteral("%1: the value after %2 must be %3")
                        .arg(shown(text), known, QLatin1StringView(formDescription(entry.form)));
            }
            return {};
        }
    }
    return QStringLiteral("%1 is not a command of the modem").arg(shown(text));
}

QStringList acceptedTexts()
{
    QStringList texts;
    for (const VocabularyEntry &entry : vocabulary()) {
        texts.append(QLatin1StringView(entry.text));
        if (entry.shape == CommandShape::ValueSetting)
            texts.last() += QStringLiteral("VALUE");
    }
    return texts;
}

} // namespace CommandFile
