// The control as a host program meets it: loaded by ctlhost from the
// zudownload library and driven through its command lines, against nginx.

#include "NginxServer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

class TestZuHttpCtlhost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void interfaceSeenByHost();
    void showSizeAndAuthor();
    void probeAndDownload();

private:
    QJsonObject send(const QJsonArray &command);
    QJsonObject nextLine();
    bool sawNotice(const QString &key, const QJsonValue &value = QJsonValue()) const;

    QProcess m_host;
    NginxServer m_nginx;
    QTemporaryDir m_out;
    QByteArray m_file;
    QList<QJsonObject> m_notices;
};

void TestZuHttpCtlhost::initTestCase()
{
#ifndef CTLHOST_PATH
    QSKIP("ctlhost is not part of this build; nothing to drive the control with");
#else
    QVERIFY(m_out.isValid());
    m_file = QByteArray(300000, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char &c : m_file)
        c = char(generator.bounded(256));
    QFile file(m_nginx.root() + QStringLiteral("/data.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(m_file);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    QVERIFY2(m_nginx.start(), qPrintable(m_nginx.errorString()));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_host.setProcessEnvironment(env);
    m_host.setReadChannel(QProcess::StandardOutput);
    m_host.start(QStringLiteral(CTLHOST_PATH), {QStringLiteral("--library"), QStringLiteral(ZUDOWNLOAD_LIBRARY),
                                                QStringLiteral("ZuHTTPdownload")});
    QVERIFY(m_host.waitForStarted());
#endif
}

void TestZuHttpCtlhost::cleanupTestCase()
{
    if (m_host.state() != QProcess::NotRunning) {
        m_host.write("[\"quit\"]\n");
        m_host.closeWriteChannel();
        if (!m_host.waitForFinished(5000))
            m_host.kill();
    }
    m_nginx.stop();
}

QJsonObject TestZuHttpCtlhost::nextLine()
{
    while (!m_host.canReadLine()) {
        if (!m_host.waitForReadyRead(20000))
            return {};
    }
    return QJsonDocument::fromJson(m_host.readLine()).object();
}

QJsonObject TestZuHttpCtlhost::send(const QJsonArray &command)
{
    m_host.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
    for (;;) {
        const QJsonObject line = nextLine();
        if (line.isEmpty() || line.contains(QStringLiteral("ok")))
            return line;
        m_notices.append(line);
    }
}

bool TestZuHttpCtlhost::sawNotice(const QString &key, const QJsonValue &value) const
{
    for (const QJsonObject &notice : m_notices) {
        if (notice.contains(key) && (value.isUndefined() || value.isNull() || notice.value(key) == value))
            return true;
    }
    return false;
}

void TestZuHttpCtlhost::interfaceSeenByHost()
{
    const QJsonObject answer = send({QStringLiteral("members")});
    QVERIFY(answer.value(QStringLiteral("ok")).toBool());
    const QJsonObject value = answer.value(QStringLiteral("value")).toObject();
    QStringList members;
    for (const QJsonValue &name : value.value(QStringLiteral("members")).toArray())
        members << name.toString();
    QCOMPARE(members.join(u','),
             QStringLiteral("GetAttrs,Geted,Host,Server,HttpVer,ReID,ServerDateTime,URLDateTime,Etag,Range,"
                            "Length,DownTo,ZUClose,State,PGetAttr,HsDown,LType,Writer,Email,HomePage,"
                            "WriteLetter,VisitHomePage,About,OpenUrl,Path,ZURemoteIP,ZULocalIP"));
    QCOMPARE(value.value(QStringLiteral("events")).toArray(),
             (QJsonArray{"OnError", "GetAttred", "Finish", "GetData", "GetedData"}));
}

void TestZuHttpCtlhost::showSizeAndAuthor()
{
    m_notices.clear();
    QVERIFY(send({QStringLiteral("show")}).value(QStringLiteral("ok")).toBool());
    bool aboutShown = false;
    for (const QJsonObject &notice : std::as_const(m_notices)) {
        const QJsonArray texts = notice.value(QStringLiteral("modal")).toObject().value(QStringLiteral("texts")).toArray();
        aboutShown = aboutShown || texts.contains(QStringLiteral("Zu下载控件 HTTP协议版"));
    }
    QVERIFY(aboutShown);

    QVERIFY(send({QStringLiteral("resize"), 3000, 2000}).value(QStringLiteral("ok")).toBool());
    QCOMPARE(send({QStringLiteral("size")}).value(QStringLiteral("value")).toArray(), (QJsonArray{675, 570}));

    QVERIFY(send({QStringLiteral("set"), QStringLiteral("Writer"), QStringLiteral("x")}).value(QStringLiteral("ok")).toBool());
    QCOMPARE(send({QStringLiteral("get"), QStringLiteral("Writer")}).value(QStringLiteral("value")).toString(),
             QStringLiteral("Tolvar"));
    m_notices.clear();
    send({QStringLiteral("set"), QStringLiteral("Email"), QStringLiteral("x")});
    QVERIFY(sawNotice(QStringLiteral("changed"), QStringLiteral("Email")));
    send({QStringLiteral("call"), QStringLiteral("WriteLetter")});
    QVERIFY(sawNotice(QStringLiteral("shell")));
}

void TestZuHttpCtlhost::probeAndDownload()
{
    const QString url = QStringLiteral("http://%1/data.bin").arg(m_nginx.hostText());
    QJsonObject answer = send({QStringLiteral("call"), QStringLiteral("GetAttrs"), url});
    QVERIFY(answer.value(QStringLiteral("ok")).toBool());
    QCOMPARE(answer.value(QStringLiteral("value")).toString(), QString());
    QVERIFY(send({QStringLiteral("wait"), QStringLiteral("GetAttred"), 5000}).value(QStringLiteral("ok")).toBool());
    QCOMPARE(send({QStringLiteral("get"), QStringLiteral("Length")}).value(QStringLiteral("value")).toInt(),
             m_file.size());
    QCOMPARE(send({QStringLiteral("get"), QStringLiteral("Geted")}).value(QStringLiteral("value")), QJsonValue(true));

    const QString target = m_out.filePath(QStringLiteral("data.bin"));
    answer = send({QStringLiteral("call"), QStringLiteral("DownTo"), target, 1, 0, false});
    QVERIFY(answer.value(QStringLiteral("ok")).toBool());
    QVERIFY(answer.value(QStringLiteral("value")).isNull());
    QVERIFY(send({QStringLiteral("wait"), QStringLiteral("Finish"), 10000}).value(QStringLiteral("ok")).toBool());
    QCOMPARE(send({QStringLiteral("get"), QStringLiteral("HsDown")}).value(QStringLiteral("value")).toInt(), 0);
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == m_file);

    // A bad address comes back as an event, not as a failed call.
    m_notices.clear();
    answer = send({QStringLiteral("call"), QStringLiteral("GetAttrs"), QStringLiteral("nothing")});
    QVERIFY(answer.value(QStringLiteral("ok")).toBool());
    bool invalid = false;
    for (const QJsonObject &notice : std::as_const(m_notices)) {
        if (notice.value(QStringLiteral("event")).toString() == QLatin1String("OnError"))
            invalid = notice.value(QStringLiteral("args")).toArray() == QJsonArray{1, QStringLiteral("无效的地址")};
    }
    QVERIFY(invalid);
}

QTEST_MAIN(TestZuHttpCtlhost)
#include "tst_zuhttp_ctlhost.moc"
