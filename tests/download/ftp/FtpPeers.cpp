#include "FtpPeers.h"

#include <QDir>
#include <QProcess>

#include <unistd.h>

namespace {

constexpr auto ReadAll = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
    | QFileDevice::ReadOther;
constexpr auto ExecAll = QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

} // namespace

bool FtpPeer::putSparseFile(const QString &name, qint64 size, const QByteArray &tail) const
{
    QFile file(root() + u'/' + name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(size) && file.seek(size - tail.size())
        && file.write(tail) == tail.size() && file.setPermissions(ReadAll);
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
    const QHostAddress address(m_ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
    m_port = PeerProcess::freePort();
    if (m_kind == Pyftpdlib)
        return m_process.start(QStringLiteral("/usr/bin/python3"),
                               {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"),
                                address.toString(), QStringLiteral("-p"), QString::number(m_port),
                                QStringLiteral("-d"), root()},
                               m_port, true, address);
    if (m_kind == PureFtpd)
        return startPureFtpd(address);
    const QString conf = m_work.path() + QStringLiteral("/vsftpd.conf");
    const QByteArray text = QStringLiteral(
        "%4\nlisten_port=%1\nbackground=NO\n"
        "anonymous_enable=YES\nlocal_enable=NO\nwrite_enable=NO\nanon_root=%2\nsecure_chroot_dir=%3\n"
        "pasv_enable=YES\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\nxferlog_enable=NO\n"
        "dirmessage_enable=NO\nconnect_from_port_20=NO\n")
        .arg(m_port)
        .arg(root(), empty,
             m_ipv6 ? QStringLiteral("listen=NO\nlisten_ipv6=YES\nlisten_address6=::1")
                    : QStringLiteral("listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1"))
        .toUtf8();
    // Not writable by others, as vsftpd insists.
    if (!writeFile(conf, text) || !QFile::setPermissions(conf, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return QStringLiteral("cannot write %1").arg(conf);
    return m_process.start(PeerProcess::installed(QStringLiteral("/usr/sbin/vsftpd")), {conf}, m_port, true, address);
}

QString FtpPeer::startPureFtpd(const QHostAddress &address)
{
    // Unpacked from Debian's archive once per build tree, never installed; one virtual user.
    const QString tree = QStringLiteral(FTP_PEERS_DIR "/pure-ftpd");
    const QString users = m_work.path() + QStringLiteral("/users");
    QProcess prepare;
    prepare.setProcessChannelMode(QProcess::MergedChannels);
    prepare.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-ec"), QStringLiteral(R"(
        if [ ! -x "$1/usr/sbin/pure-ftpd" ]; then
            rm -rf "$1.deb" && mkdir -p "$1.deb" && cd "$1.deb"
            apt-get download pure-ftpd && dpkg-deb -x pure-ftpd_*.deb "$1"
        fi
        printf '%s\n%s\n' "$4" "$4" | "$1/usr/bin/pure-pw" useradd "$3" -u 65534 -g 65534 -d "$2" -f "$5" -m -F "$5.pdb")"),
                   QStringLiteral("sh"), tree, root(), user(), password(), users});
    if (!prepare.waitForFinished(120000) || prepare.exitStatus() != QProcess::NormalExit || prepare.exitCode() != 0)
        return QStringLiteral("cannot prepare pure-ftpd: ") + QString::fromLocal8Bit(prepare.readAll());
    // No anonymous login, virtual users only, any user id.
    return m_process.start(tree + QStringLiteral("/usr/sbin/pure-ftpd"),
                           {QStringLiteral("-S"), address.toString() + u',' + QString::number(m_port),
                            QStringLiteral("-l"), QStringLiteral("puredb:") + users + QStringLiteral(".pdb"),
                            QStringLiteral("-E"), QStringLiteral("-u"), QStringLiteral("1")},
                           m_port, true, address);
}
