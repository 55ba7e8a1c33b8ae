#pragma once

#include <QByteArrayView>

/*!
    What a transfer needs from the header of its own response: the status,
    how the body is delimited, and where a partial body starts.

    The header is the text up to and including the first blank line.
*/
class HttpResponseHead
{
public:
    //! The largest header that is waited for; a longer one is refused.
    static constexpr qsizetype ScanLimit = 100000;

    //! The length of the header in \a data, blank line included; 0 while it is incomplete.
    static qsizetype headerLength(QByteArrayView data);

    static HttpResponseHead parse(QByteArrayView header);

    bool hasStatusLine = false;
    double status = 0;       //!< the number after "HTTP/x.y "
    qint64 contentLength = -1; //!< -1 when absent or not a number
    bool chunked = false;
    qint64 rangeStart = -1;  //!< first byte of a 206 answer, from Content-Range
    qint64 rangeLast = -1;   //!< its last byte
    qint64 rangeTotal = -1;  //!< the whole resource's length, -1 for "*"

    bool isSuccess() const { return hasStatusLine && status >= 200 && status < 300; }
    //! Whether Content-Range (and Content-Length, if given) are the answer to "bytes=-\a suffix".
    bool answersSuffix(qint64 suffix) const;
};
