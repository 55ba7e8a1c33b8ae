#include "BinaryFile.h"
#include "CodePage.h"
#include "SystemError.h"
#include "../TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class tst_BinaryFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanup() { CodePage::setName(QString()); }

    void recordRoundTrip_data()
    {
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("stored"); // 16-bit length and the bytes
        QTest::newRow("utf-8") << "UTF-8" << "name" << QByteArray::fromHex("0400" "6e616d65");
        QTest::newRow("gbk") << "GBK" << "影片 1.avi" << QByteArray::fromHex("0a00" "d3b0c6ac20312e617669");
    }
    void recordRoundTrip()
    {
        QFETCH(QString, codePage);
        QFETCH(QString, text);
        QFETCH(QByteArray, stored);
        QVERIFY(CodePage::setName(codePage));
        {
            BinaryFile f;
            f.open(path("record.bin"));
            f.writeInt32(0x01020304);
            f.writeAnsiText(text);
            f.writeInt16(-2);
            f.writeInt32(-7);
        }
        // Packed without gaps, little-endian.
        QCOMPARE(readFile(path("record.bin")), QByteArray::fromHex("04030201") + stored + QByteArray::fromHex("feff" "f9ffffff"));
        BinaryFile f;
        f.open(path("record.bin"));
        QCOMPARE(f.readInt32(), 0x01020304);
        QCOMPARE(f.readAnsiText(), text);
        QCOMPARE(f.readInt16(), qint16(-2));
        QCOMPARE(f.readInt32(), -7);
    }

    void missingBytesReadAsZero_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::newRow("empty") << QByteArray() << 0 << 0;
        QTest::newRow("three bytes") << QByteArray::fromHex("ff0203") << 0x0302ff << 0;
        QTest::newRow("first whole, second short") << QByteArray::fromHex("0100000002") << 1 << 2;
    }
    void missingBytesReadAsZero()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, first);
        QFETCH(int, second);
        QVERIFY(writeFile(path("short.bin"), bytes));
        BinaryFile f;
        f.open(path("short.bin"));
        QCOMPARE(f.readInt32(), first);
        QCOMPARE(f.readInt32(), second);
        QCOMPARE(f.position(), 9);
        QCOMPARE(f.readBytes(3), QByteArray(3, '\0'));
        QCOMPARE(f.readAnsiText(), QString());
        // Reading never makes the file longer.
        QCOMPARE(f.length(), bytes.size());
    }

    void openExistingFile()
    {
        const QString p = path("keep.bin");
        QVERIFY(writeFile(p, "abcdef"));
        {
            BinaryFile f;
            f.open(p);
            f.writeBytes("XY");
        }
        BinaryFile f;
        f.open(p, BinaryFile::ReadOnly);
        QCOMPARE(f.readBytes(4), QByteArray("XYcd"));
        QVERIFY_THROWS_EXCEPTION(SystemError, f.writeBytes("x"));
        f.close();
        QCOMPARE(readFile(p), QByteArray("XYcdef"));
    }

    // Every failure gets the number the one mapping gives its system error, naming the file
    // when it is opened. Refused permissions are checked as an ordinary user: root passes them.
    void fileErrors_data()
    {
        QTest::addColumn<QString>("name"); // in the test folder; absolute names as they are
        QTest::addColumn<BinaryFile::OpenFlags>("flags");
        QTest::addColumn<bool>("write"); // the failure comes when writing
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text"); // %1: the file
        const BinaryFile::OpenFlags create;
        QTest::newRow("missing, must exist") << "absent" << BinaryFile::OpenFlags(BinaryFile::MustExist) << false << 53
                                             << "File not found: %1";
        QTest::newRow("missing, read only") << "absent" << BinaryFile::OpenFlags(BinaryFile::ReadOnly) << false << 53
                                            << "File not found: %1";
        QTest::newRow("missing folder") << "nofolder/f" << create << false << 76 << "Path not found: %1";
        QTest::newRow("a file as folder") << "plain/f" << create << false << 76 << "Path not found: %1";
        QTest::newRow("a folder") << "sub" << create << false << 75 << "Path/File access error: %1";
        QTest::newRow("new file, folder read-only") << "closed/f" << create << false << 70 << "Permission denied: %1";
        QTest::newRow("new file, folder read-only, reading allowed")
                << "closed/f" << BinaryFile::OpenFlags(BinaryFile::AllowReadOnly) << false << 70 << "Permission denied: %1";
        QTest::newRow("read-only file") << "closed/old" << create << false << 70 << "Permission denied: %1";
        QTest::newRow("unreadable file") << "closed/secret" << BinaryFile::OpenFlags(BinaryFile::ReadOnly) << false
                                         << 70 << "Permission denied: %1";
        QTest::newRow("name too long") << QString(300, u'n') << create << false << 52 << "Bad file name or number: %1";
        QTest::newRow("full disk") << "/dev/full" << create << true << 61 << "Disk full";
    }
    void fileErrors()
    {
        QFETCH(QString, name);
        QFETCH(BinaryFile::OpenFlags, flags);
        QFETCH(bool, write);
        QFETCH(int, number);
        QFETCH(QString, text);
        const QString file = name.startsWith(u'/') ? name : path(name);
        if (!QFileInfo::exists(path("closed"))) {
            QDir(m_dir.path()).mkpath("sub");
            QDir(m_dir.path()).mkpath("closed");
            QVERIFY(writeFile(path("plain"), "x"));
            QVERIFY(writeFile(path("closed/old"), "old") && writeFile(path("closed/secret"), "secret"));
            QVERIFY(QFile::setPermissions(path("closed/old"), QFile::ReadOwner | QFile::ReadOther));
            QVERIFY(QFile::setPermissions(path("closed/secret"), QFile::WriteOwner));
            QVERIFY(QFile::setPermissions(path("closed"), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther
                                                         | QFile::ExeOther));
        }
        const bool existed = QFileInfo::exists(file);
        const auto attempt = [&] {
            try {
                BinaryFile f;
                f.open(file, flags);
                if (write)
                    f.writeBytes(QByteArray(100000, 'x'));
                return std::pair(0, QString());
            } catch (const SystemError &e) {
                return std::pair(e.number(), e.description());
            }
        };
        if (::geteuid() != 0 || !name.startsWith(u"closed")) {
            const auto [got, description] = attempt();
            QCOMPARE(got, number);
            QCOMPARE(description, text.arg(file));
        } else {
            // As nobody in a child; the folder and the files belong to root.
            QCOMPARE(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(255);
                const auto [got, description] = attempt();
                ::_exit(got == number && description == text.arg(file) ? 0 : qMin(got, 254));
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, qPrintable(QString::number(WEXITSTATUS(status))));
        }
        QCOMPARE(QFileInfo::exists(file), existed);
        QCOMPARE(readFile(path("closed/old")), QByteArray("old"));
    }

    void handlesAndPositions()
    {
        BinaryFile a, b, c;
        a.open(path("h1"));
        b.open(path("h2"));
        QCOMPARE(b.handle(), 2);
        QCOMPARE(BinaryFile::fromHandle(2), &b);
        a.close();
        QCOMPARE(BinaryFile::fromHandle(1), nullptr);
        // The lowest free handle; positions from 1.
        c.open(path("h3"));
        QCOMPARE(c.handle(), 1);
        QCOMPARE(c.position(), 1);
        c.writeBytes("hello");
        QCOMPARE(c.position(), 6);
        c.seek(2);
        QCOMPARE(c.readBytes(3), QByteArray("ell"));
        QVERIFY_THROWS_EXCEPTION(SystemError, c.seek(0));
    }

    void codePageByName()
    {
        QVERIFY(CodePage::setName("GBK"));
        QVERIFY(!CodePage::setName("no-such-charset"));
        QCOMPARE(CodePage::name(), QStringLiteral("GBK"));
        // The environment variable chooses the default.
        for (const char *name : {"GBK", "UTF-8"}) {
            qputenv("ANSI_CODEPAGE", name);
            QVERIFY(CodePage::setName(QString()));
            QCOMPARE(CodePage::name(), QString::fromLatin1(name));
        }
        qunsetenv("ANSI_CODEPAGE");
    }
};

QTEST_GUILESS_MAIN(tst_BinaryFile)
#include "tst_binaryfile.moc"
