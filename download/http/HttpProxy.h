#pragma once

#include <QString>

#include <optional>

/*!
    The HTTP proxy a request goes through, chosen as curl and Qt choose it.

    An HTTP proxy the host set for the application (with
    QNetworkProxy::setApplicationProxy() or a proxy factory) comes first;
    as everywhere in Qt, it is not used for loopback addresses. Otherwise the environment decides: https_proxy or HTTPS_PROXY for https,
    http_proxy for http (not HTTP_PROXY, which a web server's CGI
    environment may set from a request), and all_proxy or ALL_PROXY for
    both; the lower-case name wins. no_proxy or NO_PROXY lists the servers
    reached directly: "*" for all, host names and domains ("example.com"
    also covers "a.example.com"), addresses and networks ("10.0.0.0/8").

    A proxy setting is "[http://][user[:password]@]host[:port][/]"; the
    port defaults to 1080.
*/
class HttpProxy
{
public:
    /*!
        The proxy for a request to \a server ("name", "name:port" or
        "[v6]:port"), over TLS when \a secure; nothing when the request goes
        straight to the server.

        Throws SystemError(1) when the setting in force names no HTTP proxy.
    */
    static std::optional<HttpProxy> forServer(bool secure, const QString &server);

    QString host; //!< "name:port" or "[v6]:port", as the socket takes it
    QString user;
    QString password;
    bool hasUserInfo = false;
};
