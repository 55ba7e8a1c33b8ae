// The control against nginx on loopback: probes, downloads, resumes,
// redirects and streams as a user meets them, over http and https, directly,
// through tinyproxy and hosted by ctlhost; certificates the test makes with
// openssl, whose s_server stands in for servers that want a client certificate.
// nginx serves /proxied/ to tinyproxy alone, which asks for a login and checks
// the ports it tunnels to, so a row can tell whether its request went through it.

#include "CtlHostSession.h"
#include "HttpTestHelpers.h"
#include "NginxServer.h"
#include "TinyProxy.h"
#include "ZuHTTPdownload.h"

#include "ModalRunner.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

class TestZuHttpNginx : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void probeStaticFile();
    void downloadsAndStreamsAreByteExact_data();
    void downloadsAndStreamsAreByteExact();
    void failuresEndInOneOnErrorAndKeepTheFile_data();
    void failuresEndInOneOnErrorAndKeepTheFile();
    void resumeBeyond4GiB();
    void hostedControlKeepsAuthorValuesAndDownloads();

private:
    void probe(ZuHTTPdownload &control, const QString &path, const QString &scheme = QStringLiteral("http"));
    QString url(const QString &path, const QString &scheme = QStringLiteral("http")) const
    {
        return scheme + QStringLiteral("://127.0.0.1:%1").arg(scheme == u"https" ? m_tlsPort : m_nginx.port()) + path;
    }
    bool makeCertificates();
    // Sets http_proxy and https_proxy to tinyproxy, with its login or without; nothing for "".
    void useProxy(const QString &proxy);

    quint16 m_tlsPort = 0;                    // trusted; "localhost" has its own certificate (SNI)
    QMap<QString, quint16> m_ports;            // further TLS servers: certificate name -> port
    QTemporaryDir m_certs;

    NginxServer m_nginx;
    TinyProxy m_proxy;
    QList<std::shared_ptr<PeerProcess>> m_tlsServers; // openssl s_server
    QTemporaryDir m_out;
    QByteArray m_big = pattern(1000003, 1);
    QByteArray m_new = pattern(2000, 2);
    QByteArray m_small = pattern(3000, 3);
    // Sparse: only its last MiB holds data.
    static constexpr qint64 HugeSize = Q_INT64_C(5) << 30;
    static constexpr qint64 HugeTail = 1 << 20;
    QByteArray m_hugeTail = pattern(HugeTail, 5);
    QByteArray m_text = QStringLiteral("第一行 first line\r\n第二行 second line\n").repeated(200).toUtf8();
};

