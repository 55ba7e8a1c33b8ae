#pragma once

#include <QByteArray>

#include <optional>

/*!
    Cuts the text of an FTP control connection into complete replies.

    Text arrives in pieces that need not match reply boundaries. A reply is
    one line, or for a multi-line reply everything from a line "xyz-..." to
    the line that starts with the same code and a blank. A line that is not
    yet complete waits for the rest of its text; empty lines between replies
    are dropped.

    Every byte is looked at once. A reply longer than MaxReplyBytes, complete
    or not, is not taken: the reader stops and tooLong() turns true.
*/
class FtpReplyReader
{
public:
    static constexpr qsizetype MaxReplyBytes = 64 * 1024;

    //! Adds text received on the control connection.
    void append(QByteArrayView bytes) { m_buffer.append(bytes); }

    //! The next complete reply, its lines joined by CR LF, or nothing while
    //! the reply at the front is still incomplete or too long.
    std::optional<QByteArray> takeReply();

    //! The reply at the front has grown past MaxReplyBytes.
    bool tooLong() const { return m_tooLong; }

    //! Forgets everything received so far, for a new connection.
    void clear() { *this = FtpReplyReader(); }

    //! Bytes received that do not yet form a complete reply.
    qsizetype pendingBytes() const { return m_buffer.size() - m_start; }

private:
    QByteArray m_buffer;
    qsizetype m_start = 0; // where the reply at the front begins
    qsizetype m_next = 0; // the start of its first line not yet looked at
    qsizetype m_searched = 0; // no line feed before this offset from m_next on
    QByteArray m_code; // of a multi-line reply whose end is still to come
    bool m_tooLong = false;
};
