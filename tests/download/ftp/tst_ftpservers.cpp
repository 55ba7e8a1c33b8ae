// The FTP control against real servers on loopback, vsftpd, pyftpdlib,
// pure-ftpd and proftpd: directly, and hosted by the test container as a host
// program drives it.

#include "CtlHostSession.h"
#include "FtpPeers.h"
#include "FtpSession.h"
#include "ModalRunner.h"

#include <QDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

using namespace Qt::StringLiterals;

constexpr int Timeout = 30000;
// The servers, in the order of FtpPeer::Kind.
const char *const Servers[] = {"vsftpd", "pyftpdlib", "pure-ftpd", "proftpd"};

class TestFtpServers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void sessionsEndInOneOutcome_data();
    void sessionsEndInOneOutcome();
    void resumesPast4GiB();

    void hostedControlDownloadsAndStopsWhileWaiting();
    void peerStartFailureQuotesTheServer();

private:
    QString url(const QString &peer, const QString &path) const { return m_peers.at(peer)->url(path); }

    QTemporaryDir m_dir;
    std::map<QString, std::unique_ptr<FtpPeer>> m_peers;
    std::map<QString, QString> m_unavailable; // peer → why it cannot run here
    std::map<QString, QString> m_broken; // peer → why it did not start
    QByteArray m_content;
};

void TestFtpServers::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ModalRunner::setHandler([](QDialog *) { return int(QDialog::Accepted); });
    m_content = pattern(5 * 1024 * 1024 + 321, 7);
    for (int kind = FtpPeer::Vsftpd; kind <= FtpPeer::ProFtpd; ++kind) {
        for (const bool ipv6 : {false, true}) {
            const QString peerName = QLatin1String(Servers[kind]) + (ipv6 ? u"6"_s : QString());
            if (const QString missing = FtpPeer::unavailable(FtpPeer::Kind(kind)); !missing.isEmpty()) {
                m_unavailable[peerName] = missing;
                continue;
            }
            auto peer = std::make_unique<FtpPeer>(FtpPeer::Kind(kind), ipv6);
            QString error = peer->start();
            if (error.isEmpty()
                && !(peer->putFile(u"f.bin"_s, m_content) && peer->putFile(u"empty.bin"_s, {})
                     && peer->putFile(u"a b.bin"_s, m_content) && peer->putFile(u"中 ü.bin"_s, m_content)))
                error = u"cannot write the served files"_s;
            if (error.isEmpty())
                m_peers[peerName] = std::move(peer);
            else
                m_broken[peerName] = error;
        }
    }
}

void TestFtpServers::cleanupTestCase()
{
    m_peers.clear();
    ModalRunner::setHandler({});
}

void TestFtpServers::init()
{
    const QByteArray function = QTest::currentTestFunction();
    QString server = function == "resumesPast4GiB" ? u"vsftpd"_s
        : function.startsWith("hosted")            ? u"pyftpdlib"_s
                                                   : QString();
    if (function == "sessionsEndInOneOutcome") {
        QFETCH(QString, peer);
        server = peer;
    }
    if (m_unavailable.contains(server))
        QSKIP(qPrintable(m_unavailable.at(server)));
    // A server that should run here and did not start fails its rows, not the others.
    if (m_broken.contains(server))
        QFAIL(qPrintable(m_broken.at(server)));
}

