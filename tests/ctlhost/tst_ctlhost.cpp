#include "CtlHostSession.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <utility>

using namespace Qt::StringLiterals;

namespace {
template<typename Json>
QString compact(const Json &json)
{
    return QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact));
}

QJsonObject parsed(const QString &line) { return QJsonDocument::fromJson(line.toUtf8()).object(); }

const QString Ok = u"{\"ok\":true}"_s;

QString value(const QString &json) { return u"{\"ok\":true,\"value\":"_s + json + u'}'; }

const QString AboutBox = uR"j({"modal":{"texts":["测试控件","确定(&T)"],"title":"About TestControl"}})j"_s;

// ctlhost with the test control; lines go out as they stand (malformed ones too) and come back compact.
struct Host : CtlHostSession
{
    explicit Host(const QStringList &args = {}, const QString &className = u"TestControl"_s)
        : CtlHostSession(QStringLiteral(CTLHOST_PATH),
                         args + QStringList{u"--library"_s, QStringLiteral(TEST_CONTROL_LIBRARY), className})
    {
    }

    QString send(const QByteArray &line) { return compact(sendLine(line)); }
    QStringList printed()
    {
        QStringList lines;
        for (const QJsonObject &notice : std::exchange(notices, {}))
            lines.append(compact(notice));
        return lines;
    }
};
} // namespace

