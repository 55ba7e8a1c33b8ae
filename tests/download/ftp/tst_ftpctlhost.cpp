// The FTP control hosted by the test container and driven through it, as a
// host program drives it, against vsftpd on loopback.

#include "FtpPeers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

class TestFtpCtlhost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void interfaceThroughHost();
    void downloadThroughHost();
    void probeThroughHost();

private:
    //! Sends \a command and returns its answer; notices printed before it go to m_notices.
    QJsonObject run(const QJsonArray &command, int timeoutMs = 30000);
    QList<QJsonObject> takeNotices(const QString &key);

    QTemporaryDir m_dir;
    FtpPeer m_vsftpd {FtpPeer::Vsftpd};
    QProcess m_host;
    QByteArray m_content;
    QList<QJsonObject> m_notices;
};

void TestFtpCtlhost::initTestCase()
{
#ifndef CTLHOST_PATH
    QSKIP("the ctlhost container is not part of this build");
#else
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(m_vsftpd.start(&error), qPrintable(error));
    m_content.resize(2 * 1024 * 1024 + 5);
    QRandomGenerator generator(3);
    for (char &c : m_content)
        c = char(generator.bounded(256));
    QVERIFY(m_vsftpd.putFile(QStringLiteral("f.bin"), m_content));

    m_host.setProcessChannelMode(QProcess::SeparateChannels);
    m_host.setReadChannel(QProcess::StandardOutput);
    m_host.start(QStringLiteral(CTLHOST_PATH), {QStringLiteral("ZuFTPDownLoad")});
    QVERIFY2(m_host.waitForStarted(10000), qPrintable(m_host.errorString()));
#endif
}

void TestFtpCtlhost::cleanupTestCase()
{
    if (m_host.state() != QProcess::NotRunning) {
        m_host.write("[\"quit\"]\n");
        if (!m_host.waitForFinished(5000))
            m_host.kill();
        m_host.waitForFinished(5000);
    }
    m_vsftpd.stop();
}

QJsonObject TestFtpCtlhost::run(const QJsonArray &command, int timeoutMs)
{
    m_host.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        while (m_host.canReadLine()) {
            const QByteArray line = m_host.readLine().trimmed();
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.contains(QLatin1String("ok")))
                return object;
            m_notices.append(object);
        }
        if (m_host.state() != QProcess::Running)
            break;
        m_host.waitForReadyRead(200);
    }
    return QJsonObject{{QStringLiteral("noanswer"), QString::fromLocal8Bit(m_host.readAllStandardError())}};
}

QList<QJsonObject> TestFtpCtlhost::takeNotices(const QString &key)
{
    QList<QJsonObject> result;
    for (const QJsonObject &notice : std::as_const(m_notices)) {
        if (notice.contains(key))
            result.append(notice);
    }
    m_notices.clear();
    return result;
}

