#include "Winsock.h"

#include "CodePage.h"
#include "SystemError.h"

#include <QHash>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QPointer>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <climits>
#include <optional>
#include <utility>

namespace {

// Read buffer cap: the kernel holds what is not yet read, so memory stays flat
// on large transfers; a larger cap means fewer rounds of the event loop per byte.
constexpr qint64 ReadBufferSize = 1024 * 1024;
// How long a closed connection may take to send what was queued before it is cut.
constexpr int RetireTimeoutMs = 10000;

// Connections a listening socket has announced and no one has accepted yet.
QHash<qint32, QPointer<QTcpSocket>> &pendingRequests()
{
    static QHash<qint32, QPointer<QTcpSocket>> requests;
    return requests;
}

int errorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return Winsock::ConnectionRefused;
    case QAbstractSocket::HostNotFoundError: return Winsock::HostNotFound;
    case QAbstractSocket::SocketAccessError: return Winsock::AccessDenied;
    case QAbstractSocket::SocketResourceError: return Winsock::NoBufferSpace;
    case QAbstractSocket::SocketTimeoutError: return Winsock::TimedOut;
    case QAbstractSocket::NetworkError: return Winsock::NetworkUnreachable;
    case QAbstractSocket::AddressInUseError: return Winsock::AddressInUse;
    case QAbstractSocket::SocketAddressNotAvailableError: return Winsock::AddressNotAvailable;
    case QAbstractSocket::TemporaryError: return Winsock::HostNotFoundTryAgain;
    case QAbstractSocket::RemoteHostClosedError: return Winsock::ConnectionReset;
    default: return Winsock::NetworkDown;
    }
}

// The system's authorities and those named by OpenSSL's usual variables,
// which Qt does not read by itself. Null when the variables name nothing.
const std::optional<QList<QSslCertificate>> &extraAuthorities()
{
    static const std::optional<QList<QSslCertificate>> authorities = [] {
        QList<QSslCertificate> extra;
        const QString file = qEnvironmentVariable("SSL_CERT_FILE");
        if (!file.isEmpty())
            extra += QSslCertificate::fromPath(file, QSsl::Pem);
        const QStringList dirs = qEnvironmentVariable("SSL_CERT_DIR").split(u':', Qt::SkipEmptyParts);
        for (const QString &dir : dirs)
            extra += QSslCertificate::fromPath(dir + QStringLiteral("/*"), QSsl::Pem,
                                               QSslCertificate::PatternSyntax::Wildcard);
        if (extra.isEmpty())
            return std::optional<QList<QSslCertificate>>();
        return std::optional<QList<QSslCertificate>>(QSslConfiguration::systemCaCertificates() + extra);
    }();
    return authorities;
}

// The first reason of a failed verification that a user can act on.
std::pair<int, QString> verificationFailure(const QList<QSslError> &errors)
{
    static const QList<std::pair<int, QList<QSslError::SslError>>> reasons{
        {Winsock::UnknownAuthority,
         {QSslError::UnableToGetLocalIssuerCertificate, QSslError::UnableToGetIssuerCertificate,
          QSslError::SelfSignedCertificate, QSslError::SelfSignedCertificateInChain,
          QSslError::UnableToVerifyFirstCertificate, QSslError::CertificateUntrusted}},
        {Winsock::CertificateDate, {QSslError::CertificateExpired, QSslError::CertificateNotYetValid}},
        {Winsock::CertificateName, {QSslError::HostNameMismatch}},
    };
    for (const auto &[number, kinds] : reasons) {
        for (const QSslError &error : errors) {
            if (kinds.contains(error.error()))
                return {number, Winsock::errorText(number) + QStringLiteral(": ") + error.errorString()};
        }
    }
    if (!errors.isEmpty())
        return {Winsock::CertificateInvalid,
                Winsock::errorText(Winsock::CertificateInvalid) + QStringLiteral(": ") + errors.first().errorString()};
    return {Winsock::SecureChannelFailed, Winsock::errorText(Winsock::SecureChannelFailed)};
}

SystemError socketError(int number)
{
    return SystemError(number, Winsock::errorText(number));
}

