// The FTP control against a scripted loopback server: the replies real
// servers do not send, and the control's face towards its host.

#include "../PeerProcess.h"
#include "FtpReplyReader.h"
#include "FtpSession.h"
#include "ModalRunner.h"
#include "PropertyBag.h"
#include "ScriptedFtpServer.h"
#include "Winsock.h"

#include <QDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <utility>

using namespace Qt::StringLiterals;

constexpr int Timeout = 10000;

// Answers PASV with \a reply, its P1,P2 replaced by the data port and C1,C2 by a closed port.
static void answerPasv(ScriptedFtpServer &server, QByteArray reply)
{
    const quint16 closed = PeerProcess::freePort();
    reply.replace("P1", QByteArray::number(server.dataPort() / 256))
        .replace("P2", QByteArray::number(server.dataPort() % 256))
        .replace("C1", QByteArray::number(closed / 256))
        .replace("C2", QByteArray::number(closed % 256));
    server.onCommand("PASV", [&server, reply](const QByteArray &) { server.send(reply + "\r\n"); });
}

class TestFtpControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void hostView();

    void download_data();
    void download();
    void restartOffsets_data();
    void restartOffsets();
    void dialogueStops_data();
    void dialogueStops();
    void hostCallsBack_data();
    void hostCallsBack();

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

void TestFtpControl::hostView()
{
    m_modals.clear();
    ZuFTPDownLoad control;
    // Every Show puts the defaults back; only the first shows the about box.
    for (int round = 0; round < 2; ++round) {
        control.show();
        QCOMPARE(control.User().toString(), QStringLiteral("anonymous"));
        QCOMPARE(control.Password().toString(), ZuFTPDownLoad::defaultPassword());
        QCOMPARE(control.Port(), 21);
        control.setPort(2121);
        control.hide();
    }
    QCOMPARE(m_modals.size(), 1);
    control.hostResize(3000, 2000);
    QCOMPARE(control.size(), QSize(ControlBase::twipsToPixels(660), ControlBase::twipsToPixels(580)));
    QCOMPARE(control.sizeTwips(), QSize(660, 580));
    // Without a download file ZUClose still succeeds.
    QVERIFY(!control.ZUClose().isValid());
    QVERIFY(!control.takeError());

    // A control loaded from saved properties shows no about box, and saves nothing.
    ZuFTPDownLoad loaded;
    PropertyBag bag, saved;
    loaded.hostReadProperties(bag);
    loaded.show();
    loaded.hostWriteProperties(saved);
    QVERIFY(saved.writes().isEmpty());
    QCOMPARE(m_modals.size(), 1);
}

void TestFtpControl::download_data()
{
    QTest::addColumn<QByteArrayList>("greeting"); // in pieces, 150 ms apart
    QTest::addColumn<QByteArray>("script"); // a PASV reply, or how RETR is answered
    const QByteArrayList oneLine{"220 Ready.\r\n"};
    QTest::newRow("greeting, multi-line in two arrivals")
        << QByteArrayList{"220-Welcome to the scripted server.\r\n", "220 Ready.\r\n"} << QByteArray();
    QTest::newRow("greeting split inside a line") << QByteArrayList{"22", "0 Ready.\r", "\n"} << QByteArray();
    QTest::newRow("data, then 150 and 226 together") << oneLine << QByteArray("data first");
    QTest::newRow("150 and 226 together, then data") << oneLine << QByteArray("replies first");
    QTest::newRow("multi-line replies") << oneLine << QByteArray("multi-line");
    // The data connection goes to the control connection's peer, whatever the reply names.
    QTest::newRow("PASV naming another address") << oneLine << QByteArray("227 Passive Mode (127,0,0,2,P1,P2).");
    // PASV speaks of IPv4 only: on IPv6 the control asks EPSV at once.
    QTest::newRow("IPv6") << oneLine << QByteArray("IPv6");
}

