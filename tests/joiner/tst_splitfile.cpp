#include "CodePage.h"
#include "PieceWriter.h"
#include "SplitFile.h"
#include "SystemError.h"
#include "UnsplitFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace PieceWriter;

class tst_SplitFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    // Thousands of files are made much faster in memory than on a journalled disk.
    QTemporaryDir m_memory{QStringLiteral("/dev/shm/tst_splitfile-XXXXXX")};
    QDir m_work;
    int m_case = 0;

    QString path(const QString &name) const { return m_work.filePath(name); }
    QStringList entries() const
    {
        return m_work.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    //! Splits; returns the error number, 0 on success.
    static int split(const QString &file, qint64 size, const QString &stencil, QString *text = nullptr,
                     const JoinProgress &progress = {})
    {
        try {
            SplitFile(file, size, stencil, progress);
            return 0;
        } catch (const SystemError &e) {
            if (text)
                *text = e.description();
            return e.number();
        }
    }

private slots:
    void initTestCase() { QVERIFY(m_root.isValid()); }
    void init()
    {
        const QString name = QStringLiteral("case%1").arg(++m_case);
        QVERIFY(QDir(m_root.path()).mkdir(name));
        m_work = QDir(m_root.filePath(name));
    }
    void cleanup() { CodePage::setName(QString()); }

    void parseSize_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("bytes"); // -1: no size
        QTest::newRow("bytes") << "1000" << qint64(1000);
        QTest::newRow("floppy") << "1440K" << qint64(1474560);
        QTest::newRow("CD") << "700M" << qint64(734003200);
        QTest::newRow("DVD, a fraction dropped") << "4.7G" << qint64(5046586572);
        QTest::newRow("lower case") << "1.5k" << qint64(1536);
        QTest::newRow("KiB") << "2KiB" << qint64(2048);
        QTest::newRow("KB counts 1000") << "1KB" << qint64(1000);
        QTest::newRow("MB counts 1000") << "2mb" << qint64(2000000);
        QTest::newRow("GiB") << "1GiB" << qint64(1073741824);
        QTest::newRow("leading point") << ".5K" << qint64(512);
        QTest::newRow("zero") << "0" << qint64(0);
        for (const char *bad : {"", "M", ".", "1.2.3", "-5", "+5", "5X", "5 M", " 5", "1e3", "0x10", "1KiBB", "5BB",
                                "1iB", "99999999999999999999", "１"})
            QTest::newRow(qPrintable(QStringLiteral("no size: '%1'").arg(bad))) << bad << qint64(-1);
    }
    void parseSize()
    {
        QFETCH(QString, text);
        QFETCH(qint64, bytes);
        QCOMPARE(Split::parseSize(text).value_or(-1), bytes);
    }

    // The pieces and the stencil are written as the splitter the joiner was made for wrote them.
    void format()
    {
        QVERIFY(writeFile(path("film.avi"), "abcdefghij"));
        QCOMPARE(split(path("film.avi"), 18, path("film.kvs")), 0);
        QCOMPARE(entries(), QStringList({"film.avi", "film.avi.001", "film.avi.002", "film.avi.003", "film.kvs"}));
        QCOMPARE(readFile(path("film.avi.001")), piece("abcd"));
        QCOMPARE(readFile(path("film.avi.002")), piece("efgh"));
        QCOMPARE(readFile(path("film.avi.003")), piece("ij"));
        QCOMPARE(readFile(path("film.kvs")), stencil(QFile::encodeName(path("film.avi")), 3, 1, 0));
    }

    // Split and joined again, byte for byte; the pieces go beside the stencil.
    void roundTrip_data()
    {
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<qint64>("pieceSize");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<QString>("stencil"); // beside the file when empty
        QTest::newRow("empty file") << qint64(0) << qint64(1000) << 1 << "";
        QTest::newRow("one byte") << qint64(1) << qint64(15) << 1 << "";
        QTest::newRow("exact multiple") << qint64(3000) << qint64(1014) << 3 << "";
        QTest::newRow("one byte more") << qint64(3001) << qint64(1014) << 4 << "";
        QTest::newRow("one byte less") << qint64(2999) << qint64(1014) << 3 << "";
        QTest::newRow("smallest pieces") << qint64(100) << qint64(15) << 100 << "";
        QTest::newRow("largest pieces") << qint64(5000) << Split::MaxPieceSize << 1 << "";
        QTest::newRow("most pieces") << qint64(Split::MaxPieces) << qint64(15) << Split::MaxPieces << "";
        QTest::newRow("several blocks") << qint64(20 * 1024 * 1024 + 7) << qint64(9 * 1024 * 1024) << 3 << "";
        QTest::newRow("stencil elsewhere") << qint64(5000) << qint64(2014) << 3 << "sub/x.kvs";
        QTest::newRow("name not ASCII") << qint64(5000) << qint64(2014) << 3 << "影片.kvs";
    }
    void roundTrip()
    {
        QFETCH(qint64, fileSize);
        QFETCH(qint64, pieceSize);
        QFETCH(int, pieces);
        QFETCH(QString, stencil);
        if (pieces > 1000 && m_memory.isValid())
            m_work = QDir(m_memory.path());
        QVERIFY(CodePage::setName("UTF-8"));
        const QByteArray data = pattern(fileSize, 7);
        const QString file = path(stencil.contains(u'影') ? "影片.avi" : "data.bin");
        QVERIFY(writeFile(file, data));
        QVERIFY(m_work.mkpath("sub"));
        stencil = stencil.isEmpty() ? Split::defaultStencil(file) : path(stencil);
        QString text;
        QVERIFY2(split(file, pieceSize, stencil, &text) == 0, qPrintable(text));
        const QDir folder = QFileInfo(stencil).absoluteDir();
        const QString base = folder.filePath(QFileInfo(file).fileName());
        QVERIFY(QFileInfo::exists(base + suffix(pieces)));
        QVERIFY(!QFileInfo::exists(base + suffix(pieces + 1)));
        QCOMPARE(QFileInfo(base + suffix(1)).size(), qMin(pieceSize, fileSize + Split::PieceOverhead));
        QVERIFY(UnsplitFile(stencil, path("joined")));
        QVERIFY(readFile(path("joined")) == data);
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".tessal-")), QStringList());
    }

    // Refused before anything is written: the folder stays as it was.
    void refused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("pieceSize");
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text"); // %1: the test folder
        const QString tooSmall = "Invalid procedure call or argument: a piece file holds from 15 to 2147483647 bytes (2 GiB - 1), not %1";
        QTest::newRow("pieces too small") << "in" << qint64(14) << "" << 5 << tooSmall.arg(14);
        QTest::newRow("pieces too large") << "in" << qint64(2147483648) << "" << 5 << tooSmall.arg(2147483648);
        QTest::newRow("too many pieces") << "many" << qint64(15) << "" << 5
                                         << "Invalid procedure call or argument: %1/many (32.0 KiB) would take 32768 "
                                            "pieces of 15 bytes; a stencil names at most 32767, so a piece must be "
                                            "at least 16 bytes";
        QTest::newRow("a piece exists") << "in" << qint64(20) << "" << 58 << "File already exists: %1/in.002";
        QTest::newRow("the stencil exists") << "other" << qint64(20) << "" << 58 << "File already exists: %1/other.kvs";
        QTest::newRow("missing file") << "absent" << qint64(20) << "" << 53 << "File not found: %1/absent";
        QTest::newRow("a folder") << "folder" << qint64(20) << "" << 75
                                  << "Path/File access error: %1/folder is not a regular file";
        QTest::newRow("a FIFO") << "fifo" << qint64(20) << "" << 75
                                << "Path/File access error: %1/fifo is not a regular file";
        QTest::newRow("name outside the code page") << "影片" << qint64(20) << "ISO-8859-1" << 5
                << "Invalid procedure call or argument: the code page ISO-8859-1 cannot write the name %1/影片 "
                   "(ANSI_CODEPAGE chooses another)";
    }
    void refused()
    {
        QFETCH(QString, file);
        QFETCH(qint64, pieceSize);
        QFETCH(QString, codePage);
        QFETCH(int, number);
        QFETCH(QString, text);
        QVERIFY(writeFile(path("in"), "0123456789"));
        QVERIFY(writeFile(path("in.002"), "an old piece"));
        QVERIFY(writeFile(path("other"), "x"));
        QVERIFY(writeFile(path("other.kvs"), "an old stencil"));
        QVERIFY(writeFile(path("many"), QByteArray(Split::MaxPieces + 1, 'm')));
        QVERIFY(writeFile(path("影片"), "film"));
        QVERIFY(m_work.mkdir("folder"));
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
        QVERIFY(CodePage::setName(codePage));
        const QStringList before = entries();
        QString description;
        QCOMPARE(split(path(file), pieceSize, Split::defaultStencil(path(file)), &description), number);
        QCOMPARE(description, text.replace("%1", m_work.path()));
        QCOMPARE(entries(), before);
        QCOMPARE(readFile(path("in.002")), QByteArray("an old piece"));
    }

    // A stop anywhere removes what was written; no piece is left half-written.
    void stopped_data()
    {
        QTest::addColumn<int>("stopAt"); // the progress call that says stop
        QTest::newRow("at the start") << 0;
        QTest::newRow("in the first piece") << 1;
        QTest::newRow("in the last piece") << 5;
    }
    void stopped()
    {
        QFETCH(int, stopAt);
        QVERIFY(writeFile(path("big"), pattern(20 * 1024 * 1024, 2)));
        int calls = 0;
        const auto progress = [&](qint64, qint64, bool) { return calls++ != stopAt; };
        QCOMPARE(split(path("big"), 5 * 1024 * 1024, path("big.kvs"), nullptr, progress), 18);
        QCOMPARE(entries(), QStringList{"big"});
    }
};

QTEST_GUILESS_MAIN(tst_SplitFile)
#include "tst_splitfile.moc"