class TestCtlHost : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_picture;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_picture = m_dir.filePath(u"face.png"_s);
        QImage image(4, 3, QImage::Format_RGB32);
        image.fill(Qt::green);
        QVERIFY(image.save(m_picture));
    }

    // What a host sees of each class the libraries export (the row's name), in interface order.
    void interfaces_data()
    {
        QTest::addColumn<QString>("members");
        QTest::newRow("ZuHTTPdownload") << uR"({"events":["OnError","GetAttred","Finish",)"
            R"("GetData","GetedData"],"members":["GetAttrs","Geted","Host","Server","HttpVer","ReID","ServerDateTime",)"
            R"("URLDateTime","Etag","Range","Length","DownTo","ZUClose","State","PGetAttr","HsDown","LType","Writer",)"
            R"("Email","HomePage","WriteLetter","VisitHomePage","About","OpenUrl","Path","ZURemoteIP","ZULocalIP",)"
            R"("TimeOut"]})"_s;
        QTest::newRow("ZuFTPDownLoad") << uR"({"events":["OnError","UrlOK","GetedData","Ended",)"
            R"("GetAttred"],"members":["Host","Path","User","Password","Port","DownTo","State","HsDown","ZUClose",)"
            R"("State1","State2","GetAttrs","Start","Writer","Email","HomePage","WriteLetter","VisitHomePage",)"
            R"("About","TimeOut"]})"_s;
        QTest::newRow("Schedule") << uR"({"events":["Change","KeyUp","MouseDown","MouseUp","KeyDown"],)"
            R"("members":["BackColor","BorderStyle","Max","Value","ForeColor","hwnd","About","WriteLetter",)"
            R"("VisitHomepage","MouseIcon","MousePointer","作者","信箱","主页","ShowText","Text","BkFontColor",)"
            R"("ForeFontColor","ShowPercent","Font","BkPicture","ForePicture","Appearance","Doevent"]})"_s;
    }

    void interfaces()
    {
        QFETCH(QString, members);
        Host host({}, QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(host.send(R"(["members"])"), value(members));
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("error");
        QTest::newRow("control's own failure") << QByteArray(R"(["call","Fail",380,"Invalid property value"])")
                                               << 380;
        QTest::newRow("16-bit overflow") << QByteArray(R"(["set","Count",40000])") << 6;
        QTest::newRow("text for an integer") << QByteArray(R"(["set","Count","abc"])") << 13;
        QTest::newRow("missing picture") << QByteArray(R"(["set","BkPicture","/nonexistent/x.png"])") << 53;
        QTest::newRow("unknown property") << QByteArray(R"(["get","Nothing"])") << 438;
        QTest::newRow("unknown method") << QByteArray(R"(["call","Nothing"])") << 438;
        QTest::newRow("read-only property") << QByteArray(R"(["set","Version",8])") << 383;
        QTest::newRow("wrong argument count") << QByteArray(R"(["call","Add",1])") << 450;
        QTest::newRow("unknown event") << QByteArray(R"(["wait","Nothing",10])") << 5;
        QTest::newRow("missing property file") << QByteArray(R"(["load","/nonexistent/saved.json"])") << 53;
        QTest::newRow("unwritable screenshot") << QByteArray(R"(["screenshot","/nonexistent/dir/x.png"])") << 75;
        // Malformed lines.
        QTest::newRow("not JSON") << QByteArray("get Caption") << 5;
        QTest::newRow("object") << QByteArray(R"({"get": "Caption"})") << 5;
        QTest::newRow("empty array") << QByteArray("[]") << 5;
        QTest::newRow("no command name") << QByteArray("[1, 2]") << 5;
        QTest::newRow("unknown command") << QByteArray(R"(["fly"])") << 5;
        QTest::newRow("missing argument") << QByteArray(R"(["get"])") << 450;
        QTest::newRow("wrong argument type") << QByteArray(R"(["pump", "soon"])") << 450;
        QTest::newRow("invalid UTF-8") << QByteArray("[\"get\", \"\xff\xfe\"]") << 5;
    }

    void failures()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, error);
        Host host;
        const QJsonObject answer = parsed(host.send(line));
        QCOMPARE(answer.value(u"ok"_s), QJsonValue(false));
        QCOMPARE(answer.value(u"error"_s).toInt(), error);
        QVERIFY(!answer.value(u"description"_s).toString().isEmpty());
        // The host goes on, and the failure does not stick to the next call.
        QCOMPARE(host.send(R"(["call","Add",40,2])"), value(u"42"_s));
    }

    // Lines sent one at a time, each after the answer to the one before, and
    // every line printed in return, in order.
    void transcripts_data()
    {
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<QStringList>("output");
        const QString null = value(u"null"_s), timeout = uR"({"ok":false,"timeout":true})"_s;
        const QString done = uR"({"args":[],"event":"Done"})"_s;
        QTest::newRow("event") << QStringList{R"(["call","Raise","下载"])"}
                               << QStringList{R"({"args":["下载",2],"event":"Said"})", null};
        QTest::newRow("changed") << QStringList{R"(["set","Caption","a"])"}
                                 << QStringList{R"({"changed":"Caption"})", Ok};
        QTest::newRow("aliased name") << QStringList{R"(["set","作者","x"])", R"(["get","作者"])"}
                                      << QStringList{R"({"changed":"作者"})", Ok, value(u"\"Tolvar\""_s)};
        QTest::newRow("variant parameter") << QStringList{R"(["call","Echo",[1,"12",null,true]])"}
                                           << QStringList{value(uR"([1,"12",null,true])"_s)};
        QTest::newRow("modal") << QStringList{R"(["call","About"])"} << QStringList{AboutBox, value(u"1"_s)};
        QTest::newRow("modal at a fresh control's show") << QStringList{R"(["show"])"} << QStringList{AboutBox, Ok};
        QTest::newRow("shell")
            << QStringList{R"(["call","WriteLetter"])"}
            << QStringList{R"({"shell":{"target":"mailto:tolvar@example.org","verb":"open"}})", null};
        QTest::newRow("wait for a later event") << QStringList{R"(["call","Later",20])", R"(["wait","Done",20000])"}
                                                << QStringList{null, done, Ok};
        QTest::newRow("wait for an event raised while idle")
            << QStringList{R"(["call","Later",0])", R"(["wait","Done",20000])"} << QStringList{null, done, Ok};
        QTest::newRow("wait for an event raised during an earlier command")
            << QStringList{R"(["call","Later",0])", R"(["pump",50])", R"(["wait","Done",10])",
                           R"(["call","Raise","x"])", R"(["wait","Said",10])"}
            << QStringList{null, done, Ok, timeout, R"({"args":["x",1],"event":"Said"})", null, timeout};
        // Stall's loop runs meanwhile: the wait still ends on time and the next commands still run.
        QTest::newRow("commands run while the control waits")
            << QStringList{R"(["call","Stall"])", R"(["wait","Done",50])", R"(["call","Add",1,1])",
                           R"(["call","Release"])", R"(["wait","Done",20000])"}
            << QStringList{null, timeout, value(u"2"_s), null, done, Ok};
        // Set, then read back.
        const auto setAndGet = [&](const char *name, const QString &property, const QString &set, const QString &get) {
            const QString changed = property == u"Caption" ? uR"({"changed":"Caption"})"_s : QString();
            QTest::newRow(name) << QStringList{"[\"set\",\"" + property + "\"," + set + ']',
                                               "[\"get\",\"" + property + "\"]"}
                                << QStringList{changed, Ok, value(get)};
        };
        setAndGet("text", u"Caption"_s, u"\"进度 50%\""_s, u"\"进度 50%\""_s);
        setAndGet("16-bit integer", u"Count"_s, u"-32768"_s, u"-32768"_s);
        setAndGet("64-bit integer past 4 GiB", u"Big"_s, u"5368709121"_s, u"5368709121"_s);
        setAndGet("double", u"Ratio"_s, u"0.25"_s, u"0.25"_s);
        setAndGet("true", u"Flag"_s, u"true"_s, u"true"_s);
        setAndGet("one byte", u"Byte"_s, u"255"_s, u"255"_s);
        setAndGet("variant empty", u"Anything"_s, u"null"_s, u"null"_s);
        setAndGet("variant beyond 32 bits", u"Anything"_s, u"3000000000"_s, u"3000000000"_s);
        setAndGet("no picture", u"BkPicture"_s, u"null"_s, u"null"_s);
        setAndGet("number to text", u"Caption"_s, u"12"_s, u"\"12\""_s);
        setAndGet("half to even", u"Count"_s, u"2.5"_s, u"2"_s);
        setAndGet("numeric text to integer", u"Count"_s, u"\" 7 \""_s, u"7"_s);
        setAndGet("true to integer", u"Count"_s, u"true"_s, u"-1"_s);
        QTest::newRow("resize keeps the control's size, initialised as new")
            << QStringList{R"(["size"])", R"(["resize",3000,3000])", R"(["size"])", R"(["load",{}])"}
            << QStringList{value(u"[600,450]"_s), Ok, value(u"[600,450]"_s),
                           R"({"description":"The control has been initialised already","error":5,"ok":false})"};
    }

    void transcripts()
    {
        QFETCH(QStringList, input);
        QFETCH(QStringList, output);
        Host host;
        QStringList printed;
        for (const QString &line : std::as_const(input)) {
            const QString answer = host.send(line.toUtf8());
            printed << host.printed() << answer;
        }
        output.removeAll(QString());
        QCOMPARE(printed, output);
    }

    void loadAndSaveInOrder()
    {
        const QString file = m_dir.filePath(u"saved.json"_s);
        {
            Host host;
            QCOMPARE(host.send(R"(["load",{"Caption":"100","Count":5,"Flag":true,"BkPicture":")" + m_picture.toUtf8()
                               + R"(","Font":{"name":"DejaVu Sans","size":12,"bold":true}}])"),
                     Ok);
            QJsonArray writes = parsed(host.send("[\"save\",\"" + file.toUtf8() + "\"]")).value(u"value"_s).toArray();
            writes[5] = QJsonArray{writes.at(5)[0], writes.at(5)[1]}; // its default is the system's font
            QCOMPARE(compact(writes), uR"([["Caption","100",""],["Count",5,0],["Ratio",0,0],["Flag",true,false],)"
                                      uR"(["Anything",100,100],)"
                                      uR"(["Font",{"bold":true,"italic":false,"name":"DejaVu Sans",)"
                                      uR"("size":12,"strikeout":false,"underline":false,"weight":700}],)"
                                      uR"(["BkPicture",")"_s + m_picture + uR"(",null]])"_s);
            // Loaded once only.
            QCOMPARE(parsed(host.send(R"(["load",{}])")).value(u"ok"_s), QJsonValue(false));
        }
        Host again;
        QCOMPARE(again.send("[\"load\",\"" + file.toUtf8() + "\"]"), Ok);
        QCOMPARE(again.send(R"(["get","Caption"])"), value(u"\"100\""_s));
        QCOMPARE(again.send(R"(["get","Count"])"), value(u"5"_s));
        QCOMPARE(again.send(R"(["get","BkPicture"])"), value(u'"' + m_picture + u'"'));
        QVERIFY(again.send(R"(["get","Font"])").contains(u"\"name\":\"DejaVu Sans\""));
    }

    void inputAndScreenshots()
    {
        const QString file = m_dir.filePath(u"shot.png"_s);
        Host host({u"--modal-screenshots"_s, m_dir.path()});
        // The mouse on the red half, then on the blue pane, which passes the press on.
        for (const char *line : {R"(["load",{}])", R"(["show"])", R"(["mouse","down",5,6,1,0])",
                                 R"(["mouse","up",5,6,1,0])", R"(["mouse","down",30,10,2,1])", R"(["key","down",65,1])",
                                 R"(["key","down",13,2])", R"(["key","down",112,0])"})
            QCOMPARE(host.send(line), Ok);
        QCOMPARE(host.printed(),
                 (QStringList{R"({"args":[1,0,5,6],"event":"Pressed"})", R"({"args":[2,1,30,10],"event":"Pressed"})",
                              R"({"args":[65,1],"event":"KeyDown"})", R"({"args":[13,2],"event":"KeyDown"})",
                              R"({"args":[112,0],"event":"KeyDown"})"}));
        QCOMPARE(host.send("[\"screenshot\",\"" + file.toUtf8() + "\"]"), Ok);
        const QImage shot(file, "PNG");
        QCOMPARE(shot.size(), QSize(40, 30));
        QCOMPARE(shot.pixelColor(5, 5), QColor(Qt::red));
        QCOMPARE(shot.pixelColor(35, 25), QColor(Qt::blue));

        // Each modal window is saved before it closes.
        QCOMPARE(host.send(R"(["call","About"])"), value(u"1"_s));
        const QStringList notices = host.printed();
        QCOMPARE(notices.size(), 1);
        const QString modal = parsed(notices.first()).value(u"modal"_s).toObject().value(u"screenshot"_s).toString();
        QCOMPARE(modal, m_dir.filePath(u"modal-1.png"_s));
        QVERIFY(!QImage(modal, "PNG").isNull());
    }

    void answersStayInOrderAcrossNestedLoops()
    {
        Host host;
        // All at once: the later lines arrive while Spin yields inside the first call.
        host.process.write("[\"call\", \"Spin\", 200]\n[\"call\", \"Raise\", \"b\"]\n[\"call\", \"Add\", 1, 1]\n");
        for (const QString &expected :
             {value(u"200"_s), uR"({"args":["b",1],"event":"Said"})"_s, value(u"null"_s), value(u"2"_s)})
            QCOMPARE(compact(host.nextLine()), expected);
    }

    void quitEndOfInputAndUnknownClassEndTheHost()
    {
        Host waiting;
        QCOMPARE(waiting.send(R"(["call","Stall"])"), value(u"null"_s));
        QCOMPARE(waiting.send(R"(["pump",0])"), Ok);
        QCOMPARE(waiting.send(R"(["quit"])"), Ok);
        QVERIFY(waiting.process.waitForFinished(20000));
        QCOMPARE(waiting.process.exitCode(), 0);

        Host host;
        host.process.write(R"(["call", "Add", 2, 3])");
        host.process.closeWriteChannel();
        QVERIFY(host.process.waitForFinished(20000));
        QCOMPARE(host.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(host.process.exitCode(), 0);
        QCOMPARE(host.process.readAllStandardOutput(), value(u"5"_s).toUtf8() + '\n');

        Host unknown({}, u"NoSuchClass"_s);
        QVERIFY(unknown.process.waitForFinished(20000));
        QCOMPARE(unknown.process.exitCode(), 2);
        QVERIFY(unknown.process.readAllStandardError().contains("NoSuchClass"));
    }
};

QTEST_GUILESS_MAIN(TestCtlHost)
#include "tst_ctlhost.moc"