void TestFtpControl::download()
{
    QFETCH(QByteArrayList, greeting);
    QFETCH(QByteArray, script);
    ScriptedFtpServer server(script == "IPv6" ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
    server.setContent(randomBytes(3 * 1024 * 1024 + 17));
    server.setGreeting(greeting, 150);
    const QByteArray opening = "150 Opening BINARY mode data connection (" + QByteArray::number(server.content().size())
        + " bytes).\r\n";
    const auto sendData = [&] {
        server.sendData(server.content());
        server.closeData();
    };
    if (script.startsWith("227")) {
        answerPasv(server, script);
    } else if (!script.isEmpty() && script != "IPv6") {
        server.onCommand("RETR", [&](const QByteArray &) {
            if (script == "data first") {
                sendData();
                QTimer::singleShot(300, &server, [&] { server.send(opening + "226 Transfer complete.\r\n"); });
            } else if (script == "replies first") {
                server.send(opening + "226 Transfer complete.\r\n");
                QTimer::singleShot(200, &server, sendData);
            } else {
                server.send("150-Here it comes\r\n 226 is not the end\r\n" + opening);
                sendData();
                QTimer::singleShot(100, &server, [&] { server.send("226-Done\r\n226 Goodbye.\r\n"); });
            }
        });
    }
    if (script == "multi-line") {
        server.onCommand("USER", [&](const QByteArray &) {
            server.send("331-Anonymous login ok,\r\n331-send your complete e-mail address\r\n");
            QTimer::singleShot(100, &server, [&] { server.send("331 as password.\r\n"); });
        });
    }
    FtpSession s;
    const QString file = m_dir.filePath(QStringLiteral("download.bin"));
    QFile::remove(file);
    s.control->DownTo(server.url(), file, 1, false);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QVERIFY2(s.errors.isEmpty(), s.errorText());
    // The port in the address serves the connection; the Port property keeps its value.
    QCOMPARE(s.control->Port(), 21);
    // Nothing is sent before the greeting is complete.
    QCOMPARE(server.commandsBeforeGreeted(), 0);
    QCOMPARE(server.commands(), QByteArrayList({"USER anonymous", "PASS " + ZuFTPDownLoad::defaultPassword().toLatin1(),
                                                "REST 100", "TYPE I", script == "IPv6" ? "EPSV" : "PASV", "REST 0",
                                                "RETR /f.bin"}));
    QCOMPARE(s.sizes.count(), 1);
    QCOMPARE(s.sizes.at(0).at(0).toInt(), server.content().size());
    QCOMPARE(s.countAtEnd, server.content().size());
    QVERIFY(s.chunks.count() > 0);
    QCOMPARE(readFile(file), server.content());
    // The transfer is over: the file is closed and so are both connections.
    s.control->HsDown();
    QVERIFY(s.control->takeError());
    QCOMPARE(s.control->State1().toInt(), 0);
    QCOMPARE(s.control->State().toInt(), 0);
}

void TestFtpControl::restartOffsets_data()
{
    QTest::addColumn<qint32>("begin");
    QTest::addColumn<bool>("ext");
    QTest::addColumn<QByteArray>("refused"); // a command and the reply that refuses it
    QTest::addColumn<QByteArray>("afterPasv");
    QTest::addColumn<QByteArray>("expected"); // the file held "abcdefghijABCDEFGHIJ"
    QTest::newRow("fresh over a longer file") << 1 << false << QByteArray() << QByteArray("REST 0|RETR /f.bin")
                                              << QByteArray("0123456789ABCDEFGHIJ");
    QTest::newRow("append after 10") << 11 << true << QByteArray() << QByteArray("REST 10|RETR /f.bin")
                                     << QByteArray("abcdefghij0123456789");
    QTest::newRow("begin 0") << 0 << false << QByteArray() << QByteArray("REST -1|RETR /f.bin")
                             << QByteArray("0123456789ABCDEFGHIJ");
    QTest::newRow("begin -99") << -99 << false << QByteArray() << QByteArray("RETR /f.bin")
                               << QByteArray("0123456789ABCDEFGHIJ");
    // The whole file comes then: it replaces the part that was there.
    QTest::newRow("append after 10, REST refused") << 11 << true << QByteArray("REST 502 Command not implemented.")
                                                   << QByteArray("REST 10|RETR /f.bin") << QByteArray("0123456789");
    QTest::newRow("PASV refused, EPSV taken") << 11 << true << QByteArray("PASV 500 PASV not understood.")
                                              << QByteArray("EPSV|REST 10|RETR /f.bin")
                                              << QByteArray("abcdefghij0123456789");
}

void TestFtpControl::restartOffsets()
{
    QFETCH(qint32, begin);
    QFETCH(bool, ext);
    QFETCH(QByteArray, refused);
    QFETCH(QByteArray, afterPasv);
    QFETCH(QByteArray, expected);
    ScriptedFtpServer server;
    server.setContent("0123456789");
    if (!refused.isEmpty()) {
        server.onCommand(refused.left(4), [&](const QByteArray &argument) {
            if (argument == "100")
                server.send("350 ok\r\n");
            else
                server.send(refused.mid(5) + "\r\n");
        });
    }
    const QString file = m_dir.filePath(QStringLiteral("offsets.bin"));
    QVERIFY(writeFile(file, "abcdefghijABCDEFGHIJ"));
    FtpSession s;
    s.control->DownTo(server.url(), file, begin, ext);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QVERIFY2(s.errors.isEmpty(), s.errorText());
    QCOMPARE(server.commands().mid(5), afterPasv.split('|'));
    QCOMPARE(s.countAtEnd, expected.size() - (ext ? 0 : 10));
    QCOMPARE(readFile(file), expected);
}

void TestFtpControl::dialogueStops_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("commandCount");
    QTest::addColumn<int>("number"); // 0: stops without an error
    QTest::addColumn<QString>("description"); // checked unless empty
    const auto row = [](const char *name, const char *script, int commandCount, int number,
                        const QString &description = {}) {
        QTest::newRow(name) << QByteArray(script) << commandCount << number << description;
    };
    const int aborted = Winsock::ConnectionAborted, refused = Winsock::ConnectionRefused;
    row("address without a path", "no path", 0, 1, u"无效的地址"_s);
    row("probe without a path", "probe", 0, 1, u"无效的地址"_s);
    row("begin 0 with ext", "begin 0", 0, 52);
    row("lowest begin", "lowest begin", 0, 6);
    row("port out of range", "port", 0, 380);
    row("line break in User", "user", 0, 5);
    row("refused at once", "refuse", 0, refused);
    row("closed, greeting unfinished", "greeting", 0, aborted);
    row("closed after USER", "USER", 1, aborted);
    row("closed after PASV", "PASV", 5, aborted);
    row("closed after RETR, data sent, no 226", "RETR", 7, aborted);
    row("PASV, one comma", "227 Passive Mode (P1,P2).", 5, 5);
    row("PASV, port out of range", "227 Passive Mode (127,0,0,1,256,1).", 5, 380);
    row("PASV, port closed", "227 Passive Mode (127,0,0,1,C1,C2)", 5, refused);
    // Replies that refuse what the session needs end it with their own number and text.
    row("greeting refuses", "greeting 421", 0, 421, u"Too many users."_s);
    row("USER refused", "USER 530 This server is anonymous only.", 1, 530, u"This server is anonymous only."_s);
    row("PASS refused", "PASS 530 Login incorrect.", 2, 530, u"Login incorrect."_s);
    row("PASV and EPSV refused", "EPSV 425 Cannot open passive connection.", 6, 425, u"Cannot open passive connection."_s);
    row("RETR refused", "RETR 450 File unavailable.", 7, 450, u"File unavailable."_s);
    row("LIST refused", "LIST 450 No files found.", 7, 450, u"No files found."_s);
    row("RETR missing", "RETR 550 No such file.", 7, 550, u"地址未找到"_s);
    row("transfer aborted", "aborted", 7, 426, u"Transfer aborted."_s);
    row("reply without end", "endless", 0, Winsock::NoBufferSpace);
    row("target file full", "full", 7, 57);
    // The host closes from a handler that runs while the control waits for a reply.
    row("host closes while waiting", "ZUClose", 1, 0);
}

