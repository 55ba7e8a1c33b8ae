// The control against a scripted loopback server: answers a real server
// does not give (split or missing headers, odd status lines, bad framing,
// early close, silence), redirects of every kind, and a scripted proxy for
// what a real one will not do. Answers that once broke a parser live in responses/.

#include "HttpTestHelpers.h"
#include "ZuHTTPdownload.h"

#include "../PeerProcess.h"
#include "ModalRunner.h"
#include "PropertyBag.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using Pieces = QList<QByteArray>;
using Replies = QList<Pieces>;

static const QString NotFound = QStringLiteral("地址未找到！");
static const QString Unknown = QStringLiteral("未知错误");
static const QString Invalid = QStringLiteral("无效的地址");
static const QString TooMany = QStringLiteral("重定向次数过多");
static const QString TimedOut = QStringLiteral("Connection timed out");
static const QString Auth = QStringLiteral("指定地址需要用户名及密码才可访问，但Zu下载控件1.0暂不支持用户权限验证。");
static const QByteArray Ten = "0123456789";
static const QByteArray Ok = "HTTP/1.1 200 OK\r\n";
static const QByteArray RequestTail = "Accept: */*\r\nUser-Agent: zudownload/1.00\r\nPragma: no-cache\r\n"
                                      "Cache-Control: no-cache\r\nConnection: close\r\n";
static constexpr int Finished = -1;
static constexpr int Aborted = 10053;
static const QStringList ProxyVariables{"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                        "ALL_PROXY", "no_proxy", "NO_PROXY"};

static QByteArray fullHeader(const QByteArray &status, const QByteArray &tag, int length)
{
    return "HTTP/1.1 " + status + "\r\nDate: date-" + tag + "\r\nServer: server-" + tag
           + "\r\nLast-Modified: modified-" + tag + "\r\nETag: \"etag-" + tag + "\"\r\nAccept-Ranges: range-" + tag
           + "\r\nContent-Length: " + QByteArray::number(length) + "\r\nContent-Type: text/plain\r\n"
           "Connection: close\r\n\r\n";
}

static QByteArray without(QByteArray header, const QByteArray &name)
{
    const qsizetype a = header.indexOf(name);
    return header.remove(a, header.indexOf("\r\n", a) - a + 2);
}

class TestZuHttpScripted : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void deleteSender() { delete sender(); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void probe_data();
    void probe();

    void download_data();
    void download();
    void redirectsFollowedByEveryTransfer_data();
    void redirectsFollowedByEveryTransfer();
    void timeOutProperty();
    void badFileRefusedThenZuCloseEnds();
    void deletedInEvent_data();
    void deletedInEvent();
    void refusedCallChangesNothing_data();
    void refusedCallChangesNothing();

    void aboutBoxOnlyWhenFresh();

private:
    // Answers each request with the next queued reply (the last one answers all
    // further requests), in pieces a pause apart, then closes; an empty last
    // piece keeps the connection open.
    struct Reply {
        Pieces pieces;
        int pauseMs = 30;
    };
    void queue(const Pieces &pieces, int pauseMs = 30) { m_replies.append({pieces, pauseMs}); }
    void reset()
    {
        m_requests.clear();
        m_replies.clear();
        m_next = 0;
    }
    void answer(QTcpSocket *socket);
    void send(QTcpSocket *socket, Reply reply);
    QString url(const QString &path) const { return QStringLiteral("http://") + m_host + path; }
    // A probe of \a address (by default one on the server) answered with \a pieces.
    void probeWith(ZuHTTPdownload &control, const Pieces &pieces, const QString &address = {});
    // GetAttrs goes to \a address, by default one on the server.
    void call(ZuHTTPdownload &control, const QString &what, const QString &address = {});
    QByteArray request(const QByteArray &path, const QByteArray &extra = {}) const
    {
        return "GET " + path + " HTTP/1.1\r\nHost: " + m_host.toLatin1() + "\r\n" + extra + RequestTail + "\r\n";
    }
    // Until an outcome came and nothing is left that could raise another one.
    static bool waitForEnd(const ZuHTTPdownload &control, QSignalSpy &finish, QSignalSpy &error, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return (!finish.isEmpty() || !error.isEmpty()) && idle(control); }, ms);
    }

    QTcpServer m_server;
    QString m_host;
    // Accepts nothing, its one-place queue taken by the filler: calls to it go unanswered.
    QTcpServer m_hole;
    QTcpSocket m_holeFiller;
    QList<QByteArray> m_requests; // header text as sent
    QList<Reply> m_replies;
    qsizetype m_next = 0;
    QTemporaryDir m_dir;
};

void TestZuHttpScripted::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(m_server.listen(QHostAddress::LocalHost));
    m_host = QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort());
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
        }
    });
    m_hole.setListenBacklogSize(0);
    QVERIFY(m_hole.listen(QHostAddress::LocalHost));
    m_hole.pauseAccepting();
    m_holeFiller.connectToHost(QHostAddress::LocalHost, m_hole.serverPort());
    QVERIFY(m_holeFiller.waitForConnected(5000));
}

void TestZuHttpScripted::init()
{
    reset();
    ModalRunner::setHandler([](QDialog *) { return 0; });
    // A proxy set for the machine would stand between the control and the scripted server.
    for (const QString &name : ProxyVariables)
        qunsetenv(name.toLatin1().constData());
}

void TestZuHttpScripted::cleanup()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void TestZuHttpScripted::answer(QTcpSocket *socket)
{
    QByteArray request = socket->property("request").toByteArray();
    if (request.contains("\r\n\r\n"))
        return;
    request += socket->readAll();
    socket->setProperty("request", request);
    if (request.contains("\r\n\r\n")) {
        m_requests.append(request);
        send(socket, m_replies.value(qMin(m_next++, m_replies.size() - 1)));
    }
}

