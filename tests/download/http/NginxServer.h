#pragma once

#include "../PeerProcess.h"

#include <QString>
#include <QTemporaryDir>

/*!
    nginx on a free loopback port, serving a folder of static files, for
    tests. It runs as one process that dies with the test.
*/
class NginxServer
{
public:
    NginxServer();

    //! The folder served; fill it before start().
    QString root() const { return m_dir.filePath(QStringLiteral("www")); }
    //! Extra lines inside the server block; "{port}" stands for the plain port.
    void setServerLines(const QString &lines) { m_serverLines = lines; }
    //! Extra lines inside the http block, such as further server blocks.
    void setHttpLines(const QString &lines) { m_httpLines = lines; }

    //! Starts nginx and waits until it answers; false with errorString() otherwise.
    bool start();
    void stop() { m_process.stop(); }

    quint16 port() const { return m_port; }
    QString hostText() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    QString errorString() const { return m_error; }

private:
    QTemporaryDir m_dir;
    PeerProcess m_process;
    QString m_serverLines;
    QString m_httpLines;
    QString m_error;
    quint16 m_port = 0;
};