QString addressText(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return QHostAddress(v4).toString();
    QHostAddress plain(address);
    plain.setScopeId(QString());
    return plain.toString();
}

bool isPort(qint32 port)
{
    return port >= 0 && port <= 65535;
}

// "name:port" and "[v6]:port" name their own port; any other text is a host name.
void splitTarget(const QString &host, qint32 defaultPort, QString *name, quint16 *port)
{
    *name = host;
    *port = quint16(defaultPort);
    QString hostPart = host;
    QString portText;
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        if (close < 0)
            return;
        const QString rest = host.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return;
        hostPart = host.mid(1, close - 1);
        portText = rest.mid(1);
        if (rest.isEmpty()) {
            *name = hostPart;
            return;
        }
    } else {
        if (host.count(u':') != 1)
            return;
        const qsizetype colon = host.indexOf(u':');
        hostPart = host.left(colon);
        portText = host.mid(colon + 1);
    }
    if (portText.isEmpty() || portText.size() > 5)
        return;
    for (QChar c : std::as_const(portText)) {
        if (c < u'0' || c > u'9')
            return;
    }
    const int value = portText.toInt();
    if (value > 65535)
        return;
    *name = hostPart;
    *port = quint16(value);
}

} // namespace

class Winsock::Private
{
public:
    explicit Private(Winsock *q) : q(q) { }

    void adopt(QTcpSocket *socket);
    void release();
    void retire(QTcpSocket *socket);
    void scheduleDelivery();
    void deliver();
    void onPeerClosed();
    void schedulePeerClosed();
    void onSocketError(QAbstractSocket::SocketError error);
    void onConnected();
    void onNewConnection();
    QHostAddress bindAddress(const QString &target) const;
    void requireClosed() const;
    template<typename Function>
    void post(Function function);
    bool peerClosing() const { return peerClosedSeen && (!socket || socket->bytesAvailable() == 0); }

    Winsock *const q;

    QString remoteHost;
    qint32 remotePort = 0;
    qint32 localPort = 0;
    QString localBindIP;
    QString tag;
    bool secure = false;
    bool tunnel = false;
    // The connection is plain until StartSecure().
    bool tunnelling = false;
    bool handshaking = false;
    bool clientCertificateRefused = false;
    QList<QSslError> sslErrors;

    QTcpSocket *socket = nullptr;
    // What GetDataBytes() hands out, reused from chunk to chunk.
    QByteArray readBuffer;
    QTcpServer *server = nullptr;
    QList<qint32> ownRequests;
    qint16 state = Winsock::Closed;
    // Bumped by every Close(); queued events of an older connection compare it and drop out.
    quint32 generation = 0;
    bool deliveryQueued = false;
    bool unannounced = false;
    bool peerClosedSeen = false;
    bool peerClosedQueued = false;
    bool peerClosedRaised = false;
    quint16 connectedLocalPort = 0;
    QString connectedLocalIP;
    QString remoteHostIP;
};

// Runs \a function from the event loop unless Close() came first.
template<typename Function>
void Winsock::Private::post(Function function)
{
    QMetaObject::invokeMethod(q, [this, gen = generation, function = std::move(function)] {
        if (gen == generation)
            function();
    }, Qt::QueuedConnection);
}

void Winsock::Private::requireClosed() const
{
    if (state != Winsock::Closed && state != Winsock::Error)
        throw socketError(Winsock::InvalidOperation);
}

