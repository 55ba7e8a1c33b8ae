#include "ZuFTPDownLoad.h"

#include "BinaryFile.h"
#include "FtpReplies.h"
#include "FtpReplyReader.h"
#include "CodePage.h"
#include "FrmAbout.h"
#include "MaskColor.h"
#include "MessageLoop.h"
#include "Winsock.h"
#include "AuthorInfo.h"
#include "DownloadTexts.h"
#include "UrlParts.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace {

QString sizeUnknownText()
{
    return QStringLiteral("文件大小未知");
}

QString addressNotFoundText()
{
    return QStringLiteral("地址未找到");
}

// A download ends once its data connection is closed or closing; an error of
// it is still to be reported by its own event.
bool isDone(qint16 state)
{
    return state == Winsock::Closed || state == Winsock::PeerClosing;
}

bool isFinished(qint16 state)
{
    return isDone(state) || state == Winsock::Error;
}

// %XX escapes decoded: UTF-8 where the bytes form it, else text of the
// system code page, so that the bytes go to the server as they were escaped.
QString decodedPath(const QString &path)
{
    const QByteArray bytes = QByteArray::fromPercentEncoding(path.toUtf8());
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? CodePage::toUnicode(bytes) : text;
}

// A line break would end the command early and smuggle in one of its own.
bool fitsInCommand(const QString &text)
{
    return !text.contains(u'\r') && !text.contains(u'\n') && !text.contains(QChar(0));
}

// The text of a reply for the host: without its code.
QString replyText(const QString &reply)
{
    const QString text = reply.mid(4).trimmed();
    return text.isEmpty() ? reply.trimmed() : text;
}

} // namespace

class ZuFTPDownLoad::Private
{
public:
    explicit Private(ZuFTPDownLoad *q);

    // The command whose reply the control waits for.
    enum class Step {
        Greeting, User, Password, RestartProbe, Type, Size, Passive, ExtendedPassive, Restart, Retrieve, List
    };
    // How a reply answers the command it follows.
    enum class Verdict { Done, Refused, Preliminary, Wrong };
    // Dialogue: replies are read and the session can fail; Finishing: after
    // the 226, the data connection is drained; Idle: the outcome is out.
    enum class Phase { Idle, Dialogue, Finishing };

    // What an address names for a session.
    struct Target {
        QString host;
        QString path;
        std::optional<QString> user;
        std::optional<QString> password;
    };

    // The bool results say whether the control is still there: the host may
    // delete it, and this with it, in any event.
    void StartSession();
    bool WaitReply();
    void PickDataPort();
    //! Raises Ended once the data connection is done.
    bool FinishTransfer();

    void Wk_Connect();
    void Wk_DataArrival(qint32 bytesTotal);
    void Wk_Error(qint16 Number, const QString &Description);
    void Wk_Close();
    void Ws_Connect();
    void Ws_DataArrival(qint32 bytesTotal);
    void Ws_Error(qint16 Number, const QString &Description);

    //! The target \a url names; raises OnError and gives nothing for a bad one.
    std::optional<Target> target(const QVariant &url);
    void take(const Target &target);
    void checkPort() const;
    bool dispatchReply(const QString &reply);
    Verdict verdict(int code) const;
    bool failOnReply(int code, const QString &reply);
    //! Connects Ws to the control connection's peer at \a port.
    void openDataConnection(qint32 port);
    bool transferBegins(int code, const QString &reply);
    bool endProbe(std::optional<qint64> size);
    bool writeChunk(const QByteArray &bytes);
    bool cutShort() const;
    void restartFile();
    void sendCommand(Step step, const QString &command);
    bool reportServerClosed();
    //! Ends the session with OnError and closes both connections (and, with
    //! \a closeFile, the download file), unless the host started the next
    //! session inside the event.
    bool failSession(qint16 number, const QString &description, bool closeFile = false);
    //! Stops whatever of the session still runs or waits; returns the new session number.
    quint32 endSession();
    void noteActivity() { m_sinceActivity.restart(); }
    void checkTimeOut();
    bool waitUntil(const std::function<bool()> &done);
    void wakeWaits() const;
    template<typename T>
    void put(T &member, const T &value, const char *name)
    {
        member = value;
        emit q->propertyChanged(QString::fromLatin1(name));
    }