void TestFtpControl::dialogueStops()
{
    QFETCH(QByteArray, script);
    QFETCH(int, commandCount);
    QFETCH(int, number);
    QFETCH(QString, description);
    ScriptedFtpServer server;
    FtpSession s;
    server.setContent(randomBytes(1000));
    QString url = server.url();
    QString file = m_dir.filePath(QStringLiteral("stops.bin"));
    QFile::remove(file);
    qint64 begin = 1;
    const QByteArray verb = script.left(4);
    const QByteArray reply = script.mid(5) + "\r\n";
    if (script == "no path" || script == "probe") {
        url = QStringLiteral("ftp://srv");
    } else if (script.startsWith("begin ")) {
        begin = script.mid(6).toInt();
    } else if (script == "lowest begin") {
        begin = std::numeric_limits<qint64>::min();
    } else if (script == "port") {
        s.control->setPort(65536);
        url = QStringLiteral("ftp://127.0.0.1/f.bin");
    } else if (script == "user") {
        s.control->setUser(QStringLiteral("anonymous\r\nDELE /f.bin"));
    } else if (script == "refuse") {
        url = QStringLiteral("ftp://127.0.0.1:%1/f.bin").arg(PeerProcess::freePort());
    } else if (script.startsWith("227")) {
        answerPasv(server, script);
    } else if (script == "greeting") {
        server.setGreeting({"220-Welcome\r\n"});
        QTimer::singleShot(200, &server, [&] { server.closeControl(); });
    } else if (script == "greeting 421") {
        server.setGreeting({"421 Too many users.\r\n"});
    } else if (script == "endless") {
        // A multi-line reply that never ends, longer than any reply is let grow.
        const QByteArray lines = readFile(QFINDTESTDATA("regressions/endless-greeting.txt"));
        QVERIFY(lines.size() > FtpReplyReader::MaxReplyBytes);
        server.setGreeting({lines});
    } else if (script == "RETR") {
        server.onCommand("RETR", [&](const QByteArray &) {
            server.sendData(server.content());
            server.closeData();
            server.closeControl();
        });
    } else if (script == "aborted") {
        server.onCommand("RETR", [&](const QByteArray &) {
            server.send("150 Opening BINARY mode data connection (1000 bytes).\r\n");
            server.sendData(server.content().left(100));
            server.closeData();
            server.send("426 Transfer aborted.\r\n");
        });
    } else if (script == "full") {
        file = QStringLiteral("/dev/full");
    } else if (script == "ZUClose") {
        server.onCommand("USER", [&](const QByteArray &) {
            QTimer::singleShot(50, s.control.get(), [&] { s.control->ZUClose(); });
        });
    } else if (script.size() > 5) {
        server.onCommand(verb, [&server, reply](const QByteArray &) { server.send(reply); });
        if (verb == "EPSV")
            server.onCommand("PASV", [&server](const QByteArray &) { server.send("502 Not here.\r\n"); });
    } else {
        server.onCommand(script, [&](const QByteArray &) { server.closeControl(); });
    }
    if (script == "probe" || verb == "LIST")
        s.control->GetAttrs(url);
    else
        s.control->DownTo(url, file, begin, script.startsWith("begin "));
    // The session is over once the control has hung up; nothing may follow.
    QTRY_VERIFY_WITH_TIMEOUT((!number || !s.errors.isEmpty()) && server.commands().size() >= commandCount
                                 && server.controlClosed(),
                             Timeout);
    QCoreApplication::processEvents();
    QVERIFY2(s.errors.count() == (number ? 1 : 0), s.errorText());
    if (number)
        QCOMPARE(s.errorNumber(), number);
    if (!description.isEmpty())
        QCOMPARE(s.errorDescription(), description);
    if (number == 1)
        QVERIFY(!QFile::exists(file));
    QCOMPARE(s.ended.count(), 0);
    QCOMPARE(server.commands().size(), commandCount);
    QCOMPARE(s.control->State1().toInt(), 0);
    if (script.startsWith("227"))
        QCOMPARE(server.dataConnections(), 0);
}

