// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ratesearch.h"

#include "cli/clisession.h"
#include "modem/commands.h"
#include "platform/escaping.h"
#include "serial/baudrates.h"
#include "session/settingsstore.h"

namespace {

const QString section = QStringLiteral("Rates");

// The settings file keeps the rate under the device's path, its slashes written as
// underscores, since they would make sections there: "_dev_ttyUSB0".
QString keyFor(const QString &device)
{
    return QString(device).replace(u'/', u'_');
}

// The question and a reply of up to 32 bytes at `rate`, ten bits a byte, and the modem's time
// to answer.
int tryMsecs(const QString &rate)
{
    constexpr int answerMsecs = 150;
    constexpr int bytes = 7 + 32;
    return answerMsecs + bytes * 10 * 1000 / rate.toInt();
}

} // namespace

namespace RateSearch {

QStringList candidates(const QString &device)
{
    QStringList rates;
    const QString last = SettingsStore::read(section, keyFor(device), QString());
    if (portSettingsForBaudText(last))
        rates.append(last);
    // Then the factory rate, then the others as often as modems are set to them: the
    // utility's own default first, the slowest (whose try takes longest) last.
    for (const char *rate : { "9600", "19200", "38400", "4800", "2400", "1200" }) {
        if (!rates.contains(QLatin1StringView(rate)))
            rates.append(QLatin1StringView(rate));
    }
    return rates;
}

Task<std::optional<QString>> find(CliSession &session, QString device)
{
    const QString question = QLatin1StringView(Commands::ModemType);
    const QStringList rates = candidates(device);
    for (const QString &rate : rates) {
        if (!session.setRate(rate).ok())
            co_return std::nullopt;
        const Replies::Reply reply = co_await session.ask(question, tryMsecs(rate));
        if (session.failed())
            co_return std::nullopt;
        // Any whole line of plain text proves the rate, an ERROR included: at another rate
        // the modem's answer arrives as bytes no modem sends.
        if (reply.ended && !reply.text.isEmpty() && isPrintableAscii(reply.text)) {
            SettingsStore::write(section, keyFor(device), rate);
            co_return rate;
        }
    }
    co_return std::nullopt;
}

} // namespace RateSearch
