#pragma once

#include "../../TestFiles.h"
#include "../PeerProcess.h"

#include <QHostAddress>
#include <QString>
#include <QTemporaryDir>

/*!
    A real FTP server on loopback for the tests: vsftpd or pyftpdlib,
    anonymous and read-only, serving a folder on a free port of 127.0.0.1
    or, for an IPv6 peer, ::1; the system picks its passive ports. The
    server dies with the test process.
*/
class FtpPeer
{
public:
    enum Kind {
        Vsftpd,
        Pyftpdlib,
        //! A private copy unpacked from Debian's package into the build tree
        //! (Debian's FTP servers conflict as packages); a virtual user logs in.
        PureFtpd,
    };

    explicit FtpPeer(Kind kind, bool ipv6 = false) : m_kind(kind), m_ipv6(ipv6) {}

    //! Why a server of \a kind cannot run here, or empty.
    static QString unavailable(Kind kind);

    //! Prepares the served folder and starts the server; empty, or why it failed.
    QString start();
    void stop() { m_process.stop(); }

    QString url(const QString &path) const
    {
        return QStringLiteral("ftp://%1:%2%3").arg(m_ipv6 ? QStringLiteral("[::1]") : QStringLiteral("127.0.0.1")).arg(m_port).arg(path);
    }

    //! The login for PureFtpd; the others take anonymous.
    static QString user() { return QStringLiteral("tester"); }
    static QString password() { return QStringLiteral("secret"); }

    //! Writes \a bytes to \a name in the served folder, world-readable.
    bool putFile(const QString &name, const QByteArray &bytes) const { return writeFile(root() + u'/' + name, bytes); }
    //! Writes a sparse file of \a size bytes to \a name, holes but for \a tail at its end.
    bool putSparseFile(const QString &name, qint64 size, const QByteArray &tail) const;

private:
    QString startPureFtpd(const QHostAddress &address);
    QString root() const { return m_work.path() + QStringLiteral("/root"); }

    Kind m_kind;
    bool m_ipv6 = false;
    QTemporaryDir m_work;
    PeerProcess m_process;
    quint16 m_port = 0;
};