void TestZuHttpScripted::send(QTcpSocket *socket, Reply reply)
{
    if (reply.pieces.isEmpty()) {
        socket->disconnectFromHost();
        return;
    }
    const QByteArray piece = reply.pieces.takeFirst();
    if (piece.isEmpty() && reply.pieces.isEmpty())
        return;
    socket->write(piece);
    QTimer::singleShot(reply.pauseMs, socket, [this, socket, reply] { send(socket, reply); });
}

void TestZuHttpScripted::probeWith(ZuHTTPdownload &control, const Pieces &pieces, const QString &address)
{
    queue(pieces);
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    control.GetAttrs(address.isEmpty() ? url(QStringLiteral("/base")) : address);
    QVERIFY(got.wait(5000));
}

void TestZuHttpScripted::call(ZuHTTPdownload &control, const QString &what, const QString &address)
{
    if (what == QLatin1String("GetAttrs"))
        control.GetAttrs(address.isEmpty() ? url(QStringLiteral("/elsewhere")) : address);
    else if (what == QLatin1String("bad address"))
        control.GetAttrs(QStringLiteral("nothing"));
    else if (what == QLatin1String("refused"))
        control.PGetAttr(QStringLiteral("127.0.0.1:%1").arg(PeerProcess::freePort()), QStringLiteral("/f"));
    else if (what == QLatin1String("PGetAttr"))
        control.PGetAttr(QStringLiteral("elsewhere"), QStringLiteral("/x"));
    else if (what == QLatin1String("DownTo other"))
        control.DownTo(m_dir.filePath(QStringLiteral("other.bin")), 3, 4, true);
    else if (what.startsWith(QLatin1String("DownTo")))
        control.DownTo(m_dir.filePath(QStringLiteral("running.bin")), 1, 0, false);
    else
        control.OpenUrl(0);
}

