#include "PieceWriter.h"
#include "TessalProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace PieceWriter;

class tst_CommandLine : public QObject
{
    Q_OBJECT

    using Run = TessalProcess::Result;
    QTemporaryDir m_dir;
    QByteArray m_original;

    QString path(const QString &name) const { return QDir(m_dir.path()).filePath(name); }
    //! Runs tessal, or another program, without any display.
    Run run(const QStringList &arguments, TessalProcess::Options options = {})
    {
        options.tmp = path("tmp");
        return TessalProcess::run(arguments, options);
    }
    //! What the main thread of \a pid waits in: the system call's number and arguments.
    static QByteArray waitingIn(qint64 pid) { return readFile(QStringLiteral("/proc/%1/syscall").arg(pid)); }
    static bool inEventLoop(qint64 pid)
    {
        const long number = waitingIn(pid).split(' ').value(0).toLong();
#ifdef __NR_poll
        if (number == __NR_poll)
            return true;
#endif
        return number == __NR_ppoll;
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
        QTest::addColumn<QString>("out"); // ending in "...": how it starts; %1 stands for the test folder
        QTest::addColumn<QString>("err"); // the same
        QTest::addColumn<QByteArray>("output"); // null: no output file

        const QString tessal = QStringLiteral(TESSAL_PATH);
        const QString success = QStringLiteral("Combine succeed 结合成功！！！\n");
        const QString nameError = QStringLiteral("Stencil file name error 模板文件文件名错误！！！\n");
        const QString usage = QStringLiteral("Usage: tessal [Qt options]\n       tessal --join STENCIL OUTPUT [--compressed]\n"
                                             "       tessal --split FILE SIZE [STENCIL]\n       tessal --check STENCIL\n...");
        QTest::newRow("--help") << tessal << QStringList{"--help"} << 0 << usage << "" << QByteArray();
        QTest::newRow("-h") << tessal << QStringList{"-h"} << 0 << usage << "" << QByteArray();
        const QList<std::pair<const char *, QStringList>> wrong{
                {"no paths", {"--join"}}, {"three paths", {"--join", "a", "b", "c"}},
                {"unknown option", {"--join", "a", "b", "--fast"}}, {"help with more", {"--help", "x"}},
                {"--join twice", {"--join", "--join", "a", "b"}}, {"a value for --join", {"--join=a", "b"}},
                {"two modes", {"--join", "--check", "a", "b"}}, {"--compressed without --join", {"--check", "a", "--compressed"}},
                {"--split without SIZE", {"--split", "a"}}, {"--split with four", {"--split", "a", "1M", "b", "c"}},
                {"--check without STENCIL", {"--check"}}, {"--check with two", {"--check", "a", "b"}},
                {"Qt option with --join", {"-style", "Fusion", "--join", "a", "b"}}};
        for (const auto &[name, arguments] : wrong)
            QTest::newRow(name) << tessal << arguments << 2 << "" << "tessal: wrong command line\n\n" + usage << QByteArray();
        QTest::newRow("--split, SIZE no size")
                << tessal << QStringList{"--split", "data.bin", "=7 MB"} << 2 << ""
                << "tessal: wrong command line\ntessal: SIZE 7 MB is no size (a number with K, M, G, KB, MB or GB)\n\n" + usage
                << QByteArray();
        // Without tessal's own options the arguments are the window's, which needs a display.
        const QString noDisplay =
                "tessal: the join window needs a desktop session (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                "To join without a window: tessal --join STENCIL OUTPUT [--compressed]\n";
        QTest::newRow("window without a display") << tessal << QStringList{} << 1 << "" << noDisplay << QByteArray();
        QTest::newRow("window options without a display") << tessal << QStringList{"-style", "Fusion"} << 1 << ""
                                                          << noDisplay << QByteArray();
        QTest::newRow("success") << tessal << QStringList{"--join", "plain.kvs", "out"} << 0 << success << ""
                                 << QByteArray("joined text");
        QTest::newRow("no stencil") << tessal << QStringList{"--join", "absent.kvs", "out"} << 1 << "" << nameError
                                    << QByteArray();
        // A split says what it wrote, and replaces nothing.
        QTest::newRow("split") << tessal << QStringList{"--split", "data.bin", "=100K"} << 0
                               << "Split succeed 分割成功！！！ 3 pieces, %1/data.bin.001 to .003, and the stencil %1/data.bin.kvs\n"
                               << "" << QByteArray();
        QTest::newRow("split again") << tessal << QStringList{"--split", "data.bin", "=100K"} << 1 << ""
                                     << "File already exists: %1/data.bin.001\n" << QByteArray();
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
        // Paths are in the test folder; "=" keeps an argument as it is.
        for (QString &a : arguments) {
            if (a.startsWith(u'='))
                a.remove(0, 1);
            else if (!a.startsWith(u'-'))
                a = path(a);
        }
        const Run r = run(arguments, {.program = QDir::isAbsolutePath(program) ? program : path(program)});
        const auto matches = [this](const QString &text, QString expected) {
            expected.replace(QLatin1String("%1"), m_dir.path());
            return expected.endsWith(u"...") ? text.startsWith(expected.chopped(3)) : text == expected;
        };
        QVERIFY2(matches(r.err, err), qPrintable(r.err));
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(matches(r.out, out), qPrintable(r.out));
        QCOMPARE(QDir(m_dir.path()).entryList({"out*", ".out*"}, QDir::Files | QDir::Hidden),
                 output.isNull() ? QStringList() : QStringList{"out"});
        QVERIFY(readFile(path("out")) == output);
        QVERIFY(!QFile::exists(path("absent.kvs")));
        QVERIFY(QDir(path("tmp")).isEmpty());
    }