    ZuFTPDownLoad *const q;
    Winsock *const Wk;
    Winsock *const Ws;
    QTimer *const m_watchdog;

    QVariant m_host;
    QVariant m_path;
    QVariant m_user;
    QVariant m_password;
    qint32 m_port = 0;
    qint32 m_start = 0;
    qint32 m_timeOut = 60;
    bool m_downMode = false;
    bool m_replyArrived = false;
    qint64 m_remoteSize = 0;
    qint64 m_restOffset = 0;
    std::unique_ptr<BinaryFile> m_transferFile;
    bool m_aboutShown = false;

    FtpReplyReader m_replies;
    // The login an address names, for its session only.
    std::optional<QString> m_loginUser;
    std::optional<QString> m_loginPassword;
    Step m_step = Step::Greeting;
    // A command has been sent whose final reply has not come yet.
    bool m_awaiting = false;
    int m_lastCode = 0;
    // Counts sessions; a session that was replaced or ended touches nothing more.
    quint32 m_session = 0;
    // The download session that opened the transfer file.
    quint32 m_fileSession = 0;
    Phase m_phase = Phase::Idle;
    bool m_closeReported = false;
    // A probe reports the size from the listing unless a 150 reply named it.
    bool m_listingSizeWanted = false;
    // What the server said of the file (SIZE), and what the transfer must bring.
    std::optional<qint64> m_fileSize;
    qint64 m_expected = -1;
    qint64 m_received = 0;
    // The restart position the server accepted last in this session.
    qint64 m_serverOffset = 0;
    bool m_transferStarted = false;
    // A refused restart writes the file from its start; what lies beyond goes at the end.
    bool m_restarted = false;
    int m_waits = 0;
    QElapsedTimer m_sinceActivity;
};

ZuFTPDownLoad::Private::Private(ZuFTPDownLoad *q)
    : q(q)
    , Wk(new Winsock(q))
    , Ws(new Winsock(q))
    , m_watchdog(new QTimer(q))
{
    m_watchdog->setSingleShot(true);
    QObject::connect(m_watchdog, &QTimer::timeout, q, [this] { checkTimeOut(); });
    QObject::connect(Wk, &Winsock::connected, q, [this] { Wk_Connect(); });
    QObject::connect(Wk, &Winsock::dataArrival, q, [this](qint32 bytesTotal) { Wk_DataArrival(bytesTotal); });
    QObject::connect(Wk, &Winsock::errorOccurred, q,
                     [this](qint16 number, const QString &description) { Wk_Error(number, description); });
    QObject::connect(Wk, &Winsock::peerClosed, q, [this] { Wk_Close(); });
    QObject::connect(Ws, &Winsock::connected, q, [this] { Ws_Connect(); });
    QObject::connect(Ws, &Winsock::dataArrival, q, [this](qint32 bytesTotal) { Ws_DataArrival(bytesTotal); });
    QObject::connect(Ws, &Winsock::errorOccurred, q,
                     [this](qint16 number, const QString &description) { Ws_Error(number, description); });
    QObject::connect(Ws, &Winsock::peerClosed, q, [this] { wakeWaits(); });
}

ZuFTPDownLoad::ZuFTPDownLoad(QWidget *parent)
    : ControlBase(parent)
    , d(std::make_unique<Private>(this))
{
    setSizeTwips(WidthTwips, HeightTwips);
    setAccessibleName(componentTitle());
}

ZuFTPDownLoad::~ZuFTPDownLoad() = default;

QString ZuFTPDownLoad::componentTitle()
{
    return QStringLiteral("Zu下载控件 FTP 协议版");
}

QString ZuFTPDownLoad::defaultPassword()
{
    return QStringLiteral("zuguest@tolvar.org");
}

// Properties

QVariant ZuFTPDownLoad::Host() const
{
    return d->m_host;
}

QVariant ZuFTPDownLoad::Path() const
{
    return d->m_path;
}

