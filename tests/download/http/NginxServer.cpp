#include "NginxServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

NginxServer::NginxServer()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("www"));
    QDir(m_dir.path()).mkpath(QStringLiteral("tmp"));
}

NginxServer::~NginxServer()
{
    stop();
}

QString NginxServer::root() const
{
    return m_dir.filePath(QStringLiteral("www"));
}

bool NginxServer::start()
{
    const QString nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"), {"/usr/sbin", "/usr/bin"});
    if (nginx.isEmpty()) {
        m_error = QStringLiteral("nginx is not installed");
        return false;
    }
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
    }
    const QString dir = m_dir.path();
    const QString config =
        QStringLiteral("daemon off; master_process off; user root; worker_processes 1;\n"
                       "pid %1/nginx.pid; error_log %1/error.log;\n"
                       "events { worker_connections 64; }\n"
                       "http { include /etc/nginx/mime.types; default_type application/octet-stream;\n"
                       "  access_log %1/access.log; client_body_temp_path %1/tmp/body;\n"
                       "  proxy_temp_path %1/tmp/proxy; fastcgi_temp_path %1/tmp/fastcgi;\n"
                       "  uwsgi_temp_path %1/tmp/uwsgi; scgi_temp_path %1/tmp/scgi;\n"
                       "  sendfile on;\n"
                       "  server { listen 127.0.0.1:%2; root %1/www;\n%3\n  }\n}\n")
            .arg(dir)
            .arg(m_port)
            .arg(m_serverLines);
    QFile file(m_dir.filePath(QStringLiteral("nginx.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        m_error = file.errorString();
        return false;
    }
    file.close();

    m_process.setProgram(nginx);
    m_process.setArguments({QStringLiteral("-p"), dir, QStringLiteral("-c"), file.fileName(),
                            QStringLiteral("-e"), m_dir.filePath(QStringLiteral("error.log"))});
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    // The server must not outlive the test, even when the test crashes.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        if (m_process.state() != QProcess::Running) {
            QFile log(m_dir.filePath(QStringLiteral("error.log")));
            log.open(QIODevice::ReadOnly);
            m_error = QStringLiteral("nginx stopped: ") + QString::fromLocal8Bit(log.readAll());
            return false;
        }
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    m_error = QStringLiteral("nginx does not answer");
    return false;
}

void NginxServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process.processId()), SIGQUIT);
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}
