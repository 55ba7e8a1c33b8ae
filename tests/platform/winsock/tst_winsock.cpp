#include "CodePage.h"
#include "MessageLoop.h"
#include "SystemError.h"
#include "Winsock.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>

// A scripted loopback peer: accepts connections and lets the test write,
// close and read on the server side.
struct Peer
{
    explicit Peer(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
    {
        server.listen(address, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                connections.append(s);
                QObject::connect(s, &QIODevice::readyRead, s, [this, s] {
                    received += s->readAll();
                    if (onReceived)
                        onReceived(s);
                });
                s->write(greeting);
            }
        });
    }

    quint16 port() const { return server.serverPort(); }
    QTcpSocket *last() const { return connections.last(); }
    void send(const QByteArray &bytes) { last()->write(bytes); last()->flush(); }
    void closeLast() { last()->disconnectFromHost(); }

    QTcpServer server;
    QList<QPointer<QTcpSocket>> connections;
    QByteArray received;
    QByteArray greeting;
    std::function<void(QTcpSocket *)> onReceived;
};

// Reads every arrival (unless told not to) and remembers what each handler saw.
// It holds every other chunk by its offset: the buffer GetDataBytes() reuses must
// leave those alone, and is reused after the others.
struct Reader
{
    explicit Reader(Winsock *sock) : sock(sock)
    {
        QObject::connect(sock, &Winsock::dataArrival, sock, [this](qint32 total) {
            maxDepth = qMax(maxDepth, ++depth);
            totals.append(total);
            if (before)
                before(total);
            if (readInHandler) {
                const QByteArray chunk = this->sock->GetDataBytes();
                sizes.append(chunk.size());
                if (sizes.size() % 2)
                    held.insert(data.size(), chunk);
                data += chunk;
                if (closeAtPeerClosing && this->sock->State() == Winsock::PeerClosing) {
                    this->sock->Close();
                    closedAtEnd = true;
                }
            }
            --depth;
        });
    }

    Winsock *sock;
    bool readInHandler = true;
    bool closeAtPeerClosing = false;
    bool closedAtEnd = false;
    int depth = 0;
    int maxDepth = 0;
    QList<qint32> totals;
    QList<qint32> sizes;
    QMap<qsizetype, QByteArray> held;
    QByteArray data;
    std::function<void(qint32)> before;
};

