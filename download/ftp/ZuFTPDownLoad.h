#pragma once

#include "ControlBase.h"
#include "zudownload_export.h"

#include <QVariant>

#include <functional>
#include <memory>

class BinaryFile;
class FtpReplyReader;
class Winsock;

/*!
    The FTP download control.

    DownTo() fetches a remote file into a local one, GetAttrs() probes a
    remote path with a listing; both return at once and report through
    events. The control logs in on its control connection Wk, asks for
    passive mode and opens the data connection Ws to the control
    connection's peer, at the port the server names.

    Events, in order: OnError(Number, Description) for every failure,
    UrlOK(Lengths) with the size the server announces, GetedData() after
    each chunk written, Ended() once the whole download is in the file, and
    GetAttred(), which is declared but never raised. A probe reports the size
    of the listed file through UrlOK, or OnError(1, "文件大小未知").

    Whenever the control is shown, User, Password and Port return to
    "anonymous", the built-in mail-style password and 21. A control placed
    fresh (not loaded from saved properties) shows the about box at its
    first Show. It persists nothing and keeps a fixed size of 660 x 580
    twips.
*/
class ZUDOWNLOAD_EXPORT ZuFTPDownLoad : public ControlBase
{
    Q_OBJECT
    Q_CLASSINFO("Members",
                "Host,Path,User,Password,Port,DownTo,State,HsDown,ZUClose,State1,State2,"
                "GetAttrs,Start,Writer,Email,HomePage,WriteLetter,VisitHomePage,About")
    Q_CLASSINFO("Events", "OnError,UrlOK,GetedData,Ended,GetAttred")
    Q_PROPERTY(QVariant Host READ Host WRITE setHost)
    Q_PROPERTY(QVariant Path READ Path WRITE setPath)
    Q_PROPERTY(QVariant User READ User WRITE setUser)
    Q_PROPERTY(QVariant Password READ Password WRITE setPassword)
    Q_PROPERTY(qint32 Port READ Port WRITE setPort)
    Q_PROPERTY(QVariant State READ State)
    Q_PROPERTY(qint32 HsDown READ HsDown)
    Q_PROPERTY(QVariant State1 READ State1)
    Q_PROPERTY(QVariant State2 READ State2)
    Q_PROPERTY(qint32 Start READ Start WRITE setStart)
    Q_PROPERTY(QVariant Writer READ Writer WRITE setWriter)
    Q_PROPERTY(QVariant Email READ Email WRITE setEmail)
    Q_PROPERTY(QVariant HomePage READ HomePage WRITE setHomePage)

public:
    static constexpr int WidthTwips = 660;
    static constexpr int HeightTwips = 580;

    explicit ZuFTPDownLoad(QWidget *parent = nullptr);
    ~ZuFTPDownLoad() override;

    QVariant Host() const { return m_host; }
    void setHost(const QVariant &host);
    QVariant Path() const { return m_path; }
    void setPath(const QVariant &path);
    QVariant User() const { return m_user; }
    void setUser(const QVariant &user);
    QVariant Password() const { return m_password; }
    void setPassword(const QVariant &password);
    qint32 Port() const { return m_port; }
    void setPort(qint32 port);

    //! Downloads \a Url into \a Filename. With \a Ext the file is written from
    //! position \a Begin (1-based) and the server asked to restart at Begin - 1.
    Q_INVOKABLE QVariant DownTo(const QVariant &Url, const QString &Filename, qint32 Begin, bool Ext);

    //! The data connection's socket state.
    QVariant State() const;
    //! Bytes before the download file's write position; fails without an open file.
    qint32 HsDown();
    //! Closes both connections and the download file.
    Q_INVOKABLE QVariant ZUClose();
    //! The control connection's socket state.
    QVariant State1() const;
    //! The data connection's socket state, as State.
    QVariant State2() const;

    //! Lists \a Url to learn its size.
    Q_INVOKABLE QVariant GetAttrs(const QVariant &Url);

    qint32 Start() const { return m_start; }
    void setStart(qint32 start);

    QVariant Writer() const;
    void setWriter(const QVariant &) {}
    QVariant Email() const;
    void setEmail(const QVariant &) {}
    QVariant HomePage() const;
    void setHomePage(const QVariant &) {}
    Q_INVOKABLE QVariant WriteLetter();
    Q_INVOKABLE QVariant VisitHomePage();
    Q_INVOKABLE QVariant About();

    //! Host and path of \a url: the host is everything between "://" and the
    //! next "/", the path the rest from that "/" on. False without such a "/".
    static bool SplitUrl(const QString &url, QString &host, QString &path);

    //! The caption of the about box's title for this control.
    static QString componentTitle();
    //! The password put in place whenever the control is shown.
    static QString defaultPassword();

Q_SIGNALS:
    void OnError(qint16 Number, const QString &Description);
    void UrlOK(qint32 Lengths);
    void GetedData();
    void Ended();
    void GetAttred();

protected:
    void readProperties(PropertyBag &bag) override;
    void controlShown() override;
    void controlResized() override;
    void paintEvent(QPaintEvent *event) override;

private:
    void StartSession();
    bool WaitReply();
    void PickDataPort();
    void FinishTransfer();

    void Wk_Connect();
    void Wk_DataArrival(qint32 bytesTotal);
    void Wk_Error(qint16 Number, const QString &Description);
    void Wk_Close();
    void Ws_Connect();
    void Ws_DataArrival(qint32 bytesTotal);
    void Ws_Error(qint16 Number, const QString &Description);

    //! Sets Host and Path from \a url, or reports an invalid address.
    bool takeUrl(const QVariant &url);
    void dispatchReply(const QString &reply);
    void passiveMode(const QString &reply);
    void sizeStep(const QString &reply);
    void readListing(const QString &text);
    void writeChunk(const QByteArray &bytes);
    void sendCommand(const QString &command);
    void reportError(const SystemError &error);
    void reportServerClosed();
    bool waitUntil(const std::function<bool()> &done);
    void closeTransferFile();
    template<typename T>
    void put(T &member, const T &value, const char *name)
    {
        member = value;
        emit propertyChanged(QString::fromLatin1(name));
    }

    Winsock *Wk = nullptr;
    Winsock *Ws = nullptr;

    QVariant m_host;
    QVariant m_path;
    QVariant m_user;
    QVariant m_password;
    qint32 m_port = 0;
    qint32 m_start = 0;
    bool m_downMode = false;
    bool m_replyArrived = false;
    qint32 m_remoteSize = 0;
    qint32 m_restOffset = 0;
    std::unique_ptr<BinaryFile> m_transferFile;
    bool m_aboutShown = false;

    const std::unique_ptr<FtpReplyReader> m_replies;
    // Counts sessions, so that a wait of a session that was replaced stops.
    quint32 m_session = 0;
    // Between the start of a session and its end (226, 550, listing read,
    // ZUClose); a server hanging up in between is reported once.
    bool m_sessionActive = false;
    bool m_closeReported = false;
    // A probe reports the size from the listing unless a 150 reply named it.
    bool m_listingSizeWanted = false;
};
