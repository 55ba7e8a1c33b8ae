#include "ZuHTTPdownload.h"

#include "AuthorInfo.h"
#include "BinaryFile.h"
#include "ChunkedBody.h"
#include "CodePage.h"
#include "DownloadTexts.h"
#include "FrmAbout.h"
#include "HttpProxy.h"
#include "HttpResponseHead.h"
#include "LeadingNumber.h"
#include "MaskColor.h"
#include "SystemError.h"
#include "UrlParts.h"
#include "Winsock.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

#include <climits>
#include <cmath>

namespace {

constexpr int WidthTwips = 675;
constexpr int HeightTwips = 570;
constexpr int MaxRedirects = 20;

// What stands as it is in a request target besides letters and digits (RFC 3986 pchar, "/", "?").
constexpr QByteArrayView TargetKeeps = "-._~!$&'()*+,;=:@/?";
// A Location may also hold an authority with an IPv6 address, and a fragment.
constexpr QByteArrayView LocationKeeps = "-._~!$&'()*+,;=:@/?[]#";

QString notFoundText()
{
    return QStringLiteral("地址未找到！");
}

QString authenticationText()
{
    return QStringLiteral("指定地址需要用户名及密码才可访问，但Zu下载控件1.0暂不支持用户权限验证。");
}

QString unknownErrorText()
{
    return QStringLiteral("未知错误");
}

QString badResponseText(const QByteArray &field)
{
    return QStringLiteral("无效的服务器应答：") + CodePage::toUnicode(field);
}

QString tooManyRedirectsText()
{
    return QStringLiteral("重定向次数过多");
}

QString proxyRefusedText(const HttpResponseHead &head)
{
    return QStringLiteral("代理服务器拒绝了请求：%1 %2").arg(head.status).arg(CodePage::toUnicode(head.reason));
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// \a bytes with every byte that may not stand in a URI percent-encoded, but
// for letters, digits, \a keep and the "%XX" already there.
QByteArray percentEncoded(QByteArrayView bytes, QByteArrayView keep)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    QByteArray encoded;
    encoded.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const bool escape = c == '%' && i + 2 < bytes.size() && isHexDigit(bytes[i + 1]) && isHexDigit(bytes[i + 2]);
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (alphanumeric || escape || (c > 0 && keep.contains(c))) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += Hex[uchar(c) >> 4];
            encoded += Hex[uchar(c) & 15];
        }
    }
    return encoded;
}

// The path and query as sent, in the system code page; the fragment stays here.
QByteArray encodedPath(const QString &path)
{
    QByteArray bytes = CodePage::fromUnicode(path);
    if (const qsizetype hash = bytes.indexOf('#'); hash >= 0)
        bytes.truncate(hash);
    return percentEncoded(bytes, TargetKeeps);
}

QByteArray basicCredentials(const QString &user, const QString &password)
{
    return "Basic " + (user + u':' + password).toUtf8().toBase64();
}

// The "name:port" a tunnel is asked for; the port defaults to https's.
QString tunnelAuthority(const QString &host)
{
    const bool portless = Winsock::hostName(host) == host || host.endsWith(u']');
    return portless ? host + QStringLiteral(":443") : host;
}

// Length holds a number only when its whole trimmed text is one.
bool numericLength(const QVariant &length, double *value)
{
    const QString text = length.toString().trimmed();
    if (text.isEmpty())
        return false;
    bool ok = false;
    *value = text.toDouble(&ok);
    return ok;
}

qint64 toInt64(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0))
        throw SystemError(SystemError::Overflow);
    return qint64(rounded);
}

} // namespace

class ZuHTTPdownload::Private
{
public:
    explicit Private(ZuHTTPdownload *q);

