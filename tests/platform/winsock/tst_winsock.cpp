#include "CodePage.h"
#include "MessageLoop.h"
#include "SystemError.h"
#include "Winsock.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// A scripted loopback peer: accepts connections and lets the test write,
// close and read on the server side.
class Peer : public QObject
{
    Q_OBJECT
public:
    explicit Peer(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
    {
        server.listen(address, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                connections.append(s);
                connect(s, &QIODevice::readyRead, this, [this, s] {
                    received += s->readAll();
                    if (onReceived)
                        onReceived(s);
                });
                if (greeting.size())
                    s->write(greeting);
            }
        });
    }

    bool listening() const { return server.isListening(); }
    quint16 port() const { return server.serverPort(); }
    QTcpSocket *last() const { return connections.isEmpty() ? nullptr : connections.last().data(); }
    bool waitForConnections(int count)
    {
        return QTest::qWaitFor([&] { return connections.size() >= count; }, 10000);
    }
    void send(const QByteArray &bytes)
    {
        last()->write(bytes);
        last()->flush();
    }
    void closeLast()
    {
        last()->disconnectFromHost();
    }

    QTcpServer server;
    QList<QPointer<QTcpSocket>> connections;
    QByteArray received;
    QByteArray greeting;
    std::function<void(QTcpSocket *)> onReceived;
};

