#include "ScriptedFtpServer.h"

#include <QTimer>

ScriptedFtpServer::ScriptedFtpServer(QObject *parent)
    : QObject(parent)
{
    m_control.listen(QHostAddress::LocalHost, 0);
    m_data.listen(QHostAddress::LocalHost, 0);
    connect(&m_control, &QTcpServer::newConnection, this, &ScriptedFtpServer::onControlConnection);
    connect(&m_data, &QTcpServer::newConnection, this, &ScriptedFtpServer::onDataConnection);
}

QString ScriptedFtpServer::url(const QString &path) const
{
    return QStringLiteral("ftp://127.0.0.1:%1%2").arg(port()).arg(path);
}

void ScriptedFtpServer::setGreeting(const QList<QByteArray> &pieces, int gapMs)
{
    m_greeting = pieces;
    m_greetingGap = gapMs;
}

void ScriptedFtpServer::send(const QByteArray &text)
{
    if (m_client)
        m_client->write(text);
}

void ScriptedFtpServer::sendData(const QByteArray &bytes)
{
    m_dataQueue += bytes;
    if (m_dataClient) {
        m_dataClient->write(m_dataQueue);
        m_dataQueue.clear();
    }
}

void ScriptedFtpServer::closeData()
{
    if (m_dataClient && m_dataQueue.isEmpty())
        m_dataClient->disconnectFromHost();
    else
        m_closeDataWhenSent = true;
}

void ScriptedFtpServer::closeControl()
{
    if (m_client)
        m_client->disconnectFromHost();
}

QByteArray ScriptedFtpServer::passiveReply() const
{
    return QByteArray("227 Entering Passive Mode (127,0,0,1,%1,%2).\r\n")
        .replace("%1", QByteArray::number(dataPort() / 256))
        .replace("%2", QByteArray::number(dataPort() % 256));
}

void ScriptedFtpServer::serveFile()
{
    send("150 Opening BINARY mode data connection for f.bin (" + QByteArray::number(m_content.size())
         + " bytes).\r\n");
    sendData(m_content);
    closeData();
    // The 226 follows once the data connection is done, as real servers do.
    auto finish = [this] { send("226 Transfer complete.\r\n"); };
    if (m_dataClient) {
        if (m_dataClient->state() == QAbstractSocket::UnconnectedState)
            finish();
        else
            connect(m_dataClient, &QTcpSocket::disconnected, this, finish);
    }
}

void ScriptedFtpServer::onControlConnection()
{
    QTcpSocket *socket = m_control.nextPendingConnection();
    if (m_client) {
        socket->deleteLater();
        return;
    }
    m_client = socket;
    connect(socket, &QTcpSocket::readyRead, this, &ScriptedFtpServer::readCommands);
    for (int i = 0; i < m_greeting.size(); ++i) {
        const QByteArray piece = m_greeting[i];
        if (i == 0 || m_greetingGap == 0)
            send(piece);
        else
            QTimer::singleShot(m_greetingGap * i, this, [this, piece] { send(piece); });
    }
}

void ScriptedFtpServer::onDataConnection()
{
    QTcpSocket *socket = m_data.nextPendingConnection();
    ++m_dataConnections;
    m_dataClient = socket;
    if (!m_dataQueue.isEmpty()) {
        socket->write(m_dataQueue);
        m_dataQueue.clear();
    }
    if (m_closeDataWhenSent) {
        m_closeDataWhenSent = false;
        socket->disconnectFromHost();
    }
}

void ScriptedFtpServer::readCommands()
{
    m_pending += m_client->readAll();
    for (qsizetype end; (end = m_pending.indexOf("\r\n")) >= 0;) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 2);
        m_commands.append(line);
        emit commandReceived(line);
        const qsizetype blank = line.indexOf(' ');
        const QByteArray verb = (blank < 0 ? line : line.left(blank)).toUpper();
        answer(verb, blank < 0 ? QByteArray() : line.mid(blank + 1));
        if (!m_client)
            return;
    }
}

void ScriptedFtpServer::answer(const QByteArray &verb, const QByteArray &argument)
{
    if (const auto it = m_handlers.constFind(verb); it != m_handlers.constEnd()) {
        (*it)(argument);
        return;
    }
    if (verb == "USER")
        send("331 Please specify the password.\r\n");
    else if (verb == "PASS")
        send("230 Login successful.\r\n");
    else if (verb == "REST")
        send("350 Restart position accepted (" + argument + ").\r\n");
    else if (verb == "TYPE")
        send("200 Switching mode.\r\n");
    else if (verb == "PASV")
        send(passiveReply());
    else if (verb == "RETR")
        serveFile();
    else
        send("502 Command not implemented.\r\n");
}
