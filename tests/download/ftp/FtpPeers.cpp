#include "FtpPeers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr auto ReadAll = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
    | QFileDevice::ReadOther;
constexpr auto ExecAll = QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

bool portFree(quint16 port)
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, port);
}

} // namespace

quint16 FtpPeer::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

quint16 FtpPeer::freePortRange(int count)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const quint16 base = quint16(QRandomGenerator::global()->bounded(20000, 60000 - count));
        bool free = true;
        for (int i = 0; free && i < count; ++i)
            free = portFree(quint16(base + i));
        if (free)
            return base;
    }
    return 0;
}

QString FtpPeer::url(const QString &path) const
{
    return QStringLiteral("ftp://127.0.0.1:%1%2").arg(m_port).arg(path);
}

bool FtpPeer::putFile(const QString &name, const QByteArray &bytes) const
{
    QFile file(root() + u'/' + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return file.setPermissions(ReadAll);
}

bool FtpPeer::start(QString *error)
{
    if (!m_work.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    // The anonymous user must reach the root but not write to it.
    QFile::setPermissions(m_work.path(), ReadAll | ExecAll);
    QDir(m_work.path()).mkpath(QStringLiteral("root"));
    QDir(m_work.path()).mkpath(QStringLiteral("empty"));
    QFile::setPermissions(root(), ReadAll | ExecAll);
    QFile::setPermissions(m_work.path() + QStringLiteral("/empty"), ReadAll | ExecAll);

    m_port = freePort();
    const int rangeSize = 200;
    const quint16 passive = freePortRange(rangeSize);
    if (!m_port || !passive) {
        *error = QStringLiteral("no free ports");
        return false;
    }

    QString program;
    QStringList arguments;
    if (m_kind == Vsftpd) {
        const QString conf = m_work.path() + QStringLiteral("/vsftpd.conf");
        QFile file(conf);
        if (!file.open(QIODevice::WriteOnly)) {
            *error = QStringLiteral("cannot write %1").arg(conf);
            return false;
        }
        const QStringList lines{
            QStringLiteral("listen=YES"), QStringLiteral("listen_ipv6=NO"),
            QStringLiteral("listen_address=127.0.0.1"), QStringLiteral("listen_port=%1").arg(m_port),
            QStringLiteral("background=NO"), QStringLiteral("anonymous_enable=YES"),
            QStringLiteral("local_enable=NO"), QStringLiteral("write_enable=NO"),
            QStringLiteral("anon_root=%1").arg(root()),
            QStringLiteral("secure_chroot_dir=%1/empty").arg(m_work.path()),
            QStringLiteral("pasv_enable=YES"), QStringLiteral("pasv_min_port=%1").arg(passive),
            QStringLiteral("pasv_max_port=%1").arg(passive + rangeSize - 1),
            QStringLiteral("seccomp_sandbox=NO"), QStringLiteral("isolate=NO"),
            QStringLiteral("isolate_network=NO"), QStringLiteral("xferlog_enable=NO"),
            QStringLiteral("dirmessage_enable=NO"), QStringLiteral("connect_from_port_20=NO"),
        };
        file.write(lines.join(u'\n').toUtf8() + '\n');
        file.close();
        // Owned by root and not writable by others, as vsftpd insists.
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        program = QStringLiteral("/usr/sbin/vsftpd");
        arguments << conf;
    } else {
        program = QStringLiteral("/usr/bin/python3");
        arguments << QStringLiteral("-m") << QStringLiteral("pyftpdlib") << QStringLiteral("-i")
                  << QStringLiteral("127.0.0.1") << QStringLiteral("-p") << QString::number(m_port)
                  << QStringLiteral("-d") << root() << QStringLiteral("-r")
                  << QStringLiteral("%1-%2").arg(passive).arg(passive + rangeSize - 1);
    }
    if (!QFile::exists(program)) {
        *error = QStringLiteral("%1 is not installed").arg(program);
        return false;
    }
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setChildProcessModifier([] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() == 1)
            ::_exit(1);
        // vsftpd reports start-up failures on its standard input.
        ::dup2(1, 0);
    });
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("%1 did not start: %2").arg(program, m_process.errorString());
        return false;
    }
    return waitUntilListening(error);
}

bool FtpPeer::waitUntilListening(QString *error)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        if (m_process.state() != QProcess::Running) {
            *error = QStringLiteral("server exited: %1").arg(QString::fromLocal8Bit(m_process.readAll()));
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(500) && probe.waitForReadyRead(2000)) {
            probe.abort();
            return true;
        }
        QThread::msleep(50);
    }
    *error = QStringLiteral("server did not answer: %1").arg(QString::fromLocal8Bit(m_process.readAll()));
    return false;
}

void FtpPeer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}
