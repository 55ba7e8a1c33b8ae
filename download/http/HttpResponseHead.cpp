#include "HttpResponseHead.h"

#include <algorithm>

qsizetype HttpResponseHead::headerLength(QByteArrayView data)
{
    // The first empty line after the status line, ended by LF or CRLF.
    for (qsizetype lf = data.indexOf('\n'); lf >= 0; lf = data.indexOf('\n', lf + 1)) {
        const QByteArrayView next = data.sliced(lf + 1);
        if (next.startsWith('\n'))
            return lf + 2;
        if (next.startsWith("\r\n"))
            return lf + 3;
    }
    return 0;
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

// Digits that fit a length; -1 otherwise.
static qint64 number(QByteArrayView text)
{
    return isDigits(text) && text.size() <= 18 ? text.toLongLong() : -1;
}

static QList<QByteArray> lines(QByteArrayView header)
{
    QList<QByteArray> result;
    qsizetype start = 0;
    while (start < header.size()) {
        qsizetype lf = header.indexOf('\n', start);
        if (lf < 0)
            lf = header.size();
        QByteArray line = header.sliced(start, lf - start).toByteArray();
        if (line.endsWith('\r'))
            line.chop(1);
        result.append(line.replace('\r', ' '));
        start = lf + 1;
    }
    return result;
}

// Elements of a comma-separated list, without blanks and empty elements.
static QList<QByteArray> elements(const QByteArray &list)
{
    QList<QByteArray> result;
    for (const QByteArray &element : list.split(',')) {
        if (const QByteArray trimmed = element.trimmed(); !trimmed.isEmpty())
            result.append(trimmed);
    }
    return result;
}

HttpResponseHead HttpResponseHead::parse(QByteArrayView header)
{
    HttpResponseHead head;
    const QList<QByteArray> all = lines(header);
    qsizetype i = 0;
    while (i < all.size() && all.at(i).isEmpty())
        ++i;
    if (i == all.size())
        return head;

    // "HTTP/" version, a blank, three digits, and a blank before the reason unless the line ends there.
    const QByteArray &statusLine = all.at(i);
    const qsizetype blank = statusLine.indexOf(' ');
    const QByteArray code = statusLine.mid(blank + 1, 3);
    const qsizetype end = blank + 4;
    if (statusLine.left(5).compare("HTTP/", Qt::CaseInsensitive) == 0 && blank > 5 && isDigits(code)
        && code.size() == 3 && (statusLine.size() == end || statusLine.at(end) == ' ')) {
        head.hasStatusLine = true;
        head.version = statusLine.mid(5, blank - 5);
        head.status = code.toInt();
        head.reason = statusLine.mid(end + 1);
    }

    for (++i; i < all.size() && !all.at(i).isEmpty(); ++i) {
        const QByteArray &line = all.at(i);
        // A line that starts with a blank continues the field before it (obsolete folding).
        if (line.startsWith(' ') || line.startsWith('\t')) {
            if (!head.fields.isEmpty())
                head.fields.last().second = (head.fields.last().second + ' ' + line.trimmed()).trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (const QByteArray name = line.left(qMax<qsizetype>(colon, 0)).trimmed(); !name.isEmpty())
            head.fields.append({name, line.mid(colon + 1).trimmed()});
    }

    QList<QByteArray> lengths, codings;
    for (const auto &[name, value] : std::as_const(head.fields)) {
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            lengths.append(value);
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            codings.append(value);
        } else if (name.compare("Content-Range", Qt::CaseInsensitive) == 0 && head.rangeStart < 0) {
            // bytes FIRST-LAST/TOTAL
            const QByteArray lower = value.toLower();
            if (!lower.startsWith("bytes "))
                continue;
            const QByteArray bounds = lower.mid(6).trimmed();
            const qsizetype dash = bounds.indexOf('-');
            const qsizetype slash = bounds.indexOf('/');
            if (dash <= 0 || slash < dash)
                continue;
            head.rangeStart = number(bounds.left(dash));
            if (head.rangeStart >= 0) {
                head.rangeLast = number(bounds.mid(dash + 1, slash - dash - 1));
                head.rangeTotal = number(bounds.mid(slash + 1));
            }
        }
    }

    // Transfer-Encoding overrides Content-Length; only chunked alone delimits a body this side can read.
    if (!codings.isEmpty()) {
        const QList<QByteArray> list = elements(codings.join(',').toLower());
        head.chunked = list == QList<QByteArray>{"chunked"};
        if (!head.chunked)
            head.framingError = "Transfer-Encoding: " + codings.join(", ");
    } else if (!lengths.isEmpty()) {
        // A list of equal lengths is one length; anything else is no length at all.
        const QList<QByteArray> list = elements(lengths.join(','));
        const bool same = !list.isEmpty() && std::all_of(list.cbegin(), list.cend(), [&](const QByteArray &length) {
            return length == list.first();
        });
        head.contentLength = same ? number(list.first()) : -1;
        if (head.contentLength < 0)
            head.framingError = "Content-Length: " + lengths.join(", ");
    }
    return head;
}

std::optional<QByteArray> HttpResponseHead::value(QByteArrayView name) const
{
    for (const auto &[fieldName, fieldValue] : fields) {
        if (fieldName.compare(name, Qt::CaseInsensitive) == 0)
            return fieldValue;
    }
    return std::nullopt;
}

bool HttpResponseHead::isRedirect() const
{
    return hasStatusLine && (status == 301 || status == 302 || status == 303 || status == 307 || status == 308);
}

bool HttpResponseHead::answersSuffix(qint64 suffix) const
{
    if (suffix <= 0 || rangeStart < 0 || rangeLast < rangeStart || rangeTotal <= 0)
        return false;
    const qint64 length = rangeLast - rangeStart + 1;
    return rangeLast == rangeTotal - 1 && length == qMin(suffix, rangeTotal)
           && (contentLength < 0 || contentLength == length);
}
