#pragma once

#include "../PeerProcess.h"

#include <QString>
#include <QTemporaryDir>

/*!
    A real FTP server on loopback for the tests: vsftpd or pyftpdlib,
    anonymous and read-only, serving a folder on a free port; the system
    picks its passive ports. The server dies with the test process.
*/
class FtpPeer
{
public:
    enum Kind { Vsftpd, Pyftpdlib };

    explicit FtpPeer(Kind kind) : m_kind(kind) {}

    //! Why a server of \a kind cannot run here, or empty.
    static QString unavailable(Kind kind);

    //! Prepares the served folder and starts the server; empty, or why it failed.
    QString start();
    void stop() { m_process.stop(); }

    QString url(const QString &path) const { return QStringLiteral("ftp://127.0.0.1:%1%2").arg(m_port).arg(path); }

    //! Writes \a bytes to \a name in the served folder, world-readable.
    bool putFile(const QString &name, const QByteArray &bytes) const;

private:
    QString root() const { return m_work.path() + QStringLiteral("/root"); }

    Kind m_kind;
    QTemporaryDir m_work;
    PeerProcess m_process;
    quint16 m_port = 0;
};