void TestFtpControl::hostCallsBack_data()
{
    QTest::addColumn<QByteArray>("script"); // how the first session goes
    QTest::addColumn<QByteArray>("event"); // the host acts in the first one of these
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<int>("sessions"); // control connections in all
    QTest::addColumn<int>("ended");
    QTest::addColumn<int>("errors");
    QTest::addColumn<QString>("complete"); // the file that holds the content at the end

    const auto row = [](const char *name, const char *script, const char *event, const char *action, int sessions,
                        int ended, int errors, const char *complete = "") {
        QTest::newRow(name) << QByteArray(script) << QByteArray(event) << QByteArray(action) << sessions << ended
                            << errors << QString::fromLatin1(complete);
    };
    row("deleted in UrlOK", "", "UrlOK", "delete", 1, 0, 0);
    row("deleted in GetedData", "", "GetedData", "delete", 1, 0, 0);
    row("deleted in Ended", "", "Ended", "delete", 1, 1, 0);
    row("deleted in OnError, invalid address", "no path", "OnError", "delete", 0, 0, 1);
    row("deleted in OnError, 550", "550", "OnError", "delete", 1, 0, 1);
    row("deleted in OnError, data port closed", "port closed", "OnError", "delete", 1, 0, 1);
    row("deleted in OnError, target full", "full", "OnError", "delete", 1, 0, 1);
    row("deleted in OnError, server hung up", "hang-up", "OnError", "delete", 1, 0, 1);
    row("next download in Ended", "", "Ended", "DownTo", 2, 2, 0, "second");
    row("probe in Ended", "", "Ended", "GetAttrs", 2, 1, 0, "first");
    row("next download in UrlOK", "", "UrlOK", "DownTo", 2, 1, 0, "second");
    row("next download in OnError, refused login", "530", "OnError", "DownTo", 2, 1, 1, "second");
    row("next download in OnError, server hung up", "hang-up", "OnError", "DownTo", 2, 1, 1, "second");
    // Refused calls change nothing in the running download.
    row("refused GetAttrs in GetedData, invalid address", "", "GetedData", "GetAttrs ftp://srv", 1, 1, 1, "first");
    row("refused DownTo in GetedData, begin 0", "", "GetedData", "DownTo begin 0", 1, 1, 1, "first");
    row("refused DownTo in GetedData, folder as file", "", "GetedData", "DownTo folder", 1, 1, 1, "first");
}

