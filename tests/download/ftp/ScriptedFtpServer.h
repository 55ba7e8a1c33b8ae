#pragma once

#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <utility>

/*!
    A loopback FTP server that follows a script, for the replies real servers
    never send. Unscripted, it answers as a plain anonymous server: RETR gives
    a 150 with the size, content() on a passive data connection, and 226 once
    that is closed; SIZE the size of content(); LIST one long listing line. onCommand() replaces the answer
    to a command; each control connection is a new session.
*/
class ScriptedFtpServer : public QObject
{
public:
    explicit ScriptedFtpServer(const QHostAddress &address = QHostAddress::LocalHost)
    {
        m_control.listen(address, 0);
        m_data.listen(address, 0);
        connect(&m_control, &QTcpServer::newConnection, this, &ScriptedFtpServer::onControlConnection);
        connect(&m_data, &QTcpServer::newConnection, this, [this] {
            ++m_dataConnections;
            m_dataClient = m_data.nextPendingConnection();
            sendData({});
            if (std::exchange(m_closeDataWhenSent, false))
                m_dataClient->disconnectFromHost();
        });
    }

    quint16 dataPort() const { return m_data.serverPort(); }
    QString url() const
    {
        const QHostAddress address = m_control.serverAddress();
        const QString host = address.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + address.toString() + u']'
                                                                                 : address.toString();
        return QStringLiteral("ftp://%1:%2/f.bin").arg(host).arg(m_control.serverPort());
    }

    //! The pieces of the greeting, sent 150 ms apart; an empty piece hangs up.
    void setGreeting(const QList<QByteArray> &pieces) { m_greeting = pieces; }
    void setContent(const QByteArray &content) { m_content = content; }
    QByteArray content() const { return m_content; }

    //! Replaces the answer to \a verb (upper case, like "RETR").
    void onCommand(const QByteArray &verb, const std::function<void(const QByteArray &argument)> &handler) { m_handlers.insert(verb, handler); }

    void send(const QByteArray &text)
    {
        if (m_client)
            m_client->write(text);
    }
    //! Sends on the data connection, or once it is open.
    void sendData(const QByteArray &bytes)
    {
        m_dataQueue += bytes;
        if (m_dataClient)
            m_dataClient->write(std::exchange(m_dataQueue, {}));
    }
    //! Closes the data connection once everything given to sendData() is sent.
    void closeData()
    {
        if (m_dataClient && m_dataQueue.isEmpty())
            m_dataClient->disconnectFromHost();
        else
            m_closeDataWhenSent = true;
    }
    void closeControl()
    {
        if (m_client)
            m_client->disconnectFromHost();
    }

    QList<QByteArray> commands() const { return m_commands; }
    //! The commands received before the last piece of the greeting went out.
    int commandsBeforeGreeted() const { return m_commandsBeforeGreeted; }
    int controlConnections() const { return m_controlConnections; }
    int dataConnections() const { return m_dataConnections; }
    //! The client has closed the control connection of the latest session, or never opened one.
    bool controlClosed() const { return !m_client || m_client->state() == QAbstractSocket::UnconnectedState; }
    //! The same for the latest data connection.
    bool dataClosed() const { return !m_dataClient || m_dataClient->state() == QAbstractSocket::UnconnectedState; }

    //! The answer given without a handler, for a handler that passes a command on.
    void answerAsUsual(const QByteArray &verb, const QByteArray &argument)
    {
        const QByteArray port = QByteArray::number(dataPort()), size = QByteArray::number(m_content.size());
        const QHash<QByteArray, QByteArray> replies {
            {"USER", "331 Please specify the password."},
            {"PASS", "230 Login successful."},
            {"REST", "350 Restart position accepted (" + argument + ")."},
            {"TYPE", "200 Switching mode."},
            {"SIZE", "213 " + size},
            {"PASV", "227 Entering Passive Mode (127,0,0,1," + QByteArray::number(dataPort() / 256) + ','
                         + QByteArray::number(dataPort() % 256) + ")."},
            {"EPSV", "229 Entering Extended Passive Mode (|||" + port + "|)"},
            {"RETR", "150 Opening BINARY mode data connection for f.bin (" + size + " bytes)."},
            {"LIST", "150 Here comes the directory listing."}};
        send(replies.value(verb, "502 Command not implemented.") + "\r\n");
        if (verb == "LIST") {
            sendData("-rw-r--r--    1 ftp      ftp      " + size + " Dec 06 12:00 f.bin\r\n");
            closeData();
            send("226 Directory send OK.\r\n");
        } else if (verb == "RETR") {
            sendData(m_content);
            closeData();
            // The 226 follows once the data connection is done, as real servers do.
            if (m_dataClient && m_dataClient->state() != QAbstractSocket::UnconnectedState)
                connect(m_dataClient, &QTcpSocket::disconnected, this, [this] { send("226 Transfer complete.\r\n"); });
            else if (m_dataClient)
                send("226 Transfer complete.\r\n");
        }
    }

private:
    void onControlConnection()
    {
        // A new session replaces the one before.
        if (m_client)
            m_client->disconnect(this);
        m_client = m_control.nextPendingConnection();
        m_pending.clear();
        ++m_controlConnections;
        connect(m_client, &QTcpSocket::readyRead, this, &ScriptedFtpServer::readCommands);
        for (int i = 0; i < m_greeting.size(); ++i) {
            QTimer::singleShot(150 * i, m_client, [this, i] {
                if (i == m_greeting.size() - 1)
                    m_commandsBeforeGreeted = int(m_commands.size());
                m_greeting[i].isEmpty() ? closeControl() : send(m_greeting[i]);
            });
        }
    }

    void readCommands()
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

    QTcpServer m_control;
    QTcpServer m_data;
    QPointer<QTcpSocket> m_client;
    QPointer<QTcpSocket> m_dataClient;
    QByteArray m_pending;
    QList<QByteArray> m_greeting {"220 Scripted server ready.\r\n"};
    QByteArray m_content;
    QHash<QByteArray, std::function<void(const QByteArray &)>> m_handlers;
    QList<QByteArray> m_commands;
    QByteArray m_dataQueue;
    bool m_closeDataWhenSent = false;
    int m_controlConnections = 0;
    int m_dataConnections = 0;
    int m_commandsBeforeGreeted = 0;
};
