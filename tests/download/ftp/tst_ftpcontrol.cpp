// The FTP control against a scripted loopback server: the replies real
// servers do not send, and the control's face towards its host.

#include "ModalRunner.h"
#include "PropertyBag.h"
#include "ScriptedFtpServer.h"
#include "Winsock.h"
#include "ZuFTPDownLoad.h"

#include <QDialog>
#include <QMetaClassInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr int Timeout = 10000;

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(20261206);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Session {
    std::unique_ptr<ZuFTPDownLoad> control = std::make_unique<ZuFTPDownLoad>();
    QSignalSpy errors {control.get(), &ZuFTPDownLoad::OnError};
    QSignalSpy sizes {control.get(), &ZuFTPDownLoad::UrlOK};
    QSignalSpy chunks {control.get(), &ZuFTPDownLoad::GetedData};
    QSignalSpy ended {control.get(), &ZuFTPDownLoad::Ended};

    Session() { control->show(); }
    QString errorText() const
    {
        QStringList list;
        for (const QList<QVariant> &e : errors)
            list << e.at(0).toString() + u' ' + e.at(1).toString();
        return list.join(u"; ");
    }
};

} // namespace

class TestFtpControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    // The host's view
    void interfaceOrder();
    void showAppliesDefaultsAndAboutOnce();
    void loadedControlShowsNoAbout();
    void aboutCarriesFtpTitle();
    void sizeStaysFixed();
    void propertyPuts();
    void authorPutsAreDiscarded();
    void hsDownWithoutFile();
    void zuCloseWithoutFile();
    void splitUrl_data();
    void splitUrl();
    void invalidAddress();
    void badBegin_data();
    void badBegin();

    // Replies as replies
    void greetingInPieces_data();
    void greetingInPieces();
    void sizeAndEndTogether_data();
    void sizeAndEndTogether();
    void multiLineReplies();

    // Passive mode
    void passiveReplies_data();
    void passiveReplies();

    // Refusals and hang-ups
    void refusedUser();
    void serverClosesMidDialogue_data();
    void serverClosesMidDialogue();
    void notFound();
    void dataConnectionRefused();
    void controlConnectionRefused();
    void closeWhileWaiting();
    void lineBreakInUser();
    void portInAddress();
    void restartOffsets_data();
    void restartOffsets();

private:
    QTemporaryDir m_dir;
    QList<QStringList> m_modals;
};

void TestFtpControl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ModalRunner::setHandler([this](QDialog *dialog) {
        m_modals.append(ModalRunner::texts(dialog));
        return int(QDialog::Accepted);
    });
}

void TestFtpControl::cleanupTestCase()
{
    ModalRunner::setHandler({});
}

void TestFtpControl::interfaceOrder()
{
    const QMetaObject *meta = &ZuFTPDownLoad::staticMetaObject;
    QCOMPARE(QString::fromLatin1(meta->classInfo(meta->indexOfClassInfo("Members")).value()),
             QStringLiteral("Host,Path,User,Password,Port,DownTo,State,HsDown,ZUClose,State1,State2,"
                            "GetAttrs,Start,Writer,Email,HomePage,WriteLetter,VisitHomePage,About"));
    QCOMPARE(QString::fromLatin1(meta->classInfo(meta->indexOfClassInfo("Events")).value()),
             QStringLiteral("OnError,UrlOK,GetedData,Ended,GetAttred"));
    // Every listed member is reachable through the meta-object.
    const QStringList members = QString::fromLatin1(meta->classInfo(meta->indexOfClassInfo("Members")).value()).split(u',');
    for (const QString &name : members) {
        const QByteArray n = name.toLatin1();
        bool found = meta->indexOfProperty(n) >= 0;
        for (int i = 0; !found && i < meta->methodCount(); ++i)
            found = meta->method(i).name() == n && meta->method(i).methodType() == QMetaMethod::Method;
        QVERIFY2(found, n);
    }
    QVERIFY(meta->indexOfSignal("OnError(qint16,QString)") >= 0);
    QVERIFY(meta->indexOfSignal("UrlOK(qint32)") >= 0);
}

