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

using namespace Qt::StringLiterals;

constexpr int Timeout = 10000;

// Scripts the first session of \a server in steps apart by '|': "VERB text" answers VERB
// with the text; a bare "VERB" sends the content and hangs up; "227 ..." answers PASV, its
// P1,P2 replaced by the data port and C1,C2 by a closed port. Later sessions go as usual.
static void script(ScriptedFtpServer &server, const QByteArray &steps)
{
    const quint16 closed = PeerProcess::freePort();
    for (QByteArray step : steps.split('|')) {
        step.replace("P1", QByteArray::number(server.dataPort() / 256))
            .replace("P2", QByteArray::number(server.dataPort() % 256))
            .replace("C1", QByteArray::number(closed / 256))
            .replace("C2", QByteArray::number(closed % 256));
        const QByteArray verb = step.startsWith("227") ? "PASV" : step.left(4);
        const QByteArray reply = step.startsWith("227") ? step : step.mid(5);
        server.onCommand(verb, [&server, verb, reply](const QByteArray &argument) {
            if (server.controlConnections() > 1) {
                server.answerAsUsual(verb, argument);
            } else if (reply.isEmpty()) {
                server.sendData(server.content());
                server.closeData();
                server.closeControl();
            } else {
                server.send(reply + "\r\n");
            }
        });
    }
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
        QCOMPARE(control.Port(), 21);
        control.setPort(2121);
        control.hide();
    }
    QCOMPARE(m_modals.size(), 1);
    control.hostResize(3000, 2000);
    QCOMPARE(control.sizeTwips(), QSize(660, 580));

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
    QTest::addColumn<QByteArray>("script"); // see script(), or how RETR is answered
    QTest::addColumn<qint64>("begin");
    QTest::addColumn<bool>("ext");
    QTest::addColumn<QByteArray>("commands"); // after the login
    QTest::addColumn<QByteArray>("expected"); // the file held "abcdefghijABCDEFGHIJ"
    QTest::addColumn<QByteArrayList>("greeting"); // in pieces, 150 ms apart
    const auto row = [](const char *name, const char *script, qint64 begin, bool ext, const char *commands,
                        const char *expected, const QByteArrayList &greeting = {"220 Ready.\r\n"}) {
        QTest::newRow(name) << QByteArray(script) << begin << ext << QByteArray(commands) << QByteArray(expected)
                            << greeting;
    };
    const char *plain = "REST 100|TYPE I|PASV|REST 0|RETR /f.bin";
    const char *fresh = "0123456789ABCDEFGHIJ";
    row("greeting, multi-line in two arrivals", "", 1, false, plain, fresh,
        {"220-Welcome to the scripted server.\r\n", "220 Ready.\r\n"});
    row("greeting split inside a line", "", 1, false, plain, fresh, {"22", "0 Ready.\r", "\n"});
    row("data, then 150 and 226 together", "data first", 1, false, plain, fresh);
    row("150 and 226 together, then data", "replies first", 1, false, plain, fresh);
    row("multi-line replies", "multi-line", 1, false, plain, fresh);
    // The data connection goes to the control connection's peer, whatever the reply names.
    row("PASV naming another address", "227 Passive Mode (127,0,0,2,P1,P2).", 1, false, plain, fresh);
    // PASV speaks of IPv4 only: on IPv6 the control asks EPSV at once.
    row("IPv6", "IPv6", 1, false, "REST 100|TYPE I|EPSV|REST 0|RETR /f.bin", fresh);
    row("append after 10", "", 11, true, "REST 100|TYPE I|PASV|REST 10|RETR /f.bin", "abcdefghij0123456789");
    row("begin 0", "", 0, false, "REST 100|TYPE I|PASV|REST -1|RETR /f.bin", fresh);
    row("begin -99", "", -99, false, "REST 100|TYPE I|PASV|RETR /f.bin", fresh);
    // The whole file comes then: it replaces the part that was there.
    row("append after 10, REST refused", "REST 502 Command not implemented.", 11, true,
        "REST 100|TYPE I|PASV|REST 10|RETR /f.bin", "0123456789");
    row("PASV refused, EPSV taken", "PASV 500 PASV not understood.", 11, true,
        "REST 100|TYPE I|PASV|EPSV|REST 10|RETR /f.bin", "abcdefghij0123456789");
}