void Winsock::Private::adopt(QTcpSocket *s)
{
    s->setReadBufferSize(ReadBufferSize);
    socket = s;
    s->setParent(q);
    QObject::connect(s, &QAbstractSocket::stateChanged, q, [this](QAbstractSocket::SocketState now) {
        if (state == Winsock::Error || state == Winsock::Connected)
            return;
        if (now == QAbstractSocket::HostLookupState)
            state = Winsock::ResolvingHost;
        else if (now == QAbstractSocket::ConnectingState)
            state = Winsock::Connecting;
    });
    if (auto *ssl = qobject_cast<QSslSocket *>(s)) {
        QObject::connect(ssl, &QSslSocket::encrypted, q, [this] { onConnected(); });
        QObject::connect(ssl, &QSslSocket::sslErrors, q,
                         [this](const QList<QSslError> &errors) { sslErrors = errors; });
        QObject::connect(ssl, &QAbstractSocket::connected, q, [this] {
            if (tunnelling)
                onConnected();
            else
                handshaking = true;
        });
        // TLS 1.3 names the missing certificate; TLS 1.2 only fails the
        // handshake, but after a cipher was agreed, which rules out the other causes.
        QObject::connect(ssl, &QSslSocket::alertReceived, q,
                         [this, ssl](QSsl::AlertLevel level, QSsl::AlertType type, const QString &) {
            if (level == QSsl::AlertLevel::Fatal
                && (type == QSsl::AlertType::CertificateRequired
                    || ((type == QSsl::AlertType::HandshakeFailure || type == QSsl::AlertType::BadCertificate)
                        && !ssl->sessionCipher().isNull())))
                clientCertificateRefused = true;
        });
    } else {
        QObject::connect(s, &QAbstractSocket::connected, q, [this] { onConnected(); });
    }
    QObject::connect(s, &QIODevice::readyRead, q, [this] {
        unannounced = true;
        scheduleDelivery();
    });
    QObject::connect(s, &QAbstractSocket::errorOccurred, q, [this](QAbstractSocket::SocketError e) {
        onSocketError(e);
    });
    QObject::connect(s, &QAbstractSocket::disconnected, q, [this] {
        if (clientCertificateRefused)
            onSocketError(QAbstractSocket::SslHandshakeFailedError);
        else if (state == Winsock::Connected)
            onPeerClosed();
    });
}

void Winsock::Private::onConnected()
{
    handshaking = false;
    state = Winsock::Connected;
    connectedLocalPort = socket->localPort();
    connectedLocalIP = addressText(socket->localAddress());
    remoteHostIP = addressText(socket->peerAddress());
    post([this] { Q_EMIT q->connected(); });
}

void Winsock::Private::release()
{
    ++generation;
    sslErrors.clear();
    tunnelling = false;
    handshaking = false;
    clientCertificateRefused = false;
    deliveryQueued = false;
    unannounced = false;
    peerClosedSeen = false;
    peerClosedQueued = false;
    peerClosedRaised = false;
    connectedLocalPort = 0;
    connectedLocalIP.clear();
    if (socket) {
        QObject::disconnect(socket, nullptr, q, nullptr);
        retire(socket);
        socket = nullptr;
    }
    if (server) {
        QObject::disconnect(server, nullptr, q, nullptr);
        server->close();
        server->deleteLater();
        server = nullptr;
    }
    // Unaccepted calls stay claimable until the event loop runs again, so a
    // ConnectionRequest handler may Close() and then Accept().
    for (qint32 id : std::as_const(ownRequests)) {
        QTimer::singleShot(0, [id] {
            const QPointer<QTcpSocket> s = pendingRequests().take(id);
            if (s) {
                s->abort();
                s->deleteLater();
            }
        });
    }
    ownRequests.clear();
    state = Winsock::Closed;
}

void Winsock::Private::retire(QTcpSocket *s)
{
    // Let queued writes go out, but never raise anything more from it.
    s->disconnectFromHost();
    if (s->state() == QAbstractSocket::UnconnectedState) {
        s->deleteLater();
        return;
    }
    QObject::connect(s, &QAbstractSocket::disconnected, s, &QObject::deleteLater);
    QTimer::singleShot(RetireTimeoutMs, s, [s] {
        s->abort();
        s->deleteLater();
    });
}

void Winsock::Private::scheduleDelivery()
{
    if (deliveryQueued)
        return;
    deliveryQueued = true;
    post([this] {
        deliveryQueued = false;
        deliver();
    });
}

void Winsock::Private::deliver()
{
    if (!socket)
        return;
    const qint64 pending = socket->bytesAvailable();
    if (!unannounced || pending <= 0) {
        unannounced = false;
        if (peerClosing())
            schedulePeerClosed();
        return;
    }
    unannounced = false;
    const quint32 gen = generation;
    const QPointer<Winsock> alive(q);
    Q_EMIT q->dataArrival(qint32(qMin<qint64>(pending, INT_MAX)));
    if (!alive || gen != generation || !socket)
        return;
    if (unannounced && socket->bytesAvailable() > 0)
        scheduleDelivery();
    if (peerClosing())
        schedulePeerClosed();
}

