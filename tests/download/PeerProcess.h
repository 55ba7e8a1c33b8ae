#pragma once

#include <QEventLoop>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <csignal>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

/*!
    A server program started by a test on a loopback port. It dies with the
    test process, even on a crash (parent-death signal), and stop() or the
    destructor ends it.
*/
class PeerProcess
{
public:
    ~PeerProcess() { stop(); }

    //! A loopback port nothing listens on, for the moment.
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    //! \a path (such as "/usr/sbin/nginx") in the private copy of the test
    //! servers named by TESSAL_PEERS, or on the system when that is unset.
    static QString installed(const QString &path)
    {
        return qEnvironmentVariable("TESSAL_PEERS") + path;
    }

    //! Starts \a program and waits, running the event loop, until \a port of
    //! \a address takes connections and, if the server \a greets, speaks
    //! first; empty, or why it failed, with what the server said.
    QString start(const QString &program, const QStringList &arguments, quint16 port, bool greets,
                  const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
    {
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
            return program + QStringLiteral(" did not start: ") + m_process.errorString();

        QEventLoop loop;
        bool ready = false;
        std::unique_ptr<QTcpSocket> probe;
        QTimer retry;
        retry.setSingleShot(true);
        retry.setInterval(50);
        const auto answered = [&] {
            ready = true;
            loop.quit();
        };
        QObject::connect(&retry, &QTimer::timeout, &loop, [&] {
            probe = std::make_unique<QTcpSocket>();
            QObject::connect(probe.get(), &QTcpSocket::connected, &loop, [&] {
                if (!greets)
                    answered();
            });
            QObject::connect(probe.get(), &QTcpSocket::readyRead, &loop, answered);
            QObject::connect(probe.get(), &QTcpSocket::errorOccurred, &retry, qOverload<>(&QTimer::start));
            probe->connectToHost(address, port);
        });
        QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        retry.start(0);
        loop.exec();
        if (ready)
            return {};
        if (m_process.state() == QProcess::NotRunning)
            return QStringLiteral("%1 stopped (exit status %2): %3")
                .arg(program)
                .arg(m_process.exitCode())
                .arg(QString::fromLocal8Bit(m_process.readAll()).trimmed());
        return program + QStringLiteral(" does not answer: ") + QString::fromLocal8Bit(m_process.readAll()).trimmed();
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

private:
    QProcess m_process;
};