void TestFtpControl::download()
{
    QFETCH(QByteArray, script);
    QFETCH(qint64, begin);
    QFETCH(bool, ext);
    QFETCH(QByteArray, commands);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArrayList, greeting);
    ScriptedFtpServer server(script == "IPv6" ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
    server.setContent("0123456789");
    server.setGreeting(greeting, 150);
    const QByteArray opening = "150 Opening BINARY mode data connection (10 bytes).\r\n";
    const auto sendData = [&] {
        server.sendData(server.content());
        server.closeData();
    };
    if (script == "data first" || script == "replies first" || script == "multi-line") {
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
    } else if (!script.isEmpty() && script != "IPv6") {
        ::script(server, script);
    }
    if (script == "multi-line") {
        server.onCommand("USER", [&](const QByteArray &) {
            server.send("331-Anonymous login ok,\r\n331-send your complete e-mail address\r\n");
            QTimer::singleShot(100, &server, [&] { server.send("331 as password.\r\n"); });
        });
    }
    const QString file = m_dir.filePath(QStringLiteral("download.bin"));
    QVERIFY(writeFile(file, "abcdefghijABCDEFGHIJ"));
    FtpSession s;
    s.control->DownTo(server.url(), file, begin, ext);
    QTRY_COMPARE_WITH_TIMEOUT(s.ended.count(), 1, Timeout);
    QCOMPARE(s.errors, QStringList());
    // The port in the address serves the connection; the Port property keeps its value.
    QCOMPARE(s.control->Port(), 21);
    // Nothing is sent before the greeting is complete.
    QCOMPARE(server.commandsBeforeGreeted(), 0);
    QCOMPARE(server.commands(), QByteArrayList({"USER anonymous", "PASS " + ZuFTPDownLoad::defaultPassword().toLatin1()})
                                    + commands.split('|'));
    QCOMPARE(s.sizes.count(), 1);
    QCOMPARE(s.sizes.at(0).at(0).toInt(), server.content().size());
    // HsDown counts the bytes up to the last one written.
    QCOMPARE(s.countAtEnd, expected.indexOf(server.content()) + server.content().size());
    QCOMPARE(readFile(file), expected);
    // The transfer is over: the file is closed and so are both connections.
    s.control->HsDown();
    QVERIFY(s.control->takeError());
    QCOMPARE(s.control->State1().toInt(), 0);
    QCOMPARE(s.control->State().toInt(), 0);
}

void TestFtpControl::dialogueStops_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("commandCount");
    QTest::addColumn<QString>("error"); // the one OnError, as "number description" or its number alone
    const auto row = [](const char *name, const char *script, int commandCount, const QString &error) {
        QTest::newRow(name) << QByteArray(script) << commandCount << error;
    };
    const QString aborted = QString::number(Winsock::ConnectionAborted);
    const QString refused = QString::number(Winsock::ConnectionRefused);
    row("address without a path", "no path", 0, u"1 无效的地址"_s);
    row("probe without a path", "probe", 0, u"1 无效的地址"_s);
    row("begin 0 with ext", "begin 0", 0, u"52"_s);
    row("lowest begin", "lowest begin", 0, u"6"_s);
    row("port out of range", "port", 0, u"380"_s);
    row("line break in User", "user", 0, u"5"_s);
    row("refused at once", "refuse", 0, refused);
    row("closed, greeting unfinished", "greeting", 0, aborted);
    row("closed after USER", "USER", 1, aborted);
    row("closed after PASV", "PASV", 5, aborted);
    row("closed after RETR, data sent, no 226", "RETR", 7, aborted);
    row("PASV, one comma", "227 Passive Mode (P1,P2).", 5, u"5"_s);
    row("PASV, port out of range", "227 Passive Mode (127,0,0,1,256,1).", 5, u"380"_s);
    row("PASV, port closed", "227 Passive Mode (127,0,0,1,C1,C2)", 5, refused);
    // Replies that refuse what the session needs end it with their own number and text.
    row("greeting refuses", "greeting 421", 0, u"421 Too many users."_s);
    row("PASV and EPSV refused", "PASV 502 Not here.|EPSV 425 Cannot open passive connection.", 6,
        u"425 Cannot open passive connection."_s);
    row("RETR refused", "RETR 450 File unavailable.", 7, u"450 File unavailable."_s);
    row("LIST refused", "LIST 450 No files found.", 7, u"450 No files found."_s);
    row("transfer aborted", "RETR 150 Opening BINARY mode data connection (1000 bytes).\r\n426 Transfer aborted.", 7,
        u"426 Transfer aborted."_s);
    row("reply without end", "endless", 0, QString::number(Winsock::NoBufferSpace));
    // The host closes from a handler that runs while the control waits for a reply.
    row("host closes while waiting", "ZUClose", 1, QString());
}

