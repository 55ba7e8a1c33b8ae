#include "ErrorText.h"

#include <QCoreApplication>

namespace ErrorText {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ErrorText", text);
}

// Numbers both controls use: their own, the file system's and the sockets'.
QString commonWords(int number)
{
    switch (number) {
    case 1: return tr("The address is not valid");
    case 53: return tr("File not found");
    case 57: return tr("The file could not be read or written");
    case 61: return tr("The disk is full");
    case 70: return tr("Permission denied");
    case 75: return tr("The file cannot be written there");
    case 76: return tr("The folder does not exist");
    case 10013: return tr("The system does not allow the connection");
    case 10050:
    case 10051: return tr("The network cannot be reached");
    case 10053: return tr("The connection was broken off");
    case 10054: return tr("The server reset the connection");
    case 10060: return tr("Connection timed out");
    case 10061: return tr("The server refused the connection");
    case 11001:
    case 11004: return tr("Host not found");
    case 11002: return tr("Host not found for now; try again later");
    case 12037: return tr("The server's certificate has expired");
    case 12038: return tr("The server's certificate is for another name");
    case 12045: return tr("The server's certificate is from an unknown authority");
    case 12157: return tr("No secure connection could be made");
    case 12169: return tr("The server's certificate is not valid");
    }
    return QString();
}

QString httpWords(int status)
{
    switch (status) {
    case 0: return tr("The server's answer could not be read");
    case 302: return tr("Too many redirections");
    case 400: return tr("The server did not understand the request");
    case 403: return tr("Access is forbidden");
    // The control reports a request for a login as 404 too.
    case 404: return tr("Not found on the server");
    case 410: return tr("No longer on the server");
    case 416: return tr("The part asked for is not there; remove the file and retry");
    case 429: return tr("Too many requests; try again later");
    case 500: return tr("The server failed");
    case 502: return tr("The server's gateway failed");
    case 503: return tr("The server is not available; try again later");
    case 504: return tr("The server's gateway timed out");
    }
    if (status >= 300 && status < 400)
        return tr("The server sent an answer the window cannot follow");
    if (status >= 400 && status < 500)
        return tr("The server refused the request");
    if (status >= 500 && status < 600)
        return tr("The server failed");
    return QString();
}

} // namespace

QString describe(Protocol protocol, int number, const QString &description)
{
    if (const QString words = commonWords(number); !words.isEmpty())
        return tr("%1 (error %2)").arg(words).arg(number);
    if (protocol == Protocol::Http) {
        if (const QString words = httpWords(number); !words.isEmpty())
            return tr("%1 (HTTP %2)").arg(words).arg(number);
    } else if (number == 550) {
        return tr("%1 (FTP %2)").arg(tr("The file is not on the server")).arg(number);
    } else if (number >= 400 && number < 600) {
        // Any other refusal of an FTP server, in the server's own words.
        return tr("%1 (FTP %2)").arg(description).arg(number);
    }
    return tr("%1 (error %2)").arg(description).arg(number);
}

} // namespace ErrorText
