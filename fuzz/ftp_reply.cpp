// FTP control-channel replies, single and multi-line, however the bytes arrive, and the passive
// and extended passive addresses and the transfer size read from them.
#include "FuzzCheck.h"

#include "common/ftp/FtpReply.h"

using namespace harbel;

namespace {

bool sameReplies(const QList<FtpReply>& a, const QList<FtpReply>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].code != b[i].code || a[i].lines != b[i].lines || a[i].overflow != b[i].overflow)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    FtpReplyParser whole;
    const QList<FtpReply> replies = whole.feed(bytes);
    for (const FtpReply& reply : replies) {
        FUZZ_CHECK(reply.code == 0 || (reply.code >= 100 && reply.code <= 999));
        FUZZ_CHECK(!reply.lines.isEmpty());
        FUZZ_CHECK(reply.lines.size() <= FtpReplyParser::kMaxLines + 1);
        QString host;
        const quint16 port = parsePassivePort(reply, &host);
        FUZZ_CHECK(port == 0 || reply.code == 229 || host.count(u'.') == 3);
        FUZZ_CHECK(parseStartReplySize(reply) >= -1);
    }

    // The same bytes in two reads give the same replies, whatever the cut (lines shorter than
    // the parser's limit).
    if (size > 0 && bytes.size() < FtpReplyParser::kMaxLineLength) {
        const qsizetype cut = data[0] % (bytes.size() + 1);
        FtpReplyParser pieces;
        QList<FtpReply> again = pieces.feed(bytes.left(cut));
        again += pieces.feed(bytes.mid(cut));
        FUZZ_CHECK(sameReplies(replies, again));
        FUZZ_CHECK(whole.hasPartial() == pieces.hasPartial());
    }
    return 0;
}
