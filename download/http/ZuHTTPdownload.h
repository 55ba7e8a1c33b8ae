#pragma once

#include "ControlBase.h"
#include "zudownload_export.h"

#include <QVariant>

#include <memory>

/*!
    Fetches one resource over HTTP/1.1 for a host program.

    GetAttrs() (or PGetAttr()) probes the resource: the status line and the
    headers date, server, Last-Modified, ETag, Accept-Ranges, Content-Length
    and Content-Type are kept and read back through the properties, and the
    outcome is GetAttred or OnError. DownTo() downloads the resource into a
    file, resuming an existing one with a suffix range when asked, and
    raises GetData after each write; OpenUrl() streams it to the host
    through GetedData. A transfer raises Finish as soon as its answer has
    ended, from the event loop.

    The address is split into the host text (which may carry ":port") and
    the request path; a login in it ("user:password@host") is sent as Basic
    authorization. An "https://" address is fetched over TLS (port 443
    unless the host text names one); any other scheme is fetched over plain
    HTTP. Probes, downloads and streams follow the redirects 301, 302, 303,
    307 and 308, at most 20 in a row, between http and https both ways.
    Requests go through the HTTP proxy that HttpProxy chooses: plain ones
    with the whole address, https ones through a CONNECT tunnel, with the
    certificate still checked against the server's name. Every request asks
    the server to close the connection at the end of the response.

    A transfer that gets no connection, or no byte while one is awaited,
    within TimeOut seconds ends with OnError(10060).

    Every method only starts work and returns; results arrive as events,
    exactly one outcome for each probe or transfer. Values stay in place
    between probes: a probe overwrites only the values its answer carries.
*/
class ZUDOWNLOAD_EXPORT ZuHTTPdownload : public ControlBase
{
    Q_OBJECT
    Q_CLASSINFO("Members",
                "GetAttrs,Geted,Host,Server,HttpVer,ReID,ServerDateTime,URLDateTime,Etag,Range,"
                "Length,DownTo,ZUClose,State,PGetAttr,HsDown,LType,Writer,Email,HomePage,"
                "WriteLetter,VisitHomePage,About,OpenUrl,Path,ZURemoteIP,ZULocalIP,TimeOut")
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
    Q_PROPERTY(qint32 TimeOut READ TimeOut WRITE setTimeOut)

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
    //! Closes both connections and the output file; Finish follows from the event loop
    //! when something was running.
    Q_INVOKABLE QVariant ZUClose();
    //! Probes the resource \a Path on the host \a PHost.
    Q_INVOKABLE QVariant PGetAttr(const QVariant &PHost, const QVariant &Path);
    Q_INVOKABLE QVariant WriteLetter();
    Q_INVOKABLE QVariant VisitHomePage();
    Q_INVOKABLE QVariant About();
    //! Streams the resource to the host (the last \a Last bytes when \a Last > 0).
    Q_INVOKABLE QVariant OpenUrl(qint64 Last);

    bool Geted() const;
    QVariant Host() const;
    QVariant Server() const;
    QVariant HttpVer() const;
    qint32 ReID() const;
    QVariant ServerDateTime() const;
    QVariant URLDateTime() const;
    QVariant Etag() const;
    QVariant Range() const;
    qint64 Length(); //!< the stored Content-Length as a number; fails with 6 beyond 64 bits
    QVariant State() const; //!< the state code of Wk
    qint64 HsDown(); //!< bytes in front of the output file's write position
    QVariant LType() const;
    QVariant Writer() const;
    void setWriter(const QVariant &value);
    QVariant Email() const;
    void setEmail(const QVariant &value);
    QVariant HomePage() const;
    void setHomePage(const QVariant &value);
    QVariant Path() const;
    QVariant ZURemoteIP() const;
    QVariant ZULocalIP() const;
    //! Seconds to wait for a connection, or for the next byte while one is awaited;
    //! 0 waits for ever. A negative value fails with 380 and changes nothing.
    qint32 TimeOut() const;
    void setTimeOut(qint32 seconds);

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
    class Private;
    const std::unique_ptr<Private> d;
};
