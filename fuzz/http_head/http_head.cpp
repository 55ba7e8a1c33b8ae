// The head of an HTTP response: found whole or not at all, whatever follows,
// and read the same whether its lines end in CRLF or in a bare LF.
#include "FuzzCheck.h"
#include "HttpResponseHead.h"

namespace {

bool sameHead(const HttpResponseHead &a, const HttpResponseHead &b)
{
    return a.hasStatusLine == b.hasStatusLine && a.status == b.status && a.version == b.version
           && a.reason == b.reason && a.fields == b.fields && a.contentLength == b.contentLength
           && a.chunked == b.chunked && a.framingError == b.framingError && a.rangeStart == b.rangeStart
           && a.rangeLast == b.rangeLast && a.rangeTotal == b.rangeTotal;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(data, qsizetype(size));
    const qsizetype length = HttpResponseHead::headerLength(input);
    FUZZ_CHECK(length >= 0 && length <= input.size());
    if (length == 0) {
        FUZZ_CHECK(!input.contains("\n\n") && !input.contains("\n\r\n"));
        return 0;
    }
    const QByteArrayView header = input.first(length);
    FUZZ_CHECK(header.endsWith("\n\n") || header.endsWith("\n\r\n"));
    // A head is complete only once its empty line has arrived.
    FUZZ_CHECK(HttpResponseHead::headerLength(header.first(length - 1)) == 0);

    const HttpResponseHead head = HttpResponseHead::parse(header);
    FUZZ_CHECK(head.hasStatusLine ? head.status >= 0 && head.status <= 999 : head.status == 0);
    FUZZ_CHECK(head.contentLength >= -1);
    FUZZ_CHECK(head.rangeStart >= -1);
    // Either one way to find the body's end, or a reason why there is none.
    FUZZ_CHECK(!head.chunked || (head.contentLength == -1 && head.framingError.isEmpty()));
    FUZZ_CHECK(head.framingError.isEmpty() || (head.contentLength == -1 && !head.chunked));
    FUZZ_CHECK(!head.isSuccess() || (head.status >= 200 && head.status < 300));
    for (const auto &[name, value] : head.fields) {
        FUZZ_CHECK(!name.isEmpty() && !name.contains('\n') && !name.contains('\r') && !name.contains(':'));
        FUZZ_CHECK(!value.contains('\n') && !value.contains('\r'));
        FUZZ_CHECK(head.value(name).has_value());
    }

    // Where every CR ends a line, CRLF and LF are the same.
    QByteArray lf = header.toByteArray();
    lf.replace("\r\n", "\n");
    if (!lf.contains('\r'))
        FUZZ_CHECK(sameHead(HttpResponseHead::parse(lf), head));
    return 0;
}
