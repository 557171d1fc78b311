// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commandsmode.h"

#include "cli/cli.h"
#include "cli/output.h"
#include "modem/commands.h"

int runCommands(const CliOptions &)
{
    for (const VocabularyEntry &entry : vocabulary()) {
        QByteArray text(entry.text);
        QByteArray meaning(entry.meaning);
        if (entry.shape == CommandShape::ValueSetting) {
            text += "VALUE";
            meaning += QByteArray("; VALUE is ") + formDescription(entry.form);
        }
        printLine(text.leftJustified(16) + meaning);
    }
    return Cli::ExitStatus::Ok;
}
