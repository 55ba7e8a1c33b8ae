#include "Int32.h"

#include "SystemError.h"

#include <cmath>

static double roundHalfEven(double value)
{
    // nearbyint follows the current rounding mode, which is to-nearest-even
    // unless someone changed it; do it by hand instead.
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff > 0.5)
        return floor + 1;
    if (diff < 0.5)
        return floor;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

qint32 toInt32(double value)
{
    const double r = roundHalfEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        throw SystemError(SystemError::Overflow);
    return static_cast<qint32>(r);
}

qint16 toInt16(double value)
{
    const double r = roundHalfEven(value);
    if (!(r >= -32768.0 && r <= 32767.0))
        throw SystemError(SystemError::Overflow);
    return static_cast<qint16>(r);
}
