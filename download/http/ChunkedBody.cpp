#include "ChunkedBody.h"

static int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

ChunkedBody::Status ChunkedBody::feed(QByteArrayView input, QByteArray &output)
{
    qsizetype i = 0;
    const qsizetype n = input.size();
    // Takes the one character the framing allows here, or marks the body malformed.
    const auto expect = [&](char c, char wanted) {
        if (c != wanted) {
            m_status = Status::Malformed;
            return false;
        }
        ++i;
        return true;
    };
    while (i < n && m_status == Status::Running) {
        const char c = input[i];
        switch (m_step) {
        case Step::Size: {
            const int digit = hexValue(c);
            if (digit >= 0) {
                // Sizes beyond 15 hex digits cannot be honest.
                if (++m_sizeDigits > 15) {
                    m_status = Status::Malformed;
                    break;
                }
                m_remaining = m_remaining * 16 + digit;
            } else if (m_sizeDigits > 0 && (c == ';' || c == ' ' || c == '\t')) {
                m_step = Step::Extension;
            } else if (m_sizeDigits > 0 && c == '\r') {
                m_step = Step::SizeLF;
            } else {
                m_status = Status::Malformed;
            }
            ++i;
            break;
        }
        case Step::Extension:
            if (c == '\r')
                m_step = Step::SizeLF;
            ++i;
            break;
        case Step::SizeLF:
            if (expect(c, '\n')) {
                m_step = m_remaining > 0 ? Step::Data : Step::Trailer;
                m_trailerLineEmpty = true;
            }
            break;
        case Step::Data: {
            const qsizetype take = qMin<qint64>(m_remaining, n - i);
            output.append(input.sliced(i, take));
            i += take;
            m_remaining -= take;
            if (m_remaining == 0)
                m_step = Step::DataCR;
            break;
        }
        case Step::DataCR:
            if (expect(c, '\r'))
                m_step = Step::DataLF;
            break;
        case Step::DataLF:
            if (expect(c, '\n')) {
                m_step = Step::Size;
                m_sizeDigits = 0;
            }
            break;
        case Step::Trailer:
            if (c == '\r')
                m_step = Step::TrailerLF;
            else
                m_trailerLineEmpty = false;
            ++i;
            break;
        case Step::TrailerLF:
            if (expect(c, '\n')) {
                if (m_trailerLineEmpty)
                    m_status = Status::Complete;
                m_step = Step::Trailer;
                m_trailerLineEmpty = true;
            }
            break;
        }
    }
    return m_status;
}
