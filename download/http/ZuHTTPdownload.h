#pragma once

#include "ControlBase.h"
#include "zudownload_export.h"

#include <memory>

#include <QByteArray>
#include <QStringDecoder>
#include <QVariant>

class BinaryFile;
class ChunkedBody;
class QTimer;
class Winsock;

/*!
    Fetches one resource over HTTP/1.1 for a host program.

    GetAttrs() (or PGetAttr()) probes the resource: the status line and the
    headers date, server, Last-Modified, ETag, Accept-Ranges, Content-Length
    and Content-Type are kept and read back through the properties, a 302 is
    followed, and the outcome is GetAttred or OnError. DownTo() downloads
    the resource into a file, resuming an existing one with a suffix range
    when asked, and raises GetData after each write; OpenUrl() streams it to
    the host through GetedData. Timer1 watches the transfers every 100 ms
    and raises Finish when one has ended.

    The address is split into the host text (which may carry ":port") and
    the request path. An "https://" address is fetched over TLS (port 443
    unless the host text names one), a redirect may change between http and
    https; any other scheme is fetched over plain HTTP. Every request asks the server to close the connection
    at the end of the response, which is how the end is recognised.

    Every method only starts work and returns; results arrive as events.
    Values stay in place between probes: a probe overwrites only the values
    its answer carries.
*/
class ZUDOWNLOAD_EXPORT ZuHTTPdownload : public ControlBase
{
    Q_OBJECT
    Q_CLASSINFO("Members",
                "GetAttrs,Geted,Host,Server,HttpVer,ReID,ServerDateTime,URLDateTime,Etag,Range,"
                "Length,DownTo,ZUClose,State,PGetAttr,HsDown,LType,Writer,Email,HomePage,"
                "WriteLetter,VisitHomePage,About,OpenUrl,Path,ZURemoteIP,ZULocalIP")
    Q_CLASSINFO("Events", "OnError,GetAttred,Finish,GetData,GetedData")
    Q_PROPERTY(bool Geted READ Geted)
    Q_PROPERTY(QVariant Host READ Host)
    Q_PROPERTY(QVariant Server READ Server)
    Q_PROPERTY(QVariant HttpVer READ HttpVer)
    Q_PROPERTY(qint32 ReID READ ReID)
    Q_PROPERTY(QVariant ServerDateTime READ ServerDateTime)
    Q_PROPERTY(QVariant URLDateTime READ URLDateTime)
    Q_PROPERTY(QVariant Etag READ Etag)
    Q_PROPERTY(QVariant Range READ Range)
    Q_PROPERTY(qint64 Length READ Length)
    Q_PROPERTY(QVariant State READ State)
    Q_PROPERTY(qint64 HsDown READ HsDown)
    Q_PROPERTY(QVariant LType READ LType)
    Q_PROPERTY(QVariant Writer READ Writer WRITE setWriter)
    Q_PROPERTY(QVariant Email READ Email WRITE setEmail)
    Q_PROPERTY(QVariant HomePage READ HomePage WRITE setHomePage)
    Q_PROPERTY(QVariant Path READ Path)
    Q_PROPERTY(QVariant ZURemoteIP READ ZURemoteIP)
    Q_PROPERTY(QVariant ZULocalIP READ ZULocalIP)

public:
    //! The component title this control shows in the about box.
    static QString componentTitle();

    explicit ZuHTTPdownload(QWidget *parent = nullptr);
    ~ZuHTTPdownload() override;

    //! Starts a probe of \a Url; always returns an empty text. A bad address raises OnError(1).
    Q_INVOKABLE QString GetAttrs(const QString &Url);
    //! Downloads to \a Filename; with \a Ext, writing starts at position \a Begin, and with
    //! \a Begin > 1 the last \a Last bytes of the resource are asked for.
    Q_INVOKABLE QVariant DownTo(const QString &Filename, qint64 Begin, qint64 Last, bool Ext);
    //! Closes both connections and the output file; the next tick raises Finish.
    Q_INVOKABLE QVariant ZUClose();
    //! Probes the resource \a Path on the host \a PHost.
    Q_INVOKABLE QVariant PGetAttr(const QVariant &PHost, const QVariant &Path);
    Q_INVOKABLE QVariant WriteLetter();
    Q_INVOKABLE QVariant VisitHomePage();
    Q_INVOKABLE QVariant About();
    //! Streams the resource to the host (the last \a Last bytes when \a Last > 0).
    Q_INVOKABLE QVariant OpenUrl(qint64 Last);

