#include "ZuHTTPdownload.h"

#include "BinaryFile.h"
#include "ChunkedBody.h"
#include "CodePage.h"
#include "FrmAbout.h"
#include "HttpResponseHead.h"
#include "Int32.h"
#include "LeadingNumber.h"
#include "MaskColor.h"
#include "OneBased.h"
#include "SystemError.h"
#include "Winsock.h"
#include "AuthorInfo.h"
#include "DownloadTexts.h"
#include "UrlParts.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTimer>
#include <QUrl>

#include <cmath>

namespace {

constexpr int WidthTwips = 675;
constexpr int HeightTwips = 570;
constexpr int MaxRedirects = 20;

const QString CRLF = QStringLiteral("\r\n");

QString notFoundText()
{
    return QStringLiteral("地址未找到！");
}

QString authenticationText()
{
    return QStringLiteral("指定地址需要用户名及密码才可访问，但Zu下载控件1.0暂不支持用户权限验证。");
}

QString unknownErrorText()
{
    return QStringLiteral("未知错误");
}

QString headerValue(const QString &text, const QString &name)
{
    const qsizetype a = InStr(1, text, name, Qt::CaseInsensitive);
    const qsizetype c = InStr(a, text, u"\r", Qt::CaseInsensitive);
    if (c == 0)
        throw SystemError(SystemError::InvalidProcedureCall);
    return Mid(text, a + name.size(), c - a - name.size()).toString();
}

bool peerClosing(Winsock *socket)
{
    try {
        return socket->State() == Winsock::PeerClosing;
    } catch (const SystemError &) {
        return false;
    }
}

qint64 toInt64(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0))
        throw SystemError(SystemError::Overflow);
    return qint64(rounded);
}

// Length holds a number only when its whole trimmed text is one.
bool numericLength(const QVariant &length, double *value)
{
    const QString text = length.toString().trimmed();
    if (text.isEmpty())
        return false;
    bool ok = false;
    *value = text.toDouble(&ok);
    return ok;
}

} // namespace

QString ZuHTTPdownload::componentTitle()
{
    return QStringLiteral("Zu下载控件 HTTP协议版");
}

