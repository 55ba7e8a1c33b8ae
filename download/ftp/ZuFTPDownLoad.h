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
    connection's peer, at the port the server names: PASV on IPv4 (EPSV
    when PASV is refused), EPSV on IPv6.

    Events, in order: OnError(Number, Description) for every failure,
    UrlOK(Lengths) with the size the server announces, GetedData() after
    each chunk written, Ended() once the whole download is in the file, and
    GetAttred(), which is declared but never raised. A probe reports the size
    of the listed file through UrlOK, or OnError(1, "文件大小未知").

    Every session ends in one outcome. A reply that refuses the greeting,
    USER, PASS, the passive mode, RETR or LIST ends it with OnError carrying
    the reply's number and text (550 keeps "地址未找到"); so do a failed
    write to the file, a dropped connection and a reply longer than 64 KiB.
    A refused restart starts the file over from its first byte. Both
    connections are closed then; the file stays open until ZUClose or the
    next DownTo.

    The host may delete the control, or start the next DownTo or GetAttrs,
    inside any event; a call that is refused (an invalid address, a file
    that cannot be opened) changes nothing of the running session.

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
    Q_PROPERTY(qint64 HsDown READ HsDown)
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
    //! Sizes and positions are 64-bit, so files past 4 GiB resume too.
    Q_INVOKABLE QVariant DownTo(const QVariant &Url, const QString &Filename, qint64 Begin, bool Ext);

    //! The data connection's socket state.
    QVariant State() const;
    //! Bytes before the download file's write position; fails without an open file.
    qint64 HsDown();
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

    //! The caption of the about box's title for this control.
    static QString componentTitle();
    //! The password put in place whenever the control is shown.
    static QString defaultPassword();

Q_SIGNALS:
    void OnError(qint16 Number, const QString &Description);
    void UrlOK(qint64 Lengths);
    void GetedData();
    void Ended();
    void GetAttred();

protected:
    void readProperties(PropertyBag &bag) override;
    void controlShown() override;
    void controlResized() override;
    void paintEvent(QPaintEvent *event) override;

private:
    // The command whose reply the control waits for.
    enum class Step { Greeting, User, Password, RestartProbe, Type, Passive, ExtendedPassive, Restart, Retrieve, List };

    void StartSession();
    bool WaitReply();
    void PickDataPort();
    //! Raises Ended once the data connection is done. The bool results say
    //! whether the control is still there (the host may delete it in an event).
    bool FinishTransfer();

    void Wk_Connect();
    void Wk_DataArrival(qint32 bytesTotal);
    void Wk_Error(qint16 Number, const QString &Description);
    void Wk_Close();
    void Ws_Connect();
    void Ws_DataArrival(qint32 bytesTotal);
    void Ws_Error(qint16 Number, const QString &Description);

    void checkPort() const;
    bool dispatchReply(const QString &reply);
    //! Whether a reply with \a code to the command sent last ends the session.
    bool endsSession(double code) const;
    //! Connects Ws to the control connection's peer at \a port.
    void openDataConnection(qint32 port);
    bool sizeStep(const QString &reply);
    bool readListing(const QString &text);
    bool writeChunk(const QByteArray &bytes);
    void restartFile();
    void sendCommand(Step step, const QString &command);
    bool reportError(const SystemError &error);
    bool reportServerClosed();
    //! Ends the session with OnError and closes both connections, unless the
    //! host started the next session inside the event.
    bool failSession(qint16 number, const QString &description);
    bool waitUntil(const std::function<bool()> &done);
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
    qint64 m_remoteSize = 0;
    qint64 m_restOffset = 0;
    std::unique_ptr<BinaryFile> m_transferFile;
    bool m_aboutShown = false;

    const std::unique_ptr<FtpReplyReader> m_replies;
    Step m_step = Step::Greeting;
    double m_lastCode = 0;
    // Counts sessions; a session that was replaced or ended touches nothing more.
    quint32 m_session = 0;
    // The download session that opened the transfer file.
    quint32 m_fileSession = 0;
    // Between the start of a session and its end (226, 550, listing read,
    // ZUClose); a server hanging up in between is reported once.
    bool m_sessionActive = false;
    bool m_closeReported = false;
    // A probe reports the size from the listing unless a 150 reply named it.
    bool m_listingSizeWanted = false;
};
