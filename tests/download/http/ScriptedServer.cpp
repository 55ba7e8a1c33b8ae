#include "ScriptedServer.h"

#include <QTcpSocket>
#include <QTimer>

ScriptedServer::ScriptedServer(QObject *parent)
    : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            auto *request = new QByteArray;
            connect(socket, &QObject::destroyed, this, [request] { delete request; });
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
                if (request->contains("\r\n\r\n"))
                    return;
                request->append(socket->readAll());
                if (request->contains("\r\n\r\n")) {
                    m_requests.append(*request);
                    answer(socket);
                }
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString ScriptedServer::hostText() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

void ScriptedServer::clear()
{
    m_replies.clear();
    m_requests.clear();
    m_next = 0;
}

void ScriptedServer::answer(QTcpSocket *socket)
{
    if (m_replies.isEmpty()) {
        socket->disconnectFromHost();
        return;
    }
    m_running.insert(socket, m_replies.at(qMin<qsizetype>(m_next, m_replies.size() - 1)));
    ++m_next;
    connect(socket, &QObject::destroyed, this, [this, socket] { m_running.remove(socket); });
    sendPiece(socket, 0);
}

void ScriptedServer::sendPiece(QTcpSocket *socket, int index)
{
    const auto it = m_running.constFind(socket);
    if (it == m_running.constEnd())
        return;
    const Reply &reply = it.value();
    if (index >= reply.pieces.size()) {
        if (reply.close)
            socket->disconnectFromHost();
        return;
    }
    socket->write(reply.pieces.at(index));
    socket->flush();
    QTimer::singleShot(reply.pauseMs, socket, [this, socket, index] { sendPiece(socket, index + 1); });
}