void TestFtpCtlhost::interfaceThroughHost()
{
    const QJsonObject members = run({QStringLiteral("members")});
    QVERIFY2(members.value(QLatin1String("ok")).toBool(), QJsonDocument(members).toJson());
    QCOMPARE(members.value(QLatin1String("value")).toObject().value(QLatin1String("members")).toArray(),
             QJsonArray({"Host", "Path", "User", "Password", "Port", "DownTo", "State", "HsDown", "ZUClose",
                         "State1", "State2", "GetAttrs", "Start", "Writer", "Email", "HomePage",
                         "WriteLetter", "VisitHomePage", "About"}));
    QCOMPARE(members.value(QLatin1String("value")).toObject().value(QLatin1String("events")).toArray(),
             QJsonArray({"OnError", "UrlOK", "GetedData", "Ended", "GetAttred"}));

    QCOMPARE(run({QStringLiteral("get"), QStringLiteral("Port")}).value(QLatin1String("value")).toInt(), 0);
    m_notices.clear();
    QVERIFY(run({QStringLiteral("show")}).value(QLatin1String("ok")).toBool());
    const QList<QJsonObject> modals = takeNotices(QStringLiteral("modal"));
    QCOMPARE(modals.size(), 1);
    QVERIFY(modals.at(0).value(QLatin1String("modal")).toObject().value(QLatin1String("texts")).toArray()
                .contains(QStringLiteral("Zu下载控件 FTP 协议版")));
    QCOMPARE(run({QStringLiteral("get"), QStringLiteral("Port")}).value(QLatin1String("value")).toInt(), 21);
    QCOMPARE(run({QStringLiteral("get"), QStringLiteral("User")}).value(QLatin1String("value")).toString(),
             QStringLiteral("anonymous"));

    QVERIFY(run({QStringLiteral("hide")}).value(QLatin1String("ok")).toBool());
    QVERIFY(run({QStringLiteral("show")}).value(QLatin1String("ok")).toBool());
    QCOMPARE(takeNotices(QStringLiteral("modal")).size(), 0);

    QVERIFY(run({QStringLiteral("resize"), 3000, 3000}).value(QLatin1String("ok")).toBool());
    const QJsonArray size = run({QStringLiteral("size")}).value(QLatin1String("value")).toArray();
    QCOMPARE(size.at(0).toInt(), 660);
    QVERIFY(qAbs(size.at(1).toInt() - 580) < 15);

    QVERIFY(run({QStringLiteral("set"), QStringLiteral("Writer"), QStringLiteral("x")}).value(QLatin1String("ok")).toBool());
    QCOMPARE(run({QStringLiteral("get"), QStringLiteral("Writer")}).value(QLatin1String("value")).toString(),
             QStringLiteral("Tolvar"));
    QCOMPARE(takeNotices(QStringLiteral("changed")).size(), 0);

    const QJsonObject hsDown = run({QStringLiteral("get"), QStringLiteral("HsDown")});
    QCOMPARE(hsDown.value(QLatin1String("ok")).toBool(), false);
    QCOMPARE(hsDown.value(QLatin1String("error")).toInt(), 52);
}

void TestFtpCtlhost::downloadThroughHost()
{
    const QString file = m_dir.filePath(QStringLiteral("hosted.bin"));
    m_notices.clear();
    const QJsonObject call = run({QStringLiteral("call"), QStringLiteral("DownTo"),
                                  m_vsftpd.url(QStringLiteral("/f.bin")), file, 1, false});
    QVERIFY2(call.value(QLatin1String("ok")).toBool(), QJsonDocument(call).toJson());
    QVERIFY(call.value(QLatin1String("value")).isNull());
    const QJsonObject waited = run({QStringLiteral("wait"), QStringLiteral("Ended"), 30000}, 40000);
    QVERIFY2(waited.value(QLatin1String("ok")).toBool(), QJsonDocument(waited).toJson());

    QStringList order;
    qint64 size = -1;
    for (const QJsonObject &notice : takeNotices(QStringLiteral("event"))) {
        const QString name = notice.value(QLatin1String("event")).toString();
        if (order.isEmpty() || order.last() != name)
            order.append(name);
        if (name == QLatin1String("UrlOK"))
            size = notice.value(QLatin1String("args")).toArray().at(0).toInteger();
    }
    QCOMPARE(order, QStringList({"UrlOK", "GetedData", "Ended"}));
    QCOMPARE(size, m_content.size());
    QFile downloaded(file);
    QVERIFY(downloaded.open(QIODevice::ReadOnly));
    QCOMPARE(downloaded.readAll(), m_content);
    QCOMPARE(run({QStringLiteral("get"), QStringLiteral("State1")}).value(QLatin1String("value")).toInt(), 0);
}

void TestFtpCtlhost::probeThroughHost()
{
    m_notices.clear();
    QVERIFY(run({QStringLiteral("call"), QStringLiteral("GetAttrs"), m_vsftpd.url(QStringLiteral("/f.bin"))})
                .value(QLatin1String("ok")).toBool());
    const QJsonObject waited = run({QStringLiteral("wait"), QStringLiteral("UrlOK"), 30000}, 40000);
    QVERIFY2(waited.value(QLatin1String("ok")).toBool(), QJsonDocument(waited).toJson());
    QVERIFY(run({QStringLiteral("pump"), 300}).value(QLatin1String("ok")).toBool());
    const QList<QJsonObject> events = takeNotices(QStringLiteral("event"));
    QCOMPARE(events.size(), 1);
    QCOMPARE(events.at(0).value(QLatin1String("args")).toArray().at(0).toInteger(), m_content.size());
}

QTEST_MAIN(TestFtpCtlhost)
#include "tst_ftpctlhost.moc"
