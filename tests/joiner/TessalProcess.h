#pragma once

// Runs tessal as a user would: without a display, optionally as another
// user, under strace to stop it at a chosen system call, or on a system that
// refuses unnamed temporary files.

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace TessalProcess {

struct Options
{
    QString user;          //!< run as this user (setpriv), the test's own when empty
    QStringList strace;    //!< strace's filter and injection arguments, none when empty
    bool noTmpfile = false; //!< the system answers unnamed temporary files with EOPNOTSUPP
    QString tmp;           //!< TMPDIR
    QStringList environment; //!< more NAME=VALUE entries
    QString program;       //!< another program than tessal
};

struct Result
{
    int exitCode = -1; //!< -1 when it did not end
    int signal = 0;    //!< the signal that ended it, 0 when it exited
    QString out;
    QString err;
    bool exited(int code) const { return signal == 0 && exitCode == code; }
};

//! A file system without O_TMPFILE answers it with EOPNOTSUPP; so does this filter.
inline void refuseTmpfile()
{
#if defined(__x86_64__)
    constexpr unsigned Arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr unsigned Arch = AUDIT_ARCH_AARCH64;
#else
#error "no seccomp architecture for this machine"
#endif
    static sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, Arch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        // O_TMPFILE's own bit; the rest of it is O_DIRECTORY, which opendir() uses too.
        BPF_STMT(BPF_ALU | BPF_AND | BPF_K, __O_TMPFILE & ~O_DIRECTORY),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __O_TMPFILE & ~O_DIRECTORY, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    static sock_fprog program = {sizeof filter / sizeof filter[0], filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0
        || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        ::_exit(126);
}

inline bool haveStrace()
{
    return !QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty();
}

//! Runs \a arguments with \a options and waits up to a minute for the end.
inline Result run(const QStringList &arguments, const Options &options = {})
{
    QString program = options.program.isEmpty() ? QStringLiteral(TESSAL_PATH) : options.program;
    QStringList all = arguments;
    if (!options.strace.isEmpty()) {
        all = QStringList{"-qq", "-o", "/dev/null"} + options.strace + QStringList{program} + all;
        program = QStringLiteral("strace");
    }
    if (!options.user.isEmpty()) {
        all = QStringList{"--reuid=" + options.user, "--regid=nogroup", "--clear-groups", program} + all;
        program = QStringLiteral("setpriv");
    }
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (!options.tmp.isEmpty())
        env.insert(QStringLiteral("TMPDIR"), options.tmp);
    for (const QString &entry : options.environment)
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    process.setProcessEnvironment(env);
    if (options.noTmpfile)
        process.setChildProcessModifier(refuseTmpfile);
    process.start(program, all);
    Result result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    // strace ends itself by the signal that ended tessal.
    if (process.exitStatus() == QProcess::CrashExit)
        result.signal = process.exitCode();
    else
        result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

} // namespace TessalProcess
