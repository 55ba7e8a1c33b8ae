#include "BlockCopy.h"
#include "CodePage.h"
#include "PieceWriter.h"
#include "SystemError.h"
#include "UnsplitFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

#include <sys/stat.h>

using namespace PieceWriter;

using Files = QMap<QString, QByteArray>;

class tst_UnsplitFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QDir m_work;
    int m_case = 0;
    QString m_previousDir;

    QString path(const QString &name) const { return m_work.filePath(name); }
    QByteArray stencilFor(const QString &name, qint16 count, qint32 first = 1) const
    {
        return stencil(QFile::encodeName(path(name)), count, first);
    }
    //! Runs the join; returns the error number, 0 on success.
    static int join(const QString &stencilPath, const QString &outputPath, QString *description = nullptr)
    {
        try {
            return UnsplitFile(stencilPath, outputPath) ? 0 : -1;
        } catch (const SystemError &e) {
            if (description)
                *description = e.description();
            return e.number();
        }
    }
    QStringList leftovers() const
    {
        return m_work.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    Files contents() const
    {
        Files files;
        for (const QString &name : leftovers())
            files.insert(name, readFile(path(name)));
        return files;
    }
    //! Runs a join that must fail with \a number and leave every file as it was.
    bool refused(const QString &stencilPath, const QString &outputPath, int number, QString *text = nullptr) const
    {
        const Files before = contents();
        QString description;
        const int result = join(stencilPath, outputPath, &description);
        if (text)
            *text = description;
        if (result == number && contents() == before)
            return true;
        qWarning("error %d (%s); files %s", result, qPrintable(description),
                 contents() == before ? "kept" : "changed");
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_previousDir = QDir::currentPath();
    }
    void init()
    {
        const QString name = QStringLiteral("case%1").arg(++m_case);
        QVERIFY(QDir(m_root.path()).mkdir(name));
        m_work = QDir(m_root.filePath(name));
    }
    void cleanup()
    {
        CodePage::setName(QString());
        QDir::setCurrent(m_previousDir);
    }

    void lastComponent_data()
    {
        QTest::addColumn<QString>("baseName");
        QTest::addColumn<QString>("name");
        QTest::newRow("mixed") << "D:\\films/sub\\x.avi" << "x.avi";
        QTest::newRow("drive only") << "D:x.avi" << "D:x.avi";
        QTest::newRow("trailing separator") << "D:\\films\\" << "";
    }
    void lastComponent()
    {
        QFETCH(QString, baseName);
        QFETCH(QString, name);
        QCOMPARE(Stencil::lastComponent(baseName), name);
    }

    void joins_data()
    {
        QTest::addColumn<Files>("pieces"); // suffix -> file contents
        QTest::addColumn<QByteArray>("stencilBytes");
        QTest::addColumn<QByteArray>("output");

        const QByteArray data = pattern(3000);
        QTest::newRow("in order") << Files{{".001", piece(data.left(1000))}, {".002", piece(data.mid(1000, 1500))},
                                           {".003", piece(data.mid(2500))}}
                                  << stencil("j", 3, 1) << data;
        // An empty array as the splitter might store it: no dimensions, no count.
        QTest::newRow("zero-length pieces") << Files{{".001", piece("abc")}, {".002", piece({})},
                                                     {".003", int16(0) + int32(0) + int32(0)}, {".004", piece("de")}}
                                            << stencil("j", 4, 1) << QByteArray("abcde");
        QTest::newRow("all pieces empty") << Files{{".001", piece({})}, {".002", piece({})}} << stencil("j", 2, 1)
                                          << QByteArray();
        // ".0998" and ".000" are decoys under other spellings that must not be read.
        QTest::newRow("past 999") << Files{{".998", piece("A")}, {".999", piece("B")}, {".1000", piece("C")},
                                           {".0998", piece("x")}, {".000", piece("x")}}
                                  << stencil("j", 3, 998) << QByteArray("ABC");
        QTest::newRow("largest number") << Files{{".2147483647", piece("last")}} << stencil("j", 1, INT_MAX)
                                        << QByteArray("last");
        QTest::newRow("negative numbers") << Files{{".-002", piece("n")}, {".-001", piece("e")}, {".000", piece("g")}}
                                          << stencil("j", 3, -2) << QByteArray("neg");
        QTest::newRow("unnamed values ignored")
                << Files{{".001", piece("one", 1, 12345, -1)}, {".002", piece("two", 1, -9, 0x55aa55aa) + "trailing junk"}}
                << stencil("j", 2, 1, -123456789) + QByteArray(100, '\xee') << QByteArray("onetwo");
        QTest::newRow("trailing value cut off") << Files{{".001", piece("one")}, {".002", piece("two").chopped(4)}}
                                                << stencil("j", 2, 1) << QByteArray("onetwo");
        // Larger than one copy block, and not a multiple of it.
        const QByteArray large = pattern(19 * 1024 * 1024 + 17, 7);
        QTest::newRow("large piece") << Files{{".001", piece(large.chopped(5))}, {".002", piece(large.right(5))}}
                                     << stencil("j", 2, 1) << large;
    }
    void joins()
    {
        QFETCH(Files, pieces);
        QFETCH(QByteArray, stencilBytes);
        QFETCH(QByteArray, output);
        QStringList names{"j.kvs", "out"};
        for (auto it = pieces.cbegin(); it != pieces.cend(); ++it) {
            QVERIFY(writeFile(path("j" + it.key()), it.value()));
            names.append("j" + it.key());
        }
        QVERIFY(writeFile(path("j.kvs"), stencilBytes));
        QVERIFY(QDir::setCurrent(m_work.path()));
        QCOMPARE(join(path("j.kvs"), path("out")), 0);
        QVERIFY(readFile(path("out")) == output);
        names.sort();
        QCOMPARE(leftovers(), names);
    }

    void gbkBaseName()
    {
        QVERIFY(CodePage::setName("GBK"));
        QVERIFY(split(path("影片.avi"), "gbk-data", {4, 4}));
        const QByteArray gbk = QFile::encodeName(m_work.path()) + "/" + QByteArray::fromHex("d3b0c6ac") + ".avi";
        QVERIFY(writeFile(path("gbk.kvs"), stencil(gbk, 2, 1)));
        QCOMPARE(join(path("gbk.kvs"), path("out")), 0);
        QCOMPARE(readFile(path("out")), QByteArray("gbk-data"));
        // Read as UTF-8 the same bytes name other files, which are missing.
        QVERIFY(CodePage::setName("UTF-8"));
        QCOMPARE(join(path("gbk.kvs"), path("out")), 53);
    }

    void badPiece_data()
    {
        QTest::addColumn<QString>("kind"); // "missing", "folder", "fifo", "device" or a file
        QTest::addColumn<QByteArray>("badPiece");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text");
        QTest::newRow("missing") << "missing" << QByteArray() << 53 << "File not found";
        QTest::newRow("a folder") << "folder" << QByteArray() << 75 << "is a folder";
        QTest::newRow("a FIFO") << "fifo" << QByteArray() << 75 << "is a named pipe (FIFO), not a regular file";
        QTest::newRow("a device") << "device" << QByteArray() << 75 << "is a character device";
        QTest::newRow("shorter than declared") << "" << piece("abcdef").left(13) << 62 << "declares 6 bytes";
        QTest::newRow("shorter than the header") << "" << int16(1) + int32(5) << 62 << "shorter than";
        QTest::newRow("empty file") << "" << QByteArray() << 62 << "shorter than";
        QTest::newRow("two dimensions with data") << "" << piece("abc", 2) << 59 << "2 dimensions";
        QTest::newRow("no dimensions with data") << "" << piece("abc", 0) << 59 << "0 dimensions";
        QTest::newRow("negative count") << "" << int16(1) + int32(-3) + int32(0) + "abc" << 59 << "-3 bytes";
    }
    void badPiece()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, badPiece);
        QFETCH(int, number);
        QFETCH(QString, text);
        QVERIFY(writeFile(path("bad.001"), piece("good")));
        QVERIFY(writeFile(path("bad.003"), piece("more")));
        const QByteArray bad = QFile::encodeName(path("bad.002"));
        if (kind == u"folder")
            QVERIFY(m_work.mkdir("bad.002"));
        else if (kind == u"fifo")
            QCOMPARE(::mkfifo(bad.constData(), 0644), 0);
        else if (kind == u"device")
            QVERIFY(QFile::link("/dev/null", path("bad.002")));
        else if (kind.isEmpty())
            QVERIFY(writeFile(path("bad.002"), badPiece));
        QVERIFY(writeFile(path("bad.kvs"), stencilFor("bad", 3)));
        QString description;
        QVERIFY(refused(path("bad.kvs"), path("out"), number, &description));
        QVERIFY2(description.contains(path("bad.002")) && description.contains(text), qPrintable(description));
        QVERIFY(writeFile(path("out"), "untouched"));
        QVERIFY(refused(path("bad.kvs"), path("out"), number));
    }

    // A name that does not decode, or holds control characters, is shown escaped.
    void unreadableNames_data()
    {
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<QByteArray>("baseName");
        QTest::addColumn<QString>("shown");
        QTest::newRow("control characters") << "UTF-8" << QByteArray("a\x1b[31m\nb") << "a\\x1b[31m\\x0ab";
        QTest::newRow("undecodable bytes") << "UTF-8" << QByteArray("\xc4\xe3\xba\xc3.avi")
                                           << "\\xc4\\xe3\\xba\\xc3.avi";
        QTest::newRow("cut UTF-8 sequence") << "UTF-8" << QByteArray("\xe5\xbd.avi") << "\\xe5\\xbd.avi";
        QTest::newRow("decodes as GBK") << "GBK" << QByteArray("\xc4\xe3\xba\xc3.avi") << "你好.avi";
        // The system would see "." and find the folder.
        QTest::newRow("NUL byte") << "UTF-8" << QByteArray(".\0", 2) << ".\\x00";
    }
    void unreadableNames()
    {
        QFETCH(QString, codePage);
        QFETCH(QByteArray, baseName);
        QFETCH(QString, shown);
        QVERIFY(CodePage::setName(codePage));
        QVERIFY(writeFile(path("u.kvs"), stencil(baseName, 1, 1)));
        QVERIFY(QDir::setCurrent(m_work.path()));
        QString text;
        QCOMPARE(join(path("u.kvs"), path("out"), &text), 53);
        QVERIFY2(text.startsWith("File not found: " + shown + ".001"), qPrintable(text));
        for (const QChar c : text)
            QVERIFY2(c.unicode() >= 0x20 && !c.isSurrogate() && c != QChar::ReplacementCharacter,
                     qPrintable(text));
    }

    // Nothing is created or changed by a join refused before it starts.
    void refusedJoins_data()
    {
        QTest::addColumn<QString>("stencilName");
        QTest::addColumn<QByteArray>("stencilBytes"); // written to "s.kvs" when given
        QTest::addColumn<QString>("outputName");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        const QString range = QStringLiteral("Subscript out of range");
        QTest::newRow("missing stencil") << "absent.kvs" << QByteArray() << "out" << 9 << range;
        QTest::newRow("count 0") << "s.kvs" << stencil("e", 0, 1) << "out" << 9 << range;
        QTest::newRow("count -32768") << "s.kvs" << stencil("e", -32768, 1) << "out" << 9 << range;
        QTest::newRow("empty stencil") << "s.kvs" << QByteArray("") << "out" << 9 << range;
        QTest::newRow("cut before the count") << "s.kvs" << stencil("e", 2, 1).left(7) << "out" << 9 << range;
        // The subtraction of one already overflows; past the largest number does.
        QTest::newRow("first number smallest") << "s.kvs" << stencil("e", 1, INT_MIN) << "out" << 6 << "Overflow";
        QTest::newRow("past the largest number") << "s.kvs" << stencil("e", 2, INT_MAX) << "out" << 6 << "Overflow";
        for (const bool stencilSide : {true, false}) {
            const QString side = stencilSide ? "stencil" : "output";
            const auto row = [&](const char *name, const QString &file, int number, const QString &text) {
                QTest::addRow("%s: %s", qPrintable(side), name) << (stencilSide ? file : "e.kvs") << QByteArray()
                        << (stencilSide ? "out" : file) << number << text;
            };
            row("empty name", "", 52, "Bad file name or number");
            row("missing folder", "nofolder/x", 76, "Path not found");
            row("a folder", ".", 75, "Path/File access error");
        }
    }
    void refusedJoins()
    {
        QFETCH(QString, stencilName);
        QFETCH(QByteArray, stencilBytes);
        QFETCH(QString, outputName);
        QFETCH(int, number);
        QFETCH(QString, description);
        QVERIFY(splitWithStencil(path("e.kvs"), path("e"), "data", {4}));
        QVERIFY(writeFile(path("e.2147483647"), piece("last")));
        QVERIFY(stencilBytes.isNull() || writeFile(path("s.kvs"), stencilBytes));
        QVERIFY(QDir::setCurrent(m_work.path()));
        const QString stencilPath = stencilName.isEmpty() ? "" : path(stencilName);
        const QString outputPath = outputName.isEmpty() ? "" : path(outputName);
        QString text;
        QVERIFY(refused(stencilPath, outputPath, number, &text));
        QCOMPARE(text, description);
        QVERIFY(writeFile(path("out"), "old"));
        QVERIFY(refused(stencilPath, outputPath, number));
    }

    // A longer file keeps no tail and its permissions; a link stays a link; a device is written to.
    void replacesOutput()
    {
        QVERIFY(splitWithStencil(path("t.kvs"), path("t"), "short", {2, 3}));
        QVERIFY(writeFile(path("out"), QByteArray(10000, 'Z')));
        const auto kept = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QFile::setPermissions(path("out"), kept);
        QCOMPARE(join(path("t.kvs"), path("out")), 0);
        QCOMPARE(readFile(path("out")), QByteArray("short"));
        QCOMPARE(QFile::permissions(path("out")) & (kept | QFile::ReadOther), kept);

        QVERIFY(m_work.mkdir("real"));
        QVERIFY(writeFile(path("real/target"), "old old old"));
        QVERIFY(QFile::link(path("real/target"), path("link")));
        QCOMPARE(join(path("t.kvs"), path("link")), 0);
        QVERIFY(QFileInfo(path("link")).isSymLink());
        QCOMPARE(readFile(path("real/target")), QByteArray("short"));
        QCOMPARE(QDir(path("real")).entryList(QDir::Files | QDir::Hidden), QStringList{"target"});

        QCOMPARE(join(path("t.kvs"), "/dev/null"), 0);
        QVERIFY(!QFileInfo(QStringLiteral("/dev/null")).isFile());
    }

    // Refused before anything is written, through whatever path or link.
    void outputIsAnInput_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("link"); // made a symbolic ("s") or hard ("h") link to "output"
        QTest::addColumn<QString>("input");
        QTest::newRow("the stencil") << "self.kvs" << "" << "the stencil";
        QTest::newRow("a piece") << "self.002" << "" << "the piece";
        QTest::newRow("a piece by another path") << "sub/../self.001" << "" << "the piece";
        QTest::newRow("a piece through a symbolic link") << "self.001" << "s" << "the piece";
        QTest::newRow("a piece through a hard link") << "self.002" << "h" << "the piece";
        QTest::newRow("the stencil through a hard link") << "self.kvs" << "h" << "the stencil";
    }
    void outputIsAnInput()
    {
        QFETCH(QString, output);
        QFETCH(QString, link);
        QFETCH(QString, input);
        QVERIFY(m_work.mkdir("sub"));
        QVERIFY(splitWithStencil(path("self.kvs"), path("self"), "first second", {6, 6}));
        QString target = path(output);
        if (!link.isEmpty()) {
            QVERIFY(link == u"s" ? QFile::link(target, path("alias")) : hardLink(target, path("alias")));
            target = path("alias");
        }
        QString text;
        QVERIFY(refused(path("self.kvs"), target, 55, &text));
        QVERIFY2(text.contains(target) && text.contains(input), qPrintable(text));
    }

    // Where the pieces are looked for: at the stored name (relative to the
    // current folder), else beside the stencil under its last component.
    void pieceLookup_data()
    {
        QTest::addColumn<QByteArray>("baseName"); // %1: the test folder
        QTest::addColumn<QStringList>("folders"); // each holds a set x.avi.001-002 of its own name
        QTest::addColumn<QByteArray>("output");
        const QStringList beside{"beside"};
        QTest::newRow("relative") << QByteArray("sub/x.avi") << QStringList{"sub"} << QByteArray("sub");
        QTest::newRow("backslashes") << QByteArray("D:\\films\\x.avi") << beside << QByteArray("beside");
        QTest::newRow("forward slashes") << QByteArray("D:/films/x.avi") << beside << QByteArray("beside");
        QTest::newRow("unc") << QByteArray("\\\\server\\share\\x.avi") << beside << QByteArray("beside");
        QTest::newRow("missing absolute folder") << QByteArray("/no/such/folder/x.avi") << beside << QByteArray("beside");
        QTest::newRow("stored path comes first") << QByteArray("%1/stored/x.avi") << QStringList{"stored", "beside"}
                                                 << QByteArray("stored");
    }
    void pieceLookup()
    {
        QFETCH(QByteArray, baseName);
        QFETCH(QStringList, folders);
        QFETCH(QByteArray, output);
        baseName.replace("%1", QFile::encodeName(m_work.path()));
        // The stencil lies in "beside", the current folder is the test folder.
        for (const QString &folder : folders + QStringList{"beside"})
            QVERIFY(m_work.mkpath(folder));
        for (const QString &folder : folders)
            QVERIFY(split(path(folder + "/x.avi"), folder.toLatin1(), {2, int(folder.size()) - 2}));
        QVERIFY(writeFile(path("beside/x.kvs"), stencil(baseName, 2, 1)));
        QVERIFY(QDir::setCurrent(m_work.path()));
        QCOMPARE(join(path("beside/x.kvs"), path("out")), 0);
        QCOMPARE(readFile(path("out")), output);
    }

    // All pieces come from one folder: the stored one when it holds them all, else the stencil's.
    void onePieceSet_data()
    {
        QTest::addColumn<QList<int>>("stored"); // the pieces present in each folder
        QTest::addColumn<QList<int>>("beside");
        QTest::addColumn<QByteArray>("output"); // null: error 53 naming this piece
        QTest::newRow("both complete") << QList<int>{1, 2, 3} << QList<int>{1, 2, 3} << QByteArray("s1s2s3");
        QTest::newRow("stored complete") << QList<int>{1, 2, 3} << QList<int>{} << QByteArray("s1s2s3");
        QTest::newRow("stored lacks one") << QList<int>{1, 3} << QList<int>{1, 2, 3} << QByteArray("b1b2b3");
        QTest::newRow("stored lacks the first") << QList<int>{2, 3} << QList<int>{1, 2, 3} << QByteArray("b1b2b3");
        QTest::newRow("between them all") << QList<int>{1, 3} << QList<int>{2} << QByteArray("stored/x.avi.002");
        QTest::newRow("beside came further") << QList<int>{} << QList<int>{1, 2} << QByteArray("beside/x.avi.003");
    }
    void onePieceSet()
    {
        QFETCH(QList<int>, stored);
        QFETCH(QList<int>, beside);
        QFETCH(QByteArray, output);
        for (const char *folder : {"stored", "beside"})
            QVERIFY(m_work.mkdir(folder));
        for (int n : stored)
            QVERIFY(writeFile(path("stored/x.avi") + suffix(n), piece("s" + QByteArray::number(n))));
        for (int n : beside)
            QVERIFY(writeFile(path("beside/x.avi") + suffix(n), piece("b" + QByteArray::number(n))));
        QVERIFY(writeFile(path("beside/x.kvs"), stencilFor("stored/x.avi", 3)));
        QVERIFY(writeFile(path("out"), "old"));
        if (output.contains('/')) {
            QString text;
            QVERIFY(refused(path("beside/x.kvs"), path("out"), 53, &text));
            QCOMPARE(text, QStringLiteral("File not found: %1 (no complete set of pieces in %2 and in %3)")
                                   .arg(path(output), path("stored"), path("beside")));
            return;
        }
        QCOMPARE(join(path("beside/x.kvs"), path("out")), 0);
        QCOMPARE(readFile(path("out")), output);
    }

    // The kernel copy refuses a target opened for appending; the read-write copy takes over.
    void blockCopy_data()
    {
        QTest::addColumn<bool>("append");
        QTest::newRow("kernel copy") << false;
        QTest::newRow("read and write") << true;
    }
    void blockCopy()
    {
        QFETCH(bool, append);
        const QByteArray data = pattern(9 * 1024 * 1024 + 3, 3);
        QVERIFY(writeFile(path("src"), data));
        QVERIFY(writeFile(path("dst"), "head"));
        QFile source(path("src"));
        QFile target(path("dst"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY(target.open(append ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::ReadWrite));
        target.seek(4);
        ::copyBlocks(source, 1, target, data.size() - 1);
        target.close();
        QVERIFY(readFile(path("dst")) == "head" + data.mid(1));
        // A source shorter than announced.
        QVERIFY(target.open(QIODevice::WriteOnly | (append ? QIODevice::Append : QIODevice::Truncate)));
        try {
            ::copyBlocks(source, data.size() - 5, target, 10);
            QFAIL("copied past the end");
        } catch (const SystemError &e) {
            QCOMPARE(e.number(), 62);
            QVERIFY(e.description().contains(source.fileName()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_UnsplitFile)
#include "tst_unsplitfile.moc"