QVariant ZuFTPDownLoad::User() const
{
    return d->m_user;
}

QVariant ZuFTPDownLoad::Password() const
{
    return d->m_password;
}

qint32 ZuFTPDownLoad::Port() const
{
    return d->m_port;
}

qint32 ZuFTPDownLoad::Start() const
{
    return d->m_start;
}

qint32 ZuFTPDownLoad::TimeOut() const
{
    return d->m_timeOut;
}

void ZuFTPDownLoad::setHost(const QVariant &host)
{
    d->put(d->m_host, host, "Host");
}

void ZuFTPDownLoad::setPath(const QVariant &path)
{
    d->put(d->m_path, path, "Path");
}

void ZuFTPDownLoad::setUser(const QVariant &user)
{
    d->put(d->m_user, user, "User");
}

void ZuFTPDownLoad::setPassword(const QVariant &password)
{
    d->put(d->m_password, password, "Password");
}

void ZuFTPDownLoad::setPort(qint32 port)
{
    d->put(d->m_port, port, "Port");
}

void ZuFTPDownLoad::setStart(qint32 start)
{
    d->put(d->m_start, start, "Start");
}

void ZuFTPDownLoad::setTimeOut(qint32 seconds)
{
    guarded([&] {
        if (seconds < 0)
            throw SystemError(SystemError::InvalidPropertyValue);
        d->put(d->m_timeOut, seconds, "TimeOut");
        // A running session measures its quiet time against the new limit.
        if (d->m_phase != Private::Phase::Idle)
            d->m_watchdog->start(0);
    });
}

QVariant ZuFTPDownLoad::State() const
{
    return QVariant::fromValue(d->Ws->State());
}

QVariant ZuFTPDownLoad::State1() const
{
    return QVariant::fromValue(d->Wk->State());
}

QVariant ZuFTPDownLoad::State2() const
{
    return QVariant::fromValue(d->Ws->State());
}

qint64 ZuFTPDownLoad::HsDown()
{
    return guarded([&]() -> qint64 {
        if (!d->m_transferFile || !d->m_transferFile->isOpen())
            throw SystemError(SystemError::BadFileNameOrNumber);
        return d->m_transferFile->position() - 1;
    });
}

QVariant ZuFTPDownLoad::Writer() const
{
    return AuthorInfo::name();
}

QVariant ZuFTPDownLoad::Email() const
{
    return AuthorInfo::mail();
}

QVariant ZuFTPDownLoad::HomePage() const
{
    return AuthorInfo::homePage();
}

QVariant ZuFTPDownLoad::WriteLetter()
{
    AuthorInfo::writeLetter(this);
    return {};
}

QVariant ZuFTPDownLoad::VisitHomePage()
{
    AuthorInfo::visitHomePage(this);
    return {};
}

QVariant ZuFTPDownLoad::About()
{
    FrmAbout::showModal(this, componentTitle());
    return {};
}

// Host notifications

void ZuFTPDownLoad::readProperties(PropertyBag &)
{
    d->m_aboutShown = true;
}

void ZuFTPDownLoad::controlShown()
{
    setMaskColor(downloadMaskColor());
    d->m_user = QStringLiteral("anonymous");
    d->m_password = defaultPassword();
    d->m_port = 21;
    if (!d->m_aboutShown) {
        // Set first: a Show that comes while the box is up must not open another.
        d->m_aboutShown = true;
        FrmAbout::showModal(this, componentTitle());
    }
}

void ZuFTPDownLoad::controlResized()
{
    setSizeTwips(WidthTwips, HeightTwips);
}

void ZuFTPDownLoad::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face(1, 1, 42, 36);
    painter.setPen(QPen(QColor(0, 64, 128), 1.5));
    painter.setBrush(downloadMaskColor());
    painter.drawRoundedRect(face, 4, 4);
    painter.setBrush(QColor(0, 112, 192));
    QPolygonF arrow;
    arrow << QPointF(17, 6) << QPointF(27, 6) << QPointF(27, 16) << QPointF(33, 16)
          << QPointF(22, 27) << QPointF(11, 16) << QPointF(17, 16);
    painter.drawPolygon(arrow);
    QFont font = painter.font();
    font.setPixelSize(8);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0, 64, 128));
    painter.drawText(QRectF(1, 27, 42, 10), Qt::AlignCenter, QStringLiteral("FTP"));
}

