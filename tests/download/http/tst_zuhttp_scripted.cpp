// The control against a scripted loopback server: answers a real server
// does not give (split or missing headers, odd status lines, early close,
// hand-made chunking). Answers that once broke a parser live in responses/.

#include "HttpTestHelpers.h"
#include "ZuHTTPdownload.h"

#include "../PeerProcess.h"
#include "ModalRunner.h"
#include "PropertyBag.h"

#include <QDir>
#include <QFileInfo>
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
static const QString Auth = QStringLiteral("指定地址需要用户名及密码才可访问，但Zu下载控件1.0暂不支持用户权限验证。");
static const QByteArray Ten = "0123456789";
static const QByteArray Ok = "HTTP/1.1 200 OK\r\n";
static constexpr int Finished = -1;
static constexpr int AnyError = -2;
static constexpr int Aborted = 10053;

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

    void probe_data();
    void probe();

    void download_data();
    void download();
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
    void answer(QTcpSocket *socket);
    void send(QTcpSocket *socket, Reply reply);
    QString url(const QString &path) const { return QStringLiteral("http://") + m_host + path; }
    void probeWith(ZuHTTPdownload &control, const Pieces &pieces);
    void call(ZuHTTPdownload &control, const QString &what);
    // Until an outcome came and nothing is left that could raise another one.
    static bool waitForEnd(const ZuHTTPdownload &control, QSignalSpy &finish, QSignalSpy &error)
    {
        return QTest::qWaitFor([&] { return (!finish.isEmpty() || !error.isEmpty()) && idle(control); }, 5000);
    }

    QTcpServer m_server;
    QString m_host;
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
}

