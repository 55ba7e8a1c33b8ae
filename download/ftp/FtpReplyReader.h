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
*/
class FtpReplyReader
{
public:
    //! Adds text received on the control connection.
    void append(QByteArrayView bytes) { m_buffer.append(bytes); }

    //! The next complete reply, its lines joined by CR LF, or nothing while
    //! the reply at the front is still incomplete.
    std::optional<QByteArray> takeReply();

    //! Forgets everything received so far, for a new connection.
    void clear() { m_buffer.clear(); }

    //! Bytes received that do not yet form a complete reply.
    qsizetype pendingBytes() const { return m_buffer.size(); }

private:
    QByteArray m_buffer;
};
