#include "BlockCopy.h"
#include "CodePage.h"
#include "PieceWriter.h"
#include "SystemError.h"
#include "UnsplitFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace PieceWriter;

class tst_UnsplitFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // naming
    void pieceNumberText_data();
    void pieceNumberText();
    void pieceNumberOverflow();
    void lastComponent_data();
    void lastComponent();

    // joins as written
    void joinsInOrder();
    void zeroLengthPieces();
    void suffixesPastNineHundredNinetyNine();
    void relativeBaseName();
    void unnamedValuesIgnored();
    void gbkBaseName();
    void largePieceInBlocks();

    // stencils that name no pieces
    void noPieces_data();
    void noPieces();
    void firstNumberOverflow();
    void stencilFileErrors_data();
    void stencilFileErrors();

    // bad pieces and outputs
    void missingPiece();
    void badPiece_data();
    void badPiece();
    void outputErrors_data();
    void outputErrors();
    void noStaleTail();
    void outputThroughSymlink();
    void outputIsAPiece();
    void windowsBaseName_data();
    void windowsBaseName();
    void storedPathComesFirst();

    // block copy
    void copyFallsBackToReadWrite();
    void copyOfShortSource();

private:
    QString path(const QString &name) const { return m_work.filePath(name); }
    //! Runs the join; returns the error number, 0 on success.
    int join(const QString &stencilPath, const QString &outputPath, QString *description = nullptr);
    QStringList leftovers() const;

    QTemporaryDir m_root;
    QDir m_work;
    int m_case = 0;
    QString m_previousDir;
};

void tst_UnsplitFile::initTestCase()
{
    QVERIFY(m_root.isValid());
    m_previousDir = QDir::currentPath();
}

void tst_UnsplitFile::init()
{
    // Each test works in a folder of its own.
    const QString name = QStringLiteral("case%1").arg(++m_case);
    QVERIFY(QDir(m_root.path()).mkdir(name));
    m_work = QDir(m_root.filePath(name));
}

void tst_UnsplitFile::cleanup()
{
    CodePage::setName(QString());
    QDir::setCurrent(m_previousDir);
}

int tst_UnsplitFile::join(const QString &stencilPath, const QString &outputPath,
                          QString *description)
{
    try {
        if (!UnsplitFile(stencilPath, outputPath))
            return -1;
        return 0;
    } catch (const SystemError &e) {
        if (description)
            *description = e.description();
        return e.number();
    }
}

QStringList tst_UnsplitFile::leftovers() const
{
    return m_work.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

void tst_UnsplitFile::pieceNumberText_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");

    QTest::newRow("1") << 1 << "001";
    QTest::newRow("42") << 42 << "042";
    QTest::newRow("999") << 999 << "999";
    QTest::newRow("1000") << 1000 << "1000";
    QTest::newRow("0") << 0 << "000";
    QTest::newRow("-5") << -5 << "-005";
    QTest::newRow("-1234") << -1234 << "-1234";
    QTest::newRow("largest") << std::numeric_limits<int>::max() << "2147483647";
    QTest::newRow("smallest") << std::numeric_limits<int>::min() << "-2147483648";
}

void tst_UnsplitFile::pieceNumberText()
{
    QFETCH(int, number);
    QFETCH(QString, text);
    QCOMPARE(Stencil::pieceNumberText(number), text);
}

void tst_UnsplitFile::pieceNumberOverflow()
{
    constexpr qint32 max = std::numeric_limits<qint32>::max();
    constexpr qint32 min = std::numeric_limits<qint32>::min();
    QCOMPARE(Stencil::pieceNumber(998, 3), 1000);
    QCOMPARE(Stencil::pieceNumber(max, 1), max);
    QCOMPARE(Stencil::pieceNumber(min + 1, 1), min + 1);
    QVERIFY_THROWS_EXCEPTION(SystemError, Stencil::pieceNumber(max, 2));
    // The subtraction of one already overflows.
    QVERIFY_THROWS_EXCEPTION(SystemError, Stencil::pieceNumber(min, 1));
}