    // Where a request goes.
    struct Target {
        bool secure = false;
        QString host; // "name", "name:port" or "[v6]:port"
        QString path; // as given; encoded when it is sent
        QString user;
        QString password;
        bool hasUserInfo = false;
    };
    enum class Kind { Probe, File, Stream };
    enum class Step { Idle, Connecting, Tunnel, Head, Body };
    // One request and its answer on Wk (a probe or a download) or Ws (a stream).
    struct Transfer {
        Winsock *socket = nullptr;
        QTimer *timer = nullptr; // TimeOut
        Kind kind = Kind::Probe;
        Step step = Step::Idle;
        quint32 serial = 0; // bumped by every start, so a handler sees when an event started another
        Target target;
        std::unique_ptr<HttpProxy> proxy; // on the way, if any
        bool tunnelled = false; // the proxy's tunnel is open
        int redirects = 0;
        QByteArray head;          // answer bytes before the body
        qint64 suffix = 0;        // bytes from the end asked for, 0 for the whole
        qint64 expected = -1;     // body length of this answer, -1 while unknown
        qint64 received = 0;      // body bytes taken
        std::unique_ptr<ChunkedBody> chunks; // for a chunked answer
        bool complete = false;    // the body has ended by its own framing
        qint64 skip = 0;          // body bytes in front of the asked tail

        bool active() const { return step != Step::Idle; }
    };

    static Target targetOf(const QString &url, const Target *from = nullptr);
    static QString resolveLocation(const Target &base, const std::optional<QByteArray> &location);
    static QByteArray request(const Transfer &transfer);
    static QByteArray tunnelRequest(const Transfer &transfer);

    void ensureIdle(const Transfer &transfer) const;
    void probe(const QString &url, const Target *from = nullptr);
    // False, after OnError, when the transfer went no further.
    bool start(Transfer &transfer, Kind kind, const Target &to, qint64 suffix);
    void watch(Transfer &transfer);

    void connected(Transfer &transfer);
    void dataArrived(Transfer &transfer);
    void peerClosed(Transfer &transfer);
    void socketError(Transfer &transfer, qint16 number, const QString &description);

    std::optional<HttpResponseHead> takeFinalHead(Transfer &transfer);
    void takeProbeHead(const HttpResponseHead &head);
    bool takeTransferHead(Transfer &transfer, const HttpResponseHead &head);
    void follow(Transfer &transfer, const HttpResponseHead &head);
    bool decodeBody(Transfer &transfer, QByteArray &bytes);
    void deliver(Transfer &transfer, QByteArray bytes);
    bool lengthReached(const Transfer &transfer) const;
    bool cutShort(const Transfer &transfer) const;

    void close(Transfer &transfer);
    // These raise an event and return false when the host deleted the control in it;
    // the Private is gone with it then.
    bool fail(Transfer &transfer, qint16 number, const QString &description);
    bool finish(Transfer &transfer);
    bool raiseStatusError(const HttpResponseHead &head);

    ZuHTTPdownload *const q;

    // Control state.
    Target target; // of the last probe
    QVariant path;
    bool geted = false;
    QVariant httpVer;
    qint32 reID = 0;
    QVariant serverDateTime;
    QVariant server;
    QVariant urlDateTime;
    QVariant etag;
    QVariant range;
    QVariant length;
    QVariant lType;
    const std::unique_ptr<BinaryFile> outputFile = std::make_unique<BinaryFile>();
    bool aboutShown = false;
    qint32 timeOut = 60;

    // Child components.
    Winsock *const Wk;
    Winsock *const Ws;
    // Raises the Finish of what ZUClose ended, once the host's call has returned.
    QTimer *const Timer1;

    Transfer work;   // on Wk
    Transfer stream; // on Ws
    bool streamText = false;
    QStringDecoder streamDecoder;
};

ZuHTTPdownload::Private::Private(ZuHTTPdownload *q)
    : q(q)
    , Wk(new Winsock(q))
    , Ws(new Winsock(q))
    , Timer1(new QTimer(q))
{
    Wk->setObjectName(QStringLiteral("Wk"));
    Wk->setTag(QStringLiteral("0"));
    Ws->setObjectName(QStringLiteral("Ws"));
    Ws->setTag(QStringLiteral("0"));
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(0);
    QObject::connect(Timer1, &QTimer::timeout, q, [q] { (void)q->raise(&ZuHTTPdownload::Finish); });

    work.socket = Wk;
    stream.socket = Ws;
    for (Transfer *transfer : {&work, &stream}) {
        Transfer &t = *transfer;
        t.timer = new QTimer(q);
        t.timer->setSingleShot(true);
        QObject::connect(t.timer, &QTimer::timeout, q, [this, &t] {
            if (t.active())
                (void)fail(t, Winsock::TimedOut, timedOutText());
        });
        QObject::connect(t.socket, &Winsock::connected, q, [this, &t] { connected(t); });
        QObject::connect(t.socket, &Winsock::dataArrival, q, [this, &t] { dataArrived(t); });
        QObject::connect(t.socket, &Winsock::peerClosed, q, [this, &t] { peerClosed(t); });
        QObject::connect(t.socket, &Winsock::errorOccurred, q,
                         [this, &t](qint16 number, const QString &description) { socketError(t, number, description); });
    }
}

