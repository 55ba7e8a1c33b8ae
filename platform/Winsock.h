#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

/*!
    The event-driven TCP socket control that the download controls hold.

    Members, events and state codes follow the classic socket control:
    RemoteHost, RemotePort, LocalPort, Tag, State, RemoteHostIP, LocalIP,
    Connect(), Listen(), Accept(), SendData(), GetData and Close(); the events
    Connect, DataArrival(bytesTotal), Error(Number, Description),
    ConnectionRequest(requestId) and Close (peerClosed()).

    Synchronous failures throw SystemError:
    \list
    \li Connect(), Listen() or Accept() while the socket is not closed (State
        other than Closed or Error): 40020 "Invalid operation at current state".
    \li SendData() while not connected: 40006 "Wrong protocol or connection
        state for the requested transaction or request".
    \li A port outside 0..65535 given to RemotePort or LocalPort: 380
        "Invalid property value"; the old value stays.
    \li A local port that cannot be bound by Connect() or Listen(): 10048
        "Address in use" (or 10049, 10013 as the system reports it).
    \li Accept() of an unknown request: 40014.
    \endlist

    Asynchronous failures are raised as errorOccurred() with the classic
    socket numbers and texts (10061 refused, 11001 host not found, 10060
    timed out, ...), all within a signed 16-bit integer; State() then reads
    Error. A peer that closes normally is not an error.

    Guarantees:
    \list
    \li Every received byte is announced by dataArrival() and handed out by
        GetDataBytes() / GetDataText() in order and exactly once, also while
        a handler runs a nested event loop. The events are raised from the
        event loop, never from inside the socket's own notifications, so a
        handler may run a nested loop and will see nested dataArrival() for
        newer bytes. bytesTotal is the number of bytes pending at the event.
        Bytes a handler leaves unread stay pending and are announced again,
        together with newer ones, at the next arrival or at the peer's close.
    \li State() turns PeerClosing only once the peer has closed and every
        received byte has been handed out; peerClosed() is raised then, once.
    \li A RemoteHost of the form "name:port" or "[v6address]:port" connects
        to that port instead of RemotePort; the text of RemoteHost stays.
    \li A LocalPort set before Connect() binds that local port; while
        connected LocalPort reads the actual local port.
    \li After Close() nothing of the old connection is raised or handed out,
        and Connect() may follow at once.
    \li A handler may Close() or delete the socket.
    \endlist

    With Secure set, Connect() speaks TLS: the host name of RemoteHost is
    sent (SNI) and checked against the server's certificate, which must
    chain to an authority of the system's trust store or of the files named
    by SSL_CERT_FILE and SSL_CERT_DIR. The Connect event comes once the
    handshake is done; a failed handshake is raised as errorOccurred() with
    one of the certificate numbers (UnknownAuthority, CertificateDate,
    CertificateName, CertificateInvalid) or SecureChannelFailed, and a text
    that says why. A server that refuses to go on without a client
    certificate is raised as ClientCertificateNeeded, whether it says so
    during the handshake (TLS 1.2) or after it (TLS 1.3).

    With Secure and Tunnel set, Connect() first makes a plain connection
    (to a proxy) and raises Connect, so that its owner can have a tunnel
    opened; StartSecure() then speaks TLS through it to the server it names,
    and Connect comes again once that handshake is done.
*/
class Winsock : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString RemoteHost READ RemoteHost WRITE setRemoteHost)
    Q_PROPERTY(qint32 RemotePort READ RemotePort WRITE setRemotePort)
    Q_PROPERTY(qint32 LocalPort READ LocalPort WRITE setLocalPort)
    Q_PROPERTY(QString Tag READ Tag WRITE setTag)
    Q_PROPERTY(qint16 State READ State)
    Q_PROPERTY(QString RemoteHostIP READ RemoteHostIP)
    Q_PROPERTY(QString LocalIP READ LocalIP)
    Q_PROPERTY(bool Secure READ Secure WRITE setSecure)
    Q_PROPERTY(bool Tunnel READ Tunnel WRITE setTunnel)