    // --check names every piece's state and fails exactly when a join fails, with its words.
    void check_data()
    {
        QTest::addColumn<QByteArrayList>("pieces"); // c.001, c.002, ...; null: missing
        QTest::addColumn<QByteArray>("stencil"); // %1: the row's folder; null: none
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<int>("exitCode");

        const QByteArray three = stencil("%1/c", 3, 1);
        const QByteArray good = piece("abcd");
        const QByteArray folder("\1folder");
        const auto add = [](const char *name, const QByteArrayList &pieces, const QByteArray &stencilBytes,
                            const QStringList &states, int exitCode) {
            QTest::newRow(name) << pieces << stencilBytes << states << exitCode;
        };
        add("sound", {good, piece(""), piece("efghijk")}, three,
            {"present, 4 bytes", "present, 0 bytes", "present, 7 bytes"}, 0);
        add("a piece missing", {good, {}, good}, three, {"present, 4 bytes", "missing", "present, 4 bytes"}, 1);
        add("a piece short", {good, piece("abcd").left(12), good}, three,
            {"present, 4 bytes", "short", "present, 4 bytes"}, 1);
        add("two dimensions", {good, piece("ab", 2), good}, three,
            {"present, 4 bytes", "wrong header", "present, 4 bytes"}, 1);
        add("a folder", {good, folder, good}, three, {"present, 4 bytes", "not a regular file", "present, 4 bytes"}, 1);
        add("several faults", {piece("ab", 0), {}, piece("abc").left(11)}, three, {"wrong header", "missing", "short"}, 1);
        add("no stencil", {good}, QByteArray(), {}, 1);
        add("numbers past the range", {good}, stencil("%1/c", 2, INT_MAX), {}, 1);
        // Found beside the stencil when not where the stencil says.
        add("moved", {good, good}, stencil("/elsewhere/c", 2, 1), {"present, 4 bytes", "present, 4 bytes"}, 0);
    }
    void check()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(QByteArray, stencil);
        QFETCH(QStringList, states);
        QFETCH(int, exitCode);
        const QString folder = path(QStringLiteral("check-%1").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        QStringList expected;
        for (int i = 0; i < pieces.size(); ++i) {
            const QString name = folder + "/c" + suffix(i + 1);
            if (pieces.at(i) == "\1folder")
                QVERIFY(QDir().mkpath(name));
            else if (!pieces.at(i).isNull())
                QVERIFY(writeFile(name, pieces.at(i)));
        }
        for (int i = 0; i < states.size(); ++i)
            expected.append(folder + "/c" + suffix(i + 1) + "  " + states.at(i));
        const QString stencilPath = folder + "/c.kvs";
        if (!stencil.isNull())
            QVERIFY(writeFile(stencilPath, stencil.replace("%1", QFile::encodeName(folder))
                                                   .replace(4, 2, int16(qint16(stencil.size() - 12)))));

        const Run checked = run({"--check", stencilPath});
        const Run joined = run({"--join", stencilPath, folder + "/out"});
        QCOMPARE(checked.exitCode, exitCode);
        QCOMPARE(joined.exitCode, exitCode);
        QStringList lines = checked.out.split(u'\n', Qt::SkipEmptyParts);
        if (exitCode == 0) {
            QVERIFY2(lines.last().startsWith(QStringLiteral("All %1 pieces are present in %2: a join gives ")
                                                     .arg(states.size())
                                                     .arg(folder)),
                     qPrintable(checked.out));
            lines.removeLast();
            QCOMPARE(checked.err, QString());
        } else if (states.isEmpty()) {
            QCOMPARE(checked.err, joined.err);
        } else {
            QCOMPARE(checked.err, "A join would fail: " + joined.err);
        }
        QCOMPARE(lines, expected);
    }