void TestFtpControl::dialogueStops()
{
    QFETCH(QByteArray, script);
    QFETCH(int, commandCount);
    QFETCH(QString, error);
    ScriptedFtpServer server;
    FtpSession s;
    server.setContent(randomBytes(1000));
    QString url = server.url();
    const QString file = m_dir.filePath(QStringLiteral("stops.bin"));
    QFile::remove(file);
    qint64 begin = 1;
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
    } else if (script == "ZUClose") {
        server.onCommand("USER", [&](const QByteArray &) {
            QTimer::singleShot(50, s.control.get(), [&] { s.control->ZUClose(); });
        });
    } else {
        ::script(server, script);
    }
    if (script == "probe" || script.startsWith("LIST"))
        s.control->GetAttrs(url);
    else
        s.control->DownTo(url, file, begin, script.startsWith("begin "));
    // The session is over once the control has hung up; nothing may follow.
    QTRY_VERIFY_WITH_TIMEOUT((error.isEmpty() || !s.errors.isEmpty()) && server.commands().size() >= commandCount
                                 && server.controlClosed(),
                             Timeout);
    QCoreApplication::processEvents();
    QCOMPARE(s.errors.size(), error.isEmpty() ? 0 : 1);
    if (!error.isEmpty())
        QCOMPARE(error.contains(u' ') ? s.errors.at(0) : s.errors.at(0).section(u' ', 0, 0), error);
    if (script == "no path")
        QVERIFY(!QFile::exists(file));
    QCOMPARE(s.ended.count(), 0);
    QCOMPARE(server.commands().size(), commandCount);
    QCOMPARE(s.control->State1().toInt(), 0);
    if (script.startsWith("227"))
        QCOMPARE(server.dataConnections(), 0);
}

void TestFtpControl::hostCallsBack_data()
{
    QTest::addColumn<QByteArray>("script"); // how the first session goes, see script()
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
    const char *hangUp = "RETR";
    row("deleted in UrlOK", "", "UrlOK", "delete", 1, 0, 0);
    row("deleted in GetedData", "", "GetedData", "delete", 1, 0, 0);
    row("deleted in Ended", "", "Ended", "delete", 1, 1, 0);
    row("deleted in OnError, invalid address", "no path", "OnError", "delete", 0, 0, 1);
    row("deleted in OnError, 550", "RETR 550 Failed to open file.", "OnError", "delete", 1, 0, 1);
    row("deleted in OnError, data port closed", "227 (127,0,0,1,C1,C2)", "OnError", "delete", 1, 0, 1);
    row("deleted in OnError, target full", "full", "OnError", "delete", 1, 0, 1);
    row("deleted in OnError, server hung up", hangUp, "OnError", "delete", 1, 0, 1);
    row("next download in Ended", "", "Ended", "DownTo", 2, 2, 0, "second");
    row("probe in Ended", "", "Ended", "GetAttrs", 2, 1, 0, "first");
    row("next download in UrlOK", "", "UrlOK", "DownTo", 2, 1, 0, "second");
    row("next download in OnError, refused login", "PASS 530 Login incorrect.", "OnError", "DownTo", 2, 1, 1, "second");
    row("next download in OnError, server hung up", hangUp, "OnError", "DownTo", 2, 1, 1, "second");
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
    QString url = server.url();
    QString first = m_dir.filePath(QStringLiteral("first.bin"));
    const QString second = m_dir.filePath(QStringLiteral("second.bin"));
    QFile::remove(first);
    QFile::remove(second);
    if (script == "no path")
        url = QStringLiteral("ftp://srv");
    else if (script == "full")
        first = QStringLiteral("/dev/full");
    else if (!script.isEmpty())
        ::script(server, script);

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
    QCOMPARE(s.errors.size(), errors);
    if (!complete.isEmpty())
        QCOMPARE(readFile(complete == u"first" ? first : second), server.content());
    if (action == "GetAttrs")
        QCOMPARE(s.sizes.count(), 2);
}

QTEST_MAIN(TestFtpControl)
#include "tst_ftpcontrol.moc"