void tst_UnsplitFile::lastComponent_data()
{
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<QString>("name");

    QTest::newRow("windows") << "D:\\films\\x.avi" << "x.avi";
    QTest::newRow("slashes") << "/data/x.avi" << "x.avi";
    QTest::newRow("mixed") << "D:\\films/sub\\x.avi" << "x.avi";
    QTest::newRow("bare") << "x.avi" << "x.avi";
    QTest::newRow("drive only") << "D:x.avi" << "D:x.avi";
    QTest::newRow("trailing separator") << "D:\\films\\" << "";
}

void tst_UnsplitFile::lastComponent()
{
    QFETCH(QString, baseName);
    QFETCH(QString, name);
    QCOMPARE(Stencil::lastComponent(baseName), name);
}

void tst_UnsplitFile::joinsInOrder()
{
    const QByteArray data = pattern(3000);
    QVERIFY(split(path(QStringLiteral("film.avi")), data, {1000, 1500, 500}));
    QVERIFY(writeFile(path(QStringLiteral("film.kvs")),
                      stencil(QFile::encodeName(path(QStringLiteral("film.avi"))), 3, 1)));
    QCOMPARE(join(path(QStringLiteral("film.kvs")), path(QStringLiteral("out.bin"))), 0);
    QCOMPARE(readFile(path(QStringLiteral("out.bin"))), data);
    // Nothing else is left beside the output.
    QCOMPARE(leftovers(), QStringList({"film.avi.001", "film.avi.002", "film.avi.003", "film.kvs",
                                       "out.bin"}));
}

void tst_UnsplitFile::zeroLengthPieces()
{
    const QString base = path(QStringLiteral("z"));
    QVERIFY(writeFile(base + ".001", piece("abc")));
    QVERIFY(writeFile(base + ".002", piece({})));
    // An empty array as the splitter might store it: no dimensions, no count.
    QVERIFY(writeFile(base + ".003", int16(0) + int32(0) + int32(0)));
    QVERIFY(writeFile(base + ".004", piece("de")));
    QVERIFY(writeFile(path(QStringLiteral("z.kvs")), stencil(QFile::encodeName(base), 4, 1)));
    QCOMPARE(join(path(QStringLiteral("z.kvs")), path(QStringLiteral("out"))), 0);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("abcde"));

    // All pieces empty: an empty output.
    QVERIFY(writeFile(base + ".001", piece({})));
    QVERIFY(writeFile(base + ".004", piece({})));
    QCOMPARE(join(path(QStringLiteral("z.kvs")), path(QStringLiteral("out"))), 0);
    QVERIFY(QFile::exists(path(QStringLiteral("out"))));
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray());
}

void tst_UnsplitFile::suffixesPastNineHundredNinetyNine()
{
    const QString base = path(QStringLiteral("big.iso"));
    QVERIFY(writeFile(base + ".998", piece("A")));
    QVERIFY(writeFile(base + ".999", piece("B")));
    QVERIFY(writeFile(base + ".1000", piece("C")));
    // Decoys under other spellings that must not be read.
    QVERIFY(writeFile(base + ".0998", piece("x")));
    QVERIFY(writeFile(base + ".000", piece("x")));
    QVERIFY(writeFile(path(QStringLiteral("big.kvs")), stencil(QFile::encodeName(base), 3, 998)));
    QCOMPARE(join(path(QStringLiteral("big.kvs")), path(QStringLiteral("out"))), 0);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("ABC"));
}

void tst_UnsplitFile::relativeBaseName()
{
    QVERIFY(m_work.mkdir(QStringLiteral("sub")));
    QVERIFY(split(path(QStringLiteral("sub/rel.dat")), "relative", {3, 5}));
    QVERIFY(writeFile(path(QStringLiteral("rel.kvs")), stencil("sub/rel.dat", 2, 1)));
    QVERIFY(QDir::setCurrent(m_work.path()));
    QCOMPARE(join(QStringLiteral("rel.kvs"), QStringLiteral("out")), 0);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("relative"));
}

