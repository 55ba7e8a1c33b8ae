#include "FtpReplies.h"

#include "Int32.h"
#include "LeadingNumber.h"
#include "OneBased.h"
#include "SystemError.h"

#include <cmath>

// \a value rounded to the nearest 64-bit integer, halves to the even neighbour, as toInt32() does.
static qint64 toInt64(double value)
{
    const double rounded = std::nearbyint(value);
    // 2^63 is the first double past the range.
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0))
        throw SystemError(SystemError::Overflow);
    return qint64(rounded);
}

int replyCode(QStringView reply)
{
    const auto digit = [reply](qsizetype i) { return i < reply.size() && reply[i] >= u'0' && reply[i] <= u'9'; };
    if (!digit(0) || !digit(1) || !digit(2) || digit(3))
        return 0;
    return reply.left(3).toInt();
}

FtpPassiveAddress parsePassiveReply(QStringView reply)
{
    const qsizetype a = InStr(1, reply, u"(");
    const qsizetype b = InStr(1, reply, u")");
    QString s = Mid(reply, a + 1, b - a - 1).toString();
    s.replace(u',', u'.');
    const qsizetype d1 = s.lastIndexOf(u'.') + 1;
    const qsizetype d2 = d1 > 1 ? s.lastIndexOf(u'.', d1 - 2) + 1 : 0;
    if (d2 < 1)
        throw SystemError(SystemError::InvalidProcedureCall);
    const double low = LeadingNumber(QStringView(s).mid(d1));
    const double high = std::floor(LeadingNumber(QStringView(s).mid(d2)));
    return {s.left(d2 - 1), toInt32(high * 256 + low)};
}

qint32 parseExtendedPassiveReply(QStringView reply)
{
    const qsizetype open = reply.indexOf(u'(');
    const qsizetype close = open < 0 ? -1 : reply.indexOf(u')', open);
    const QStringView inner = close < 0 ? QStringView() : reply.sliced(open + 1, close - open - 1);
    const auto fail = [] { return SystemError(SystemError::InvalidProcedureCall); };
    if (inner.size() < 5)
        throw fail();
    const QChar delimiter = inner.front();
    if (delimiter.isDigit() || delimiter.unicode() < 33 || delimiter.unicode() > 126 || inner[1] != delimiter
        || inner[2] != delimiter || inner.back() != delimiter)
        throw fail();
    const QStringView digits = inner.sliced(3, inner.size() - 4);
    qint32 port = 0;
    for (const QChar c : digits) {
        if (!c.isDigit() || c.unicode() > '9' || (port = port * 10 + (c.unicode() - '0')) > 65535)
            throw fail();
    }
    if (port < 1)
        throw fail();
    return port;
}

std::optional<qint64> transferSizeFromReply(QStringView reply)
{
    const qsizetype a = InStr(1, reply, u"(");
    const qsizetype b = InStr(1, reply, u")");
    if (a == 0 || b == 0)
        return std::nullopt;
    return toInt64(LeadingNumber(Mid(reply, a + 1, b - a - 1)));
}

std::optional<qint64> sizeFromSizeReply(QStringView reply)
{
    const QStringView text = reply.mid(3).trimmed();
    qsizetype digits = 0;
    while (digits < text.size() && text[digits] >= u'0' && text[digits] <= u'9')
        ++digits;
    bool ok = false;
    const qint64 size = text.left(digits).toLongLong(&ok);
    return ok ? std::optional<qint64>(size) : std::nullopt;
}

std::optional<qint64> sizeFromListing(QStringView listing)
{
    int places = 0;
    for (qsizetype i = 0; i + 1 < listing.size(); ++i) {
        if (listing[i] == u' ' && listing[i + 1] != u' ' && ++places == 4)
            return toInt64(LeadingNumber(listing.mid(i + 1).trimmed()));
    }
    return std::nullopt;
}
