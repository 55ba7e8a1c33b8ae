// The control against a scripted loopback server: answers a real server
// does not give (split or missing headers, odd status lines, early close,
// hand-made chunking).

#include "ScriptedServer.h"
#include "ZuHTTPdownload.h"

#include "ModalRunner.h"
#include "PropertyBag.h"
#include "Shell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMetaClassInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using Pieces = QList<QByteArray>;

static const QString NotFound = QStringLiteral("地址未找到！");
static const QString Unknown = QStringLiteral("未知错误");
static const QString Invalid = QStringLiteral("无效的地址");
static const QString Auth = QStringLiteral("指定地址需要用户名及密码才可访问，但Zu下载控件1.0暂不支持用户权限验证。");

static QByteArray fullHeader(const QByteArray &status, const QByteArray &tag, int length,
                             const QByteArray &type = "text/plain")
{
    return "HTTP/1.1 " + status + "\r\n"
           "Date: date-" + tag + "\r\n"
           "Server: server-" + tag + "\r\n"
           "Last-Modified: modified-" + tag + "\r\n"
           "ETag: \"etag-" + tag + "\"\r\n"
           "Accept-Ranges: range-" + tag + "\r\n"
           "Content-Length: " + QByteArray::number(length) + "\r\n"
           "Content-Type: " + type + "\r\n"
           "Connection: close\r\n\r\n";
}

static QByteArray without(QByteArray header, const QByteArray &name)
{
    const qsizetype a = header.indexOf(name);
    const qsizetype e = header.indexOf("\r\n", a);
    header.remove(a, e - a + 2);
    return header;
}

class TestZuHttpScripted : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void requestText_data();
    void requestText();
    void addressSplit_data();
    void addressSplit();
    void invalidAddress_data();
    void invalidAddress();

    void probe_data();
    void probe();
    void redirect_data();
    void redirect();
    void redirectsAreBounded();
    void statusBeyond32Bits();

    void download_data();
    void download();
    void downloadEndsWhenServerCloses();
    void downToRefusesBadFiles();
    void downToReplacesReadOnlyFile();
    void downToBeyondTheEnd();
    void zuCloseEndsTransfer();
    void savedResponses_data();
    void savedResponses();

    void stream_data();
    void stream();
    void streamSurvivesTheWatchdog();

    void freshControl();
    void interfaceOrder();
    void authorMembers();
    void fixedSize();
    void aboutOnShow();

private:
    void probeWith(ZuHTTPdownload &control, const Pieces &pieces);
    bool waitForEnd(QSignalSpy &finish, QSignalSpy &error, int ms = 5000);

    ScriptedServer *m_server = nullptr;
    QTemporaryDir m_dir;
    int m_modals = 0;
};

void TestZuHttpScripted::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_server = new ScriptedServer(this);
    QVERIFY(m_server->port() != 0);
    ModalRunner::setHandler([this](QDialog *) {
        ++m_modals;
        return 0;
    });
}

void TestZuHttpScripted::init()
{
    m_server->clear();
    m_modals = 0;
}

void TestZuHttpScripted::cleanup()
{
    m_server->clear();
}

bool TestZuHttpScripted::waitForEnd(QSignalSpy &finish, QSignalSpy &error, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (finish.isEmpty() && error.isEmpty() && timer.elapsed() < ms)
        QTest::qWait(20);
    // Whatever else comes late would be a fault too.
    QTest::qWait(300);
    return !finish.isEmpty() || !error.isEmpty();
}

void TestZuHttpScripted::probeWith(ZuHTTPdownload &control, const Pieces &pieces)
{
    m_server->queue(pieces);
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    control.GetAttrs(QStringLiteral("http://%1/base").arg(m_server->hostText()));
    QVERIFY(got.wait(5000));
    m_server->clear();
}

// Request

void TestZuHttpScripted::requestText_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("last");
    QTest::addColumn<QByteArray>("range");
    QTest::newRow("probe") << "GetAttrs" << 0 << QByteArray();
    QTest::newRow("stream, last byte") << "OpenUrl" << 1 << QByteArray("Range: bytes=-1\r\n");
    QTest::newRow("stream, whole") << "OpenUrl" << 0 << QByteArray();
    QTest::newRow("download resumed") << "DownTo" << 500 << QByteArray("Range: bytes=-500\r\n");
    QTest::newRow("download whole") << "DownTo" << 0 << QByteArray();
}

