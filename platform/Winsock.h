#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

/*!
    The event-driven TCP socket control that the download controls hold.

    Members, events and state codes follow the classic socket control:
    RemoteHost, RemotePort, LocalPort, Tag, State, RemoteHostIP, LocalIP,
    Connect(), Listen(), SendData(), GetData() and Close(); the events
    Connect, DataArrival(bytesTotal) and Error(Number, Description).

    Synchronous failures (Connect or SendData in a state that does not allow
    them, a bad property value) throw SystemError. Asynchronous failures are
    raised as errorOccurred() with the classic socket numbers, which fit in a
    signed 16-bit integer.

    Guarantees:
    \list
    \li Every received byte is announced by dataArrival() and handed out by
        GetData() in order and exactly once, also while a handler runs a
        nested event loop.
    \li State() turns PeerClosing only once the peer has closed and every
        received byte has been handed out.
    \li A RemoteHost of the form "name:port" connects to that port.
    \li A LocalPort set before Connect() binds that local port.
    \endlist
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
        InvalidArgument = 40014,
        BadState = 40006,
        InvalidOperation = 40020,
    };

    explicit Winsock(QObject *parent = nullptr);
    ~Winsock() override;

    QString RemoteHost() const;
    void setRemoteHost(const QString &host);
    qint32 RemotePort() const;
    void setRemotePort(qint32 port);
    qint32 LocalPort() const;
    void setLocalPort(qint32 port);
    QString Tag() const;
    void setTag(const QString &tag);
    qint16 State() const;
    QString RemoteHostIP() const;
    QString LocalIP() const;

    void Connect();
    void Connect(const QString &remoteHost, qint32 remotePort);
    void Listen();
    void SendData(const QString &text); //!< sent in the system code page
    void SendData(QByteArrayView bytes);
    QString GetDataText();   //!< all pending data, decoded from the system code page
    QByteArray GetDataBytes(); //!< all pending data
    qint64 BytesReceived() const; //!< pending, not yet handed out
    void Close();

    //! The text of the classic socket error \a number.
    static QString errorText(int number);

Q_SIGNALS:
    void connected();                  //!< the Connect event
    void dataArrival(qint32 bytesTotal); //!< the DataArrival event
    void errorOccurred(qint16 number, const QString &description); //!< the Error event
    void connectionRequest(qint32 requestId); //!< a listening socket was called

private:
    class Private;
    Private *d;
};
