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

    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    QTemporaryDir m_dir;
    QByteArray m_original;

    QString path(const QString &name) const { return QDir(m_dir.path()).filePath(name); }
    //! Runs \a program without any display.
    Run run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("TMPDIR"), path("tmp"));
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

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkdir("tmp"));
        m_original = pattern(300000, 9);
        QVERIFY(writeFile(path("data.bin"), m_original));
        QCOMPARE(QProcess::execute("gcab", {"-c", "-z", "-n", path("data.cab"), path("data.bin")}), 0);
        const QByteArray cabinet = readFile(path("data.cab"));
        QVERIFY(splitWithStencil(path("cab.kvs"), path("cab"), cabinet, {100, int(cabinet.size()) - 100}));
        QVERIFY(writeFile(path("trunc.cab"), cabinet.left(cabinet.size() / 2)));
        QVERIFY(splitWithStencil(path("plain.kvs"), path("plain"), "joined text", {6, 0, 5}, 41));
        QVERIFY(writeFile(path("none.kvs"), stencil("x", 0, 1)));
        QVERIFY(writeFile(path("gap.kvs"), stencil(QFile::encodeName(path("plain")), 4, 41)));
        QVERIFY(QDir().mkpath(path("lonely")));
        QVERIFY(QFile::copy(QStringLiteral(TESSAL_PATH), path("lonely/tessal")));

        // A cabinet without files, made by hand: header only.
        QByteArray empty = QByteArray("MSCF") + int32(0) + int32(44) + int32(0) + int32(44) + int32(0)
                + QByteArray::fromHex("0301") + int16(1) + int16(0) + int16(0) + int16(0) + int16(0)
                + int32(44) + int16(0) + int16(0);
        QVERIFY(writeFile(path("nofiles.cab"), empty));
    }

    void help()
    {
        const Run r = run(QStringLiteral(TESSAL_PATH), {"--help"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(QStringLiteral("tessal --join STENCIL OUTPUT [--compressed]")));
        QVERIFY(r.out.contains(QStringLiteral("EXTRACT")));
        QVERIFY(r.err.isEmpty());
    }

    void windowWithoutDisplay()
    {
        const Run r = run(QStringLiteral(TESSAL_PATH), {});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("desktop session")), qPrintable(r.err));
        QVERIFY(r.err.contains(QStringLiteral("tessal --join")));
    }

    void wrongCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no paths") << QStringList{"--join"};
        QTest::newRow("one path") << QStringList{"--join", "a.kvs"};
        QTest::newRow("three paths") << QStringList{"--join", "a", "b", "c"};
        QTest::newRow("no --join") << QStringList{"a", "b"};
        QTest::newRow("unknown option") << QStringList{"--join", "a", "b", "--fast"};
        QTest::newRow("help with more") << QStringList{"--help", "x"};
    }
    void wrongCommandLines()
    {
        QFETCH(QStringList, arguments);
        const Run r = run(QStringLiteral(TESSAL_PATH), arguments);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains(QStringLiteral("Usage:")));
        QVERIFY(r.out.isEmpty());
    }

    void join_data()
    {
        QTest::addColumn<QString>("program"); // beside tessal's own folder when relative
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err"); // %1 stands for the test folder
        QTest::addColumn<QByteArray>("output"); // null: no output file

        const QString tessal = QStringLiteral(TESSAL_PATH);
        const QString success = QStringLiteral("Combine succeed 结合成功！！！\n");
        const QString nameError = QStringLiteral("Stencil file name error 模板文件文件名错误！！！\n");
        QTest::newRow("success") << tessal << QStringList{"--join", "plain.kvs", "out"} << 0 << success << ""
                                 << QByteArray("joined text");
        QTest::newRow("no pieces") << tessal << QStringList{"--join", "none.kvs", "out"} << 1 << "" << nameError
                                   << QByteArray();
        QTest::newRow("no stencil") << tessal << QStringList{"--join", "absent.kvs", "out"} << 1 << "" << nameError
                                    << QByteArray();
        QTest::newRow("missing piece") << tessal << QStringList{"--join", "gap.kvs", "out"} << 1 << ""
                                       << "File not found: %1/plain.044\n" << QByteArray();
        QTest::newRow("compressed") << tessal << QStringList{"--compressed", "--join", "cab.kvs", "out"} << 0
                                    << success << "" << m_original;
        QTest::newRow("compressed without EXTRACT")
                << "lonely/tessal" << QStringList{"--join", "cab.kvs", "out", "--compressed"} << 1 << success
                << "解压缩失败 Extraction failed: %1/lonely/EXTRACT not found\n" << readFile(path("data.cab"));
    }
    void join()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QByteArray, output);
        QFile::remove(path("out"));
        for (QString &a : arguments) {
            if (!a.startsWith(u"--"))
                a = path(a);
        }
        const Run r = run(QDir::isAbsolutePath(program) ? program : path(program), arguments);
        QCOMPARE(r.err, err.replace(QLatin1String("%1"), m_dir.path()));
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(r.out, out);
        QCOMPARE(QFile::exists(path("out")), !output.isNull());
        QVERIFY(readFile(path("out")) == output);
        QVERIFY(!QFile::exists(path("absent.kvs")));
        QVERIFY(QDir(path("tmp")).isEmpty());
    }

    void extractProgram_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        QTest::newRow("unpacks") << QStringList{"data.cab", "x1"} << 0 << QString();
        QTest::newRow("not a cabinet") << QStringList{"data.bin", "x2"} << 1 << "not a cabinet";
        QTest::newRow("truncated cabinet") << QStringList{"trunc.cab", "x3"} << 1 << "EXTRACT: ";
        QTest::newRow("no file in it") << QStringList{"nofiles.cab", "x4"} << 1 << "no files in cabinet";
        QTest::newRow("missing cabinet") << QStringList{"absent.cab", "x5"} << 1 << "EXTRACT: ";
        QTest::newRow("cannot write") << QStringList{"data.cab", "nofolder/x6"} << 1 << "No such file";
        QTest::newRow("no arguments") << QStringList{} << 2 << "Usage: EXTRACT CABINET TARGET";
    }
    void extractProgram()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        for (QString &a : arguments)
            a = path(a);
        const Run r = run(QStringLiteral(EXTRACT_PATH), arguments);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(error), qPrintable(r.err));
        if (exitCode == 0)
            QVERIFY(readFile(arguments.at(1)) == m_original);
        // A failure leaves no partial file behind.
        const QStringList partial = QDir(m_dir.path()).entryList({QStringLiteral("x*")}, QDir::Files);
        QVERIFY2(exitCode == 0 || !partial.contains(arguments.value(1).section(QLatin1Char('/'), -1)),
                 qPrintable(partial.join(QLatin1Char(' '))));
        for (const QString &name : partial)
            QVERIFY2(!name.contains(QLatin1Char('.')), qPrintable(name));
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