void TestZuHttpScripted::requestText()
{
    QFETCH(QString, call);
    QFETCH(int, last);
    QFETCH(QByteArray, range);
    ZuHTTPdownload control;
    m_server->queue({fullHeader("200 OK", "a", 2) + "ok"});
    control.GetAttrs(QStringLiteral("http://%1/d/f.bin?x=1").arg(m_server->hostText()));
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    QVERIFY(got.wait(5000));
    if (call == QLatin1String("OpenUrl")) {
        control.OpenUrl(last);
    } else if (call == QLatin1String("DownTo")) {
        control.DownTo(m_dir.filePath(QStringLiteral("request.bin")), last > 0 ? 2 : 1, last, false);
    }
    QVERIFY(!control.takeError());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), call == QLatin1String("GetAttrs") ? 1 : 2, 5000);
    const QByteArray expected = "GET /d/f.bin?x=1 HTTP/1.1\r\n"
                                "Host: " + m_server->hostText().toLatin1() + "\r\n"
                                "Accept: */*\r\n"
                                "User-Agent: zudownload/1.00\r\n"
                                "Pragma: no-cache\r\n"
                                "Cache-Control: no-cache\r\n"
                                "Connection: close\r\n" + range + "\r\n";
    QCOMPARE(m_server->requests().last(), expected);
    control.ZUClose();
}

void TestZuHttpScripted::addressSplit_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("requestPath");
    QTest::newRow("scheme") << "s://HOST/d/f.bin" << "/d/f.bin";
    QTest::newRow("no scheme") << "HOST/d/f.bin" << "/d/f.bin";
    QTest::newRow("scheme in capitals") << "HTTP://HOST/x" << "/x";
    QTest::newRow("root") << "s://HOST/" << "/";
    QTest::newRow("query kept") << "http://HOST/a/b?c=d&e=%20f" << "/a/b?c=d&e=%20f";
    QTest::newRow("two schemes") << "s://HOST/p://q" << "/p://q";
}

void TestZuHttpScripted::addressSplit()
{
    QFETCH(QString, address);
    QFETCH(QString, requestPath);
    address.replace(QStringLiteral("HOST"), m_server->hostText());
    ZuHTTPdownload control;
    m_server->queue({fullHeader("200 OK", "a", 0)});
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    control.GetAttrs(address);
    QVERIFY(got.wait(5000));
    QCOMPARE(control.Host().toString(), m_server->hostText());
    QCOMPARE(control.Path().toString(), address);
    QCOMPARE(m_server->requests().size(), 1);
    QVERIFY(m_server->requests().first().startsWith("GET " + requestPath.toLatin1() + " HTTP/1.1\r\n"));
    QVERIFY(m_server->requests().first().contains("\r\nHost: " + m_server->hostText().toLatin1() + "\r\n"));
}

void TestZuHttpScripted::invalidAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("no path") << "s://127.0.0.1";
    QTest::newRow("empty") << "";
    QTest::newRow("scheme only") << "http://";
    QTest::newRow("bare host") << "127.0.0.1";
}

void TestZuHttpScripted::invalidAddress()
{
    QFETCH(QString, address);
    ZuHTTPdownload control;
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QCOMPARE(control.GetAttrs(address), QString());
    QVERIFY(!control.takeError());
    QCOMPARE(error.size(), 1);
    QCOMPARE(error.first().at(0).value<qint16>(), qint16(1));
    QCOMPARE(error.first().at(1).toString(), Invalid);
    QVERIFY(!control.Geted());
    QCOMPARE(control.Path().toString(), address);
    QTest::qWait(100);
    QVERIFY(m_server->requests().isEmpty());
}

// Probe