QString ZuHTTPdownload::componentTitle()
{
    return QStringLiteral("Zu下载控件 HTTP协议版");
}

ZuHTTPdownload::ZuHTTPdownload(QWidget *parent)
    : ControlBase(parent)
    , d(std::make_unique<Private>(this))
{
    setSizeTwips(WidthTwips, HeightTwips);
    setAccessibleName(componentTitle());
}

ZuHTTPdownload::~ZuHTTPdownload() = default;

// Methods

QString ZuHTTPdownload::GetAttrs(const QString &Url)
{
    guarded([&] {
        d->ensureIdle(d->work);
        d->work.redirects = 0;
        d->probe(Url);
    });
    return QString();
}

QVariant ZuHTTPdownload::PGetAttr(const QVariant &PHost, const QVariant &Path)
{
    guarded([&] {
        d->ensureIdle(d->work);
        d->work.redirects = 0;
        d->target = Private::Target();
        d->target.host = PHost.toString();
        d->target.path = Path.toString();
        d->Wk->setTag(QStringLiteral("1"));
        (void)d->start(d->work, Private::Kind::Probe, d->target, 0);
    });
    return QVariant();
}

QVariant ZuHTTPdownload::DownTo(const QString &Filename, qint64 Begin, qint64 Last, bool Ext)
{
    guarded([&] {
        d->ensureIdle(d->work);
        const QFileInfo info(Filename);
        if (!Filename.isEmpty() && info.exists() && !info.isDir()) {
            const bool keep = Begin <= info.size() && Ext;
            if (!keep) {
                d->outputFile->close();
                QFile::setPermissions(Filename, QFile::permissions(Filename) | QFile::ReadOwner
                                                    | QFile::WriteOwner);
                if (!QFile::remove(Filename))
                    throw SystemError(SystemError::PathFileAccessError);
            }
        }
        d->outputFile->close();
        d->outputFile->open(Filename);
        if (Ext)
            d->outputFile->seek(Begin);
        d->Wk->setTag(Begin > 1 ? QString::number(Last) : QStringLiteral("0"));
        d->work.redirects = 0;
        (void)d->start(d->work, Private::Kind::File, d->target, Begin > 1 ? qMax<qint64>(Last, 0) : 0);
    });
    return QVariant();
}

QVariant ZuHTTPdownload::OpenUrl(qint64 Last)
{
    guarded([&] {
        d->ensureIdle(d->stream);
        const QString type = d->lType.toString().trimmed().toLower();
        d->streamText = type == QLatin1String("text/html") || type == QLatin1String("text/plain");
        d->streamDecoder = QStringDecoder(CodePage::name().toLatin1().constData());
        d->Ws->setTag(QString::number(Last));
        d->stream.redirects = 0;
        (void)d->start(d->stream, Private::Kind::Stream, d->target, qMax<qint64>(Last, 0));
    });
    return QVariant();
}

QVariant ZuHTTPdownload::ZUClose()
{
    guarded([&] {
        const bool running = d->work.active() || d->stream.active();
        d->close(d->work);
        d->close(d->stream);
        d->outputFile->close();
        if (running)
            d->Timer1->start();
    });
    return QVariant();
}

QVariant ZuHTTPdownload::WriteLetter()
{
    AuthorInfo::writeLetter(this);
    return QVariant();
}

QVariant ZuHTTPdownload::VisitHomePage()
{
    AuthorInfo::visitHomePage(this);
    return QVariant();
}