// Reads every arrival and remembers what each handler saw.
struct Reader
{
    explicit Reader(Winsock *sock) : sock(sock)
    {
        QObject::connect(sock, &Winsock::dataArrival, sock, [this](qint32 total) {
            ++depth;
            maxDepth = qMax(maxDepth, depth);
            totals.append(total);
            if (before)
                before(total);
            if (readInHandler) {
                const QByteArray chunk = this->sock->GetDataBytes();
                chunks.append(chunk);
                data += chunk;
                if (closeAtPeerClosing && this->sock->State() == Winsock::PeerClosing) {
                    this->sock->Close();
                    closedAtEnd = true;
                }
            }
            if (after)
                after(total);
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
    QList<QByteArray> chunks;
    QByteArray data;
    std::function<void(qint32)> before;
    std::function<void(qint32)> after;
};

static QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 2463534242u + quint32(seed);
    for (int i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = char(x);
    }
    return bytes;
}

static quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

static int thrownNumber(const std::function<void()> &call)
{
    try {
        call();
    } catch (const SystemError &e) {
        return e.number();
    }
    return 0;
}

class TestWinsock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Connection set-up
    void connectStates();
    void hostWithPort_data();
    void hostWithPort();
    void localPortIsBound();
    void localPortInUseFails();
    void wrongStateAndBadValues_data();
    void wrongStateAndBadValues();

    // Failures
    void refusedPort();
    void unknownHost();

    // Data
    void deliveries_data();
    void deliveries();
    void unreadDataIsAnnouncedAgain();
    void peerClosingOnlyWhenDrained();
    void nestedLoopInDataArrival_data();
    void nestedLoopInDataArrival();
    void tailArrivesWhileNested();
    void dialogueInsideConnectHandler();
    void textUsesCodePage();

    // Closing
    void closeInsideHandlerThenConnectAtOnce();
    void closeWhileConnecting_data();
    void closeWhileConnecting();
    void closeDropsPendingData();
    void deleteInsideHandler();

    // Listening
    void listenAndAccept();
    void listenOnTakenPortFails();
    void acceptOnTheListeningSocket();

private:
    void connectTo(Winsock &sock, Peer &peer)
    {
        const int before = peer.connections.size();
        QSignalSpy connected(&sock, &Winsock::connected);
        sock.Connect(QStringLiteral("127.0.0.1"), peer.port());
        QVERIFY(connected.wait(10000));
        QVERIFY(peer.waitForConnections(before + 1));
    }
};

void TestWinsock::connectStates()
{
    Peer peer;
    Winsock sock;
    QSignalSpy connected(&sock, &Winsock::connected);
    QList<qint16> states;
    connect(&sock, &Winsock::connected, this, [&] { states.append(sock.State()); });
    sock.setRemoteHost(QStringLiteral("localhost"));
    sock.setRemotePort(peer.port());
    QCOMPARE(sock.State(), qint16(Winsock::Closed));
    sock.Connect();
    QVERIFY(sock.State() == Winsock::ResolvingHost || sock.State() == Winsock::Connecting);
    QVERIFY(connected.wait(10000));
    QVERIFY(peer.waitForConnections(1));
    QCOMPARE(states, QList<qint16>{Winsock::Connected});
    QCOMPARE(sock.RemoteHostIP(), QStringLiteral("127.0.0.1"));
    QCOMPARE(sock.LocalIP(), QStringLiteral("127.0.0.1"));
    QCOMPARE(sock.LocalPort(), qint32(peer.last()->peerPort()));
    QCOMPARE(sock.RemoteHost(), QStringLiteral("localhost"));

    sock.SendData(QStringLiteral("hello"));
    QVERIFY(QTest::qWaitFor([&] { return peer.received == "hello"; }, 10000));
    sock.Close();
    QCOMPARE(sock.State(), qint16(Winsock::Closed));
    QCOMPARE(sock.RemoteHostIP(), QStringLiteral("127.0.0.1"));
}

void TestWinsock::hostWithPort_data()
{
    QTest::addColumn<QString>("hostFormat");
    QTest::addColumn<bool>("ipv6");
    QTest::newRow("address:port") << "127.0.0.1:%1" << false;
    QTest::newRow("name:port") << "localhost:%1" << false;
    QTest::newRow("[v6]:port") << "[::1]:%1" << true;
}

void TestWinsock::hostWithPort()
{
    QFETCH(QString, hostFormat);
    QFETCH(bool, ipv6);
    Peer peer(ipv6 ? QHostAddress(QHostAddress::LocalHostIPv6) : QHostAddress(QHostAddress::LocalHost));
    if (!peer.listening())
        QSKIP("no loopback address of this kind");
    Winsock sock;
    QSignalSpy connected(&sock, &Winsock::connected);
    QSignalSpy failed(&sock, &Winsock::errorOccurred);
    const QString host = hostFormat.arg(peer.port());
    sock.setRemoteHost(host);
    sock.setRemotePort(unusedPort());
    sock.Connect();
    QVERIFY(connected.wait(10000));
    QCOMPARE(failed.count(), 0);
    QVERIFY(peer.waitForConnections(1));
    QCOMPARE(sock.RemoteHost(), host);
    QCOMPARE(sock.RemoteHostIP(), ipv6 ? QStringLiteral("::1") : QStringLiteral("127.0.0.1"));
}

void TestWinsock::localPortIsBound()
{
    Peer peer;
    const quint16 wanted = unusedPort();
    Winsock sock;
    sock.setLocalPort(wanted);
    connectTo(sock, peer);
    QCOMPARE(peer.last()->peerPort(), wanted);
    QCOMPARE(sock.LocalPort(), qint32(wanted));

    // Without a set port the system picks one, and LocalPort reads it while connected.
    Winsock other;
    connectTo(other, peer);
    QVERIFY(other.LocalPort() != 0);
    QCOMPARE(other.LocalPort(), qint32(peer.last()->peerPort()));
    other.Close();
    QCOMPARE(other.LocalPort(), 0);
}

void TestWinsock::localPortInUseFails()
{
    Peer peer;
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::AnyIPv4, 0));
    Winsock sock;
    sock.setLocalPort(taken.serverPort());
    sock.setRemoteHost(QStringLiteral("127.0.0.1"));
    sock.setRemotePort(peer.port());
    QCOMPARE(thrownNumber([&] { sock.Connect(); }), int(Winsock::AddressInUse));
    QCOMPARE(sock.State(), qint16(Winsock::Closed));
}

void TestWinsock::wrongStateAndBadValues_data()
{
    QTest::addColumn<bool>("connectFirst");
    QTest::addColumn<std::function<void(Winsock &)>>("call");
    QTest::addColumn<int>("number");
    using Call = std::function<void(Winsock &)>;
    QTest::newRow("Connect while connected") << true << Call([](Winsock &s) { s.Connect(); }) << 40020;
    QTest::newRow("Listen while connected") << true << Call([](Winsock &s) { s.Listen(); }) << 40020;
    QTest::newRow("SendData while closed") << false << Call([](Winsock &s) { s.SendData(QStringLiteral("x")); })
                                           << 40006;
    QTest::newRow("RemotePort 65536") << false << Call([](Winsock &s) { s.setRemotePort(65536); }) << 380;
    QTest::newRow("RemotePort -1") << false << Call([](Winsock &s) { s.setRemotePort(-1); }) << 380;
    QTest::newRow("LocalPort 65536") << false << Call([](Winsock &s) { s.setLocalPort(65536); }) << 380;
    QTest::newRow("Accept unknown") << false << Call([](Winsock &s) { s.Accept(-5); }) << 40014;
}