void TestFtpControl::hostCallsBack()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, event);
    QFETCH(QByteArray, action);
    QFETCH(int, sessions);
    QFETCH(int, ended);
    QFETCH(int, errors);
    QFETCH(QString, complete);
    ScriptedFtpServer server;
    server.setContent(randomBytes(3 * 1024 * 1024 + 5));
    const auto firstSession = [&server] { return server.controlConnections() == 1; };
    QString url = server.url();
    QString first = m_dir.filePath(QStringLiteral("first.bin"));
    const QString second = m_dir.filePath(QStringLiteral("second.bin"));
    QFile::remove(first);
    QFile::remove(second);
    if (script == "no path") {
        url = QStringLiteral("ftp://srv");
    } else if (script == "full") {
        first = QStringLiteral("/dev/full");
    } else if (script == "550" || script == "hang-up") {
        server.onCommand("RETR", [&, script](const QByteArray &argument) {
            if (!firstSession())
                server.answerAsUsual("RETR", argument);
            else if (script == "550")
                server.send("550 Failed to open file.\r\n");
            else
                server.closeControl();
        });
    } else if (script == "530") {
        server.onCommand("PASS", [&](const QByteArray &argument) {
            if (firstSession())
                server.send("530 Login incorrect.\r\n");
            else
                server.answerAsUsual("PASS", argument);
        });
    } else if (script == "port closed") {
        const quint16 closed = PeerProcess::freePort();
        server.onCommand("PASV", [&, closed](const QByteArray &) {
            server.send("227 Passive Mode (127,0,0,1," + QByteArray::number(closed / 256) + ','
                        + QByteArray::number(closed % 256) + ")\r\n");
        });
    }

    FtpSession s;
    bool acted = false;
    const auto act = [&] {
        if (std::exchange(acted, true))
            return;
        if (action == "delete")
            s.control.reset();
        else if (action == "DownTo")
            s.control->DownTo(server.url(), second, 1, false);
        else if (action == "GetAttrs")
            s.control->GetAttrs(server.url());
        else if (action == "GetAttrs ftp://srv")
            s.control->GetAttrs(QStringLiteral("ftp://srv"));
        else if (action == "DownTo begin 0")
            s.control->DownTo(server.url(), second, 0, true);
        else if (action == "DownTo folder")
            s.control->DownTo(server.url(), m_dir.path(), 1, false);
    };
    ZuFTPDownLoad *control = s.control.get();
    if (event == "OnError")
        QObject::connect(control, &ZuFTPDownLoad::OnError, control, act);
    else if (event == "UrlOK")
        QObject::connect(control, &ZuFTPDownLoad::UrlOK, control, act);
    else if (event == "GetedData")
        QObject::connect(control, &ZuFTPDownLoad::GetedData, control, act);
    else
        QObject::connect(control, &ZuFTPDownLoad::Ended, control, act);
    control->DownTo(url, first, 1, false);

    QTRY_VERIFY_WITH_TIMEOUT(acted && server.controlConnections() == sessions && server.controlClosed(), Timeout);
    QCoreApplication::processEvents();
    QVERIFY(action == "delete" ? !s.control : bool(s.control));
    QCOMPARE(s.ended.count(), ended);
    QVERIFY2(s.errors.count() == errors, s.errorText());
    if (!complete.isEmpty())
        QCOMPARE(readFile(complete == u"first" ? first : second), server.content());
    if (action == "GetAttrs")
        QCOMPARE(s.sizes.count(), 2);
}

QTEST_MAIN(TestFtpControl)
#include "tst_ftpcontrol.moc"