void tst_UnsplitFile::unnamedValuesIgnored()
{
    const QString base = path(QStringLiteral("u"));
    QVERIFY(writeFile(base + ".001", piece("one", 1, 12345, -1)));
    QVERIFY(writeFile(base + ".002", piece("two", 1, -9, 0x55aa55aa) + "trailing junk"));
    const QByteArray record = stencil(QFile::encodeName(base), 2, 1, -123456789);
    QVERIFY(writeFile(path(QStringLiteral("u.kvs")), record + QByteArray(100, '\xee')));
    QCOMPARE(join(path(QStringLiteral("u.kvs")), path(QStringLiteral("out"))), 0);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("onetwo"));

    // A piece whose trailing value is cut off still holds all its data.
    QVERIFY(writeFile(base + ".002", piece("two").chopped(4)));
    QCOMPARE(join(path(QStringLiteral("u.kvs")), path(QStringLiteral("out"))), 0);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("onetwo"));
}

void tst_UnsplitFile::gbkBaseName()
{
    QVERIFY(CodePage::setName(QStringLiteral("GBK")));
    const QString name = QStringLiteral("影片.avi");
    QVERIFY(split(path(name), "gbk-data", {4, 4}));
    const QByteArray gbk = QFile::encodeName(m_work.path()) + "/" + QByteArray::fromHex("d3b0c6ac")
            + ".avi";
    QVERIFY(writeFile(path(QStringLiteral("gbk.kvs")), stencil(gbk, 2, 1)));
    QCOMPARE(join(path(QStringLiteral("gbk.kvs")), path(QStringLiteral("out"))), 0);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("gbk-data"));

    // Read as UTF-8 the same bytes name other files, which are missing.
    QVERIFY(CodePage::setName(QStringLiteral("UTF-8")));
    QCOMPARE(join(path(QStringLiteral("gbk.kvs")), path(QStringLiteral("out"))), 53);
}

void tst_UnsplitFile::largePieceInBlocks()
{
    // Larger than one copy block, and not a multiple of it.
    const QByteArray data = pattern(19 * 1024 * 1024 + 17, 7);
    QVERIFY(split(path(QStringLiteral("large")), data, {int(data.size()) - 5, 5}));
    QVERIFY(writeFile(path(QStringLiteral("large.kvs")),
                      stencil(QFile::encodeName(path(QStringLiteral("large"))), 2, 1)));
    QCOMPARE(join(path(QStringLiteral("large.kvs")), path(QStringLiteral("out"))), 0);
    QVERIFY(readFile(path(QStringLiteral("out"))) == data);
}

void tst_UnsplitFile::noPieces_data()
{
    QTest::addColumn<QByteArray>("stencilBytes");

    QTest::newRow("count 0") << stencil("p", 0, 1);
    QTest::newRow("count -1") << stencil("p", -1, 1);
    QTest::newRow("count -32768") << stencil("p", -32768, 1);
    QTest::newRow("empty stencil") << QByteArray();
    QTest::newRow("cut before the count") << stencil("p", 2, 1).left(7);
}

void tst_UnsplitFile::noPieces()
{
    QFETCH(QByteArray, stencilBytes);
    QVERIFY(writeFile(path(QStringLiteral("p.001")), piece("x")));
    QVERIFY(writeFile(path(QStringLiteral("s.kvs")), stencilBytes));
    QVERIFY(QDir::setCurrent(m_work.path()));
    QCOMPARE(join(QStringLiteral("s.kvs"), QStringLiteral("out")), 9);
    QVERIFY(!QFile::exists(path(QStringLiteral("out"))));
}