void Winsock::Private::onPeerClosed()
{
    if (peerClosedSeen)
        return;
    peerClosedSeen = true;
    if (socket && socket->bytesAvailable() > 0) {
        // The close counts as an arrival: unread bytes are announced once more.
        unannounced = true;
        scheduleDelivery();
    } else {
        schedulePeerClosed();
    }
}

void Winsock::Private::schedulePeerClosed()
{
    if (peerClosedQueued || peerClosedRaised)
        return;
    peerClosedQueued = true;
    post([this] {
        peerClosedQueued = false;
        if (peerClosedRaised || !peerClosing())
            return;
        peerClosedRaised = true;
        Q_EMIT q->peerClosed();
    });
}

void Winsock::Private::onSocketError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError && state == Winsock::Connected && !clientCertificateRefused) {
        onPeerClosed();
        return;
    }
    if (state == Winsock::Error || peerClosedSeen)
        return;
    state = Winsock::Error;
    int number = clientCertificateRefused ? int(Winsock::ClientCertificateNeeded) : errorNumber(error);
    QString text = Winsock::errorText(number);
    // Anything else that stops a TLS connection before it is up is a failed handshake.
    if (handshaking && !clientCertificateRefused) {
        std::tie(number, text) = verificationFailure(sslErrors);
        if (sslErrors.isEmpty() && error != QAbstractSocket::RemoteHostClosedError)
            text += QStringLiteral(": ") + socket->errorString();
    }
    post([this, number, text] { Q_EMIT q->errorOccurred(qint16(number), text); });
}

void Winsock::Private::onNewConnection()
{
    while (server && server->hasPendingConnections()) {
        QTcpSocket *s = server->nextPendingConnection();
        const qint32 id = qint32(s->socketDescriptor());
        s->setParent(nullptr);
        pendingRequests().insert(id, s);
        ownRequests.append(id);
        post([this, id] { Q_EMIT q->connectionRequest(id); });
    }
}

QHostAddress Winsock::Private::bindAddress(const QString &target) const
{
    if (!localBindIP.isEmpty())
        return QHostAddress(localBindIP);
    const QHostAddress literal(target);
    if (literal.protocol() == QAbstractSocket::IPv4Protocol)
        return QHostAddress(QHostAddress::AnyIPv4);
    if (literal.protocol() == QAbstractSocket::IPv6Protocol)
        return QHostAddress(QHostAddress::AnyIPv6);
    return QHostAddress(QHostAddress::Any);
}

Winsock::Winsock(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{
}

Winsock::~Winsock()
{
    if (d->socket) {
        QObject::disconnect(d->socket, nullptr, this, nullptr);
        d->socket->abort();
        delete d->socket;
    }
    if (d->server) {
        QObject::disconnect(d->server, nullptr, this, nullptr);
        delete d->server;
    }
    for (qint32 id : std::as_const(d->ownRequests)) {
        const QPointer<QTcpSocket> s = pendingRequests().take(id);
        if (s)
            s->deleteLater();
    }
}

QString Winsock::RemoteHost() const
{
    return d->remoteHost;
}

void Winsock::setRemoteHost(const QString &host)
{
    d->remoteHost = host;
}

qint32 Winsock::RemotePort() const
{
    return d->remotePort;
}

void Winsock::setRemotePort(qint32 port)
{
    if (!isPort(port))
        throw SystemError(SystemError::InvalidPropertyValue);
    d->remotePort = port;
}

qint32 Winsock::LocalPort() const
{
    if (d->server)
        return d->server->serverPort();
    if (d->socket && d->state == Connected)
        return d->connectedLocalPort;
    return d->localPort;
}

void Winsock::setLocalPort(qint32 port)
{
    if (!isPort(port))
        throw SystemError(SystemError::InvalidPropertyValue);
    d->localPort = port;
}

QString Winsock::Tag() const
{
    return d->tag;
}

void Winsock::setTag(const QString &tag)
{
    d->tag = tag;
}

qint16 Winsock::State() const
{
    if (d->state == Connected && d->peerClosing())
        return PeerClosing;
    return d->state;
}

QString Winsock::RemoteHostIP() const
{
    return d->remoteHostIP;
}

QString Winsock::LocalIP() const
{
    if (!d->connectedLocalIP.isEmpty())
        return d->connectedLocalIP;
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress &a : addresses) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
            return a.toString();
    }
    return QStringLiteral("127.0.0.1");
}