ZuHTTPdownload::ZuHTTPdownload(QWidget *parent)
    : ControlBase(parent)
    , m_outputFile(std::make_unique<BinaryFile>())
{
    Wk = new Winsock(this);
    Wk->setObjectName(QStringLiteral("Wk"));
    Wk->setTag(QStringLiteral("0"));
    Ws = new Winsock(this);
    Ws->setObjectName(QStringLiteral("Ws"));
    Ws->setTag(QStringLiteral("0"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);

    connect(Wk, &Winsock::connected, this, &ZuHTTPdownload::Wk_Connect);
    connect(Ws, &Winsock::connected, this, &ZuHTTPdownload::Ws_Connect);
    connect(Wk, &Winsock::dataArrival, this, &ZuHTTPdownload::Wk_DataArrival);
    connect(Ws, &Winsock::dataArrival, this, &ZuHTTPdownload::Ws_DataArrival);
    connect(Wk, &Winsock::errorOccurred, this, &ZuHTTPdownload::Wk_Error);
    connect(Ws, &Winsock::errorOccurred, this, &ZuHTTPdownload::Ws_Error);
    connect(Timer1, &QTimer::timeout, this, &ZuHTTPdownload::Timer1_Timer);
    connect(Wk, &Winsock::peerClosed, this, &ZuHTTPdownload::Wk_Close);

    setSizeTwips(WidthTwips, HeightTwips);
    setAccessibleName(componentTitle());
}

ZuHTTPdownload::~ZuHTTPdownload() = default;

// Methods

QString ZuHTTPdownload::GetAttrs(const QString &Url)
{
    guarded([&] {
        ensureIdle(Wk);
        m_redirects = 0;
        getAttrs(Url);
    });
    return QString();
}

// A call the socket would refuse is refused before anything changes; so is
// one that comes after a transfer's last byte and before its Finish.
void ZuHTTPdownload::ensureIdle(const Winsock *socket) const
{
    const Transfer &transfer = socket == Wk ? m_file : m_stream;
    const qint16 state = socket->State();
    if ((state != Winsock::Closed && state != Winsock::Error) || (transfer.active && transfer.ended))
        throw SystemError(Winsock::InvalidOperation, Winsock::errorText(Winsock::InvalidOperation));
}

void ZuHTTPdownload::getAttrs(const QString &url)
{
    m_geted = false;
    m_path = url;
    const std::optional<UrlParts> parts = SplitUrl(url);
    if (!parts || parts->badPort) {
        (void)raise(&ZuHTTPdownload::OnError, 1, parts ? invalidPortText(parts->port) : invalidAddressText());
        return;
    }
    m_requestPath = parts->path;
    m_host = parts->host;
    m_secure = parts->scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    startProbe();
}

QVariant ZuHTTPdownload::PGetAttr(const QVariant &PHost, const QVariant &Path)
{
    guarded([&] {
        ensureIdle(Wk);
        m_redirects = 0;
        m_host = PHost.toString();
        m_secure = false;
        m_requestPath = Path;
        startProbe();
    });
    return QVariant();
}

void ZuHTTPdownload::startProbe()
{
    m_probing = true;
    m_probeBuffer.clear();
    aim(Wk);
    Wk->setTag(QStringLiteral("1"));
    Wk->Connect();
}

QVariant ZuHTTPdownload::DownTo(const QString &Filename, qint64 Begin, qint64 Last, bool Ext)
{
    guarded([&] {
        ensureIdle(Wk);
        const QFileInfo info(Filename);
        if (!Filename.isEmpty() && info.exists() && !info.isDir()) {
            const bool keep = Begin <= info.size() && Ext;
            if (!keep) {
                m_outputFile->close();
                QFile::setPermissions(Filename, QFile::permissions(Filename) | QFile::ReadOwner
                                                    | QFile::WriteOwner);
                if (!QFile::remove(Filename))
                    throw SystemError(SystemError::PathFileAccessError);
            }
        }
        m_outputFile->close();
        m_outputFile->open(Filename);
        if (Ext)
            m_outputFile->seek(Begin);
        const QString tag = Begin > 1 ? QString::number(Last) : QStringLiteral("0");
        Wk->setTag(tag);
        startTransfer(m_file, LeadingNumber(tag) > 1 ? Last : 0);
        m_probing = false;
        m_probeBuffer.clear();
        Wk->Connect();
    });
    return QVariant();
}

QVariant ZuHTTPdownload::OpenUrl(qint64 Last)
{
    guarded([&] {
        ensureIdle(Ws);
        startTransfer(m_stream, qMax<qint64>(Last, 0));
        const QString type = m_lType.toString().trimmed().toLower();
        m_streamText = type == QLatin1String("text/html") || type == QLatin1String("text/plain");
        m_streamDecoder = QStringDecoder(CodePage::name().toLatin1().constData());
        Ws->setTag(QString::number(Last));
        Ws->Connect();
    });
    return QVariant();
}

void ZuHTTPdownload::aim(Winsock *socket) const
{
    socket->setRemoteHost(m_host);
    socket->setRemotePort(m_secure ? 443 : 80);
    socket->setSecure(m_secure);
}

Winsock *ZuHTTPdownload::socketOf(const Transfer &transfer) const
{
    return &transfer == &m_file ? Wk : Ws;
}

void ZuHTTPdownload::startTransfer(Transfer &transfer, qint64 suffix)
{
    aim(socketOf(transfer));
    Timer1->start();
    transfer = Transfer();
    transfer.active = true;
    transfer.suffix = suffix;
    m_closedByHost = false;
}

QVariant ZuHTTPdownload::ZUClose()
{
    guarded([&] {
        m_probing = false;
        m_probeBuffer.clear();
        // The next tick reports the end of whatever was running.
        m_closedByHost = Timer1->isActive();
        Wk->Close();
        Ws->Close();
        m_outputFile->close();
    });
    return QVariant();
}

QVariant ZuHTTPdownload::WriteLetter()
{
    AuthorInfo::writeLetter(this);
    return QVariant();
}

QVariant ZuHTTPdownload::VisitHomePage()
{
    AuthorInfo::visitHomePage(this);
    return QVariant();
}

QVariant ZuHTTPdownload::About()
{
    FrmAbout::showModal(this, componentTitle());
    return QVariant();
}

// Properties

QVariant ZuHTTPdownload::Host() const
{
    return m_host.isNull() ? QVariant() : QVariant(m_host);
}

qint32 ZuHTTPdownload::ReID()
{
    return guarded([&] { return toInt32(m_reID); });
}

qint64 ZuHTTPdownload::Length()
{
    return guarded([&] { return toInt64(LeadingNumber(m_length.toString().trimmed())); });
}

QVariant ZuHTTPdownload::State() const
{
    return QVariant::fromValue(qint16(Wk->State()));
}

qint64 ZuHTTPdownload::HsDown()
{
    return m_outputFile->isOpen() ? m_outputFile->position() - 1 : 0;
}

QVariant ZuHTTPdownload::Writer() const
{
    return AuthorInfo::name();
}

void ZuHTTPdownload::setWriter(const QVariant &)
{
}

QVariant ZuHTTPdownload::Email() const
{
    return AuthorInfo::mail();
}

void ZuHTTPdownload::setEmail(const QVariant &)
{
    Q_EMIT propertyChanged(QStringLiteral("Email"));
}

QVariant ZuHTTPdownload::HomePage() const
{
    return AuthorInfo::homePage();
}

void ZuHTTPdownload::setHomePage(const QVariant &)
{
    Q_EMIT propertyChanged(QStringLiteral("HomePage"));
}

QVariant ZuHTTPdownload::ZURemoteIP() const
{
    return Wk->RemoteHostIP();
}

QVariant ZuHTTPdownload::ZULocalIP() const
{
    return Wk->LocalIP();
}

// Host notifications

void ZuHTTPdownload::readProperties(PropertyBag &)
{
    m_aboutShown = true;
}

void ZuHTTPdownload::controlShown()
{
    setMaskColor(downloadMaskColor());
    if (!m_aboutShown)
        FrmAbout::showModal(this, componentTitle());
}

void ZuHTTPdownload::controlResized()
{
    if (sizeTwips() != QSize(WidthTwips, HeightTwips))
        setSizeTwips(WidthTwips, HeightTwips);
}

void ZuHTTPdownload::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, FrmAbout::productPicture());
}

