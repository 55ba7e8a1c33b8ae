#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {
using Lines = QList<QJsonObject>;

// One ctlhost process, driven line by line.
class Host
{
public:
    explicit Host(const QStringList &extra = {}, const QString &className = QStringLiteral("TestControl"))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.setReadChannel(QProcess::StandardOutput);
        QStringList args = extra;
        if (className == QLatin1String("TestControl"))
            args += QStringList{QStringLiteral("--library"), QStringLiteral(TEST_CONTROL_LIBRARY)};
        process.start(QStringLiteral(CTLHOST_PATH), args + QStringList{className});
        started = process.waitForStarted();
    }

    ~Host()
    {
        if (process.state() != QProcess::NotRunning) {
            process.closeWriteChannel();
            if (!process.waitForFinished(10000))
                process.kill();
            process.waitForFinished();
        }
    }

    void write(const QByteArray &lines) { process.write(lines); }

    //! Sends one command and returns its answer; other lines go to notices.
    QJsonObject send(const QJsonArray &command)
    {
        write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
        return answer();
    }

    QJsonObject sendRaw(const QByteArray &line)
    {
        write(line + '\n');
        return answer();
    }

    //! The next answer line; notices before it are collected.
    QJsonObject answer()
    {
        for (;;) {
            const QJsonObject line = nextLine();
            if (line.isEmpty() || line.contains(QStringLiteral("ok")))
                return line;
            notices.append(line);
        }
    }

    QJsonObject nextLine()
    {
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(20000))
                return {};
        }
        const QByteArray line = process.readLine();
        all.append(line);
        return QJsonDocument::fromJson(line).object();
    }

    QList<QJsonObject> takeNotices() { return std::exchange(notices, {}); }

    QProcess process;
    bool started = false;
    QList<QJsonObject> notices;
    QList<QByteArray> all;
};

QJsonObject okValue(const QJsonValue &value)
{
    return QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("value"), value}};
}

QJsonObject okAnswer()
{
    return QJsonObject{{QStringLiteral("ok"), true}};
}

QJsonObject raised(const QString &name, const QJsonArray &args = {})
{
    return QJsonObject{{QStringLiteral("event"), name}, {QStringLiteral("args"), args}};
}

QJsonArray cmd(std::initializer_list<QJsonValue> items)
{
    return QJsonArray(items);
}
} // namespace

class TestCtlHost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void membersInInterfaceOrder();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void conversions_data();
    void conversions();
    void failures_data();
    void failures();
    void aliasedMember();
    void eventsAndChanges();
    void waitAndPump();
    void modalClosedAtOnce();
    void modalOnFirstShowOnly();
    void modalScreenshots();
    void shellRecorded();
    void loadAndSaveInOrder();
    void saveToFileAndLoadAgain();
    void resizeAndSize();
    void mouseAndKeys();
    void screenshotWritesPng();
    void malformedLines_data();
    void malformedLines();
    void answersStayInOrderAcrossNestedLoops();
    void endOfInputEndsHost();
    void unknownClassFails();
    void suiteClassesFoundBesideCtlhost_data();
    void suiteClassesFoundBesideCtlhost();

private:
    QTemporaryDir m_dir;
    QString m_picture;
};

void TestCtlHost::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_picture = m_dir.filePath(QStringLiteral("face.png"));
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::green);
    QVERIFY(image.save(m_picture));
}

void TestCtlHost::membersInInterfaceOrder()
{
    Host host;
    QVERIFY(host.started);
    const QJsonObject answer = host.send(cmd({"members"}));
    const QJsonObject value = answer.value(QStringLiteral("value")).toObject();
    const QStringList members = value.value(QStringLiteral("members")).toVariant().toStringList();
    const QStringList events = value.value(QStringLiteral("events")).toVariant().toStringList();
    QCOMPARE(members, QString::fromUtf8("Caption,Count,Echo,Ratio,Flag,Byte,Anything,BkPicture,Font,Version,"
                                        "Add,Fail,Raise,Later,Spin,About,WriteLetter,作者")
                          .split(u','));
    QCOMPARE(events, QStringList({"Said", "Done", "Pressed", "KeyDown"}));
}

