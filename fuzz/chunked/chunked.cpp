// A chunked body decodes the same whether it arrives whole, in pieces or
// byte by byte. The first byte chooses the pieces.
#include "ChunkedBody.h"
#include "FuzzCheck.h"

namespace {

struct Decoded
{
    ChunkedBody::Status status = ChunkedBody::Status::Running;
    QByteArray output;
    bool operator==(const Decoded &) const = default;
};

Decoded decode(const QList<QByteArrayView> &parts)
{
    ChunkedBody body;
    Decoded result;
    for (QByteArrayView part : parts) {
        const ChunkedBody::Status status = body.feed(part, result.output);
        FUZZ_CHECK(status == body.status());
        // Once decided, a body stays decided and takes nothing more.
        if (result.status != ChunkedBody::Status::Running)
            FUZZ_CHECK(status == result.status);
        result.status = status;
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArrayView input(data + 1, qsizetype(size - 1));

    const Decoded whole = Fuzz::sameWhenSplit(input, data[0], decode);
    FUZZ_CHECK(whole.output.size() <= input.size());
    return 0;
}