    bool Geted() const { return m_geted; }
    QVariant Host() const;
    QVariant Server() const { return m_server; }
    QVariant HttpVer() const { return m_httpVer; }
    qint32 ReID();   //!< fails with 6 beyond 32 bits
    QVariant ServerDateTime() const { return m_serverDateTime; }
    QVariant URLDateTime() const { return m_urlDateTime; }
    QVariant Etag() const { return m_etag; }
    QVariant Range() const { return m_range; }
    qint64 Length(); //!< the stored Content-Length as a number; fails with 6 beyond 64 bits
    QVariant State() const; //!< the state code of Wk
    qint64 HsDown(); //!< bytes in front of the output file's write position
    QVariant LType() const { return m_lType; }
    QVariant Writer() const;
    void setWriter(const QVariant &value);
    QVariant Email() const;
    void setEmail(const QVariant &value);
    QVariant HomePage() const;
    void setHomePage(const QVariant &value);
    QVariant Path() const { return m_path; }
    QVariant ZURemoteIP() const;
    QVariant ZULocalIP() const;

Q_SIGNALS:
    void OnError(qint16 Number, const QString &Description);
    void GetAttred();
    void Finish();
    void GetData();
    //! \a zudFormat 1: \a Datas is a text chunk; 2: one byte.
    void GetedData(const QVariant &Datas, qint32 zudFormat);

protected:
    void readProperties(PropertyBag &bag) override;
    void controlShown() override;
    void controlResized() override;
    void paintEvent(QPaintEvent *event) override;

private:
    // How far the response of one transfer has come.
    struct Transfer {
        bool active = false;
        bool headerSeen = false;
        QByteArray head;          // header bytes received so far
        qint64 expected = -1;     // Content-Length of this response
        qint64 received = 0;      // body bytes taken
        bool chunked = false;
        std::unique_ptr<ChunkedBody> chunks; // for a chunked response
        bool complete = false;    // the body has ended by its own framing
        bool ended = false;       // the connection was closed at the end
        qint64 suffix = 0;        // bytes from the end asked for, 0 for the whole
        qint64 skip = 0;          // body bytes in front of the asked tail
    };
    enum class Outcome { Taken, Waiting, Refused };

    void startProbe();
    void getAttrs(const QString &url);
    void sendRequest(Winsock *socket, int threshold);
    void Wk_Connect();
    void Ws_Connect();
    void Wk_DataArrival();
    void Ws_DataArrival();
    void Wk_Error(qint16 number, const QString &description);
    void Ws_Error(qint16 number, const QString &description);
    void ensureIdle(const Winsock *socket) const;
    void Timer1_Timer();
    void Wk_Close();
    void finishProbe();
    void ParseResponseHeader(const QString &text);
    QString resolveLocation(const QString &location) const;
    void aim(Winsock *socket) const;

    Winsock *socketOf(const Transfer &transfer) const;
    void startTransfer(Transfer &transfer, qint64 suffix);
    //! Takes the header and decodes the body in \a bytes; false when nothing of them goes on.
    bool receive(Transfer &transfer, QByteArray &bytes);
    Outcome takeHeader(Transfer &transfer, QByteArray &bytes);
    bool decodeBody(Transfer &transfer, QByteArray &bytes);
    //! False when the write failed and the transfer ended.
    bool writeToFile(const QByteArray &bytes);
    void closeTransfer(Transfer &transfer);
    // These raise an event and return false when the host deleted the control in it.
    bool failTransfer(Transfer &transfer, qint16 number, const QString &description);
    bool endTransfer(Transfer &transfer, bool headerMissing, bool cut);
    bool raiseStatusError(double status);
    bool cutShort(const Transfer &transfer) const;
    void stopTimerWhenIdle();

    // Control state.
    QString m_host;
    bool m_secure = false;
    QVariant m_requestPath;
    QVariant m_path;
    bool m_geted = false;
    QVariant m_httpVer;
    double m_reID = 0;
    QVariant m_serverDateTime;
    QVariant m_server;
    QVariant m_urlDateTime;
    QVariant m_etag;
    QVariant m_range;
    QVariant m_length;
    QVariant m_lType;
    double m_bodyStart = 0;
    QString m_redirectUrl;
    const std::unique_ptr<BinaryFile> m_outputFile;
    bool m_aboutShown = false;

    int m_redirects = 0;
    bool m_probing = false;
    QByteArray m_probeBuffer;
    Transfer m_file;
    Transfer m_stream;
    bool m_streamText = false;
    QStringDecoder m_streamDecoder;
    bool m_closedByHost = false;

    // Child components.
    Winsock *Wk = nullptr;
    Winsock *Ws = nullptr;
    QTimer *Timer1 = nullptr;
};
