#pragma once

#include <QtGlobal>

/*!
    \a value rounded to the nearest 32-bit integer, halves to the even
    neighbour. Throws SystemError(6, "Overflow") outside the signed range.
*/
qint32 toInt32(double value);

/*!
    \a value as a signed 16-bit integer, rounded as toInt32() does.
    Throws SystemError(6) outside the 16-bit range.
*/
qint16 toInt16(double value);