void TestCtlHost::valuesRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonValue>("value");

    QTest::newRow("text") << "Caption" << QJsonValue(QString::fromUtf8("进度 50%"));
    QTest::newRow("empty text") << "Caption" << QJsonValue(QString());
    QTest::newRow("16-bit integer") << "Count" << QJsonValue(-32768);
    QTest::newRow("double") << "Ratio" << QJsonValue(0.25);
    QTest::newRow("true") << "Flag" << QJsonValue(true);
    QTest::newRow("false") << "Flag" << QJsonValue(false);
    QTest::newRow("one byte") << "Byte" << QJsonValue(255);
    QTest::newRow("variant empty") << "Anything" << QJsonValue(QJsonValue::Null);
    QTest::newRow("variant text") << "Anything" << QJsonValue(QStringLiteral("12"));
    QTest::newRow("variant integer") << "Anything" << QJsonValue(12);
    QTest::newRow("variant boolean") << "Anything" << QJsonValue(true);
    QTest::newRow("no picture") << "BkPicture" << QJsonValue(QJsonValue::Null);
}

void TestCtlHost::valuesRoundTrip()
{
    QFETCH(QString, name);
    QFETCH(QJsonValue, value);
    Host host;
    QCOMPARE(host.send(cmd({"set", name, value})), okAnswer());
    QCOMPARE(host.send(cmd({"get", name})), okValue(value));
}

void TestCtlHost::conversions_data()
{
    QTest::addColumn<QJsonArray>("command");
    QTest::addColumn<QJsonValue>("expected");

    QTest::newRow("number to text") << cmd({"set", "Caption", 12}) << QJsonValue(QStringLiteral("12"));
    QTest::newRow("half to even") << cmd({"set", "Count", 2.5}) << QJsonValue(2);
    QTest::newRow("numeric text to integer") << cmd({"set", "Count", " 7 "}) << QJsonValue(7);
    QTest::newRow("true to integer") << cmd({"set", "Count", true}) << QJsonValue(-1);
}

void TestCtlHost::conversions()
{
    QFETCH(QJsonArray, command);
    QFETCH(QJsonValue, expected);
    Host host;
    QCOMPARE(host.send(command), okAnswer());
    QCOMPARE(host.send(cmd({"get", command.at(1)})), okValue(expected));
}

void TestCtlHost::failures_data()
{
    QTest::addColumn<QJsonArray>("command");
    QTest::addColumn<int>("error");

    QTest::newRow("control's own failure") << cmd({"call", "Fail", 380, "Invalid property value"}) << 380;
    QTest::newRow("16-bit overflow") << cmd({"set", "Count", 40000}) << 6;
    QTest::newRow("text for an integer") << cmd({"set", "Count", "abc"}) << 13;
    QTest::newRow("missing picture") << cmd({"set", "BkPicture", "/nonexistent/x.png"}) << 53;
    QTest::newRow("unknown property") << cmd({"get", "Nothing"}) << 438;
    QTest::newRow("unknown method") << cmd({"call", "Nothing"}) << 438;
    QTest::newRow("read-only property") << cmd({"set", "Version", 8}) << 383;
    QTest::newRow("wrong argument count") << cmd({"call", "Add", 1}) << 450;
    QTest::newRow("unknown event") << cmd({"wait", "Nothing", 10}) << 5;
}

void TestCtlHost::failures()
{
    QFETCH(QJsonArray, command);
    QFETCH(int, error);
    Host host;
    const QJsonObject answer = host.send(command);
    QCOMPARE(answer.value(QStringLiteral("ok")), QJsonValue(false));
    QCOMPARE(answer.value(QStringLiteral("error")).toInt(), error);
    QVERIFY(!answer.value(QStringLiteral("description")).toString().isEmpty());
    // The host goes on, and the failure does not stick to the next call.
    QCOMPARE(host.send(cmd({"call", "Add", 40, 2})), okValue(42));
}

void TestCtlHost::aliasedMember()
{
    Host host;
    QCOMPARE(host.send(cmd({"get", QString::fromUtf8("作者")})), okValue(QStringLiteral("Tolvar")));
    QCOMPARE(host.send(cmd({"set", QString::fromUtf8("作者"), "x"})), okAnswer());
    QCOMPARE(host.takeNotices(), (Lines{QJsonObject{{"changed", QString::fromUtf8("作者")}}}));
    QCOMPARE(host.send(cmd({"get", QString::fromUtf8("作者")})), okValue(QStringLiteral("Tolvar")));
}

void TestCtlHost::eventsAndChanges()
{
    Host host;
    QCOMPARE(host.send(cmd({"call", "Raise", QString::fromUtf8("下载")})), okValue(QJsonValue::Null));
    QCOMPARE(host.takeNotices(), (Lines{raised("Said", {QString::fromUtf8("下载"), 2})}));
    QCOMPARE(host.send(cmd({"set", "Caption", "a"})), okAnswer());
    QCOMPARE(host.takeNotices(), (Lines{QJsonObject{{"changed", "Caption"}}}));
}

