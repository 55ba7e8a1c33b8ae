#pragma once

#include "../../TestFiles.h"
#include "../PeerProcess.h"

#include <QDir>
#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

/*!
    A real FTP server on loopback for the tests: vsftpd or pyftpdlib,
    anonymous and read-only, or pure-ftpd or proftpd with one virtual user,
    serving a folder on a free port of 127.0.0.1 or, for an IPv6 peer, ::1;
    the system picks its passive ports. vsftpd, pure-ftpd and proftpd are
    the private copies that scripts/fetch-peers.sh unpacks. The server dies
    with the test process.
*/
class FtpPeer
{
public:
    enum Kind {
        Vsftpd,
        Pyftpdlib,
        //! A virtual user logs in.
        PureFtpd,
        //! A virtual user logs in, to a folder that is not its root: url() names the whole path.
        ProFtpd,
    };

    explicit FtpPeer(Kind kind, bool ipv6 = false) : m_kind(kind), m_ipv6(ipv6) {}

    //! Why a server of \a kind cannot run here, or empty.
    static QString unavailable(Kind kind)
    {
        if (::geteuid() == 0 || kind == Pyftpdlib || kind == ProFtpd)
            return {};
        if (kind == Vsftpd)
            return QStringLiteral("vsftpd runs only as root (it locks the anonymous user into its folder); "
                                  "run the tests as root to include it");
        return QStringLiteral("pure-ftpd logs a user in only when started as root (it answers PASS with "
                              "\"421 Sorry, but I can't trust you\"); run the tests as root to include it");
    }

