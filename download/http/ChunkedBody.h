#pragma once

#include <QByteArray>
#include <QByteArrayView>

/*!
    Decodes a body sent with "Transfer-Encoding: chunked" as it arrives, in
    pieces of any size: chunk sizes, extensions and trailers are taken out,
    only the data goes on.
*/
class ChunkedBody
{
public:
    enum class Status { Running, Complete, Malformed };

    //! Appends the data decoded from \a input to \a output; returns the status after it.
    Status feed(QByteArrayView input, QByteArray &output);
    Status status() const { return m_status; }
    void reset() { *this = ChunkedBody(); }

private:
    enum class Step { Size, Extension, SizeLF, Data, DataCR, DataLF, Trailer, TrailerLF };

    Step m_step = Step::Size;
    Status m_status = Status::Running;
    qint64 m_remaining = 0;
    int m_sizeDigits = 0;
    bool m_trailerLineEmpty = true;
};
