// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/network/telnetcodec.h"

namespace {

// RFC 854's command bytes and the options this client cares about.
constexpr quint8 Se = 240;
constexpr quint8 Sb = 250;
constexpr quint8 Will = 251;
constexpr quint8 Wont = 252;
constexpr quint8 Do = 253;
constexpr quint8 Dont = 254;
constexpr quint8 Iac = 255;

constexpr quint8 Binary = 0;
constexpr quint8 SuppressGoAhead = 3;

bool weDo(quint8 option)
{
    return option == Binary || option == TelnetCodec::ComPortOption || option == SuppressGoAhead;
}

bool theyMay(quint8 option)
{
    return option == Binary || option == SuppressGoAhead;
}

void command(QByteArray &out, quint8 verb, quint8 option)
{
    out.append(char(Iac)).append(char(verb)).append(char(option));
}

} // namespace

QByteArray TelnetCodec::start()
{
    QByteArray requests;
    if (m_us[Binary] == Q::No) {
        m_us[Binary] = Q::WantYes;
        command(requests, Will, Binary);
    }
    if (m_them[Binary] == Q::No) {
        m_them[Binary] = Q::WantYes;
        command(requests, Do, Binary);
    }
    if (m_us[ComPortOption] == Q::No) {
        m_us[ComPortOption] = Q::WantYes;
        command(requests, Will, ComPortOption);
    }
    m_comPortAsked = true;
    return requests;
}

TelnetCodec::Decoded TelnetCodec::decode(QByteArrayView bytes)
{
    Decoded out;
    out.data.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = quint8(bytes[i]);
        switch (m_state) {
        case State::Data:
            if (byte == Iac)
                m_state = State::Iac;
            else
                out.data.append(char(byte));
            break;
        case State::Iac:
            if (byte == Iac) {
                out.data.append(char(byte));
                m_state = State::Data;
            } else if (byte >= Will) {
                m_verb = byte;
                m_state = State::Verb;
            } else if (byte == Sb) {
                m_sb.clear();
                m_sbOverflow = false;
                m_state = State::Sb;
            } else {
                // NOP, GA, a data mark, a stray SE: nothing for a serial line.
                m_state = State::Data;
            }
            break;
        case State::Verb:
            negotiate(m_verb, byte, out);
            m_state = State::Data;
            break;
        case State::Sb:
            if (byte == Iac) {
                m_state = State::SbIac;
            } else if (m_sb.size() < MaxSubnegotiation) {
                m_sb.append(char(byte));
            } else {
                m_sbOverflow = true;
            }
            break;
        case State::SbIac:
            if (byte == Se) {
                endSubnegotiation(out);
                m_state = State::Data;
            } else if (byte == Iac) {
                if (m_sb.size() < MaxSubnegotiation)
                    m_sb.append(char(byte));
                else
                    m_sbOverflow = true;
                m_state = State::Sb;
            } else {
                // A command inside a subnegotiation: the server has lost its way. The
                // subnegotiation ends unheard, and the byte is read as the command it is.
                m_state = State::Iac;
                --i;
            }
            break;
        }
    }
    return out;
}

void TelnetCodec::negotiate(quint8 verb, quint8 option, Decoded &out)
{
    const bool theirs = verb == Will || verb == Wont;
    Q &q = theirs ? m_them[option] : m_us[option];
    const bool enable = verb == Will || verb == Do;
    const quint8 yes = theirs ? Do : Will;
    const quint8 no = theirs ? Dont : Wont;
    if (enable) {
        if (q == Q::WantYes) {
            q = Q::Yes;
        } else if (q == Q::No) {
            if (theirs ? theyMay(option) : weDo(option)) {
                q = Q::Yes;
                command(out.answers, yes, option);
            } else {
                command(out.answers, no, option);
            }
        }
    } else {
        if (q == Q::Yes)
            command(out.answers, no, option);
        q = Q::No;
    }
}

void TelnetCodec::endSubnegotiation(Decoded &out)
{
    const QByteArray sb = std::exchange(m_sb, {});
    if (m_sbOverflow || sb.size() < 2 || quint8(sb[0]) != ComPortOption)
        return;
    const auto code = quint8(sb[1]);
    if (code < ServerReplyOffset || code >= ServerReplyOffset + ComPortCommands)
        return;
    out.replies.append({ quint8(code - ServerReplyOffset), sb.sliced(2), out.data.size() });
}

TelnetCodec::Agreement TelnetCodec::comPort() const
{
    switch (m_us[ComPortOption]) {
    case Q::Yes:
        return Agreement::Accepted;
    case Q::No:
        return m_comPortAsked ? Agreement::Refused : Agreement::Pending;
    case Q::WantYes:
        break;
    }
    return Agreement::Pending;
}

bool TelnetCodec::binaryBothWays() const
{
    return m_us[Binary] == Q::Yes && m_them[Binary] == Q::Yes;
}

QByteArray TelnetCodec::escape(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size() + data.count(char(Iac)));
    for (const char byte : data) {
        out.append(byte);
        if (quint8(byte) == Iac)
            out.append(byte);
    }
    return out;
}

QByteArray TelnetCodec::comPortCommand(ComPort command, QByteArrayView value)
{
    QByteArray out;
    out.append(char(Iac)).append(char(Sb)).append(char(ComPortOption)).append(char(command));
    out.append(escape(value));
    out.append(char(Iac)).append(char(Se));
    return out;
}
