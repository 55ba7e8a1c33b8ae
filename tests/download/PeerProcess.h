#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
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

    //! Starts \a program and waits until \a port of \a address takes connections
    //! and, if the server \a greets, speaks first; empty, or why it failed.
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
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 && m_process.state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(address, port);
            if (probe.waitForConnected(500) && (!greets || probe.waitForReadyRead(2000)))
                return {};
            QThread::msleep(50);
        }
        return program + QStringLiteral(" does not answer: ") + QString::fromLocal8Bit(m_process.readAll());
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
