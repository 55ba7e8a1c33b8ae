#pragma once

#include <QRegularExpression>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <optional>

//! An address as both download controls cut it.
struct UrlParts {
    QString scheme; //!< before "://"; empty without one
    QString user; //!< from the userinfo in front of "@", percent-decoded
    QString password; //!< after the userinfo's first ":", percent-decoded
    bool hasUserInfo = false; //!< the address names a user ("user@" or "user:password@")
    QString host; //!< "name", "name:port" or "[v6]:port", as the socket takes it
    QString port; //!< the port text after the host, empty without one
    bool badPort = false; //!< the port is not a number from 0 to 65535
    QString path; //!< from the first "/" after the host on, without a fragment
};

/*!
    The parts of \a url; nothing when no "/" follows the host.

    A scheme counts only in front of the first "/", "?" or "#", so a "://"
    in a path or query is part of it. The fragment ("#..."), which names a
    place inside the resource, is dropped.
*/
inline std::optional<UrlParts> SplitUrl(const QString &url)
{
    static const QRegularExpression delimiter(QStringLiteral("[/?#]"));
    UrlParts parts;
    QString rest = url;
    const qsizetype colon = url.indexOf(QLatin1String("://"));
    const qsizetype firstDelimiter = url.indexOf(delimiter);
    if (colon >= 0 && colon == firstDelimiter - 1) {
        parts.scheme = url.left(colon);
        rest = url.mid(colon + 3);
    }
    // The host ends at the first "/", "?" or "#"; only a "/" starts a path.
    const qsizetype slash = rest.indexOf(delimiter);
    if (slash < 0 || rest[slash] != u'/')
        return std::nullopt;
    QString authority = rest.left(slash);
    parts.path = rest.mid(slash);
    if (const qsizetype hash = parts.path.indexOf(u'#'); hash >= 0)
        parts.path.truncate(hash);

    // The last "@" ends the userinfo: a password may hold an unencoded "@".
    if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0) {
        const QString userInfo = authority.left(at);
        const qsizetype separator = userInfo.indexOf(u':');
        parts.hasUserInfo = true;
        parts.user = QUrl::fromPercentEncoding(userInfo.left(separator).toUtf8());
        if (separator >= 0)
            parts.password = QUrl::fromPercentEncoding(userInfo.mid(separator + 1).toUtf8());
        authority = authority.mid(at + 1);
    }
    parts.host = authority;

    // "name:port" and "[v6]:port"; a bare IPv6 address with several colons names no port.
    const qsizetype close = authority.startsWith(u'[') ? authority.indexOf(u']') : -1;
    qsizetype portColon = -1;
    if (close >= 0)
        portColon = authority.indexOf(u':', close) == close + 1 ? close + 1 : -1;
    else if (!authority.startsWith(u'[') && authority.count(u':') == 1)
        portColon = authority.indexOf(u':');
    if (portColon >= 0) {
        parts.port = authority.mid(portColon + 1);
        // An empty port is the scheme's own (RFC 3986 3.2.3).
        if (parts.port.isEmpty())
            parts.host = authority.left(portColon);
        const bool digits = std::all_of(parts.port.cbegin(), parts.port.cend(),
                                        [](QChar c) { return c >= u'0' && c <= u'9'; });
        bool ok = false;
        parts.badPort = !parts.port.isEmpty() && (!digits || parts.port.toInt(&ok) > 65535 || !ok);
    }
    return parts;
}
