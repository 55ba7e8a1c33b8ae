#include "BinaryFile.h"
#include "CodePage.h"
#include "SystemError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_BinaryFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void recordRoundTrip();
    void missingBytesReadAsZero_data();
    void missingBytesReadAsZero();
    void openKeepsContents();
    void openCreatesMissingFile();
    void mustExistCreatesNothing();
    void readOnlyOpen();
    void openErrors_data();
    void openErrors();
    void handlesAreLowestFree();
    void positionsAreOneBased();
    void gbkText();
    void codePageByName();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    static QByteArray contents(const QString &path);

    QTemporaryDir m_dir;
};

QByteArray tst_BinaryFile::contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void tst_BinaryFile::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void tst_BinaryFile::cleanup()
{
    CodePage::setName(QString());
}

void tst_BinaryFile::recordRoundTrip()
{
    CodePage::setName(QStringLiteral("UTF-8"));
    {
        BinaryFile f;
        f.open(path(QStringLiteral("record.bin")));
        f.writeInt32(0x01020304);
        f.writeAnsiText(u"name");
        f.writeInt16(-2);
        f.writeInt32(-7);
    }
    // Packed without gaps, little-endian, text as 16-bit length and bytes.
    QCOMPARE(contents(path(QStringLiteral("record.bin"))),
             QByteArray::fromHex("04030201" "0400" "6e616d65" "feff" "f9ffffff"));
    BinaryFile f;
    f.open(path(QStringLiteral("record.bin")));
    QCOMPARE(f.readInt32(), 0x01020304);
    QCOMPARE(f.readAnsiText(), QStringLiteral("name"));
    QCOMPARE(f.readInt16(), qint16(-2));
    QCOMPARE(f.readInt32(), -7);
}

void tst_BinaryFile::missingBytesReadAsZero_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");

    QTest::newRow("empty") << QByteArray() << 0 << 0;
    QTest::newRow("one byte") << QByteArray::fromHex("ff") << 0xff << 0;
    QTest::newRow("three bytes") << QByteArray::fromHex("010203") << 0x030201 << 0;
    QTest::newRow("first whole, second short") << QByteArray::fromHex("0100000002") << 1 << 2;
}

void tst_BinaryFile::missingBytesReadAsZero()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, first);
    QFETCH(int, second);
    const QString p = path(QStringLiteral("short.bin"));
    QFile::remove(p);
    {
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    BinaryFile f;
    f.open(p);
    QCOMPARE(f.readInt32(), first);
    QCOMPARE(f.readInt32(), second);
    QCOMPARE(f.position(), 9);
    QCOMPARE(f.readBytes(3), QByteArray(3, '\0'));
    QCOMPARE(f.readAnsiText(), QString());
    // Reading never makes the file longer.
    QCOMPARE(f.length(), bytes.size());
}

void tst_BinaryFile::openKeepsContents()
{
    const QString p = path(QStringLiteral("keep.bin"));
    {
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("abcdef");
    }
    {
        BinaryFile f;
        f.open(p);
        f.writeBytes("XY");
    }
    QCOMPARE(contents(p), QByteArray("XYcdef"));
}

void tst_BinaryFile::openCreatesMissingFile()
{
    const QString p = path(QStringLiteral("created.bin"));
    BinaryFile f;
    f.open(p);
    QVERIFY(QFile::exists(p));
    QCOMPARE(f.length(), 0);
}

void tst_BinaryFile::mustExistCreatesNothing()
{
    const QString p = path(QStringLiteral("absent.bin"));
    for (BinaryFile::OpenFlags flags : {BinaryFile::OpenFlags(BinaryFile::MustExist),
                                        BinaryFile::OpenFlags(BinaryFile::ReadOnly)}) {
        BinaryFile f;
        try {
            f.open(p, flags);
            QFAIL("opened a missing file");
        } catch (const SystemError &e) {
            QCOMPARE(e.number(), 53);
            QVERIFY2(e.description().contains(p), qPrintable(e.description()));
        }
        QVERIFY(!QFile::exists(p));
        QVERIFY(!f.isOpen());
    }
}