QVariant ZuHTTPdownload::About()
{
    FrmAbout::showModal(this, componentTitle());
    return QVariant();
}

// Properties

bool ZuHTTPdownload::Geted() const
{
    return d->geted;
}

QVariant ZuHTTPdownload::Host() const
{
    return d->target.host.isNull() ? QVariant() : QVariant(d->target.host);
}

QVariant ZuHTTPdownload::Server() const
{
    return d->server;
}

QVariant ZuHTTPdownload::HttpVer() const
{
    return d->httpVer;
}

qint32 ZuHTTPdownload::ReID() const
{
    return d->reID;
}

QVariant ZuHTTPdownload::ServerDateTime() const
{
    return d->serverDateTime;
}

QVariant ZuHTTPdownload::URLDateTime() const
{
    return d->urlDateTime;
}

QVariant ZuHTTPdownload::Etag() const
{
    return d->etag;
}

QVariant ZuHTTPdownload::Range() const
{
    return d->range;
}

qint64 ZuHTTPdownload::Length()
{
    return guarded([&] { return toInt64(LeadingNumber(d->length.toString().trimmed())); });
}

QVariant ZuHTTPdownload::State() const
{
    return QVariant::fromValue(qint16(d->Wk->State()));
}

qint64 ZuHTTPdownload::HsDown()
{
    return d->outputFile->isOpen() ? d->outputFile->position() - 1 : 0;
}

QVariant ZuHTTPdownload::LType() const
{
    return d->lType;
}

QVariant ZuHTTPdownload::Writer() const
{
    return AuthorInfo::name();
}

void ZuHTTPdownload::setWriter(const QVariant &)
{
}

QVariant ZuHTTPdownload::Email() const
{
    return AuthorInfo::mail();
}

void ZuHTTPdownload::setEmail(const QVariant &)
{
    Q_EMIT propertyChanged(QStringLiteral("Email"));
}

QVariant ZuHTTPdownload::HomePage() const
{
    return AuthorInfo::homePage();
}

void ZuHTTPdownload::setHomePage(const QVariant &)
{
    Q_EMIT propertyChanged(QStringLiteral("HomePage"));
}

QVariant ZuHTTPdownload::Path() const
{
    return d->path;
}

QVariant ZuHTTPdownload::ZURemoteIP() const
{
    return d->Wk->RemoteHostIP();
}

QVariant ZuHTTPdownload::ZULocalIP() const
{
    return d->Wk->LocalIP();
}

qint32 ZuHTTPdownload::TimeOut() const
{
    return d->timeOut;
}

void ZuHTTPdownload::setTimeOut(qint32 seconds)
{
    guarded([&] {
        if (seconds < 0)
            throw SystemError(SystemError::InvalidPropertyValue);
        d->timeOut = seconds;
        for (Private::Transfer *transfer : {&d->work, &d->stream}) {
            if (transfer->active())
                d->watch(*transfer);
        }
    });
}

// Host notifications

void ZuHTTPdownload::readProperties(PropertyBag &)
{
    d->aboutShown = true;
}

void ZuHTTPdownload::controlShown()
{
    setMaskColor(downloadMaskColor());
    if (!d->aboutShown)
        FrmAbout::showModal(this, componentTitle());
}

void ZuHTTPdownload::controlResized()
{
    if (sizeTwips() != QSize(WidthTwips, HeightTwips))
        setSizeTwips(WidthTwips, HeightTwips);
}

void ZuHTTPdownload::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, FrmAbout::productPicture());
}

// Addresses and requests

// Throws SystemError(1) for an address without a path or with a port that is no port.
ZuHTTPdownload::Private::Target ZuHTTPdownload::Private::targetOf(const QString &url, const Target *from)
{
    const std::optional<UrlParts> parts = SplitUrl(url);
    if (!parts || parts->badPort)
        throw SystemError(1, parts ? invalidPortText(parts->port) : invalidAddressText());
    Target target;
    target.secure = parts->scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    target.host = parts->host;
    target.path = parts->path;
    // A redirect within the same server keeps the login; one elsewhere does not take it along.
    const Target *login = parts->hasUserInfo ? nullptr : from;
    if (parts->hasUserInfo) {
        target.user = parts->user;
        target.password = parts->password;
        target.hasUserInfo = true;
    } else if (login && login->hasUserInfo && login->secure == target.secure
               && login->host.compare(target.host, Qt::CaseInsensitive) == 0) {
        target.user = login->user;
        target.password = login->password;
        target.hasUserInfo = true;
    }
    return target;
}

