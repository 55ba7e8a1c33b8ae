#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>
#include <utility>

/*!
    The head of an HTTP/1.1 response: its status line, its fields, and how
    its body is delimited (RFC 9112).

    The head is the text up to and including the first empty line. Lines end
    in CRLF or in a bare LF; a bare CR counts as a blank, a line that starts
    with a blank continues the field before it. The status line must read
    "HTTP/" version, a blank, three digits and, after a blank, a reason.
*/
class HttpResponseHead
{
public:
    //! The largest head that is waited for; a longer one is refused.
    static constexpr qsizetype ScanLimit = 100000;

    //! The length of the head at the start of \a data, empty line included; 0 while it is incomplete.
    static qsizetype headerLength(QByteArrayView data);

    static HttpResponseHead parse(QByteArrayView header);

    bool hasStatusLine = false;
    QByteArray version; //!< "1.1" of "HTTP/1.1"
    int status = 0;     //!< the three digits after the version
    QByteArray reason;
    //! Name and value of each field, in order; the value without the blanks around it.
    QList<std::pair<QByteArray, QByteArray>> fields;

    //! Content-Length as one number, -1 without one or with chunked framing.
    qint64 contentLength = -1;
    bool chunked = false;
    //! The field line that makes the body's end unknowable (lengths that differ or are
    //! no number, a coding other than a lone "chunked"); empty when the framing is sound.
    QByteArray framingError;
    qint64 rangeStart = -1; //!< first byte of a 206 answer, from Content-Range
    qint64 rangeLast = -1;  //!< its last byte
    qint64 rangeTotal = -1; //!< the whole resource's length, -1 for "*"

    //! The value of the first field named \a name, in any letter case.
    std::optional<QByteArray> value(QByteArrayView name) const;

    //! An answer that another one follows (1xx, but not 101, which ends HTTP on the connection).
    bool isInterim() const { return hasStatusLine && status >= 100 && status < 200 && status != 101; }
    bool isSuccess() const { return hasStatusLine && status >= 200 && status < 300; }
    //! An answer that sends the client to its Location for the same request.
    bool isRedirect() const;
    //! 204 and 304 end at their head, whatever their fields say.
    bool hasBody() const { return status != 204 && status != 304; }
    //! Whether Content-Range (and Content-Length, if given) are the answer to "bytes=-\a suffix".
    bool answersSuffix(qint64 suffix) const;
};
