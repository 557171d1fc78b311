// SPDX-License-Identifier: GPL-3.0-or-later
// `korvanet apply`: brings modems to a profile's settings, and proves it by reading them back.
#include "cli/applymode.h"

#include "cli/cli.h"
#include "cli/bench.h"
#include "cli/clioptions.h"
#include "cli/fleet.h"
#include "cli/output.h"
#include "cli/profile.h"
#include "cli/record.h"
#include "cli/unitidentity.h"
#include "modem/commands.h"
#include "modem/sequences.h"
#include "platform/escaping.h"
#include "serial/ports/portlisting.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

struct SettingOutcome
{
    const ModemSetting *setting = nullptr;
    QString wanted;
    std::optional<QString> before; // nothing: unreadable
    std::optional<QString> after; // nothing: unreadable, or not read back
    bool planned = false; // differs, or --all: it is to be sent
    bool sent = false;
    bool readBack = false;

    [[nodiscard]] const char *delivery() const
    {
        return sent ? "sent" : planned ? "not sent" : "unchanged";
    }

    [[nodiscard]] QString status() const
    {
        if (!readBack)
            return QStringLiteral("not read back");
        if (!after)
            return QStringLiteral("unreadable");
        return sameValue(*setting, *after, wanted) ? QStringLiteral("confirmed")
                                                   : QStringLiteral("differs");
    }
};

// What became of one modem.
struct Outcome
{
    std::optional<UnitIdentity> identity;
    QList<SettingOutcome> settings;
    QString result; // confirmed, differs, stopped, refused, port failure
    QByteArray line; // all of it on one line, once it is known
    QString stoppedAt; // the command the run stopped at, and why
    bool saved = false;
    bool transmissionOff = false;
    bool unsaved = false;
};

int statusOf(const Outcome &outcome)
{
    if (outcome.result == u"confirmed")
        return Cli::ExitStatus::Ok;
    if (outcome.result == u"differs")
        return Cli::ExitStatus::Mismatch;
    if (outcome.result == u"stopped")
        return Cli::ExitStatus::NoReply;
    if (outcome.result == u"refused")
        return Cli::ExitStatus::Usage;
    return Cli::ExitStatus::PortFailure;
}

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

// A reply that ends in time and says no ERROR; otherwise `outcome` says where it stopped.
bool accepted(CliSession &session, const Replies::Reply &reply, const QString &command,
              Outcome &outcome)
{
    if (reply.ended && !reply.text.contains("ERROR") && !session.reportGarbled(command, reply))
        return true;
    outcome.result = QStringLiteral("stopped");
    outcome.stoppedAt = reply.ended
            ? QStringLiteral("%1: %2").arg(command, QString::fromLatin1(escapedBytes(reply.text)))
            : QStringLiteral("%1: no reply in time").arg(command);
    return false;
}

class ApplyRun
{
public:
    ApplyRun(Unit &unit, const CliOptions &options, const Profile::Contents &profile,
             Outcome &outcome)
        : m_unit(unit),
          m_session(unit.session()),
          m_options(options),
          m_profile(profile),
          m_outcome(outcome)
    {
    }

    Task<int> run();

private:
    Task<bool> readCurrent();
    Task<bool> sendSettings();
    Task<void> readBack();
    Task<Replies::Reply> sendTracked(QString command);

    Unit &m_unit;
    CliSession &m_session;
    const CliOptions &m_options;
    const Profile::Contents &m_profile;
    Outcome &m_outcome;
    QStringList m_plan;
    bool m_lineQuiet = false; // the modem stopped answering: nothing more is asked of it
    bool m_lastSent = false; // the last frame reached the line
};

Task<Replies::Reply> ApplyRun::sendTracked(QString command)
{
    const qsizetype index = m_plan.indexOf(command);
    const QDeadlineTimer deadline(m_options.timeoutMs, Qt::PreciseTimer);
    CommStatus sent;
    const QLatin1StringView setSerialParams(Commands::SetSerialParams);
    if (command == QLatin1StringView(Commands::SaveSettings)) {
        sent = co_await Sequences::saveSettings(m_session);
    } else if (command.startsWith(setSerialParams)) {
        // The modem answers at its old rate, then the port follows it to the new one.
        const QString value = command.sliced(setSerialParams.size());
        m_session.followRate(value);
        sent = co_await Sequences::setSerialParams(m_session, value);
    } else {
        sent = m_session.sendFrame(command);
    }
    m_lastSent = sent.ok();
    if (!sent.ok())
        co_return Replies::Reply();
    if (index >= 0)
        m_unit.progress.sent(index);
    Replies::Reply reply = co_await m_session.reply(deadline);
    if (reply.ended && index >= 0)
        m_unit.progress.answered(index);
    if (!reply.ended)
        m_lineQuiet = true;
    co_return reply;
}

Task<bool> ApplyRun::readCurrent()
{
    for (const Profile::Entry &entry : m_profile.entries) {
        const QString query = QLatin1StringView(entry.setting->query);
        const Replies::Reply reply = co_await m_session.ask(query, m_options.timeoutMs);
        if (m_session.failed() || !accepted(m_session, reply, query, m_outcome))
            co_return false;
        SettingOutcome setting;
        setting.setting = entry.setting;
        setting.wanted = entry.value;
        setting.before = valueFromReply(*entry.setting, reply.text);
        m_outcome.settings.append(setting);
    }
    co_return true;
}

