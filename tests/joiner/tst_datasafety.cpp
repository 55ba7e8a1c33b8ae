// What is on disk survives every way a join or a split can end: a full file
// system, a kill or a signal at a chosen step, read-only folders and files.
// The steps are chosen with strace, which stops tessal at a system call.
#include "PieceWriter.h"
#include "TessalProcess.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace PieceWriter;
using Run = TessalProcess::Result;

namespace {

constexpr int Pieces = 10;
constexpr int PieceSize = 2 * 1024 * 1024;
constexpr qint64 MiB = 1024 * 1024;

QStringList hidden(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".tessal-"));
}

qint64 freeBytes(const QString &folder)
{
    struct statvfs fs = {};
    return ::statvfs(QFile::encodeName(folder).constData(), &fs) == 0 ? qint64(fs.f_bfree) * fs.f_frsize : -1;
}

//! True when every piece file in \a folder is whole: its header's count of data and the trailing value.
bool piecesWhole(const QString &folder, int *count)
{
    *count = 0;
    for (const QString &name : QDir(folder).entryList({"*.0*"}, QDir::Files)) {
        const QByteArray bytes = readFile(folder + '/' + name);
        if (bytes.size() < 14 || qFromLittleEndian<qint32>(bytes.constData() + 2) != bytes.size() - 14)
            return false;
        ++*count;
    }
    return true;
}

} // namespace

