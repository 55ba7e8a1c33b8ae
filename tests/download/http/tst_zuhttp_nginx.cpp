// The control against nginx on loopback: probes, downloads, resumes,
// redirects and streams as a user meets them, directly and hosted by ctlhost.

#include "CtlHostSession.h"
#include "HttpTestHelpers.h"
#include "NginxServer.h"
#include "ZuHTTPdownload.h"

#include "ModalRunner.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestZuHttpNginx : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void probeStaticFile();
    void download_data();
    void download();
    void notFound();
    void stream_data();
    void stream();
    void hosted();

private:
    void probe(ZuHTTPdownload &control, const QString &path);
    QString url(const QString &path) const { return QStringLiteral("http://") + m_nginx.hostText() + path; }

    NginxServer m_nginx;
    QTemporaryDir m_out;
    QByteArray m_big = randomBytes(1000003, 1);
    QByteArray m_new = randomBytes(2000, 2);
    QByteArray m_small = randomBytes(3000, 3);
    QByteArray m_text = QStringLiteral("第一行 first line\r\n第二行 second line\n").repeated(200).toUtf8();
};

void TestZuHttpNginx::initTestCase()
{
    ModalRunner::setHandler([](QDialog *) { return 0; });
    QVERIFY(m_out.isValid());
    const QString root = m_nginx.root();
    QVERIFY(writeFile(root + QStringLiteral("/f.bin"), m_big));
    QVERIFY(writeFile(root + QStringLiteral("/new.bin"), m_new));
    QVERIFY(writeFile(root + QStringLiteral("/small.dat"), m_small));
    QVERIFY(writeFile(root + QStringLiteral("/notes.txt"), m_text));
    m_nginx.setServerLines(QStringLiteral("    location = /old { return 302 /new.bin; }\n"
                                          "    location = /rel { absolute_redirect off; return 302 /new.bin; }\n"));
    QVERIFY2(m_nginx.start(), qPrintable(m_nginx.errorString()));
}

void TestZuHttpNginx::cleanupTestCase()
{
    m_nginx.stop();
}

void TestZuHttpNginx::probe(ZuHTTPdownload &control, const QString &path)
{
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    control.GetAttrs(url(path));
    QVERIFY(!control.takeError());
    QTRY_VERIFY_WITH_TIMEOUT(!got.isEmpty() || !error.isEmpty(), 5000);
    QCOMPARE(error.size(), 0);
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

void TestZuHttpNginx::download_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("have"); // bytes of it already in the file; -1: a stale file to replace
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("whole") << "/f.bin" << -1 << "/f.bin" << m_big;
    QTest::newRow("resumed, two bytes") << "/f.bin" << 2 << "/f.bin" << m_big;
    QTest::newRow("resumed, middle") << "/f.bin" << 400001 << "/f.bin" << m_big;
    QTest::newRow("resumed, all but one") << "/f.bin" << 1000002 << "/f.bin" << m_big;
    QTest::newRow("302, absolute Location") << "/old" << -1 << "/new.bin" << m_new;
    QTest::newRow("302, relative Location") << "/rel" << -1 << "/new.bin" << m_new;
}

void TestZuHttpNginx::download()
{
    QFETCH(QString, path);
    QFETCH(int, have);
    QFETCH(QString, target);
    QFETCH(QByteArray, expected);
    ZuHTTPdownload control;
    probe(control, path);
    QCOMPARE(control.Path().toString(), url(target));
    QCOMPARE(control.Length(), expected.size());

    const QString file = m_out.filePath(QStringLiteral("download.bin"));
    QVERIFY(writeFile(file, have < 0 ? QByteArray("stale contents that must go") : expected.left(have)));
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy data(&control, &ZuHTTPdownload::GetData);
    if (have < 0)
        control.DownTo(file, 1, 0, false);
    else
        control.DownTo(file, have, control.Length() - have + 1, true);
    QVERIFY(!control.takeError());
    QVERIFY(finish.wait(10000));
    QTest::qWait(300);
    QCOMPARE(finish.size(), 1);
    QCOMPARE(error.size(), 0);
    QVERIFY(!data.isEmpty());
    const QByteArray result = readFile(file);
    QCOMPARE(result.size(), expected.size());
    QVERIFY(result == expected);
}