void TestCtlHost::waitAndPump()
{
    Host host;
    // Raised later, while the host waits.
    QCOMPARE(host.send(cmd({"call", "Later", 20})), okValue(QJsonValue::Null));
    QCOMPARE(host.send(cmd({"wait", "Done", 20000})), okAnswer());
    QCOMPARE(host.takeNotices(), (Lines{raised("Done")}));
    // Raised while the host was idle between two commands: it counts.
    QCOMPARE(host.send(cmd({"call", "Later", 0})), okValue(QJsonValue::Null));
    QCOMPARE(host.send(cmd({"pump", 50})), okAnswer());
    QCOMPARE(host.takeNotices(), (Lines{raised("Done")}));
    QCOMPARE(host.send(cmd({"wait", "Done", 10})),
             (QJsonObject{{"ok", false}, {"timeout", true}}));
    // Raised during an earlier command: it does not.
    QCOMPARE(host.send(cmd({"call", "Raise", "x"})), okValue(QJsonValue::Null));
    QCOMPARE(host.send(cmd({"wait", "Said", 10})), (QJsonObject{{"ok", false}, {"timeout", true}}));
}

void TestCtlHost::modalClosedAtOnce()
{
    Host host;
    QCOMPARE(host.send(cmd({"call", "About"})), okValue(1));
    const QJsonObject modal{{"modal", QJsonObject{{"title", "About TestControl"},
                                                  {"texts", QJsonArray{QString::fromUtf8("测试控件"),
                                                                       QString::fromUtf8("确定(&T)")}}}}};
    QCOMPARE(host.takeNotices(), (Lines{modal}));
}

void TestCtlHost::modalOnFirstShowOnly()
{
    Host host;
    QCOMPARE(host.send(cmd({"show"})), okAnswer());
    QCOMPARE(host.takeNotices().size(), 1);
    QCOMPARE(host.send(cmd({"hide"})), okAnswer());
    QCOMPARE(host.send(cmd({"show"})), okAnswer());
    QVERIFY(host.takeNotices().isEmpty());

    Host loaded;
    QCOMPARE(loaded.send(cmd({"load", QJsonObject{}})), okAnswer());
    QCOMPARE(loaded.send(cmd({"show"})), okAnswer());
    QVERIFY(loaded.takeNotices().isEmpty());
}

void TestCtlHost::modalScreenshots()
{
    QTemporaryDir shots;
    Host host({QStringLiteral("--modal-screenshots"), shots.path()});
    QCOMPARE(host.send(cmd({"call", "About"})), okValue(1));
    const QList<QJsonObject> notices = host.takeNotices();
    QCOMPARE(notices.size(), 1);
    const QString file = notices.first().value(QStringLiteral("modal")).toObject().value(QStringLiteral("screenshot")).toString();
    QCOMPARE(file, shots.filePath(QStringLiteral("modal-1.png")));
    QImage shot;
    QVERIFY(shot.load(file, "PNG"));
    QVERIFY(!shot.isNull());
}

void TestCtlHost::shellRecorded()
{
    Host host;
    QCOMPARE(host.send(cmd({"call", "WriteLetter"})), okValue(QJsonValue::Null));
    const QJsonObject shell{{"shell", QJsonObject{{"verb", "open"}, {"target", "mailto:tolvar@example.org"}}}};
    QCOMPARE(host.takeNotices(), (Lines{shell}));
}