bool Winsock::Secure() const
{
    return d->secure;
}

void Winsock::setSecure(bool secure)
{
    d->secure = secure;
}

bool Winsock::Tunnel() const
{
    return d->tunnel;
}

void Winsock::setTunnel(bool tunnel)
{
    d->tunnel = tunnel;
}

void Winsock::Connect()
{
    d->requireClosed();
    d->release();
    d->remoteHostIP.clear();

    QString name;
    quint16 port = 0;
    splitTarget(d->remoteHost, d->remotePort, &name, &port);

    QSslSocket *ssl = d->secure ? new QSslSocket(this) : nullptr;
    QTcpSocket *s = ssl ? ssl : new QTcpSocket(this);
    s->setProxy(QNetworkProxy::NoProxy);
    if (ssl) {
        ssl->setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (const auto &authorities = extraAuthorities()) {
            QSslConfiguration configuration = ssl->sslConfiguration();
            configuration.setCaCertificates(*authorities);
            ssl->setSslConfiguration(configuration);
        }
    }
    if (d->localPort != 0 || !d->localBindIP.isEmpty()) {
        if (!s->bind(d->bindAddress(name), quint16(d->localPort))) {
            const int number = errorNumber(s->error());
            delete s;
            throw socketError(number);
        }
    }
    d->tunnelling = ssl && d->tunnel;
    d->adopt(s);
    d->state = ResolvingHost;
    if (ssl && !d->tunnelling)
        ssl->connectToHostEncrypted(name, port);
    else
        s->connectToHost(name, port);
}

void Winsock::Connect(const QString &remoteHost, qint32 remotePort)
{
    d->requireClosed();
    setRemotePort(remotePort);
    d->remoteHost = remoteHost;
    Connect();
}

void Winsock::StartSecure(const QString &peerName)
{
    auto *ssl = qobject_cast<QSslSocket *>(d->socket);
    if (!ssl || !d->tunnelling || d->state != Connected || d->peerClosedSeen)
        throw socketError(InvalidOperation);
    d->tunnelling = false;
    d->handshaking = true;
    d->state = Connecting;
    ssl->setPeerVerifyName(peerName);
    ssl->startClientEncryption();
}

void Winsock::Bind(qint32 localPort, const QString &localIP)
{
    d->requireClosed();
    if (!localIP.isEmpty() && QHostAddress(localIP).isNull())
        throw socketError(AddressNotAvailable);
    setLocalPort(localPort);
    d->localBindIP = localIP;
}

void Winsock::Listen()
{
    d->requireClosed();
    d->release();
    auto *server = new QTcpServer(this);
    server->setProxy(QNetworkProxy::NoProxy);
    const QHostAddress address = d->localBindIP.isEmpty() ? QHostAddress(QHostAddress::Any)
                                                          : QHostAddress(d->localBindIP);
    if (!server->listen(address, quint16(d->localPort))) {
        const int number = errorNumber(server->serverError());
        delete server;
        throw socketError(number);
    }
    d->server = server;
    connect(server, &QTcpServer::newConnection, this, [this] { d->onNewConnection(); });
    d->state = Listening;
}

void Winsock::Accept(qint32 requestId)
{
    d->requireClosed();
    const QPointer<QTcpSocket> s = pendingRequests().take(requestId);
    if (!s)
        throw socketError(InvalidArgument);
    d->release();
    d->remoteHostIP = addressText(s->peerAddress());
    d->connectedLocalPort = s->localPort();
    d->connectedLocalIP = addressText(s->localAddress());
    d->adopt(s);
    d->state = Connected;
    if (s->state() != QAbstractSocket::ConnectedState)
        d->onPeerClosed();
    else if (s->bytesAvailable() > 0) {
        d->unannounced = true;
        d->scheduleDelivery();
    }
}

