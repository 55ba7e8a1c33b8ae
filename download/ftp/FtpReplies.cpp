#include "FtpReplies.h"

#include "Int32.h"
#include "LeadingNumber.h"
#include "SystemError.h"

#include <cmath>

// 1-based, 0 when absent.
static qsizetype position(QStringView text, QChar c)
{
    return text.indexOf(c) + 1;
}

// Mid$(text, start, length), failing on a negative length.
static QStringView mid(QStringView text, qsizetype start, qsizetype length)
{
    if (start < 1 || length < 0)
        throw SystemError(SystemError::InvalidProcedureCall);
    return text.mid(start - 1, length);
}

FtpPassiveAddress parsePassiveReply(QStringView reply)
{
    const qsizetype a = position(reply, u'(');
    const qsizetype b = position(reply, u')');
    QString s = mid(reply, a + 1, b - a - 1).toString();
    s.replace(u',', u'.');
    const qsizetype d1 = s.lastIndexOf(u'.') + 1;
    const qsizetype d2 = d1 > 1 ? s.lastIndexOf(u'.', d1 - 2) + 1 : 0;
    if (d2 < 1)
        throw SystemError(SystemError::InvalidProcedureCall);
    const double low = LeadingNumber(QStringView(s).mid(d1));
    const double high = std::floor(LeadingNumber(QStringView(s).mid(d2)));
    return {s.left(d2 - 1), toInt32(high * 256 + low)};
}

std::optional<qint32> transferSizeFromReply(QStringView reply)
{
    const qsizetype a = position(reply, u'(');
    const qsizetype b = position(reply, u')');
    if (a == 0 || b == 0)
        return std::nullopt;
    return toInt32(LeadingNumber(mid(reply, a + 1, b - a - 1)));
}

std::optional<qint32> sizeFromListing(QStringView listing)
{
    int places = 0;
    for (qsizetype i = 0; i + 1 < listing.size(); ++i) {
        if (listing[i] == u' ' && listing[i + 1] != u' ' && ++places == 4)
            return toInt32(LeadingNumber(listing.mid(i + 1).trimmed()));
    }
    return std::nullopt;
}