// Request

void ZuHTTPdownload::Wk_Connect()
{
    sendRequest(Wk, 1);
}

void ZuHTTPdownload::Ws_Connect()
{
    sendRequest(Ws, 0);
}

void ZuHTTPdownload::sendRequest(Winsock *socket, int threshold)
{
    try {
        const QString tag = socket->Tag();
        socket->SendData(QStringLiteral("GET ") + m_requestPath.toString() + QStringLiteral(" HTTP/1.1") + CRLF);
        socket->SendData(QStringLiteral("Host: ") + m_host + CRLF);
        socket->SendData(QStringLiteral("Accept: */*") + CRLF);
        socket->SendData(QStringLiteral("User-Agent: zudownload/1.00") + CRLF);
        socket->SendData(QStringLiteral("Pragma: no-cache") + CRLF);
        socket->SendData(QStringLiteral("Cache-Control: no-cache") + CRLF);
        socket->SendData(QStringLiteral("Connection: close") + CRLF);
        if (LeadingNumber(tag) > threshold)
            socket->SendData(QStringLiteral("Range: bytes=-") + tag + CRLF + CRLF);
        else
            socket->SendData(CRLF);
    } catch (const SystemError &) {
        // The request is incomplete; the server's answer or the socket's error tells the rest.
    }
}

// Probe

void ZuHTTPdownload::Wk_DataArrival()
{
    try {
        if (LeadingNumber(Wk->Tag()) == 1) {
            m_probeBuffer += Wk->GetDataBytes();
            if (HttpResponseHead::headerLength(m_probeBuffer) > 0
                || m_probeBuffer.size() > HttpResponseHead::ScanLimit || Wk->State() == Winsock::PeerClosing)
                finishProbe();
            return;
        }

        QByteArray bytes = Wk->GetDataBytes();
        if (!receive(m_file, bytes) || !writeToFile(bytes) || !m_file.active)
            return;
        if (!raise(&ZuHTTPdownload::GetData))
            return;
        if (m_file.active && (m_file.complete || Wk->State() == Winsock::PeerClosing)) {
            m_file.ended = true;
            m_outputFile->close();
            Wk->Close();
        }
    } catch (const SystemError &) {
        // A failing step inside a socket event is passed over.
    }
}

void ZuHTTPdownload::Wk_Close()
{
    try {
        // The server closed before the blank line: read what came.
        if ((m_probing || !m_probeBuffer.isEmpty()) && LeadingNumber(Wk->Tag()) == 1)
            finishProbe();
    } catch (const SystemError &) {
    }
}

