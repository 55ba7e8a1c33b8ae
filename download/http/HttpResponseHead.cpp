#include "HttpResponseHead.h"

#include "LeadingNumber.h"

#include <QByteArray>
#include <QList>

qsizetype HttpResponseHead::headerLength(QByteArrayView data)
{
    const qsizetype end = data.indexOf(QByteArrayView("\r\n\r\n"));
    return end < 0 ? 0 : end + 4;
}

static bool isDigits(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

HttpResponseHead HttpResponseHead::parse(QByteArrayView header)
{
    HttpResponseHead head;
    const QList<QByteArray> lines = header.toByteArray().split('\n');
    if (lines.isEmpty())
        return head;
    const QByteArray statusLine = lines.first().trimmed();
    if (statusLine.left(5).toLower() == "http/") {
        const qsizetype blank = statusLine.indexOf(' ');
        if (blank > 0) {
            head.hasStatusLine = true;
            head.status = LeadingNumber(QString::fromLatin1(statusLine.mid(blank + 1)));
        }
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            if (isDigits(value) && value.size() <= 18)
                head.contentLength = value.toLongLong();
        } else if (name == "transfer-encoding") {
            head.chunked = value.toLower().contains("chunked");
        } else if (name == "content-range") {
            // bytes FIRST-LAST/TOTAL
            const QByteArray lower = value.toLower();
            if (lower.startsWith("bytes ")) {
                const QByteArray bounds = lower.mid(6).trimmed();
                const qsizetype dash = bounds.indexOf('-');
                const qsizetype slash = bounds.indexOf('/');
                if (dash > 0 && isDigits(bounds.left(dash)) && dash <= 18)
                    head.rangeStart = bounds.left(dash).toLongLong();
                if (head.rangeStart >= 0 && slash > dash) {
                    const QByteArray last = bounds.mid(dash + 1, slash - dash - 1);
                    const QByteArray total = bounds.mid(slash + 1);
                    if (isDigits(last) && last.size() <= 18)
                        head.rangeLast = last.toLongLong();
                    if (isDigits(total) && total.size() <= 18)
                        head.rangeTotal = total.toLongLong();
                }
            }
        }
    }
    if (head.chunked)
        head.contentLength = -1;
    return head;
}

bool HttpResponseHead::answersSuffix(qint64 suffix) const
{
    if (suffix <= 0 || rangeStart < 0 || rangeLast < rangeStart || rangeTotal <= 0)
        return false;
    const qint64 length = rangeLast - rangeStart + 1;
    return rangeLast == rangeTotal - 1 && length == qMin(suffix, rangeTotal)
           && (contentLength < 0 || contentLength == length);
}
