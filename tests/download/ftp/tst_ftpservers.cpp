// The FTP control against real servers on loopback: vsftpd and pyftpdlib.

#include "FtpPeers.h"
#include "ModalRunner.h"
#include "ZuFTPDownLoad.h"

#include <QDialog>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int Timeout = 30000;

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

struct Session {
    std::unique_ptr<ZuFTPDownLoad> control = std::make_unique<ZuFTPDownLoad>();
    QSignalSpy errors {control.get(), &ZuFTPDownLoad::OnError};
    QSignalSpy sizes {control.get(), &ZuFTPDownLoad::UrlOK};
    QSignalSpy chunks {control.get(), &ZuFTPDownLoad::GetedData};
    QSignalSpy ended {control.get(), &ZuFTPDownLoad::Ended};
    QSignalSpy attributes {control.get(), &ZuFTPDownLoad::GetAttred};
    qint32 countAtEnd = -1;

    Session()
    {
        control->show();
        QObject::connect(control.get(), &ZuFTPDownLoad::Ended, control.get(),
                         [this] { countAtEnd = control->HsDown(); });
    }
    QString errorText() const
    {
        QStringList list;
        for (const QList<QVariant> &e : errors)
            list << e.at(0).toString() + u' ' + e.at(1).toString();
        return list.join(u"; ");
    }
};

} // namespace

class TestFtpServers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void vsftpdDownload();
    void vsftpdResume();
    void vsftpdEmptyFile();
    void vsftpdMissingFile();
    void vsftpdListing();
    void vsftpdListingMissing();
    void vsftpdTwoDownloadsInTurn();
    void pyftpdlibDownload();
    void pyftpdlibListing();

private:
    QTemporaryDir m_dir;
    FtpPeer m_vsftpd {FtpPeer::Vsftpd};
    FtpPeer m_pyftpdlib {FtpPeer::Pyftpdlib};
    QByteArray m_content;
};

void TestFtpServers::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ModalRunner::setHandler([](QDialog *) { return int(QDialog::Accepted); });
    m_content = randomBytes(5 * 1024 * 1024 + 321, 7);
    QString error;
    QVERIFY2(m_vsftpd.start(&error), qPrintable(error));
    QVERIFY(m_vsftpd.putFile(QStringLiteral("f.bin"), m_content));
    QVERIFY(m_vsftpd.putFile(QStringLiteral("empty.bin"), QByteArray()));
    QVERIFY2(m_pyftpdlib.start(&error), qPrintable(error));
    QVERIFY(m_pyftpdlib.putFile(QStringLiteral("f.bin"), m_content));
}

void TestFtpServers::cleanupTestCase()
{
    m_vsftpd.stop();
    m_pyftpdlib.stop();
    ModalRunner::setHandler({});
}

