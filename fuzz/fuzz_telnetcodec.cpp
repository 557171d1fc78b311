// SPDX-License-Identifier: GPL-3.0-or-later
// What a device server sends an RFC 2217 client, in whatever pieces TCP hands it over.
#include "serial/network/telnetcodec.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));

    TelnetCodec whole;
    (void)whole.start();
    const TelnetCodec::Decoded once = whole.decode(bytes);

    // The same bytes in two reads, split where the first byte says: a command cut in two
    // reads as one.
    const qsizetype cut = size > 0 ? qsizetype(data[0]) % qsizetype(size + 1) : 0;
    TelnetCodec split;
    (void)split.start();
    const TelnetCodec::Decoded first = split.decode(bytes.first(cut));
    const TelnetCodec::Decoded second = split.decode(bytes.sliced(cut));
    check(first.data + second.data == once.data);
    check(first.answers + second.answers == once.answers);
    check(first.replies.size() + second.replies.size() == once.replies.size());
    for (qsizetype i = 0; i < once.replies.size(); ++i) {
        const bool inFirst = i < first.replies.size();
        const TelnetCodec::ComPortReply &part =
                inFirst ? first.replies[i] : second.replies[i - first.replies.size()];
        const qsizetype offset = inFirst ? part.dataOffset : first.data.size() + part.dataOffset;
        check(part.command == once.replies[i].command && part.value == once.replies[i].value
              && offset == once.replies[i].dataOffset);
        check(part.command < TelnetCodec::ComPortCommands);
        check(part.value.size() <= TelnetCodec::MaxSubnegotiation);
    }
    check(split.comPort() == whole.comPort() && split.binaryBothWays() == whole.binaryBothWays());

    // Every answer is three bytes for a three-byte request at most: a peer cannot make the
    // client say more than it heard, so no pair of them can loop.
    check(once.answers.size() <= bytes.size());
    check(once.data.size() <= bytes.size());

    // Data survives its escaping whole, with nothing to answer.
    TelnetCodec fresh;
    const TelnetCodec::Decoded back = fresh.decode(TelnetCodec::escape(bytes));
    check(back.data == bytes && back.answers.isEmpty() && back.replies.isEmpty());
    return 0;
}