void tst_BinaryFile::readOnlyOpen()
{
    const QString p = path(QStringLiteral("ro.bin"));
    {
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("data");
    }
    BinaryFile f;
    f.open(p, BinaryFile::ReadOnly);
    QCOMPARE(f.readBytes(4), QByteArray("data"));
    QVERIFY_THROWS_EXCEPTION(SystemError, f.writeBytes("x"));
    f.close();
    QCOMPARE(contents(p), QByteArray("data"));
}

void tst_BinaryFile::openErrors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");

    QTest::newRow("empty name") << QString() << 52;
    QTest::newRow("missing folder") << QStringLiteral("nofolder/x.bin") << 76;
    QTest::newRow("a folder") << QStringLiteral(".") << 75;
}

void tst_BinaryFile::openErrors()
{
    QFETCH(QString, name);
    QFETCH(int, number);
    BinaryFile f;
    try {
        f.open(name.isEmpty() ? name : path(name));
        QFAIL("opened");
    } catch (const SystemError &e) {
        QCOMPARE(e.number(), number);
        QCOMPARE(e.description(), SystemError::standardText(number));
    }
    QVERIFY(!f.isOpen());
}

void tst_BinaryFile::handlesAreLowestFree()
{
    BinaryFile a, b, c;
    a.open(path(QStringLiteral("h1")));
    b.open(path(QStringLiteral("h2")));
    QCOMPARE(a.handle(), 1);
    QCOMPARE(b.handle(), 2);
    QCOMPARE(BinaryFile::fromHandle(2), &b);
    a.close();
    QCOMPARE(BinaryFile::fromHandle(1), nullptr);
    c.open(path(QStringLiteral("h3")));
    QCOMPARE(c.handle(), 1);
}

void tst_BinaryFile::positionsAreOneBased()
{
    const QString p = path(QStringLiteral("pos.bin"));
    BinaryFile f;
    f.open(p);
    QCOMPARE(f.position(), 1);
    f.writeBytes("hello");
    QCOMPARE(f.position(), 6);
    f.seek(2);
    QCOMPARE(f.readBytes(3), QByteArray("ell"));
    QVERIFY_THROWS_EXCEPTION(SystemError, f.seek(0));
}

void tst_BinaryFile::gbkText()
{
    QVERIFY(CodePage::setName(QStringLiteral("GBK")));
    const QString text = QStringLiteral("影片 1.avi");
    const QByteArray gbk = QByteArray::fromHex("d3b0c6ac20312e617669");
    QCOMPARE(CodePage::fromUnicode(text), gbk);
    QCOMPARE(CodePage::toUnicode(gbk), text);

    const QString p = path(QStringLiteral("gbk.bin"));
    {
        BinaryFile f;
        f.open(p);
        f.writeAnsiText(text);
    }
    QCOMPARE(contents(p), QByteArray::fromHex("0a00") + gbk);
    BinaryFile f;
    f.open(p);
    QCOMPARE(f.readAnsiText(), text);
}

void tst_BinaryFile::codePageByName()
{
    QVERIFY(!CodePage::setName(QStringLiteral("no-such-charset")));
    QVERIFY(CodePage::setName(QStringLiteral("GBK")));
    QCOMPARE(CodePage::name(), QStringLiteral("GBK"));
    QVERIFY(!CodePage::setName(QStringLiteral("no-such-charset")));
    QCOMPARE(CodePage::name(), QStringLiteral("GBK"));

    // The environment variable chooses the default.
    qputenv("ANSI_CODEPAGE", "GBK");
    QVERIFY(CodePage::setName(QString()));
    QCOMPARE(CodePage::name(), QStringLiteral("GBK"));
    qputenv("ANSI_CODEPAGE", "UTF-8");
    QVERIFY(CodePage::setName(QString()));
    QCOMPARE(CodePage::name(), QStringLiteral("UTF-8"));
    qunsetenv("ANSI_CODEPAGE");
}

QTEST_GUILESS_MAIN(tst_BinaryFile)
#include "tst_binaryfile.moc"