void tst_UnsplitFile::firstNumberOverflow()
{
    QVERIFY(writeFile(path(QStringLiteral("o.kvs")),
                      stencil("o", 1, std::numeric_limits<qint32>::min())));
    QVERIFY(writeFile(path(QStringLiteral("out")), "old"));
    QCOMPARE(join(path(QStringLiteral("o.kvs")), path(QStringLiteral("out"))), 6);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("old"));

    // The last number fits, the one after it does not.
    const QString base = path(QStringLiteral("m"));
    QVERIFY(writeFile(base + ".2147483647", piece("last")));
    QVERIFY(writeFile(path(QStringLiteral("m.kvs")),
                      stencil(QFile::encodeName(base), 2, std::numeric_limits<qint32>::max())));
    QCOMPARE(join(path(QStringLiteral("m.kvs")), path(QStringLiteral("out"))), 6);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("old"));
}

void tst_UnsplitFile::stencilFileErrors_data()
{
    QTest::addColumn<QString>("stencilName");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");

    QTest::newRow("missing stencil") << "absent.kvs" << 9 << "Subscript out of range";
    QTest::newRow("empty name") << "" << 52 << "Bad file name or number";
    QTest::newRow("missing folder") << "nofolder/a.kvs" << 76 << "Path not found";
    QTest::newRow("a folder") << "." << 75 << "Path/File access error";
}

void tst_UnsplitFile::stencilFileErrors()
{
    QFETCH(QString, stencilName);
    QFETCH(int, number);
    QFETCH(QString, description);
    const QString stencilPath = stencilName.isEmpty() ? stencilName : path(stencilName);
    QVERIFY(writeFile(path(QStringLiteral("out")), "old"));
    QString text;
    QCOMPARE(join(stencilPath, path(QStringLiteral("out")), &text), number);
    QCOMPARE(text, description);
    // The stencil is not created, the output not touched.
    QCOMPARE(leftovers(), QStringList{"out"});
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("old"));
}

void tst_UnsplitFile::missingPiece()
{
    const QString base = path(QStringLiteral("gap"));
    QVERIFY(writeFile(base + ".001", piece("a")));
    QVERIFY(writeFile(base + ".003", piece("c")));
    QVERIFY(writeFile(path(QStringLiteral("gap.kvs")), stencil(QFile::encodeName(base), 3, 1)));

    QString text;
    QCOMPARE(join(path(QStringLiteral("gap.kvs")), path(QStringLiteral("out")), &text), 53);
    QVERIFY2(text.contains(base + ".002"), qPrintable(text));
    // Not created, and no output either.
    QCOMPARE(leftovers(), QStringList({"gap.001", "gap.003", "gap.kvs"}));

    QVERIFY(writeFile(path(QStringLiteral("out")), "previous output"));
    QCOMPARE(join(path(QStringLiteral("gap.kvs")), path(QStringLiteral("out"))), 53);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("previous output"));
    QCOMPARE(leftovers(), QStringList({"gap.001", "gap.003", "gap.kvs", "out"}));

    // A folder where the piece should be.
    QVERIFY(m_work.mkdir(QStringLiteral("gap.002")));
    QCOMPARE(join(path(QStringLiteral("gap.kvs")), path(QStringLiteral("out")), &text), 75);
    QVERIFY2(text.contains(base + ".002"), qPrintable(text));
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("previous output"));
}

void tst_UnsplitFile::badPiece_data()
{
    QTest::addColumn<QByteArray>("badPiece");
    QTest::addColumn<int>("number");

    QTest::newRow("shorter than declared") << piece("abcdef").left(13) << 62;
    QTest::newRow("shorter than the header") << int16(1) + int32(5) << 62;
    QTest::newRow("empty file") << QByteArray() << 62;
    QTest::newRow("two dimensions with data") << piece("abc", 2) << 59;
    QTest::newRow("no dimensions with data") << piece("abc", 0) << 59;
    QTest::newRow("negative count") << int16(1) + int32(-3) + int32(0) + "abc" << 59;
}