void TestCtlHost::loadAndSaveInOrder()
{
    Host host;
    const QJsonObject font{{"name", "DejaVu Sans"}, {"size", 12}, {"bold", true}};
    QCOMPARE(host.send(cmd({"load", QJsonObject{{"Caption", "100"}, {"Count", 5}, {"Flag", true},
                                                {"Font", font}, {"BkPicture", m_picture}}})),
             okAnswer());
    const QJsonObject saved = host.send(cmd({"save"}));
    QCOMPARE(saved.value(QStringLiteral("ok")), QJsonValue(true));
    const QJsonArray writes = saved.value(QStringLiteral("value")).toArray();
    QStringList names;
    for (const QJsonValue &write : writes)
        names.append(write.toArray().at(0).toString());
    QCOMPARE(names, QStringList({"Caption", "Count", "Ratio", "Flag", "Anything", "Font", "BkPicture"}));
    QCOMPARE(writes.at(0).toArray(), QJsonArray({"Caption", "100", ""}));
    QCOMPARE(writes.at(1).toArray(), QJsonArray({"Count", 5, 0}));
    QCOMPARE(writes.at(3).toArray(), QJsonArray({"Flag", true, false}));
    QCOMPARE(writes.at(4).toArray(), QJsonArray({"Anything", 100, 100}));
    const QJsonObject savedFont = writes.at(5).toArray().at(1).toObject();
    QCOMPARE(savedFont.value(QStringLiteral("name")).toString(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(savedFont.value(QStringLiteral("size")).toDouble(), 12.0);
    QCOMPARE(savedFont.value(QStringLiteral("bold")), QJsonValue(true));
    QCOMPARE(writes.at(6).toArray(), QJsonArray({"BkPicture", m_picture, QJsonValue::Null}));
    QCOMPARE(host.send(cmd({"get", "BkPicture"})), okValue(m_picture));
    // Loaded once only.
    QCOMPARE(host.send(cmd({"load", QJsonObject{}})).value(QStringLiteral("ok")), QJsonValue(false));
}

void TestCtlHost::saveToFileAndLoadAgain()
{
    const QString file = m_dir.filePath(QStringLiteral("saved.json"));
    {
        Host host;
        QCOMPARE(host.send(cmd({"set", "Caption", "100"})), okAnswer());
        QCOMPARE(host.send(cmd({"set", "Count", 3})), okAnswer());
        QCOMPARE(host.send(cmd({"set", "BkPicture", m_picture})), okAnswer());
        QCOMPARE(host.send(cmd({"save", file})).value(QStringLiteral("ok")), QJsonValue(true));
    }
    Host again;
    QCOMPARE(again.send(cmd({"load", file})), okAnswer());
    QCOMPARE(again.send(cmd({"get", "Caption"})), okValue(QStringLiteral("100")));
    QCOMPARE(again.send(cmd({"get", "Count"})), okValue(3));
    QCOMPARE(again.send(cmd({"get", "BkPicture"})), okValue(m_picture));

    Host broken;
    const QJsonObject answer = broken.send(cmd({"load", m_dir.filePath(QStringLiteral("missing.json"))}));
    QCOMPARE(answer.value(QStringLiteral("error")).toInt(), 53);
}

void TestCtlHost::resizeAndSize()
{
    Host host;
    QCOMPARE(host.send(cmd({"size"})), okValue(QJsonArray{600, 450}));
    QCOMPARE(host.send(cmd({"resize", 3000, 3000})), okAnswer());
    QCOMPARE(host.send(cmd({"size"})), okValue(QJsonArray{600, 450}));
    QCOMPARE(host.send(cmd({"load", QJsonObject{}})).value(QStringLiteral("ok")), QJsonValue(false));
}

void TestCtlHost::mouseAndKeys()
{
    Host host;
    QCOMPARE(host.send(cmd({"load", QJsonObject{}})), okAnswer());
    QCOMPARE(host.send(cmd({"show"})), okAnswer());
    // On the red half, then on the blue pane, which passes the press on.
    QCOMPARE(host.send(cmd({"mouse", "down", 5, 6, 1, 0})), okAnswer());
    QCOMPARE(host.send(cmd({"mouse", "up", 5, 6, 1, 0})), okAnswer());
    QCOMPARE(host.send(cmd({"mouse", "down", 30, 10, 2, 1})), okAnswer());
    QCOMPARE(host.takeNotices(), (Lines{raised("Pressed", {1, 0, 5, 6}),
                                                     raised("Pressed", {2, 1, 30, 10})}));
    QCOMPARE(host.send(cmd({"key", "down", 65, 1})), okAnswer());
    QCOMPARE(host.send(cmd({"key", "down", 13, 2})), okAnswer());
    QCOMPARE(host.send(cmd({"key", "down", 112, 0})), okAnswer());
    QCOMPARE(host.takeNotices(), (Lines{raised("KeyDown", {65, 1}), raised("KeyDown", {13, 2}),
                                                     raised("KeyDown", {112, 0})}));
}

void TestCtlHost::screenshotWritesPng()
{
    const QString file = m_dir.filePath(QStringLiteral("shot.png"));
    Host host;
    QCOMPARE(host.send(cmd({"load", QJsonObject{}})), okAnswer());
    QCOMPARE(host.send(cmd({"show"})), okAnswer());
    QCOMPARE(host.send(cmd({"screenshot", file})), okAnswer());
    QImage shot;
    QVERIFY(shot.load(file, "PNG"));
    QCOMPARE(shot.size(), QSize(40, 30));
    QCOMPARE(shot.pixelColor(5, 5), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(35, 25), QColor(Qt::blue));
    QCOMPARE(host.send(cmd({"screenshot", "/nonexistent/dir/x.png"})).value(QStringLiteral("error")).toInt(), 75);
}

void TestCtlHost::malformedLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("not JSON") << QByteArray("get Caption");
    QTest::newRow("cut short") << QByteArray("[\"get\", \"Caption\"");
    QTest::newRow("object") << QByteArray("{\"get\": \"Caption\"}");
    QTest::newRow("empty array") << QByteArray("[]");
    QTest::newRow("no command name") << QByteArray("[1, 2]");
    QTest::newRow("unknown command") << QByteArray("[\"fly\"]");
    QTest::newRow("missing argument") << QByteArray("[\"get\"]");
    QTest::newRow("wrong argument type") << QByteArray("[\"pump\", \"soon\"]");
    QTest::newRow("invalid UTF-8") << QByteArray("[\"get\", \"\xff\xfe\"]");
}

void TestCtlHost::malformedLines()
{
    QFETCH(QByteArray, line);
    Host host;
    const QJsonObject answer = host.sendRaw(line);
    QCOMPARE(answer.value(QStringLiteral("ok")), QJsonValue(false));
    QVERIFY(answer.value(QStringLiteral("error")).toInt() > 0);
    QVERIFY(!answer.value(QStringLiteral("description")).toString().isEmpty());
    QCOMPARE(host.send(cmd({"call", "Add", 1, 2})), okValue(3));
}

void TestCtlHost::answersStayInOrderAcrossNestedLoops()
{
    Host host;
    // All at once: the later lines arrive while Spin yields inside the first call.
    host.write("[\"call\", \"Spin\", 200]\n[\"call\", \"Raise\", \"b\"]\n[\"call\", \"Add\", 1, 1]\n");
    QCOMPARE(host.nextLine(), okValue(200));
    QCOMPARE(host.nextLine(), raised("Said", {"b", 1}));
    QCOMPARE(host.nextLine(), okValue(QJsonValue::Null));
    QCOMPARE(host.nextLine(), okValue(2));
}

void TestCtlHost::endOfInputEndsHost()
{
    Host host;
    host.write("[\"call\", \"Add\", 2, 3]");
    host.process.closeWriteChannel();
    QVERIFY(host.process.waitForFinished(20000));
    QCOMPARE(host.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.process.exitCode(), 0);
    QCOMPARE(QJsonDocument::fromJson(host.process.readAllStandardOutput()).object(), okValue(5));

    Host quitting;
    QCOMPARE(quitting.send(cmd({"quit"})), okAnswer());
    QVERIFY(quitting.process.waitForFinished(20000));
    QCOMPARE(quitting.process.exitCode(), 0);
}

void TestCtlHost::unknownClassFails()
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(CTLHOST_PATH),
                  {QStringLiteral("--library"), QStringLiteral(TEST_CONTROL_LIBRARY), QStringLiteral("NoSuchClass")});
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().contains("NoSuchClass"));
}

void TestCtlHost::suiteClassesFoundBesideCtlhost_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("member");
#ifdef ZUDOWNLOAD_LIBRARY
    QTest::newRow("ZuHTTPdownload") << "ZuHTTPdownload" << ZUDOWNLOAD_LIBRARY << "GetAttrs";
    QTest::newRow("ZuFTPDownLoad") << "ZuFTPDownLoad" << ZUDOWNLOAD_LIBRARY << "Host";
#endif
#ifdef SCHEDULE_LIBRARY
    QTest::newRow("Schedule") << "Schedule" << SCHEDULE_LIBRARY << "BackColor";
#endif
}

void TestCtlHost::suiteClassesFoundBesideCtlhost()
{
    QFETCH(QString, className);
    QFETCH(QString, library);
    QFETCH(QString, member);
    if (!QFileInfo::exists(library))
        QSKIP("the control library is not built");
    Host host({}, className);
    const QJsonObject answer = host.send(cmd({"members"}));
    const QJsonArray members = answer.value(QStringLiteral("value")).toObject().value(QStringLiteral("members")).toArray();
    QCOMPARE(members.first().toString(), member);
}

QTEST_GUILESS_MAIN(TestCtlHost)
#include "tst_ctlhost.moc"
