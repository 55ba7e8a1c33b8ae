// The FTP control against real servers on loopback, vsftpd and pyftpdlib:
// directly, and hosted by the test container as a host program drives it.

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

class TestFtpServers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void download_data();
    void download();
    void lookups_data();
    void lookups();
    void resumePast4GiB();

    void hosted();
    void peerFailure();

private:
    QString url(const QString &peer, const QString &path) const { return m_peers.at(peer)->url(path); }

    QTemporaryDir m_dir;
    const QString m_vsftpdMissing = FtpPeer::unavailable(FtpPeer::Vsftpd);
    std::map<QString, std::unique_ptr<FtpPeer>> m_peers;
    QString m_pureftpdMissing;
    QByteArray m_content;
};

void TestFtpServers::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ModalRunner::setHandler([](QDialog *) { return int(QDialog::Accepted); });
    m_content = randomBytes(5 * 1024 * 1024 + 321, 7);
    const std::pair<const char *, FtpPeer::Kind> kinds[] = {{"vsftpd", FtpPeer::Vsftpd},
                                                           {"pyftpdlib", FtpPeer::Pyftpdlib},
                                                           {"pure-ftpd", FtpPeer::PureFtpd}};
    for (const auto &[name, kind] : kinds) {
        for (const bool ipv6 : {false, true}) {
            // pure-ftpd comes from Debian's archive and serves only IPv6 here; without it its rows are skipped.
            if ((kind == FtpPeer::PureFtpd && !ipv6) || (kind == FtpPeer::Vsftpd && !m_vsftpdMissing.isEmpty()))
                continue;
            auto &peer = m_peers[QLatin1String(name) + (ipv6 ? QStringLiteral("6") : QString())];
            peer = std::make_unique<FtpPeer>(kind, ipv6);
            const QString error = peer->start();
            if (kind == FtpPeer::PureFtpd && !error.isEmpty()) {
                m_pureftpdMissing = error;
                continue;
            }
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QVERIFY(peer->putFile(u"f.bin"_s, m_content) && peer->putFile(u"empty.bin"_s, {}));
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
    const bool vsftpd = QByteArray(QTest::currentDataTag()).startsWith("vsftpd")
        || QByteArray(QTest::currentTestFunction()) == "hosted"
        || QByteArray(QTest::currentTestFunction()) == "resumePast4GiB";
    if (vsftpd && !m_vsftpdMissing.isEmpty())
        QSKIP(qPrintable(m_vsftpdMissing));
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
    // On IPv6 the passive step asks EPSV; the data connection goes to ::1.
    QTest::newRow("vsftpd on ::1, resumed") << "vsftpd6" << "/f.bin" << 1234567 << true;
    QTest::newRow("pyftpdlib on ::1") << "pyftpdlib6" << "/f.bin" << 0 << false;
    // pure-ftpd refuses PASV over IPv6 and names no size in its 150.
    QTest::newRow("pure-ftpd on ::1, resumed") << "pure-ftpd6" << "/f.bin" << 1234567 << false;
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
    if (peer == QLatin1String("pure-ftpd6")) {
        if (!m_pureftpdMissing.isEmpty())
            QSKIP(qPrintable(m_pureftpdMissing));
        s.control->setUser(FtpPeer::user());
        s.control->setPassword(FtpPeer::password());
    }
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
    QTest::addColumn<QString>("user"); // empty: anonymous
    QTest::addColumn<QString>("target"); // empty: a file in the test's folder
    QTest::addColumn<int>("number"); // 0: UrlOK with the size
    QTest::addColumn<QString>("description");
    // vsftpd's 150 for a listing names no size; the listing line does.
    QTest::newRow("vsftpd, listing") << "vsftpd" << "/f.bin" << true << "" << "" << 0 << "";
    QTest::newRow("pyftpdlib, listing") << "pyftpdlib" << "/f.bin" << true << "" << "" << 0 << "";
    QTest::newRow("vsftpd, listing of nothing") << "vsftpd" << "/nothing-here" << true << "" << "" << 1 << "文件大小未知";
    QTest::newRow("vsftpd, missing file") << "vsftpd" << "/missing.bin" << false << "" << "" << 550 << "地址未找到";
    QTest::newRow("vsftpd, user refused") << "vsftpd" << "/f.bin" << false << "someone" << "" << 530
                                          << "This FTP server is anonymous only.";
    QTest::newRow("pyftpdlib, password refused") << "pyftpdlib" << "/f.bin" << false << "someone" << "" << 530
                                                 << "Authentication failed.";
    QTest::newRow("vsftpd, target full") << "vsftpd" << "/f.bin" << false << "" << "/dev/full" << 57 << "";
}

void TestFtpServers::lookups()
{
    QFETCH(QString, peer);
    QFETCH(QString, path);
    QFETCH(bool, probe);
    QFETCH(QString, user);
    QFETCH(QString, target);
    QFETCH(int, number);
    FtpSession s;
    if (!user.isEmpty())
        s.control->setUser(user);
    if (probe)
        s.control->GetAttrs(url(peer, path));
    else
        s.control->DownTo(url(peer, path), target.isEmpty() ? m_dir.filePath(QStringLiteral("missing.bin")) : target, 1,
                          false);
    // Every session ends with the control's own close, after its one outcome.
    QTRY_VERIFY_WITH_TIMEOUT(s.sizes.count() + s.errors.count() >= 1 && s.control->State1().toInt() == 0, Timeout);
    QCoreApplication::processEvents();
    QCOMPARE(s.ended.count(), 0);
    QCOMPARE(s.control->State().toInt(), 0);
    if (number == 0) {
        QVERIFY2(s.errors.isEmpty(), s.errorText());
        QCOMPARE(s.sizes.count(), 1);
        QCOMPARE(s.sizes.at(0).at(0).toInt(), m_content.size());
        return;
    }
    QCOMPARE(s.sizes.count(), number == 57 ? 1 : 0);
    QVERIFY2(s.errors.count() == 1, s.errorText());
    QCOMPARE(s.errorNumber(), number);
    if (number != 57)
        QTEST(s.errorDescription(), "description");
    if (number == 550) {
        // The file stays open until ZUClose.
        QCOMPARE(s.control->HsDown(), 0);
        QVERIFY(!s.control->takeError());
        s.control->ZUClose();
        s.control->HsDown();
        QVERIFY(s.control->takeError());
    }
}

void TestFtpServers::resumePast4GiB()
{
    // Sparse on both sides: only the last MiB is sent and written.
    constexpr qint64 size = 5LL * 1024 * 1024 * 1024;
    const QByteArray tail = randomBytes(1024 * 1024, 11);
    QVERIFY(m_peers.at(u"vsftpd"_s)->putSparseFile(QStringLiteral("big.bin"), size, tail));
    const QString file = m_dir.filePath(QStringLiteral("big.bin"));
    QFile local(file);
    QVERIFY(local.open(QIODevice::WriteOnly | QIODevice::Truncate) && local.resize(size - tail.size()));
    local.close();
    FtpSession s;
    s.control->DownTo(url(u"vsftpd"_s, QStringLiteral("/big.bin")), file, size - tail.size() + 1, true);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QVERIFY2(s.errors.isEmpty(), s.errorText());
    // vsftpd names the whole size after REST.
    QCOMPARE(s.sizes.at(0).at(0).toLongLong(), size);
    QCOMPARE(s.countAtEnd, size);
    QVERIFY(local.open(QIODevice::ReadOnly) && local.size() == size && local.seek(size - tail.size()));
    QCOMPARE(local.readAll(), tail);
    local.close();

    QVERIFY(local.remove());
}

void TestFtpServers::hosted()
{
#ifndef CTLHOST_PATH
    QSKIP("the container is not part of this build");
#else
    CtlHostSession host(QStringLiteral(CTLHOST_PATH), {QStringLiteral("ZuFTPDownLoad")});
    QVERIFY2(host.started, qPrintable(host.process.errorString()));
    QVERIFY(host.ok({"show"}));
    const QString file = m_dir.filePath(QStringLiteral("hosted.bin"));
    QVERIFY(host.ok({"call", "DownTo", url(u"vsftpd"_s, u"/f.bin"_s), file, 1, false}));
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
void TestFtpServers::peerFailure()
{
    PeerProcess peer;
    const QString error = peer.start(QStringLiteral("/bin/sh"), {"-c", "echo 500 OOPS: must be started as root >&0; exit 1"},
                                     PeerProcess::freePort(), true);
    QVERIFY2(error.contains(QLatin1String("500 OOPS: must be started as root")), qPrintable(error));
    QVERIFY2(error.contains(QLatin1String("exit status 1")), qPrintable(error));
}

QTEST_MAIN(TestFtpServers)
#include "tst_ftpservers.moc"
