#include "HttpProxy.h"

#include "SystemError.h"
#include "UrlParts.h"
#include "Winsock.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QUrl>

namespace {

constexpr int DefaultPort = 1080;

QString invalidProxyText(const QString &setting)
{
    return QStringLiteral("无效的代理服务器：") + setting;
}

QString firstVariable(std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QString value = qEnvironmentVariable(name).trimmed();
        if (!value.isEmpty())
            return value;
    }
    return {};
}

bool bypassed(const QString &name, const QString &list)
{
    const QHostAddress address(name);
    for (QString entry : list.split(u',', Qt::SkipEmptyParts)) {
        entry = entry.trimmed().toLower();
        if (entry == u'*')
            return true;
        if (entry.startsWith(u'[') && entry.endsWith(u']'))
            entry = entry.mid(1, entry.size() - 2);
        if (!address.isNull()) {
            const auto subnet = QHostAddress::parseSubnet(entry);
            if (entry.contains(u'/') ? subnet.second >= 0 && address.isInSubnet(subnet)
                                     : QHostAddress(entry).isEqual(address))
                return true;
            continue;
        }
        if (entry.startsWith(u'.'))
            entry.remove(0, 1);
        if (!entry.isEmpty() && (name == entry || name.endsWith(u'.' + entry)))
            return true;
    }
    return false;
}

HttpProxy fromSetting(const QString &setting)
{
    QString text = setting.contains(QLatin1String("://")) ? setting : QStringLiteral("http://") + setting;
    if (text.indexOf(u'/', text.indexOf(QLatin1String("://")) + 3) < 0)
        text += u'/';
    const std::optional<UrlParts> parts = SplitUrl(text);
    const bool bareV6 = parts && !parts->host.startsWith(u'[') && parts->host.count(u':') > 1;
    if (!parts || parts->badPort || parts->host.isEmpty() || bareV6
        || parts->scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        throw SystemError(1, invalidProxyText(setting));
    HttpProxy proxy;
    proxy.host = parts->port.isEmpty() ? parts->host + u':' + QString::number(DefaultPort) : parts->host;
    proxy.user = parts->user;
    proxy.password = parts->password;
    proxy.hasUserInfo = parts->hasUserInfo;
    return proxy;
}

} // namespace

std::optional<HttpProxy> HttpProxy::forServer(bool secure, const QString &server)
{
    const QString scheme = secure ? QStringLiteral("https") : QStringLiteral("http");
    const QNetworkProxy chosen = QNetworkProxyFactory::proxyForQuery(
        QNetworkProxyQuery(QUrl(scheme + QStringLiteral("://") + server + u'/'))).value(0);
    switch (chosen.type()) {
    case QNetworkProxy::HttpProxy:
    case QNetworkProxy::HttpCachingProxy: {
        HttpProxy proxy;
        const QString name = chosen.hostName();
        proxy.host = (name.contains(u':') ? u'[' + name + u']' : name) + u':' + QString::number(chosen.port());
        proxy.user = chosen.user();
        proxy.password = chosen.password();
        proxy.hasUserInfo = !proxy.user.isEmpty();
        return proxy;
    }
    case QNetworkProxy::Socks5Proxy:
        throw SystemError(1, invalidProxyText(QStringLiteral("%1:%2").arg(chosen.hostName()).arg(chosen.port())));
    case QNetworkProxy::FtpCachingProxy: // not one for HTTP
    case QNetworkProxy::DefaultProxy:
    case QNetworkProxy::NoProxy:
        break;
    }

    const QString setting = secure ? firstVariable({"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
                                   : firstVariable({"http_proxy", "all_proxy", "ALL_PROXY"});
    if (setting.isEmpty() || bypassed(Winsock::hostName(server).toLower(), firstVariable({"no_proxy", "NO_PROXY"})))
        return std::nullopt;
    return fromSetting(setting);
}