public:
    enum StateCode : qint16 {
        Closed = 0,
        Open = 1,
        Listening = 2,
        ConnectionPending = 3,
        ResolvingHost = 4,
        HostResolved = 5,
        Connecting = 6,
        Connected = 7,
        PeerClosing = 8,
        Error = 9,
    };
    Q_ENUM(StateCode)

    // Classic socket error numbers.
    enum ErrorNumber : int {
        OperationCanceled = 10004,
        AccessDenied = 10013,
        AddressInUse = 10048,
        AddressNotAvailable = 10049,
        NetworkDown = 10050,
        NetworkUnreachable = 10051,
        ConnectionAborted = 10053,
        ConnectionReset = 10054,
        NoBufferSpace = 10055,
        NotConnected = 10057,
        TimedOut = 10060,
        ConnectionRefused = 10061,
        HostNotFound = 11001,
        HostNotFoundTryAgain = 11002,
        NonRecoverableError = 11003,
        NoData = 11004,
        InvalidArgument = 40014,
        BadState = 40006,
        InvalidOperation = 40020,
        // TLS failures, numbered as the system's internet layer numbers them.
        CertificateDate = 12037,
        CertificateName = 12038,
        ClientCertificateNeeded = 12044,
        UnknownAuthority = 12045,
        SecureChannelFailed = 12157,
        CertificateInvalid = 12169,
    };

    explicit Winsock(QObject *parent = nullptr);
    ~Winsock() override;

    QString RemoteHost() const;
    void setRemoteHost(const QString &host);
    qint32 RemotePort() const;
    void setRemotePort(qint32 port);
    //! The port set for the next Connect() or Listen(); the actual local port
    //! while connected or listening.
    qint32 LocalPort() const;
    void setLocalPort(qint32 port);
    QString Tag() const;
    void setTag(const QString &tag);
    qint16 State() const;
    //! The peer's address of the last connection; empty before the first.
    QString RemoteHostIP() const;
    //! The local address of the connection, or else this machine's address.
    QString LocalIP() const;
    //! Whether the next Connect() speaks TLS.
    bool Secure() const;
    void setSecure(bool secure);
    //! Whether the next secure Connect() waits for StartSecure() before it speaks TLS.
    bool Tunnel() const;
    void setTunnel(bool tunnel);

    void Connect();
    void Connect(const QString &remoteHost, qint32 remotePort);
    //! Starts TLS on a tunnelled connection for the server \a peerName (sent
    //! in the handshake and checked against its certificate); throws 40020 on
    //! any other connection.
    void StartSecure(const QString &peerName);
    //! Sets the local port, and the local address that Connect() and Listen()
    //! bind (empty: every address).
    void Bind(qint32 localPort, const QString &localIP = QString());
    //! Listens on LocalPort; throws when the port cannot be had.
    void Listen();
    //! Takes over the connection announced by connectionRequest().
    void Accept(qint32 requestId);
    void SendData(const QString &text); //!< sent in the system code page
    void SendData(QByteArrayView bytes);
    QString GetDataText();   //!< all pending data, decoded from the system code page
    QByteArray GetDataBytes(); //!< all pending data
    qint64 BytesReceived() const; //!< pending, not yet handed out
    //! Ends the connection or the listening at once and drops pending data.
    void Close();

    //! The text of the classic socket error \a number.
    static QString errorText(int number);
    //! The host name in \a remoteHost, without the ":port" and brackets it may carry.
    static QString hostName(const QString &remoteHost);

Q_SIGNALS:
    void connected();                  //!< the Connect event
    void dataArrival(qint32 bytesTotal); //!< the DataArrival event
    void errorOccurred(qint16 number, const QString &description); //!< the Error event
    void connectionRequest(qint32 requestId); //!< a listening socket was called
    void peerClosed(); //!< the Close event: State() has turned PeerClosing

private:
    class Private;
    std::unique_ptr<Private> d;
};