// Probes, each after one that answered fullHeader("200 OK", "old", 5). The
// proxy settings are made between the two: PROXY stands for the scripted
// server, LOGIN@ for a login, and "Qt" sets the application proxy instead of a
// variable. Only a proxy may resolve "origin.invalid".
void TestZuHttpScripted::probe_data()
{
    QTest::addColumn<QVariantMap>("proxy");
    QTest::addColumn<QString>("address");    // HOST stands for the server
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<int>("errorNumber");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<QByteArray>("request"); // how the last one starts; empty: none is sent
    QTest::addColumn<QVariantMap>("values"); // what the properties read after it, in order of name
    const auto row = [this](const char *tag, const Pieces &pieces, const QVariantMap &values,
                            int errorNumber = Finished, const QString &errorText = QString(),
                            const QString &address = QStringLiteral("http://HOST/f"),
                            const QByteArray &path = "/f", const QByteArray &extra = {}) {
        QTest::newRow(tag) << QVariantMap() << address << Replies{pieces} << errorNumber << errorText
                           << (path.isEmpty() ? QByteArray() : request(path, extra)) << values;
    };
    const auto sent = [&](const char *tag, const QString &address, const char *path, const QByteArray &extra = {}) {
        row(tag, {fullHeader("200 OK", "a", 2) + "ok"}, {{"Host", "HOST"}, {"Path", address}}, Finished, {},
            address, path, extra);
    };
    sent("request", u"http://HOST/d/f.bin?x=1"_qs, "/d/f.bin?x=1");
    sent("scheme-like path", u"s://HOST/p://q"_qs, "/p://q");
    sent("spaces and non-ASCII encoded, %XX kept", u"http://HOST/a b/文件.bin?q=x y&r=%41%zz"_qs,
         "/a%20b/%E6%96%87%E4%BB%B6.bin?q=x%20y&r=%41%25zz");
    sent("login sent as Basic", u"http://j%20d:p%40ss:w@HOST/f"_qs, "/f", "Authorization: Basic aiBkOnBAc3M6dw==\r\n");
    sent("user without password", u"http://anna@HOST/f"_qs, "/f", "Authorization: Basic YW5uYTo=\r\n");

    const QByteArray all = fullHeader("200 OK", "new", 7) + "payload";
    QVariantMap allNew{{"HttpVer", "1.1"}, {"ReID", 200}, {"ServerDateTime", "date-new"}, {"Server", "server-new"},
                       {"URLDateTime", "modified-new"}, {"Etag", "\"etag-new\""}, {"Range", "range-new"},
                       {"Length", 7}, {"LType", "text/plain"}, {"Geted", true}};
    row("header split over arrivals", {all.left(6), all.mid(6, 40), all.mid(46, 100), all.mid(146)}, allNew);
    row("no blank after the colon",
        {without(all, "Content-Length").replace("Content-Type: ", "Content-Length:9\r\nContent-Type: ")},
        {{"Length", 9}});
    row("header names in any case",
        {"http/1.0 200 OK\r\nDATE: d\r\nSERVER: s\r\nlast-modified: l\r\netag: e\r\naccept-ranges: r\r\n"
         "content-length: 3\r\ncontent-type: t\r\n\r\nabc"},
        {{"HttpVer", "1.0"}, {"ServerDateTime", "d"}, {"Server", "s"}, {"URLDateTime", "l"}, {"Etag", "e"},
         {"Range", "r"}, {"Length", 3}, {"LType", "t"}});
    // Lines ended by a bare LF, on a connection the server keeps open.
    row("bare LF, kept open", {"HTTP/1.1 200 OK\nServer: lf\nContent-Length: 5\n\nhello", ""},
        {{"Server", "lf"}, {"Length", 5}, {"Geted", true}});
    allNew["ReID"] = 404;
    row("404 with every header", {fullHeader("404 Not Found", "new", 7) + "payload"}, allNew);
    allNew["ReID"] = 200;
    allNew["Etag"] = "\"etag-old\"";
    row("no ETag keeps the old one", {without(all, "ETag")}, allNew);
    row("404 without Last-Modified", {without(fullHeader("404 Not Found", "new", 7), "Last-Modified")},
        {{"ReID", 404}, {"ServerDateTime", "date-new"}, {"Server", "server-new"}, {"URLDateTime", "modified-old"},
         {"Etag", "\"etag-old\""}, {"Length", 5}, {"Geted", false}},
        404, NotFound);
    row("401 with a header missing", {without(fullHeader("401 Unauthorized", "new", 7), "ETag")},
        {{"ReID", 401}, {"Geted", false}}, 404, Auth);
    row("500 with a header missing", {without(fullHeader("500 Internal Server Error", "new", 7), "Server: ")},
        {{"ReID", 500}, {"ServerDateTime", "date-new"}, {"Server", "server-old"}}, 500, Unknown);
    // A body whose end cannot be known is no answer to take.
    row("length beyond 64 bits", {Ok + "Content-Length: 99999999999999999999\r\n\r\n"},
        {{"Length", 5}, {"Geted", false}}, 0, u"无效的服务器应答：Content-Length: 99999999999999999999"_qs);
    // A status line without three digits is none; the last probe's code stays.
    row("code glued to its reason", {fullHeader("200OK", "new", 7)}, {{"ReID", 200}, {"Geted", false}}, 0,
        Unknown);
    // A header cut short or without end is no answer at all.
    row("server closes inside the header", {"HTTP/1.1 404 Not Found\r\nServer: early\r\n"},
        {{"ReID", 200}, {"Server", "server-old"}, {"Geted", false}}, 0, Unknown);
    row("header past the limit", {Ok + "X-Long: " + QByteArray(50000, 'a'), QByteArray(50010, 'a'), ""},
        {{"Geted", false}}, 0, Unknown);
    // Silence ends it after TimeOut, 1 s here, whether the server takes the call or not.
    row("silent server", {""}, {{"Geted", false}}, 10060, TimedOut);
    row("no connection", {}, {{"Geted", false}}, 10060, TimedOut,
        u"http://127.0.0.1:%1/f"_qs.arg(m_hole.serverPort()), {});
    // A bad address is answered at once, without a request.
    for (const char *address : {"s://127.0.0.1", "", "http://", "127.0.0.1"})
        row(address, {}, {{"Geted", false}, {"Path", address}}, 1, Invalid, QLatin1String(address), {});

    const Pieces ok{fullHeader("200 OK", "p", 2) + "ok"};
    const QByteArray viaProxy = "GET http://origin.invalid:81/f HTTP/1.1\r\nHost: origin.invalid:81\r\n";
    const QByteArray direct = "GET /f HTTP/1.1\r\n";
    const auto proxied = [&](const char *tag, const QVariantMap &settings, const QByteArray &request,
                             const char *address = "http://origin.invalid:81/f", const Pieces &reply = {},
                             int errorNumber = Finished, const QString &errorText = {}) {
        QTest::newRow(tag) << settings << QString::fromLatin1(address) << Replies{reply.isEmpty() ? ok : reply}
                           << errorNumber << errorText << request << QVariantMap();
    };
    const QString nowhere = QStringLiteral("http://127.0.0.1:1");
    proxied("without scheme, with a login", {{"http_proxy", "LOGIN@PROXY"}},
            viaProxy + "Proxy-Authorization: Basic cHJveHk6cEBzcw==\r\n");
    proxied("all_proxy", {{"all_proxy", "http://PROXY"}}, viaProxy);
    proxied("ALL_PROXY", {{"ALL_PROXY", "http://PROXY"}}, viaProxy);
    proxied("http_proxy before all_proxy", {{"http_proxy", "PROXY"}, {"all_proxy", nowhere}}, viaProxy);
    proxied("HTTP_PROXY not read", {{"HTTP_PROXY", nowhere}}, direct, "http://HOST/f");
    proxied("no_proxy, host", {{"http_proxy", nowhere}, {"no_proxy", "example.com, 127.0.0.1"}}, direct,
            "http://HOST/f");
    proxied("no_proxy, network", {{"http_proxy", nowhere}, {"no_proxy", "10.0.0.0/8,127.0.0.0/8"}}, direct,
            "http://HOST/f");
    proxied("no_proxy, domain", {{"http_proxy", "PROXY"}, {"no_proxy", ".invalid"}}, {},
            "http://origin.invalid:81/f", {}, 11001, u"Authoritative answer: Host not found"_qs);
    proxied("no_proxy, star", {{"http_proxy", nowhere}, {"no_proxy", "*"}}, direct, "http://HOST/f");
    proxied("NO_PROXY", {{"http_proxy", nowhere}, {"NO_PROXY", "127.0.0.1"}}, direct, "http://HOST/f");
    proxied("no_proxy names another", {{"http_proxy", "PROXY"}, {"no_proxy", "origin.valid,rigin.invalid"}},
            viaProxy);
    proxied("application proxy", {{"Qt", "PROXY"}}, viaProxy);
    proxied("application proxy before the environment", {{"Qt", "PROXY"}, {"http_proxy", nowhere}}, viaProxy);
    proxied("socks is not an HTTP proxy", {{"all_proxy", "socks5://127.0.0.1:1"}}, {}, "http://origin.invalid:81/f",
            {}, 1, u"无效的代理服务器：socks5://127.0.0.1:1"_qs);
    proxied("proxy port that is no port", {{"http_proxy", "http://127.0.0.1:99999"}}, {},
            "http://origin.invalid:81/f", {}, 1, u"无效的代理服务器：http://127.0.0.1:99999"_qs);
    // https goes through a tunnel; the proxy's refusal is the outcome.
    const QByteArray tunnel = "CONNECT origin.invalid:443 HTTP/1.1\r\nHost: origin.invalid:443\r\n";
    proxied("application proxy, tunnel", {{"Qt", "PROXY"}}, tunnel, "https://origin.invalid/f",
            {"HTTP/1.1 403 Forbidden\r\n\r\n"}, 403, u"代理服务器拒绝了请求：403 Forbidden"_qs);
    proxied("HTTPS_PROXY, with a login", {{"HTTPS_PROXY", "LOGIN@PROXY"}},
            "CONNECT origin.invalid:8443 HTTP/1.1\r\nHost: origin.invalid:8443\r\nProxy-Authorization: Basic "
            "cHJveHk6cEBzcw==\r\n",
            "https://origin.invalid:8443/f", {"HTTP/1.1 403 Forbidden\r\n\r\n"}, 403,
            u"代理服务器拒绝了请求：403 Forbidden"_qs);
    proxied("tunnel closed inside the answer", {{"https_proxy", "PROXY"}}, tunnel, "https://origin.invalid/f",
            {"HTTP/1.1 200 Conn"}, 0, Unknown);
}