void tst_UnsplitFile::badPiece()
{
    QFETCH(QByteArray, badPiece);
    QFETCH(int, number);
    const QString base = path(QStringLiteral("bad"));
    QVERIFY(writeFile(base + ".001", piece("good")));
    QVERIFY(writeFile(base + ".002", badPiece));
    QVERIFY(writeFile(path(QStringLiteral("bad.kvs")), stencil(QFile::encodeName(base), 2, 1)));
    QVERIFY(writeFile(path(QStringLiteral("out")), "untouched"));
    QString text;
    QCOMPARE(join(path(QStringLiteral("bad.kvs")), path(QStringLiteral("out")), &text), number);
    QVERIFY2(text.contains(base + ".002"), qPrintable(text));
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("untouched"));
    QCOMPARE(leftovers(), QStringList({"bad.001", "bad.002", "bad.kvs", "out"}));
}

void tst_UnsplitFile::outputErrors_data()
{
    QTest::addColumn<QString>("outputName");
    QTest::addColumn<int>("number");

    QTest::newRow("empty name") << "" << 52;
    QTest::newRow("missing folder") << "nofolder/out" << 76;
    QTest::newRow("a folder") << "." << 75;
}

void tst_UnsplitFile::outputErrors()
{
    QFETCH(QString, outputName);
    QFETCH(int, number);
    QVERIFY(split(path(QStringLiteral("e")), "data", {4}));
    QVERIFY(writeFile(path(QStringLiteral("e.kvs")),
                      stencil(QFile::encodeName(path(QStringLiteral("e"))), 1, 1)));
    QCOMPARE(join(path(QStringLiteral("e.kvs")), outputName.isEmpty() ? outputName
                                                                      : path(outputName)),
             number);
    QCOMPARE(leftovers(), QStringList({"e.001", "e.kvs"}));
}

void tst_UnsplitFile::noStaleTail()
{
    QVERIFY(split(path(QStringLiteral("t")), "short", {2, 3}));
    QVERIFY(writeFile(path(QStringLiteral("t.kvs")),
                      stencil(QFile::encodeName(path(QStringLiteral("t"))), 2, 1)));
    QVERIFY(writeFile(path(QStringLiteral("out")), QByteArray(10000, 'Z')));
    QFile::setPermissions(path(QStringLiteral("out")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    QCOMPARE(join(path(QStringLiteral("t.kvs")), path(QStringLiteral("out"))), 0);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("short"));
    // The replaced file keeps its permissions.
    QCOMPARE(QFile::permissions(path(QStringLiteral("out")))
                     & (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
}

void tst_UnsplitFile::outputThroughSymlink()
{
    QVERIFY(split(path(QStringLiteral("l")), "linked", {6}));
    QVERIFY(writeFile(path(QStringLiteral("l.kvs")),
                      stencil(QFile::encodeName(path(QStringLiteral("l"))), 1, 1)));
    QVERIFY(m_work.mkdir(QStringLiteral("real")));
    QVERIFY(writeFile(path(QStringLiteral("real/target")), "old old old"));
    QVERIFY(QFile::link(path(QStringLiteral("real/target")), path(QStringLiteral("link"))));
    QCOMPARE(join(path(QStringLiteral("l.kvs")), path(QStringLiteral("link"))), 0);
    QVERIFY(QFileInfo(path(QStringLiteral("link"))).isSymLink());
    QCOMPARE(readFile(path(QStringLiteral("real/target"))), QByteArray("linked"));
    QCOMPARE(QDir(path(QStringLiteral("real"))).entryList(QDir::Files | QDir::Hidden),
             QStringList{"target"});
}

void tst_UnsplitFile::outputIsAPiece()
{
    const QString base = path(QStringLiteral("self"));
    QVERIFY(split(base, "first second", {6, 6}));
    QVERIFY(writeFile(path(QStringLiteral("self.kvs")), stencil(QFile::encodeName(base), 2, 1)));
    QCOMPARE(join(path(QStringLiteral("self.kvs")), base + ".001"), 0);
    QCOMPARE(readFile(base + ".001"), QByteArray("first second"));

    // A device is written to, not replaced.
    QVERIFY(split(base, "first second", {6, 6}));
    QCOMPARE(join(path(QStringLiteral("self.kvs")), QStringLiteral("/dev/null")), 0);
    QVERIFY(!QFileInfo(QStringLiteral("/dev/null")).isFile());
}

void tst_UnsplitFile::windowsBaseName_data()
{
    QTest::addColumn<QByteArray>("baseName");

    QTest::newRow("backslashes") << QByteArray("D:\\films\\x.avi");
    QTest::newRow("forward slashes") << QByteArray("D:/films/x.avi");
    QTest::newRow("unc") << QByteArray("\\\\server\\share\\x.avi");
    QTest::newRow("missing absolute folder") << QByteArray("/no/such/folder/x.avi");
}

void tst_UnsplitFile::windowsBaseName()
{
    QFETCH(QByteArray, baseName);
    // The pieces lie beside the stencil, the current folder is elsewhere.
    QVERIFY(m_work.mkdir(QStringLiteral("beside")));
    QVERIFY(split(path(QStringLiteral("beside/x.avi")), "windows", {3, 4}));
    QVERIFY(writeFile(path(QStringLiteral("beside/x.kvs")), stencil(baseName, 2, 1)));
    QVERIFY(QDir::setCurrent(m_work.path()));
    QCOMPARE(join(path(QStringLiteral("beside/x.kvs")), path(QStringLiteral("out"))), 0);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("windows"));

    // Neither here nor there: the stored name is reported.
    QVERIFY(QFile::remove(path(QStringLiteral("beside/x.avi.002"))));
    QString text;
    QCOMPARE(join(path(QStringLiteral("beside/x.kvs")), path(QStringLiteral("out")), &text), 53);
    QVERIFY2(text.contains(QString::fromLatin1(baseName) + ".002"), qPrintable(text));
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("windows"));
}

void tst_UnsplitFile::storedPathComesFirst()
{
    QVERIFY(m_work.mkdir(QStringLiteral("stored")));
    QVERIFY(m_work.mkdir(QStringLiteral("beside")));
    QVERIFY(split(path(QStringLiteral("stored/f")), "stored", {6}));
    QVERIFY(split(path(QStringLiteral("beside/f")), "beside", {6}));
    QVERIFY(writeFile(path(QStringLiteral("beside/f.kvs")),
                      stencil(QFile::encodeName(path(QStringLiteral("stored/f"))), 1, 1)));
    QCOMPARE(join(path(QStringLiteral("beside/f.kvs")), path(QStringLiteral("out"))), 0);
    QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("stored"));
}