void TestWinsock::wrongStateAndBadValues()
{
    QFETCH(bool, connectFirst);
    QFETCH(std::function<void(Winsock &)>, call);
    QFETCH(int, number);
    Peer peer;
    Winsock sock;
    if (connectFirst)
        connectTo(sock, peer);
    sock.setLocalPort(1234);
    sock.setRemotePort(4321);
    const qint16 state = sock.State();
    try {
        call(sock);
        QFAIL("no failure");
    } catch (const SystemError &e) {
        QCOMPARE(e.number(), number);
        QVERIFY(!e.description().isEmpty());
    }
    QCOMPARE(sock.State(), state);
    QCOMPARE(sock.RemotePort(), 4321);
    if (!connectFirst)
        QCOMPARE(sock.LocalPort(), 1234);
}

void TestWinsock::refusedPort()
{
    Winsock sock;
    QSignalSpy failed(&sock, &Winsock::errorOccurred);
    QSignalSpy connected(&sock, &Winsock::connected);
    sock.Connect(QStringLiteral("127.0.0.1"), unusedPort());
    QVERIFY(failed.wait(10000));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).value<qint16>(), qint16(10061));
    QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("Connection is forcefully rejected"));
    QCOMPARE(sock.State(), qint16(Winsock::Error));
    QCOMPARE(connected.count(), 0);

    // After an error the socket may connect again without Close.
    Peer peer;
    connectTo(sock, peer);
    QCOMPARE(sock.State(), qint16(Winsock::Connected));
    QCOMPARE(failed.count(), 1);
}

void TestWinsock::unknownHost()
{
    // An empty label is refused before any resolver is asked.
    Winsock sock;
    QSignalSpy failed(&sock, &Winsock::errorOccurred);
    sock.Connect(QStringLiteral("no..such.invalid"), 80);
    QVERIFY(failed.wait(10000));
    QCOMPARE(failed.at(0).at(0).value<qint16>(), qint16(11001));
    QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("Authoritative answer: Host not found"));
    QCOMPARE(sock.State(), qint16(Winsock::Error));
}

// Steps of the peer's script: send N bytes, wait until the client has read
// everything so far ("sync"), close.
void TestWinsock::deliveries_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<bool>("closeAtPeerClosing");
    QTest::newRow("split") << QStringList{"send 100", "sync", "send 2000", "sync", "send 7", "sync", "close"} << false;
    QTest::newRow("merged") << QStringList{"send 100", "send 2000", "send 7", "sync", "close"} << false;
    QTest::newRow("close with data pending") << QStringList{"send 5000", "close"} << false;
    QTest::newRow("close with data pending, closed at state 8")
        << QStringList{"send 300", "sync", "send 5000", "close"} << true;
    QTest::newRow("many small") << (QStringList{} << QStringList(200, "send 3") << "close") << true;
    QTest::newRow("large") << (QStringList{} << QStringList(128, "send 65536") << "close") << true;
    QTest::newRow("nothing") << QStringList{"close"} << false;
}

void TestWinsock::deliveries()
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
            const QByteArray bytes = pattern(step.mid(5).toInt(), ++seed);
            sent += bytes;
            peer.send(bytes);
        } else if (step == u"sync") {
            QVERIFY(QTest::qWaitFor([&] { return reader.data.size() >= sent.size(); }, 10000));
        } else if (step == u"close") {
            peer.closeLast();
        }
    }
    if (closeAtPeerClosing) {
        // Closed by the handler when the close was seen with the last chunk,
        // or else by a watchdog that polls State.
        QVERIFY(QTest::qWaitFor([&] { return reader.closedAtEnd || sock.State() == Winsock::PeerClosing; }, 20000));
        sock.Close();
    } else {
        QVERIFY(QTest::qWaitFor([&] { return sock.State() == Winsock::PeerClosing; }, 20000));
        QTRY_COMPARE_WITH_TIMEOUT(peerClosed.count(), 1, 10000);
    }
    QCOMPARE(reader.data.size(), sent.size());
    QVERIFY(reader.data == sent);
    QCOMPARE(reader.totals.size(), reader.chunks.size());
    for (int i = 0; i < reader.chunks.size(); ++i) {
        QVERIFY(!reader.chunks.at(i).isEmpty());
        QCOMPARE(reader.totals.at(i), qint32(reader.chunks.at(i).size()));
    }
}