void TestZuHttpScripted::probe()
{
    QFETCH(QVariantMap, proxy);
    QFETCH(QString, address);
    QFETCH(Replies, replies);
    QFETCH(int, errorNumber);
    QFETCH(QString, errorText);
    QFETCH(QByteArray, request);
    QFETCH(QVariantMap, values);
    ZuHTTPdownload control;
    probeWith(control, {fullHeader("200 OK", "old", 5) + "hello"});
    QCOMPARE(control.Length(), 5);

    for (auto it = proxy.cbegin(); it != proxy.cend(); ++it) {
        const QString value = it.value().toString()
                                  .replace(QStringLiteral("LOGIN"), QStringLiteral("proxy:p%40ss"))
                                  .replace(QStringLiteral("PROXY"), m_host);
        if (it.key() == QLatin1String("Qt"))
            QNetworkProxy::setApplicationProxy(
                QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), m_server.serverPort()));
        else
            qputenv(it.key().toLatin1().constData(), value.toUtf8());
    }
    for (const Pieces &pieces : replies)
        queue(pieces);
    control.setTimeOut(1);
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QCOMPARE(control.GetAttrs(address.replace(QStringLiteral("HOST"), m_host)), QString());
    QVERIFY(!control.takeError());
    QVERIFY(waitForEnd(control, got, error));
    QCOMPARE(got.size(), int(errorNumber == Finished));
    QCOMPARE(Events(error), (errorNumber == Finished ? Events() : Events{{qint16(errorNumber), errorText}}));
    QCOMPARE(m_requests.size(), request.isEmpty() ? 1 : 1 + replies.size());
    if (!request.isEmpty())
        QVERIFY2(m_requests.last().startsWith(request), m_requests.last().constData());
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QVariant actual = control.property(it.key().toLatin1().constData());
        QVERIFY2(actual.toString() == it.value().toString().replace(QStringLiteral("HOST"), m_host),
                 qPrintable(it.key() + u' ' + actual.toString()));
    }
    QVERIFY(!control.takeError());
}

// Transfers: DownTo, or OpenUrl streaming text (format 1) or bytes (2).

