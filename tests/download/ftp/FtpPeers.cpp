#include "FtpPeers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr auto ReadAll = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
    | QFileDevice::ReadOther;
constexpr auto ExecAll = QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

} // namespace

quint16 FtpPeer::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool FtpPeer::putFile(const QString &name, const QByteArray &bytes) const
{
    QFile file(root() + u'/' + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return file.setPermissions(ReadAll);
}

QString FtpPeer::start()
{
    if (!m_work.isValid())
        return QStringLiteral("no temporary folder");
    // The anonymous user must reach the root but not write to it.
    const QString empty = m_work.path() + QStringLiteral("/empty");
    for (const QString &dir : {m_work.path(), root(), empty}) {
        if (!QDir().mkpath(dir) || !QFile::setPermissions(dir, ReadAll | ExecAll))
            return QStringLiteral("cannot prepare %1").arg(dir);
    }
    m_port = freePort();
    if (!m_port)
        return QStringLiteral("no free port");

    QString program = QStringLiteral("/usr/bin/python3");
    QStringList arguments{QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"),
                          QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(m_port),
                          QStringLiteral("-d"), root()};
    if (m_kind == Vsftpd) {
        QFile conf(m_work.path() + QStringLiteral("/vsftpd.conf"));
        const QByteArray text = QStringLiteral(
            "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
            "anonymous_enable=YES\nlocal_enable=NO\nwrite_enable=NO\nanon_root=%2\nsecure_chroot_dir=%3\n"
            "pasv_enable=YES\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\nxferlog_enable=NO\n"
            "dirmessage_enable=NO\nconnect_from_port_20=NO\n")
            .arg(m_port).arg(root(), empty).toUtf8();
        // Not writable by others, as vsftpd insists.
        if (!conf.open(QIODevice::WriteOnly) || conf.write(text) != text.size()
            || !conf.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return QStringLiteral("cannot write %1").arg(conf.fileName());
        program = QStringLiteral("/usr/sbin/vsftpd");
        arguments = QStringList{conf.fileName()};
    }
    if (!QFile::exists(program))
        return QStringLiteral("%1 is not installed").arg(program);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setChildProcessModifier([] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() == 1)
            ::_exit(1);
        // vsftpd reports start-up failures on its standard input.
        ::dup2(1, 0);
    });
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(5000))
        return QStringLiteral("%1 did not start: %2").arg(program, m_process.errorString());
    return waitUntilListening();
}

QString FtpPeer::waitUntilListening()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000 && m_process.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(500) && probe.waitForReadyRead(2000))
            return {};
        QThread::msleep(50);
    }
    return QStringLiteral("server did not answer: %1").arg(QString::fromLocal8Bit(m_process.readAll()));
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