void TestWinsock::unreadDataIsAnnouncedAgain()
{
    Peer peer;
    Winsock sock;
    Reader reader(&sock);
    reader.readInHandler = false;
    QSignalSpy peerClosed(&sock, &Winsock::peerClosed);
    connectTo(sock, peer);

    const QByteArray a = pattern(10, 1), b = pattern(20, 2);
    peer.send(a);
    QVERIFY(QTest::qWaitFor([&] { return reader.totals.size() == 1; }, 10000));
    QCOMPARE(reader.totals.at(0), 10);
    peer.send(b);
    QVERIFY(QTest::qWaitFor([&] { return reader.totals.size() == 2; }, 10000));
    QCOMPARE(reader.totals.at(1), 30);

    // The peer's close announces the unread bytes once more.
    peer.closeLast();
    QVERIFY(QTest::qWaitFor([&] { return reader.totals.size() == 3; }, 10000));
    QCOMPARE(reader.totals.at(2), 30);
    QCOMPARE(sock.State(), qint16(Winsock::Connected));
    QCOMPARE(sock.BytesReceived(), 30);
    QVERIFY(sock.GetDataBytes() == a + b);
    QCOMPARE(sock.State(), qint16(Winsock::PeerClosing));
    QVERIFY(peerClosed.wait(10000));
    QCOMPARE(reader.totals.size(), 3);
}

void TestWinsock::peerClosingOnlyWhenDrained()
{
    // A consumer that only polls, as a watchdog timer does.
    Peer peer;
    Winsock sock;
    QSignalSpy arrivals(&sock, &Winsock::dataArrival);
    connectTo(sock, peer);
    const QByteArray tail = pattern(70000, 3);
    peer.send(tail);
    peer.closeLast();
    QVERIFY(QTest::qWaitFor([&] { return sock.BytesReceived() == tail.size() && arrivals.count() >= 1; }, 10000));
    QTest::qWait(50);
    QCOMPARE(sock.State(), qint16(Winsock::Connected));
    QVERIFY(sock.GetDataBytes() == tail);
    QTRY_COMPARE_WITH_TIMEOUT(sock.State(), qint16(Winsock::PeerClosing), 10000);
    QVERIFY(sock.GetDataBytes().isEmpty());
    QCOMPARE(thrownNumber([&] { sock.SendData(QByteArrayView("x")); }), int(Winsock::BadState));
}

void TestWinsock::nestedLoopInDataArrival_data()
{
    QTest::addColumn<bool>("readBeforeLoop");
    QTest::addColumn<bool>("useYield");
    QTest::newRow("read first, event loop") << true << false;
    QTest::newRow("read first, yield") << true << true;
    QTest::newRow("read inside, event loop") << false << false;
    QTest::newRow("read inside, yield") << false << true;
}