void TestZuHttpScripted::download_data()
{
    QTest::addColumn<Pieces>("pieces");
    QTest::addColumn<int>("pause");
    QTest::addColumn<QByteArray>("existing"); // null: no file
    QTest::addColumn<int>("begin");           // resumed with Ext beyond 1
    QTest::addColumn<int>("last");
    QTest::addColumn<QByteArray>("expected"); // null: not checked
    QTest::addColumn<int>("errorNumber");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<int>("format"); // 0: DownTo
    QTest::addColumn<QByteArray>("type"); // of the resource, from the probe before
    // Pieces come 150 ms apart, beyond the old watchdog's tick.
    const auto row = [](const char *tag, const Pieces &pieces, const QByteArray &expected, int errorNumber = Finished,
                        const QString &errorText = QString(), const QByteArray &existing = QByteArray(),
                        int begin = 1, int last = 0, int pause = 150) {
        QTest::newRow(tag) << pieces << pause << existing << begin << last << expected << errorNumber << errorText
                           << 0 << QByteArray("application/octet-stream");
    };
    const auto stream = [](const char *tag, const char *type, const Pieces &pieces, const QByteArray &expected,
                           int format, int last = 0, int errorNumber = Finished, const QString &errorText = {}) {
        QTest::newRow(tag) << pieces << 150 << QByteArray() << 1 << last << expected << errorNumber << errorText
                           << format << QByteArray(type);
    };
    row("header split, nothing of it written", {Ok + "Content-Le", "ngth: 10\r\n", "\r", "\n01234", "56789"}, Ten);
    row("existing file replaced", {Ok + "\r\n" + Ten}, Ten, Finished, {}, "old data, longer than ten");
    row("no length, server closes", {Ok + "\r\n012", "3456", "789"}, Ten);
    row("resumed, answered whole", {Ok + "Content-Length: 10\r\n\r\n" + Ten}, Ten, Finished, {},
        "0123X, a longer stale tail", 5, 6);
    const auto partial = [](const QByteArray &range, const QByteArray &body) {
        return Pieces{"HTTP/1.1 206 Partial Content\r\n" + range + "Content-Length: " + QByteArray::number(body.size())
                      + "\r\n\r\n" + body};
    };
    // The file starts afresh; the bytes in front of Begin read as zero, and
    // the range goes where it was asked to go, whatever its offset in the resource.
    row("resumed beyond the end", partial("Content-Range: bytes 8-9/10\r\n", "xy"), QByteArray("\0\0\0\0xy", 6),
        Finished, {}, "abc", 5, 2);
    // Asking for the last byte is a download like any other.
    row("resumed, the last byte", partial("Content-Range: bytes 9-9/10\r\n", "9"), Ten, Finished, {},
        "012345678?", 10, 1);
    // Resuming after "01234": a 206 that does not match writes nothing.
    const auto mismatch = [&](const char *tag, const QByteArray &range, const QByteArray &body) {
        row(tag, partial(range, body), "01234", 206, Unknown, "01234", 5, 6);
    };
    mismatch("206 of another start", "Content-Range: bytes 3-9/10\r\n", "3456789");
    mismatch("206 ending past the total", "Content-Range: bytes 4-10/10\r\n", "4567890");
    mismatch("206 far beyond the file", "Content-Range: bytes 9000000000-9000000099/9000000100\r\n", "456789");
    mismatch("206 with a garbage range", "Content-Range: bytes x-y/z\r\n", "456789");
    mismatch("206 without a range", "", "456789");
    row("206 not asked for", partial("Content-Range: bytes 4-9/10\r\n", "456789"), "", 206, Unknown);
    row("no status line", {"garbage\r\n\r\n" + Ten}, "", 0, Unknown);
    row("early close in the header", {Ok + "Content-Le"}, "", 0, Unknown);
    row("early close in the body", {Ok + "Content-Length: 10\r\n\r\n01234"}, "01234", Aborted);
    row("chunked cut short", {Ok + "Transfer-Encoding: chunked\r\n\r\n5\r\n01234\r\n5\r\n56"}, "0123456", Aborted);
    // Silence ends it after TimeOut, 1 s here; a slow one goes on.
    row("silent server", {""}, "", 10060, TimedOut);
    row("answer cut, connection kept", {Ok + "Content-Length: 10\r\n\r\n01234", ""}, "01234", 10060, TimedOut);
    row("slow but active", {Ok + "Content-Length: 5\r\n\r\n", "a", "b", "c", "d", "e"}, "abcde", Finished, {}, {},
        1, 0, 400);

    // No file is open while streaming.
    const QByteArray text = QStringLiteral("第一行 line\r\n第二行").toUtf8();
    stream("text, character split over arrivals", "text/html", {Ok + "\r\n" + text.left(1), text.mid(1, 1), text.mid(2)},
           text, 1);
    stream("bytes, parameters make it bytes", "text/html; charset=utf-8", {Ok + "\r\nab"}, "ab", 2);
    stream("stream of a 404", "text/plain", {"HTTP/1.1 404 Not Found\r\n\r\nmissing"}, "", 1, 0, 404, NotFound);
    stream("silent server, stream", "application/octet-stream", {""}, "", 2, 0, 10060, TimedOut);
    // A server that ignores the range sends it all; the host asked for the tail.
    stream("last 3, answered whole", "application/octet-stream", {Ok + "Content-Length: 10\r\n\r\n01234", "56789"},
           "789", 2, 3);
    stream("last 3, text answered whole", "text/plain", {Ok + "Content-Length: 10\r\n\r\n" + Ten}, "789", 1, 3);
    stream("coded bytes never handed over", "application/octet-stream",
           {Ok + "Transfer-Encoding: gzip\r\n\r\n\x1f\x8b"}, "", 2, 0, 0,
           u"无效的服务器应答：Transfer-Encoding: gzip"_qs);

    // Answers kept beside the test, replayed in arrivals of a few bytes each.
    // NAME.body holds the file they must give, NAME.error the "number text" of
    // the OnError they must end in instead of Finish.
    const QDir dir(QStringLiteral(RESPONSES_DIR));
    const QStringList names = dir.entryList({QStringLiteral("*.http")}, QDir::Files, QDir::Name);
    QVERIFY(!names.isEmpty());
    for (const QString &name : names) {
        const QByteArray answer = readFile(dir.filePath(name));
        Pieces pieces;
        for (qsizetype i = 0; i < answer.size(); i += 7)
            pieces << answer.mid(i, 7);
        const QString base = dir.filePath(QFileInfo(name).completeBaseName());
        const QString error = QString::fromUtf8(readFile(base + QStringLiteral(".error")));
        QByteArray body = readFile(base + QStringLiteral(".body"));
        if (QFile::exists(base + QStringLiteral(".body")) && body.isNull())
            body = "";
        row(qPrintable(name), pieces, body, error.isEmpty() ? Finished : error.section(u' ', 0, 0).toInt(),
            error.section(u' ', 1), {}, 1, 0, 5);
    }
}