void TestFtpServers::sessionsEndInOneOutcome_data()
{
    QTest::addColumn<QString>("peer");
    // DownTo or GetAttrs, a path as escaped in the address, then "as USER", "into FILE" or
    // "login in address" (else a server that wants a login gets it through User and Password)
    QTest::addColumn<QString>("call");
    QTest::addColumn<qint32>("have"); // bytes already in the file, resumed after
    QTest::addColumn<bool>("sized"); // UrlOK tells the size
    QTest::addColumn<QString>("error"); // the OnError that ends the session
    const auto row = [](const QString &name, const QString &peer, const char *call, qint32 have, bool sized,
                        const QString &error = {}) {
        QTest::newRow(qPrintable(name)) << peer << QString::fromUtf8(call) << have << sized << error;
    };
    // Every server, on IPv4 and IPv6: afresh, resumed (vsftpd names the whole size after REST,
    // proftpd the rest, pure-ftpd and pyftpdlib none: SIZE tells it), names with a blank and
    // UTF-8, and a probe of a name with a blank (pure-ftpd lists "a" and "b.bin" for it).
    for (const char *name : Servers) {
        for (const bool ipv6 : {false, true}) {
            const QString peer = QString::fromLatin1(name) + (ipv6 ? u"6"_s : QString());
            const QString tag = QString::fromLatin1(name) + (ipv6 ? u" on ::1"_s : QString());
            row(tag, peer, "DownTo /f.bin", 0, true);
            row(tag + u", resumed"_s, peer, "DownTo /f.bin", 1234567, true);
            row(tag + u", name with a blank"_s, peer, "DownTo /a%20b.bin", 0, true);
            row(tag + u", UTF-8 name"_s, peer, "DownTo /%E4%B8%AD%20%C3%BC.bin", 0, true);
            row(tag + u", probe of a name with a blank"_s, peer, "GetAttrs /a%20b.bin", 0, true);
        }
    }
    row(u"vsftpd, empty file"_s, u"vsftpd"_s, "DownTo /empty.bin", 0, true);
    row(u"pure-ftpd, login in address"_s, u"pure-ftpd"_s, "DownTo /f.bin login in address", 0, true);
    row(u"proftpd, login in address"_s, u"proftpd"_s, "DownTo /a%20b.bin login in address", 0, true);
    // Where SIZE is refused in ASCII mode (pyftpdlib, proftpd), the listing line tells the size.
    row(u"pyftpdlib, listing"_s, u"pyftpdlib"_s, "GetAttrs /f.bin", 0, true);
    row(u"proftpd, listing"_s, u"proftpd"_s, "GetAttrs /f.bin", 0, true);
    row(u"vsftpd, listing of nothing"_s, u"vsftpd"_s, "GetAttrs /nothing-here", 0, false, u"1 文件大小未知"_s);
    row(u"vsftpd, missing file"_s, u"vsftpd"_s, "DownTo /missing.bin", 0, false, u"550 地址未找到"_s);
    row(u"proftpd, missing file"_s, u"proftpd"_s, "DownTo /missing.bin", 0, false, u"550 地址未找到"_s);
    row(u"vsftpd, user refused"_s, u"vsftpd"_s, "DownTo /f.bin as someone", 0, false,
        u"530 This FTP server is anonymous only."_s);
    row(u"pyftpdlib, password refused"_s, u"pyftpdlib"_s, "DownTo /f.bin as someone", 0, false,
        u"530 Authentication failed."_s);
    row(u"vsftpd, target full"_s, u"vsftpd"_s, "DownTo /f.bin into /dev/full", 0, true, u"61 Disk full"_s);
}

void TestFtpServers::sessionsEndInOneOutcome()
{
    QFETCH(QString, peer);
    QFETCH(QString, call);
    QFETCH(qint32, have);
    QFETCH(bool, sized);
    QFETCH(QString, error);
    const QStringList words = call.split(u' ');
    const QString path = words.at(1);
    const QByteArray expected = path == u"/empty.bin" || path.contains(u"nothing")
        ? QByteArray() : m_content;
    QString file = m_dir.filePath(QString::number(qHash(QString::fromUtf8(QTest::currentDataTag()))));
    QFile::remove(file);
    if (have > 0)
        QVERIFY(writeFile(file, expected.left(have)));
    if (words.value(2) == u"into")
        file = words.at(3);
    FtpSession s;
    QString address = url(peer, path);
    if (call.endsWith(u"login in address")) {
        address.replace(u"ftp://"_s, u"ftp://"_s + FtpPeer::user() + u':' + FtpPeer::password() + u'@');
    } else if (m_peers.at(peer)->needsLogin()) {
        s.control->setUser(FtpPeer::user());
        s.control->setPassword(FtpPeer::password());
    } else if (words.value(2) == u"as") {
        s.control->setUser(words.at(3));
    }
    // Twice with the one control: a finished session leaves it ready for the next.
    const int rounds = error.isEmpty() ? 2 : 1;
    for (int round = 1; round <= rounds; ++round) {
        if (words.at(0) == u"GetAttrs")
            s.control->GetAttrs(address);
        else
            s.control->DownTo(address, file, have + 1, have > 0);
        // Every session ends with the control's own close, after its one outcome.
        QTRY_VERIFY_WITH_TIMEOUT(s.ended.count() + s.sizes.count() + s.errors.size() >= round
                                     && s.control->State1().toInt() == 0,
                                 Timeout);
    }
    QCoreApplication::processEvents();
    QCOMPARE(s.control->State().toInt(), 0);
    QCOMPARE(s.errors, error.isEmpty() ? QStringList() : QStringList{error});
    QCOMPARE(s.ended.count(), words.at(0) == u"GetAttrs" || !error.isEmpty() ? 0 : rounds);
    if (s.ended.count() > 0) {
        QCOMPARE(s.countAtEnd, expected.size());
        QVERIFY(QFile::exists(file));
        QCOMPARE(readFile(file), expected);
        QVERIFY(expected.isEmpty() || s.chunks.count() > 0);
    }
    QCOMPARE(s.sizes.count(), sized ? rounds : 0);
    // The whole file's size, also after a restart.
    for (const QList<QVariant> &size : std::as_const(s.sizes))
        QCOMPARE(size.at(0).toLongLong(), expected.size());
    if (error.startsWith(u"550")) {
        // The file stays open until ZUClose.
        QCOMPARE(s.control->HsDown(), 0);
        QVERIFY(!s.control->takeError());
        s.control->ZUClose();
        s.control->HsDown();
        QVERIFY(s.control->takeError());
    }
}