// The address a Location names, resolved against the one it answers (RFC 3986,
// 5.2); empty without a Location or for a scheme other than http and https. One
// that is no URI at all (a port beyond 65535) stays as it is, for its own error.
QString ZuHTTPdownload::Private::resolveLocation(const Target &base, const std::optional<QByteArray> &location)
{
    if (!location || location->isEmpty())
        return {};
    const QByteArray encoded = percentEncoded(*location, LocationKeeps);
    const QUrl reference = QUrl::fromEncoded(encoded, QUrl::TolerantMode);
    if (!reference.isValid())
        return QString::fromLatin1(encoded);
    QByteArray path = encodedPath(base.path);
    if (!path.startsWith('/'))
        path.prepend('/');
    const QUrl from = QUrl::fromEncoded((base.secure ? "https://" : "http://") + CodePage::fromUnicode(base.host) + path,
                                        QUrl::TolerantMode);
    const QUrl to = from.resolved(reference);
    const QString scheme = to.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return {};
    return to.toString(QUrl::FullyEncoded);
}

QByteArray ZuHTTPdownload::Private::request(const Transfer &transfer)
{
    const Target &target = transfer.target;
    const QByteArray host = CodePage::fromUnicode(target.host);
    // A proxy takes a plain request with the whole address.
    const bool viaProxy = transfer.proxy && !target.secure;
    QByteArray path = encodedPath(target.path);
    if (viaProxy)
        path = "http://" + host + (path.startsWith('/') ? path : '/' + path);
    QByteArray text = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n";
    if (target.hasUserInfo)
        text += "Authorization: " + basicCredentials(target.user, target.password) + "\r\n";
    if (viaProxy && transfer.proxy->hasUserInfo)
        text += "Proxy-Authorization: " + basicCredentials(transfer.proxy->user, transfer.proxy->password) + "\r\n";
    text += "Accept: */*\r\nUser-Agent: zudownload/1.00\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n"
            "Connection: close\r\n";
    if (transfer.suffix > 0)
        text += "Range: bytes=-" + QByteArray::number(transfer.suffix) + "\r\n";
    return text + "\r\n";
}

QByteArray ZuHTTPdownload::Private::tunnelRequest(const Transfer &transfer)
{
    const QByteArray authority = CodePage::fromUnicode(tunnelAuthority(transfer.target.host));
    QByteArray text = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
    if (transfer.proxy->hasUserInfo)
        text += "Proxy-Authorization: " + basicCredentials(transfer.proxy->user, transfer.proxy->password) + "\r\n";
    return text + "User-Agent: zudownload/1.00\r\n\r\n";
}

// Starting

// A call the socket would refuse is refused before anything changes.
void ZuHTTPdownload::Private::ensureIdle(const Transfer &transfer) const
{
    const qint16 state = transfer.socket->State();
    if (transfer.active() || (state != Winsock::Closed && state != Winsock::Error))
        throw SystemError(Winsock::InvalidOperation, Winsock::errorText(Winsock::InvalidOperation));
}

void ZuHTTPdownload::Private::probe(const QString &url, const Target *from)
{
    geted = false;
    path = url;
    try {
        target = targetOf(url, from);
    } catch (const SystemError &error) {
        (void)q->raise(&ZuHTTPdownload::OnError, qint16(error.number()), error.description());
        return;
    }
    Wk->setTag(QStringLiteral("1"));
    (void)start(work, Kind::Probe, target, 0);
}

