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

Files operator+(Files files, const Files &more)
{
    files.insert(more);
    return files;
}

// Contents that stand for a file of another kind; links come after their targets by name.
const QByteArray Folder("\1folder");
const QByteArray Fifo("\1fifo");
const QByteArray Device("\1device");
const QByteArray SymLink("\1symlink "); // followed by the target's name
const QByteArray HardLink("\1hardlink ");

class tst_UnsplitFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QDir m_work;
    int m_case = 0;
    QString m_previousDir;

    QString path(const QString &name) const { return m_work.filePath(name); }
    //! Runs the join; returns the error number, 0 on success.
    static int join(const QString &stencilPath, const QString &outputPath, QString *description = nullptr,
                    const JoinProgress &progress = {})
    {
        try {
            return UnsplitFile(stencilPath, outputPath, progress) ? 0 : -1;
        } catch (const SystemError &e) {
            if (description)
                *description = e.description();
            return e.number();
        }
    }
    //! The stencil \a bytes with the test folder for each %1 in the stored name.
    QByteArray withFolder(QByteArray bytes) const
    {
        const qsizetype before = bytes.size();
        bytes.replace("%1", QFile::encodeName(m_work.path()));
        if (bytes.size() != before)
            bytes.replace(4, 2, int16(qint16(qFromLittleEndian<qint16>(bytes.constData() + 4) + bytes.size() - before)));
        return bytes;
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

    // Every file of a row is written into a fresh folder, which is also the current one;
    // a join then gives the output, or fails with the description and changes nothing.
    void joins_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QString>("stencil");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("number"); // 0: joined
        QTest::addColumn<QByteArray>("expected"); // the output, or the description; %1: the folder
        QTest::addColumn<QString>("codePage");
        const auto row = [](const char *name, const Files &files, int number, const QByteArray &expected,
                            const QString &codePage = {}, const QString &stencil = "j.kvs",
                            const QString &output = "out") {
            QTest::newRow(name) << files << stencil << output << number << expected << codePage;
        };
        const auto pieces = [](const QString &base, const QByteArrayList &data, qint32 first = 1) {
            Files files;
            for (int i = 0; i < data.size(); ++i)
                files.insert(base + suffix(first + i), piece(data.at(i)));
            return files;
        };

        const QByteArray data = pattern(3000);
        row("in order", pieces("j", {data.left(1000), data.mid(1000, 1500), data.mid(2500)})
                + Files{{"j.kvs", stencil("j", 3, 1)}}, 0, data);
        // An empty array as the splitter might store it: no dimensions, no count.
        row("zero-length pieces", pieces("j", {"abc", {}, {}, "de"})
                + Files{{"j.003", int16(0) + int32(0) + int32(0)}, {"j.kvs", stencil("j", 4, 1)}}, 0, "abcde");
        row("all pieces empty", pieces("j", {{}, {}}) + Files{{"j.kvs", stencil("j", 2, 1)}}, 0, "");
        // ".0998" and ".000" are decoys under other spellings that must not be read.
        row("past 999", pieces("j", {"A", "B", "C"}, 998)
                + Files{{"j.0998", piece("x")}, {"j.000", piece("x")}, {"j.kvs", stencil("j", 3, 998)}}, 0, "ABC");
        row("largest number", pieces("j", {"last"}, INT_MAX) + Files{{"j.kvs", stencil("j", 1, INT_MAX)}}, 0, "last");
        row("negative numbers", Files{{"j.-002", piece("n")}, {"j.-001", piece("e")}, {"j.000", piece("g")},
                                      {"j.kvs", stencil("j", 3, -2)}}, 0, "neg");
        row("unnamed values ignored",
            Files{{"j.001", piece("one", 1, 12345, -1)}, {"j.002", piece("two", 1, -9, 0x55aa55aa) + "trailing junk"},
                  {"j.kvs", stencil("j", 2, 1, -123456789) + QByteArray(100, '\xee')}}, 0, "onetwo");
        row("trailing value cut off", Files{{"j.001", piece("one")}, {"j.002", piece("two").chopped(4)},
                                            {"j.kvs", stencil("j", 2, 1)}}, 0, "onetwo");
        row("GBK base name", pieces("影片.avi", {"gbk-", "data"}) + Files{{"j.kvs", stencil("\xd3\xb0\xc6\xac.avi", 2, 1)}},
            0, "gbk-data", "GBK");

        // Where the pieces are looked for: at the stored name (relative to the current
        // folder), else beside the stencil under its last component; one folder gives all.
        const auto beside = [&](const QByteArray &baseName) {
            return pieces("beside/x.avi", {"be", "side"}) + Files{{"beside/x.kvs", stencil(baseName, 2, 1)}};
        };
        const auto sets = [&](const QList<int> &stored, const QList<int> &beside) {
            Files files{{"stored", Folder}, {"beside/x.kvs", stencil("%1/stored/x.avi", 3, 1)}};
            for (int n : stored)
                files.insert("stored/x.avi" + suffix(n), piece("s" + QByteArray::number(n)));
            for (int n : beside)
                files.insert("beside/x.avi" + suffix(n), piece("b" + QByteArray::number(n)));
            return files;
        };
        const QString x = "beside/x.kvs";
        row("relative", pieces("sub/x.avi", {"su", "b"}) + Files{{x, stencil("sub/x.avi", 2, 1)}}, 0, "sub", {}, x);
        row("backslashes", beside("D:\\films\\x.avi"), 0, "beside", {}, x);
        row("mixed separators", beside("D:\\films/sub\\x.avi"), 0, "beside", {}, x);
        row("drive only", pieces("beside/D:x.avi", {"dr", "ive"}) + Files{{x, stencil("D:x.avi", 2, 1)}}, 0, "drive", {}, x);
        row("unc", beside("\\\\server\\share\\x.avi"), 0, "beside", {}, x);
        row("missing absolute folder", beside("/no/such/folder/x.avi"), 0, "beside", {}, x);
        row("trailing separator", beside("D:\\films\\"), 53,
            "File not found: D:\\films\\.001 (no complete set of pieces in %1)", {}, x);
        row("both complete", sets({1, 2, 3}, {1, 2, 3}), 0, "s1s2s3", {}, x);
        row("stored lacks one", sets({1, 3}, {1, 2, 3}), 0, "b1b2b3", {}, x);
        row("between them all", sets({1, 3}, {2}), 53,
            "File not found: %1/stored/x.avi.002 (no complete set of pieces in %1/stored and in %1/beside)", {}, x);
        row("beside came further", sets({}, {1, 2}), 53,
            "File not found: %1/beside/x.avi.003 (no complete set of pieces in %1/stored and in %1/beside)", {}, x);

        // The second of three pieces is bad.
        const auto bad = [&](const QByteArray &second) {
            Files files = pieces("j", {"good", "", "more"}) + Files{{"j.kvs", stencil("%1/j", 3, 1)}};
            files.remove("j.002");
            if (!second.isNull())
                files.insert("j.002", second);
            return files;
        };
        row("missing piece", bad({}), 53, "File not found: %1/j.002 (no complete set of pieces in %1)");
        row("piece is a folder", bad(Folder), 75, "Path/File access error: %1/j.002 is a folder, not a regular file");
        row("piece is a FIFO", bad(Fifo), 75,
            "Path/File access error: %1/j.002 is a named pipe (FIFO), not a regular file");
        row("piece is a device", bad(Device), 75,
            "Path/File access error: %1/j.002 is a character device, not a regular file");
        row("shorter than declared", bad(piece("abcdef").left(13)), 62, "declares 6 bytes");
        row("shorter than the header", bad(int16(1) + int32(5)), 62, "shorter than");
        row("empty piece file", bad(""), 62, "shorter than");
        row("two dimensions with data", bad(piece("abc", 2)), 59, "2 dimensions");
        row("no dimensions with data", bad(piece("abc", 0)), 59, "0 dimensions");
        row("negative count", bad(int16(1) + int32(-3) + int32(0) + "abc"), 59, "-3 bytes");

        // The output is an input, through whatever path or link.
        const auto same = [&](const char *name, const Files &files, const QString &output, const QByteArray &input) {
            row(name, pieces("j", {"first ", "second"}) + Files{{"j.kvs", stencil("%1/j", 2, 1)}} + files, 55,
                "File already open: the output %1/" + output.toUtf8() + " is " + input + " of this join", {}, "j.kvs",
                output);
        };
        same("output is the stencil", {}, "j.kvs", "the stencil");
        same("output is a piece", {}, "j.002", "the piece %1/j.002");
        same("output is a piece through a symbolic link", {{"link", SymLink + "j.001"}}, "link", "the piece %1/j.001");
        same("output is a piece through a hard link", {{"link", HardLink + "j.002"}}, "link", "the piece %1/j.002");
        same("output is the stencil through a hard link", {{"link", HardLink + "j.kvs"}}, "link", "the stencil");

        // A name that does not decode, or holds control characters, is shown escaped.
        const auto unreadable = [&](const char *name, const QByteArray &baseName, const QByteArray &shown,
                                    const QString &codePage = "UTF-8") {
            row(name, Files{{"j.kvs", stencil(baseName, 1, 1)}}, 53,
                "File not found: " + shown + ".001 (no complete set of pieces in %1)", codePage);
        };
        unreadable("control characters", "a\x1b[31m\nb", "a\\x1b[31m\\x0ab");
        unreadable("undecodable bytes", "\xc4\xe3\xba\xc3.avi", "\\xc4\\xe3\\xba\\xc3.avi");
        unreadable("cut UTF-8 sequence", "\xe5\xbd.avi", "\\xe5\\xbd.avi");
        unreadable("decodes as GBK", "\xc4\xe3\xba\xc3.avi", "你好.avi", "GBK");
        // The system would see "." and find the folder.
        row("NUL byte", Files{{"j.kvs", stencil(QByteArray(".\0", 2), 1, 1)}}, 53,
            "File not found: .\\x00.001 (no complete set of pieces in %1)", "UTF-8");

        // Refused before the join starts.
        const Files e = pieces("e", {"data"}) + pieces("e", {"last"}, INT_MAX) + Files{{"e.kvs", stencil("e", 1, 1)}};
        const QByteArray range = "Subscript out of range";
        row("missing stencil", e, 9, range, {}, "absent.kvs");
        row("stencil is a FIFO", e + Files{{"j.kvs", Fifo}}, 75,
            "Path/File access error: %1/j.kvs is a named pipe (FIFO), not a regular file");
        row("count 0", e + Files{{"j.kvs", stencil("e", 0, 1)}}, 9, range);
        row("count -32768", e + Files{{"j.kvs", stencil("e", -32768, 1)}}, 9, range);
        row("empty stencil", e + Files{{"j.kvs", ""}}, 9, range);
        row("cut before the count", e + Files{{"j.kvs", stencil("e", 2, 1).left(7)}}, 9, range);
        // The subtraction of one already overflows; past the largest number does.
        row("first number smallest", e + Files{{"j.kvs", stencil("e", 1, INT_MIN)}}, 6, "Overflow");
        row("past the largest number", e + Files{{"j.kvs", stencil("e", 2, INT_MAX)}}, 6, "Overflow");
        for (const bool stencilSide : {true, false}) {
            const auto side = [&](const char *name, const QString &file, int number, const QByteArray &text) {
                const QByteArray tag = (stencilSide ? "stencil: " : "output: ") + QByteArray(name);
                row(tag.constData(), e, number, text, {}, stencilSide ? file : "e.kvs", stencilSide ? "out" : file);
            };
            side("empty name", "", 52, "Bad file name or number");
            side("missing folder", "nofolder/x", 76, "Path not found: %1/nofolder/x");
            side("a folder", ".", 75, "Path/File access error: %1/.");
        }
    }
    void joins()
    {
        QFETCH(Files, files);
        QFETCH(QString, stencil);
        QFETCH(QString, output);
        QFETCH(int, number);
        QFETCH(QByteArray, expected);
        QFETCH(QString, codePage);
        QStringList names{"out"};
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QString file = path(it.key());
            const QByteArray name = QFile::encodeName(file);
            QVERIFY(QFileInfo(file).dir().mkpath("."));
            if (it.value() == Folder)
                QVERIFY(m_work.mkpath(it.key()));
            else if (it.value() == Fifo)
                QCOMPARE(::mkfifo(name.constData(), 0644), 0);
            else if (it.value() == Device)
                QVERIFY(QFile::link("/dev/null", file));
            else if (it.value().startsWith(SymLink))
                QVERIFY(QFile::link(path(it.value().mid(SymLink.size())), file));
            else if (it.value().startsWith(HardLink))
                QVERIFY(hardLink(path(it.value().mid(HardLink.size())), file));
            else
                QVERIFY(writeFile(file, it.key().endsWith(".kvs") ? withFolder(it.value()) : it.value()));
            if (!it.key().contains(u'/') && it.value() != Folder)
                names.append(it.key());
        }
        QVERIFY(CodePage::setName(codePage));
        QVERIFY(QDir::setCurrent(m_work.path()));
        const QString stencilPath = stencil.isEmpty() ? "" : path(stencil);
        const QString outputPath = output.isEmpty() ? "" : path(output);
        if (number == 0) {
            QCOMPARE(join(stencilPath, outputPath), 0);
            QVERIFY(readFile(outputPath) == expected);
            names.sort();
            QCOMPARE(leftovers(), names);
            return;
        }
        QString text;
        QVERIFY(refused(stencilPath, outputPath, number, &text));
        const QString description = QString::fromUtf8(expected).replace("%1", m_work.path());
        QVERIFY2(number == 62 || number == 59 ? text.contains(description) && text.contains(path("j.002"))
                                              : text == description, qPrintable(text));
        QVERIFY(writeFile(path("out"), "old"));
        QVERIFY(refused(stencilPath, outputPath, number));
    }

    // The join may be stopped until its data are on disk, not while they are copied into an
    // output that keeps its identity; a stop leaves the output and its links as they were.
    void stopsOnlyBeforeTheOutputChanges_data()
    {
        QTest::addColumn<bool>("linked"); // a hard-linked output, written in place
        QTest::addColumn<bool>("copyBack"); // stop asked during the copy-back, else at the last chance
        QTest::newRow("after the flush") << false << false;
        QTest::newRow("after the flush, in place") << true << false;
        QTest::newRow("during the copy-back") << true << true;
    }
    void stopsOnlyBeforeTheOutputChanges()
    {
        QFETCH(bool, linked);
        QFETCH(bool, copyBack);
        const QByteArray data = pattern(20 * 1024 * 1024, 8);
        QVERIFY(splitWithStencil(path("s.kvs"), path("s"), data, {10 << 20, 10 << 20}));
        QVERIFY(writeFile(path("out"), "old"));
        QVERIFY(!linked || hardLink(path("out"), path("other")));
        // A first run records the calls; the second says stop at the chosen one.
        QList<bool> stoppable;
        qsizetype stopCall = -1;
        const auto progress = [&](qint64 joined, qint64 total, bool canStop) {
            // Only the calls after the last byte is joined may be unstoppable.
            if (!canStop && joined != total)
                return false;
            stoppable.append(canStop);
            return stoppable.size() - 1 != stopCall;
        };
        QCOMPARE(join(path("s.kvs"), path("out"), nullptr, progress), 0);
        const qsizetype lastChance = stoppable.lastIndexOf(true);
        QCOMPARE(stoppable.size() - 1 > lastChance, linked);

        QVERIFY(writeFile(path("out"), "old"));
        stopCall = copyBack ? lastChance + 1 : lastChance;
        stoppable.clear();
        QCOMPARE(join(path("s.kvs"), path("out"), nullptr, progress), copyBack ? 0 : 18);
        QVERIFY(readFile(path("out")) == (copyBack ? data : QByteArray("old")));
        if (linked)
            QVERIFY(readFile(path("other")) == readFile(path("out")));
        QCOMPARE(leftovers(), QStringList({"other", "out", "s.001", "s.002", "s.kvs"}).mid(linked ? 0 : 1));
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
            ::copyBlocks(source, data.size() - 5, target, 10, {}, {"the source", "the target"});
            QFAIL("copied past the end");
        } catch (const SystemError &e) {
            QCOMPARE(e.number(), 62);
            QCOMPARE(e.description(), QStringLiteral("Input past end of file: the source"));
        }
    }
};

QTEST_GUILESS_MAIN(tst_UnsplitFile)
#include "tst_unsplitfile.moc"