void ZuHTTPdownload::finishProbe()
{
    m_probing = false;
    const QByteArrayView scanned = QByteArrayView(m_probeBuffer).first(
        qMin(m_probeBuffer.size(), HttpResponseHead::ScanLimit + 4));
    const bool whole = HttpResponseHead::headerLength(scanned) > 0;
    const QString text = CodePage::toUnicode(m_probeBuffer);
    m_probeBuffer.clear();
    try {
        Wk->Close();
    } catch (const SystemError &) {
    }
    // A header cut short or without end says nothing reliable.
    if (!whole) {
        (void)raise(&ZuHTTPdownload::OnError, 0, unknownErrorText());
        return;
    }
    ParseResponseHeader(text);
}

void ZuHTTPdownload::ParseResponseHeader(const QString &text)
{
    bool statusLineRead = false;
    bool skipFailures = false;
    bool redirect = false;

    // Returns false when the probe stops here.
    const auto step = [&](auto &&body) -> bool {
        if (redirect)
            return false;
        try {
            body();
            return true;
        } catch (const SystemError &) {
        }
        if (skipFailures)
            return true;
        // An answer without a whole status line is judged on its own, not on the last probe's code.
        const double status = statusLineRead ? m_reID : 0;
        if (status == 200) {
            skipFailures = true;
            return true;
        }
        if (status == 302) {
            redirect = true;
            return false;
        }
        (void)raiseStatusError(status);
        return false;
    };

    bool go = step([&] {
        const qsizetype p = InStr(1, text, u"http/", Qt::CaseInsensitive);
        const qsizetype s = InStr(p, text, u" ", Qt::CaseInsensitive);
        m_httpVer = Mid(text, p + 5, s - p - 5).toString();
        const qsizetype e = InStr(s, text, CRLF, Qt::CaseInsensitive);
        const QString code = Mid(text, s + 1, e - s - 1).toString();
        if (e == 0)
            throw SystemError(SystemError::InvalidProcedureCall);
        m_reID = LeadingNumber(code.trimmed());
        statusLineRead = true;
    });
    go = go && step([&] { m_serverDateTime = headerValue(text, QStringLiteral("date: ")); });
    if (go) {
        const qsizetype blank = text.indexOf(QStringLiteral("\r\n\r\n"));
        m_bodyStart = (blank < 0 ? 0 : blank + 1) + 4;
    }
    go = go && step([&] { m_server = headerValue(text, QStringLiteral("server: ")); });
    go = go && step([&] { m_urlDateTime = headerValue(text, QStringLiteral("Last-Modified: ")); });
    go = go && step([&] { m_etag = headerValue(text, QStringLiteral("ETag: ")); });
    go = go && step([&] { m_range = headerValue(text, QStringLiteral("Accept-Ranges: ")); });
    go = go && step([&] { m_length = headerValue(text, QStringLiteral("Content-Length: ")); });
    go = go && step([&] { m_lType = headerValue(text, QStringLiteral("Content-Type: ")); });
    if (!go && !redirect)
        return;

    if (m_reID == 302) {
        try {
            m_redirectUrl = headerValue(text, QStringLiteral("Location: "));
        } catch (const SystemError &) {
            // Without a target there is nothing to follow; an older target would be a wrong one.
            m_redirectUrl.clear();
        }
        if (++m_redirects > MaxRedirects) {
            (void)raise(&ZuHTTPdownload::OnError, 302, unknownErrorText());
            return;
        }
        const QString target = resolveLocation(m_redirectUrl);
        m_path = target;
        try {
            getAttrs(target);
        } catch (const SystemError &error) {
            (void)raise(&ZuHTTPdownload::OnError, qint16(error.number()), error.description());
        }
        return;
    }
    m_geted = true;
    (void)raise(&ZuHTTPdownload::GetAttred);
}

QString ZuHTTPdownload::resolveLocation(const QString &location) const
{
    if (location.isEmpty() || location.contains(QStringLiteral("://")))
        return location;
    const QString scheme = m_secure ? QStringLiteral("https:") : QStringLiteral("http:");
    if (location.startsWith(QStringLiteral("//")))
        return scheme + location;
    const QString origin = scheme + QStringLiteral("//") + m_host;
    if (location.startsWith(u'/'))
        return origin + location;
    const QUrl base(origin + m_requestPath.toString());
    const QUrl resolved = base.resolved(QUrl(location));
    return origin + resolved.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority);
}