void TestFtpControl::showAppliesDefaultsAndAboutOnce()
{
    m_modals.clear();
    ZuFTPDownLoad control;
    QCOMPARE(control.Port(), 0);
    QVERIFY(!control.User().isValid());
    control.setUser(QStringLiteral("me"));
    control.setPassword(QStringLiteral("secret"));
    control.setPort(2121);
    control.show();
    QCOMPARE(control.User().toString(), QStringLiteral("anonymous"));
    QCOMPARE(control.Password().toString(), ZuFTPDownLoad::defaultPassword());
    QCOMPARE(control.Password().toString().size(), 18);
    QVERIFY(control.Password().toString().contains(u'@'));
    QCOMPARE(control.Port(), 21);
    QCOMPARE(control.maskColor(), QColor(255, 252, 255));
    QCOMPARE(m_modals.size(), 1);

    control.setPort(2121);
    control.hide();
    control.show();
    QCOMPARE(control.Port(), 21);
    QCOMPARE(m_modals.size(), 1);
}

void TestFtpControl::loadedControlShowsNoAbout()
{
    m_modals.clear();
    ZuFTPDownLoad control;
    PropertyBag bag;
    control.setStart(5);
    control.hostReadProperties(bag);
    QVERIFY(bag.reads().isEmpty());
    control.show();
    QCOMPARE(m_modals.size(), 0);
    QCOMPARE(control.Port(), 21);
    PropertyBag saved;
    control.hostWriteProperties(saved);
    QVERIFY(saved.writes().isEmpty());
}

void TestFtpControl::aboutCarriesFtpTitle()
{
    m_modals.clear();
    ZuFTPDownLoad control;
    control.About();
    control.About();
    QCOMPARE(m_modals.size(), 2);
    QVERIFY2(m_modals.at(1).contains(QStringLiteral("Zu下载控件 FTP 协议版")), qPrintable(m_modals.at(1).join(u'|')));
}

void TestFtpControl::sizeStaysFixed()
{
    ZuFTPDownLoad control;
    control.hostResize(3000, 2000);
    QCOMPARE(control.size(), QSize(ControlBase::twipsToPixels(660), ControlBase::twipsToPixels(580)));
    control.show();
    control.hostResize(100, 100);
    QCOMPARE(control.size(), QSize(ControlBase::twipsToPixels(660), ControlBase::twipsToPixels(580)));
}

void TestFtpControl::propertyPuts()
{
    ZuFTPDownLoad control;
    QSignalSpy changed(&control, &ControlBase::propertyChanged);
    control.setHost(QStringLiteral("srv"));
    control.setPath(QStringLiteral("/a"));
    control.setUser(QStringLiteral("u"));
    control.setPassword(QStringLiteral("p"));
    control.setPort(21);
    control.setStart(5);
    QStringList names;
    for (const QList<QVariant> &c : changed)
        names << c.at(0).toString();
    QCOMPARE(names, QStringList({"Host", "Path", "User", "Password", "Port", "Start"}));
    QCOMPARE(control.Start(), 5);
    QCOMPARE(control.Host().toString(), QStringLiteral("srv"));
}

void TestFtpControl::authorPutsAreDiscarded()
{
    ZuFTPDownLoad control;
    QSignalSpy changed(&control, &ControlBase::propertyChanged);
    control.setProperty("Writer", QStringLiteral("x"));
    control.setProperty("Email", QStringLiteral("x"));
    control.setProperty("HomePage", QStringLiteral("x"));
    QCOMPARE(control.property("Writer").toString(), QStringLiteral("Tolvar"));
    QVERIFY(control.property("Email").toString() != QStringLiteral("x"));
    QVERIFY(control.property("HomePage").toString() != QStringLiteral("x"));
    QCOMPARE(changed.count(), 0);
}

void TestFtpControl::hsDownWithoutFile()
{
    ZuFTPDownLoad control;
    control.HsDown();
    const auto error = control.takeError();
    QVERIFY(error);
    QCOMPARE(error->number(), 52);
}

void TestFtpControl::zuCloseWithoutFile()
{
    ZuFTPDownLoad control;
    QVERIFY(!control.ZUClose().isValid());
    QVERIFY(!control.takeError());
    QCOMPARE(control.State1().toInt(), 0);
    QCOMPARE(control.State().toInt(), 0);
    QCOMPARE(control.State2().toInt(), 0);
}

void TestFtpControl::splitUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("path");
    QTest::newRow("ftp") << "ftp://srv/pub/a.zip" << true << "srv" << "/pub/a.zip";
    QTest::newRow("no scheme") << "srv/a.zip" << true << "srv" << "/a.zip";
    QTest::newRow("no path") << "ftp://srv" << false << "" << "";
    QTest::newRow("root") << "ftp://srv/" << true << "srv" << "/";
    QTest::newRow("port") << "ftp://srv:2121/x" << true << "srv:2121" << "/x";
    QTest::newRow("any scheme") << "http://srv/x y" << true << "srv" << "/x y";
    QTest::newRow("scheme only") << "ftp://" << false << "" << "";
    QTest::newRow("empty") << "" << false << "" << "";
}