void TestZuHttpScripted::download()
{
    QFETCH(Pieces, pieces);
    QFETCH(int, pause);
    QFETCH(QByteArray, existing);
    QFETCH(int, begin);
    QFETCH(int, last);
    QFETCH(QByteArray, expected);
    QFETCH(int, errorNumber);
    QFETCH(QString, errorText);
    QFETCH(int, format);
    QFETCH(QByteArray, type);

    const QString file = m_dir.filePath(QStringLiteral("download-%1.bin").arg(QTest::currentDataTag()));
    if (!existing.isNull()) {
        QVERIFY(writeFile(file, existing));
        // A file to be replaced may well be read-only.
        if (begin == 1)
            QFile::setPermissions(file, QFile::ReadOwner);
    }
    ZuHTTPdownload control;
    // A probe that leaves the length unknown: only the answer itself may end the transfer.
    probeWith(control, {Ok + "Content-Type: " + type + "\r\n\r\n"});
    control.setTimeOut(1);
    queue(pieces, pause);
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy data(&control, &ZuHTTPdownload::GetedData);
    qint64 hsDown = -1;
    connect(&control, &ZuHTTPdownload::GetData, &control, [&] { hsDown = control.HsDown(); });

    if (format)
        control.OpenUrl(last);
    else
        control.DownTo(file, begin, last, begin > 1);
    QVERIFY(!control.takeError());
    QVERIFY(waitForEnd(control, finish, error));
    if (last > 0 && (format || begin > 1))
        QVERIFY(m_requests.last().endsWith("\r\nRange: bytes=-" + QByteArray::number(last) + "\r\n\r\n"));
    QCOMPARE(finish.size(), int(errorNumber == Finished));
    QCOMPARE(error.size(), int(errorNumber != Finished));
    if (errorNumber >= 0)
        QCOMPARE(error.first().at(0).value<qint16>(), qint16(errorNumber));
    else if (!format && !expected.isEmpty())
        QCOMPARE(hsDown, qint64(expected.size()));
    if (!errorText.isEmpty())
        QCOMPARE(error.first().at(1).toString(), errorText);
    QCOMPARE(control.HsDown(), 0);
    if (format) {
        QCOMPARE(streamed(data, format), expected);
    } else {
        QVERIFY(QFile::exists(file));
        if (!expected.isNull()) // a broken answer may leave what came before the break
            QCOMPARE(readFile(file), expected);
    }
}

// Redirects end the same way for a probe, a download and a stream. The
// first request asks for /a/b.bin; each row's last one for "path".
void TestZuHttpScripted::redirectsFollowedByEveryTransfer_data()
{
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<QString>("address"); // HOST stands for the server
    QTest::addColumn<int>("errorNumber");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<QByteArray>("path"); // of the last request
    QTest::addColumn<bool>("login");      // it carries the login of the address
    const Pieces target{fullHeader("200 OK", "target", 4) + "abcd"};
    const auto to = [](const QByteArray &location, const QByteArray &code = "302 Found") {
        return Pieces{"HTTP/1.1 " + code + "\r\nServer: s\r\nLocation: " + location + "\r\n\r\n"};
    };
    const auto row = [&](const char *tag, const Replies &replies, const char *path, int errorNumber = Finished,
                         const QString &errorText = {}, const char *address = "http://HOST/a/b.bin", bool login = false) {
        QTest::newRow(tag) << replies << QString::fromUtf8(address) << errorNumber << errorText << QByteArray(path)
                           << login;
    };
    for (const char *code : {"301 Moved Permanently", "302 Found", "303 See Other", "307 Temporary Redirect",
                             "308 Permanent Redirect"})
        row(code, {to("/c/target.bin", code), target}, "/c/target.bin");
    // Absolute only with a scheme before the first "/", "?" or "#".
    row("relative, scheme-like query", {to("/next.bin?mirror=http://other/x.bin"), target},
        "/next.bin?mirror=http://other/x.bin");
    row("relative to the folder", {to("c/target.bin"), target}, "/a/c/target.bin");
    row("query only", {to("?page=2"), target}, "/a/b.bin?page=2");
    row("absolute", {to("http://HOST/abs.bin#frag"), target}, "/abs.bin");
    row("network path", {to("//HOST/net.bin"), target}, "/net.bin");
    row("spaces and non-ASCII encoded", {to("/new dir/文件.bin?q=a b"), target},
        "/new%20dir/%E6%96%87%E4%BB%B6.bin?q=a%20b");
    row("loop", Replies(21, to("/a/b.bin")), "/a/b.bin", 302, TooMany);
    // Without Location there is nowhere to go, even after an earlier redirect.
    row("then none", {to("/again"), {"HTTP/1.1 302 Found\r\nServer: s\r\n\r\n"}}, "/again", 1, Invalid);
    row("bad port", {to("http://127.0.0.1:70000/x")}, "/a/b.bin", 1, u"无效的端口：70000"_qs);
    row("not HTTP", {to("ftp://HOST/x")}, "/a/b.bin", 1, Invalid);
    // A login goes along to the same server only.
    const char *login = "http://zu:pw@HOST/a/b.bin";
    row("login kept on the server", {to("/x.bin"), target}, "/x.bin", Finished, {}, login, true);
    row("login not taken elsewhere", {to("http://localhost:PORT/y.bin"), target}, "/y.bin", Finished, {}, login);
}