// Methods

std::optional<ZuFTPDownLoad::Private::Target> ZuFTPDownLoad::Private::target(const QVariant &url)
{
    const std::optional<UrlParts> parts = SplitUrl(url.toString());
    QString refusal;
    Target target;
    if (!parts) {
        refusal = invalidAddressText();
    } else if (parts->badPort) {
        refusal = invalidPortText(parts->port);
    } else {
        target.host = parts->host;
        target.path = decodedPath(parts->path);
        if (parts->hasUserInfo) {
            target.user = parts->user;
            // A user named without a password logs in with the Password property.
            if (!parts->password.isEmpty())
                target.password = parts->password;
        }
        if (!fitsInCommand(target.path) || !fitsInCommand(target.user.value_or(QString()))
            || !fitsInCommand(target.password.value_or(QString())))
            refusal = invalidAddressText();
    }
    if (refusal.isEmpty())
        return target;
    (void)q->raise(&ZuFTPDownLoad::OnError, qint16(1), refusal);
    return std::nullopt;
}

void ZuFTPDownLoad::Private::take(const Target &target)
{
    m_host = target.host;
    m_path = target.path;
    m_loginUser = target.user;
    m_loginPassword = target.password;
}

// A call that is refused leaves the running session as it was, so every
// check comes before the first change.
QVariant ZuFTPDownLoad::DownTo(const QVariant &Url, const QString &Filename, qint64 Begin, bool Ext)
{
    const std::optional<Private::Target> address = d->target(Url);
    if (!address)
        return {};
    try {
        if (Begin == std::numeric_limits<qint64>::min())
            throw SystemError(SystemError::Overflow);
        d->checkPort();
        auto file = std::make_unique<BinaryFile>();
        file->open(Filename);
        if (Ext)
            file->seek(Begin);
        d->m_downMode = true;
        d->take(*address);
        d->m_restOffset = Begin - 1;
        // The file it replaces could never be closed again otherwise.
        d->m_transferFile = std::move(file);
        d->StartSession();
    } catch (const SystemError &error) {
        (void)raise(&ZuFTPDownLoad::OnError, qint16(error.number()), error.description());
    }
    return {};
}

QVariant ZuFTPDownLoad::GetAttrs(const QVariant &Url)
{
    const std::optional<Private::Target> address = d->target(Url);
    if (!address)
        return {};
    try {
        d->checkPort();
        d->m_downMode = false;
        d->take(*address);
        d->StartSession();
    } catch (const SystemError &error) {
        (void)raise(&ZuFTPDownLoad::OnError, qint16(error.number()), error.description());
    }
    return {};
}

QVariant ZuFTPDownLoad::ZUClose()
{
    guarded([&] {
        // Whatever of the session still runs stops without a word.
        d->endSession();
        d->Wk->Close();
        d->Ws->Close();
        if (d->m_transferFile)
            d->m_transferFile->close();
    });
    return {};
}

// The session

void ZuFTPDownLoad::Private::checkPort() const
{
    if (m_port < 0 || m_port > 65535)
        throw SystemError(SystemError::InvalidPropertyValue);
}

void ZuFTPDownLoad::Private::StartSession()
{
    ++m_session;
    m_phase = Phase::Dialogue;
    m_closeReported = false;
    m_listingSizeWanted = !m_downMode;
    m_step = Step::Greeting;
    m_awaiting = true;
    m_fileSize.reset();
    m_expected = -1;
    m_received = 0;
    m_serverOffset = 0;
    m_transferStarted = false;
    m_restarted = false;
    if (m_downMode)
        m_fileSession = m_session;
    // What an earlier session left running is no longer wanted.
    Wk->Close();
    Ws->Close();
    m_replies.clear();
    noteActivity();
    m_watchdog->stop();
    checkTimeOut();
    try {
        Wk->setRemoteHost(m_host.toString());
        Wk->setRemotePort(m_port);
        Wk->Connect();
    } catch (const SystemError &) {
        // The caller reports it; nothing of this session may report again.
        endSession();
        throw;
    }
}