Task<bool> ApplyRun::sendSettings()
{
    for (SettingOutcome &setting : m_outcome.settings) {
        if (!setting.planned)
            continue;
        const QString command = QLatin1StringView(setting.setting->setting) + setting.wanted;
        setting.sent = true;
        m_outcome.unsaved = true;
        const Replies::Reply reply = co_await sendTracked(command);
        if (m_session.failed() || !accepted(m_session, reply, command, m_outcome))
            co_return false;
    }
    co_return true;
}

Task<void> ApplyRun::readBack()
{
    for (SettingOutcome &setting : m_outcome.settings) {
        const QString query = QLatin1StringView(setting.setting->query);
        const Replies::Reply reply = co_await m_session.ask(query, m_options.timeoutMs);
        if (m_session.failed() || !reply.ended) {
            m_lineQuiet = true;
            co_return;
        }
        setting.readBack = true;
        setting.after = reply.text.contains("ERROR") ? std::nullopt
                                                     : valueFromReply(*setting.setting, reply.text);
    }
}

Task<int> ApplyRun::run()
{
    if (const int opened = co_await openUnit(m_unit, m_options); opened != Cli::ExitStatus::Ok) {
        m_outcome.result = opened == Cli::ExitStatus::PortFailure ? QStringLiteral("port failure")
                                                                  : QStringLiteral("stopped");
        if (opened != Cli::ExitStatus::PortFailure)
            m_outcome.stoppedAt = QStringLiteral("no answer at any rate");
        co_return opened;
    }
    int status = Cli::ExitStatus::Ok;
    m_outcome.identity = co_await identify(m_unit, m_options, &status);
    if (!m_outcome.identity) {
        m_outcome.result = status == Cli::ExitStatus::PortFailure ? QStringLiteral("port failure")
                                                                  : QStringLiteral("stopped");
        co_return status;
    }
    // A profile for other hardware could set what this modem cannot take.
    if (!m_profile.header.modemType.isEmpty()
        && m_profile.header.modemType != m_outcome.identity->modemType) {
        m_outcome.result = QStringLiteral("refused");
        m_outcome.stoppedAt =
                QStringLiteral("the profile is for a %1, this is a %2")
                        .arg(m_profile.header.modemType, m_outcome.identity->modemType);
        co_return Cli::ExitStatus::Usage;
    }

    bool ok = co_await readCurrent();
    const QString disable = QLatin1StringView(Commands::DisableTransmission);
    const QString enable = QLatin1StringView(Commands::EnableTransmission);
    const QString save = QLatin1StringView(Commands::SaveSettings);
    if (ok) {
        m_plan = QStringList{ disable };
        for (SettingOutcome &s : m_outcome.settings) {
            s.planned = m_options.all || !s.before || !sameValue(*s.setting, *s.before, s.wanted);
            if (s.planned)
                m_plan.append(QLatin1StringView(s.setting->setting) + s.wanted);
        }
        if (m_options.save)
            m_plan.append(save);
        m_plan.append(enable);
        m_unit.progress.plan(m_plan);
        const Replies::Reply off = co_await sendTracked(disable);
        // Once the frame is out, the modem may have taken it, answer or not.
        m_outcome.transmissionOff = m_lastSent;
        ok = !m_session.failed() && accepted(m_session, off, disable, m_outcome);
    }
    if (ok)
        ok = co_await sendSettings();
    // Never after a failure: what would be stored is not what the profile says.
    if (ok && m_options.save) {
        const Replies::Reply stored = co_await sendTracked(save);
        ok = !m_session.failed() && accepted(m_session, stored, save, m_outcome);
        m_outcome.saved = ok;
        m_outcome.unsaved = !ok;
    }
    if (!m_session.failed() && !m_lineQuiet && !m_outcome.settings.isEmpty())
        co_await readBack();
    // Whenever the port still works, even after a failure: a modem left silent is lost to
    // its network.
    if (!m_session.failed() && m_outcome.transmissionOff) {
        const Replies::Reply on = co_await sendTracked(enable);
        if (on.ended && !on.text.contains("ERROR"))
            m_outcome.transmissionOff = false;
    }
    m_session.reportDoubts(m_plan);
    const bool doubtful = !m_session.replies().unasked().isEmpty()
            || !m_session.replies().lateReplies().isEmpty();
    if (m_session.failed()) {
        m_outcome.result = QStringLiteral("port failure");
    } else if (m_outcome.result.isEmpty()) {
        const bool allConfirmed =
                std::all_of(m_outcome.settings.cbegin(), m_outcome.settings.cend(),
                            [](const SettingOutcome &s) { return s.status() == u"confirmed"; });
        m_outcome.result = doubtful ? QStringLiteral("stopped")
                : allConfirmed      ? QStringLiteral("confirmed")
                                    : QStringLiteral("differs");
        if (doubtful)
            m_outcome.stoppedAt = QStringLiteral("lines that did not keep to their questions");
    }
    co_return statusOf(m_outcome);
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
        device.isEmpty() ? QString() : adapterSerialNumber(device),
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