void TestFtpControl::splitUrl()
{
    QFETCH(QString, url);
    QFETCH(bool, ok);
    QString host, path;
    QCOMPARE(ZuFTPDownLoad::SplitUrl(url, host, path), ok);
    if (ok) {
        QTEST(host, "host");
        QTEST(path, "path");
    }
}

void TestFtpControl::invalidAddress()
{
    Session s;
    const QString file = m_dir.filePath(QStringLiteral("invalid.bin"));
    s.control->DownTo(QStringLiteral("ftp://srv"), file, 1, false);
    QCOMPARE(s.errors.count(), 1);
    QCOMPARE(s.errors.at(0).at(0).toInt(), 1);
    QCOMPARE(s.errors.at(0).at(1).toString(), QStringLiteral("无效的地址"));
    QVERIFY(!QFile::exists(file));
    QCOMPARE(s.control->State1().toInt(), 0);
    s.control->GetAttrs(QVariant());
    QCOMPARE(s.errors.count(), 2);
    QCOMPARE(s.errors.at(1).at(1).toString(), QStringLiteral("无效的地址"));
}

void TestFtpControl::badBegin_data()
{
    QTest::addColumn<qint32>("begin");
    QTest::addColumn<bool>("ext");
    QTest::addColumn<int>("number");
    QTest::newRow("begin 0 with ext") << 0 << true << 52;
    QTest::newRow("negative with ext") << -5 << true << 52;
    QTest::newRow("lowest begin") << std::numeric_limits<qint32>::min() << false << 6;
}

void TestFtpControl::badBegin()
{
    QFETCH(qint32, begin);
    QFETCH(bool, ext);
    QFETCH(int, number);
    ScriptedFtpServer server;
    Session s;
    s.control->DownTo(server.url(), m_dir.filePath(QStringLiteral("begin.bin")), begin, ext);
    QCOMPARE(s.errors.count(), 1);
    QCOMPARE(s.errors.at(0).at(0).toInt(), number);
    QTest::qWait(100);
    QVERIFY(!server.controlConnected());
    s.control->ZUClose();
}

void TestFtpControl::greetingInPieces_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::newRow("multi-line in two arrivals")
        << QList<QByteArray>{"220-Welcome to the scripted server.\r\n", "220 Ready.\r\n"};
    QTest::newRow("split inside a line")
        << QList<QByteArray>{"22", "0 Ready.\r", "\n"};
    QTest::newRow("multi-line, three arrivals")
        << QList<QByteArray>{"220-Welcome\r\n220-", "still welcome\r\n", "220 Ready.\r\n"};
    QTest::newRow("bare line feeds")
        << QList<QByteArray>{"220-Welcome\n", "220 Ready.\n"};
}