quint32 ZuFTPDownLoad::Private::endSession()
{
    m_phase = Phase::Idle;
    m_awaiting = false;
    m_watchdog->stop();
    wakeWaits();
    return ++m_session;
}

void ZuFTPDownLoad::Private::checkTimeOut()
{
    if (m_phase == Phase::Idle || m_timeOut <= 0)
        return;
    const qint64 left = qint64(m_timeOut) * 1000 - m_sinceActivity.elapsed();
    if (left > 0) {
        m_watchdog->start(int(qMin<qint64>(left, std::numeric_limits<int>::max())));
        return;
    }
    (void)failSession(qint16(Winsock::TimedOut), timedOutText(), true);
}

bool ZuFTPDownLoad::Private::failSession(qint16 number, const QString &description, bool closeFile)
{
    const quint32 failed = m_session;
    const quint32 session = endSession();
    if (!q->raise(&ZuFTPDownLoad::OnError, number, description))
        return false;
    // Inside the event the host may have started the next session on both connections.
    if (session == m_session) {
        Wk->Close();
        Ws->Close();
    }
    if (closeFile && m_fileSession == failed && m_transferFile)
        m_transferFile->close();
    return true;
}

bool ZuFTPDownLoad::Private::waitUntil(const std::function<bool()> &done)
{
    QPointer<ZuFTPDownLoad> self(q);
    // Some state changes come without an event of their own; look again now and then.
    QTimer heartbeat;
    heartbeat.start(25);
    ++m_waits;
    while (!done()) {
        MessageLoop::yieldAndWait();
        if (!self)
            return false;
    }
    --m_waits;
    return true;
}