// Throws SystemError when the socket refuses to connect.
bool ZuHTTPdownload::Private::start(Transfer &transfer, Kind kind, const Target &to, qint64 suffix)
{
    Transfer &t = transfer;
    t.kind = kind;
    try {
        const std::optional<HttpProxy> proxy = HttpProxy::forServer(to.secure, to.host);
        t.proxy = proxy ? std::make_unique<HttpProxy>(*proxy) : nullptr;
    } catch (const SystemError &error) {
        close(t);
        (void)q->raise(&ZuHTTPdownload::OnError, qint16(error.number()), error.description());
        return false;
    }
    ++t.serial;
    t.target = to;
    t.suffix = suffix;
    t.tunnelled = false;
    t.head.clear();
    t.expected = -1;
    t.received = 0;
    t.chunks.reset();
    t.complete = false;
    t.skip = 0;
    t.socket->setRemoteHost(t.proxy ? t.proxy->host : to.host);
    t.socket->setRemotePort(to.secure ? 443 : 80);
    t.socket->setSecure(to.secure);
    t.socket->setTunnel(to.secure && t.proxy);
    t.step = Step::Connecting;
    try {
        t.socket->Connect();
    } catch (const SystemError &) {
        close(t);
        throw;
    }
    watch(t);
    return true;
}

void ZuHTTPdownload::Private::watch(Transfer &transfer)
{
    if (timeOut > 0)
        transfer.timer->start(int(qMin<qint64>(qint64(timeOut) * 1000, INT_MAX)));
    else
        transfer.timer->stop();
}

// Socket events

void ZuHTTPdownload::Private::connected(Transfer &t)
{
    if (!t.active())
        return;
    watch(t);
    const bool openTunnel = t.target.secure && t.proxy && !t.tunnelled;
    t.step = openTunnel ? Step::Tunnel : Step::Head;
    try {
        t.socket->SendData(QByteArrayView(openTunnel ? tunnelRequest(t) : request(t)));
    } catch (const SystemError &) {
        // The request is incomplete; the server's answer or the socket's error tells the rest.
    }
}

void ZuHTTPdownload::Private::dataArrived(Transfer &t)
{
    QByteArray bytes = t.socket->GetDataBytes();
    if (!t.active())
        return;
    watch(t);
    if (t.step == Step::Body) {
        deliver(t, std::move(bytes));
        return;
    }
    t.head += bytes;
    const std::optional<HttpResponseHead> head = takeFinalHead(t);
    if (!head || !t.active())
        return;
    if (t.step == Step::Tunnel) {
        if (!head->isSuccess()) {
            (void)fail(t, qint16(head->status), head->hasStatusLine ? proxyRefusedText(*head) : unknownErrorText());
            return;
        }
        t.head.clear();
        t.tunnelled = true;
        t.step = Step::Connecting;
        try {
            t.socket->StartSecure(Winsock::hostName(t.target.host));
        } catch (const SystemError &error) {
            (void)fail(t, qint16(error.number()), error.description());
        }
        return;
    }
    if (t.kind == Kind::Probe) {
        close(t);
        takeProbeHead(*head);
        return;
    }
    QByteArray rest = std::exchange(t.head, QByteArray());
    if (takeTransferHead(t, *head))
        deliver(t, std::move(rest));
}

void ZuHTTPdownload::Private::peerClosed(Transfer &t)
{
    if (!t.active())
        return;
    // Closed before a whole answer: there is none.
    if (t.step != Step::Body) {
        (void)fail(t, 0, unknownErrorText());
        return;
    }
    if (cutShort(t))
        (void)fail(t, qint16(Winsock::ConnectionAborted), Winsock::errorText(Winsock::ConnectionAborted));
    else
        (void)finish(t);
}

void ZuHTTPdownload::Private::socketError(Transfer &t, qint16 number, const QString &description)
{
    if (t.active())
        (void)fail(t, number, description);
    else
        (void)q->raise(&ZuHTTPdownload::OnError, number, description);
}

// Answers

// The first final head in front of the received bytes, taken off them; the
// interim answers (1xx) before it are dropped. Nothing while it is incomplete,
// or when it is too long to be a head, which fails the transfer.
std::optional<HttpResponseHead> ZuHTTPdownload::Private::takeFinalHead(Transfer &t)
{
    for (;;) {
        const qsizetype scanned = qMin(t.head.size(), HttpResponseHead::ScanLimit + 4);
        const qsizetype headLength = HttpResponseHead::headerLength(QByteArrayView(t.head).first(scanned));
        if (headLength == 0) {
            if (t.head.size() >= HttpResponseHead::ScanLimit + 4)
                (void)fail(t, 0, unknownErrorText());
            return std::nullopt;
        }
        HttpResponseHead head = HttpResponseHead::parse(QByteArrayView(t.head).first(headLength));
        t.head.remove(0, headLength);
        if (!head.isInterim())
            return head;
    }
}