void TestZuHttpScripted::init()
{
    m_requests.clear();
    m_replies.clear();
    m_next = 0;
    ModalRunner::setHandler([](QDialog *) { return 0; });
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

void TestZuHttpScripted::probeWith(ZuHTTPdownload &control, const Pieces &pieces)
{
    queue(pieces);
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    control.GetAttrs(url(QStringLiteral("/base")));
    QVERIFY(got.wait(5000));
}

void TestZuHttpScripted::call(ZuHTTPdownload &control, const QString &what)
{
    if (what == QLatin1String("GetAttrs"))
        control.GetAttrs(url(QStringLiteral("/elsewhere")));
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

// Probes, each after one that answered fullHeader("200 OK", "old", 5).

void TestZuHttpScripted::probe_data()
{
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<int>("errorNumber");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<QVariantMap>("values"); // what the properties read after it, in order of name
    QTest::addColumn<QString>("address");    // HOST stands for the server
    QTest::addColumn<QByteArray>("path");    // of the last request; empty: no request
    const auto row = [](const char *tag, const Pieces &pieces, const QVariantMap &values, int errorNumber = Finished,
                        const QString &errorText = QString(),
                        const QString &address = QStringLiteral("http://HOST/f"), const QByteArray &path = "/f") {
        QTest::newRow(tag) << Replies{pieces} << errorNumber << errorText << values << address << path;
    };
    const auto request = [&](const char *tag, const char *address, const char *path) {
        row(tag, {fullHeader("200 OK", "a", 2) + "ok"}, {{"Host", "HOST"}, {"Path", address}}, Finished, {},
            QLatin1String(address), path);
    };
    request("request", "http://HOST/d/f.bin?x=1", "/d/f.bin?x=1");
    request("root", "s://HOST/", "/");
    request("query kept", "http://HOST/a/b?c=d&e=%20f", "/a/b?c=d&e=%20f");
    request("two schemes", "s://HOST/p://q", "/p://q");

    const QByteArray all = fullHeader("200 OK", "new", 7) + "payload";
    QVariantMap allNew{{"HttpVer", "1.1"}, {"ReID", 200}, {"ServerDateTime", "date-new"}, {"Server", "server-new"},
                       {"URLDateTime", "modified-new"}, {"Etag", "\"etag-new\""}, {"Range", "range-new"},
                       {"Length", 7}, {"LType", "text/plain"}, {"Geted", true}};
    row("header split over arrivals", {all.left(6), all.mid(6, 40), all.mid(46, 100), all.mid(146)}, allNew);
    row("no blank after the colon",
        {without(all, "Content-Length").replace("Content-Type: ", "Content-Length:9\r\nContent-Type: ")},
        {{"Length", 5}});
    row("header names in any case",
        {"http/1.0 200 OK\r\nDATE: d\r\nSERVER: s\r\nlast-modified: l\r\netag: e\r\naccept-ranges: r\r\n"
         "content-length: 3\r\ncontent-type: t\r\n\r\nabc"},
        {{"HttpVer", "1.0"}, {"ServerDateTime", "d"}, {"Server", "s"}, {"URLDateTime", "l"}, {"Etag", "e"},
         {"Range", "r"}, {"Length", 3}, {"LType", "t"}});
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
    // Numbers beyond what a property holds read as 0 and leave overflow (6) behind.
    row("code beyond 32 bits", {fullHeader("3000000000 Big", "new", 7).replace("Length: 7", "Length: 99999999999")},
        {{"Length", Q_INT64_C(99999999999)}, {"ReID", 0}, {"error", 6}});
    row("length beyond 64 bits", {Ok + "Content-Length: 99999999999999999999\r\n\r\n"},
        {{"Length", 0}, {"error", 6}});
    row("code beyond 16 bits", {without(fullHeader("99999 Odd", "new", 7), "ETag")}, {{"ReID", 99999}}, 0, Unknown);
    row("no status line", {"hello there\r\n\r\n"}, {{"ReID", 200}, {"Geted", false}}, 0, Unknown);
    row("status line without code end", {"HTTP/1.1"}, {{"Geted", false}}, 0, Unknown);
    row("server closes without a word", {}, {{"Geted", false}}, 0, Unknown);
    // A header cut short or without end is no answer at all.
    row("server closes inside the header", {"HTTP/1.1 404 Not Found\r\nServer: early\r\n"},
        {{"ReID", 200}, {"Server", "server-old"}, {"Geted", false}}, 0, Unknown);
    row("server closes inside a 200 header", {Ok + "Server: early\r\n"},
        {{"Server", "server-old"}, {"Geted", false}}, 0, Unknown);
    row("header past the limit", {Ok + "X-Long: " + QByteArray(50000, 'a'), QByteArray(50010, 'a'), ""},
        {{"Geted", false}}, 0, Unknown);
    // A bad address is answered at once, without a request.
    for (const char *address : {"s://127.0.0.1", "", "http://", "127.0.0.1"})
        row(address, {}, {{"Geted", false}, {"Path", address}}, 1, Invalid, QLatin1String(address), {});

    // Redirects a real server would not send; the probe asks for /a/b.bin.
    const auto redirect = [](const char *tag, const Replies &replies, const QVariantMap &values, const char *path,
                             int errorNumber = Finished, const QString &errorText = QString()) {
        QTest::newRow(tag) << replies << errorNumber << errorText << values << "http://HOST/a/b.bin"
                           << QByteArray(path);
    };
    const auto to = [](const QByteArray &location) {
        return Pieces{"HTTP/1.1 302 Found\r\nServer: s\r\nLocation: " + location + "\r\n\r\n"};
    };
    const Pieces target{fullHeader("200 OK", "target", 4) + "abcd"};
    const auto arrived = [](const char *path) {
        return QVariantMap{{"Path", QStringLiteral("http://HOST") + QLatin1String(path)}, {"Server", "server-target"},
                           {"Geted", true}, {"ReID", 200}};
    };
    redirect("relative Location", {to("c/target.bin"), target}, arrived("/a/c/target.bin"), "/a/c/target.bin");
    redirect("dot segments", {to("../target.bin"), target}, arrived("/target.bin"), "/target.bin");
    // Without Location there is nowhere to go, even after an earlier redirect.
    redirect("then none", {to("/again"), {"HTTP/1.1 302 Found\r\nServer: s\r\n\r\n"}}, {{"Geted", false}}, "/again",
             1, Invalid);
    redirect("loop", Replies(21, to("/a/b.bin")), {{"Geted", false}}, "/a/b.bin", 302, Unknown);
}

void TestZuHttpScripted::probe()
{
    QFETCH(Replies, replies);
    QFETCH(int, errorNumber);
    QFETCH(QString, errorText);
    QFETCH(QVariantMap, values);
    QFETCH(QString, address);
    QFETCH(QByteArray, path);
    ZuHTTPdownload control;
    probeWith(control, {fullHeader("200 OK", "old", 5) + "hello"});
    QCOMPARE(control.Length(), 5);

    for (const Pieces &pieces : replies)
        queue(pieces);
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QCOMPARE(control.GetAttrs(address.replace(QStringLiteral("HOST"), m_host)), QString());
    QVERIFY(!control.takeError());
    QVERIFY(waitForEnd(control, got, error));
    QCOMPARE(got.size(), int(errorNumber == Finished));
    QCOMPARE(Events(error), (errorNumber == Finished ? Events() : Events{{qint16(errorNumber), errorText}}));
    QCOMPARE(m_requests.size(), path.isEmpty() ? 1 : 1 + replies.size());
    if (!path.isEmpty())
        QCOMPARE(m_requests.last(), "GET " + path + " HTTP/1.1\r\nHost: " + m_host.toLatin1()
                                               + "\r\nAccept: */*\r\nUser-Agent: zudownload/1.00\r\n"
                                                 "Pragma: no-cache\r\nCache-Control: no-cache\r\n"
                                                 "Connection: close\r\n\r\n");
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const bool overflow = it.key() == QLatin1String("error");
        const QVariant actual = overflow ? QVariant(control.takeError().value_or(SystemError(0, {})).number())
                                         : control.property(it.key().toLatin1().constData());
        QVERIFY2(actual.toString() == it.value().toString().replace(QStringLiteral("HOST"), m_host),
                 qPrintable(it.key() + u' ' + actual.toString()));
    }
}

// Transfers: DownTo, or OpenUrl streaming text (format 1) or bytes (2).

void TestZuHttpScripted::download_data()
{
    QTest::addColumn<Pieces>("pieces");
    QTest::addColumn<int>("pause");
    QTest::addColumn<QByteArray>("existing"); // null: no file
    QTest::addColumn<int>("begin");           // resumed with Ext beyond 1
    QTest::addColumn<int>("last");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("errorNumber");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<int>("format"); // 0: DownTo
    QTest::addColumn<QByteArray>("type"); // of the resource, from the probe before
    // Pieces come 150 ms apart, beyond the watchdog's tick.
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
    row("401", {"HTTP/1.1 401 Unauthorized\r\n\r\nno"}, "", 404, Auth);
    row("302 on a download", {"HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\n"}, "", 302, Unknown);
    row("no status line", {"garbage\r\n\r\n" + Ten}, "", 0, Unknown);
    row("early close in the body", {Ok + "Content-Length: 10\r\n\r\n01234"}, "01234", Aborted);
    row("early close in the header", {Ok + "Content-Le"}, "", 0, Unknown);
    row("chunked cut short", {Ok + "Transfer-Encoding: chunked\r\n\r\n5\r\n01234\r\n5\r\n56"}, "0123456", Aborted);
    const QByteArray big = randomBytes(300000, 1);
    row("large first arrival", {Ok + "Content-Length: 300000\r\n\r\n" + big}, big);

    // No file is open while streaming.
    const QByteArray text = QStringLiteral("第一行 line\r\n第二行").toUtf8();
    stream("text, character split over arrivals", "text/html", {Ok + "\r\n" + text.left(1), text.mid(1, 1), text.mid(2)},
           text, 1);
    stream("bytes, parameters make it bytes", "text/html; charset=utf-8", {Ok + "\r\nab"}, "ab", 2);
    stream("stream of a 404", "text/plain", {"HTTP/1.1 404 Not Found\r\n\r\nmissing"}, "", 1, 0, 404, NotFound);
    // A server that ignores the range sends it all; the host asked for the tail.
    stream("last 3, answered whole", "application/octet-stream", {Ok + "Content-Length: 10\r\n\r\n01234", "56789"},
           "789", 2, 3);
    stream("last 3, text answered whole", "text/plain", {Ok + "Content-Length: 10\r\n\r\n" + Ten}, "789", 1, 3);

    // Answers kept beside the test, replayed in arrivals of a few bytes each.
    // NAME.body holds the file they must give; without one the download must fail.
    const QDir dir(QStringLiteral(RESPONSES_DIR));
    const QStringList names = dir.entryList({QStringLiteral("*.http")}, QDir::Files, QDir::Name);
    QVERIFY(!names.isEmpty());
    for (const QString &name : names) {
        const QByteArray answer = readFile(dir.filePath(name));
        Pieces pieces;
        for (qsizetype i = 0; i < answer.size(); i += 7)
            pieces << answer.mid(i, 7);
        const QString body = dir.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".body"));
        row(qPrintable(name), pieces, readFile(body), QFile::exists(body) ? Finished : AnyError, {}, {}, 1, 0, 5);
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
    if (last > 1 && (format || begin > 1))
        QVERIFY(m_requests.last().endsWith("\r\nRange: bytes=-" + QByteArray::number(last) + "\r\n\r\n"));
    QCOMPARE(finish.size(), int(errorNumber == Finished));
    QCOMPARE(error.size(), int(errorNumber != Finished));
    if (errorNumber >= 0)
        QCOMPARE(error.first().at(0).value<qint16>(), qint16(errorNumber));
    else if (errorNumber == Finished && !format)
        QCOMPARE(hsDown, qint64(expected.size()));
    if (!errorText.isEmpty())
        QCOMPARE(error.first().at(1).toString(), errorText);
    QCOMPARE(control.HsDown(), 0);
    if (format) {
        QCOMPARE(streamed(data, format), expected);
    } else {
        QVERIFY(QFile::exists(file));
        if (errorNumber != AnyError) // a broken answer may leave what came before the break
            QCOMPARE(readFile(file), expected);
    }
}