// A wait loop sleeps until an event comes; a condition that turns true inside
// a posted event must not leave it asleep.
void ZuFTPDownLoad::Private::wakeWaits() const
{
    if (m_waits == 0)
        return;
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

bool ZuFTPDownLoad::Private::WaitReply()
{
    const quint32 session = m_session;
    m_replyArrived = false;
    const bool alive = waitUntil([this, session] {
        return m_replyArrived || session != m_session || isFinished(Wk->State());
    });
    if (!alive || session != m_session || m_phase != Phase::Dialogue)
        return false;
    if (m_replyArrived)
        return true;
    // The control connection ended before the reply came; an error of the socket
    // is reported by Wk_Error, a close of ours needs no report.
    if (Wk->State() == Winsock::PeerClosing)
        (void)reportServerClosed();
    return false;
}

bool ZuFTPDownLoad::Private::reportServerClosed()
{
    if (m_phase != Phase::Dialogue || std::exchange(m_closeReported, true))
        return true;
    return failSession(qint16(Winsock::ConnectionAborted), Winsock::errorText(Winsock::ConnectionAborted));
}

// The control connection

void ZuFTPDownLoad::Private::Wk_Close()
{
    // A server that hangs up before the session is over leaves the host
    // waiting for an event that would never come.
    if (reportServerClosed())
        wakeWaits();
}

void ZuFTPDownLoad::Private::sendCommand(Step step, const QString &command)
{
    // A line break inside a value would smuggle a command of its own to the server.
    if (!fitsInCommand(command))
        throw SystemError(SystemError::InvalidProcedureCall);
    m_step = step;
    m_awaiting = true;
    noteActivity();
    Wk->SendData(command + QStringLiteral("\r\n"));
}

void ZuFTPDownLoad::Private::Wk_Connect()
{
    try {
        noteActivity();
        if (!WaitReply())
            return;
        sendCommand(Step::User, QStringLiteral("USER ") + m_loginUser.value_or(m_user.toString()));
        if (!WaitReply())
            return;
        if (m_lastCode == 331) {
            sendCommand(Step::Password, QStringLiteral("PASS ") + m_loginPassword.value_or(m_password.toString()));
            if (!WaitReply())
                return;
        }
        sendCommand(Step::RestartProbe, QStringLiteral("REST 100"));
        if (!WaitReply())
            return;
        if (m_lastCode == 350)
            m_serverOffset = 100;
        sendCommand(Step::Type, m_downMode ? QStringLiteral("TYPE I") : QStringLiteral("TYPE A"));
        if (!WaitReply())
            return;
        // The file's own size, where the server tells it (RFC 3659): what
        // the transfer must bring, and all that a probe asks.
        sendCommand(Step::Size, QStringLiteral("SIZE ") + m_path.toString());
        if (!WaitReply())
            return;
        if (!m_downMode && m_fileSize) {
            (void)endProbe(m_fileSize);
            return;
        }
        // PASV speaks of IPv4 addresses only; on IPv6 the extended form is the one there is.
        if (Wk->RemoteHostIP().contains(u':')) {
            sendCommand(Step::ExtendedPassive, QStringLiteral("EPSV"));
            WaitReply();
            return;
        }
        sendCommand(Step::Passive, QStringLiteral("PASV"));
        if (!WaitReply() || m_lastCode == 227)
            return;
        sendCommand(Step::ExtendedPassive, QStringLiteral("EPSV"));
        WaitReply();
    } catch (const SystemError &error) {
        // The dialogue cannot go on; the session ends with the failure.
        (void)failSession(qint16(error.number()), error.description());
    }
}

void ZuFTPDownLoad::Private::Wk_DataArrival(qint32)
{
    const quint32 session = m_session;
    noteActivity();
    try {
        m_replies.append(Wk->GetDataBytes());
    } catch (const SystemError &error) {
        (void)failSession(qint16(error.number()), error.description());
        return;
    }
    while (const std::optional<QByteArray> reply = m_replies.takeReply()) {
        if (!dispatchReply(CodePage::toUnicode(*reply)) || session != m_session)
            return;
    }
    // A reply past any sensible length is not waited out.
    if (m_replies.tooLong() && m_phase != Phase::Idle)
        (void)failSession(qint16(Winsock::NoBufferSpace), Winsock::errorText(Winsock::NoBufferSpace));
}

void ZuFTPDownLoad::Private::Wk_Error(qint16 Number, const QString &Description)
{
    // Once the server has said 226 the control connection has done its part.
    if (m_phase != Phase::Dialogue)
        return;
    m_closeReported = true;
    (void)failSession(Number, Description);
}

ZuFTPDownLoad::Private::Verdict ZuFTPDownLoad::Private::verdict(int code) const
{
    // Refusals that a step can do without; 421 always means the server is leaving.
    const Verdict refusal = code >= 400 && code < 600 && code != 421 ? Verdict::Refused : Verdict::Wrong;
    switch (m_step) {
    case Step::Greeting:
        return code == 220 ? Verdict::Done : code == 120 ? Verdict::Preliminary : Verdict::Wrong;
    case Step::User:
        return code == 230 || code == 331 ? Verdict::Done : Verdict::Wrong;
    case Step::Password:
        return code == 230 || code == 202 ? Verdict::Done : Verdict::Wrong;
    case Step::RestartProbe:
    case Step::Restart:
        return code == 350 ? Verdict::Done : refusal;
    case Step::Type:
        return code == 200 ? Verdict::Done : refusal;
    case Step::Size:
        return code == 213 ? Verdict::Done : refusal;
    case Step::Passive:
        // Whatever else PASV gets, EPSV is asked next.
        return code == 227 ? Verdict::Done : code == 421 ? Verdict::Wrong : Verdict::Refused;
    case Step::ExtendedPassive:
        return code == 229 ? Verdict::Done : Verdict::Wrong;
    case Step::Retrieve:
    case Step::List:
        if (code == 110 || code == 125 || code == 150)
            return Verdict::Preliminary;
        return code == 226 || code == 250 ? Verdict::Done : Verdict::Wrong;
    }
    return Verdict::Wrong;
}

bool ZuFTPDownLoad::Private::failOnReply(int code, const QString &reply)
{
    if (code == 550)
        return failSession(550, addressNotFoundText());
    if (code == 0)
        return failSession(qint16(SystemError::InvalidProcedureCall),
                           SystemError(SystemError::InvalidProcedureCall).description());
    return failSession(qint16(code), replyText(reply));
}

bool ZuFTPDownLoad::Private::dispatchReply(const QString &reply)
{
    // After the 226 the server's words change nothing.
    if (m_phase != Phase::Dialogue)
        return true;
    const int code = replyCode(reply);
    m_lastCode = code;
    // A reply that answers no command is as wrong as one that answers another.
    const Verdict answer = m_awaiting ? verdict(code) : Verdict::Wrong;
    if (answer == Verdict::Wrong)
        return failOnReply(code, reply);
    if (answer == Verdict::Preliminary)
        return m_step == Step::Retrieve || m_step == Step::List ? transferBegins(code, reply) : true;
    m_awaiting = false;
    if (answer == Verdict::Done) {
        try {
            if (m_step == Step::Retrieve || m_step == Step::List)
                return FinishTransfer();
            if (m_step == Step::Size)
                m_fileSize = sizeFromSizeReply(reply);
            else if (m_step == Step::Passive)
                openDataConnection(parsePassiveReply(reply).port);
            else if (m_step == Step::ExtendedPassive)
                openDataConnection(parseExtendedPassiveReply(reply));
        } catch (const SystemError &error) {
            // Without a data connection the session cannot go on.
            return failSession(qint16(error.number()), error.description());
        }
    }
    m_replyArrived = true;
    wakeWaits();
    return true;
}

void ZuFTPDownLoad::Private::openDataConnection(qint32 port)
{
    // The data connection goes where the control connection went, whatever host a 227 names.
    const QString peer = Wk->RemoteHostIP();
    if (peer.isEmpty())
        throw SystemError(Winsock::NotConnected, Winsock::errorText(Winsock::NotConnected));
    PickDataPort();
    Ws->Close();
    Ws->setRemoteHost(peer.contains(u':') ? u'[' + peer + u']' : peer);
    Ws->setRemotePort(port);
    Ws->Connect();
}

void ZuFTPDownLoad::Private::PickDataPort()
{
    // The data connection goes to the control connection's peer, so it leaves
    // from the control connection's local address; only that one is tried.
    const QString localIP = Wk->LocalIP();
    for (qint32 n = 1500; n <= 65536; ++n) {
        try {
            Ws->Bind(n, localIP);
            Ws->Listen();
            break;
        } catch (const SystemError &) {
        }
    }
    try {
        Ws->Close();
    } catch (const SystemError &) {
    }
}

bool ZuFTPDownLoad::Private::transferBegins(int code, const QString &reply)
{
    if (std::exchange(m_transferStarted, true) || code == 110)
        return true;
    std::optional<qint64> size = m_fileSize;
    if (!size && code == 150) {
        try {
            size = transferSizeFromReply(reply);
        } catch (const SystemError &) {
            // A size that cannot be read is one that was not told.
        }
    }
    if (!size)
        return true;
    m_remoteSize = *size;
    m_expected = *size;
    m_listingSizeWanted = false;
    return q->raise(&ZuFTPDownLoad::UrlOK, m_remoteSize);
}

bool ZuFTPDownLoad::Private::endProbe(std::optional<qint64> size)
{
    m_remoteSize = size.value_or(0);
    endSession();
    Wk->Close();
    Ws->Close();
    if (!std::exchange(m_listingSizeWanted, false))
        return true;
    if (size)
        return q->raise(&ZuFTPDownLoad::UrlOK, m_remoteSize);
    return q->raise(&ZuFTPDownLoad::OnError, qint16(1), sizeUnknownText());
}

// The data connection

void ZuFTPDownLoad::Private::Ws_Connect()
{
    try {
        noteActivity();
        if (m_downMode) {
            if (m_restOffset > -100) {
                sendCommand(Step::Restart, QStringLiteral("REST ") + QString::number(m_restOffset));
                if (!WaitReply())
                    return;
                if (m_lastCode == 350) {
                    m_serverOffset = qMax<qint64>(0, m_restOffset);
                } else {
                    m_serverOffset = 0;
                    if (m_restOffset > 0)
                        restartFile();
                }
            }
            sendCommand(Step::Retrieve, QStringLiteral("RETR ") + m_path.toString());
        } else {
            sendCommand(Step::Restart, QStringLiteral("REST 0"));
            if (!WaitReply())
                return;
            sendCommand(Step::List, QStringLiteral("LIST ") + m_path.toString());
        }
    } catch (const SystemError &error) {
        (void)failSession(qint16(error.number()), error.description());
    }
}

void ZuFTPDownLoad::Private::restartFile()
{
    // The server sends the whole file from its first byte, which replaces
    // what is there; the part beyond the new end goes only once the download
    // is complete, so a failed one loses nothing that was on disk.
    if (!m_transferFile || !m_transferFile->isOpen())
        throw SystemError(SystemError::BadFileNameOrNumber);
    m_transferFile->seek(1);
    m_restarted = true;
}

void ZuFTPDownLoad::Private::Ws_DataArrival(qint32)
{
    if (m_phase == Phase::Idle)
        return;
    noteActivity();
    if (m_downMode) {
        try {
            if (!writeChunk(Ws->GetDataBytes()))
                return;
        } catch (const SystemError &error) {
            (void)failSession(qint16(error.number()), error.description());
            return;
        }
        wakeWaits();
        return;
    }
    // A probe reads the first piece of the listing and is done.
    const QString text = Ws->GetDataText();
    std::optional<qint64> size;
    try {
        size = sizeFromListing(text);
    } catch (const SystemError &) {
    }
    (void)endProbe(size);
}

bool ZuFTPDownLoad::Private::writeChunk(const QByteArray &bytes)
{
    try {
        if (!m_transferFile || !m_transferFile->isOpen())
            throw SystemError(SystemError::BadFileNameOrNumber);
        m_transferFile->writeBytes(bytes);
    } catch (const SystemError &error) {
        // A file that cannot take the data ends the download; it never counts as complete.
        return failSession(qint16(error.number()), error.description());
    }
    m_received += bytes.size();
    return q->raise(&ZuFTPDownLoad::GetedData);
}

void ZuFTPDownLoad::Private::Ws_Error(qint16 Number, const QString &Description)
{
    // A download without its data connection can never end well; one report ends it.
    if (m_phase != Phase::Idle)
        (void)failSession(Number, Description);
}

bool ZuFTPDownLoad::Private::cutShort() const
{
    // A server that names the whole size after a restart, or only the rest,
    // sends at least this much.
    return m_expected >= 0 && m_received < m_expected - m_serverOffset;
}

bool ZuFTPDownLoad::Private::FinishTransfer()
{
    // The server may hang up the control connection once it has said 226.
    m_phase = Phase::Finishing;
    const quint32 session = m_session;
    if (!waitUntil([this, session] { return session != m_session || isDone(Ws->State()); }))
        return false;
    if (session != m_session)
        return true;
    if (!m_downMode)
        return endProbe(std::nullopt);
    if (Ws->BytesReceived() > 0) {
        if (!writeChunk(Ws->GetDataBytes()))
            return false;
        if (session != m_session)
            return true;
    }
    // Written bytes still in the file's buffer would otherwise fail unseen at its close.
    if (m_transferFile && m_transferFile->isOpen() && !m_transferFile->file().flush())
        return failSession(qint16(SystemError::DeviceIOError), SystemError(SystemError::DeviceIOError).description());
    if (cutShort())
        return failSession(qint16(Winsock::ConnectionAborted), Winsock::errorText(Winsock::ConnectionAborted));
    if (m_restarted && m_transferFile && m_transferFile->isOpen()
        && !m_transferFile->file().resize(m_transferFile->position() - 1))
        return failSession(qint16(SystemError::DeviceIOError), SystemError(SystemError::DeviceIOError).description());
    Ws->Close();
    const quint32 next = endSession();
    if (!q->raise(&ZuFTPDownLoad::Ended))
        return false;
    // A session the host started inside Ended owns both connections now,
    // and the file too when it was a download.
    if (next == m_session) {
        Wk->Close();
        Ws->Close();
    }
    if (m_fileSession == session && m_transferFile)
        m_transferFile->close();
    return true;
}
