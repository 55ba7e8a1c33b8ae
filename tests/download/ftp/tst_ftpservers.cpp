// The FTP control against real servers on loopback, vsftpd and pyftpdlib:
// directly, and hosted by the test container as a host program drives it.

#include "CtlHostSession.h"
#include "FtpPeers.h"
#include "FtpSession.h"
#include "ModalRunner.h"

#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

constexpr int Timeout = 30000;

class TestFtpServers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void download_data();
    void download();
    void lookups_data();
    void lookups();

    void hosted();

private:
    QString url(const QString &peer, const QString &path) const
    {
        return (peer == QLatin1String("vsftpd") ? m_vsftpd : m_pyftpdlib).url(path);
    }

    QJsonObject run(const QJsonArray &command) { return m_host->send(command); }
    QJsonValue value(const QJsonArray &command) { return run(command).value("value"); }
    bool ok(const QJsonArray &command) { return m_host->ok(command); }
    QList<QJsonObject> takeNotices(const QString &key) { return m_host->takeNotices(key); }

    QTemporaryDir m_dir;
    FtpPeer m_vsftpd {FtpPeer::Vsftpd};
    FtpPeer m_pyftpdlib {FtpPeer::Pyftpdlib};
    QByteArray m_content;
    std::unique_ptr<CtlHostSession> m_host;
};

void TestFtpServers::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ModalRunner::setHandler([](QDialog *) { return int(QDialog::Accepted); });
    m_content = randomBytes(5 * 1024 * 1024 + 321, 7);
    for (FtpPeer *peer : {&m_vsftpd, &m_pyftpdlib}) {
        const QString error = peer->start();
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(peer->putFile(QStringLiteral("f.bin"), m_content));
        QVERIFY(peer->putFile(QStringLiteral("empty.bin"), QByteArray()));
    }
#ifdef CTLHOST_PATH
    m_host = std::make_unique<CtlHostSession>(QStringLiteral(CTLHOST_PATH),
                                              QStringList{QStringLiteral("ZuFTPDownLoad")});
    QVERIFY2(m_host->started, qPrintable(m_host->process.errorString()));
#endif
}

void TestFtpServers::cleanupTestCase()
{
    m_host.reset();
    m_vsftpd.stop();
    m_pyftpdlib.stop();
    ModalRunner::setHandler({});
}

void TestFtpServers::download_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint32>("have"); // bytes already in the file, resumed after
    QTest::addColumn<bool>("sized"); // the server's 150 names the size
    QTest::newRow("vsftpd") << "vsftpd" << "/f.bin" << 0 << true;
    // vsftpd names the whole size even after REST.
    QTest::newRow("vsftpd, resumed") << "vsftpd" << "/f.bin" << 1234567 << true;
    QTest::newRow("vsftpd, empty file") << "vsftpd" << "/empty.bin" << 0 << true;
    // pyftpdlib answers RETR with 125, or with a 150 that names no size.
    QTest::newRow("pyftpdlib") << "pyftpdlib" << "/f.bin" << 0 << false;
    QTest::newRow("pyftpdlib, resumed") << "pyftpdlib" << "/f.bin" << 1234567 << false;
}

void TestFtpServers::download()
{
    QFETCH(QString, peer);
    QFETCH(QString, path);
    QFETCH(qint32, have);
    QFETCH(bool, sized);
    const QByteArray expected = path == QLatin1String("/f.bin") ? m_content : QByteArray();
    const QString file = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QFile::remove(file);
    if (have > 0)
        QVERIFY(writeFile(file, expected.left(have)));
    FtpSession s;
    // Twice with the one control: a finished download leaves it ready for the next.
    for (int round = 1; round <= 2; ++round) {
        s.control->DownTo(url(peer, path), file, have + 1, have > 0);
        QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), round, Timeout);
        QCOMPARE(s.countAtEnd, expected.size());
        QVERIFY(QFile::exists(file));
        QCOMPARE(readFile(file), expected);
        QCOMPARE(s.control->State1().toInt(), 0);
        QCOMPARE(s.control->State().toInt(), 0);
    }
    QVERIFY(expected.isEmpty() || s.chunks.count() > 0);
    if (sized) {
        QVERIFY2(s.errors.isEmpty(), s.errorText());
        QCOMPARE(s.sizes.count(), 2);
        QCOMPARE(s.sizes.at(0).at(0).toInt(), expected.size());
    } else {
        QCOMPARE(s.sizes.count(), 0);
        for (int i = 0; i < s.errors.count(); ++i)
            QCOMPARE(s.errorDescription(i), QStringLiteral("文件大小未知"));
    }
}

void TestFtpServers::lookups_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("probe"); // GetAttrs, else DownTo
    QTest::addColumn<int>("number"); // 0: UrlOK with the size
    QTest::addColumn<QString>("description");
    // vsftpd's 150 for a listing names no size; the listing line does.
    QTest::newRow("vsftpd, listing") << "vsftpd" << "/f.bin" << true << 0 << "";
    QTest::newRow("pyftpdlib, listing") << "pyftpdlib" << "/f.bin" << true << 0 << "";
    QTest::newRow("vsftpd, listing of nothing") << "vsftpd" << "/nothing-here" << true << 1 << "文件大小未知";
    QTest::newRow("vsftpd, missing file") << "vsftpd" << "/missing.bin" << false << 550 << "地址未找到";
}