// Refused targets ask nothing of the server; ZUClose ends the next transfer with Finish.
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
    QCOMPARE(control.HsDown(), 0);
    QVERIFY(waitForEnd(control, finish, error));
    QCOMPARE(finish.size(), 1);
    QCOMPARE(error.size(), 0);
    QCOMPARE(control.State().toInt(), 0);
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
    row("GetData", "GetData()", "DownTo", {Ok + "\r\nab", "cd"});
    row("Finish of a download", "Finish()", "DownTo", {Ok + "Content-Length: 2\r\n\r\nab"});
    row("OnError of a download cut short", "OnError(qint16,QString)", "DownTo", {Ok + "Content-Length: 9\r\n\r\nab"});
    row("GetedData, bytes", "GetedData(QVariant,qint32)", "OpenUrl", {Ok + "\r\nabcd", "efgh"});
    row("GetedData, text", "GetedData(QVariant,qint32)", "OpenUrl, text", {Ok + "\r\nabcd", "efgh"});
    row("Finish of a stream", "Finish()", "OpenUrl", {Ok + "Content-Length: 2\r\n\r\nab"});
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
    queue(pieces);
    QVERIFY(connect(control, QByteArray(QT_STRINGIFY(QSIGNAL_CODE) + event).constData(), this, SLOT(deleteSender())));
    call(*control, what);
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 5000);
}

