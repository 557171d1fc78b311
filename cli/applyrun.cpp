// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/applyrun.h"

#include "cli/cli.h"
#include "cli/clioptions.h"
#include "cli/fleet.h"
#include "cli/profile.h"
#include "modem/commands.h"
#include "modem/sequences.h"
#include "platform/escaping.h"

namespace {

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

} // namespace

ApplyRun::ApplyRun(Unit &unit, const CliOptions &options, const Profile::Contents &profile,
                   Outcome &outcome)
    : m_unit(unit),
      m_session(unit.session()),
      m_options(options),
      m_profile(profile),
      m_outcome(outcome)
{
}

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
        const QString command = setting.command();
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
                m_plan.append(s.command());
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
    const bool doubtful = m_session.reportDoubts();
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
