#pragma once

#include "SystemError.h"

#include <QStringView>

/*
    Text positions counted from 1, 0 meaning "not found". A start below 1 or
    a negative length is an invalid procedure call (SystemError 5), so a
    search that follows one that found nothing fails at once.
*/

inline qsizetype InStr(qsizetype start, QStringView text, QStringView what,
                       Qt::CaseSensitivity cs = Qt::CaseSensitive)
{
    if (start < 1)
        throw SystemError(SystemError::InvalidProcedureCall);
    return text.indexOf(what, start - 1, cs) + 1;
}

inline QStringView Mid(QStringView text, qsizetype start, qsizetype length)
{
    if (start < 1 || length < 0)
        throw SystemError(SystemError::InvalidProcedureCall);
    return text.mid(start - 1, length);
}