void TestWinsock::nestedLoopInDataArrival()
{
    QFETCH(bool, readBeforeLoop);
    QFETCH(bool, useYield);
    Peer peer;
    Winsock sock;
    Reader reader(&sock);
    reader.readInHandler = false;
    const QByteArray a = pattern(1000, 1), b = pattern(3000, 2), c = pattern(500, 3);
    bool nested = false;
    QEventLoop *outerLoop = nullptr;
    reader.before = [&](qint32) {
        if (reader.depth > 1) {
            nested = true;
            reader.data += sock.GetDataBytes();
            if (outerLoop)
                outerLoop->quit();
            return;
        }
        if (readBeforeLoop)
            reader.data += sock.GetDataBytes();
        if (reader.totals.size() == 1) {
            // Wait, as a reply wait does, for more data to arrive inside this handler.
            peer.send(b);
            if (useYield) {
                QDeadlineTimer deadline(10000);
                QTimer::singleShot(10000, this, [] { });
                while (!nested && !deadline.hasExpired())
                    MessageLoop::yieldAndWait();
            } else {
                QEventLoop loop;
                outerLoop = &loop;
                QTimer::singleShot(10000, &loop, &QEventLoop::quit);
                loop.exec();
                outerLoop = nullptr;
            }
        }
        reader.data += sock.GetDataBytes();
    };
    connectTo(sock, peer);
    peer.send(a);
    QVERIFY(QTest::qWaitFor([&] { return reader.data.size() == a.size() + b.size(); }, 10000));
    QCOMPARE(reader.maxDepth, 2);
    peer.send(c);
    QVERIFY(QTest::qWaitFor([&] { return reader.data.size() == a.size() + b.size() + c.size(); }, 10000));
    QVERIFY(reader.data == a + b + c);
    // The nested announcement counts what was pending then, unread outer bytes included.
    if (readBeforeLoop)
        QVERIFY(reader.totals.at(1) <= b.size());
    else
        QVERIFY(reader.totals.at(1) > a.size());
}

void TestWinsock::tailArrivesWhileNested()
{
    // The peer sends its tail and closes while the first handler is still nested.
    Peer peer;
    Winsock sock;
    Reader reader(&sock);
    reader.closeAtPeerClosing = true;
    const QByteArray head = pattern(100, 1), tail = pattern(200000, 2);
    reader.after = [&](qint32) {
        if (reader.totals.size() != 1 || reader.closedAtEnd)
            return;
        peer.send(tail);
        peer.closeLast();
        QEventLoop loop;
        connect(peer.last(), &QAbstractSocket::disconnected, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (peer.last()->state() != QAbstractSocket::UnconnectedState)
            loop.exec();
        for (int i = 0; i < 10; ++i)
            MessageLoop::yield();
    };
    connectTo(sock, peer);
    peer.send(head);
    QVERIFY(QTest::qWaitFor([&] { return reader.closedAtEnd || sock.State() == Winsock::PeerClosing; }, 20000));
    QVERIFY(reader.data == head + tail);
}

void TestWinsock::dialogueInsideConnectHandler()
{
    // The control connection's login: each command goes out only after the
    // previous reply arrived, all from inside the Connect handler.
    Peer peer;
    peer.greeting = "220-first line\r\n";
    int replies = 0;
    peer.onReceived = [&](QTcpSocket *s) {
        while (peer.received.contains("\r\n")) {
            const qsizetype end = peer.received.indexOf("\r\n");
            peer.received.remove(0, end + 2);
            s->write(QByteArray::number(331 + replies++) + " ok\r\n");
        }
    };
    Winsock sock;
    QString transcript;
    bool replyArrived = false;
    connect(&sock, &Winsock::dataArrival, this, [&](qint32) {
        transcript += sock.GetDataText();
        replyArrived = true;
    });
    auto waitReply = [&] {
        replyArrived = false;
        QDeadlineTimer deadline(10000);
        QTimer::singleShot(10000, this, [] { });
        while (!replyArrived && sock.State() == Winsock::Connected && !deadline.hasExpired())
            MessageLoop::yieldAndWait();
    };
    bool done = false;
    connect(&sock, &Winsock::connected, this, [&] {
        waitReply();
        for (const char *command : {"USER anonymous", "PASS guest@", "TYPE I", "PASV"}) {
            sock.SendData(QString::fromLatin1(command) + QStringLiteral("\r\n"));
            waitReply();
        }
        done = true;
    });
    connectTo(sock, peer);
    QVERIFY(QTest::qWaitFor([&] { return done; }, 10000));
    QCOMPARE(transcript, QStringLiteral("220-first line\r\n331 ok\r\n332 ok\r\n333 ok\r\n334 ok\r\n"));
}

void TestWinsock::textUsesCodePage()
{
    QVERIFY(CodePage::setName(QStringLiteral("GBK")));
    Peer peer;
    Winsock sock;
    connectTo(sock, peer);
    const QString text = QStringLiteral("中文 abc");
    const QByteArray gbk = CodePage::fromUnicode(text);
    QCOMPARE(gbk.size(), 8);
    sock.SendData(text);
    QVERIFY(QTest::qWaitFor([&] { return peer.received == gbk; }, 10000));
    QSignalSpy arrivals(&sock, &Winsock::dataArrival);
    peer.send(gbk);
    QVERIFY(arrivals.wait(10000));
    QCOMPARE(arrivals.at(0).at(0).toInt(), 8);
    QCOMPARE(sock.GetDataText(), text);
    CodePage::setName(QString());
}

void TestWinsock::closeInsideHandlerThenConnectAtOnce()
{
    Peer peer;
    Winsock sock;
    QByteArray seen;
    QList<int> connections;
    int connects = 0;
    connect(&sock, &Winsock::connected, this, [&] { ++connects; });
    connect(&sock, &Winsock::dataArrival, this, [&](qint32) {
        seen += sock.GetDataBytes();
        if (seen == "first") {
            // The old connection goes on sending; none of it may surface.
            peer.send("late data");
            peer.closeLast();
            sock.Close();
            sock.Connect(QStringLiteral("127.0.0.1"), peer.port());
        }
    });
    QSignalSpy failed(&sock, &Winsock::errorOccurred);
    QSignalSpy peerClosed(&sock, &Winsock::peerClosed);
    connectTo(sock, peer);
    peer.send("first");
    QVERIFY(peer.waitForConnections(2));
    QVERIFY(QTest::qWaitFor([&] { return connects == 2; }, 10000));
    peer.send("second");
    QVERIFY(QTest::qWaitFor([&] { return seen.size() >= 11; }, 10000));
    QCOMPARE(seen, QByteArray("firstsecond"));
    QCOMPARE(failed.count(), 0);
    QCOMPARE(peerClosed.count(), 0);
    QCOMPARE(sock.State(), qint16(Winsock::Connected));
}

void TestWinsock::closeWhileConnecting_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("refused port") << QStringLiteral("127.0.0.1:%1").arg(unusedPort());
    QTest::newRow("unknown host") << QStringLiteral("no..such.invalid");
    QTest::newRow("name to resolve") << QStringLiteral("localhost:%1").arg(unusedPort());
}