void TestZuHttpScripted::probe_data()
{
    QTest::addColumn<Pieces>("pieces");
    QTest::addColumn<int>("errorNumber"); // -1: GetAttred
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<QVariantMap>("values");

    const QByteArray all = fullHeader("200 OK", "new", 7) + "payload";
    QVariantMap allNew{{"HttpVer", "1.1"}, {"ReID", 200}, {"ServerDateTime", "date-new"},
                       {"Server", "server-new"}, {"URLDateTime", "modified-new"},
                       {"Etag", "\"etag-new\""}, {"Range", "range-new"}, {"Length", 7},
                       {"LType", "text/plain"}, {"Geted", true}};

    QTest::newRow("all eight") << Pieces{all} << -1 << QString() << allNew;

    QVariantMap noEtag = allNew;
    noEtag["Etag"] = "\"etag-old\"";
    QTest::newRow("no ETag keeps the old one") << Pieces{without(all, "ETag")} << -1 << QString() << noEtag;

    QTest::newRow("header split over arrivals")
        << Pieces{all.left(6), all.mid(6, 40), all.mid(46, 100), all.mid(146)} << -1 << QString() << allNew;

    QTest::newRow("404 without Last-Modified")
        << Pieces{without(fullHeader("404 Not Found", "new", 7), "Last-Modified")} << 404 << NotFound
        << QVariantMap{{"ReID", 404}, {"ServerDateTime", "date-new"}, {"Server", "server-new"},
                       {"URLDateTime", "modified-old"}, {"Etag", "\"etag-old\""}, {"Length", 5},
                       {"Geted", false}};

    QVariantMap all404 = allNew;
    all404["ReID"] = 404;
    QTest::newRow("404 with every header") << Pieces{fullHeader("404 Not Found", "new", 7) + "payload"}
                                           << -1 << QString() << all404;

    QTest::newRow("401 with a header missing")
        << Pieces{without(fullHeader("401 Unauthorized", "new", 7), "ETag")} << 404 << Auth
        << QVariantMap{{"ReID", 401}, {"Geted", false}};

    QTest::newRow("500 with a header missing")
        << Pieces{without(fullHeader("500 Internal Server Error", "new", 7), "Server: ")} << 500 << Unknown
        << QVariantMap{{"ReID", 500}, {"ServerDateTime", "date-new"}, {"Server", "server-old"}};

    QTest::newRow("no status line") << Pieces{"hello there\r\n\r\n"} << 0 << Unknown
                                    << QVariantMap{{"ReID", 200}, {"Geted", false}};

    QTest::newRow("status line without code end") << Pieces{"HTTP/1.1"} << 0 << Unknown
                                                   << QVariantMap{{"Geted", false}};

    QTest::newRow("code beyond 16 bits") << Pieces{without(fullHeader("99999 Odd", "new", 7), "ETag")}
                                         << 0 << Unknown << QVariantMap{{"ReID", 99999}};

    QTest::newRow("header names in any case")
        << Pieces{"http/1.0 200 OK\r\nDATE: d\r\nSERVER: s\r\nlast-modified: l\r\netag: e\r\n"
                  "accept-ranges: r\r\ncontent-length: 3\r\ncontent-type: t\r\n\r\nabc"}
        << -1 << QString()
        << QVariantMap{{"HttpVer", "1.0"}, {"ServerDateTime", "d"}, {"Server", "s"}, {"URLDateTime", "l"},
                       {"Etag", "e"}, {"Range", "r"}, {"Length", 3}, {"LType", "t"}};

    QTest::newRow("no blank after the colon")
        << Pieces{without(all, "Content-Length") .replace("Content-Type: ", "Content-Length:9\r\nContent-Type: ")}
        << -1 << QString() << QVariantMap{{"Length", 5}};

    QTest::newRow("server closes without a word") << Pieces{} << 0 << Unknown << QVariantMap{{"Geted", false}};

    QTest::newRow("server closes inside the header")
        << Pieces{"HTTP/1.1 404 Not Found\r\nServer: early\r\n"} << 404 << NotFound
        << QVariantMap{{"ReID", 404}, {"Server", "server-old"}};
}

void TestZuHttpScripted::probe()
{
    QFETCH(Pieces, pieces);
    QFETCH(int, errorNumber);
    QFETCH(QString, errorText);
    QFETCH(QVariantMap, values);

    ZuHTTPdownload control;
    probeWith(control, {fullHeader("200 OK", "old", 5) + "hello"});
    QCOMPARE(control.Length(), 5);

    m_server->queue(pieces);
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    control.GetAttrs(QStringLiteral("http://%1/f").arg(m_server->hostText()));
    QTRY_VERIFY_WITH_TIMEOUT(!got.isEmpty() || !error.isEmpty(), 5000);
    QTest::qWait(150);
    if (errorNumber < 0) {
        QCOMPARE(error.size(), 0);
        QCOMPARE(got.size(), 1);
    } else {
        QCOMPARE(got.size(), 0);
        QCOMPARE(error.size(), 1);
        QCOMPARE(error.first().at(0).value<qint16>(), qint16(errorNumber));
        QCOMPARE(error.first().at(1).toString(), errorText);
    }
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QVariant actual = control.property(it.key().toLatin1().constData());
        QVERIFY2(actual.toString() == it.value().toString(),
                 qPrintable(it.key() + QStringLiteral(": ") + actual.toString()));
    }
}

void TestZuHttpScripted::redirect_data()
{
    QTest::addColumn<QString>("location"); // HOST stands for the server
    QTest::addColumn<QByteArray>("secondPath");
    QTest::addColumn<QString>("path");
    QTest::newRow("absolute") << "Location: http://HOST/b/target.bin" << QByteArray("/b/target.bin")
                              << "http://HOST/b/target.bin";
    QTest::newRow("absolute path") << "Location: /b/target.bin" << QByteArray("/b/target.bin")
                                   << "http://HOST/b/target.bin";
    QTest::newRow("relative") << "Location: c/target.bin" << QByteArray("/a/c/target.bin")
                              << "http://HOST/a/c/target.bin";
    QTest::newRow("dot segments") << "Location: ../target.bin" << QByteArray("/target.bin")
                                  << "http://HOST/target.bin";
}