void TestFtpServers::vsftpdDownload()
{
    Session s;
    const QString file = m_dir.filePath(QStringLiteral("vsftpd.bin"));
    s.control->DownTo(m_vsftpd.url(QStringLiteral("/f.bin")), file, 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QVERIFY2(s.errors.isEmpty(), qPrintable(s.errorText()));
    QCOMPARE(s.sizes.count(), 1);
    QCOMPARE(s.sizes.at(0).at(0).toInt(), m_content.size());
    QVERIFY(s.chunks.count() > 0);
    QCOMPARE(s.countAtEnd, m_content.size());
    QCOMPARE(readFile(file), m_content);
    QCOMPARE(s.control->State1().toInt(), 0);
    QCOMPARE(s.control->State().toInt(), 0);
}

void TestFtpServers::vsftpdResume()
{
    const qint32 have = 1234567;
    const QString file = m_dir.filePath(QStringLiteral("resume.bin"));
    QVERIFY(writeFile(file, m_content.left(have)));
    Session s;
    s.control->DownTo(m_vsftpd.url(QStringLiteral("/f.bin")), file, have + 1, true);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QVERIFY2(s.errors.isEmpty(), qPrintable(s.errorText()));
    // vsftpd names the whole size even after REST.
    QCOMPARE(s.sizes.at(0).at(0).toInt(), m_content.size());
    QCOMPARE(s.countAtEnd, m_content.size());
    QCOMPARE(readFile(file), m_content);
}

void TestFtpServers::vsftpdEmptyFile()
{
    Session s;
    const QString file = m_dir.filePath(QStringLiteral("empty.bin"));
    s.control->DownTo(m_vsftpd.url(QStringLiteral("/empty.bin")), file, 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QCOMPARE(s.sizes.count(), 1);
    QCOMPARE(s.sizes.at(0).at(0).toInt(), 0);
    QCOMPARE(s.countAtEnd, 0);
    QVERIFY(QFile::exists(file));
    QCOMPARE(QFileInfo(file).size(), 0);
}

void TestFtpServers::vsftpdMissingFile()
{
    Session s;
    const QString file = m_dir.filePath(QStringLiteral("missing.bin"));
    s.control->DownTo(m_vsftpd.url(QStringLiteral("/missing.bin")), file, 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.errors.count(), 1, Timeout);
    QCOMPARE(s.errors.at(0).at(0).toInt(), 550);
    QCOMPARE(s.errors.at(0).at(1).toString(), QStringLiteral("地址未找到"));
    QTest::qWait(300);
    QCOMPARE(s.errors.count(), 1);
    QCOMPARE(s.ended.count(), 0);
    QCOMPARE(s.control->State1().toInt(), 0);
    QCOMPARE(s.control->State().toInt(), 0);
    s.control->ZUClose();
}

void TestFtpServers::vsftpdListing()
{
    Session s;
    s.control->GetAttrs(m_vsftpd.url(QStringLiteral("/f.bin")));
    QTRY_COMPARE_WITH_TIMEOUT(s.sizes.count() + s.errors.count(), 1, Timeout);
    QVERIFY2(s.errors.isEmpty(), qPrintable(s.errorText()));
    // vsftpd's 150 for a listing names no size; the listing line does.
    QCOMPARE(s.sizes.at(0).at(0).toInt(), m_content.size());
    QTRY_COMPARE_WITH_TIMEOUT(s.control->State1().toInt(), 0, Timeout);
    QTest::qWait(300);
    QCOMPARE(s.ended.count(), 0);
    QCOMPARE(s.attributes.count(), 0);
    QCOMPARE(s.sizes.count(), 1);
    QCOMPARE(s.control->State().toInt(), 0);
}

void TestFtpServers::vsftpdListingMissing()
{
    Session s;
    s.control->GetAttrs(m_vsftpd.url(QStringLiteral("/nothing-here")));
    QTRY_COMPARE_WITH_TIMEOUT(s.errors.count(), 1, Timeout);
    QTest::qWait(300);
    QCOMPARE(s.errors.count(), 1);
    QCOMPARE(s.errors.at(0).at(0).toInt(), 1);
    QCOMPARE(s.errors.at(0).at(1).toString(), QStringLiteral("文件大小未知"));
    QCOMPARE(s.sizes.count(), 0);
    QCOMPARE(s.ended.count(), 0);
}

void TestFtpServers::vsftpdTwoDownloadsInTurn()
{
    Session s;
    for (int round = 0; round < 2; ++round) {
        const QString file = m_dir.filePath(QStringLiteral("turn%1.bin").arg(round));
        s.control->DownTo(m_vsftpd.url(QStringLiteral("/f.bin")), file, 1, false);
        QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), round + 1, Timeout);
        QCOMPARE(readFile(file), m_content);
    }
    QVERIFY2(s.errors.isEmpty(), qPrintable(s.errorText()));
}

void TestFtpServers::pyftpdlibDownload()
{
    Session s;
    const QString file = m_dir.filePath(QStringLiteral("pyftpdlib.bin"));
    s.control->DownTo(m_pyftpdlib.url(QStringLiteral("/f.bin")), file, 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    // It answers RETR with 125 (or a 150 without a size): no size for the host.
    QCOMPARE(s.sizes.count(), 0);
    for (const QList<QVariant> &e : s.errors)
        QCOMPARE(e.at(1).toString(), QStringLiteral("文件大小未知"));
    QCOMPARE(s.countAtEnd, m_content.size());
    QCOMPARE(readFile(file), m_content);
}

void TestFtpServers::pyftpdlibListing()
{
    Session s;
    s.control->GetAttrs(m_pyftpdlib.url(QStringLiteral("/f.bin")));
    QTRY_COMPARE_WITH_TIMEOUT(s.sizes.count() + s.errors.count(), 1, Timeout);
    QVERIFY2(s.errors.isEmpty(), qPrintable(s.errorText()));
    QCOMPARE(s.sizes.at(0).at(0).toInt(), m_content.size());
    QTest::qWait(300);
    QCOMPARE(s.ended.count(), 0);
}

QTEST_MAIN(TestFtpServers)
#include "tst_ftpservers.moc"