void ZuHTTPdownload::Private::takeProbeHead(const HttpResponseHead &head)
{
    // An answer without a whole status line is judged on its own, not on the last probe's code.
    if (!head.hasStatusLine) {
        (void)raiseStatusError(head);
        return;
    }
    httpVer = QString::fromLatin1(head.version);
    reID = head.status;
    if (head.isSuccess() && !head.framingError.isEmpty()) {
        (void)q->raise(&ZuHTTPdownload::OnError, 0, badResponseText(head.framingError));
        return;
    }
    // Values are taken in this order. At the first one missing, a 200 takes what
    // there is, a redirect is followed, and any other status is an error.
    const std::pair<QByteArrayView, QVariant *> values[] = {
        {"Date", &serverDateTime}, {"Server", &server}, {"Last-Modified", &urlDateTime},
        {"ETag", &etag}, {"Accept-Ranges", &range}, {"Content-Length", &length},
        {"Content-Type", &lType}};
    for (const auto &[name, member] : values) {
        if (const std::optional<QByteArray> value = head.value(name)) {
            *member = CodePage::toUnicode(*value);
        } else if (head.isRedirect()) {
            break;
        } else if (head.status != 200) {
            (void)raiseStatusError(head);
            return;
        }
    }
    if (!head.isRedirect()) {
        geted = true;
        (void)q->raise(&ZuHTTPdownload::GetAttred);
        return;
    }
    if (++work.redirects > MaxRedirects) {
        (void)q->raise(&ZuHTTPdownload::OnError, qint16(head.status), tooManyRedirectsText());
        return;
    }
    const Target from = target;
    try {
        probe(resolveLocation(from, head.value("Location")), &from);
    } catch (const SystemError &error) {
        (void)q->raise(&ZuHTTPdownload::OnError, qint16(error.number()), error.description());
    }
}

// Takes the head of a download's or a stream's answer; false when the transfer goes no further with it.
bool ZuHTTPdownload::Private::takeTransferHead(Transfer &t, const HttpResponseHead &head)
{
    if (head.isRedirect()) {
        follow(t, head);
        return false;
    }
    // A partial answer must be the tail that was asked for: it goes where the request put it.
    const bool partial = head.status == 206;
    if (!head.isSuccess() || (partial && !head.answersSuffix(t.suffix))) {
        close(t);
        (void)raiseStatusError(head);
        return false;
    }
    if (!head.framingError.isEmpty()) {
        (void)fail(t, 0, badResponseText(head.framingError));
        return false;
    }
    t.step = Step::Body;
    t.expected = head.hasBody() ? head.contentLength : 0;
    if (head.chunked && head.hasBody())
        t.chunks = std::make_unique<ChunkedBody>();
    if (partial && !t.chunks && t.expected < 0)
        t.expected = head.rangeLast - head.rangeStart + 1;
    // A server that ignores the range sends everything; a stream hands over only the tail.
    if (t.kind == Kind::Stream && !partial && t.suffix > 0 && t.expected > t.suffix)
        t.skip = t.expected - t.suffix;
    if (t.kind == Kind::File && !partial && (outputFile->position() != 1 || outputFile->length() > 0)) {
        // The whole resource came instead of the range asked for: it replaces the file.
        outputFile->file().flush();
        outputFile->file().resize(0);
        outputFile->seek(1);
    }
    return true;
}

void ZuHTTPdownload::Private::follow(Transfer &t, const HttpResponseHead &head)
{
    if (++t.redirects > MaxRedirects) {
        (void)fail(t, qint16(head.status), tooManyRedirectsText());
        return;
    }
    try {
        const Target next = targetOf(resolveLocation(t.target, head.value("Location")), &t.target);
        t.socket->Close();
        (void)start(t, t.kind, next, t.suffix);
    } catch (const SystemError &error) {
        (void)fail(t, qint16(error.number()), error.description());
    }
}