    // Without tessal's own options the arguments go to Qt and the window opens.
    void windowOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("err"); // what Qt or tessal says; ending in "...": how it starts
        QTest::addColumn<int>("exitCode"); // -1: the window stays open
        QTest::newRow("--style=fusion") << QStringList{"--style=fusion"} << "" << -1;
        // Qt's own words show the option reached it.
        QTest::newRow("-style unknown") << QStringList{"-style", "NoSuchStyle"}
                                        << "QApplication: invalid style override 'NoSuchStyle' passed, ignoring it...." << -1;
        QTest::newRow("Qt option and more") << QStringList{"-style", "Fusion", "film.kvs"}
                                            << "tessal: wrong command line\nUsage: tessal [Qt options]..." << 2;
    }
    void windowOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, err);
        QFETCH(int, exitCode);
        if (waitingIn(QCoreApplication::applicationPid()).isEmpty())
            QSKIP("/proc/PID/syscall is not available: cannot see the window wait for events");
        QProcess tessal;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QDir().mkpath(path("runtime"));
        QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
        tessal.setProcessEnvironment(env);
        tessal.start(QStringLiteral(TESSAL_PATH), arguments);
        QVERIFY(tessal.waitForStarted());
        if (exitCode < 0) {
            QTRY_VERIFY_WITH_TIMEOUT(tessal.state() != QProcess::Running || inEventLoop(tessal.processId()), 30000);
            QCOMPARE(tessal.state(), QProcess::Running);
            tessal.terminate();
        }
        QVERIFY(tessal.waitForFinished(30000));
        if (exitCode >= 0) {
            QCOMPARE(tessal.exitStatus(), QProcess::NormalExit);
            QCOMPARE(tessal.exitCode(), exitCode);
        }
        // Offscreen has its own complaints; only what is about the options counts.
        QStringList lines = QString::fromLocal8Bit(tessal.readAllStandardError()).split(u'\n');
        lines.removeIf([](const QString &line) {
            return line.contains(u"propagateSizeHints") || line.isEmpty();
        });
        const QString shown = lines.join(u'\n');
        QVERIFY2(err.endsWith(u"...") ? shown.startsWith(err.chopped(3)) : shown == err, qPrintable(shown));
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
        if (!user.isEmpty() && run({"--help"}, {.user = user}).exitCode != 0)
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

        const Run r = run({"--join", folder + "/n.kvs", out}, {.user = user});
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

    // On a terminal a join or a split shows its progress on standard error, and Ctrl-C,
    // even while the progress line waits for the terminal, leaves the output as it was and
    // no temporary file behind. Each signal, and a stopped split, is in tst_datasafety.
    void terminal_data()
    {
        QTest::addColumn<bool>("split");
        QTest::addColumn<bool>("ctrlC"); // pressed while the command waits to write
        QTest::addColumn<bool>("linked"); // a hard-linked output, written in place
        QTest::newRow("progress") << false << false << false;
        QTest::newRow("progress, in place") << false << false << true;
        QTest::newRow("Ctrl-C") << false << true << false;
        QTest::newRow("Ctrl-C, in place") << false << true << true;
        QTest::newRow("split, progress") << true << false << false;
    }
    void terminal()
    {
        QFETCH(bool, split);
        QFETCH(bool, ctrlC);
        QFETCH(bool, linked);
        if (ctrlC && waitingIn(QCoreApplication::applicationPid()).isEmpty())
            QSKIP("/proc/PID/syscall is not available: cannot see the command wait on its terminal");
        const QString folder = path(QStringLiteral("tty-%1-%2-%3").arg(split).arg(ctrlC).arg(linked));
        QVERIFY(QDir().mkpath(folder));
        const QByteArray data = pattern(40 * 1024 * 1024 + 5, 4);
        const int third = int(data.size() / 3);
        QByteArrayList command{TESSAL_PATH};
        if (split) {
            QVERIFY(writeFile(folder + "/t", data));
            command += {"--split", QFile::encodeName(folder + "/t"), "15M"};
        } else {
            QVERIFY(splitWithStencil(folder + "/t.kvs", folder + "/t", data, {third, third, int(data.size()) - 2 * third}));
            QVERIFY(writeFile(folder + "/out", "previous"));
            QVERIFY(!linked || hardLink(folder + "/out", folder + "/other"));
            command += {"--join", QFile::encodeName(folder + "/t.kvs"), QFile::encodeName(folder + "/out")};
        }
        const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);

        QList<char *> argv;
        for (QByteArray &argument : command)
            argv.append(argument.data());
        argv.append(nullptr);
        const QByteArray tmp = "TMPDIR=" + QFile::encodeName(path("tmp"));
        char *envp[] = {const_cast<char *>(tmp.constData()), const_cast<char *>("LC_ALL=C.UTF-8"), nullptr};
        int master = -1;
        const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
        QVERIFY(pid >= 0);
        if (pid == 0) {
            // Output held from the start: the first progress line blocks the command mid-way.
            if (ctrlC)
                ::tcflow(STDERR_FILENO, TCOOFF);
            ::execve(argv[0], argv.data(), envp);
            ::_exit(127);
        }
        if (ctrlC) {
            QTRY_VERIFY_WITH_TIMEOUT(waitingIn(pid).startsWith("1 0x2 "), 60000); // write(2, ...)
            QCOMPARE(::write(master, "\x03", 1), 1);
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
        const QString out = folder + "/out";
        if (ctrlC) {
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT, qPrintable(QString::number(status)));
            QCOMPARE(readFile(out), QByteArray("previous"));
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), names);
        } else {
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, shown.constData());
            QVERIFY2(shown.contains("\r100%  40.0 MiB of 40.0 MiB  ") && shown.contains("/s"), shown.constData());
            if (split) {
                QVERIFY2(shown.endsWith("\r\nSplit succeed 分割成功！！！ 3 pieces, " + QFile::encodeName(folder)
                                        + "/t.001 to .003, and the stencil " + QFile::encodeName(folder) + "/t.kvs\r\n"),
                         shown.constData());
                QCOMPARE(run({"--join", folder + "/t.kvs", out}).exitCode, 0);
            } else {
                QVERIFY2(shown.endsWith("\r\nCombine succeed 结合成功！！！\r\n"), shown.constData());
                QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), names);
            }
            QVERIFY(readFile(out) == data);
        }
        if (linked)
            QCOMPARE(readFile(folder + "/other"), readFile(out));
        QVERIFY(QDir(path("tmp")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