void TestFtpServers::lookups()
{
    QFETCH(QString, peer);
    QFETCH(QString, path);
    QFETCH(bool, probe);
    QFETCH(int, number);
    FtpSession s;
    if (probe)
        s.control->GetAttrs(url(peer, path));
    else
        s.control->DownTo(url(peer, path), m_dir.filePath(QStringLiteral("missing.bin")), 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.sizes.count() + s.errors.count(), 1, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(s.control->State1().toInt(), 0, Timeout);
    QTest::qWait(300);
    QCOMPARE(s.ended.count(), 0);
    QCOMPARE(s.control->State().toInt(), 0);
    if (number == 0) {
        QVERIFY2(s.errors.isEmpty(), s.errorText());
        QCOMPARE(s.sizes.count(), 1);
        QCOMPARE(s.sizes.at(0).at(0).toInt(), m_content.size());
        return;
    }
    QCOMPARE(s.sizes.count(), 0);
    QCOMPARE(s.errors.count(), 1);
    QCOMPARE(s.errorNumber(), number);
    QTEST(s.errorDescription(), "description");
    if (!probe) {
        // The file stays open until ZUClose.
        QCOMPARE(s.control->HsDown(), 0);
        QVERIFY(!s.control->takeError());
        s.control->ZUClose();
        s.control->HsDown();
        QVERIFY(s.control->takeError());
    }
}

void TestFtpServers::hosted()
{
    if (!m_host)
        QSKIP("the container is not part of this build");
    const QJsonObject members = run({"members"});
    QVERIFY2(members.value("ok").toBool(), QJsonDocument(members).toJson());
    QCOMPARE(members.value("value").toObject().value("members").toArray(),
             QJsonArray({"Host", "Path", "User", "Password", "Port", "DownTo", "State", "HsDown", "ZUClose",
                         "State1", "State2", "GetAttrs", "Start", "Writer", "Email", "HomePage",
                         "WriteLetter", "VisitHomePage", "About"}));
    QCOMPARE(members.value("value").toObject().value("events").toArray(),
             QJsonArray({"OnError", "UrlOK", "GetedData", "Ended", "GetAttred"}));

    QCOMPARE(value({"get", "Port"}).toInt(), 0);
    m_host->notices.clear();
    QVERIFY(ok({"show"}));
    const QList<QJsonObject> modals = takeNotices(QStringLiteral("modal"));
    QCOMPARE(modals.size(), 1);
    QVERIFY(modals.at(0).value("modal").toObject().value("texts").toArray().contains("Zu下载控件 FTP 协议版"));
    QCOMPARE(value({"get", "Port"}).toInt(), 21);

    // The author's values cannot be put.
    QVERIFY(ok({"set", "Writer", "x"}));
    QCOMPARE(value({"get", "Writer"}).toString(), QStringLiteral("Tolvar"));
    QCOMPARE(takeNotices(QStringLiteral("changed")).size(), 0);

    const QJsonObject hsDown = run({"get", "HsDown"});
    QCOMPARE(hsDown.value("ok").toBool(), false);
    QCOMPARE(hsDown.value("error").toInt(), 52);

    const QString file = m_dir.filePath(QStringLiteral("hosted.bin"));
    m_host->notices.clear();
    const QJsonObject call = run({"call", "DownTo", m_vsftpd.url(QStringLiteral("/f.bin")), file, 1, false});
    QVERIFY2(call.value("ok").toBool(), QJsonDocument(call).toJson());
    QVERIFY(call.value("value").isNull());
    QVERIFY(ok({"wait", "Ended", 30000}));
    QStringList order;
    QList<qint64> sizes;
    for (const QJsonObject &notice : takeNotices(QStringLiteral("event"))) {
        const QString name = notice.value("event").toString();
        if (order.isEmpty() || order.last() != name)
            order.append(name);
        if (name == QLatin1String("UrlOK"))
            sizes.append(notice.value("args").toArray().at(0).toInteger());
    }
    QCOMPARE(order, QStringList({"UrlOK", "GetedData", "Ended"}));
    QCOMPARE(readFile(file), m_content);
    QCOMPARE(value({"get", "State1"}).toInt(), 0);

    QVERIFY(ok({"call", "GetAttrs", m_vsftpd.url(QStringLiteral("/f.bin"))}));
    QVERIFY(ok({"wait", "UrlOK", 30000}));
    QVERIFY(ok({"pump", 300}));
    const QList<QJsonObject> events = takeNotices(QStringLiteral("event"));
    QCOMPARE(events.size(), 1);
    sizes.append(events.at(0).value("args").toArray().at(0).toInteger());
    QCOMPARE(sizes, QList<qint64>({m_content.size(), m_content.size()}));
}

QTEST_MAIN(TestFtpServers)
#include "tst_ftpservers.moc"
