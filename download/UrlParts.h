#pragma once

#include <QString>

#include <optional>

//! An address as both download controls cut it.
struct UrlParts {
    QString scheme; //!< before "://"; empty without one
    QString host; //!< up to the first "/" after the scheme
    QString path; //!< from that "/" on
};

//! The parts of \a url; nothing when no "/" follows the host.
inline std::optional<UrlParts> SplitUrl(const QString &url)
{
    const qsizetype colon = url.indexOf(QLatin1String("://"));
    const QString rest = colon < 0 ? url : url.mid(colon + 3);
    const qsizetype slash = rest.indexOf(u'/');
    if (slash < 0)
        return std::nullopt;
    return UrlParts{colon < 0 ? QString() : url.left(colon), rest.left(slash), rest.mid(slash)};
}