void TestZuHttpScripted::redirect()
{
    QFETCH(QString, location);
    QFETCH(QByteArray, secondPath);
    QFETCH(QString, path);
    location.replace(QStringLiteral("HOST"), m_server->hostText());
    path.replace(QStringLiteral("HOST"), m_server->hostText());

    ZuHTTPdownload control;
    m_server->queue({"HTTP/1.1 302 Found\r\nServer: s\r\n" + location.toLatin1() + "\r\n\r\n"});
    m_server->queue({fullHeader("200 OK", "target", 4) + "abcd"});
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    control.GetAttrs(QStringLiteral("http://%1/a/b.bin").arg(m_server->hostText()));
    QVERIFY(got.wait(5000));
    QCOMPARE(error.size(), 0);
    QCOMPARE(m_server->requests().size(), 2);
    QVERIFY(m_server->requests().at(1).startsWith("GET " + secondPath + " HTTP/1.1\r\n"));
    QCOMPARE(control.Path().toString(), path);
    QCOMPARE(control.ReID(), 200);
    QCOMPARE(control.Server().toString(), QStringLiteral("server-target"));
    QVERIFY(control.Geted());
}

void TestZuHttpScripted::redirectsAreBounded()
{
    ZuHTTPdownload control;
    // Without Location there is nowhere to go, even after an earlier redirect.
    m_server->queue({"HTTP/1.1 302 Found\r\nLocation: /again\r\n\r\n"});
    m_server->queue({"HTTP/1.1 302 Found\r\nServer: s\r\n\r\n"});
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    control.GetAttrs(QStringLiteral("http://%1/loop").arg(m_server->hostText()));
    QVERIFY(error.wait(5000));
    QCOMPARE(error.size(), 1);
    QCOMPARE(error.first().at(0).value<qint16>(), qint16(1));
    QCOMPARE(error.first().at(1).toString(), Invalid);
    QCOMPARE(m_server->requests().size(), 2);

    m_server->clear();
    error.clear();
    m_server->queue({"HTTP/1.1 302 Found\r\nLocation: /loop\r\n\r\n"});
    control.GetAttrs(QStringLiteral("http://%1/loop").arg(m_server->hostText()));
    QVERIFY(error.wait(10000));
    QTest::qWait(200);
    QCOMPARE(error.size(), 1);
    QCOMPARE(error.first().at(0).value<qint16>(), qint16(302));
    QCOMPARE(m_server->requests().size(), 21);
    QVERIFY(!control.Geted());
}

void TestZuHttpScripted::statusBeyond32Bits()
{
    ZuHTTPdownload control;
    probeWith(control, {"HTTP/1.1 3000000000 Big\r\nDate: d\r\nServer: s\r\nLast-Modified: l\r\nETag: e\r\n"
                        "Accept-Ranges: r\r\nContent-Length: 99999999999\r\nContent-Type: t\r\n\r\n"});
    QCOMPARE(control.ReID(), 0);
    auto error = control.takeError();
    QVERIFY(error);
    QCOMPARE(error->number(), 6);
    QCOMPARE(control.Length(), 0);
    error = control.takeError();
    QVERIFY(error);
    QCOMPARE(error->number(), 6);
}

// Downloads

