#include "ZuFTPDownLoad.h"

#include "BinaryFile.h"
#include "FtpReplies.h"
#include "CodePage.h"
#include "FrmAbout.h"
#include "Int32.h"
#include "LeadingNumber.h"
#include "MessageLoop.h"
#include "Winsock.h"
#include "ZuAuthor.h"

#include <QAbstractEventDispatcher>
#include <QPainter>
#include <QPointer>
#include <QTimer>


namespace {

const QString InvalidAddress = QStringLiteral("无效的地址");
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
{
    setSizeTwips(WidthTwips, HeightTwips);
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

qint32 ZuFTPDownLoad::HsDown()
{
    return guarded([&]() -> qint32 {
        if (!m_transferFile || !m_transferFile->isOpen())
            throw SystemError(SystemError::BadFileNameOrNumber);
        return toInt32(double(m_transferFile->position() - 1));
    });
}

QVariant ZuFTPDownLoad::Writer() const
{
    return ZuAuthor::writer();
}

QVariant ZuFTPDownLoad::Email() const
{
    return ZuAuthor::email();
}

QVariant ZuFTPDownLoad::HomePage() const
{
    return ZuAuthor::homePage();
}

QVariant ZuFTPDownLoad::WriteLetter()
{
    ZuAuthor::writeLetter(this);
    return {};
}

QVariant ZuFTPDownLoad::VisitHomePage()
{
    ZuAuthor::visitHomePage(this);
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
    setMaskColor(QColor(255, 252, 255));
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
    painter.setBrush(QColor(255, 252, 255));
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

bool ZuFTPDownLoad::SplitUrl(const QString &url, QString &host, QString &path)
{
    const qsizetype p = url.indexOf(QLatin1String("://")) + 1;
    const QString rest = p > 0 && p < url.size() ? url.right(url.size() - p - 2) : url;
    const qsizetype q = rest.indexOf(u'/') + 1;
    if (q <= 0)
        return false;
    path = rest.mid(q - 1);
    host = rest.left(q - 1);
    return true;
}

bool ZuFTPDownLoad::takeUrl(const QVariant &url)
{
    QString host, path;
    if (!SplitUrl(url.toString(), host, path)) {
        emit OnError(1, InvalidAddress);
        return false;
    }
    m_host = host;
    m_path = path;
    return true;
}

QVariant ZuFTPDownLoad::DownTo(const QVariant &Url, const QString &Filename, qint32 Begin, bool Ext)
{
    m_downMode = true;
    if (!takeUrl(Url))
        return {};
    try {
        if (Begin == std::numeric_limits<qint32>::min())
            throw SystemError(SystemError::Overflow);
        m_restOffset = Begin - 1;
        auto file = std::make_unique<BinaryFile>();
        file->open(Filename);
        // The file it replaces could never be closed again otherwise.
        m_transferFile = std::move(file);
        if (Ext)
            m_transferFile->seek(Begin);
        StartSession();
    } catch (const SystemError &error) {
        reportError(error);
    }
    return {};
}

QVariant ZuFTPDownLoad::GetAttrs(const QVariant &Url)
{
    m_downMode = false;
    if (!takeUrl(Url))
        return {};
    try {
        StartSession();
    } catch (const SystemError &error) {
        reportError(error);
    }
    return {};
}

QVariant ZuFTPDownLoad::ZUClose()
{
    guarded([&] {
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

void ZuFTPDownLoad::StartSession()
{
    ++m_session;
    m_sessionActive = true;
    m_closeReported = false;
    m_listingSizeWanted = !m_downMode;
    Wk->Close();
    m_replies.clear();
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
    if (!alive || session != m_session)
        return false;
    if (m_replyArrived)
        return true;
    // The control connection ended before the reply came; an error of the socket
    // has been reported by Wk_Error, a close of ours needs no report.
    if (Wk->State() == Winsock::PeerClosing)
        reportServerClosed();
    return false;
}

void ZuFTPDownLoad::reportServerClosed()
{
    if (!m_sessionActive || std::exchange(m_closeReported, true))
        return;
    m_sessionActive = false;
    emit OnError(qint16(Winsock::ConnectionAborted), Winsock::errorText(Winsock::ConnectionAborted));
}

void ZuFTPDownLoad::Wk_Close()
{
    // A server that hangs up before the session is over leaves the host
    // waiting for an event that would never come.
    reportServerClosed();
    wakeWaits();
}

void ZuFTPDownLoad::sendCommand(const QString &command)
{
    // A line break inside a value would smuggle a command of its own to the server.
    if (command.contains(u'\r') || command.contains(u'\n'))
        throw SystemError(SystemError::InvalidProcedureCall);
    Wk->SendData(command + QStringLiteral("\r\n"));
}

void ZuFTPDownLoad::reportError(const SystemError &error)
{
    emit OnError(qint16(error.number()), error.description());
}

void ZuFTPDownLoad::Wk_Connect()
{
    try {
        if (!WaitReply())
            return;
        sendCommand(QStringLiteral("USER ") + m_user.toString());
        if (!WaitReply())
            return;
        sendCommand(QStringLiteral("PASS ") + m_password.toString());
        if (!WaitReply())
            return;
        sendCommand(QStringLiteral("REST 100"));
        if (!WaitReply())
            return;
        sendCommand(m_downMode ? QStringLiteral("TYPE I") : QStringLiteral("TYPE A"));
        if (!WaitReply())
            return;
        sendCommand(QStringLiteral("PASV"));
        WaitReply();
    } catch (const SystemError &error) {
        reportError(error);
    }
}

void ZuFTPDownLoad::Wk_DataArrival(qint32)
{
    QPointer<ZuFTPDownLoad> self(this);
    try {
        m_replies.append(Wk->GetDataBytes());
    } catch (const SystemError &error) {
        reportError(error);
        return;
    }
    while (const std::optional<QByteArray> reply = m_replies.takeReply()) {
        dispatchReply(CodePage::toUnicode(*reply));
        if (!self)
            return;
        m_replyArrived = true;
        wakeWaits();
    }
}

void ZuFTPDownLoad::Wk_Error(qint16 Number, const QString &Description)
{
    m_closeReported = true;
    emit OnError(Number, Description);
    wakeWaits();
}

void ZuFTPDownLoad::dispatchReply(const QString &reply)
{
    try {
        const double code = LeadingNumber(reply);
        if (code == 226) {
            FinishTransfer();
        } else if (code == 227) {
            passiveMode(reply);
        } else if (code == 550) {
            m_sessionActive = false;
            emit OnError(550, AddressNotFound);
            Wk->Close();
            Ws->Close();
        } else if (code == 150) {
            sizeStep(reply);
        }
    } catch (const SystemError &error) {
        reportError(error);
    }
}

void ZuFTPDownLoad::passiveMode(const QString &reply)
{
    // The data connection goes where the control connection went, whatever host the reply names.
    const FtpPassiveAddress named = parsePassiveReply(reply);
    const QString peer = Wk->RemoteHostIP();
    if (peer.isEmpty())
        throw SystemError(Winsock::NotConnected, Winsock::errorText(Winsock::NotConnected));
    PickDataPort();
    Ws->Close();
    Ws->setRemoteHost(peer.contains(u':') ? u'[' + peer + u']' : peer);
    Ws->setRemotePort(named.port);
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

void ZuFTPDownLoad::sizeStep(const QString &reply)
{
    if (const std::optional<qint32> size = transferSizeFromReply(reply)) {
        m_remoteSize = *size;
        m_listingSizeWanted = false;
        emit UrlOK(m_remoteSize);
    } else if (!m_listingSizeWanted) {
        emit OnError(1, SizeUnknown);
    }
}

// The data connection

void ZuFTPDownLoad::Ws_Connect()
{
    try {
        if (m_downMode) {
            if (m_restOffset > -100) {
                sendCommand(QStringLiteral("REST ") + QString::number(m_restOffset));
                if (!WaitReply())
                    return;
            }
            sendCommand(QStringLiteral("RETR ") + m_path.toString());
        } else {
            sendCommand(QStringLiteral("REST 0"));
            if (!WaitReply())
                return;
            sendCommand(QStringLiteral("LIST ") + m_path.toString());
        }
    } catch (const SystemError &error) {
        reportError(error);
    }
}

void ZuFTPDownLoad::Ws_DataArrival(qint32)
{
    try {
        if (m_downMode) {
            writeChunk(Ws->GetDataBytes());
        } else {
            const QString text = Ws->GetDataText();
            m_sessionActive = false;
            Ws->Close();
            Wk->Close();
            readListing(text);
        }
    } catch (const SystemError &error) {
        reportError(error);
    }
    wakeWaits();
}

void ZuFTPDownLoad::writeChunk(const QByteArray &bytes)
{
    if (!m_transferFile || !m_transferFile->isOpen())
        throw SystemError(SystemError::BadFileNameOrNumber);
    m_transferFile->writeBytes(bytes);
    emit GetedData();
}

void ZuFTPDownLoad::readListing(const QString &text)
{
    const std::optional<qint32> size = sizeFromListing(text);
    m_remoteSize = size.value_or(0);
    if (!std::exchange(m_listingSizeWanted, false))
        return;
    if (size)
        emit UrlOK(m_remoteSize);
    else
        emit OnError(1, SizeUnknown);
}

void ZuFTPDownLoad::Ws_Error(qint16 Number, const QString &Description)
{
    emit OnError(Number, Description);
    wakeWaits();
}

void ZuFTPDownLoad::FinishTransfer()
{
    // The server may hang up the control connection once it has said 226.
    m_sessionActive = false;
    const quint32 session = m_session;
    if (!waitUntil([this, session] { return session != m_session || isFinished(Ws->State()); }))
        return;
    if (session != m_session)
        return;
    const bool failed = Ws->State() == Winsock::Error;
    if (m_downMode && !failed && Ws->BytesReceived() > 0)
        writeChunk(Ws->GetDataBytes());
    Ws->Close();
    if (m_downMode && !failed) {
        QPointer<ZuFTPDownLoad> self(this);
        emit Ended();
        if (!self)
            return;
    }
    if (m_listingSizeWanted) {
        m_listingSizeWanted = false;
        emit OnError(1, SizeUnknown);
    }
    Wk->Close();
    Ws->Close();
    closeTransferFile();
}

void ZuFTPDownLoad::closeTransferFile()
{
    if (m_transferFile)
        m_transferFile->close();
}
