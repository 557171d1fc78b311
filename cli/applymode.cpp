// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet apply`: brings modems to a profile's settings, and proves it by reading them back.
#include "cli/applymode.h"

#include "cli/applyrun.h"
#include "cli/bench.h"
#include "cli/cli.h"
#include "cli/clioptions.h"
#include "cli/fleet.h"
#include "cli/output.h"
#include "cli/profile.h"
#include "cli/record.h"
#include "cli/unitidentity.h"
#include "platform/escaping.h"
#include "serial/ports/portlisting.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

QString shown(const std::optional<QString> &value)
{
    return value ? *value : QStringLiteral("?");
}

QString leftWith(const Outcome &outcome)
{
    QStringList state{ outcome.transmissionOff ? QStringLiteral("transmission off")
                                               : QStringLiteral("transmission on") };
    if (outcome.unsaved)
        state.append(QStringLiteral("changes unsaved"));
    return state.join(QStringLiteral(", "));
}

QString changes(const Outcome &outcome)
{
    QStringList changed;
    for (const SettingOutcome &s : outcome.settings) {
        if (s.sent)
            changed.append(QStringLiteral("%1: %2 -> %3")
                                   .arg(QLatin1StringView(s.setting->name), shown(s.before),
                                        s.readBack ? shown(s.after) : s.wanted));
    }
    return changed.join(QStringLiteral("; "));
}

void print(const Unit &unit, const Outcome &outcome, const CliOptions &options)
{
    const QByteArray prefix = unit.linePrefix();
    if (options.json) {
        QByteArrayList settings;
        for (const SettingOutcome &s : outcome.settings) {
            const auto value = [](const std::optional<QString> &v) {
                return v ? jsonString(v->toLatin1()) : QByteArray("null");
            };
            settings.append("{\"name\": " + jsonString(s.setting->name)
                            + ", \"wanted\": " + jsonString(s.wanted.toLatin1())
                            + ", \"before\": " + value(s.before) + ", \"after\": " + value(s.after)
                            + ", \"sent\": " + (s.sent ? "true" : "false")
                            + ", \"status\": " + jsonString(s.status().toLatin1()) + '}');
        }
        const UnitIdentity id = outcome.identity.value_or(UnitIdentity());
        printLine("{\"port\": " + jsonString(unit.name().toUtf8())
                  + ", \"device\": " + jsonString(unit.session().deviceName().toUtf8())
                  + ", \"modem type\": " + jsonString(id.modemType.toUtf8())
                  + ", \"serial number\": " + jsonString(id.serialNumber.toUtf8())
                  + ", \"firmware\": " + jsonString(id.firmware.toUtf8()) + ", \"settings\": ["
                  + settings.join(", ") + "], \"result\": " + jsonString(outcome.result.toUtf8())
                  + ", \"stopped at\": " + jsonString(outcome.stoppedAt.toUtf8())
                  + ", \"saved\": " + (outcome.saved ? "true" : "false")
                  + ", \"transmission\": " + (outcome.transmissionOff ? "\"off\"" : "\"on\"")
                  + ", \"unsaved changes\": " + (outcome.unsaved ? "true" : "false") + '}');
        return;
    }
    if (outcome.identity) {
        printLine(prefix + "unit\t" + outcome.identity->modemType.toUtf8() + '\t'
                  + outcome.identity->serialNumber.toUtf8() + '\t'
                  + outcome.identity->firmware.toUtf8());
    }
    for (const SettingOutcome &s : outcome.settings) {
        printLine(prefix + QByteArray(s.setting->name) + '\t' + shown(s.before).toLatin1() + " -> "
                  + (s.readBack ? shown(s.after) : s.wanted).toLatin1() + '\t' + s.delivery() + '\t'
                  + s.status().toLatin1());
    }
    printLine(prefix + "saved\t" + (outcome.saved ? "yes" : "no"));
    printLine(prefix + "left with\t" + leftWith(outcome).toLatin1());
    QByteArray result = prefix + "result\t" + outcome.result.toUtf8();
    if (!outcome.stoppedAt.isEmpty())
        result += '\t' + escapedText(outcome.stoppedAt);
    printLine(result);
}

// "COM5\tSN 1002\tconfirmed\tsaved\ttransmission on": a unit's result on one line.
QByteArray oneLine(const Unit &unit, const Outcome &outcome)
{
    return unit.name().toUtf8() + '\t'
            + outcome.identity.value_or(UnitIdentity()).serialNumber.toUtf8() + '\t'
            + outcome.result.toUtf8() + '\t' + (outcome.saved ? "saved" : "not saved") + '\t'
            + leftWith(outcome).toUtf8();
}

QStringList recordRow(const Unit &unit, const Outcome &outcome, const CliOptions &options,
                      const Profile::Contents &profile)
{
    const QDateTime local = QDateTime::currentDateTime();
    const QDateTime now = local.toOffsetFromUtc(local.offsetFromUtc());
    const UnitIdentity id = outcome.identity.value_or(UnitIdentity());
    const QString device = unit.session().deviceName();
    return {
        now.toString(Qt::ISODateWithMs),
        unit.name(),
        device,
        device.isEmpty() ? QString() : adapterInfo(device).serialNumber(),
        id.modemType,
        id.serialNumber,
        id.firmware,
        QFileInfo(options.profile).fileName(),
        QString::fromLatin1(profile.sha256),
        changes(outcome),
        outcome.stoppedAt.isEmpty() ? outcome.result
                                    : outcome.result + QStringLiteral(": ") + outcome.stoppedAt,
        outcome.saved ? QStringLiteral("yes") : QStringLiteral("no"),
        unit.transcriptPath(),
    };
}

void record(const Unit &unit, const Outcome &outcome, const CliOptions &options,
            const Profile::Contents &profile)
{
    if (options.record.isEmpty())
        return;
    if (const QString error =
                Record::append(options.record, recordRow(unit, outcome, options, profile));
        !error.isEmpty())
        sayOnStderr(QStringLiteral("record %1").arg(error));
}

} // namespace

int runApply(const CliOptions &options)
{
    QStringList errors;
    const std::optional<Profile::Contents> profile = Profile::read(options.profile, &errors);
    if (!profile) {
        for (const QString &error : std::as_const(errors))
            sayOnStderr(error);
        sayOnStderr(QStringLiteral("nothing was sent"));
        return Cli::ExitStatus::Usage;
    }

    // On a bench, modem after modem: one line each, the details in the record and transcript.
    if (options.wait) {
        const CliOptions bench = benchOptions(options);
        return runAsTheyCome(bench, QStringLiteral("apply"), [&](Unit &unit) -> Task<int> {
            Outcome outcome;
            ApplyRun run(unit, bench, *profile, outcome);
            const int status = co_await run.run();
            outcome.line = oneLine(unit, outcome);
            printLine(outcome.line);
            record(unit, outcome, bench, *profile);
            co_return status;
        });
    }

    std::vector<Outcome> outcomes(options.ports.size());
    const QList<int> statuses = runForEachPort(options, QStringLiteral("apply"),
                                               [&](Unit &unit, qsizetype index) -> Task<int> {
                                                   Outcome &outcome = outcomes[size_t(index)];
                                                   ApplyRun run(unit, options, *profile, outcome);
                                                   const int status = co_await run.run();
                                                   outcome.line = oneLine(unit, outcome);
                                                   print(unit, outcome, options);
                                                   record(unit, outcome, options, *profile);
                                                   co_return status;
                                               });
    if (outcomes.size() > 1) {
        for (const Outcome &outcome : outcomes)
            printLine("summary\t" + outcome.line);
    }
    return worstOf(statuses);
}