void TestWinsock::closeWhileConnecting()
{
    QFETCH(QString, host);
    Peer peer;
    Winsock sock;
    QSignalSpy failed(&sock, &Winsock::errorOccurred);
    QSignalSpy connected(&sock, &Winsock::connected);
    sock.Connect(host, 80);
    sock.Close();
    QCOMPARE(sock.State(), qint16(Winsock::Closed));
    sock.Connect(QStringLiteral("127.0.0.1"), peer.port());
    QVERIFY(connected.wait(10000));
    QVERIFY(peer.waitForConnections(1));
    peer.send("x");
    QVERIFY(QTest::qWaitFor([&] { return sock.BytesReceived() == 1; }, 10000));
    QCOMPARE(failed.count(), 0);
    QCOMPARE(connected.count(), 1);
    QCOMPARE(sock.State(), qint16(Winsock::Connected));
}

void TestWinsock::closeDropsPendingData()
{
    Peer peer;
    Winsock sock;
    QSignalSpy arrivals(&sock, &Winsock::dataArrival);
    connectTo(sock, peer);
    peer.send("pending");
    QVERIFY(arrivals.wait(10000));
    sock.Close();
    QCOMPARE(sock.State(), qint16(Winsock::Closed));
    QCOMPARE(sock.BytesReceived(), 0);
    QVERIFY(sock.GetDataBytes().isEmpty());
    QCOMPARE(thrownNumber([&] { sock.SendData(QByteArrayView("x")); }), int(Winsock::BadState));

    // A fresh connection starts clean.
    connectTo(sock, peer);
    QCOMPARE(sock.BytesReceived(), 0);
    peer.send("fresh");
    QVERIFY(arrivals.wait(10000));
    QCOMPARE(arrivals.last().at(0).toInt(), 5);
    QCOMPARE(sock.GetDataBytes(), QByteArray("fresh"));
}