void TestZuHttpScripted::redirectsFollowedByEveryTransfer()
{
    QFETCH(Replies, replies);
    QFETCH(QString, address);
    QFETCH(int, errorNumber);
    QFETCH(QString, errorText);
    QFETCH(QByteArray, path);
    QFETCH(bool, login);
    const QByteArray port = QByteArray::number(m_server.serverPort());
    for (Pieces &pieces : replies) {
        for (QByteArray &piece : pieces)
            piece.replace("HOST", m_host.toLatin1()).replace("PORT", port);
    }
    address.replace(QStringLiteral("HOST"), m_host);

    for (const char *kind : {"GetAttrs", "DownTo", "OpenUrl"}) {
        reset();
        ZuHTTPdownload control;
        // A transfer goes where the probe before it went.
        if (qstrcmp(kind, "GetAttrs") != 0) {
            probeWith(control, {Ok + "Content-Type: application/octet-stream\r\n\r\n"}, address);
            reset();
        }
        for (const Pieces &pieces : std::as_const(replies))
            queue(pieces);

        QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
        QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
        QSignalSpy error(&control, &ZuHTTPdownload::OnError);
        QSignalSpy data(&control, &ZuHTTPdownload::GetedData);
        call(control, QLatin1String(kind), address);
        QVERIFY(!control.takeError());
        QVERIFY(waitForEnd(control, qstrcmp(kind, "GetAttrs") == 0 ? got : finish, error));
        QCOMPARE(got.size() + finish.size(), int(errorNumber == Finished));
        QCOMPARE(Events(error), (errorNumber == Finished ? Events() : Events{{qint16(errorNumber), errorText}}));
        QVERIFY2(!m_requests.isEmpty() && m_requests.last().startsWith("GET " + path + " HTTP/1.1\r\n"), kind);
        QCOMPARE(m_requests.last().contains("\r\nAuthorization: Basic enU6cHc=\r\n"), login);
        if (errorNumber == Finished && qstrcmp(kind, "DownTo") == 0)
            QCOMPARE(readFile(m_dir.filePath(QStringLiteral("running.bin"))), QByteArray("abcd"));
        if (errorNumber == Finished && qstrcmp(kind, "OpenUrl") == 0)
            QCOMPARE(streamed(data, 2), QByteArray("abcd"));
        if (errorNumber == Finished && qstrcmp(kind, "GetAttrs") == 0)
            QCOMPARE(control.Server().toString(), QStringLiteral("server-target"));
    }
}

// TimeOut is seconds, 60 at first; a negative value is refused and changes nothing.
void TestZuHttpScripted::timeOutProperty()
{
    ZuHTTPdownload control;
    QCOMPARE(control.property("TimeOut").toInt(), 60);
    QVERIFY(control.setProperty("TimeOut", 0));
    QVERIFY(!control.takeError());
    QCOMPARE(control.TimeOut(), 0);
    control.setTimeOut(-1);
    const auto refusal = control.takeError();
    QVERIFY(refusal);
    QCOMPARE(refusal->number(), 380);
    QCOMPARE(control.TimeOut(), 0);
    PropertyBag bag;
    control.hostWriteProperties(bag);
    QVERIFY(bag.writes().isEmpty());
}

// Refused targets ask nothing of the server; ZUClose ends a transfer or a probe with Finish.
void TestZuHttpScripted::badFileRefusedThenZuCloseEnds()
{
    ZuHTTPdownload control;
    probeWith(control, {Ok + "Content-Type: application/octet-stream\r\n\r\n"});
    for (const QString &file : {m_dir.filePath(QStringLiteral("no/such/folder/f.bin")), QString(), m_dir.path()}) {
        control.DownTo(file, 1, 0, false);
        const auto error = control.takeError();
        QVERIFY2(error && error->number() != 0, qPrintable(file));
    }
    QVERIFY(idle(control));
    QCOMPARE(m_requests.size(), 1);
    QVERIFY(QFileInfo(m_dir.path()).isDir());

    queue({Ok + "\r\nab", "cd", "ef", "gh"}, 300);
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy data(&control, &ZuHTTPdownload::GetData);
    control.DownTo(m_dir.filePath(QStringLiteral("closed.bin")), 1, 0, false);
    QVERIFY(data.wait(5000));
    control.ZUClose();
    QCOMPARE(finish.size(), 0); // not inside the host's call
    QCOMPARE(control.HsDown(), 0);
    QVERIFY(waitForEnd(control, finish, error));
    QCOMPARE(finish.size(), 1);
    QCOMPARE(error.size(), 0);
    QCOMPARE(control.State().toInt(), 0);

    // A probe the host closes ends the same way, once.
    queue({""});
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    call(control, QStringLiteral("GetAttrs"));
    QTRY_COMPARE_WITH_TIMEOUT(m_requests.size(), 3, 5000);
    control.ZUClose();
    QVERIFY(QTest::qWaitFor([&] { return finish.size() == 2 && idle(control); }, 5000));
    QCOMPARE(got.size() + error.size(), 0);
}

void TestZuHttpScripted::deletedInEvent_data()
{
    QTest::addColumn<QByteArray>("event");
    QTest::addColumn<QString>("what"); // ", text" after OpenUrl: the resource is text/plain
    QTest::addColumn<Pieces>("pieces");
    const auto row = [](const char *tag, const char *event, const char *call, const Pieces &pieces) {
        QTest::newRow(tag) << QByteArray(event) << QString::fromLatin1(call) << pieces;
    };
    row("GetAttred", "GetAttred()", "GetAttrs", {fullHeader("200 OK", "a", 2) + "ok"});
    row("OnError of a bad address", "OnError(qint16,QString)", "bad address", {});
    row("OnError of a refused connection", "OnError(qint16,QString)", "refused", {});
    row("OnError of a redirect loop", "OnError(qint16,QString)", "GetAttrs",
        {"HTTP/1.1 301 Moved\r\nLocation: /elsewhere\r\n\r\n"});
    row("OnError of a time-out", "OnError(qint16,QString)", "DownTo", {Ok + "Content-Length: 9\r\n\r\nab", ""});
    row("GetData", "GetData()", "DownTo", {Ok + "\r\nab", "cd"});
    row("Finish of a download", "Finish()", "DownTo", {Ok + "Content-Length: 2\r\n\r\nab"});
    row("OnError of a download cut short", "OnError(qint16,QString)", "DownTo", {Ok + "Content-Length: 9\r\n\r\nab"});
    row("OnError of bad framing", "OnError(qint16,QString)", "DownTo", {Ok + "Content-Length: 2, 3\r\n\r\nab"});
    row("GetedData, bytes", "GetedData(QVariant,qint32)", "OpenUrl", {Ok + "\r\nabcd", "efgh"});
    row("GetedData, text", "GetedData(QVariant,qint32)", "OpenUrl, text", {Ok + "\r\nabcd", "efgh"});
}

