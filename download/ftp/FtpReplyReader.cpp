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
    while (!m_tooLong) {
        const qsizetype end = m_buffer.indexOf('\n', qMax(m_next, m_searched));
        if (end < 0) {
            m_searched = m_buffer.size();
            m_tooLong = pendingBytes() > MaxReplyBytes;
            return std::nullopt;
        }
        if (end + 1 - m_start > MaxReplyBytes) {
            m_tooLong = true;
            return std::nullopt;
        }
        const QByteArrayView line = chopLineEnd(QByteArrayView(m_buffer).sliced(m_next, end + 1 - m_next));
        const qsizetype lineStart = m_next;
        m_next = end + 1;
        bool complete = false;
        if (m_code.isEmpty()) {
            if (line.isEmpty()) {
                m_start = m_next;
                continue;
            }
            if (startsWithCode(line) && line.size() >= 4 && line[3] == '-')
                m_code = line.first(3).toByteArray();
            else
                complete = true;
        } else if (lineStart > m_start && line.startsWith(m_code) && (line.size() == 3 || line[3] == ' ')) {
            complete = true;
        }
        if (!complete)
            continue;

        QByteArray reply;
        reply.reserve(m_next - m_start);
        for (qsizetype from = m_start; from < m_next;) {
            const qsizetype lineEnd = m_buffer.indexOf('\n', from);
            if (!reply.isEmpty())
                reply += "\r\n";
            reply += chopLineEnd(QByteArrayView(m_buffer).sliced(from, lineEnd + 1 - from));
            from = lineEnd + 1;
        }
        m_code.clear();
        m_start = m_next;
        // Drop what has been taken once it is the larger part, so the buffer stays small.
        if (m_start > m_buffer.size() / 2) {
            m_buffer.remove(0, m_start);
            m_next -= m_start;
            m_searched = qMax<qsizetype>(0, m_searched - m_start);
            m_start = 0;
        }
        return reply;
    }
    return std::nullopt;
}