void TestZuHttpScripted::download_data()
{
    QTest::addColumn<Pieces>("pieces");
    QTest::addColumn<QByteArray>("existing"); // null: no file
    QTest::addColumn<int>("begin");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("ext");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("errorNumber"); // -1: Finish
    QTest::addColumn<QString>("errorText");

    const QByteArray ten = "0123456789";
    QTest::newRow("whole") << Pieces{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n" + ten} << QByteArray()
                           << 1 << 0 << false << ten << -1 << QString();
    QTest::newRow("header split, nothing of it written")
        << Pieces{"HTTP/1.1 200 OK\r\nContent-Le", "ngth: 10\r\n", "\r", "\n01234", "56789"} << QByteArray()
        << 1 << 0 << false << ten << -1 << QString();
    QTest::newRow("blank line split after CR LF CR")
        << Pieces{"HTTP/1.1 200 OK\r\n\r", "\n0123456789"} << QByteArray() << 1 << 0 << false << ten << -1
        << QString();
    QTest::newRow("existing file replaced") << Pieces{"HTTP/1.1 200 OK\r\n\r\n" + ten} << QByteArray("old data, longer than ten")
                                            << 1 << 0 << false << ten << -1 << QString();
    QTest::newRow("chunked")
        << Pieces{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n01", "234\r\n5;x=y\r\n56789\r\n0\r\n",
                  "\r\n"}
        << QByteArray() << 1 << 0 << false << ten << -1 << QString();
    QTest::newRow("no length, server closes") << Pieces{"HTTP/1.1 200 OK\r\n\r\n012", "3456", "789"} << QByteArray()
                                              << 1 << 0 << false << ten << -1 << QString();
    QTest::newRow("resumed, 206") << Pieces{"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 4-9/10\r\n"
                                            "Content-Length: 6\r\n\r\n456789"}
                                  << QByteArray("01234") << 5 << 6 << true << ten << -1 << QString();
    QTest::newRow("resumed, answered whole")
        << Pieces{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n" + ten} << QByteArray("0123X") << 5 << 6 << true
        << ten << -1 << QString();
    QTest::newRow("404 writes nothing") << Pieces{"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"}
                                        << QByteArray("01234") << 5 << 6 << true << QByteArray("01234") << 404
                                        << NotFound;
    QTest::newRow("404 without headers") << Pieces{"HTTP/1.1 404 Not Found\r\n\r\n"} << QByteArray() << 1 << 0
                                         << false << QByteArray("") << 404 << NotFound;
    QTest::newRow("401") << Pieces{"HTTP/1.1 401 Unauthorized\r\n\r\nno"} << QByteArray() << 1 << 0 << false
                         << QByteArray("") << 404 << Auth;
    QTest::newRow("302 on a download") << Pieces{"HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\n"} << QByteArray() << 1
                                       << 0 << false << QByteArray("") << 302 << Unknown;
    QTest::newRow("no status line") << Pieces{"garbage\r\n\r\n" + ten} << QByteArray() << 1 << 0 << false
                                    << QByteArray("") << 0 << Unknown;
    QTest::newRow("early close in the body")
        << Pieces{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n01234"} << QByteArray() << 1 << 0 << false
        << QByteArray("01234") << 10053 << QString();
    QTest::newRow("early close in the header") << Pieces{"HTTP/1.1 200 OK\r\nContent-Le"} << QByteArray() << 1 << 0
                                               << false << QByteArray("") << 0 << Unknown;
    QTest::newRow("chunked cut short")
        << Pieces{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n01234\r\n5\r\n56"} << QByteArray()
        << 1 << 0 << false << QByteArray("0123456") << 10053 << QString();

    QByteArray big(300000, 'x');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 251);
    QTest::newRow("large first arrival")
        << Pieces{"HTTP/1.1 200 OK\r\nContent-Length: 300000\r\n\r\n" + big} << QByteArray() << 1 << 0 << false
        << big << -1 << QString();
}

void TestZuHttpScripted::download()
{
    QFETCH(Pieces, pieces);
    QFETCH(QByteArray, existing);
    QFETCH(int, begin);
    QFETCH(int, last);
    QFETCH(bool, ext);
    QFETCH(QByteArray, expected);
    QFETCH(int, errorNumber);
    QFETCH(QString, errorText);

    const QString file = m_dir.filePath(QStringLiteral("download-%1.bin").arg(QTest::currentDataTag()));
    QFile::remove(file);
    if (!existing.isNull()) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(existing);
    }

    ZuHTTPdownload control;
    // A probe that leaves the length unknown: only the answer itself may end the transfer.
    probeWith(control, {"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n"});
    m_server->queue(ScriptedServer::Reply{pieces, true, 150});

    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy data(&control, &ZuHTTPdownload::GetData);
    control.DownTo(file, begin, last, ext);
    QVERIFY(!control.takeError());
    QVERIFY(waitForEnd(finish, error));

    if (last > 1 && begin > 1)
        QVERIFY(m_server->requests().first().contains("\r\nRange: bytes=-" + QByteArray::number(last) + "\r\n\r\n"));
    if (errorNumber < 0) {
        QCOMPARE(error.size(), 0);
        QCOMPARE(finish.size(), 1);
        QVERIFY(!data.isEmpty());
    } else {
        QCOMPARE(finish.size(), 0);
        QCOMPARE(error.size(), 1);
        QCOMPARE(error.first().at(0).value<qint16>(), qint16(errorNumber));
        if (!errorText.isEmpty())
            QCOMPARE(error.first().at(1).toString(), errorText);
    }
    QCOMPARE(control.HsDown(), 0);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), expected);
}