    //! Prepares the served folder and starts the server; empty, or why it failed.
    QString start()
    {
        if (!m_work.isValid())
            return QStringLiteral("no temporary folder");
        // The anonymous user must reach the root but not write to it.
        const auto reachable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
            | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
        const QString empty = m_work.path() + QStringLiteral("/empty");
        for (const QString &dir : {m_work.path(), root(), empty}) {
            if (!QDir().mkpath(dir) || !QFile::setPermissions(dir, reachable))
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
        if (m_kind == ProFtpd)
            return startProFtpd(address);
        const QString conf = m_work.path() + QStringLiteral("/vsftpd.conf");
        const QByteArray text = QStringLiteral(
            "%4\nlisten_port=%1\nbackground=NO\n"
            "anonymous_enable=YES\nlocal_enable=NO\nwrite_enable=NO\nanon_root=%2\nsecure_chroot_dir=%3\n"
            "pasv_enable=YES\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\nxferlog_enable=NO\n"
            "dirmessage_enable=NO\nconnect_from_port_20=NO\nftp_username=daemon\n")
            .arg(m_port)
            .arg(root(), empty,
                 m_ipv6 ? QStringLiteral("listen=NO\nlisten_ipv6=YES\nlisten_address6=::1")
                        : QStringLiteral("listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1"))
            .toUtf8();
        // The anonymous session runs as an account every Debian has, not the
        // "ftp" that only vsftpd's package makes; vsftpd enters its home
        // before anon_root, so it must be one whose home exists.
        // Not writable by others, as vsftpd insists.
        if (!writeFile(conf, text) || !QFile::setPermissions(conf, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return QStringLiteral("cannot write %1").arg(conf);
        return m_process.start(PeerProcess::installed(QStringLiteral("/usr/sbin/vsftpd")), {conf}, m_port, true, address);
    }

    //! The address of \a path in the served folder, escaped as the caller wrote it.
    QString url(const QString &path) const
    {
        const QString host = m_ipv6 ? QStringLiteral("[::1]") : QStringLiteral("127.0.0.1");
        return QStringLiteral("ftp://") + host + u':' + QString::number(m_port)
            + (m_kind == ProFtpd ? root() : QString()) + path;
    }

    //! Whether the server wants user() and password() rather than anonymous.
    bool needsLogin() const { return m_kind == PureFtpd || m_kind == ProFtpd; }

    //! The login for PureFtpd and ProFtpd; the others take anonymous.
    static QString user() { return QStringLiteral("tester"); }
    static QString password() { return QStringLiteral("secret"); }

    //! Writes \a bytes to \a name in the served folder, world-readable.
    bool putFile(const QString &name, const QByteArray &bytes) const { return writeFile(root() + u'/' + name, bytes); }
    //! Writes a sparse file of \a size bytes to \a name, holes but for \a tail at its end.
    bool putSparseFile(const QString &name, qint64 size, const QByteArray &tail) const
    {
        QFile file(root() + u'/' + name);
        return putFile(name, {}) && file.open(QIODevice::Append) && file.resize(size - tail.size())
            && file.write(tail) == tail.size();
    }

private:
    QString startPureFtpd(const QHostAddress &address)
    {
        const QString users = m_work.path() + QStringLiteral("/users");
        QProcess pw;
        pw.setProcessChannelMode(QProcess::MergedChannels);
        pw.start(PeerProcess::installed(QStringLiteral("/usr/bin/pure-pw")),
                 {QStringLiteral("useradd"), user(), QStringLiteral("-u"), QStringLiteral("65534"), QStringLiteral("-g"),
                  QStringLiteral("65534"), QStringLiteral("-d"), root(), QStringLiteral("-f"), users, QStringLiteral("-m"),
                  QStringLiteral("-F"), users + QStringLiteral(".pdb")});
        pw.write((password() + u'\n' + password() + u'\n').toUtf8());
        pw.closeWriteChannel();
        if (!pw.waitForFinished(30000) || pw.exitStatus() != QProcess::NormalExit || pw.exitCode() != 0)
            return QStringLiteral("cannot add the pure-ftpd user: ") + pw.errorString() + u' '
                + QString::fromLocal8Bit(pw.readAll());
        // No anonymous login, virtual users only, any user id.
        return m_process.start(PeerProcess::installed(QStringLiteral("/usr/sbin/pure-ftpd")),
                               {QStringLiteral("-S"), address.toString() + u',' + QString::number(m_port),
                                QStringLiteral("-l"), QStringLiteral("puredb:") + users + QStringLiteral(".pdb"),
                                QStringLiteral("-E"), QStringLiteral("-u"), QStringLiteral("1")},
                               m_port, true, address);
    }

    QString startProFtpd(const QHostAddress &address)
    {
        // The virtual user is whoever runs the server: as root, nobody; else the test's own user,
        // with no folder to lock it in (that takes root), hence the whole paths of url().
        const bool asRoot = ::geteuid() == 0;
        const passwd *account = asRoot ? ::getpwnam("nobody") : ::getpwuid(::geteuid());
        const group *team = asRoot ? ::getgrnam("nogroup") : ::getgrgid(::getegid());
        if (!account || !team)
            return QStringLiteral("no account to run proftpd as");
        const QString dir = m_work.path();
        const QString users = dir + QStringLiteral("/passwd"), groups = dir + QStringLiteral("/group");
        // "secret", as openssl passwd -1 -salt tessal hashes it.
        const QByteArray hash = "$1$tessal$f3.CyDLSJNEkiJb95/8o30";
        const QByteArray uid = QByteArray::number(account->pw_uid), gid = QByteArray::number(team->gr_gid);
        const QString conf = dir + QStringLiteral("/proftpd.conf");
        const QByteArray text = QStringLiteral(
            "ServerType standalone\nDefaultServer on\nServerName \"tessal tests\"\nPort %1\nDefaultAddress %2\n"
            "SocketBindTight on\nUseIPv6 %3\nUser %4\nGroup %5\nPidFile %6/proftpd.pid\n"
            "ScoreboardFile %6/proftpd.scoreboard\nDelayTable none\nWtmpLog off\nTransferLog none\n"
            "SystemLog %6/proftpd.log\nAuthOrder mod_auth_file.c\nAuthUserFile %7\nAuthGroupFile %8\n"
            "RequireValidShell off\nUseReverseDNS off\n<IfModule mod_ctrls.c>\nControlsEngine off\n</IfModule>\n"
            "<Limit WRITE>\nDenyAll\n</Limit>\n")
            .arg(m_port)
            .arg(address.toString(), m_ipv6 ? QStringLiteral("on") : QStringLiteral("off"),
                 QString::fromLocal8Bit(account->pw_name), QString::fromLocal8Bit(team->gr_name), dir, users, groups)
            .toUtf8();
        const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        // proftpd refuses login files that others may read.
        const QByteArray entry = user().toUtf8() + ':' + hash + ':' + uid + ':' + gid + "::" + root().toUtf8() + ":/bin/false\n";
        if (!writeFile(users, entry)
            || !writeFile(groups, QByteArray(team->gr_name) + ":x:" + gid + ":\n") || !writeFile(conf, text)
            || !QFile::setPermissions(users, ownerOnly) || !QFile::setPermissions(groups, ownerOnly))
            return QStringLiteral("cannot write the proftpd configuration in %1").arg(dir);
        return m_process.start(PeerProcess::installed(QStringLiteral("/usr/sbin/proftpd")),
                               {QStringLiteral("-n"), QStringLiteral("-q"), QStringLiteral("-c"), conf}, m_port, true,
                               address);
    }

    QString root() const { return m_work.path() + QStringLiteral("/root"); }

    Kind m_kind;
    bool m_ipv6 = false;
    QTemporaryDir m_work;
    PeerProcess m_process;
    quint16 m_port = 0;
};
