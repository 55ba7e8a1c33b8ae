#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <utility>

/*!
    A real FTP server on loopback for the tests: vsftpd or pyftpdlib,
    anonymous and read-only, serving a folder on a free port with a free
    passive port range. The server dies with the test process (parent-death
    signal) and is stopped by stop() or the destructor.
*/
class FtpPeer
{
public:
    enum Kind { Vsftpd, Pyftpdlib };

    explicit FtpPeer(Kind kind) : m_kind(kind) {}
    ~FtpPeer() { stop(); }
    FtpPeer(const FtpPeer &) = delete;
    FtpPeer &operator=(const FtpPeer &) = delete;

    //! The folder served; files put there must be world-readable.
    QString root() const { return m_work.path() + QStringLiteral("/root"); }

    //! Prepares root() and starts the server; on failure \a error says why.
    bool start(QString *error);
    void stop();

    quint16 port() const { return m_port; }
    QString url(const QString &path) const;

    //! Writes \a bytes to \a name in root(), world-readable.
    bool putFile(const QString &name, const QByteArray &bytes) const;

    static quint16 freePort();
    //! The first of \a count consecutive free loopback ports.
    static quint16 freePortRange(int count);

private:
    bool waitUntilListening(QString *error);

    Kind m_kind;
    QTemporaryDir m_work;
    QProcess m_process;
    quint16 m_port = 0;
};