void TestZuHttpScripted::downloadEndsWhenServerCloses()
{
    // Neither the probe nor the answer tells the length: the end is the server's close.
    ZuHTTPdownload control;
    probeWith(control, {"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n"});
    const QString file = m_dir.filePath(QStringLiteral("slow.bin"));
    m_server->queue(ScriptedServer::Reply{{"HTTP/1.1 200 OK\r\n\r\nab", "cd", "ef", "gh"}, true, 250});
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    control.DownTo(file, 1, 0, false);
    QTest::qWait(400);
    QCOMPARE(finish.size(), 0);
    QCOMPARE(control.State().toInt(), 7);
    QVERIFY(control.HsDown() >= 2);
    QVERIFY(waitForEnd(finish, error));
    QCOMPARE(finish.size(), 1);
    QCOMPARE(error.size(), 0);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("abcdefgh"));
}

void TestZuHttpScripted::downToRefusesBadFiles()
{
    ZuHTTPdownload control;
    probeWith(control, {"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n"});
    const QStringList bad{m_dir.filePath(QStringLiteral("no/such/folder/f.bin")), QString(), m_dir.path()};
    for (const QString &file : bad) {
        control.DownTo(file, 1, 0, false);
        const auto error = control.takeError();
        QVERIFY2(error, qPrintable(file));
        QVERIFY(error->number() != 0);
    }
    QTest::qWait(150);
    QVERIFY(m_server->requests().isEmpty());
    QVERIFY(QFileInfo(m_dir.path()).isDir());
}

