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
                if (dash > 0 && isDigits(bounds.left(dash)) && dash <= 18)
                    head.rangeStart = bounds.left(dash).toLongLong();
            }
        }
    }
    if (head.chunked)
        head.contentLength = -1;
    return head;
}
