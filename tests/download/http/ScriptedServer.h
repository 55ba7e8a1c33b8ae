#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

/*!
    A loopback HTTP server that answers every request with a script: the
    answer is sent in the given pieces, a short pause between them, and the
    connection is closed after the last one (unless told otherwise).

    Connections are answered in turn with the queued replies; the last reply
    answers every further connection.
*/
class ScriptedServer : public QObject
{
    Q_OBJECT

public:
    struct Reply {
        QList<QByteArray> pieces;
        bool close = true;
        int pauseMs = 30;
    };

    explicit ScriptedServer(QObject *parent = nullptr);

    quint16 port() const { return m_server.serverPort(); }
    QString hostText() const;

    void queue(const Reply &reply) { m_replies.append(reply); }
    void queue(const QList<QByteArray> &pieces) { queue(Reply{pieces}); }
    void clear();

    //! Each request received, header text as sent.
    QList<QByteArray> requests() const { return m_requests; }

private:
    void answer(QTcpSocket *socket);
    void sendPiece(QTcpSocket *socket, int index);

    QTcpServer m_server;
    QList<Reply> m_replies;
    QList<QByteArray> m_requests;
    int m_next = 0;
    QHash<QTcpSocket *, Reply> m_running;
};
