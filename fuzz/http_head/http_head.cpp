// The head of an HTTP response: found whole or not at all, whatever follows.
#include "FuzzCheck.h"
#include "HttpResponseHead.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(data, qsizetype(size));
    const qsizetype length = HttpResponseHead::headerLength(input);
    FUZZ_CHECK(length >= 0 && length <= input.size());
    if (length == 0) {
        FUZZ_CHECK(!input.contains("\r\n\r\n"));
        return 0;
    }
    FUZZ_CHECK(input.first(length).endsWith("\r\n\r\n"));
    // A head is complete only once its blank line has arrived.
    FUZZ_CHECK(HttpResponseHead::headerLength(input.first(length - 1)) == 0);

    const HttpResponseHead head = HttpResponseHead::parse(input.first(length));
    FUZZ_CHECK(head.contentLength >= -1);
    FUZZ_CHECK(head.rangeStart >= -1);
    FUZZ_CHECK(!head.chunked || head.contentLength == -1);
    FUZZ_CHECK(!std::isnan(head.status));
    FUZZ_CHECK(head.hasStatusLine || head.status == 0);
    FUZZ_CHECK(!head.isSuccess() || (head.status >= 200 && head.status < 300));
    return 0;
}
