// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <array>

// The telnet side of an RFC 2217 client as pure byte logic: no socket, no clock. Bytes from
// the server go through decode() in whatever pieces TCP hands them over, a command split
// between two reads included; out come the line's data, the answers that negotiation needs,
// and the server's Com Port Control replies. Bytes for the server come from the static
// builders.
//
// Negotiation follows the Q method of RFC 1143 without its queue: a request is answered only
// when it changes an option's state, and a reply to one of our own requests is never
// answered, so no pair of peers can make it loop. Wanted: BINARY both ways, COM-PORT-OPTION
// on our side; SGA is taken when offered, as telnet servers expect; everything else,
// ECHO included, is refused.
class TelnetCodec
{
public:
    // The Com Port Control option (RFC 2217) and its client commands; the server answers
    // a command with its code + 100.
    static constexpr quint8 ComPortOption = 44;
    enum class ComPort : quint8 {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
        PurgeData = 12,
    };
    static constexpr quint8 ServerReplyOffset = 100;
    static constexpr int ComPortCommands = 13;

    // What the server answered a Com Port Control command with, and where it fell among the
    // data of the same decode() call: `dataOffset` bytes of that call's data came before it.
    struct ComPortReply
    {
        quint8 command = 0; // the client command it answers (the server's code - 100)
        QByteArray value;
        qsizetype dataOffset = 0;
    };

    struct Decoded
    {
        QByteArray data;
        // Negotiation answers, to be sent to the server as they are.
        QByteArray answers;
        QList<ComPortReply> replies;
    };

    enum class Agreement { Pending, Accepted, Refused };

    // The requests that open the negotiation: WILL and DO BINARY, WILL COM-PORT-OPTION.
    [[nodiscard]] QByteArray start();
    [[nodiscard]] Decoded decode(QByteArrayView bytes);

    [[nodiscard]] Agreement comPort() const;
    [[nodiscard]] bool binaryBothWays() const;

    // Line data with every 0xFF doubled.
    [[nodiscard]] static QByteArray escape(QByteArrayView data);
    // IAC SB COM-PORT-OPTION command value IAC SE, 0xFF in the value doubled.
    [[nodiscard]] static QByteArray comPortCommand(ComPort command, QByteArrayView value);

    // A subnegotiation longer than this is dropped whole: RFC 2217's longest reply the
    // client uses is four bytes, and a signature text is of no use here.
    static constexpr qsizetype MaxSubnegotiation = 64;

private:
    // RFC 1143's states, without WANTNO: this side never asks to turn an option off.
    enum class Q : quint8 { No, Yes, WantYes };
    enum class State : quint8 { Data, Iac, Verb, Sb, SbIac };

    void negotiate(quint8 verb, quint8 option, Decoded &out);
    void endSubnegotiation(Decoded &out);

    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sb;
    bool m_sbOverflow = false;
    // Per option: ours (what we do) and theirs (what the server does).
    std::array<Q, 256> m_us{};
    std::array<Q, 256> m_them{};
    bool m_comPortAsked = false;
};