bool ZuHTTPdownload::raiseStatusError(double status)
{
    if (status == 401)
        return raise(&ZuHTTPdownload::OnError, 404, authenticationText());
    if (status == 404)
        return raise(&ZuHTTPdownload::OnError, 404, notFoundText());
    qint16 number = 0;
    try {
        number = toInt16(status);
    } catch (const SystemError &) {
        // A code beyond 16 bits is no status at all.
    }
    return raise(&ZuHTTPdownload::OnError, number, unknownErrorText());
}

// Transfers

bool ZuHTTPdownload::receive(Transfer &transfer, QByteArray &bytes)
{
    if (!transfer.active)
        return false;
    if (!transfer.headerSeen && takeHeader(transfer, bytes) != Outcome::Taken)
        return false;
    if (!decodeBody(transfer, bytes)) {
        (void)failTransfer(transfer, 0, unknownErrorText());
        return false;
    }
    return true;
}

ZuHTTPdownload::Outcome ZuHTTPdownload::takeHeader(Transfer &transfer, QByteArray &bytes)
{
    const bool toFile = &transfer == &m_file;
    transfer.head += bytes;
    bytes.clear();
    const qsizetype scanned = qMin(transfer.head.size(), HttpResponseHead::ScanLimit + 4);
    const qsizetype length = HttpResponseHead::headerLength(QByteArrayView(transfer.head).first(scanned));
    if (length == 0) {
        if (transfer.head.size() < HttpResponseHead::ScanLimit + 4)
            return Outcome::Waiting;
        (void)failTransfer(transfer, 0, unknownErrorText());
        return Outcome::Refused;
    }

    const HttpResponseHead head = HttpResponseHead::parse(QByteArrayView(transfer.head).first(length));
    bytes = transfer.head.mid(length);
    transfer.head.clear();
    transfer.headerSeen = true;
    if (toFile)
        m_bodyStart = length + 1;

    // A partial answer must be the tail that was asked for: it goes where the request put it.
    const bool partial = head.status == 206;
    if (!head.isSuccess() || (partial && !head.answersSuffix(transfer.suffix))) {
        const double status = head.hasStatusLine ? head.status : 0;
        closeTransfer(transfer);
        (void)raiseStatusError(status);
        return Outcome::Refused;
    }
    transfer.expected = head.contentLength;
    transfer.chunked = head.chunked;
    if (transfer.chunked)
        transfer.chunks = std::make_unique<ChunkedBody>();
    if (partial && !transfer.chunked && transfer.expected < 0)
        transfer.expected = head.rangeLast - head.rangeStart + 1;
    // A server that ignores the range sends everything; a stream hands over only the tail.
    if (!toFile && !partial && transfer.suffix > 0 && transfer.expected > transfer.suffix)
        transfer.skip = transfer.expected - transfer.suffix;
    if (toFile) {
        if (!partial && (m_outputFile->position() != 1 || m_outputFile->length() > 0)) {
            // The whole resource came instead of the range asked for: it replaces the file.
            m_outputFile->file().flush();
            m_outputFile->file().resize(0);
            m_outputFile->seek(1);
        }
    }
    return Outcome::Taken;
}

bool ZuHTTPdownload::decodeBody(Transfer &transfer, QByteArray &bytes)
{
    if (transfer.chunked) {
        QByteArray data;
        const ChunkedBody::Status status = transfer.chunks->feed(bytes, data);
        bytes = std::move(data);
        transfer.received += bytes.size();
        if (status == ChunkedBody::Status::Malformed)
            return false;
        transfer.complete = status == ChunkedBody::Status::Complete;
        return true;
    }
    if (transfer.expected >= 0) {
        const qint64 room = transfer.expected - transfer.received;
        if (bytes.size() > room)
            bytes.truncate(room);
        transfer.received += bytes.size();
        transfer.complete = transfer.received == transfer.expected;
        if (transfer.skip > 0) {
            const qint64 skipped = qMin<qint64>(transfer.skip, bytes.size());
            bytes.remove(0, skipped);
            transfer.skip -= skipped;
        }
        return true;
    }
    transfer.received += bytes.size();
    return true;
}

