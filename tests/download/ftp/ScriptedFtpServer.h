#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

/*!
    A loopback FTP server that follows a script, for the replies real servers
    never send. Unscripted, it answers as a plain anonymous server: RETR gives
    a 150 with the size, content() on a passive data connection, and 226 once
    that is closed; LIST one long listing line. onCommand() replaces the answer
    to a command; each control connection is a new session.
*/
class ScriptedFtpServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(const QByteArray &argument)>;

    explicit ScriptedFtpServer(const QHostAddress &address = QHostAddress::LocalHost);

    quint16 port() const { return m_control.serverPort(); }
    quint16 dataPort() const { return m_data.serverPort(); }
    QString url() const
    {
        const QHostAddress address = m_control.serverAddress();
        const QString host = address.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + address.toString() + u']'
                                                                                 : address.toString();
        return QStringLiteral("ftp://%1:%2/f.bin").arg(host).arg(port());
    }

    //! The pieces of the greeting, sent \a gapMs apart.
    void setGreeting(const QList<QByteArray> &pieces, int gapMs = 0)
    {
        m_greeting = pieces;
        m_greetingGap = gapMs;
    }
    void setContent(const QByteArray &content) { m_content = content; }
    QByteArray content() const { return m_content; }

    //! Replaces the answer to \a verb (upper case, like "RETR").
    void onCommand(const QByteArray &verb, Handler handler) { m_handlers.insert(verb, handler); }
    //! The answer given without a handler, for a handler that passes a command on.
    void answerAsUsual(const QByteArray &verb, const QByteArray &argument);

    void send(const QByteArray &text)
    {
        if (m_client)
            m_client->write(text);
    }
    //! Sends on the data connection, or once it is open.
    void sendData(const QByteArray &bytes);
    //! Closes the data connection once everything given to sendData() is sent.
    void closeData();
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

private:
    void onControlConnection();
    void onDataConnection();
    void readCommands();

    QTcpServer m_control;
    QTcpServer m_data;
    QPointer<QTcpSocket> m_client;
    QPointer<QTcpSocket> m_dataClient;
    QByteArray m_pending;
    QList<QByteArray> m_greeting {"220 Scripted server ready.\r\n"};
    int m_greetingGap = 0;
    QByteArray m_content;
    QHash<QByteArray, Handler> m_handlers;
    QList<QByteArray> m_commands;
    QByteArray m_dataQueue;
    bool m_closeDataWhenSent = false;
    int m_controlConnections = 0;
    int m_dataConnections = 0;
    int m_commandsBeforeGreeted = 0;
};