void TestZuHttpScripted::deletedInEvent()
{
    QFETCH(QByteArray, event);
    QFETCH(QString, what);
    QFETCH(Pieces, pieces);
    const QByteArray type = what.endsWith(u", text") ? "text/plain" : "application/octet-stream";

    auto *control = new ZuHTTPdownload;
    const QPointer<ZuHTTPdownload> alive(control);
    probeWith(*control, {Ok + "Content-Type: " + type + "\r\n\r\n"});
    control->setTimeOut(1);
    queue(pieces);
    QVERIFY(connect(control, QByteArray(QT_STRINGIFY(QSIGNAL_CODE) + event).constData(), this, SLOT(deleteSender())));
    call(*control, what);
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 5000);
}

void TestZuHttpScripted::refusedCallChangesNothing_data()
{
    QTest::addColumn<QString>("running"); // DownTo or OpenUrl
    QTest::addColumn<QString>("again"); // called at the first data event, or from Finish
    QTest::addColumn<bool>("accepted");
    QTest::newRow("DownTo, another file") << "DownTo" << "DownTo other" << false;
    QTest::newRow("GetAttrs") << "DownTo" << "GetAttrs" << false;
    QTest::newRow("PGetAttr") << "DownTo" << "PGetAttr" << false;
    QTest::newRow("OpenUrl while streaming") << "OpenUrl" << "OpenUrl" << false;
    QTest::newRow("OpenUrl beside a download") << "DownTo" << "OpenUrl" << true;
    // Finish comes once the transfer has ended: the next one may start in it.
    QTest::newRow("DownTo from Finish") << "DownTo" << "DownTo other, at Finish" << true;
    QTest::newRow("OpenUrl from Finish") << "OpenUrl" << "OpenUrl, at Finish" << true;
}

void TestZuHttpScripted::refusedCallChangesNothing()
{
    QFETCH(QString, running);
    QFETCH(QString, again);
    QFETCH(bool, accepted);

    ZuHTTPdownload control;
    probeWith(control, {Ok + "Content-Type: application/octet-stream\r\n\r\n"});
    QFile::remove(m_dir.filePath(QStringLiteral("other.bin")));
    queue({Ok + "Content-Length: 10\r\n\r\n01", "234", "56789"}, 150);
    queue({Ok + "Content-Length: 2\r\n\r\nxy"});
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy data(&control, &ZuHTTPdownload::GetedData);
    call(control, running);
    QVERIFY(!control.takeError());
    auto *wk = control.findChild<Winsock *>(QStringLiteral("Wk"));
    const QString tag = wk->Tag();
    const QString path = control.Path().toString();
    std::optional<SystemError> refusal;
    bool called = false;
    const bool atFinish = again.endsWith(QLatin1String(", at Finish"));
    const auto callAgain = [&] {
        if (!std::exchange(called, true)) {
            call(control, again.section(u',', 0, 0));
            refusal = control.takeError();
        }
    };
    if (atFinish) {
        connect(&control, &ZuHTTPdownload::Finish, &control, callAgain);
    } else {
        connect(&control, &ZuHTTPdownload::GetData, &control, callAgain);
        connect(&control, &ZuHTTPdownload::GetedData, &control, callAgain);
    }

    QTRY_VERIFY_WITH_TIMEOUT(finish.size() + error.size() >= (accepted ? 2 : 1) && idle(control), 5000);
    QCOMPARE(finish.size(), accepted ? 2 : 1);
    QCOMPARE(refusal ? refusal->number() : 0, accepted ? 0 : 40020);
    QCOMPARE(Events(error), Events());
    QVERIFY(control.Geted());
    if (!accepted) {
        QCOMPARE(wk->Tag(), tag);
        QCOMPARE(control.Path().toString(), path);
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("other.bin"))));
    }
    if (running == QLatin1String("DownTo"))
        QCOMPARE(readFile(m_dir.filePath(QStringLiteral("running.bin"))), Ten);
    // The resumed download was answered whole: that replaces the file.
    if (again.startsWith(QLatin1String("DownTo other")) && accepted)
        QCOMPARE(readFile(m_dir.filePath(QStringLiteral("other.bin"))), QByteArray("xy"));
    const QByteArray second = accepted && again.startsWith(QLatin1String("OpenUrl")) ? "xy" : "";
    QCOMPARE(streamed(data, 2), (running == QLatin1String("OpenUrl") ? Ten : QByteArray()) + second);
}

// The about box comes up when a fresh control is shown, not one its host loaded.
void TestZuHttpScripted::aboutBoxOnlyWhenFresh()
{
    QStringList seen;
    ModalRunner::setHandler([&](QDialog *dialog) {
        seen += ModalRunner::texts(dialog);
        return 0;
    });
    ZuHTTPdownload fresh, loaded;
    fresh.show();
    PropertyBag bag;
    loaded.hostReadProperties(bag);
    loaded.show();
    QCOMPARE(seen.count(QStringLiteral("Zu下载控件 HTTP协议版")), 1);
}

QTEST_MAIN(TestZuHttpScripted)
#include "tst_zuhttp_scripted.moc"
