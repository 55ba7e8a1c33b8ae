#include "FtpPeers.h"

#include "../../TestFiles.h"

#include <QDir>

#include <unistd.h>

namespace {

constexpr auto ReadAll = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
    | QFileDevice::ReadOther;
constexpr auto ExecAll = QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

} // namespace

bool FtpPeer::putFile(const QString &name, const QByteArray &bytes) const
{
    const QString path = root() + u'/' + name;
    return writeFile(path, bytes) && QFile::setPermissions(path, ReadAll);
}

QString FtpPeer::unavailable(Kind kind)
{
    if (kind == Vsftpd && ::geteuid() != 0)
        return QStringLiteral("vsftpd runs only as root (it locks the anonymous user into its folder); "
                              "run the tests as root to include it");
    return {};
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
    m_port = PeerProcess::freePort();
    if (m_kind == Pyftpdlib)
        return m_process.start(QStringLiteral("/usr/bin/python3"),
                               {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"),
                                QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(m_port),
                                QStringLiteral("-d"), root()},
                               m_port, true);
    const QString conf = m_work.path() + QStringLiteral("/vsftpd.conf");
    const QByteArray text = QStringLiteral(
        "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
        "anonymous_enable=YES\nlocal_enable=NO\nwrite_enable=NO\nanon_root=%2\nsecure_chroot_dir=%3\n"
        "pasv_enable=YES\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\nxferlog_enable=NO\n"
        "dirmessage_enable=NO\nconnect_from_port_20=NO\n")
        .arg(m_port).arg(root(), empty).toUtf8();
    // Not writable by others, as vsftpd insists.
    if (!writeFile(conf, text) || !QFile::setPermissions(conf, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return QStringLiteral("cannot write %1").arg(conf);
    return m_process.start(PeerProcess::installed(QStringLiteral("/usr/sbin/vsftpd")), {conf}, m_port, true);
}
