#pragma once

#include "../../TestFiles.h"
#include "../PeerProcess.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

/*!
    nginx on a free loopback port, serving a folder of static files, for
    tests. It runs as one process that dies with the test.
*/
class NginxServer
{
public:
    NginxServer()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("www"));
        QDir(m_dir.path()).mkpath(QStringLiteral("tmp"));
    }

    //! The folder served; fill it before start().
    QString root() const { return m_dir.filePath(QStringLiteral("www")); }
    //! Extra lines inside the server block; "{port}" stands for the plain port.
    void setServerLines(const QString &lines) { m_serverLines = lines; }
    //! Extra lines inside the http block, such as further server blocks.
    void setHttpLines(const QString &lines) { m_httpLines = lines; }

    //! Starts nginx and waits until it answers; false with errorString() otherwise.
    bool start()
    {
        const QString nginx = PeerProcess::installed(QStringLiteral("/usr/sbin/nginx"));
        if (!QFileInfo(nginx).isExecutable()) {
            m_error = nginx + QStringLiteral(" is missing (see scripts/fetch-peers.sh)");
            return false;
        }
        m_port = PeerProcess::freePort();
        const QString dir = m_dir.path();
        const QString conf = m_dir.filePath(QStringLiteral("nginx.conf"));
        const QString log = m_dir.filePath(QStringLiteral("error.log"));
        const QString config =
            QStringLiteral("daemon off; master_process off; user root; worker_processes 1;\n"
                           "pid %1/nginx.pid; error_log %1/error.log;\n"
                           "events { worker_connections 64; }\n"
                           "http { include %5/etc/nginx/mime.types; default_type application/octet-stream;\n"
                           "  access_log %1/access.log; client_body_temp_path %1/tmp/body;\n"
                           "  proxy_temp_path %1/tmp/proxy; fastcgi_temp_path %1/tmp/fastcgi;\n"
                           "  uwsgi_temp_path %1/tmp/uwsgi; scgi_temp_path %1/tmp/scgi;\n"
                           "  sendfile on;\n"
                           "  server { listen 127.0.0.1:%2; root %1/www;\n%3\n  }\n%4\n}\n")
                .arg(dir)
                .arg(m_port)
                .arg(QString(m_serverLines).replace(QStringLiteral("{port}"), QString::number(m_port)), m_httpLines,
                     PeerProcess::installed({}));
        m_error = writeFile(conf, config.toUtf8())
                      ? m_process.start(nginx, {QStringLiteral("-p"), dir, QStringLiteral("-c"), conf,
                                                QStringLiteral("-e"), log}, m_port, false)
                      : QStringLiteral("cannot write ") + conf;
        if (!m_error.isEmpty())
            m_error += QString::fromLocal8Bit(readFile(log));
        return m_error.isEmpty();
    }

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