void TestFtpControl::greetingInPieces()
{
    QFETCH(QList<QByteArray>, pieces);
    ScriptedFtpServer server;
    server.setContent(randomBytes(70000));
    server.setGreeting(pieces, 150);
    int commandsBeforeGreetingDone = 0;
    QTimer::singleShot(150 * (pieces.size() - 1) - 20, [&] {
        commandsBeforeGreetingDone = int(server.commands().size());
    });
    Session s;
    const QString file = m_dir.filePath(QStringLiteral("greeting.bin"));
    QFile::remove(file);
    s.control->DownTo(server.url(), file, 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QCOMPARE(commandsBeforeGreetingDone, 0);
    QCOMPARE(server.commands(),
             QList<QByteArray>({"USER anonymous", "PASS " + ZuFTPDownLoad::defaultPassword().toLatin1(),
                                "REST 100", "TYPE I", "PASV", "REST 0", "RETR /f.bin"}));
    QVERIFY2(s.errors.isEmpty(), qPrintable(s.errorText()));
    QCOMPARE(readFile(file), server.content());
}

void TestFtpControl::sizeAndEndTogether_data()
{
    QTest::addColumn<bool>("dataFirst");
    QTest::newRow("data, then 150 and 226") << true;
    QTest::newRow("150 and 226, then data") << false;
}

void TestFtpControl::sizeAndEndTogether()
{
    QFETCH(bool, dataFirst);
    ScriptedFtpServer server;
    const QByteArray content = randomBytes(3 * 1024 * 1024 + 17);
    server.setContent(content);
    const QByteArray replies = "150 Opening BINARY mode data connection (" + QByteArray::number(content.size())
        + " bytes).\r\n226 Transfer complete.\r\n";
    server.onCommand("RETR", [&](const QByteArray &) {
        if (dataFirst) {
            server.sendData(content);
            server.closeData();
            QTimer::singleShot(300, &server, [&] { server.send(replies); });
        } else {
            server.send(replies);
            QTimer::singleShot(200, &server, [&] {
                server.sendData(content);
                server.closeData();
            });
        }
    });
    Session s;
    qint32 countAtEnd = -1;
    connect(s.control.get(), &ZuFTPDownLoad::Ended, s.control.get(), [&] { countAtEnd = s.control->HsDown(); });
    const QString file = m_dir.filePath(QStringLiteral("together.bin"));
    QFile::remove(file);
    s.control->DownTo(server.url(), file, 1, true);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QVERIFY2(s.errors.isEmpty(), qPrintable(s.errorText()));
    QCOMPARE(s.sizes.count(), 1);
    QCOMPARE(s.sizes.at(0).at(0).toInt(), content.size());
    QCOMPARE(countAtEnd, content.size());
    QVERIFY(s.chunks.count() > 0);
    QCOMPARE(readFile(file), content);
    // The transfer is over: the file is closed and so are both connections.
    s.control->HsDown();
    QVERIFY(s.control->takeError());
    QCOMPARE(s.control->State1().toInt(), 0);
    QCOMPARE(s.control->State().toInt(), 0);
}

void TestFtpControl::multiLineReplies()
{
    ScriptedFtpServer server;
    server.setContent("multi");
    server.onCommand("USER", [&](const QByteArray &) {
        server.send("331-Anonymous login ok,\r\n331-send your complete e-mail address\r\n");
        QTimer::singleShot(100, &server, [&] { server.send("331 as password.\r\n"); });
    });
    server.onCommand("RETR", [&](const QByteArray &) {
        server.send("150-Here it comes\r\n 226 is not the end\r\n150 Opening (5 bytes)\r\n");
        server.sendData("multi");
        server.closeData();
        QTimer::singleShot(100, &server, [&] { server.send("226-Done\r\n226 Goodbye.\r\n"); });
    });
    Session s;
    const QString file = m_dir.filePath(QStringLiteral("multi.bin"));
    QFile::remove(file);
    s.control->DownTo(server.url(), file, 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QCOMPARE(server.commands().at(1).left(5), QByteArray("PASS "));
    QCOMPARE(s.sizes.count(), 1);
    QCOMPARE(s.sizes.at(0).at(0).toInt(), 5);
    QCOMPARE(readFile(file), QByteArray("multi"));
}

void TestFtpControl::passiveReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("errorNumber"); // 0: the transfer completes
    QTest::newRow("usual") << QByteArray("227 Entering Passive Mode (127,0,0,1,P1,P2).") << 0;
    QTest::newRow("names another address")
        << QByteArray("227 Entering Passive Mode (127,0,0,2,P1,P2).") << 0;
    QTest::newRow("without opening bracket") << QByteArray("227 Entering Passive Mode 127,0,0,1,P1,P2).") << 0;
    QTest::newRow("without closing bracket") << QByteArray("227 Entering Passive Mode (127,0,0,1,P1,P2.") << 5;
    QTest::newRow("brackets reversed") << QByteArray("227 Entering Passive Mode )127,0,0,1,P1,P2(.") << 5;
    QTest::newRow("one comma") << QByteArray("227 Entering Passive Mode (P1,P2).") << 5;
    QTest::newRow("no comma") << QByteArray("227 Entering Passive Mode (1025).") << 5;
    QTest::newRow("port out of range") << QByteArray("227 Entering Passive Mode (127,0,0,1,256,1).") << 380;
}

void TestFtpControl::passiveReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, errorNumber);
    ScriptedFtpServer server;
    server.setContent(randomBytes(5000));
    reply.replace("P1", QByteArray::number(server.dataPort() / 256))
        .replace("P2", QByteArray::number(server.dataPort() % 256));
    server.onCommand("PASV", [&](const QByteArray &) { server.send(reply + "\r\n"); });
    Session s;
    const QString file = m_dir.filePath(QStringLiteral("pasv.bin"));
    QFile::remove(file);
    s.control->DownTo(server.url(), file, 1, false);
    if (errorNumber == 0) {
        QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
        QVERIFY2(s.errors.isEmpty(), qPrintable(s.errorText()));
        QCOMPARE(readFile(file), server.content());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(s.errors.count(), 1, Timeout);
        QCOMPARE(s.errors.at(0).at(0).toInt(), errorNumber);
        QTest::qWait(200);
        QCOMPARE(server.dataConnections(), 0);
        QCOMPARE(s.ended.count(), 0);
        QCOMPARE(server.commands().last(), QByteArray("PASV"));
    }
    s.control->ZUClose();
}

