// SPDX-License-Identifier: GPL-3.0-or-later
// A command file is untrusted: whatever it holds, a line that passes the vetting is one of the
// modem's texts exactly, or a value setting with a value in its form, and nothing else can
// ride along with it to the line.
#include "cli/commandfile.h"
#include "modem/commands.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool wellFormed(const QString &text)
{
    if (text.size() > CommandFile::MaxLineBytes)
        return false;
    for (const QChar c : text) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7e || c == u';' || c == u'#')
            return false;
    }
    for (const VocabularyEntry &entry : vocabulary()) {
        const QLatin1StringView known(entry.text);
        if (entry.shape != CommandShape::ValueSetting && text == known)
            return true;
        if (entry.shape == CommandShape::ValueSetting && text.startsWith(known)
            && fitsForm(entry.form, QStringView(text).sliced(known.size())))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray contents(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const CommandFile::Line &line : CommandFile::fromFile(contents)) {
        if (CommandFile::refusalFor(line, true).isEmpty() && !wellFormed(line.text))
            std::abort();
    }
    return 0;
}