void TestZuHttpScripted::downToReplacesReadOnlyFile()
{
    ZuHTTPdownload control;
    probeWith(control, {"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n"});
    const QString file = m_dir.filePath(QStringLiteral("readonly.bin"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    QFile::setPermissions(file, QFile::ReadOwner);
    m_server->queue({"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nnew"});
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    control.DownTo(file, 1, 0, false);
    QVERIFY(!control.takeError());
    QVERIFY(finish.wait(5000));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("new"));
}

void TestZuHttpScripted::downToBeyondTheEnd()
{
    // Begin one past the end of an existing file: the file starts afresh and
    // the bytes in front of Begin read as zero.
    ZuHTTPdownload control;
    probeWith(control, {"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n"});
    const QString file = m_dir.filePath(QStringLiteral("beyond.bin"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("abc");
    }
    m_server->queue({"HTTP/1.1 206 Partial Content\r\nContent-Length: 2\r\n\r\nxy"});
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    control.DownTo(file, 5, 2, true);
    QVERIFY(!control.takeError());
    QVERIFY(finish.wait(5000));
    QVERIFY(m_server->requests().first().contains("Range: bytes=-2\r\n"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("\0\0\0\0xy", 6));
}

void TestZuHttpScripted::zuCloseEndsTransfer()
{
    ZuHTTPdownload control;
    probeWith(control, {"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n"});
    const QString file = m_dir.filePath(QStringLiteral("closed.bin"));
    m_server->queue(ScriptedServer::Reply{{"HTTP/1.1 200 OK\r\n\r\nab", "cd", "ef", "gh"}, true, 300});
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    control.DownTo(file, 1, 0, false);
    QTest::qWait(150);
    control.ZUClose();
    QCOMPARE(control.HsDown(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(finish.size(), 1, 2000);
    QTest::qWait(500);
    QCOMPARE(finish.size(), 1);
    QCOMPARE(error.size(), 0);
    QCOMPARE(control.State().toInt(), 0);
}

void TestZuHttpScripted::savedResponses_data()
{
    // Answers kept beside the test, replayed in arrivals of a few bytes each.
    // NAME.body holds the file they must give; without one the download must fail.
    QTest::addColumn<QString>("response");
    const QDir dir(QStringLiteral(RESPONSES_DIR));
    const QStringList names = dir.entryList({QStringLiteral("*.http")}, QDir::Files, QDir::Name);
    QVERIFY(!names.isEmpty());
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << dir.filePath(name);
}

void TestZuHttpScripted::savedResponses()
{
    QFETCH(QString, response);
    QFile in(response);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray answer = in.readAll();
    const QString bodyFile = response.chopped(5) + QStringLiteral(".body");

    ZuHTTPdownload control;
    probeWith(control, {"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n"});
    Pieces pieces;
    for (qsizetype i = 0; i < answer.size(); i += 7)
        pieces << answer.mid(i, 7);
    m_server->queue(ScriptedServer::Reply{pieces, true, 5});
    const QString file = m_dir.filePath(QFileInfo(response).completeBaseName() + QStringLiteral(".out"));
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    control.DownTo(file, 1, 0, false);
    QVERIFY(waitForEnd(finish, error));
    QFile out(file);
    QVERIFY(out.open(QIODevice::ReadOnly));
    if (QFile::exists(bodyFile)) {
        QCOMPARE(error.size(), 0);
        QCOMPARE(finish.size(), 1);
        QFile body(bodyFile);
        QVERIFY(body.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), body.readAll());
    } else {
        QCOMPARE(finish.size(), 0);
        QCOMPARE(error.size(), 1);
        QCOMPARE(out.readAll(), QByteArray());
    }
}

// Streams

void TestZuHttpScripted::stream_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<Pieces>("pieces");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("errorNumber");

    const QByteArray text = QStringLiteral("第一行 line\r\n第二行").toUtf8();
    QTest::newRow("text, length")
        << QByteArray("text/plain")
        << Pieces{"HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(text.size()) + "\r\n\r\n"
                  + text.left(4),
                  text.mid(4)}
        << text << -1;
    QTest::newRow("text, character split over arrivals")
        << QByteArray("text/html") << Pieces{"HTTP/1.1 200 OK\r\n\r\n" + text.left(1), text.mid(1, 1), text.mid(2)}
        << text << -1;
    QTest::newRow("text, chunked") << QByteArray("text/plain")
                                   << Pieces{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n",
                                             "2\r\nde\r\n0\r\n\r\n"}
                                   << QByteArray("abcde") << -1;
    QTest::newRow("bytes") << QByteArray("application/octet-stream")
                           << Pieces{QByteArray("HTTP/1.1 200 OK\r\n\r\n\x00\x01", 21), QByteArray("\xff\r\n\r\x00", 5)}
                           << QByteArray("\x00\x01\xff\r\n\r\x00", 7) << -1;
    QTest::newRow("bytes, parameters make it bytes") << QByteArray("text/html; charset=utf-8")
                                                     << Pieces{"HTTP/1.1 200 OK\r\n\r\nab"} << QByteArray("ab")
                                                     << -1;
    QTest::newRow("404") << QByteArray("text/plain") << Pieces{"HTTP/1.1 404 Not Found\r\n\r\nmissing"}
                         << QByteArray() << 404;
}

void TestZuHttpScripted::stream()
{
    QFETCH(QByteArray, type);
    QFETCH(Pieces, pieces);
    QFETCH(QByteArray, expected);
    QFETCH(int, errorNumber);

    ZuHTTPdownload control;
    probeWith(control, {"HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\n\r\n"});
    m_server->queue(ScriptedServer::Reply{pieces, true, 60});
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy data(&control, &ZuHTTPdownload::GetedData);
    control.OpenUrl(0);
    QVERIFY(!control.takeError());
    QVERIFY(waitForEnd(finish, error));

    if (errorNumber >= 0) {
        QCOMPARE(finish.size(), 0);
        QCOMPARE(error.size(), 1);
        QCOMPARE(error.first().at(0).value<qint16>(), qint16(errorNumber));
        QCOMPARE(data.size(), 0);
        return;
    }
    QCOMPARE(error.size(), 0);
    QCOMPARE(finish.size(), 1);
    const bool textMode = type == "text/plain" || type == "text/html";
    QByteArray received;
    for (const QList<QVariant> &event : std::as_const(data)) {
        QCOMPARE(event.at(1).toInt(), textMode ? 1 : 2);
        if (textMode) {
            received += event.at(0).toString().toUtf8();
        } else {
            QCOMPARE(event.at(0).metaType(), QMetaType::fromType<uchar>());
            received += char(event.at(0).value<uchar>());
        }
    }
    QCOMPARE(received, expected);
}

void TestZuHttpScripted::streamSurvivesTheWatchdog()
{
    // No file is open while streaming; the stream still runs to its end.
    ZuHTTPdownload control;
    probeWith(control, {"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n"});
    m_server->queue(ScriptedServer::Reply{{"HTTP/1.1 200 OK\r\n\r\none ", "two ", "three"}, true, 250});
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy data(&control, &ZuHTTPdownload::GetedData);
    control.OpenUrl(0);
    QTest::qWait(350);
    QCOMPARE(finish.size(), 0);
    QVERIFY(waitForEnd(finish, error));
    QCOMPARE(finish.size(), 1);
    QString text;
    for (const QList<QVariant> &event : std::as_const(data))
        text += event.at(0).toString();
    QCOMPARE(text, QStringLiteral("one two three"));
}

// Interface

void TestZuHttpScripted::freshControl()
{
    ZuHTTPdownload control;
    QVERIFY(!control.Geted());
    QCOMPARE(control.ReID(), 0);
    QCOMPARE(control.Length(), 0);
    QCOMPARE(control.HsDown(), 0);
    QVERIFY(!control.Host().isValid());
    QVERIFY(!control.Path().isValid());
    QVERIFY(!control.Etag().isValid());
    QCOMPARE(control.State().toInt(), 0);
    QCOMPARE(control.State().metaType(), QMetaType::fromType<qint16>());
    QVERIFY(!control.takeError());
    auto *timer = control.findChild<QTimer *>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 100);
    QVERIFY(!timer->isActive());
}

void TestZuHttpScripted::interfaceOrder()
{
    const QMetaObject *meta = &ZuHTTPdownload::staticMetaObject;
    const QString members = QString::fromLatin1(meta->classInfo(meta->indexOfClassInfo("Members")).value());
    const QStringList names = members.split(u',');
    QCOMPARE(names.size(), 27);
    QCOMPARE(names.first(), QStringLiteral("GetAttrs"));
    QCOMPARE(names.at(11), QStringLiteral("DownTo"));
    QCOMPARE(names.at(23), QStringLiteral("OpenUrl"));
    QCOMPARE(names.last(), QStringLiteral("ZULocalIP"));
    for (const QString &name : names) {
        const QByteArray n = name.toLatin1();
        bool found = meta->indexOfProperty(n.constData()) >= 0;
        for (int i = meta->methodOffset(); !found && i < meta->methodCount(); ++i)
            found = meta->method(i).name() == n && meta->method(i).methodType() == QMetaMethod::Method;
        QVERIFY2(found, n.constData());
    }
    QCOMPARE(QString::fromLatin1(meta->classInfo(meta->indexOfClassInfo("Events")).value()),
             QStringLiteral("OnError,GetAttred,Finish,GetData,GetedData"));
    const int downTo = meta->indexOfMethod("DownTo(QString,qint32,qint32,bool)");
    QVERIFY(downTo >= 0);
    QCOMPARE(meta->method(downTo).parameterNames(),
             (QList<QByteArray>{"Filename", "Begin", "Last", "Ext"}));
    QCOMPARE(meta->property(meta->indexOfProperty("ReID")).metaType(), QMetaType::fromType<qint32>());
    QCOMPARE(meta->property(meta->indexOfProperty("HsDown")).metaType(), QMetaType::fromType<qint32>());
    QCOMPARE(meta->property(meta->indexOfProperty("Length")).metaType(), QMetaType::fromType<qint32>());
}

void TestZuHttpScripted::authorMembers()
{
    ZuHTTPdownload control;
    QSignalSpy changed(&control, &ControlBase::propertyChanged);
    control.setWriter(QStringLiteral("someone"));
    QCOMPARE(control.Writer().toString(), QStringLiteral("Tolvar"));
    const QVariant mail = control.Email();
    control.setEmail(QStringLiteral("x@y"));
    QCOMPARE(control.Email(), mail);
    control.setHomePage(QStringLiteral("http://x/"));
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("Email"));
    QCOMPARE(changed.at(1).at(0).toString(), QStringLiteral("HomePage"));

    QStringList targets;
    Shell::setHandler([&](const QString &verb, const QString &target, QWidget *) {
        targets << verb + u' ' + target;
        return true;
    });
    control.WriteLetter();
    control.VisitHomePage();
    Shell::setHandler({});
    QCOMPARE(targets, (QStringList{QStringLiteral("open mailto:") + mail.toString(),
                                   QStringLiteral("open ") + control.HomePage().toString()}));
}

void TestZuHttpScripted::fixedSize()
{
    ZuHTTPdownload control;
    QCOMPARE(control.sizeTwips(), QSize(675, 570));
    control.hostResize(3000, 3000);
    QCOMPARE(control.sizeTwips(), QSize(675, 570));
    control.show();
    control.hostResize(1500, 150);
    QCOMPARE(control.sizeTwips(), QSize(675, 570));
}

void TestZuHttpScripted::aboutOnShow()
{
    QStringList seen;
    ModalRunner::setHandler([&](QDialog *dialog) {
        seen = ModalRunner::texts(dialog);
        return 0;
    });
    {
        ZuHTTPdownload fresh;
        fresh.show();
        QVERIFY(seen.contains(QStringLiteral("Zu下载控件 HTTP协议版")));
        QCOMPARE(fresh.maskColor(), QColor(255, 252, 255));
        seen.clear();
        fresh.About();
        QVERIFY(seen.contains(QStringLiteral("Zu下载控件 HTTP协议版")));
    }
    seen.clear();
    ZuHTTPdownload loaded;
    PropertyBag bag;
    loaded.hostReadProperties(bag);
    loaded.show();
    QVERIFY(seen.isEmpty());
    ModalRunner::setHandler([this](QDialog *) {
        ++m_modals;
        return 0;
    });
}

QTEST_MAIN(TestZuHttpScripted)
#include "tst_zuhttp_scripted.moc"