void TestFtpControl::refusedUser()
{
    ScriptedFtpServer server;
    for (const QByteArray verb : {"USER", "PASS", "REST", "TYPE", "PASV"})
        server.onCommand(verb, [&](const QByteArray &) { server.send("530 Login incorrect.\r\n"); });
    Session s;
    s.control->DownTo(server.url(), m_dir.filePath(QStringLiteral("refused.bin")), 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(server.commands().size(), 5, Timeout);
    QTest::qWait(200);
    QCOMPARE(server.commands(),
             QList<QByteArray>({"USER anonymous", "PASS " + ZuFTPDownLoad::defaultPassword().toLatin1(),
                                "REST 100", "TYPE I", "PASV"}));
    QCOMPARE(s.errors.count(), 0);
    QCOMPARE(s.ended.count(), 0);
    s.control->ZUClose();
}

void TestFtpControl::serverClosesMidDialogue_data()
{
    QTest::addColumn<QByteArray>("closeAt");
    QTest::addColumn<int>("commandCount");
    QTest::newRow("greeting unfinished") << QByteArray("GREETING") << 0;
    QTest::newRow("after USER") << QByteArray("USER") << 1;
    QTest::newRow("after PASV") << QByteArray("PASV") << 5;
    QTest::newRow("after REST with offset") << QByteArray("REST 0") << 6;
    QTest::newRow("after RETR, data sent, no 226") << QByteArray("RETR") << 7;
}

void TestFtpControl::serverClosesMidDialogue()
{
    QFETCH(QByteArray, closeAt);
    QFETCH(int, commandCount);
    ScriptedFtpServer server;
    server.setContent(randomBytes(1000));
    if (closeAt == "GREETING")
        server.setGreeting({"220-Welcome\r\n"});
    else if (closeAt == "RETR")
        server.onCommand("RETR", [&](const QByteArray &) {
            server.sendData(server.content());
            server.closeData();
            server.closeControl();
        });
    else if (closeAt == "REST 0")
        server.onCommand("REST", [&](const QByteArray &argument) {
            if (argument == "0")
                server.closeControl();
            else
                server.send("350 ok\r\n");
        });
    else
        server.onCommand(closeAt, [&](const QByteArray &) { server.closeControl(); });
    if (closeAt == "GREETING")
        QTimer::singleShot(200, &server, [&] { server.closeControl(); });
    Session s;
    s.control->DownTo(server.url(), m_dir.filePath(QStringLiteral("closing.bin")), 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.errors.count(), 1, Timeout);
    QCOMPARE(s.errors.at(0).at(0).toInt(), int(Winsock::ConnectionAborted));
    QTest::qWait(200);
    QCOMPARE(s.errors.count(), 1);
    QCOMPARE(s.ended.count(), 0);
    QCOMPARE(server.commands().size(), commandCount);
    s.control->ZUClose();
}

void TestFtpControl::notFound()
{
    ScriptedFtpServer server;
    server.onCommand("RETR", [&](const QByteArray &) { server.send("550 Failed to open file.\r\n"); });
    Session s;
    const QString file = m_dir.filePath(QStringLiteral("missing.bin"));
    s.control->DownTo(server.url(QStringLiteral("/missing.bin")), file, 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.errors.count(), 1, Timeout);
    QCOMPARE(s.errors.at(0).at(0).toInt(), 550);
    QCOMPARE(s.errors.at(0).at(1).toString(), QStringLiteral("地址未找到"));
    QCOMPARE(s.control->State1().toInt(), 0);
    QCOMPARE(s.control->State().toInt(), 0);
    // The file stays open until ZUClose.
    QCOMPARE(s.control->HsDown(), 0);
    QVERIFY(!s.control->takeError());
    s.control->ZUClose();
    s.control->HsDown();
    QVERIFY(s.control->takeError());
}

void TestFtpControl::dataConnectionRefused()
{
    ScriptedFtpServer server;
    quint16 closedPort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    server.onCommand("PASV", [&](const QByteArray &) {
        server.send("227 Entering Passive Mode (127,0,0,1," + QByteArray::number(closedPort / 256) + ","
                    + QByteArray::number(closedPort % 256) + ")\r\n");
    });
    Session s;
    s.control->DownTo(server.url(), m_dir.filePath(QStringLiteral("refused-data.bin")), 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.errors.count(), 1, Timeout);
    QCOMPARE(s.errors.at(0).at(0).toInt(), int(Winsock::ConnectionRefused));
    s.control->ZUClose();
}

void TestFtpControl::controlConnectionRefused()
{
    quint16 closedPort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    Session s;
    s.control->DownTo(QStringLiteral("ftp://127.0.0.1:%1/f.bin").arg(closedPort),
                      m_dir.filePath(QStringLiteral("refused-control.bin")), 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.errors.count(), 1, Timeout);
    QCOMPARE(s.errors.at(0).at(0).toInt(), int(Winsock::ConnectionRefused));
    s.control->ZUClose();
}

void TestFtpControl::closeWhileWaiting()
{
    ScriptedFtpServer server;
    Session s;
    // The host closes from a handler that runs while the control waits for the USER reply.
    server.onCommand("USER", [&](const QByteArray &) {
        QTimer::singleShot(50, s.control.get(), [&] { s.control->ZUClose(); });
    });
    s.control->DownTo(server.url(), m_dir.filePath(QStringLiteral("closed.bin")), 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.control->State1().toInt(), 0, Timeout);
    QTest::qWait(200);
    QCOMPARE(server.commands(), QList<QByteArray>{"USER anonymous"});
    QCOMPARE(s.errors.count(), 0);
    QCOMPARE(s.ended.count(), 0);
}

void TestFtpControl::lineBreakInUser()
{
    ScriptedFtpServer server;
    Session s;
    s.control->setUser(QStringLiteral("anonymous\r\nDELE /f.bin"));
    s.control->DownTo(server.url(), m_dir.filePath(QStringLiteral("inject.bin")), 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.errors.count(), 1, Timeout);
    QCOMPARE(s.errors.at(0).at(0).toInt(), 5);
    QTest::qWait(100);
    QVERIFY(server.commands().isEmpty());
    s.control->ZUClose();
}

void TestFtpControl::portInAddress()
{
    ScriptedFtpServer server;
    server.setContent("port");
    Session s;
    QCOMPARE(s.control->Port(), 21);
    const QString file = m_dir.filePath(QStringLiteral("port.bin"));
    QFile::remove(file);
    s.control->DownTo(server.url(), file, 1, false);
    QCOMPARE(s.control->Host().toString(), QStringLiteral("127.0.0.1:%1").arg(server.port()));
    QCOMPARE(s.control->Path().toString(), QStringLiteral("/f.bin"));
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QCOMPARE(readFile(file), QByteArray("port"));
    QCOMPARE(s.control->Port(), 21);
}

void TestFtpControl::restartOffsets_data()
{
    QTest::addColumn<qint32>("begin");
    QTest::addColumn<bool>("ext");
    QTest::addColumn<QByteArrayList>("afterPasv");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("fresh over a longer file") << 1 << false << QByteArrayList{"REST 0", "RETR /f.bin"}
                                              << QByteArray("0123456789ABCDEFGHIJ");
    QTest::newRow("append after 10") << 11 << true << QByteArrayList{"REST 10", "RETR /f.bin"}
                                     << QByteArray("abcdefghij0123456789");
    QTest::newRow("begin 0") << 0 << false << QByteArrayList{"REST -1", "RETR /f.bin"}
                             << QByteArray("0123456789ABCDEFGHIJ");
    QTest::newRow("begin -99") << -99 << false << QByteArrayList{"RETR /f.bin"}
                               << QByteArray("0123456789ABCDEFGHIJ");
}

void TestFtpControl::restartOffsets()
{
    QFETCH(qint32, begin);
    QFETCH(bool, ext);
    QFETCH(QByteArrayList, afterPasv);
    QFETCH(QByteArray, expected);
    ScriptedFtpServer server;
    server.setContent("0123456789");
    const QString file = m_dir.filePath(QStringLiteral("offsets.bin"));
    {
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
        old.write("abcdefghijABCDEFGHIJ");
    }
    Session s;
    s.control->DownTo(server.url(), file, begin, ext);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QCOMPARE(server.commands().mid(5), afterPasv);
    QCOMPARE(readFile(file).left(expected.size()), expected);
}

QTEST_MAIN(TestFtpControl)
#include "tst_ftpcontrol.moc"
