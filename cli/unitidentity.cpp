// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/unitidentity.h"

#include "cli/cli.h"
#include "cli/clioptions.h"
#include "cli/fleet.h"
#include "cli/output.h"
#include "modem/commands.h"
#include "platform/escaping.h"

QString UnitIdentity::fileStem() const
{
    QString stem;
    for (const QChar c : serialNumber) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')
                || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
        stem += plain ? c : u'_';
    }
    while (stem.startsWith(u'.'))
        stem.remove(0, 1);
    return stem.left(64).isEmpty() ? QStringLiteral("unknown") : stem.left(64);
}

Task<std::optional<UnitIdentity>> identify(Unit &unit, const CliOptions &options, int *status)
{
    UnitIdentity identity;
    const std::pair<const char *, QString UnitIdentity::*> questions[] = {
        { Commands::ModemType, &UnitIdentity::modemType },
        { Commands::SerialNumber, &UnitIdentity::serialNumber },
        { Commands::FirmwareRevision, &UnitIdentity::firmware },
    };
    for (const auto &[command, field] : questions) {
        const Replies::Reply reply =
                co_await unit.session().ask(QLatin1StringView(command), options.timeoutMs);
        if (unit.session().failed()) {
            *status = Cli::ExitStatus::PortFailure;
            co_return std::nullopt;
        }
        if (!reply.ended || reply.text.contains("ERROR")
            || unit.session().reportGarbled(QLatin1StringView(command), reply)) {
            unit.session().say(QStringLiteral("no answer to %1 (%2); the modem is not known")
                                       .arg(QLatin1StringView(command),
                                            reply.ended
                                                    ? QString::fromLatin1(escapedBytes(reply.text))
                                                    : QStringLiteral("no reply in time")));
            *status = Cli::ExitStatus::NoReply;
            co_return std::nullopt;
        }
        identity.*field = QString::fromLatin1(escapedBytes(reply.text));
    }
    co_return identity;
}