void tst_UnsplitFile::copyFallsBackToReadWrite()
{
    const QByteArray data = pattern(9 * 1024 * 1024 + 3, 3);
    QVERIFY(writeFile(path(QStringLiteral("src")), data));
    QVERIFY(writeFile(path(QStringLiteral("dst")), "head"));
    QFile source(path(QStringLiteral("src")));
    QFile target(path(QStringLiteral("dst")));
    QVERIFY(source.open(QIODevice::ReadOnly));
    // The kernel copy refuses a target opened for appending.
    QVERIFY(target.open(QIODevice::WriteOnly | QIODevice::Append));
    copyBlocks(source, 1, target, data.size() - 1);
    target.close();
    QVERIFY(readFile(path(QStringLiteral("dst"))) == "head" + data.mid(1));
}

void tst_UnsplitFile::copyOfShortSource()
{
    QVERIFY(writeFile(path(QStringLiteral("src")), "12345"));
    QFile source(path(QStringLiteral("src")));
    QFile target(path(QStringLiteral("dst")));
    QVERIFY(source.open(QIODevice::ReadOnly));
    for (QIODevice::OpenMode mode : {QIODevice::OpenMode(QIODevice::WriteOnly),
                                     QIODevice::WriteOnly | QIODevice::Append}) {
        QVERIFY(target.open(mode));
        try {
            copyBlocks(source, 2, target, 10);
            QFAIL("copied past the end");
        } catch (const SystemError &e) {
            QCOMPARE(e.number(), 62);
            QVERIFY(e.description().contains(source.fileName()));
        }
        target.close();
    }
}

QTEST_GUILESS_MAIN(tst_UnsplitFile)
#include "tst_unsplitfile.moc"
