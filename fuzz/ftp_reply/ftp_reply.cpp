// The replies of an FTP control connection are the same however its text
// is cut, and each one's code is its first three digits or none. The first
// byte chooses the pieces.
#include "FtpReplies.h"
#include "FtpReplyReader.h"
#include "FuzzCheck.h"

namespace {

struct Framed
{
    QList<QByteArray> replies;
    qsizetype pending = 0;
    bool operator==(const Framed &) const = default;
};

Framed frame(const QList<QByteArrayView> &parts)
{
    FtpReplyReader reader;
    Framed result;
    for (QByteArrayView part : parts) {
        reader.append(part);
        while (const std::optional<QByteArray> reply = reader.takeReply()) {
            FUZZ_CHECK(!reply->isEmpty());
            const int code = replyCode(QString::fromLatin1(*reply));
            FUZZ_CHECK(code == 0 || (code >= 0 && code <= 999 && reply->startsWith(QByteArray::number(code).rightJustified(3, '0'))));
            result.replies.append(*reply);
        }
    }
    result.pending = reader.pendingBytes();
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArrayView input(data + 1, qsizetype(size - 1));

    const Framed whole = Fuzz::sameWhenSplit(input, data[0], frame);
    FUZZ_CHECK(whole.pending <= input.size());
    return 0;
}