static QByteArray pattern(int size, int seed)
{
    QList<quint32> words((size + 3) / 4);
    QRandomGenerator(seed).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

static quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// What \a call threw, or error 0.
static SystemError thrown(const std::function<void()> &call)
{
    try {
        call();
    } catch (const SystemError &e) {
        return e;
    }
    return SystemError(0, QString());
}

// Runs the message loop, as a reply wait does, until done() or 10 s passed.
static void yieldUntil(const std::function<bool()> &done)
{
    const QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        MessageLoop::yieldAndWait();
}

class TestWinsock : public QObject
{
    Q_OBJECT

    QTcpServer m_taken;

    void connectTo(Winsock &sock, Peer &peer)
    {
        const int before = peer.connections.size();
        QSignalSpy connected(&sock, &Winsock::connected);
        sock.Connect(QStringLiteral("127.0.0.1"), peer.port());
        QVERIFY(connected.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(peer.connections.size() > before, 10000);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_taken.listen(QHostAddress::AnyIPv4, 0)); }

    void dialogueInsideConnectHandler_data()
    {
        QTest::addColumn<QString>("hostFormat"); // without %1: the port is RemotePort
        QTest::addColumn<bool>("ipv6");
        QTest::addColumn<bool>("setLocalPort");
        QTest::newRow("name") << "localhost" << false << false;
        QTest::newRow("address:port") << "127.0.0.1:%1" << false << false;
        QTest::newRow("name:port, local port set") << "localhost:%1" << false << true;
        QTest::newRow("[v6]:port") << "[::1]:%1" << true << false;
    }

    // A login in the system code page: each command goes out only after the
    // previous reply arrived, all from inside the Connect handler.
    void dialogueInsideConnectHandler()
    {
        QFETCH(QString, hostFormat);
        QFETCH(bool, ipv6);
        QFETCH(bool, setLocalPort);
        Peer peer(ipv6 ? QHostAddress(QHostAddress::LocalHostIPv6) : QHostAddress(QHostAddress::LocalHost));
        if (!peer.server.isListening())
            QSKIP("no loopback address of this kind");
        QVERIFY(CodePage::setName(QStringLiteral("GBK")));
        peer.greeting = CodePage::fromUnicode(QStringLiteral("220 你好\r\n"));
        peer.onReceived = [&](QTcpSocket *s) {
            for (qsizetype end; (end = peer.received.indexOf("\r\n")) >= 0; peer.received.remove(0, end + 2))
                s->write("331 " + peer.received.left(end + 2));
        };
        Winsock sock;
        if (setLocalPort) {
            // The data-port search: the port a Listen found is free again at once
            // for the connection that leaves from it.
            Winsock finder;
            finder.Bind(0, QStringLiteral("127.0.0.1"));
            finder.Listen();
            sock.setLocalPort(finder.LocalPort());
            finder.Close();
        }
        const qint32 localPort = sock.LocalPort();
        QString transcript;
        bool replyArrived = false, done = false;
        QSignalSpy arrivals(&sock, &Winsock::dataArrival);
        connect(&sock, &Winsock::dataArrival, this, [&](qint32) {
            transcript += sock.GetDataText();
            replyArrived = true;
        });
        connect(&sock, &Winsock::connected, this, [&] {
            QCOMPARE(sock.State(), qint16(Winsock::Connected));
            for (const QString &command : {QString(), QStringLiteral("USER 匿名"), QStringLiteral("PASS guest@")}) {
                if (!command.isEmpty())
                    sock.SendData(command + QStringLiteral("\r\n"));
                replyArrived = false;
                yieldUntil([&] { return replyArrived || sock.State() != Winsock::Connected; });
            }
            done = true;
        });
        const bool portInHost = hostFormat.contains(u"%1");
        const QString host = portInHost ? hostFormat.arg(peer.port()) : hostFormat;
        sock.setRemoteHost(host);
        sock.setRemotePort(portInHost ? unusedPort() : peer.port());
        sock.Connect();
        QVERIFY(sock.State() == Winsock::ResolvingHost || sock.State() == Winsock::Connecting);
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
        CodePage::setName(QString());
        QCOMPARE(arrivals.first().first().toInt(), 10);
        QCOMPARE(transcript, QStringLiteral("220 你好\r\n331 USER 匿名\r\n331 PASS guest@\r\n"));
        QCOMPARE(sock.RemoteHost(), host);
        const QString loopback = ipv6 ? QStringLiteral("::1") : QStringLiteral("127.0.0.1");
        QCOMPARE(sock.LocalIP(), loopback);
        // LocalPort reads the port in use while connected, else the port set.
        QCOMPARE(sock.LocalPort(), qint32(peer.last()->peerPort()));
        QVERIFY(!setLocalPort || sock.LocalPort() == localPort);
        sock.Close();
        QCOMPARE(sock.State(), qint16(Winsock::Closed));
        QCOMPARE(sock.RemoteHostIP(), loopback);
        QCOMPARE(sock.LocalPort(), localPort);
    }

    void synchronousFailures_data()
    {
        using Call = std::function<void(Winsock &)>;
        QTest::addColumn<qint16>("state");
        QTest::addColumn<Call>("call");
        QTest::addColumn<int>("number");
        const qint16 closed = Winsock::Closed, connected = Winsock::Connected, listening = Winsock::Listening;
        const Call connect = [](Winsock &s) { s.Connect(); }, listen = [](Winsock &s) { s.Listen(); };
        QTest::newRow("Connect while connected") << connected << connect << 40020;
        QTest::newRow("Listen while connected") << connected << listen << 40020;
        QTest::newRow("Connect while listening") << listening << connect << 40020;
        // TLS starts late only on a connection made for a tunnel.
        const Call startSecure = [](Winsock &s) { s.StartSecure(QStringLiteral("example.com")); };
        QTest::newRow("StartSecure on a plain connection") << connected << startSecure << 40020;
        QTest::newRow("StartSecure while closed") << closed << startSecure << 40020;
        QTest::newRow("SendData while closed") << closed << Call([](Winsock &s) { s.SendData(QStringLiteral("x")); })
                                               << 40006;
        QTest::newRow("RemotePort 65536") << closed << Call([](Winsock &s) { s.setRemotePort(65536); }) << 380;
        QTest::newRow("RemotePort -1") << closed << Call([](Winsock &s) { s.setRemotePort(-1); }) << 380;
        QTest::newRow("LocalPort 65536") << closed << Call([](Winsock &s) { s.setLocalPort(65536); }) << 380;
        QTest::newRow("Accept unknown") << closed << Call([](Winsock &s) { s.Accept(-5); }) << 40014;
        QTest::newRow("Connect from a port in use") << closed << connect << 10048;
        QTest::newRow("Listen on a port in use") << closed << listen << 10048;
    }

    // A refused call throws and changes nothing.
    void synchronousFailures()
    {
        QFETCH(qint16, state);
        QFETCH(std::function<void(Winsock &)>, call);
        QFETCH(int, number);
        Peer peer;
        Winsock sock;
        if (state == Winsock::Connected)
            connectTo(sock, peer);
        if (state == Winsock::Listening) {
            sock.Bind(0, QStringLiteral("127.0.0.1"));
            sock.Listen();
        }
        if (state == Winsock::Closed)
            sock.Bind(m_taken.serverPort());
        sock.setRemoteHost(QStringLiteral("127.0.0.1"));
        sock.setRemotePort(4321);
        const SystemError e = thrown([&] { call(sock); });
        QCOMPARE(e.number(), number);
        QCOMPARE(e.description(), Winsock::errorText(number));
        QVERIFY(!e.description().isEmpty());
        QCOMPARE(sock.State(), state);
        QCOMPARE(sock.RemotePort(), 4321);
        if (state == Winsock::Closed)
            QCOMPARE(sock.LocalPort(), qint32(m_taken.serverPort()));
    }

    void failedConnect_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("closeAt"); // empty: not closed
        QTest::addColumn<int>("number"); // 0: nothing raised
        QTest::addColumn<QString>("description");
        // An empty label is refused before any resolver is asked.
        const QString refused = QStringLiteral("127.0.0.1:%1").arg(unusedPort()), unknown = QStringLiteral("no..such.invalid");
        QTest::newRow("refused port") << refused << "" << 10061 << "Connection is forcefully rejected";
        QTest::newRow("unknown host") << unknown << "" << 11001 << "Authoritative answer: Host not found";
        QTest::newRow("refused port, closed at once") << refused << "at once" << 0 << "";
        QTest::newRow("unknown host, closed at once") << unknown << "at once" << 0 << "";
        QTest::newRow("name to resolve, closed at once") << QStringLiteral("localhost:%1").arg(unusedPort()) << "at once"
                                                         << 0 << "";
        // Closed after the failure was queued and before it was raised.
        QTest::newRow("refused port, closed at the failure") << refused << "at the failure" << 0 << "";
        QTest::newRow("refused port, closed in the event") << refused << "in the event" << 10061
                                                           << "Connection is forcefully rejected";
    }

    void failedConnect()
    {
        QFETCH(QString, host);
        QFETCH(QString, closeAt);
        QFETCH(int, number);
        QFETCH(QString, description);
        Peer peer;
        Winsock sock;
        QSignalSpy failed(&sock, &Winsock::errorOccurred);
        QSignalSpy connected(&sock, &Winsock::connected);
        sock.Connect(host, 80);
        if (closeAt == u"at once")
            sock.Close();
        if (closeAt == u"in the event")
            connect(&sock, &Winsock::errorOccurred, &sock, [&] { sock.Close(); });
        if (closeAt == u"at the failure") {
            bool closed = false;
            connect(sock.findChild<QTcpSocket *>(), &QAbstractSocket::errorOccurred, &sock, [&] {
                sock.Close();
                closed = true;
            });
            QTRY_VERIFY_WITH_TIMEOUT(closed, 10000);
        }
        if (number) {
            QVERIFY(failed.wait(10000));
            QCOMPARE(failed.at(0), (QVariantList{qint16(number), description}));
            QCOMPARE(sock.State(), qint16(closeAt.isEmpty() ? Winsock::Error : Winsock::Closed));
        }
        // It connects again at once (after an error without Close), and nothing of the first attempt follows.
        connectTo(sock, peer);
        peer.send("x");
        QTRY_COMPARE_WITH_TIMEOUT(sock.BytesReceived(), 1, 10000);
        QCOMPARE(failed.count(), number ? 1 : 0);
        QCOMPARE(connected.count(), 1);
        QCOMPARE(sock.State(), qint16(Winsock::Connected));
    }

    // Steps of the peer's script: send N bytes, wait until the client has read
    // everything so far ("sync"), close.
    void deliveries_data()
    {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<bool>("closeAtPeerClosing");
        QTest::newRow("split") << QStringList{"send 100", "sync", "send 2000", "sync", "send 7", "sync", "close"} << false;
        QTest::newRow("merged") << QStringList{"send 100", "send 2000", "send 7", "sync", "close"} << false;
        QTest::newRow("close with data pending") << QStringList{"send 5000", "close"} << false;
        QTest::newRow("close with data pending, closed at state 8")
            << QStringList{"send 300", "sync", "send 5000", "close"} << true;
        QTest::newRow("many small") << (QStringList(200, "send 3") << "close") << true;
        QTest::newRow("large") << (QStringList(128, "send 65536") << "close") << true;
        QTest::newRow("nothing") << QStringList{"close"} << false;
    }

    void deliveries()
    {
        QFETCH(QStringList, script);
        QFETCH(bool, closeAtPeerClosing);
        Peer peer;
        Winsock sock;
        Reader reader(&sock);
        reader.closeAtPeerClosing = closeAtPeerClosing;
        QSignalSpy peerClosed(&sock, &Winsock::peerClosed);
        connectTo(sock, peer);

        QByteArray sent;
        int seed = 0;
        for (const QString &step : std::as_const(script)) {
            if (step.startsWith(u"send ")) {
                sent += pattern(step.mid(5).toInt(), ++seed);
                peer.send(sent.right(step.mid(5).toInt()));
            } else if (step == u"sync") {
                QTRY_VERIFY_WITH_TIMEOUT(reader.data.size() >= sent.size(), 10000);
            } else {
                peer.closeLast();
            }
        }
        if (closeAtPeerClosing) {
            // Closed by the handler when the close was seen with the last chunk,
            // or else by a watchdog that polls State.
            QTRY_VERIFY_WITH_TIMEOUT(reader.closedAtEnd || sock.State() == Winsock::PeerClosing, 20000);
            sock.Close();
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(sock.State() == Winsock::PeerClosing, 20000);
            QTRY_COMPARE_WITH_TIMEOUT(peerClosed.count(), 1, 10000);
        }
        QVERIFY(reader.data == sent);
        for (const auto &[offset, chunk] : reader.held.asKeyValueRange())
            QVERIFY(chunk == sent.mid(offset, chunk.size()));
        QCOMPARE(reader.totals, reader.sizes);
        QVERIFY(!reader.sizes.contains(0));
    }

    void peerClosingOnlyWhenDrained()
    {
        // A consumer that leaves data unread, as one reading from a timer does.
        Peer peer;
        Winsock sock;
        QSignalSpy arrivals(&sock, &Winsock::dataArrival);
        QSignalSpy peerClosed(&sock, &Winsock::peerClosed);
        connectTo(sock, peer);
        const QByteArray a = pattern(10, 1), b = pattern(20, 2);
        peer.send(a);
        QTRY_COMPARE_WITH_TIMEOUT(arrivals.size(), 1, 10000);
        peer.send(b);
        QTRY_COMPARE_WITH_TIMEOUT(arrivals.size(), 2, 10000);

        // The peer's close announces the unread bytes once more; the state waits for them.
        peer.closeLast();
        QTRY_COMPARE_WITH_TIMEOUT(arrivals.size(), 3, 10000);
        QCOMPARE(arrivals, (QList<QVariantList>{{10}, {30}, {30}}));
        QCOMPARE(sock.State(), qint16(Winsock::Connected));
        QCOMPARE(sock.BytesReceived(), 30);
        QVERIFY(sock.GetDataBytes() == a + b);
        QCOMPARE(sock.State(), qint16(Winsock::PeerClosing));
        QVERIFY(peerClosed.wait(10000));
        QCOMPARE(arrivals.size(), 3);
        QVERIFY(sock.GetDataBytes().isEmpty());
        QCOMPARE(thrown([&] { sock.SendData(QByteArrayView("x")); }).number(), int(Winsock::BadState));
    }

    // A handler waits, as a reply wait does, while more data arrives (and, last
    // row, the peer sends its tail and closes).
    void nestedLoopInDataArrival_data()
    {
        QTest::addColumn<bool>("readBeforeLoop");
        QTest::addColumn<bool>("tailAndClose");
        QTest::newRow("read first") << true << false;
        QTest::newRow("read inside") << false << false;
        QTest::newRow("tail and close while nested") << true << true;
    }

    void nestedLoopInDataArrival()
    {
        QFETCH(bool, readBeforeLoop);
        QFETCH(bool, tailAndClose);
        Peer peer;
        Winsock sock;
        Reader reader(&sock);
        reader.readInHandler = tailAndClose;
        reader.closeAtPeerClosing = true;
        const QByteArray a = pattern(1000, 1), b = pattern(tailAndClose ? 200000 : 3000, 2), c = pattern(500, 3);
        bool nested = false;
        reader.before = [&](qint32) {
            if (reader.depth > 1) {
                nested = true;
                if (!tailAndClose)
                    reader.data += sock.GetDataBytes();
                return;
            }
            if (readBeforeLoop && !tailAndClose)
                reader.data += sock.GetDataBytes();
            if (reader.totals.size() == 1) {
                peer.send(b);
                if (tailAndClose) {
                    peer.closeLast();
                    yieldUntil([&] { return peer.last()->state() == QAbstractSocket::UnconnectedState; });
                    for (int i = 0; i < 10; ++i)
                        MessageLoop::yield();
                } else {
                    yieldUntil([&] { return nested; });
                }
            }
            if (!tailAndClose)
                reader.data += sock.GetDataBytes();
        };
        connectTo(sock, peer);
        peer.send(a);
        if (tailAndClose) {
            QTRY_VERIFY_WITH_TIMEOUT(reader.closedAtEnd || sock.State() == Winsock::PeerClosing, 20000);
            QVERIFY(reader.data == a + b);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(reader.data.size(), a.size() + b.size(), 10000);
        QCOMPARE(reader.maxDepth, 2);
        peer.send(c);
        QTRY_COMPARE_WITH_TIMEOUT(reader.data.size(), a.size() + b.size() + c.size(), 10000);
        QVERIFY(reader.data == a + b + c);
        // The nested announcement counts what was pending then, unread outer bytes included.
        QVERIFY(readBeforeLoop ? reader.totals.at(1) <= b.size() : reader.totals.at(1) > a.size());
    }

    void closeInsideHandlerThenConnectAtOnce()
    {
        // Closed from the handler with data unread while the old peer goes on
        // sending, then connected again at once: nothing old may surface.
        Peer peer;
        Winsock sock;
        bool closed = false;
        qint64 leftAfterClose = -1;
        int sendAfterClose = 0;
        QList<qint32> totals;
        QByteArray seen;
        QSignalSpy connected(&sock, &Winsock::connected);
        connect(&sock, &Winsock::dataArrival, this, [&](qint32 total) {
            if (std::exchange(closed, true)) {
                totals.append(total);
                seen += sock.GetDataBytes();
                return;
            }
            peer.send("late data");
            peer.closeLast();
            sock.Close();
            leftAfterClose = sock.BytesReceived() + sock.GetDataBytes().size();
            sendAfterClose = thrown([&] { sock.SendData(QByteArrayView("x")); }).number();
            sock.Connect(QStringLiteral("127.0.0.1"), peer.port());
        });
        QSignalSpy failed(&sock, &Winsock::errorOccurred);
        QSignalSpy peerClosed(&sock, &Winsock::peerClosed);
        connectTo(sock, peer);
        peer.send("first");
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(peer.connections.size(), 2, 10000);
        peer.send("second");
        QTRY_VERIFY_WITH_TIMEOUT(seen.size() >= 6, 10000);
        QCOMPARE(seen, QByteArray("second"));
        QCOMPARE(totals, QList<qint32>{6});
        QCOMPARE(leftAfterClose, 0);
        QCOMPARE(sendAfterClose, int(Winsock::BadState));
        QCOMPARE(failed.count(), 0);
        QCOMPARE(peerClosed.count(), 0);
        QCOMPARE(sock.State(), qint16(Winsock::Connected));
    }

    void deleteInsideHandler()
    {
        Peer peer;
        QPointer<Winsock> sock = new Winsock;
        connect(sock, &Winsock::dataArrival, this, [&](qint32) { delete sock.data(); });
        connectTo(*sock, peer);
        peer.send("bye");
        peer.closeLast();
        QTRY_VERIFY_WITH_TIMEOUT(sock.isNull(), 10000);
    }

    void listenAndAccept_data()
    {
        QTest::addColumn<bool>("takeOver");
        QTest::newRow("another socket accepts") << false;
        // The classic pattern: the listener closes itself and takes the call over.
        QTest::newRow("the listener takes the call over") << true;
    }

    void listenAndAccept()
    {
        QFETCH(bool, takeOver);
        Winsock listener, other, client;
        listener.Bind(0, QStringLiteral("127.0.0.1"));
        listener.Listen();
        QCOMPARE(listener.State(), qint16(Winsock::Listening));
        const qint32 port = listener.LocalPort();
        Winsock &accepted = takeOver ? listener : other;
        connect(&listener, &Winsock::connectionRequest, this, [&](qint32 id) {
            if (takeOver)
                listener.Close();
            accepted.Accept(id);
        });
        Reader serverReader(&accepted);
        QSignalSpy connected(&client, &Winsock::connected);
        client.Connect(QStringLiteral("127.0.0.1"), port);
        QVERIFY(connected.wait(10000));
        QTRY_COMPARE_WITH_TIMEOUT(accepted.State(), qint16(Winsock::Connected), 10000);
        QCOMPARE(accepted.RemoteHostIP(), QStringLiteral("127.0.0.1"));
        QCOMPARE(accepted.LocalPort(), port);

        client.SendData(QByteArrayView("ping"));
        QTRY_COMPARE_WITH_TIMEOUT(serverReader.data, QByteArray("ping"), 10000);
        accepted.Close();
        QTRY_COMPARE_WITH_TIMEOUT(client.State(), qint16(Winsock::PeerClosing), 10000);
    }
};

QTEST_GUILESS_MAIN(TestWinsock)
#include "tst_winsock.moc"
