#pragma once

// Runs tessal as a user would: without a display, optionally as another
// user, under strace to stop it at a chosen system call, or on a system that
// has no unnamed temporary files or cannot reserve space.

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

#include <vector>

namespace TessalProcess {

// Every member has a default, so that callers name only what they set: {.strace = ...}.
struct Options
{
    QString user = {};          //!< run as this user (setpriv), the test's own when empty
    QStringList strace = {};    //!< strace's filter and injection arguments, none when empty
    bool noTmpfile = false;     //!< the system answers unnamed temporary files with EOPNOTSUPP
    bool noFallocate = false;   //!< the system cannot reserve space
    QString tmp = {};           //!< TMPDIR
    QString program = {};       //!< another program than tessal
};

struct Result
{
    int exitCode = -1; //!< -1 when it did not end
    int signal = 0;    //!< the signal that ended it, 0 when it exited
    QString out;
    QString err;
    bool exited(int code) const { return signal == 0 && exitCode == code; }
};

/*!
    A seccomp filter that answers what a file system without the feature
    answers, EOPNOTSUPP: to unnamed temporary files (O_TMPFILE) when
    \a tmpfile, to space reservations (fallocate) when \a fallocate.
*/
inline std::vector<sock_filter> refusals(bool tmpfile, bool fallocate)
{
#if defined(__x86_64__)
    constexpr unsigned Arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr unsigned Arch = AUDIT_ARCH_AARCH64;
#else
#error "no seccomp architecture for this machine"
#endif
    // O_TMPFILE's own bit; the rest of it is O_DIRECTORY, which opendir() uses too.
    constexpr unsigned TmpfileBit = __O_TMPFILE & ~O_DIRECTORY;
    const sock_filter refuse = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP);
    const sock_filter allow = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    std::vector<sock_filter> filter{
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, Arch, 1, 0),
        allow,
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
    if (fallocate) {
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fallocate, 0, 1));
        filter.push_back(refuse);
    }
    if (tmpfile) {
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 4));
        filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])));
        filter.push_back(BPF_STMT(BPF_ALU | BPF_AND | BPF_K, TmpfileBit));
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, TmpfileBit, 0, 1));
        filter.push_back(refuse);
    }
    filter.push_back(allow);
    return filter;
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
    // A sanitizer build's leak check cannot run under ptrace and would fail the exit.
    if (!options.strace.isEmpty())
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    process.setProcessEnvironment(env);
    std::vector<sock_filter> filter = refusals(options.noTmpfile, options.noFallocate);
    const sock_fprog refusing{static_cast<unsigned short>(filter.size()), filter.data()};
    if (options.noTmpfile || options.noFallocate) {
        process.setChildProcessModifier([&refusing] {
            if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0
                || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &refusing) != 0)
                ::_exit(126);
        });
    }
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
