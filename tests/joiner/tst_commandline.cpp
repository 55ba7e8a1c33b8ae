#include "PieceWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace PieceWriter;

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void help();
    void wrongCommandLines_data();
    void wrongCommandLines();
    void join_data();
    void join();
    void compressed();
    void compressedWithoutExtract();

    void extractProgram_data();
    void extractProgram();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    //! Runs \a program without any display.
    Run run(const QString &program, const QStringList &arguments);
    QString path(const QString &name) const { return QDir(m_dir.path()).filePath(name); }

    QTemporaryDir m_dir;
    QByteArray m_original;
};

void tst_CommandLine::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("tmp")));
    m_original = pattern(300000, 9);
    QVERIFY(writeFile(path(QStringLiteral("data.bin")), m_original));
    QCOMPARE(QProcess::execute(QStringLiteral("gcab"),
                               {QStringLiteral("-c"), QStringLiteral("-z"), QStringLiteral("-n"),
                                path(QStringLiteral("data.cab")), path(QStringLiteral("data.bin"))}),
             0);
    const QByteArray cabinet = readFile(path(QStringLiteral("data.cab")));
    QVERIFY(split(path(QStringLiteral("cab")), cabinet, {100, int(cabinet.size()) - 100}));
    QVERIFY(writeFile(path(QStringLiteral("cab.kvs")),
                      stencil(QFile::encodeName(path(QStringLiteral("cab"))), 2, 1)));
    QVERIFY(split(path(QStringLiteral("plain")), "joined text", {6, 0, 5}, 41));
    QVERIFY(writeFile(path(QStringLiteral("plain.kvs")),
                      stencil(QFile::encodeName(path(QStringLiteral("plain"))), 3, 41)));
    QVERIFY(writeFile(path(QStringLiteral("none.kvs")), stencil("x", 0, 1)));
    QVERIFY(writeFile(path(QStringLiteral("gap.kvs")),
                      stencil(QFile::encodeName(path(QStringLiteral("plain"))), 4, 41)));

    // A cabinet without files, made by hand: header only.
    QByteArray empty = QByteArray("MSCF") + int32(0) + int32(44) + int32(0) + int32(44) + int32(0)
            + QByteArray::fromHex("0301") + int16(1) + int16(0) + int16(0) + int16(0) + int16(0)
            + int32(44) + int16(0) + int16(0);
    QVERIFY(writeFile(path(QStringLiteral("nofiles.cab")), empty));
}

tst_CommandLine::Run tst_CommandLine::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void tst_CommandLine::help()
{
    const Run r = run(QStringLiteral(TESSAL_PATH), {QStringLiteral("--help")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains(QStringLiteral("tessal --join STENCIL OUTPUT [--compressed]")));
    QVERIFY(r.out.contains(QStringLiteral("EXTRACT")));
    QVERIFY(r.err.isEmpty());
}

void tst_CommandLine::wrongCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("no paths") << QStringList{"--join"};
    QTest::newRow("one path") << QStringList{"--join", "a.kvs"};
    QTest::newRow("three paths") << QStringList{"--join", "a", "b", "c"};
    QTest::newRow("no --join") << QStringList{"a", "b"};
    QTest::newRow("unknown option") << QStringList{"--join", "a", "b", "--fast"};
    QTest::newRow("help with more") << QStringList{"--help", "x"};
}

void tst_CommandLine::wrongCommandLines()
{
    QFETCH(QStringList, arguments);
    const Run r = run(QStringLiteral(TESSAL_PATH), arguments);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains(QStringLiteral("Usage:")));
    QVERIFY(r.out.isEmpty());
}

void tst_CommandLine::join_data()
{
    QTest::addColumn<QString>("stencil");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::newRow("success") << "plain.kvs" << 0 << "Combine succeed 结合成功！！！\n" << "";
    QTest::newRow("no pieces") << "none.kvs" << 1 << ""
                               << "Stencil file name error 模板文件文件名错误！！！\n";
    QTest::newRow("no stencil") << "absent.kvs" << 1 << ""
                                << "Stencil file name error 模板文件文件名错误！！！\n";
    QTest::newRow("missing piece") << "gap.kvs" << 1 << "" << "File not found: %1/plain.044\n";
}

