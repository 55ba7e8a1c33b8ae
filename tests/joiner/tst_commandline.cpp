#include "PieceWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

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
    Run run(QString program, QStringList arguments, const QString &user = {})
    {
        if (!user.isEmpty()) {
            arguments.prepend(program);
            arguments = QStringList{"--reuid=" + user, "--regid=nogroup", "--clear-groups"} + arguments;
            program = QStringLiteral("setpriv");
        }
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
        // Open to the unprivileged runs.
        QCOMPARE(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(path("tmp")).constData(), 01777), 0);
        m_original = pattern(300000, 9);
        QVERIFY(writeFile(path("data.bin"), m_original));
        const QByteArray cabinet = packCabinet(path("data.bin"), path("data.cab"));
        QVERIFY(splitWithStencil(path("cab.kvs"), path("cab"), cabinet, {100, int(cabinet.size()) - 100}));
        QVERIFY(splitWithStencil(path("plain.kvs"), path("plain"), "joined text", {6, 0, 5}, 41));
        QVERIFY(writeFile(path("gap.kvs"), stencil(QFile::encodeName(path("plain")), 4, 41)));
        QVERIFY(QDir().mkpath(path("lonely")));
        QVERIFY(QFile::copy(QStringLiteral(TESSAL_PATH), path("lonely/tessal")));

        // A cabinet without files, made by hand: header only.
        QByteArray empty = QByteArray("MSCF") + int32(0) + int32(44) + int32(0) + int32(44) + int32(0)
                + QByteArray::fromHex("0301") + int16(1) + int16(0) + int16(0) + int16(0) + int16(0)
                + int32(44) + int16(0) + int16(0);
        QVERIFY(writeFile(path("nofiles.cab"), empty));
    }

    void join_data()
    {
        QTest::addColumn<QString>("program"); // beside tessal's own folder when relative
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // ending in "...": how it starts
        QTest::addColumn<QString>("err"); // the same; %1 stands for the test folder
        QTest::addColumn<QByteArray>("output"); // null: no output file

        const QString tessal = QStringLiteral(TESSAL_PATH);
        const QString success = QStringLiteral("Combine succeed 结合成功！！！\n");
        const QString nameError = QStringLiteral("Stencil file name error 模板文件文件名错误！！！\n");
        const QString usage = QStringLiteral("Usage: tessal\n       tessal --join STENCIL OUTPUT [--compressed]\n...");
        QTest::newRow("--help") << tessal << QStringList{"--help"} << 0 << usage << "" << QByteArray();
        QTest::newRow("-h") << tessal << QStringList{"-h"} << 0 << usage << "" << QByteArray();
        const QList<std::pair<const char *, QStringList>> wrong{
                {"no paths", {"--join"}}, {"three paths", {"--join", "a", "b", "c"}}, {"no --join", {"a", "b"}},
                {"unknown option", {"--join", "a", "b", "--fast"}}, {"help with more", {"--help", "x"}},
                {"--join twice", {"--join", "--join", "a", "b"}}, {"a value for --join", {"--join=a", "b"}}};
        for (const auto &[name, arguments] : wrong)
            QTest::newRow(name) << tessal << arguments << 2 << "" << "tessal: wrong command line\n\n" + usage << QByteArray();
        QTest::newRow("window without a display")
                << tessal << QStringList{} << 1 << ""
                << "tessal: the join window needs a desktop session (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "To join without a window: tessal --join STENCIL OUTPUT [--compressed]\n" << QByteArray();
        QTest::newRow("success") << tessal << QStringList{"--join", "plain.kvs", "out"} << 0 << success << ""
                                 << QByteArray("joined text");
        QTest::newRow("no stencil") << tessal << QStringList{"--join", "absent.kvs", "out"} << 1 << "" << nameError
                                    << QByteArray();
        QTest::newRow("missing piece") << tessal << QStringList{"--join", "gap.kvs", "out"} << 1 << ""
                                       << "File not found: %1/plain.044 (no complete set of pieces in %1)\n" << QByteArray();
        QTest::newRow("compressed") << tessal << QStringList{"--compressed", "--join", "cab.kvs", "out"} << 0
                                    << success << "" << m_original;
        QTest::newRow("compressed without EXTRACT")
                << "lonely/tessal" << QStringList{"--join", "cab.kvs", "out", "--compressed"} << 1 << success
                << "解压缩失败 Extraction failed: %1/libexec/tessal/EXTRACT not found\n" << readFile(path("data.cab"));
        // EXTRACT itself; a failure leaves no partial file.
        const QString extract = QStringLiteral(EXTRACT_PATH);
        QTest::newRow("EXTRACT") << extract << QStringList{"data.cab", "out"} << 0 << "" << "" << m_original;
        QTest::newRow("EXTRACT: no file in it") << extract << QStringList{"nofiles.cab", "out"} << 1 << ""
                << "%1/nofiles.cab: no files in cabinet..." << QByteArray();
        QTest::newRow("EXTRACT: missing cabinet") << extract << QStringList{"absent.cab", "out"} << 1 << ""
                << "EXTRACT: %1/absent.cab: ..." << QByteArray();
        QTest::newRow("EXTRACT: cannot write") << extract << QStringList{"data.cab", "nofolder/out"} << 1 << ""
                << "EXTRACT: %1/nofolder/out: No such file or directory\n" << QByteArray();
        QTest::newRow("EXTRACT: no arguments") << extract << QStringList{} << 2 << ""
                << "Usage: EXTRACT CABINET TARGET\n..." << QByteArray();
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
            if (!a.startsWith(u'-'))
                a = path(a);
        }
        const Run r = run(QDir::isAbsolutePath(program) ? program : path(program), arguments);
        const auto matches = [](const QString &text, const QString &expected) {
            return expected.endsWith(u"...") ? text.startsWith(expected.chopped(3)) : text == expected;
        };
        QVERIFY2(matches(r.err, err.replace(QLatin1String("%1"), m_dir.path())), qPrintable(r.err));
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(matches(r.out, out), qPrintable(r.out));
        QCOMPARE(QDir(m_dir.path()).entryList({"out*", ".out*"}, QDir::Files | QDir::Hidden),
                 output.isNull() ? QStringList() : QStringList{"out"});
        QVERIFY(readFile(path("out")) == output);
        QVERIFY(!QFile::exists(path("absent.kvs")));
        QVERIFY(QDir(path("tmp")).isEmpty());
    }

    // An existing output keeps what a rename would change: its other links, owner, folder.
    void replaceKeepsIdentity_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("user"); // empty: the test's own
        QTest::newRow("other hard link") << "link" << "";
        QTest::newRow("another owner") << "owner" << "";
        QTest::newRow("folder not writable") << "folder" << "nobody";
        QTest::newRow("plain file, renamed over") << "plain" << "";
    }
    void replaceKeepsIdentity()
    {
        QFETCH(QString, kind);
        QFETCH(QString, user);
        if (::geteuid() != 0)
            QSKIP("needs root to give a file to another user and to run tessal as nobody");
        if (!user.isEmpty() && run(QStringLiteral(TESSAL_PATH), {"--help"}, user).exitCode != 0)
            QSKIP("tessal cannot run as nobody here (setpriv missing or the build folder closed to others)");
        const QString folder = path("id-" + kind);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(splitWithStencil(folder + "/n.kvs", folder + "/n", "new content", {4, 7}));
        const QString out = folder + "/out";
        QVERIFY(writeFile(out, "the old content, longer than the new one"));
        const QByteArray name = QFile::encodeName(out);
        if (kind == u"link")
            QVERIFY(hardLink(out, folder + "/other"));
        if (kind == u"owner" || kind == u"folder")
            QCOMPARE(::chown(name.constData(), 65534, 65534), 0);
        struct stat before = {};
        QCOMPARE(::stat(name.constData(), &before), 0);
        const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);

        const Run r = run(QStringLiteral(TESSAL_PATH), {"--join", folder + "/n.kvs", out}, user);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readFile(out), QByteArray("new content"));
        struct stat after = {};
        QCOMPARE(::stat(name.constData(), &after), 0);
        QCOMPARE(after.st_ino == before.st_ino, kind != u"plain");
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(after.st_mode, before.st_mode);
        if (kind == u"link")
            QCOMPARE(readFile(folder + "/other"), QByteArray("new content"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), names);
        QVERIFY(QDir(path("tmp")).isEmpty());
    }

    // On a terminal the join shows its progress on standard error, and a signal
    // during the join leaves the output as it was and no temporary file behind.
    void terminal_data()
    {
        QTest::addColumn<int>("stop"); // 0: none, else the signal, sent while the join waits
        QTest::addColumn<bool>("linked"); // a hard-linked output, written in place
        QTest::newRow("progress") << 0 << false;
        QTest::newRow("progress, in place") << 0 << true;
        QTest::newRow("SIGTERM") << int(SIGTERM) << false;
        QTest::newRow("SIGTERM, in place") << int(SIGTERM) << true;
        QTest::newRow("Ctrl-C") << int(SIGINT) << false;
        QTest::newRow("Ctrl-C, in place") << int(SIGINT) << true;
    }
    void terminal()
    {
        QFETCH(int, stop);
        QFETCH(bool, linked);
        if (stop && !QFile(QStringLiteral("/proc/self/syscall")).open(QIODevice::ReadOnly))
            QSKIP("/proc/PID/syscall is not available: cannot see the join wait on its terminal");
        const QString folder = path(QStringLiteral("tty-%1-%2").arg(stop).arg(linked));
        QVERIFY(QDir().mkpath(folder));
        const QByteArray data = pattern(40 * 1024 * 1024 + 5, 4);
        const int third = int(data.size() / 3);
        QVERIFY(splitWithStencil(folder + "/t.kvs", folder + "/t", data, {third, third, int(data.size()) - 2 * third}));
        const QString out = folder + "/out";
        QVERIFY(writeFile(out, "previous"));
        QVERIFY(!linked || hardLink(out, folder + "/other"));
        const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);

        QByteArray stencilPath = QFile::encodeName(folder + "/t.kvs");
        QByteArray outPath = QFile::encodeName(out);
        char *argv[] = {const_cast<char *>(TESSAL_PATH), const_cast<char *>("--join"), stencilPath.data(),
                        outPath.data(), nullptr};
        const QByteArray tmp = "TMPDIR=" + QFile::encodeName(path("tmp"));
        char *envp[] = {const_cast<char *>(tmp.constData()), const_cast<char *>("LC_ALL=C.UTF-8"), nullptr};
        int master = -1;
        const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
        QVERIFY(pid >= 0);
        if (pid == 0) {
            // Output held from the start: the first progress line blocks the join mid-way.
            if (stop)
                ::tcflow(STDERR_FILENO, TCOOFF);
            ::execve(argv[0], argv, envp);
            ::_exit(127);
        }
        if (stop) {
            const auto writingToStderr = [pid] {
                QFile syscall(QStringLiteral("/proc/%1/syscall").arg(pid));
                return syscall.open(QIODevice::ReadOnly) && syscall.readAll().startsWith("1 0x2 ");
            };
            QTRY_VERIFY_WITH_TIMEOUT(writingToStderr(), 60000);
            if (stop == SIGINT)
                QCOMPARE(::write(master, "\x03", 1), 1);
            else
                QCOMPARE(::kill(pid, stop), 0);
        }
        QByteArray shown;
        char buffer[4096];
        for (pollfd p{master, POLLIN, 0}; ::poll(&p, 1, 60000) > 0;) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            shown.append(buffer, n);
        }
        ::close(master);
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        if (stop) {
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == stop, qPrintable(QString::number(status)));
            QCOMPARE(readFile(out), QByteArray("previous"));
        } else {
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, shown.constData());
            QVERIFY(readFile(out) == data);
            QVERIFY2(shown.contains("\r100%  40.0 MiB of 40.0 MiB  ") && shown.contains("/s"), shown.constData());
            QVERIFY2(shown.endsWith("\r\nCombine succeed 结合成功！！！\r\n"), shown.constData());
        }
        if (linked)
            QCOMPARE(readFile(folder + "/other"), readFile(out));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), names);
        QVERIFY(QDir(path("tmp")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
