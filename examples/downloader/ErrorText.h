#pragma once

#include <QString>

/*!
    The window's own words for what the controls report with OnError, the
    control's number beside them: "Connection timed out (error 10060)",
    "Not found on the server (HTTP 404)". An FTP server's refusal keeps the
    server's own words; a number the window has no words for keeps the
    control's description.
*/
namespace ErrorText {

enum class Protocol { Http, Ftp };

QString describe(Protocol protocol, int number, const QString &description);

} // namespace ErrorText