void tst_CommandLine::join()
{
    QFETCH(QString, stencil);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFile::remove(path(QStringLiteral("out")));
    const Run r = run(QStringLiteral(TESSAL_PATH),
                      {QStringLiteral("--join"), path(stencil), path(QStringLiteral("out"))});
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out, out);
    QCOMPARE(r.err, err.replace(QLatin1String("%1"), m_dir.path()));
    QCOMPARE(QFile::exists(path(QStringLiteral("out"))), exitCode == 0);
    if (exitCode == 0)
        QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("joined text"));
    QVERIFY(!QFile::exists(path(stencil)) == (stencil == QLatin1String("absent.kvs")));
}

void tst_CommandLine::compressed()
{
    const Run r = run(QStringLiteral(TESSAL_PATH),
                      {QStringLiteral("--compressed"), QStringLiteral("--join"),
                       path(QStringLiteral("cab.kvs")), path(QStringLiteral("unpacked"))});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("Combine succeed 结合成功！！！\n"));
    QVERIFY(readFile(path(QStringLiteral("unpacked"))) == m_original);
    QVERIFY(QDir(path(QStringLiteral("tmp"))).isEmpty());
}

void tst_CommandLine::compressedWithoutExtract()
{
    // A copy of tessal in a folder without EXTRACT.
    const QString lonely = path(QStringLiteral("lonely"));
    QVERIFY(QDir().mkpath(lonely));
    const QString program = lonely + QStringLiteral("/tessal");
    QVERIFY(QFile::copy(QStringLiteral(TESSAL_PATH), program));
    const Run r = run(program, {QStringLiteral("--join"), path(QStringLiteral("cab.kvs")),
                                path(QStringLiteral("packed")), QStringLiteral("--compressed")});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QStringLiteral("Combine succeed 结合成功！！！\n"));
    QCOMPARE(r.err, QStringLiteral("解压缩失败 Extraction failed: %1/EXTRACT not found\n").arg(lonely));
    QVERIFY(readFile(path(QStringLiteral("packed"))) == readFile(path(QStringLiteral("data.cab"))));
    QVERIFY(QDir(path(QStringLiteral("tmp"))).isEmpty());
}

void tst_CommandLine::extractProgram_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("target");

    QTest::newRow("unpacks") << QStringList{"data.cab", "x1"} << 0 << QString() << "x1";
    QTest::newRow("not a cabinet") << QStringList{"data.bin", "x2"} << 1 << "not a cabinet" << "";
    QTest::newRow("truncated cabinet") << QStringList{"trunc.cab", "x3"} << 1 << "EXTRACT: " << "";
    QTest::newRow("no file in it") << QStringList{"nofiles.cab", "x4"} << 1 << "no files in cabinet" << "";
    QTest::newRow("missing cabinet") << QStringList{"absent.cab", "x5"} << 1 << "EXTRACT: " << "";
    QTest::newRow("cannot write") << QStringList{"data.cab", "nofolder/x6"} << 1 << "No such file" << "";
    QTest::newRow("no arguments") << QStringList{} << 2 << "Usage: EXTRACT CABINET TARGET" << "";
}

void tst_CommandLine::extractProgram()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QFETCH(QString, target);
    const QByteArray cabinet = readFile(path(QStringLiteral("data.cab")));
    QVERIFY(writeFile(path(QStringLiteral("trunc.cab")), cabinet.left(cabinet.size() / 2)));
    for (QString &a : arguments)
        a = path(a);
    const Run r = run(QStringLiteral(EXTRACT_PATH), arguments);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    if (!target.isEmpty())
        QVERIFY(readFile(path(target)) == m_original);
    // A failure leaves no partial file behind.
    const QStringList partial = QDir(m_dir.path()).entryList({QStringLiteral("x*")}, QDir::Files);
    QVERIFY2(exitCode == 0 || !partial.contains(arguments.value(1).section(QLatin1Char('/'), -1)),
             qPrintable(partial.join(QLatin1Char(' '))));
    for (const QString &name : partial)
        QVERIFY2(!name.contains(QLatin1Char('.')), qPrintable(name));
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