void TestFtpServers::resumesPast4GiB()
{
    // Sparse on both sides: only the last MiB is sent and written.
    constexpr qint64 size = 5LL * 1024 * 1024 * 1024;
    const QByteArray tail = pattern(1024 * 1024, 11);
    QVERIFY(m_peers.at(u"vsftpd"_s)->putSparseFile(QStringLiteral("big.bin"), size, tail));
    const QString file = m_dir.filePath(QStringLiteral("big.bin"));
    QVERIFY(writeFile(file, {}) && QFile::resize(file, size - tail.size()));
    FtpSession s;
    s.control->DownTo(url(u"vsftpd"_s, QStringLiteral("/big.bin")), file, size - tail.size() + 1, true);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QCOMPARE(s.errors, QStringList());
    // vsftpd names the whole size after REST.
    QCOMPARE(s.sizes.at(0).at(0).toLongLong(), size);
    QCOMPARE(s.countAtEnd, size);
    QFile local(file);
    QVERIFY(local.open(QIODevice::ReadOnly) && local.size() == size && local.seek(size - tail.size()));
    QCOMPARE(local.readAll(), tail);
}

void TestFtpServers::hostedControlDownloadsAndStopsWhileWaiting()
{
#ifndef CTLHOST_PATH
    QSKIP("the container is not part of this build");
#else
    CtlHostSession host(QStringLiteral(CTLHOST_PATH), {QStringLiteral("ZuFTPDownLoad")});
    QVERIFY2(host.started, qPrintable(host.process.errorString()));
    QVERIFY(host.ok({"show"}));
    const QString file = m_dir.filePath(QStringLiteral("hosted.bin"));
    QVERIFY(host.ok({"call", "DownTo", url(u"pyftpdlib"_s, u"/f.bin"_s), file, 1, false}));
    QVERIFY(host.ok({"wait", "Ended", Timeout}));
    QCOMPARE(readFile(file), m_content);
    QCOMPARE(host.value({"size"}).toArray(), QJsonArray({660, 580}));

    // A server that takes the connection and never speaks: while the control
    // waits for its greeting, the host keeps time and can close or quit.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const QString silentUrl = QStringLiteral("ftp://127.0.0.1:%1/f.bin").arg(silent.serverPort());
    for (const QString &end : {u"ZUClose"_s, u"quit"_s}) {
        QVERIFY(host.ok({"call", "DownTo", silentUrl, file, 1, false}));
        QCOMPARE(host.send({"wait", "Ended", 100}).value("timeout").toBool(), true);
        QVERIFY(end == u"quit" ? host.ok({end}) : host.ok({"call", end}));
    }
    QVERIFY(host.process.waitForFinished(10000));
    QCOMPARE(host.process.exitCode(), 0);
    // Neither a waiting download nor its end touched the file.
    QCOMPARE(readFile(file), m_content);
#endif
}

// A server that stops at start-up: the helper says so with the server's words.
void TestFtpServers::peerStartFailureQuotesTheServer()
{
    PeerProcess peer;
    const QString error = peer.start(QStringLiteral("/bin/sh"), {"-c", "echo 500 OOPS: must be started as root >&0; exit 1"},
                                     PeerProcess::freePort(), true);
    QVERIFY2(error.contains(QLatin1String("500 OOPS: must be started as root")), qPrintable(error));
    QVERIFY2(error.contains(QLatin1String("exit status 1")), qPrintable(error));
}

QTEST_MAIN(TestFtpServers)
#include "tst_ftpservers.moc"
