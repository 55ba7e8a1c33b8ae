#include "ZuFTPDownLoad.h"

#include "BinaryFile.h"
#include "FtpReplies.h"
#include "FtpReplyReader.h"
#include "CodePage.h"
#include "FrmAbout.h"
#include "LeadingNumber.h"
#include "MaskColor.h"
#include "MessageLoop.h"
#include "Winsock.h"
#include "AuthorInfo.h"
#include "DownloadTexts.h"
#include "UrlParts.h"

#include <QAbstractEventDispatcher>
#include <QFile>
#include <QPainter>
#include <QPointer>
#include <QTimer>


namespace {

const QString SizeUnknown = QStringLiteral("文件大小未知");
const QString AddressNotFound = QStringLiteral("地址未找到");

bool isFinished(qint16 state)
{
    return state == Winsock::Closed || state == Winsock::PeerClosing || state == Winsock::Error;
}

// A wait loop sleeps until an event comes; a condition that turns true inside
// a posted event must not leave it asleep.
void wakeWaits()
{
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

} // namespace

ZuFTPDownLoad::ZuFTPDownLoad(QWidget *parent)
    : ControlBase(parent)
    , Wk(new Winsock(this))
    , Ws(new Winsock(this))
    , m_replies(std::make_unique<FtpReplyReader>())
{
    setSizeTwips(WidthTwips, HeightTwips);
    setAccessibleName(componentTitle());
    connect(Wk, &Winsock::connected, this, &ZuFTPDownLoad::Wk_Connect);
    connect(Wk, &Winsock::dataArrival, this, &ZuFTPDownLoad::Wk_DataArrival);
    connect(Wk, &Winsock::errorOccurred, this, &ZuFTPDownLoad::Wk_Error);
    connect(Wk, &Winsock::peerClosed, this, &ZuFTPDownLoad::Wk_Close);
    connect(Ws, &Winsock::connected, this, &ZuFTPDownLoad::Ws_Connect);
    connect(Ws, &Winsock::dataArrival, this, &ZuFTPDownLoad::Ws_DataArrival);
    connect(Ws, &Winsock::errorOccurred, this, &ZuFTPDownLoad::Ws_Error);
    connect(Ws, &Winsock::peerClosed, this, [] { wakeWaits(); });
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

void ZuFTPDownLoad::setHost(const QVariant &host)
{
    put(m_host, host, "Host");
}

void ZuFTPDownLoad::setPath(const QVariant &path)
{
    put(m_path, path, "Path");
}

void ZuFTPDownLoad::setUser(const QVariant &user)
{
    put(m_user, user, "User");
}

void ZuFTPDownLoad::setPassword(const QVariant &password)
{
    put(m_password, password, "Password");
}

void ZuFTPDownLoad::setPort(qint32 port)
{
    put(m_port, port, "Port");
}

void ZuFTPDownLoad::setStart(qint32 start)
{
    put(m_start, start, "Start");
}

QVariant ZuFTPDownLoad::State() const
{
    return QVariant::fromValue(Ws->State());
}

QVariant ZuFTPDownLoad::State1() const
{
    return QVariant::fromValue(Wk->State());
}

QVariant ZuFTPDownLoad::State2() const
{
    return QVariant::fromValue(Ws->State());
}

qint64 ZuFTPDownLoad::HsDown()
{
    return guarded([&]() -> qint64 {
        if (!m_transferFile || !m_transferFile->isOpen())
            throw SystemError(SystemError::BadFileNameOrNumber);
        return m_transferFile->position() - 1;
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
    m_aboutShown = true;
}

void ZuFTPDownLoad::controlShown()
{
    setMaskColor(downloadMaskColor());
    m_user = QStringLiteral("anonymous");
    m_password = defaultPassword();
    m_port = 21;
    if (!m_aboutShown) {
        // Set first: a Show that comes while the box is up must not open another.
        m_aboutShown = true;
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

// A call that is refused leaves the running session as it was, so every
// check comes before the first change.
QVariant ZuFTPDownLoad::DownTo(const QVariant &Url, const QString &Filename, qint64 Begin, bool Ext)
{
    const std::optional<UrlParts> address = SplitUrl(Url.toString());
    if (!address || address->badPort) {
        (void)raise(&ZuFTPDownLoad::OnError, qint16(1),
                    address ? invalidPortText(address->port) : invalidAddressText());
        return {};
    }
    try {
        if (Begin == std::numeric_limits<qint64>::min())
            throw SystemError(SystemError::Overflow);
        checkPort();
        auto file = std::make_unique<BinaryFile>();
        file->open(Filename);
        if (Ext)
            file->seek(Begin);
        m_downMode = true;
        m_host = address->host;
        m_path = address->path;
        m_restOffset = Begin - 1;
        // The file it replaces could never be closed again otherwise.
        m_transferFile = std::move(file);
        StartSession();
    } catch (const SystemError &error) {
        (void)reportError(error);
    }
    return {};
}

QVariant ZuFTPDownLoad::GetAttrs(const QVariant &Url)
{
    const std::optional<UrlParts> address = SplitUrl(Url.toString());
    if (!address || address->badPort) {
        (void)raise(&ZuFTPDownLoad::OnError, qint16(1),
                    address ? invalidPortText(address->port) : invalidAddressText());
        return {};
    }
    try {
        checkPort();
        m_downMode = false;
        m_host = address->host;
        m_path = address->path;
        StartSession();
    } catch (const SystemError &error) {
        (void)reportError(error);
    }
    return {};
}

QVariant ZuFTPDownLoad::ZUClose()
{
    guarded([&] {
        // Whatever of the session still runs stops without a word.
        ++m_session;
        m_sessionActive = false;
        Wk->Close();
        Ws->Close();
        if (m_transferFile)
            m_transferFile->close();
        wakeWaits();
    });
    return {};
}

// The control connection

void ZuFTPDownLoad::checkPort() const
{
    if (m_port < 0 || m_port > 65535)
        throw SystemError(SystemError::InvalidPropertyValue);
}

void ZuFTPDownLoad::StartSession()
{
    ++m_session;
    m_sessionActive = true;
    m_closeReported = false;
    m_listingSizeWanted = !m_downMode;
    m_step = Step::Greeting;
    if (m_downMode)
        m_fileSession = m_session;
    // What an earlier session left running is no longer wanted.
    Wk->Close();
    Ws->Close();
    m_replies->clear();
    Wk->setRemoteHost(m_host.toString());
    Wk->setRemotePort(m_port);
    Wk->Connect();
}

bool ZuFTPDownLoad::waitUntil(const std::function<bool()> &done)
{
    QPointer<ZuFTPDownLoad> self(this);
    // Some state changes come without an event of their own; look again now and then.
    QTimer heartbeat;
    heartbeat.start(25);
    while (!done()) {
        MessageLoop::yieldAndWait();
        if (!self)
            return false;
    }
    return true;
}

bool ZuFTPDownLoad::WaitReply()
{
    const quint32 session = m_session;
    m_replyArrived = false;
    const bool alive = waitUntil([this, session] {
        return m_replyArrived || session != m_session || isFinished(Wk->State());
    });
    if (!alive || session != m_session || !m_sessionActive)
        return false;
    if (m_replyArrived)
        return true;
    // The control connection ended before the reply came; an error of the socket
    // has been reported by Wk_Error, a close of ours needs no report.
    if (Wk->State() == Winsock::PeerClosing)
        (void)reportServerClosed();
    return false;
}

bool ZuFTPDownLoad::reportServerClosed()
{
    if (!m_sessionActive || std::exchange(m_closeReported, true))
        return true;
    return failSession(qint16(Winsock::ConnectionAborted), Winsock::errorText(Winsock::ConnectionAborted));
}

bool ZuFTPDownLoad::failSession(qint16 number, const QString &description)
{
    // The session is over: what of it still runs or waits stops.
    const quint32 session = ++m_session;
    m_sessionActive = false;
    wakeWaits();
    if (!raise(&ZuFTPDownLoad::OnError, number, description))
        return false;
    // Inside the event the host may have started the next session on both connections.
    if (session == m_session) {
        Wk->Close();
        Ws->Close();
    }
    return true;
}

void ZuFTPDownLoad::Wk_Close()
{
    // A server that hangs up before the session is over leaves the host
    // waiting for an event that would never come.
    if (reportServerClosed())
        wakeWaits();
}

void ZuFTPDownLoad::sendCommand(Step step, const QString &command)
{
    // A line break inside a value would smuggle a command of its own to the server.
    if (command.contains(u'\r') || command.contains(u'\n'))
        throw SystemError(SystemError::InvalidProcedureCall);
    m_step = step;
    Wk->SendData(command + QStringLiteral("\r\n"));
}

bool ZuFTPDownLoad::reportError(const SystemError &error)
{
    return raise(&ZuFTPDownLoad::OnError, qint16(error.number()), error.description());
}

void ZuFTPDownLoad::Wk_Connect()
{
    try {
        if (!WaitReply())
            return;
        sendCommand(Step::User, QStringLiteral("USER ") + m_user.toString());
        if (!WaitReply())
            return;
        sendCommand(Step::Password, QStringLiteral("PASS ") + m_password.toString());
        if (!WaitReply())
            return;
        sendCommand(Step::RestartProbe, QStringLiteral("REST 100"));
        if (!WaitReply())
            return;
        sendCommand(Step::Type, m_downMode ? QStringLiteral("TYPE I") : QStringLiteral("TYPE A"));
        if (!WaitReply())
            return;
        // PASV speaks of IPv4 addresses only; on IPv6 the extended form is the one there is.
        if (Wk->RemoteHostIP().contains(u':')) {
            sendCommand(Step::ExtendedPassive, QStringLiteral("EPSV"));
            WaitReply();
            return;
        }
        sendCommand(Step::Passive, QStringLiteral("PASV"));
        if (!WaitReply() || !(m_lastCode >= 400 && m_lastCode < 600))
            return;
        sendCommand(Step::ExtendedPassive, QStringLiteral("EPSV"));
        WaitReply();
    } catch (const SystemError &error) {
        // The dialogue cannot go on; the session ends with the failure.
        (void)failSession(qint16(error.number()), error.description());
    }
}

void ZuFTPDownLoad::Wk_DataArrival(qint32)
{
    const quint32 session = m_session;
    try {
        m_replies->append(Wk->GetDataBytes());
    } catch (const SystemError &error) {
        (void)reportError(error);
        return;
    }
    while (const std::optional<QByteArray> reply = m_replies->takeReply()) {
        if (!dispatchReply(CodePage::toUnicode(*reply)) || session != m_session)
            return;
        m_replyArrived = true;
        wakeWaits();
    }
    // A reply past any sensible length is not waited out.
    if (m_replies->tooLong())
        (void)failSession(qint16(Winsock::NoBufferSpace), Winsock::errorText(Winsock::NoBufferSpace));
}

void ZuFTPDownLoad::Wk_Error(qint16 Number, const QString &Description)
{
    m_closeReported = true;
    (void)failSession(Number, Description);
}

// The text of a reply for the host: without its code.
static QString replyText(const QString &reply)
{
    const QString text = reply.mid(4).trimmed();
    return text.isEmpty() ? reply.trimmed() : text;
}

bool ZuFTPDownLoad::endsSession(double code) const
{
    if (code < 400 || code >= 600 || !m_sessionActive)
        return false;
    // The probe's restart and the type are asked for what they may bring; a
    // refused restart before the transfer starts it over (Ws_Connect).
    // A refused PASV is asked again as EPSV (Wk_Connect).
    return code == 421
        || !(m_step == Step::RestartProbe || m_step == Step::Type || m_step == Step::Restart
             || m_step == Step::Passive);
}

bool ZuFTPDownLoad::dispatchReply(const QString &reply)
{
    try {
        const double code = LeadingNumber(reply);
        m_lastCode = code;
        if (code == 226)
            return FinishTransfer();
        if (code == 227 || code == 229) {
            try {
                if (code == 227)
                    openDataConnection(parsePassiveReply(reply).port);
                else
                    openDataConnection(parseExtendedPassiveReply(reply));
            } catch (const SystemError &error) {
                // Without a data connection the session cannot go on.
                return failSession(qint16(error.number()), error.description());
            }
        } else if (code == 550) {
            return failSession(550, AddressNotFound);
        } else if (code == 150) {
            return sizeStep(reply);
        } else if (endsSession(code)) {
            return failSession(qint16(code), replyText(reply));
        }
    } catch (const SystemError &error) {
        return reportError(error);
    }
    return true;
}

void ZuFTPDownLoad::openDataConnection(qint32 port)
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

void ZuFTPDownLoad::PickDataPort()
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

bool ZuFTPDownLoad::sizeStep(const QString &reply)
{
    if (const std::optional<qint64> size = transferSizeFromReply(reply)) {
        m_remoteSize = *size;
        m_listingSizeWanted = false;
        return raise(&ZuFTPDownLoad::UrlOK, m_remoteSize);
    }
    if (!m_listingSizeWanted)
        return raise(&ZuFTPDownLoad::OnError, qint16(1), SizeUnknown);
    return true;
}

// The data connection

void ZuFTPDownLoad::Ws_Connect()
{
    try {
        if (m_downMode) {
            if (m_restOffset > -100) {
                sendCommand(Step::Restart, QStringLiteral("REST ") + QString::number(m_restOffset));
                if (!WaitReply())
                    return;
                if (m_restOffset > 0 && m_lastCode >= 400 && m_lastCode < 600)
                    restartFile();
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

void ZuFTPDownLoad::restartFile()
{
    // The server will send the whole file from its first byte, so it replaces what is there.
    if (!m_transferFile || !m_transferFile->isOpen())
        throw SystemError(SystemError::BadFileNameOrNumber);
    m_transferFile->resize(0);
    m_transferFile->seek(1);
}

void ZuFTPDownLoad::Ws_DataArrival(qint32)
{
    try {
        if (m_downMode) {
            if (!writeChunk(Ws->GetDataBytes()))
                return;
        } else {
            const QString text = Ws->GetDataText();
            m_sessionActive = false;
            Ws->Close();
            Wk->Close();
            if (!readListing(text))
                return;
        }
    } catch (const SystemError &error) {
        if (!reportError(error))
            return;
    }
    wakeWaits();
}

bool ZuFTPDownLoad::writeChunk(const QByteArray &bytes)
{
    try {
        if (!m_transferFile || !m_transferFile->isOpen())
            throw SystemError(SystemError::BadFileNameOrNumber);
        m_transferFile->writeBytes(bytes);
    } catch (const SystemError &error) {
        // A file that cannot take the data ends the download; it never counts as complete.
        return failSession(qint16(error.number()), error.description());
    }
    return raise(&ZuFTPDownLoad::GetedData);
}

bool ZuFTPDownLoad::readListing(const QString &text)
{
    const std::optional<qint64> size = sizeFromListing(text);
    m_remoteSize = size.value_or(0);
    if (!std::exchange(m_listingSizeWanted, false))
        return true;
    if (size)
        return raise(&ZuFTPDownLoad::UrlOK, m_remoteSize);
    return raise(&ZuFTPDownLoad::OnError, qint16(1), SizeUnknown);
}

void ZuFTPDownLoad::Ws_Error(qint16 Number, const QString &Description)
{
    // A download without its data connection can never end well; one report ends it.
    (void)failSession(Number, Description);
}

bool ZuFTPDownLoad::FinishTransfer()
{
    // The server may hang up the control connection once it has said 226.
    m_sessionActive = false;
    const quint32 session = m_session;
    if (!waitUntil([this, session] { return session != m_session || isFinished(Ws->State()); }))
        return false;
    if (session != m_session)
        return true;
    const bool failed = Ws->State() == Winsock::Error;
    if (m_downMode && !failed && Ws->BytesReceived() > 0) {
        if (!writeChunk(Ws->GetDataBytes()))
            return false;
        if (session != m_session)
            return true;
    }
    // Written bytes still in the file's buffer would otherwise fail unseen at its close.
    if (m_downMode && !failed && m_transferFile && m_transferFile->isOpen() && !m_transferFile->file().flush())
        return failSession(qint16(SystemError::DeviceIOError), SystemError(SystemError::DeviceIOError).description());
    Ws->Close();
    if (m_downMode && !failed) {
        if (!raise(&ZuFTPDownLoad::Ended))
            return false;
    }
    if (session == m_session && std::exchange(m_listingSizeWanted, false)) {
        if (!raise(&ZuFTPDownLoad::OnError, qint16(1), SizeUnknown))
            return false;
    }
    // A session the host started inside Ended owns both connections now,
    // and the file too when it was a download.
    if (session == m_session) {
        Wk->Close();
        Ws->Close();
    }
    if (m_fileSession == session && m_transferFile)
        m_transferFile->close();
    return true;
}
