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

// Scripts the first session of \a server in steps apart by '|'. "VERB reply" answers VERB with
// the reply's lines, where "<data>" sends the content and closes the data connection, "<pause>"
// waits 150 ms and "<hang-up>" closes the control connection. "227 ..." answers PASV, its P1,P2
// replaced by the data port and C1,C2 by a closed port. Later sessions go as usual.
static void script(ScriptedFtpServer &server, const QByteArray &steps)
{
    const quint16 closed = PeerProcess::freePort();
    for (QByteArray step : steps.split('|')) {
        step.replace("P1", QByteArray::number(server.dataPort() / 256))
            .replace("P2", QByteArray::number(server.dataPort() % 256))
            .replace("C1", QByteArray::number(closed / 256))
            .replace("C2", QByteArray::number(closed % 256));
        const QByteArray verb = step.startsWith("227") ? "PASV" : step.left(4);
        const QByteArrayList parts = (step.startsWith("227") ? step : step.mid(5)).replace('>', '<').split('<');
        server.onCommand(verb, [&server, verb, parts](const QByteArray &argument) {
            if (server.controlConnections() > 1)
                return server.answerAsUsual(verb, argument);
            int delay = 0;
            for (const QByteArray &part : parts) {
                const auto act = [&server, part] {
                    if (part == "data") {
                        server.sendData(server.content());
                        server.closeData();
                    } else if (part == "hang-up") {
                        server.closeControl();
                    } else if (!part.isEmpty()) {
                        server.send(part + "\r\n");
                    }
                };
                if (part == "pause")
                    delay += 150;
                else if (delay > 0)
                    QTimer::singleShot(delay, &server, act);
                else
                    act();
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

    void dialogues_data();
    void dialogues();
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

void TestFtpControl::dialogues_data()
{
    QTest::addColumn<QByteArray>("script"); // see script(), or a word for a case of dialogues()
    QTest::addColumn<QByteArray>("commands"); // all the server got
    QTest::addColumn<QString>("outcome"); // "Ended" and the file, or the one OnError, its text where given
    QTest::addColumn<qint64>("begin");
    QTest::addColumn<bool>("ext");
    QTest::addColumn<QByteArrayList>("greeting"); // in pieces, 150 ms apart
    const auto row = [](const char *name, const char *script, const QByteArray &commands, const char *outcome,
                        qint64 begin = 1, bool ext = false, const QByteArrayList &greeting = {"220 Ready.\r\n"}) {
        QTest::newRow(name) << QByteArray(script) << commands << QString::fromUtf8(outcome) << begin << ext << greeting;
    };
    const QByteArray toPasv = "login|REST 100|TYPE I|PASV", all = toPasv + "|REST 0|RETR /f.bin";
    // The file held "abcdefghijABCDEFGHIJ".
    const char *fresh = "Ended 0123456789ABCDEFGHIJ";
    row("greeting, multi-line in two arrivals", "", all, fresh, 1, false,
        {"220-Welcome to the scripted server.\r\n", "220 Ready.\r\n"});
    row("greeting split inside a line", "", all, fresh, 1, false, {"22", "0 Ready.\r", "\n"});
    row("data, then 150 and 226 together",
        "RETR <data><pause>150 Opening BINARY mode data connection (10 bytes).\r\n226 Transfer complete.", all, fresh);
    row("150 and 226 together, then data",
        "RETR 150 Opening BINARY mode data connection (10 bytes).\r\n226 Transfer complete.<pause><data>", all, fresh);
    row("multi-line replies",
        "USER 331-Anonymous login ok,\r\n331-send your complete e-mail address<pause>331 as password.|"
        "RETR 150-Here it comes\r\n 226 is not the end\r\n150 Opening (10 bytes).<data><pause>226-Done\r\n226 Goodbye.",
        all, fresh);
    // The data connection goes to the control connection's peer, whatever the reply names.
    row("PASV naming another address", "227 Passive Mode (127,0,0,2,P1,P2).", all, fresh);
    // PASV speaks of IPv4 only: on IPv6 the control asks EPSV at once.
    row("IPv6", "IPv6", "login|REST 100|TYPE I|EPSV|REST 0|RETR /f.bin", fresh);
    row("begin 0", "", toPasv + "|REST -1|RETR /f.bin", fresh, 0);
    row("begin -99", "", toPasv + "|RETR /f.bin", fresh, -99);
    // The whole file comes then: it replaces the part that was there.
    row("append after 10, REST refused", "REST 502 Command not implemented.", toPasv + "|REST 10|RETR /f.bin",
        "Ended 0123456789", 11, true);
    row("PASV refused, EPSV taken", "PASV 500 PASV not understood.", toPasv + "|EPSV|REST 10|RETR /f.bin",
        "Ended abcdefghij0123456789", 11, true);

    row("address without a path", "no path", "", "1 无效的地址");
    row("probe without a path", "probe", "", "1 无效的地址");
    row("begin 0 with ext", "", "", "52", 0, true);
    row("lowest begin", "", "", "6", std::numeric_limits<qint64>::min());
    row("port out of range", "port", "", "380");
    row("line break in User", "user", "", "5");
    row("refused at once", "refuse", "", "10061");
    row("closed, greeting unfinished", "", "", "10053", 1, false, {"220-Welcome\r\n", ""});
    row("closed after USER", "USER <hang-up>", "USER anonymous", "10053");
    row("closed after PASV", "PASV <hang-up>", toPasv, "10053");
    row("closed after RETR, data sent, no 226", "RETR <data><hang-up>", all, "10053");
    row("PASV, one comma", "227 Passive Mode (P1,P2).", toPasv, "5");
    row("PASV, port out of range", "227 Passive Mode (127,0,0,1,256,1).", toPasv, "380");
    row("PASV, port closed", "227 Passive Mode (127,0,0,1,C1,C2)", toPasv, "10061");
    // Replies that refuse what the session needs end it with their own number and text.
    row("greeting refuses", "", "", "421 Too many users.", 1, false, {"421 Too many users.\r\n"});
    row("PASV and EPSV refused", "PASV 502 Not here.|EPSV 425 Cannot open passive connection.", toPasv + "|EPSV",
        "425 Cannot open passive connection.");
    row("RETR refused", "RETR 450 File unavailable.", all, "450 File unavailable.");
    row("LIST refused", "LIST 450 No files found.", "login|REST 100|TYPE A|PASV|REST 0|LIST /f.bin",
        "450 No files found.");
    row("transfer aborted", "RETR 150 Opening BINARY mode data connection (10 bytes).<data>426 Transfer aborted.", all,
        "426 Transfer aborted.");
    // A multi-line reply that never ends, longer than any reply is let grow.
    const QByteArray endless = readFile(QFINDTESTDATA("regressions/endless-greeting.txt"));
    QVERIFY(endless.size() > FtpReplyReader::MaxReplyBytes);
    row("reply without end", "", "", "10055", 1, false, {endless});
    // The host closes from a handler that runs while the control waits for a reply.
    row("host closes while waiting", "ZUClose", "USER anonymous", "");
}

void TestFtpControl::dialogues()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, commands);
    QFETCH(QString, outcome);
    QFETCH(qint64, begin);
    QFETCH(bool, ext);
    QFETCH(QByteArrayList, greeting);
    ScriptedFtpServer server(script == "IPv6" ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
    server.setContent("0123456789");
    server.setGreeting(greeting, 150);
    FtpSession s;
    QString url = server.url();
    const QString file = m_dir.filePath(QStringLiteral("dialogue.bin"));
    QVERIFY(writeFile(file, "abcdefghijABCDEFGHIJ"));
    if (script == "no path" || script == "probe") {
        url = QStringLiteral("ftp://srv");
        QVERIFY(QFile::remove(file));
    } else if (script == "port") {
        s.control->setPort(65536);
        url = QStringLiteral("ftp://127.0.0.1/f.bin");
    } else if (script == "user") {
        s.control->setUser(QStringLiteral("anonymous\r\nDELE /f.bin"));
    } else if (script == "refuse") {
        url = QStringLiteral("ftp://127.0.0.1:%1/f.bin").arg(PeerProcess::freePort());
    } else if (script == "ZUClose") {
        server.onCommand("USER", [&](const QByteArray &) {
            QTimer::singleShot(50, s.control.get(), [&] { s.control->ZUClose(); });
        });
    } else if (script.contains(' ')) {
        ::script(server, script);
    }
    if (script == "probe" || script.startsWith("LIST"))
        s.control->GetAttrs(url);
    else
        s.control->DownTo(url, file, begin, ext);
    const QByteArrayList sent = commands.isEmpty() ? QByteArrayList()
        : commands.replace("login", "USER anonymous|PASS " + ZuFTPDownLoad::defaultPassword().toLatin1()).split('|');
    // The session is over once the control has hung up; nothing may follow.
    QTRY_VERIFY_WITH_TIMEOUT((outcome.isEmpty() || s.ended.count() + s.errors.size() > 0)
                                 && server.commands().size() >= sent.size() && server.controlClosed(),
                             Timeout);
    QCoreApplication::processEvents();
    QCOMPARE(server.commands(), sent);
    QCOMPARE(s.control->State1().toInt(), 0);
    QCOMPARE(s.control->State().toInt(), 0);
    if (!outcome.startsWith(u"Ended ")) {
        QCOMPARE(s.ended.count(), 0);
        QCOMPARE(s.errors.size(), outcome.isEmpty() ? 0 : 1);
        if (!outcome.isEmpty())
            QCOMPARE(outcome.contains(u' ') ? s.errors.at(0) : s.errors.at(0).section(u' ', 0, 0), outcome);
        if (script == "no path")
            QVERIFY(!QFile::exists(file));
        if (script.startsWith("227"))
            QCOMPARE(server.dataConnections(), 0);
        return;
    }
    const QByteArray expected = outcome.mid(6).toLatin1();
    QCOMPARE(s.ended.count(), 1);
    QCOMPARE(s.errors, QStringList());
    // Nothing is sent before the greeting is complete.
    QCOMPARE(server.commandsBeforeGreeted(), 0);
    // The port in the address serves the connection; the Port property keeps its value.
    QCOMPARE(s.control->Port(), 21);
    QCOMPARE(s.sizes.count(), 1);
    QCOMPARE(s.sizes.at(0).at(0).toInt(), server.content().size());
    // HsDown counts the bytes up to the last one written.
    QCOMPARE(s.countAtEnd, expected.indexOf(server.content()) + server.content().size());
    QCOMPARE(readFile(file), expected);
    // The transfer is over: the file is closed.
    s.control->HsDown();
    QVERIFY(s.control->takeError());
}

void TestFtpControl::hostCallsBack_data()
{
    QTest::addColumn<QByteArray>("script"); // how the first session goes, see script()
    QTest::addColumn<QByteArray>("event"); // the host acts in the first one of these
    QTest::addColumn<QByteArray>("action"); // delete, GetAttrs [URL] or DownTo [begin 0 | folder]
    QTest::addColumn<int>("sessions"); // control connections in all
    QTest::addColumn<int>("ended");
    QTest::addColumn<int>("errors");
    QTest::addColumn<QString>("complete"); // the file that holds the content at the end

    const auto row = [](const char *name, const char *script, const char *event, const char *action, int sessions,
                        int ended, int errors, const char *complete = "") {
        QTest::newRow(name) << QByteArray(script) << QByteArray(event) << QByteArray(action) << sessions << ended
                            << errors << QString::fromLatin1(complete);
    };
    const char *hangUp = "RETR <hang-up>";
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
    const auto act = [&](const char *name) {
        if (event != name || std::exchange(acted, true))
            return;
        const bool begin0 = action.endsWith("begin 0");
        if (action == "delete")
            s.control.reset();
        else if (action.startsWith("GetAttrs"))
            s.control->GetAttrs(action.contains(' ') ? QString::fromLatin1(action.mid(9)) : server.url());
        else
            s.control->DownTo(server.url(), action.endsWith("folder") ? m_dir.path() : second, begin0 ? 0 : 1, begin0);
    };
    ZuFTPDownLoad *control = s.control.get();
    QObject::connect(control, &ZuFTPDownLoad::OnError, control, [&] { act("OnError"); });
    QObject::connect(control, &ZuFTPDownLoad::UrlOK, control, [&] { act("UrlOK"); });
    QObject::connect(control, &ZuFTPDownLoad::GetedData, control, [&] { act("GetedData"); });
    QObject::connect(control, &ZuFTPDownLoad::Ended, control, [&] { act("Ended"); });
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
