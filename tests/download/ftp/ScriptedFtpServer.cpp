#include "ScriptedFtpServer.h"

#include <QTimer>

#include <utility>

ScriptedFtpServer::ScriptedFtpServer(const QHostAddress &address)
{
    m_control.listen(address, 0);
    m_data.listen(address, 0);
    connect(&m_control, &QTcpServer::newConnection, this, &ScriptedFtpServer::onControlConnection);
    connect(&m_data, &QTcpServer::newConnection, this, &ScriptedFtpServer::onDataConnection);
}

void ScriptedFtpServer::sendData(const QByteArray &bytes)
{
    m_dataQueue += bytes;
    if (m_dataClient)
        m_dataClient->write(std::exchange(m_dataQueue, {}));
}

void ScriptedFtpServer::closeData()
{
    if (m_dataClient && m_dataQueue.isEmpty())
        m_dataClient->disconnectFromHost();
    else
        m_closeDataWhenSent = true;
}

void ScriptedFtpServer::onControlConnection()
{
    // A new session replaces the one before.
    if (m_client)
        m_client->disconnect(this);
    m_client = m_control.nextPendingConnection();
    m_pending.clear();
    ++m_controlConnections;
    connect(m_client, &QTcpSocket::readyRead, this, &ScriptedFtpServer::readCommands);
    for (int i = 0; i < m_greeting.size(); ++i) {
        QTimer::singleShot(m_greetingGap * i, m_client, [this, i] {
            if (i == m_greeting.size() - 1)
                m_commandsBeforeGreeted = int(m_commands.size());
            send(m_greeting[i]);
        });
    }
}

void ScriptedFtpServer::onDataConnection()
{
    ++m_dataConnections;
    m_dataClient = m_data.nextPendingConnection();
    sendData({});
    if (std::exchange(m_closeDataWhenSent, false))
        m_dataClient->disconnectFromHost();
}

void ScriptedFtpServer::readCommands()
{
    m_pending += m_client->readAll();
    for (qsizetype end; m_client && (end = m_pending.indexOf("\r\n")) >= 0;) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 2);
        m_commands.append(line);
        const qsizetype blank = line.indexOf(' ');
        const QByteArray verb = (blank < 0 ? line : line.left(blank)).toUpper();
        const QByteArray argument = blank < 0 ? QByteArray() : line.mid(blank + 1);
        if (const auto it = m_handlers.constFind(verb); it != m_handlers.constEnd())
            (*it)(argument);
        else
            answerAsUsual(verb, argument);
    }
}

void ScriptedFtpServer::answerAsUsual(const QByteArray &verb, const QByteArray &argument)
{
    if (verb == "USER") {
        send("331 Please specify the password.\r\n");
    } else if (verb == "PASS") {
        send("230 Login successful.\r\n");
    } else if (verb == "REST") {
        send("350 Restart position accepted (" + argument + ").\r\n");
    } else if (verb == "TYPE") {
        send("200 Switching mode.\r\n");
    } else if (verb == "PASV") {
        send("227 Entering Passive Mode (127,0,0,1," + QByteArray::number(dataPort() / 256) + ','
             + QByteArray::number(dataPort() % 256) + ").\r\n");
    } else if (verb == "EPSV") {
        send("229 Entering Extended Passive Mode (|||" + QByteArray::number(dataPort()) + "|)\r\n");
    } else if (verb == "RETR") {
        send("150 Opening BINARY mode data connection for f.bin (" + QByteArray::number(m_content.size())
             + " bytes).\r\n");
        sendData(m_content);
        closeData();
        // The 226 follows once the data connection is done, as real servers do.
        if (m_dataClient && m_dataClient->state() != QAbstractSocket::UnconnectedState)
            connect(m_dataClient, &QTcpSocket::disconnected, this, [this] { send("226 Transfer complete.\r\n"); });
        else if (m_dataClient)
            send("226 Transfer complete.\r\n");
    } else if (verb == "LIST") {
        send("150 Here comes the directory listing.\r\n");
        sendData("-rw-r--r--    1 ftp      ftp      " + QByteArray::number(m_content.size()) + " Dec 06 12:00 f.bin\r\n");
        closeData();
        send("226 Directory send OK.\r\n");
    } else {
        send("502 Command not implemented.\r\n");
    }
}
