#pragma once

#include <QString>

// Texts that both download controls raise with OnError.

//! With 1: an address without a path.
inline QString invalidAddressText()
{
    return QStringLiteral("无效的地址");
}

//! With 1: an address whose port is no port.
inline QString invalidPortText(const QString &port)
{
    return QStringLiteral("无效的端口：") + port;
}

//! With 10060: no connection, or no byte while one was awaited, within TimeOut.
inline QString timedOutText()
{
    return QStringLiteral("Connection timed out");
}
