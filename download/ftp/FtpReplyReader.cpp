#include "FtpReplyReader.h"

#include <cctype>

static bool startsWithCode(QByteArrayView line)
{
    return line.size() >= 3 && std::isdigit(uchar(line[0])) && std::isdigit(uchar(line[1]))
        && std::isdigit(uchar(line[2]));
}

static QByteArrayView chopLineEnd(QByteArrayView line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

std::optional<QByteArray> FtpReplyReader::takeReply()
{
    for (;;) {
        const qsizetype firstEnd = m_buffer.indexOf('\n');
        if (firstEnd < 0)
            return std::nullopt;
        const QByteArrayView first = chopLineEnd(QByteArrayView(m_buffer).first(firstEnd + 1));
        if (first.isEmpty()) {
            m_buffer.remove(0, firstEnd + 1);
            continue;
        }

        if (!(startsWithCode(first) && first.size() >= 4 && first[3] == '-')) {
            QByteArray reply = first.toByteArray();
            m_buffer.remove(0, firstEnd + 1);
            return reply;
        }

        // Multi-line: runs to the line "xyz " (or a bare "xyz") with the same code.
        const QByteArrayView code = first.first(3);
        QByteArray reply = first.toByteArray();
        qsizetype from = firstEnd + 1;
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n', from);
            if (end < 0)
                return std::nullopt;
            const QByteArrayView line =
                chopLineEnd(QByteArrayView(m_buffer).sliced(from, end + 1 - from));
            reply += "\r\n";
            reply += line;
            from = end + 1;
            if (line.startsWith(code) && (line.size() == 3 || line[3] == ' ')) {
                m_buffer.remove(0, from);
                return reply;
            }
        }
    }
}