void TestZuHttpNginx::notFound()
{
    ZuHTTPdownload control;
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    const Events notFound{{qint16(404), QStringLiteral("地址未找到！")}};
    control.GetAttrs(url(QStringLiteral("/missing.bin")));
    QVERIFY(error.wait(5000));
    QCOMPARE(events(error), notFound);
    QVERIFY(control.ReID() == 404 && !control.Geted());

    // Downloading it anyway writes nothing of the error page.
    const QString file = m_out.filePath(QStringLiteral("missing.bin"));
    error.clear();
    control.DownTo(file, 1, 0, false);
    QVERIFY(error.wait(5000));
    QTest::qWait(300);
    QCOMPARE(events(error), notFound);
    QCOMPARE(finish.size(), 0);
    QVERIFY(QFileInfo::exists(file));
    QCOMPARE(readFile(file), QByteArray());
}

void TestZuHttpNginx::stream_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("text/plain") << "/notes.txt" << 0 << 1 << m_text;
    QTest::newRow("bytes") << "/small.dat" << 0 << 2 << m_small;
    QTest::newRow("bytes, last 100") << "/small.dat" << 100 << 2 << m_small.right(100);
}

void TestZuHttpNginx::stream()
{
    QFETCH(QString, path);
    QFETCH(int, last);
    QFETCH(int, format);
    QFETCH(QByteArray, expected);
    ZuHTTPdownload control;
    probe(control, path);
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy data(&control, &ZuHTTPdownload::GetedData);
    control.OpenUrl(last);
    QVERIFY(finish.wait(5000));
    QTest::qWait(300);
    QCOMPARE(finish.size(), 1);
    QCOMPARE(error.size(), 0);
    QCOMPARE(streamed(data, format), expected);
}

void TestZuHttpNginx::hosted()
{
#ifndef CTLHOST_PATH
    QSKIP("ctlhost is not part of this build; nothing to drive the control with");
#else
    CtlHostSession host(QStringLiteral(CTLHOST_PATH), {QStringLiteral("--library"), QStringLiteral(ZUDOWNLOAD_LIBRARY),
                                                       QStringLiteral("ZuHTTPdownload")});
    QVERIFY(host.started);
    const QJsonObject face = host.value({"members"}).toObject();
    QCOMPARE(face.value("members").toArray(),
             (QJsonArray{"GetAttrs", "Geted", "Host", "Server", "HttpVer", "ReID", "ServerDateTime", "URLDateTime",
                         "Etag", "Range", "Length", "DownTo", "ZUClose", "State", "PGetAttr", "HsDown", "LType",
                         "Writer", "Email", "HomePage", "WriteLetter", "VisitHomePage", "About", "OpenUrl", "Path",
                         "ZURemoteIP", "ZULocalIP"}));
    QCOMPARE(face.value("events").toArray(), (QJsonArray{"OnError", "GetAttred", "Finish", "GetData", "GetedData"}));

    QVERIFY(host.ok({"show"}));
    const QJsonArray modals = host.noticeValues(QStringLiteral("modal"));
    QVERIFY(!modals.isEmpty() && modals.first().toObject().value("texts").toArray().contains("Zu下载控件 HTTP协议版"));

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
    QCOMPARE(host.value({"get", "Geted"}), QJsonValue(true));
    const QString target = m_out.filePath(QStringLiteral("hosted.bin"));
    QCOMPARE(host.value({"call", "DownTo", target, 1, 0, false}), QJsonValue());
    QVERIFY(host.ok({"wait", "Finish", 10000}));
    QCOMPARE(host.value({"get", "HsDown"}).toInt(), 0);
    QCOMPARE(readFile(target), m_new);

    // A bad address comes back as an event, not as a failed call.
    host.notices.clear();
    QVERIFY(host.ok({"call", "GetAttrs", "nothing"}));
    QVERIFY(host.notices.contains(QJsonObject{{"event", "OnError"}, {"args", QJsonArray{1, "无效的地址"}}}));
#endif
}

QTEST_MAIN(TestZuHttpNginx)
#include "tst_zuhttp_nginx.moc"