void Winsock::SendData(const QString &text)
{
    SendData(QByteArrayView(CodePage::fromUnicode(text)));
}

void Winsock::SendData(QByteArrayView bytes)
{
    if (!d->socket || d->state != Connected || d->socket->state() != QAbstractSocket::ConnectedState)
        throw socketError(BadState);
    if (bytes.isEmpty())
        return;
    if (d->socket->write(bytes.data(), bytes.size()) != bytes.size())
        throw socketError(errorNumber(d->socket->error()));
}

QString Winsock::GetDataText()
{
    return CodePage::toUnicode(GetDataBytes());
}

QByteArray Winsock::GetDataBytes()
{
    if (!d->socket)
        return {};
    // readAll() would copy each chunk into memory just allocated, which the
    // system must map and clear first: on a fast transfer that cost varies
    // with the allocator's state and can take more time than the copy. The
    // buffer handed out last is written over instead, unless the caller
    // still holds it. A TLS socket keeps readAll(): reading only what it
    // reports available made a 1 GiB download over https 1.8 times as slow.
    if (qobject_cast<QSslSocket *>(d->socket)) {
        QByteArray data = d->socket->readAll();
        if (d->peerClosing())
            d->schedulePeerClosed();
        return data;
    }
    const qint64 pending = d->socket->bytesAvailable();
    if (!d->readBuffer.isDetached())
        d->readBuffer = QByteArray();
    d->readBuffer.resize(pending);
    const qint64 read = d->socket->read(d->readBuffer.data(), pending);
    d->readBuffer.resize(qMax<qint64>(read, 0));
    if (d->peerClosing())
        d->schedulePeerClosed();
    return d->readBuffer;
}

qint64 Winsock::BytesReceived() const
{
    return d->socket ? d->socket->bytesAvailable() : 0;
}

void Winsock::Close()
{
    d->release();
}

QString Winsock::hostName(const QString &remoteHost)
{
    QString name;
    quint16 port = 0;
    splitTarget(remoteHost, 0, &name, &port);
    return name;
}

QString Winsock::errorText(int number)
{
    switch (number) {
    case OperationCanceled: return QStringLiteral("The operation is canceled");
    case AccessDenied: return QStringLiteral("Permission denied");
    case AddressInUse: return QStringLiteral("Address in use");
    case AddressNotAvailable: return QStringLiteral("Address not available from the local machine");
    case NetworkDown: return QStringLiteral("Network subsystem is failed");
    case NetworkUnreachable: return QStringLiteral("Network cannot be reached from this host at this time");
    case ConnectionAborted: return QStringLiteral("Connection is aborted due to timeout or other failure");
    case ConnectionReset: return QStringLiteral("Connection is reset by remote side");
    case NoBufferSpace: return QStringLiteral("No buffer space is available");
    case NotConnected: return QStringLiteral("Socket is not connected");
    case TimedOut: return QStringLiteral("Attempt to connect timed out");
    case ConnectionRefused: return QStringLiteral("Connection is forcefully rejected");
    case HostNotFound: return QStringLiteral("Authoritative answer: Host not found");
    case HostNotFoundTryAgain: return QStringLiteral("Non-Authoritative answer: Host not found");
    case NonRecoverableError: return QStringLiteral("Non-recoverable errors");
    case NoData: return QStringLiteral("Valid name, no data record of requested type");
    case InvalidArgument:
        return QStringLiteral("The argument passed to a function was not in the correct format or in the specified range");
    case BadState:
        return QStringLiteral("Wrong protocol or connection state for the requested transaction or request");
    case InvalidOperation: return QStringLiteral("Invalid operation at current state");
    case CertificateDate: return QStringLiteral("The server's certificate has expired or is not yet valid");
    case CertificateName: return QStringLiteral("The server's certificate was issued for another host name");
    case ClientCertificateNeeded: return QStringLiteral("The server requires a client certificate");
    case UnknownAuthority: return QStringLiteral("The server's certificate was issued by an unknown authority");
    case SecureChannelFailed: return QStringLiteral("The secure connection could not be established");
    case CertificateInvalid: return QStringLiteral("The server's certificate is not valid");
    }
    return SystemError::standardText(number);
}