// Bodies

bool ZuHTTPdownload::Private::decodeBody(Transfer &t, QByteArray &bytes)
{
    if (t.chunks) {
        QByteArray data;
        const ChunkedBody::Status status = t.chunks->feed(bytes, data);
        bytes = std::move(data);
        t.received += bytes.size();
        t.complete = status == ChunkedBody::Status::Complete;
        return status != ChunkedBody::Status::Malformed;
    }
    if (t.expected >= 0) {
        const qint64 room = t.expected - t.received;
        if (bytes.size() > room)
            bytes.truncate(room);
        t.received += bytes.size();
        t.complete = t.received == t.expected;
        if (t.skip > 0) {
            const qint64 skipped = qMin<qint64>(t.skip, bytes.size());
            bytes.remove(0, skipped);
            t.skip -= skipped;
        }
        return true;
    }
    t.received += bytes.size();
    return true;
}

void ZuHTTPdownload::Private::deliver(Transfer &t, QByteArray bytes)
{
    if (!decodeBody(t, bytes)) {
        (void)fail(t, 0, unknownErrorText());
        return;
    }
    const quint32 serial = t.serial;
    // Whether the host's handler left this transfer running.
    const auto goesOn = [&] { return t.active() && t.serial == serial; };
    if (t.kind == Kind::File && !bytes.isEmpty()) {
        try {
            outputFile->writeBytes(bytes);
        } catch (const SystemError &error) {
            (void)fail(t, qint16(error.number()), error.description());
            return;
        }
        if (!q->raise(&ZuHTTPdownload::GetData) || !goesOn())
            return;
    } else if (t.kind == Kind::Stream && streamText) {
        const QString text = streamDecoder.decode(bytes);
        if (!text.isEmpty() && (!q->raise(&ZuHTTPdownload::GetedData, text, 1) || !goesOn()))
            return;
    } else if (t.kind == Kind::Stream) {
        for (const char byte : std::as_const(bytes)) {
            if (!q->raise(&ZuHTTPdownload::GetedData, QVariant::fromValue(uchar(byte)), 2) || !goesOn())
                return;
        }
    }
    if (t.complete || lengthReached(t))
        (void)finish(t);
}

// Without framing of its own, a download ends where the probe's Content-Length said.
bool ZuHTTPdownload::Private::lengthReached(const Transfer &t) const
{
    double announced = 0;
    return t.kind == Kind::File && !t.chunks && t.expected < 0 && numericLength(length, &announced)
           && outputFile->isOpen() && outputFile->position() - 1 >= announced;
}

bool ZuHTTPdownload::Private::cutShort(const Transfer &t) const
{
    if (t.chunks)
        return !t.complete;
    return t.expected >= 0 && t.received < t.expected;
}

// Endings

void ZuHTTPdownload::Private::close(Transfer &t)
{
    t.step = Step::Idle;
    t.timer->stop();
    if (t.kind == Kind::File)
        outputFile->close();
    t.socket->Close();
}

bool ZuHTTPdownload::Private::fail(Transfer &t, qint16 number, const QString &description)
{
    close(t);
    return q->raise(&ZuHTTPdownload::OnError, number, description);
}

bool ZuHTTPdownload::Private::finish(Transfer &t)
{
    close(t);
    return q->raise(&ZuHTTPdownload::Finish);
}

// The error for an answer that is not taken: 401 and 404 in the control's own
// words, 407 as the proxy's refusal, any other with its status.
bool ZuHTTPdownload::Private::raiseStatusError(const HttpResponseHead &head)
{
    const int status = head.hasStatusLine ? head.status : 0;
    if (status == 401)
        return q->raise(&ZuHTTPdownload::OnError, 404, authenticationText());
    if (status == 404)
        return q->raise(&ZuHTTPdownload::OnError, 404, notFoundText());
    return q->raise(&ZuHTTPdownload::OnError, qint16(status), status == 407 ? proxyRefusedText(head) : unknownErrorText());
}