bool ZuHTTPdownload::writeToFile(const QByteArray &bytes)
{
    if (!m_outputFile->isOpen() || bytes.isEmpty())
        return true;
    try {
        m_outputFile->writeBytes(bytes);
    } catch (const SystemError &error) {
        (void)failTransfer(m_file, qint16(error.number()), error.description());
        return false;
    }
    return true;
}

void ZuHTTPdownload::closeTransfer(Transfer &transfer)
{
    transfer.active = false;
    if (&transfer == &m_file)
        m_outputFile->close();
    try {
        socketOf(transfer)->Close();
    } catch (const SystemError &) {
    }
    stopTimerWhenIdle();
}

bool ZuHTTPdownload::failTransfer(Transfer &transfer, qint16 number, const QString &description)
{
    closeTransfer(transfer);
    return raise(&ZuHTTPdownload::OnError, number, description);
}

bool ZuHTTPdownload::endTransfer(Transfer &transfer, bool headerMissing, bool cut)
{
    closeTransfer(transfer);
    if (headerMissing)
        return raise(&ZuHTTPdownload::OnError, 0, unknownErrorText());
    if (cut)
        return raise(&ZuHTTPdownload::OnError, qint16(Winsock::ConnectionAborted),
                     Winsock::errorText(Winsock::ConnectionAborted));
    return raise(&ZuHTTPdownload::Finish);
}

bool ZuHTTPdownload::cutShort(const Transfer &transfer) const
{
    if (transfer.chunked)
        return !transfer.complete;
    if (transfer.expected >= 0)
        return transfer.received < transfer.expected;
    return false;
}

void ZuHTTPdownload::Ws_DataArrival()
{
    try {
        QByteArray bytes = Ws->GetDataBytes();
        if (!receive(m_stream, bytes))
            return;
        if (m_streamText) {
            const QString text = m_streamDecoder.decode(bytes);
            if (!text.isEmpty() && !raise(&ZuHTTPdownload::GetedData, text, 1))
                return;
        } else {
            for (const char byte : std::as_const(bytes)) {
                if (!m_stream.active || m_closedByHost)
                    break;
                if (!raise(&ZuHTTPdownload::GetedData, QVariant::fromValue(uchar(byte)), 2))
                    return;
            }
        }
        if (m_stream.active && (m_stream.complete || Ws->State() == Winsock::PeerClosing)) {
            m_stream.ended = true;
            Ws->Close();
        }
    } catch (const SystemError &) {
    }
}

// A failed connection ends what ran on it: one outcome, and nothing left open.
void ZuHTTPdownload::Wk_Error(qint16 number, const QString &description)
{
    m_probing = false;
    m_probeBuffer.clear();
    if (m_file.active) {
        (void)failTransfer(m_file, number, description);
        return;
    }
    (void)raise(&ZuHTTPdownload::OnError, number, description);
}

void ZuHTTPdownload::Ws_Error(qint16 number, const QString &description)
{
    if (m_stream.active) {
        (void)failTransfer(m_stream, number, description);
        return;
    }
    (void)raise(&ZuHTTPdownload::OnError, number, description);
}

void ZuHTTPdownload::Timer1_Timer()
{
    if (m_closedByHost) {
        m_closedByHost = false;
        m_file.active = false;
        m_stream.active = false;
        Timer1->stop();
        (void)raise(&ZuHTTPdownload::Finish);
        return;
    }

    if (m_file.active) {
        // The probe's Length is only the measure while the answer itself does not say.
        bool lengthReached = false;
        double length = 0;
        const bool framed = m_file.headerSeen && (m_file.chunked || m_file.expected >= 0);
        if (!framed && numericLength(m_length, &length) && m_outputFile->isOpen())
            lengthReached = m_outputFile->position() - 1 >= length;
        if ((peerClosing(Wk) || !m_outputFile->isOpen() || lengthReached || m_file.complete)
            && !endTransfer(m_file, !m_file.headerSeen && !lengthReached, !lengthReached && cutShort(m_file)))
            return;
    }

    if (m_stream.active && (peerClosing(Ws) || m_stream.ended))
        (void)endTransfer(m_stream, !m_stream.headerSeen, cutShort(m_stream));
}

void ZuHTTPdownload::stopTimerWhenIdle()
{
    if (!m_file.active && !m_stream.active)
        Timer1->stop();
}