void TestWinsock::deleteInsideHandler()
{
    Peer peer;
    QPointer<Winsock> sock = new Winsock;
    connect(sock, &Winsock::dataArrival, this, [&](qint32) { delete sock.data(); });
    connectTo(*sock, peer);
    peer.send("bye");
    peer.closeLast();
    QVERIFY(QTest::qWaitFor([&] { return sock.isNull(); }, 10000));
    QTest::qWait(20);

    // Closing the owner's other socket inside an error handler, and deleting later, is fine too.
    auto *failing = new Winsock;
    connect(failing, &Winsock::errorOccurred, this, [failing] {
        failing->Close();
        failing->deleteLater();
    });
    QPointer<Winsock> watch = failing;
    failing->Connect(QStringLiteral("127.0.0.1"), unusedPort());
    QVERIFY(QTest::qWaitFor([&] { return watch.isNull(); }, 10000));
}

void TestWinsock::listenAndAccept()
{
    Winsock listener;
    listener.Bind(0, QStringLiteral("127.0.0.1"));
    listener.Listen();
    QCOMPARE(listener.State(), qint16(Winsock::Listening));
    QVERIFY(listener.LocalPort() > 0);
    QCOMPARE(thrownNumber([&] { listener.Connect(); }), int(Winsock::InvalidOperation));

    Winsock accepted;
    connect(&listener, &Winsock::connectionRequest, this, [&](qint32 id) { accepted.Accept(id); });
    Winsock client;
    Reader clientReader(&client);
    Reader serverReader(&accepted);
    QSignalSpy connected(&client, &Winsock::connected);
    client.Connect(QStringLiteral("127.0.0.1"), listener.LocalPort());
    QVERIFY(connected.wait(10000));
    QVERIFY(QTest::qWaitFor([&] { return accepted.State() == Winsock::Connected; }, 10000));
    QCOMPARE(accepted.RemoteHostIP(), QStringLiteral("127.0.0.1"));
    QCOMPARE(accepted.LocalPort(), listener.LocalPort());

    client.SendData(QByteArrayView("ping"));
    QVERIFY(QTest::qWaitFor([&] { return serverReader.data == "ping"; }, 10000));
    accepted.SendData(QByteArrayView("pong"));
    QVERIFY(QTest::qWaitFor([&] { return clientReader.data == "pong"; }, 10000));
    accepted.Close();
    QVERIFY(QTest::qWaitFor([&] { return client.State() == Winsock::PeerClosing; }, 10000));

    listener.Close();
    QCOMPARE(listener.State(), qint16(Winsock::Closed));
}

void TestWinsock::listenOnTakenPortFails()
{
    // The data-port search: try ports upwards until Listen succeeds.
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    Winsock sock;
    sock.Bind(taken.serverPort(), QStringLiteral("127.0.0.1"));
    QCOMPARE(thrownNumber([&] { sock.Listen(); }), int(Winsock::AddressInUse));
    QCOMPARE(sock.State(), qint16(Winsock::Closed));
    sock.Bind(0, QStringLiteral("127.0.0.1"));
    sock.Listen();
    QCOMPARE(sock.State(), qint16(Winsock::Listening));
    const qint32 found = sock.LocalPort();
    sock.Close();

    // The port found is free again at once for the data connection that leaves from it.
    Peer peer;
    sock.Bind(found, QString());
    QSignalSpy connected(&sock, &Winsock::connected);
    sock.Connect(QStringLiteral("127.0.0.1"), peer.port());
    QVERIFY(connected.wait(10000));
    QVERIFY(peer.waitForConnections(1));
    QCOMPARE(qint32(peer.last()->peerPort()), found);
}

void TestWinsock::acceptOnTheListeningSocket()
{
    // The classic pattern: the listener closes itself and takes the call over.
    Winsock listener;
    listener.Bind(0, QStringLiteral("127.0.0.1"));
    listener.Listen();
    connect(&listener, &Winsock::connectionRequest, this, [&](qint32 id) {
        listener.Close();
        listener.Accept(id);
    });
    Reader reader(&listener);
    Winsock client;
    QSignalSpy connected(&client, &Winsock::connected);
    client.Connect(QStringLiteral("127.0.0.1"), listener.LocalPort());
    QVERIFY(connected.wait(10000));
    QVERIFY(QTest::qWaitFor([&] { return listener.State() == Winsock::Connected; }, 10000));
    client.SendData(QByteArrayView("over"));
    QVERIFY(QTest::qWaitFor([&] { return reader.data == "over"; }, 10000));
}

QTEST_GUILESS_MAIN(TestWinsock)
#include "tst_winsock.moc"