void TestZuHttpScripted::refusedCallChangesNothing_data()
{
    QTest::addColumn<QString>("running"); // DownTo or OpenUrl
    QTest::addColumn<QString>("again"); // called at the first data event, or queued from the last
    QTest::addColumn<bool>("accepted");
    QTest::newRow("DownTo, same file") << "DownTo" << "DownTo" << false;
    // The socket is closed by then, but Finish has not come yet.
    QTest::newRow("DownTo after the last byte") << "DownTo" << "DownTo, last" << false;
    QTest::newRow("OpenUrl after the last byte") << "OpenUrl" << "OpenUrl, last" << false;
    QTest::newRow("DownTo, another file") << "DownTo" << "DownTo other" << false;
    QTest::newRow("GetAttrs") << "DownTo" << "GetAttrs" << false;
    QTest::newRow("PGetAttr") << "DownTo" << "PGetAttr" << false;
    QTest::newRow("OpenUrl while streaming") << "OpenUrl" << "OpenUrl" << false;
    QTest::newRow("OpenUrl beside a download") << "DownTo" << "OpenUrl" << true;
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
    const auto callAgain = [&] {
        if (!std::exchange(called, true)) {
            call(control, again);
            refusal = control.takeError();
        }
    };
    int bytes = 0;
    const auto onData = [&] {
        if (!again.endsWith(QLatin1String(", last")))
            callAgain();
        else if ((running == QLatin1String("DownTo") ? control.HsDown() : ++bytes) == 10)
            QMetaObject::invokeMethod(&control, callAgain, Qt::QueuedConnection);
    };
    connect(&control, &ZuHTTPdownload::GetData, &control, onData);
    connect(&control, &ZuHTTPdownload::GetedData, &control, onData);

    QTRY_VERIFY_WITH_TIMEOUT(finish.size() + error.size() >= (accepted ? 2 : 1) && idle(control), 5000);
    QCOMPARE(finish.size(), accepted ? 2 : 1);
    QCOMPARE(refusal ? refusal->number() : 0, accepted ? 0 : 40020);
    QCOMPARE(Events(error), Events());
    QCOMPARE(wk->Tag(), tag);
    QCOMPARE(control.Path().toString(), path);
    QVERIFY(control.Geted());
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("other.bin"))));
    if (running == QLatin1String("DownTo"))
        QCOMPARE(readFile(m_dir.filePath(QStringLiteral("running.bin"))), Ten);
    QCOMPARE(streamed(data, 2), running == QLatin1String("OpenUrl") ? Ten : QByteArray(accepted ? "xy" : ""));
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
