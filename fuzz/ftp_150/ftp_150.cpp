// The size a 150 reply announces: any reply gives a size, none, or fails with
// error 5 or 6; "(N bytes)" gives N, and a reply without brackets none.
#include "FtpReplies.h"
#include "FuzzCheck.h"
#include "SystemError.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString reply = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QRegularExpression plain(QStringLiteral("^[^()]*\\((\\d{1,9}) bytes\\)[^()]*$"));
    std::optional<qint32> announced;
    bool failed = false;
    try {
        announced = transferSizeFromReply(reply);
    } catch (const SystemError &error) {
        failed = true;
        FUZZ_CHECK(error.number() == SystemError::InvalidProcedureCall
                   || error.number() == SystemError::Overflow);
    }
    if (!reply.contains(u'(') || !reply.contains(u')'))
        FUZZ_CHECK(!failed && !announced);
    const QRegularExpressionMatch match = plain.match(reply);
    if (match.hasMatch())
        FUZZ_CHECK(announced == match.captured(1).toInt());
    return 0;
}