class tst_DataSafety : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_new;
    QString m_mount; // a small tmpfs, when root
    QString m_noMount;
    QString m_user; // an ordinary user to run as, empty: the test's own
    QString m_noUser;
    int m_case = 0;

    QString path(const QString &name) const { return QDir(m_dir.path()).filePath(name); }
    //! A fresh folder that anyone may write.
    QString folder(const QString &name)
    {
        const QString f = path(QStringLiteral("%1-%2").arg(name).arg(++m_case));
        QDir().mkpath(f);
        ::chmod(QFile::encodeName(f).constData(), 0777);
        return f;
    }
    Run tessal(const QStringList &arguments, TessalProcess::Options options = {})
    {
        options.tmp = path("tmp");
        return TessalProcess::run(arguments, options);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QCOMPARE(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
        QVERIFY(QDir(m_dir.path()).mkdir("tmp"));
        QCOMPARE(::chmod(QFile::encodeName(path("tmp")).constData(), 01777), 0);
        m_new = pattern(qint64(Pieces) * PieceSize, 11);
        QList<int> sizes(Pieces, PieceSize);
        QVERIFY(QDir(m_dir.path()).mkdir("p"));
        QVERIFY(splitWithStencil(path("p/new.kvs"), path("p/new"), m_new, sizes));

        if (::geteuid() == 0) {
            QVERIFY(QDir(m_dir.path()).mkdir("full"));
            if (::mount("tmpfs", QFile::encodeName(path("full")).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                        "size=16m,mode=0777") == 0)
                m_mount = path("full");
            else
                m_noMount = QStringLiteral("cannot mount a tmpfs here: %1").arg(qt_error_string(errno));
            if (tessal({"--help"}, {.user = "nobody"}).exited(0))
                m_user = QStringLiteral("nobody");
            else
                m_noUser = "tessal cannot run as nobody (setpriv missing, or the build folder closed to others)";
        } else {
            m_noMount = "mounting a small file system needs root";
        }
    }
    void cleanupTestCase()
    {
        if (!m_mount.isEmpty())
            ::umount2(QFile::encodeName(m_mount).constData(), MNT_DETACH);
    }
    void cleanup()
    {
        if (m_mount.isEmpty())
            return;
        // Only root mounts it, and root removes whatever a test left there.
        for (const QFileInfo &entry : QDir(m_mount).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            entry.isDir() ? QDir(entry.filePath()).removeRecursively() : QFile::remove(entry.filePath());
    }

    // A full disk fails before the output changes, on the rename path and in place; the space
    // the attempt took is given back.
    void fullDisk_data()
    {
        QTest::addColumn<QString>("kind"); // plain, link, split
        QTest::addColumn<int>("oldMiB");
        QTest::addColumn<int>("newMiB");
        QTest::addColumn<bool>("reserve"); // the file system can reserve space
        QTest::addColumn<QString>("err"); // %1: the output (the mount for a split); empty: it fits
        const QString full = "Disk full: %1";
        QTest::newRow("replaced by rename, new content too large") << "plain" << 2 << 15 << true << full;
        QTest::newRow("in place, the copy-back would not fit") << "link" << 6 << 9 << true << full;
        QTest::newRow("in place, the new content does not fit beside the old") << "link" << 6 << 11 << true << full;
        QTest::newRow("in place, it fits") << "link" << 3 << 6 << true << "";
        QTest::newRow("in place, no reservation, the copy-back would not fit")
                << "link" << 6 << 9 << false << "Disk full: %1 needs 3.0 MiB more, ...";
        QTest::newRow("in place, no reservation, it fits") << "link" << 3 << 6 << false << "";
        QTest::newRow("split onto a full disk") << "split" << 0 << 20 << true << "Disk full: %1/data.005";
    }
    void fullDisk()
    {
        QFETCH(QString, kind);
        QFETCH(int, oldMiB);
        QFETCH(int, newMiB);
        QFETCH(bool, reserve);
        QFETCH(QString, err);
        const bool fits = err.isEmpty();
        if (m_mount.isEmpty())
            QSKIP(qPrintable(m_noMount));
        const QString source = folder("source");
        const QByteArray data = pattern(newMiB * MiB, newMiB);
        const QString out = m_mount + "/out";
        const QByteArray old = pattern(oldMiB * MiB, 100 + oldMiB);
        Run r;
        qint64 before = 0;
        if (kind == u"split") {
            QVERIFY(writeFile(source + "/data", data));
            before = freeBytes(m_mount);
            // Four pieces of 4 MiB fill the 16 MiB; the fifth does not fit.
            r = tessal({"--split", source + "/data", "4M", m_mount + "/data.kvs"});
        } else {
            QVERIFY(splitWithStencil(source + "/n.kvs", source + "/n", data, {int(data.size() / 2), int(data.size() / 2)}));
            QVERIFY(writeFile(out, old));
            if (kind == u"link")
                QVERIFY(hardLink(out, m_mount + "/other"));
            before = freeBytes(m_mount);
            r = tessal({"--join", source + "/n.kvs", out}, {.noFallocate = !reserve});
        }
        if (!err.isEmpty())
            err = err.arg(kind == u"split" ? m_mount : out);
        QVERIFY2(err.endsWith(u"...") ? r.err.startsWith(err.chopped(3)) : r.err == (fits ? err : err + '\n'),
                 qPrintable(r.err));
        QVERIFY(r.exited(fits ? 0 : 1));
        if (kind != u"split")
            QVERIFY(readFile(out) == (fits ? data : old));
        if (kind == u"link")
            QVERIFY(readFile(m_mount + "/other") == readFile(out));
        if (!fits) {
            QCOMPARE(freeBytes(m_mount), before);
            QStringList left = QDir(m_mount).entryList(QDir::Files | QDir::Hidden);
            const QStringList expected = kind == u"split" ? QStringList()
                    : kind == u"link"                       ? QStringList{"other", "out"}
                                                            : QStringList{"out"};
            QCOMPARE(left, expected);
        }
    }

    // A file system that takes no writes at all refuses as a folder closed to us does.
    void readOnlyFileSystem()
    {
        if (m_mount.isEmpty())
            QSKIP(qPrintable(m_noMount));
        QVERIFY(writeFile(m_mount + "/out", "old"));
        const QByteArray target = QFile::encodeName(m_mount);
        QCOMPARE(::mount(nullptr, target.constData(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr), 0);
        const Run existing = tessal({"--join", path("p/new.kvs"), m_mount + "/out"});
        const Run created = tessal({"--join", path("p/new.kvs"), m_mount + "/new"});
        QCOMPARE(::mount(nullptr, target.constData(), nullptr, MS_REMOUNT | MS_NOSUID | MS_NODEV, nullptr), 0);
        QCOMPARE(existing.err, QStringLiteral("Permission denied: %1/out\n").arg(m_mount));
        QVERIFY(existing.exited(1));
        QCOMPARE(created.err, QStringLiteral("Permission denied: %1/new\n").arg(m_mount));
        QVERIFY(created.exited(1));
        QCOMPARE(readFile(m_mount + "/out"), QByteArray("old"));
        QCOMPARE(QDir(m_mount).entryList(QDir::Files | QDir::Hidden), QStringList{"out"});
    }

    // Killed at a chosen step, the join leaves the old output, or (at the rename itself)
    // the old or the new one whole. Signals are taken until the data are on disk; during
    // the copy into an output that keeps its identity a signal waits for the copy to end,
    // and the join is done. Where the system has no unnamed temporary files, the hidden
    // file a kill leaves goes with the next join into that folder.
    void interruptedAt_data()
    {
        QTest::addColumn<bool>("inPlace"); // the output has another hard link
        QTest::addColumn<bool>("noTmpfile");
        QTest::addColumn<QStringList>("strace"); // %1: the output
        QTest::addColumn<int>("signal"); // the signal that ends tessal, 0: it completes
        QTest::addColumn<bool>("eitherWhole"); // the old or the new content; else the old, or the new one when it completes
        QTest::addColumn<int>("leaves"); // hidden files left: 0 none, 1 some, -1 either
        const auto on = [](const char *call, const char *signal) {
            return QStringList{"-e", QStringLiteral("inject=%1:signal=%2").arg(call, signal)};
        };
        // Each piece is opened twice: checked, then copied.
        const QStringList half{"-P", path("p/new") + suffix(Pieces / 2 + 1), "-e", "inject=openat:signal=SIGKILL:when=2"};
        const int killed = SIGKILL;
        QTest::newRow("at 50% of the copy") << false << false << half << killed << false << 0;
        QTest::newRow("at the final flush") << false << false << on("fdatasync", "SIGKILL") << killed << false << 0;
        QTest::newRow("at naming the new content") << false << false << on("linkat", "SIGKILL") << killed << false << -1;
        QTest::newRow("at the rename") << false << false << on("/^rename", "SIGKILL") << killed << true << -1;
        QTest::newRow("no unnamed files, at 50%") << false << true << half << killed << false << 1;
        QTest::newRow("no unnamed files, at the rename") << false << true << on("/^rename", "SIGKILL") << killed << true << -1;
        QTest::newRow("in place, at 50% of the copy") << true << false << half << killed << false << 0;
        QTest::newRow("in place, at the reservation") << true << false << on("fallocate", "SIGKILL") << killed << false << 0;
        QTest::newRow("in place, no unnamed files, at the reservation")
                << true << true << on("fallocate", "SIGKILL") << killed << false << 1;
        QTest::newRow("Ctrl-C at the final flush") << false << false << on("fdatasync", "SIGINT") << int(SIGINT) << false << 0;
        QTest::newRow("SIGTERM at the final flush") << false << false << on("fdatasync", "SIGTERM") << int(SIGTERM) << false << 0;
        QTest::newRow("SIGHUP at the final flush") << false << false << on("fdatasync", "SIGHUP") << int(SIGHUP) << false << 0;
        QTest::newRow("SIGTERM at the reservation") << true << false << on("fallocate", "SIGTERM") << int(SIGTERM) << false << 0;
        QTest::newRow("SIGHUP during the copy-back")
                << true << false << QStringList{"-P", "%1", "-e", "inject=copy_file_range:signal=SIGHUP:when=2"} << 0
                << false << 0;
    }
    void interruptedAt()
    {
        QFETCH(bool, inPlace);
        QFETCH(bool, noTmpfile);
        QFETCH(QStringList, strace);
        QFETCH(int, signal);
        QFETCH(bool, eitherWhole);
        QFETCH(int, leaves);
        if (!TessalProcess::haveStrace())
            QSKIP("strace is missing (scripts/install-deps.sh --test installs it)");
        const QString f = folder("stop");
        const QString out = f + "/out";
        const QByteArray old = pattern(3 * MiB, 12);
        QVERIFY(writeFile(out, old));
        QVERIFY(!inPlace || hardLink(out, f + "/other"));

        const Run r = tessal({"--join", path("p/new.kvs"), out},
                             {.strace = strace.replaceInStrings("%1", out), .noTmpfile = noTmpfile});
        QCOMPARE(r.signal, signal);
        QCOMPARE(r.out, signal ? QString() : QStringLiteral("Combine succeed 结合成功！！！\n"));
        const QByteArray after = readFile(out);
        QVERIFY(after == (signal ? old : m_new) || (eitherWhole && after == m_new));
        if (inPlace)
            QVERIFY(readFile(f + "/other") == after);
        const QStringList left = hidden(f);
        if (leaves >= 0)
            QVERIFY2(left.isEmpty() == (leaves == 0), qPrintable(left.join(' ')));
        QCOMPARE(QDir(f).entryList(QDir::Files), QStringList({"other", "out"}).mid(inPlace ? 0 : 1));

        // The next join cleans up behind the stopped one.
        const Run again = tessal({"--join", path("p/new.kvs"), out}, {.noTmpfile = noTmpfile});
        QCOMPARE(again.err, QString());
        QVERIFY(again.exited(0));
        QVERIFY(readFile(out) == m_new);
        QCOMPARE(hidden(f), QStringList());
        QVERIFY(QDir(path("tmp")).isEmpty());
    }

    // A split stopped at a piece leaves no piece half-written: a signal removes all it
    // wrote, a kill leaves whole pieces only and no stencil.
    void splitStopped_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("noTmpfile");
        QTest::newRow("Ctrl-C") << int(SIGINT) << false;
        QTest::newRow("SIGTERM") << int(SIGTERM) << false;
        QTest::newRow("killed") << int(SIGKILL) << false;
        QTest::newRow("killed, no unnamed files") << int(SIGKILL) << true;
    }
    void splitStopped()
    {
        QFETCH(int, signal);
        QFETCH(bool, noTmpfile);
        if (!TessalProcess::haveStrace())
            QSKIP("strace is missing (scripts/install-deps.sh --test installs it)");
        const QString f = folder("split");
        QVERIFY(writeFile(f + "/data", m_new));
        // The fourth block read from the file: in the middle of the second piece.
        const QString name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGKILL";
        const Run r = tessal({"--split", f + "/data", "3M"},
                             {.strace = {"-P", f + "/data", "-e", "inject=copy_file_range:signal=" + name + ":when=2"},
                              .noTmpfile = noTmpfile});
        QCOMPARE(r.signal, signal);
        int pieces = 0;
        QVERIFY(piecesWhole(f, &pieces));
        QCOMPARE(pieces, signal == SIGKILL ? 1 : 0);
        QVERIFY(!QFile::exists(f + "/data.kvs"));
        QCOMPARE(hidden(f).size(), noTmpfile ? 1 : 0);
        // A join into the folder takes the hidden half piece away.
        QVERIFY(tessal({"--join", path("p/new.kvs"), f + "/joined"}).exited(0));
        QCOMPARE(hidden(f), QStringList());
    }

    // Interrupted while EXTRACT works, tessal stops it and the output keeps the joined cabinet;
    // Ctrl-C on a terminal reaches EXTRACT as well, which must not read as a failed extraction.
    void extractionInterrupted_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("group"); // sent to the whole process group, as a terminal does
        QTest::newRow("SIGTERM") << int(SIGTERM) << false;
        QTest::newRow("Ctrl-C") << int(SIGINT) << true;
    }
    void extractionInterrupted()
    {
        QFETCH(int, signal);
        QFETCH(bool, group);
        const QString f = folder("extract");
        QVERIFY(QFile::copy(QStringLiteral(TESSAL_PATH), f + "/tessal"));
        QVERIFY(QFile::setPermissions(f + "/tessal", QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        QVERIFY(writeSlowExtract(f + "/EXTRACT", f + "/pid"));
        QVERIFY(splitWithStencil(f + "/c.kvs", f + "/c", "not really a cabinet", {10, 10}));
        QVERIFY(writeFile(f + "/out", "old"));
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), path("tmp"));
        process.setProcessEnvironment(env);
        process.setChildProcessModifier([] { ::setpgid(0, 0); });
        process.start(f + "/tessal", {"--join", f + "/c.kvs", f + "/out", "--compressed"});
        QTRY_VERIFY_WITH_TIMEOUT(readFile(f + "/pid").endsWith('\n'), 30000);
        QCOMPARE(::kill(group ? -pid_t(process.processId()) : pid_t(process.processId()), signal), 0);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
        QCOMPARE(process.exitCode(), signal);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()), QString());
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), QStringLiteral("Combine succeed 结合成功！！！\n"));
        QCOMPARE(readFile(f + "/out"), QByteArray("not really a cabinet"));
        QCOMPARE(::kill(readFile(f + "/pid").trimmed().toInt(), 0), -1);
        QVERIFY(QDir(path("tmp")).isEmpty());
    }

    // Only hidden files of ours whose maker is gone and that nobody holds are removed.
    void staleHiddenFiles_data()
    {
        QTest::addColumn<QString>("name"); // %1: a process id
        QTest::addColumn<QString>("maker"); // gone, alive, locked (gone but held open)
        QTest::addColumn<bool>("removed");
        QTest::newRow("maker gone") << ".film.avi.tessal-%1-Ab3dE9" << "gone" << true;
        QTest::newRow("maker alive") << ".film.avi.tessal-%1-Ab3dE9" << "alive" << false;
        QTest::newRow("still held") << ".film.avi.tessal-%1-Ab3dE9" << "locked" << false;
        QTest::newRow("not our name") << ".film.avi.tessal-%1-Ab3" << "gone" << false;
        QTest::newRow("not hidden") << "film.avi.tessal-%1-Ab3dE9" << "gone" << false;
    }
    void staleHiddenFiles()
    {
        QFETCH(QString, name);
        QFETCH(QString, maker);
        QFETCH(bool, removed);
        const QString f = folder("stale");
        qint64 pid = QCoreApplication::applicationPid();
        if (maker != u"alive") {
            // A process that has come and gone.
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0)
                ::_exit(0);
            QCOMPARE(::waitpid(child, nullptr, 0), child);
            pid = child;
        }
        const QString file = f + '/' + name.arg(pid);
        QVERIFY(writeFile(file, "left behind"));
        QFile held(file);
        if (maker == u"locked") {
            QVERIFY(held.open(QIODevice::ReadOnly));
            QCOMPARE(::flock(held.handle(), LOCK_EX), 0);
        }
        QVERIFY(tessal({"--join", path("p/new.kvs"), f + "/out"}).exited(0));
        QCOMPARE(QFile::exists(file), !removed);
    }

    // Folders and files closed to us are refused with 70 and left as they are; checked as an
    // ordinary user, since root passes every permission.
    void readOnly_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %1: the row's folder
        QTest::addColumn<QString>("err");
        QTest::newRow("new output in a read-only folder") << QStringList{"--join", "%1/ok.kvs", "%1/closed/out"}
                                                          << "Permission denied: %1/closed/out";
        QTest::newRow("read-only output") << QStringList{"--join", "%1/ok.kvs", "%1/locked"}
                                          << "Permission denied: %1/locked";
        QTest::newRow("unreadable stencil") << QStringList{"--join", "%1/secret.kvs", "%1/out"}
                                            << "Permission denied: %1/secret.kvs";
        QTest::newRow("unreadable piece") << QStringList{"--join", "%1/bad.kvs", "%1/out"}
                                          << "Permission denied: %1/bad.002";
        QTest::newRow("check, unreadable piece") << QStringList{"--check", "%1/bad.kvs"}
                                                 << "A join would fail: Permission denied: %1/bad.002";
        QTest::newRow("split into a read-only folder") << QStringList{"--split", "%1/ok.001", "1K", "%1/closed/x.kvs"}
                                                       << "Permission denied: %1/closed/ok.001.001";
        QTest::newRow("split of an unreadable file") << QStringList{"--split", "%1/secret.kvs", "1K"}
                                                     << "Permission denied: %1/secret.kvs";
    }
    void readOnly()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, err);
        if (::geteuid() == 0 && m_user.isEmpty())
            QSKIP(qPrintable(m_noUser));
        const QString f = folder("closed");
        QVERIFY(splitWithStencil(f + "/ok.kvs", f + "/ok", "data", {2, 2}));
        QVERIFY(splitWithStencil(f + "/bad.kvs", f + "/bad", "data", {2, 2}));
        QVERIFY(writeFile(f + "/secret.kvs", readFile(f + "/ok.kvs")));
        QVERIFY(writeFile(f + "/locked", "locked"));
        QVERIFY(QDir(f).mkdir("closed"));
        const auto mode = [&](const QString &name, mode_t bits) {
            return ::chmod(QFile::encodeName(f + '/' + name).constData(), bits) == 0;
        };
        QVERIFY(mode("closed", 0555) && mode("locked", 0444) && mode("secret.kvs", 0200) && mode("bad.002", 0200));
        const QStringList before = QDir(f).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        for (QString &a : arguments)
            a.replace(QStringLiteral("%1"), f);
        const Run r = tessal(arguments, {.user = m_user});
        QVERIFY2(r.err.endsWith(err.arg(f) + '\n'), qPrintable(r.err));
        QVERIFY(r.exited(1));
        QCOMPARE(QDir(f).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
        QCOMPARE(QDir(f + "/closed").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(readFile(f + "/locked"), QByteArray("locked"));
    }
};

QTEST_GUILESS_MAIN(tst_DataSafety)
#include "tst_datasafety.moc"