// An authority the test trusts, certificates it issued (good, for localhost
// only, for another name, expired) and one from an authority nobody trusts.
bool TestZuHttpNginx::makeCertificates()
{
    const auto openssl = [this](const QStringList &arguments) {
        QProcess process;
        process.setWorkingDirectory(m_certs.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("openssl"), arguments);
        const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
                        && process.exitCode() == 0;
        if (!ok)
            qWarning() << arguments << process.readAll();
        return ok;
    };
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    const auto authority = [&](const QString &name) {
        return openssl(QStringList{"req", "-x509"} + ec
                       + QStringList{"-keyout", name + ".key", "-out", name + ".pem", "-days", "3650", "-subj",
                                     "/CN=" + name, "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                                     "keyUsage=keyCertSign,cRLSign"});
    };
    const auto issue = [&](const QString &name, const QString &ca, const QByteArray &altName, const QString &days) {
        return writeFile(m_certs.filePath(name + ".ext"), "subjectAltName=" + altName + "\n")
               && openssl(QStringList{"req"} + ec
                          + QStringList{"-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name})
               && openssl({"x509", "-req", "-in", name + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key",
                           "-CAcreateserial", "-out", name + ".pem", "-days", days, "-extfile", name + ".ext"});
    };
    return authority("ca") && authority("stranger") && authority("dir-ca")
           && QDir(m_certs.path()).mkpath(QStringLiteral("authorities"))
           && QFile::copy(m_certs.filePath(QStringLiteral("dir-ca.pem")),
                          m_certs.filePath(QStringLiteral("authorities/dir-ca.pem")))
           && issue("dir-issued", "dir-ca", "IP:127.0.0.1", "30") && issue("good", "ca", "IP:127.0.0.1", "30")
           && issue("localhost", "ca", "DNS:localhost", "30") && issue("wrong-name", "ca", "DNS:other.example", "30")
           && issue("expired", "ca", "IP:127.0.0.1", "-1") && issue("unknown-issuer", "stranger", "IP:127.0.0.1", "30");
}

void TestZuHttpNginx::initTestCase()
{
    ModalRunner::setHandler([](QDialog *) { return 0; });
    // Only the rows that name a proxy use one.
    for (const char *name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    QVERIFY(m_out.isValid());
    QVERIFY(m_certs.isValid());
    QVERIFY(makeCertificates());
    // Read once, by the first TLS connection of the process.
    qputenv("SSL_CERT_FILE", m_certs.filePath(QStringLiteral("ca.pem")).toLocal8Bit());
    qputenv("SSL_CERT_DIR", m_certs.filePath(QStringLiteral("authorities")).toLocal8Bit());
    const QString root = m_nginx.root();
    QVERIFY(writeFile(root + QStringLiteral("/f.bin"), m_big));
    QVERIFY(writeFile(root + QStringLiteral("/new.bin"), m_new));
    QVERIFY(writeFile(root + QStringLiteral("/small.dat"), m_small));
    QVERIFY(writeFile(root + QStringLiteral("/notes.txt"), m_text));
    {
        QFile huge(root + QStringLiteral("/huge.bin"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(HugeSize - HugeTail) && huge.seek(HugeSize - HugeTail));
        QCOMPARE(huge.write(m_hugeTail), HugeTail);
        huge.close();
        QVERIFY(huge.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    }
    QVERIFY(QDir().mkpath(root + QStringLiteral("/chunked")));
    QVERIFY(writeFile(root + QStringLiteral("/chunked/notes.txt"), m_text));
    // Served to the proxy only, which comes from 127.0.0.2.
    QVERIFY(QDir().mkpath(root + QStringLiteral("/proxied")));
    QVERIFY(writeFile(root + QStringLiteral("/proxied/f.bin"), m_big));

    // One server on a plain and a TLS port; further TLS ports for the certificates that must fail.
    const QString certs = m_certs.path();
    const auto tls = [&](const QString &name) {
        return QStringLiteral("ssl_certificate %1/%2.pem; ssl_certificate_key %1/%2.key;\n").arg(certs, name);
    };
    const QString proxied = QStringLiteral("location /proxied/ { allow 127.0.0.2; deny all; }\n");
    m_tlsPort = PeerProcess::freePort();
    QString others = QStringLiteral("  server { listen 127.0.0.1:%1 ssl; server_name localhost; root %2; %3 %4 }\n")
                         .arg(QString::number(m_tlsPort), root, tls(QStringLiteral("localhost")), proxied);
    for (const char *name : {"wrong-name", "expired", "unknown-issuer", "dir-issued"}) {
        const quint16 port = PeerProcess::freePort();
        m_ports.insert(QLatin1String(name), port);
        others += QStringLiteral("  server { listen 127.0.0.1:%1 ssl; root %2; %3 }\n")
                      .arg(QString::number(port), root, tls(QLatin1String(name)));
    }
    m_ports.insert(QStringLiteral("nobody"), PeerProcess::freePort());
    m_nginx.setHttpLines(others);
    m_nginx.setServerLines(
        QStringLiteral("    listen 127.0.0.1:%1 ssl default_server; %2"
                       "    location = /old { return 302 /new.bin; }\n"
                       "    location = /rel { absolute_redirect off; return 302 /new.bin; }\n"
                       "    location = /to-https { return 302 https://127.0.0.1:%1/new.bin; }\n"
                       "    location = /to-http { return 302 http://127.0.0.1:{port}/new.bin; }\n"
                       "    location /chunked/ { sub_filter_types *; sub_filter nothing-to-find x; }\n%3")
            .arg(QString::number(m_tlsPort), tls(QStringLiteral("good")), proxied));
    QVERIFY2(m_nginx.start(), qPrintable(m_nginx.errorString()));

    // Tunnels go to the trusted server, the one of another name and the port nobody serves.
    QVERIFY2(m_proxy.start({m_tlsPort, m_ports.value(QStringLiteral("wrong-name")), m_ports.value(QStringLiteral("nobody"))}),
             qPrintable(m_proxy.errorString()));

    // Servers that end the handshake (TLS 1.2) or the connection (TLS 1.3) without a client certificate.
    for (const char *version : {"1.2", "1.3"}) {
        const quint16 port = PeerProcess::freePort();
        m_ports.insert(QStringLiteral("client-certificate-") + QLatin1String(version), port);
        auto server = std::make_shared<PeerProcess>();
        const QString error = server->start(
            QStringLiteral("openssl"),
            {"s_server", "-accept", QStringLiteral("127.0.0.1:%1").arg(port), "-cert", certs + "/good.pem", "-key",
             certs + "/good.key", "-Verify", "1", "-CAfile", certs + "/ca.pem",
             QStringLiteral("-tls1_") + QLatin1Char(version[2]), "-www", "-quiet"},
            port, false);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        m_tlsServers.append(server);
    }
}

void TestZuHttpNginx::cleanup()
{
    qunsetenv("http_proxy");
    qunsetenv("https_proxy");
}

void TestZuHttpNginx::useProxy(const QString &proxy)
{
    if (proxy.isEmpty())
        return;
    const QByteArray setting = m_proxy.address(proxy == QLatin1String("login")).toLatin1();
    qputenv("http_proxy", setting);
    qputenv("https_proxy", setting);
}

void TestZuHttpNginx::probe(ZuHTTPdownload &control, const QString &path, const QString &scheme)
{
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    control.GetAttrs(path.contains(QStringLiteral("://")) ? path : url(path, scheme));
    QVERIFY(!control.takeError());
    QTRY_VERIFY_WITH_TIMEOUT(!got.isEmpty() || !error.isEmpty(), 5000);
    QCOMPARE(Events(error), Events());
    QCOMPARE(got.size(), 1);
}

void TestZuHttpNginx::probeStaticFile()
{
    ZuHTTPdownload control;
    probe(control, QStringLiteral("/f.bin"));
    const QFileInfo info(m_nginx.root() + QStringLiteral("/f.bin"));
    const QDateTime modified = info.lastModified().toUTC();

    QVERIFY(control.ServerDateTime().toString().endsWith(QStringLiteral(" GMT")));
    QVERIFY(control.Server().toString().startsWith(QStringLiteral("nginx")));
    const QVariantMap values{
        {"Geted", true}, {"HttpVer", "1.1"}, {"ReID", 200}, {"Range", "bytes"}, {"Length", m_big.size()},
        {"URLDateTime", QLocale::c().toString(modified, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))},
        {"Etag", QStringLiteral("\"%1-%2\"").arg(modified.toSecsSinceEpoch(), 0, 16).arg(info.size(), 0, 16)},
        {"LType", "application/octet-stream"}, {"Host", m_nginx.hostText()}, {"ZURemoteIP", "127.0.0.1"}};
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        QCOMPARE(control.property(qPrintable(it.key())).toString(), it.value().toString());
    QVERIFY(!control.takeError());
}

// "have" is for a download the bytes already in the file (-1: a stale file to
// replace); for a stream (format 1 text, 2 bytes) the bytes asked for from the end.
void TestZuHttpNginx::downloadsAndStreamsAreByteExact_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("path"); // TLS and DIR stand for those ports
    QTest::addColumn<int>("have");
    QTest::addColumn<int>("format"); // 0: DownTo
    QTest::addColumn<QString>("target"); // where it ends, with its scheme
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("proxy"); // see useProxy()
    for (const QString &scheme : {QStringLiteral("http"), QStringLiteral("https")}) {
        const auto row = [&](const char *tag, const char *path, int have, int format, const char *target,
                             const QByteArray &data, const char *proxy = "") {
            QTest::addRow("%s, %s", qPrintable(scheme), tag)
                << scheme << path << have << format << scheme + ':' + target << data << proxy;
        };
        row("whole", "/f.bin", -1, 0, "/f.bin", m_big);
        row("resumed, two bytes", "/f.bin", 2, 0, "/f.bin", m_big);
        row("resumed, middle", "/f.bin", 400001, 0, "/f.bin", m_big);
        row("resumed, all but one", "/f.bin", 1000002, 0, "/f.bin", m_big);
        row("302, absolute Location", "/old", -1, 0, "/new.bin", m_new);
        row("302, relative Location", "/rel", -1, 0, "/new.bin", m_new);
        row("stream, text/plain", "/notes.txt", 0, 1, "/notes.txt", m_text);
        row("stream, text/plain, chunked", "/chunked/notes.txt", 0, 1, "/chunked/notes.txt", m_text);
        row("stream, bytes", "/small.dat", 0, 2, "/small.dat", m_small);
        row("stream, bytes, last 100", "/small.dat", 100, 2, "/small.dat", m_small.right(100));
        // A plain request with the whole address; for https a tunnel, the server's certificate still checked.
        row("through the proxy", "/proxied/f.bin", -1, 0, "/proxied/f.bin", m_big, "login");
    }
    QTest::newRow("302, http to https") << "http" << "/to-https" << -1 << 0 << "https:/new.bin" << m_new << "";
    QTest::newRow("302, https to http") << "https" << "/to-http" << -1 << 0 << "http:/new.bin" << m_new << "";
    QTest::newRow("https, localhost by name")
        << "https" << "https://localhost:TLS/small.dat" << 0 << 2 << "" << m_small << "";
    QTest::newRow("https, authority from SSL_CERT_DIR")
        << "https" << "https://127.0.0.1:DIR/small.dat" << 0 << 2 << "" << m_small << "";
    QTest::newRow("https, by name through the proxy")
        << "https" << "https://localhost:TLS/proxied/f.bin" << -1 << 0 << "" << m_big << "login";
}

void TestZuHttpNginx::downloadsAndStreamsAreByteExact()
{
    QFETCH(QString, scheme);
    QFETCH(QString, path);
    QFETCH(int, have);
    QFETCH(int, format);
    QFETCH(QString, target);
    QFETCH(QByteArray, expected);
    QFETCH(QString, proxy);
    path.replace(QStringLiteral("TLS"), QString::number(m_tlsPort));
    path.replace(QStringLiteral("DIR"), QString::number(m_ports.value(QStringLiteral("dir-issued"))));
    useProxy(proxy);
    ZuHTTPdownload control;
    probe(control, path, scheme);
    if (!target.isEmpty())
        QCOMPARE(control.Path().toString(), url(target.section(u':', 1), target.section(u':', 0, 0)));

    const QString file = m_out.filePath(QStringLiteral("download.bin"));
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy data(&control, format ? SIGNAL(GetedData(QVariant,qint32)) : SIGNAL(GetData()));
    if (format) {
        control.OpenUrl(have);
    } else {
        QCOMPARE(control.Length(), qint64(expected.size()));
        QVERIFY(writeFile(file, have < 0 ? QByteArray("stale contents that must go") : expected.left(have)));
        if (have < 0)
            control.DownTo(file, 1, 0, false);
        else
            control.DownTo(file, have, control.Length() - have + 1, true);
    }
    QVERIFY(!control.takeError());
    QVERIFY(finish.wait(10000));
    QTRY_VERIFY(idle(control));
    QCOMPARE(finish.size(), 1);
    QCOMPARE(error.size(), 0);
    QVERIFY(!data.isEmpty());
    const QByteArray result = format ? streamed(data, format) : readFile(file);
    QCOMPARE(result.size(), expected.size());
    QVERIFY(result == expected);
}

void TestZuHttpNginx::failuresEndInOneOnErrorAndKeepTheFile_data()
{
    QTest::addColumn<QString>("address"); // PORT stands for the port
    QTest::addColumn<QString>("server");  // the certificate it shows; empty: plain http
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("why");
    QTest::addColumn<QString>("proxy"); // see useProxy()
    const auto row = [](const char *tag, const char *address, const char *server, int number, const char *why,
                        const char *proxy = "") {
        QTest::newRow(tag) << QString::fromLatin1(address) << QString::fromLatin1(server) << number
                           << QString::fromUtf8(why) << QString::fromLatin1(proxy);
    };
    row("not found", "http://127.0.0.1:PORT/missing.bin", "", 404, "地址未找到！");
    row("another name", "https://127.0.0.1:PORT/new.bin", "wrong-name", 12038, "another host name");
    row("expired", "https://127.0.0.1:PORT/new.bin", "expired", 12037, "expired");
    row("unknown issuer", "https://127.0.0.1:PORT/new.bin", "unknown-issuer", 12045, "unknown authority");
    row("name not in the certificate", "https://localhost:PORT/new.bin", "wrong-name", 12038, "another host name");
    row("no TLS at all", "https://127.0.0.1:PORT/new.bin", "", 12157, "secure connection could not be established");
    row("client certificate wanted, TLS 1.2", "https://127.0.0.1:PORT/new.bin", "client-certificate-1.2", 12044,
        "requires a client certificate");
    row("client certificate wanted, TLS 1.3", "https://127.0.0.1:PORT/new.bin", "client-certificate-1.3", 12044,
        "requires a client certificate");
    // Nobody listens: the length stays unknown, only the failure can end it.
    row("connection refused", "http://127.0.0.1:PORT/new.bin", "nobody", 10061, "");
    // The proxy's refusals end in its status.
    row("not through the proxy", "http://127.0.0.1:PORT/proxied/f.bin", "", 403, "未知错误");
    row("http, proxy without login", "http://127.0.0.1:PORT/new.bin", "", 407,
        "代理服务器拒绝了请求：407 Proxy Authentication Required", "no login");
    row("https, proxy without login", "https://127.0.0.1:PORT/new.bin", "", 407,
        "代理服务器拒绝了请求：407 Proxy Authentication Required", "no login");
    row("https, port the proxy refuses", "https://127.0.0.1:PORT/new.bin", "expired", 403,
        "代理服务器拒绝了请求：403 Access violation", "login");
    row("https, nobody behind the tunnel", "https://127.0.0.1:PORT/new.bin", "nobody", 500,
        "代理服务器拒绝了请求：500 Unable to connect", "login");
    row("https, another name behind the tunnel", "https://127.0.0.1:PORT/new.bin", "wrong-name", 12038,
        "another host name", "login");
}

void TestZuHttpNginx::failuresEndInOneOnErrorAndKeepTheFile()
{
    QFETCH(QString, address);
    QFETCH(QString, server);
    QFETCH(int, number);
    QFETCH(QString, why);
    QFETCH(QString, proxy);
    const quint16 port = server.isEmpty() ? m_nginx.port() : m_ports.value(server, PeerProcess::freePort());
    address.replace(QStringLiteral("PORT"), QString::number(port));
    useProxy(proxy);

    ZuHTTPdownload control;
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    control.GetAttrs(address);
    QVERIFY(error.wait(5000));
    QCOMPARE(error.first().at(0).value<qint16>(), qint16(number));
    QVERIFY2(error.first().at(1).toString().contains(why), qPrintable(error.first().at(1).toString()));
    QVERIFY(!control.Geted());

    // A download there writes nothing and ends in the same error.
    const QString file = m_out.filePath(QStringLiteral("refused.bin"));
    QVERIFY(writeFile(file, "kept"));
    control.DownTo(file, 4, 10, true);
    QVERIFY(!control.takeError());
    QTRY_COMPARE_WITH_TIMEOUT(error.size(), 2, 5000);
    QCOMPARE(error.last(), error.first());
    QTRY_VERIFY_WITH_TIMEOUT(idle(control), 5000);
    QCOMPARE(got.size() + finish.size(), 0);
    QCOMPARE(control.HsDown(), 0);
    QCOMPARE(readFile(file), QByteArray("kept"));
}

// A sparse 5 GiB resource and file: only the last MiB travels.
void TestZuHttpNginx::resumeBeyond4GiB()
{
    const qint64 size = HugeSize, tail = HugeTail, have = size - tail;
    for (const QString &scheme : {QStringLiteral("http"), QStringLiteral("https")}) {
        ZuHTTPdownload control;
        probe(control, QStringLiteral("/huge.bin"), scheme);
        QCOMPARE(control.Length(), size);

        const QString file = m_out.filePath(QStringLiteral("huge.bin"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.resize(have));
        f.close();
        QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
        QSignalSpy error(&control, &ZuHTTPdownload::OnError);
        qint64 written = 0;
        connect(&control, &ZuHTTPdownload::GetData, &control, [&] { written = control.HsDown(); });
        control.DownTo(file, have, size - have + 1, true);
        QVERIFY(!control.takeError());
        QVERIFY(finish.wait(10000));
        QCOMPARE(Events(error), Events());
        QCOMPARE(written, size);
        // Still sparse: nothing but the tail was written.
        struct stat info = {};
        QVERIFY(::stat(QFile::encodeName(file).constData(), &info) == 0);
        QVERIFY(qint64(info.st_blocks) * 512 < 16 * tail);
        QVERIFY(f.open(QIODevice::ReadOnly) && f.size() == size && f.seek(have));
        QVERIFY(f.read(tail) == m_hugeTail);
        f.remove();
    }
}

void TestZuHttpNginx::hostedControlKeepsAuthorValuesAndDownloads()
{
    CtlHostSession host(QStringLiteral(CTLHOST_PATH), {QStringLiteral("--library"), QStringLiteral(ZUDOWNLOAD_LIBRARY),
                                                       QStringLiteral("ZuHTTPdownload")});
    QVERIFY(host.started);
    // The author values stay; setting Email or HomePage only tells the host.
    const QString mail = host.value({"get", "Email"}).toString();
    const QString homePage = host.value({"get", "HomePage"}).toString();
    host.notices.clear();
    for (const char *name : {"Writer", "Email", "HomePage"})
        QVERIFY(host.ok({"set", name, "x"}));
    QCOMPARE(host.value({"get", "Writer"}).toString(), QStringLiteral("Tolvar"));
    QCOMPARE(host.value({"get", "Email"}).toString(), mail);
    QCOMPARE(host.noticeValues(QStringLiteral("changed")), (QJsonArray{"Email", "HomePage"}));
    QVERIFY(host.ok({"call", "WriteLetter"}) && host.ok({"call", "VisitHomePage"}));
    QCOMPARE(host.noticeValues(QStringLiteral("shell")),
             (QJsonArray{QJsonObject{{"verb", "open"}, {"target", QStringLiteral("mailto:") + mail}},
                         QJsonObject{{"verb", "open"}, {"target", homePage}}}));

    QCOMPARE(host.value({"call", "GetAttrs", url(QStringLiteral("/new.bin"))}), QJsonValue(QString()));
    QVERIFY(host.ok({"wait", "GetAttred", 5000}));
    QCOMPARE(host.value({"get", "Length"}).toInt(), m_new.size());
    const QString target = m_out.filePath(QStringLiteral("hosted.bin"));
    QCOMPARE(host.value({"call", "DownTo", target, 1, 0, false}), QJsonValue());
    QVERIFY(host.ok({"wait", "Finish", 10000}));
    QCOMPARE(host.value({"get", "HsDown"}).toInt(), 0);
    QCOMPARE(readFile(target), m_new);
}

QTEST_MAIN(TestZuHttpNginx)
#include "tst_zuhttp_nginx.moc"
