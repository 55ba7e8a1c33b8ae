// The address of a 227 reply: any reply gives an address or fails with
// error 5 or 6, and "(h1,h2,h3,h4,p1,p2)" gives h1.h2.h3.h4 and p1 * 256 + p2.
#include "FtpReplies.h"
#include "FuzzCheck.h"
#include "SystemError.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString reply = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QRegularExpression plain(
            QStringLiteral("^[^()]*\\((\\d{1,3},\\d{1,3},\\d{1,3},\\d{1,3}),(\\d{1,3}),(\\d{1,3})\\)[^()]*$"));
    std::optional<FtpPassiveAddress> address;
    try {
        address = parsePassiveReply(reply);
    } catch (const SystemError &error) {
        FUZZ_CHECK(error.number() == SystemError::InvalidProcedureCall
                   || error.number() == SystemError::Overflow);
    }
    const QRegularExpressionMatch match = plain.match(reply);
    if (match.hasMatch()) {
        FUZZ_CHECK(address.has_value());
        FUZZ_CHECK(address->host == match.captured(1).replace(u',', u'.'));
        FUZZ_CHECK(address->port == match.captured(2).toInt() * 256 + match.captured(3).toInt());
    }
    return 0;
}
