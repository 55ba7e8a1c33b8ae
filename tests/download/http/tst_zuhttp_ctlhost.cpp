// The control as a host program meets it: loaded by ctlhost from the
// zudownload library and driven through its command lines, against nginx.

#include "CtlHostSession.h"
#include "HttpTestHelpers.h"
#include "NginxServer.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

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
    bool ok(const QJsonArray &command) { return m_host->ok(command); }
    QJsonValue value(const QJsonArray &command) { return m_host->value(command); }
    QJsonArray notices(const QString &key) const { return m_host->noticeValues(key); }

    std::unique_ptr<CtlHostSession> m_host;
    NginxServer m_nginx;
    QTemporaryDir m_out;
    QByteArray m_file = randomBytes(300000, 7);
};

void TestZuHttpCtlhost::initTestCase()
{
#ifndef CTLHOST_PATH
    QSKIP("ctlhost is not part of this build; nothing to drive the control with");
#else
    QVERIFY(m_out.isValid());
    QVERIFY(writeFile(m_nginx.root() + QStringLiteral("/data.bin"), m_file));
    QVERIFY2(m_nginx.start(), qPrintable(m_nginx.errorString()));

    m_host = std::make_unique<CtlHostSession>(
        QStringLiteral(CTLHOST_PATH),
        QStringList{QStringLiteral("--library"), QStringLiteral(ZUDOWNLOAD_LIBRARY), QStringLiteral("ZuHTTPdownload")});
    QVERIFY(m_host->started);
#endif
}

void TestZuHttpCtlhost::cleanupTestCase()
{
    m_host.reset();
    m_nginx.stop();
}

void TestZuHttpCtlhost::interfaceSeenByHost()
{
    const QJsonObject value = this->value({QStringLiteral("members")}).toObject();
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
    m_host->notices.clear();
    QVERIFY(ok({QStringLiteral("show")}));
    const QJsonObject about = notices(QStringLiteral("modal")).first().toObject();
    QVERIFY(about.value(QStringLiteral("texts")).toArray().contains(QStringLiteral("Zu下载控件 HTTP协议版")));

    QVERIFY(ok({QStringLiteral("resize"), 3000, 2000}));
    QCOMPARE(value({QStringLiteral("size")}).toArray(), (QJsonArray{675, 570}));

    // The author values stay; setting Email or HomePage only tells the host.
    const QString mail = value({QStringLiteral("get"), QStringLiteral("Email")}).toString();
    const QString homePage = value({QStringLiteral("get"), QStringLiteral("HomePage")}).toString();
    m_host->notices.clear();
    for (const char *name : {"Writer", "Email", "HomePage"})
        QVERIFY(ok({QStringLiteral("set"), QLatin1String(name), QStringLiteral("x")}));
    QCOMPARE(value({QStringLiteral("get"), QStringLiteral("Writer")}).toString(), QStringLiteral("Tolvar"));
    QCOMPARE(value({QStringLiteral("get"), QStringLiteral("Email")}).toString(), mail);
    QCOMPARE(notices(QStringLiteral("changed")), (QJsonArray{"Email", "HomePage"}));
    QVERIFY(ok({QStringLiteral("call"), QStringLiteral("WriteLetter")}));
    QVERIFY(ok({QStringLiteral("call"), QStringLiteral("VisitHomePage")}));
    QCOMPARE(notices(QStringLiteral("shell")),
             (QJsonArray{QJsonObject{{"verb", "open"}, {"target", QStringLiteral("mailto:") + mail}},
                         QJsonObject{{"verb", "open"}, {"target", homePage}}}));
}

void TestZuHttpCtlhost::probeAndDownload()
{
    const QString url = QStringLiteral("http://%1/data.bin").arg(m_nginx.hostText());
    QCOMPARE(value({QStringLiteral("call"), QStringLiteral("GetAttrs"), url}), QJsonValue(QString()));
    QVERIFY(ok({QStringLiteral("wait"), QStringLiteral("GetAttred"), 5000}));
    QCOMPARE(value({QStringLiteral("get"), QStringLiteral("Length")}).toInt(), m_file.size());
    QCOMPARE(value({QStringLiteral("get"), QStringLiteral("Geted")}), QJsonValue(true));

    const QString target = m_out.filePath(QStringLiteral("data.bin"));
    QCOMPARE(value({QStringLiteral("call"), QStringLiteral("DownTo"), target, 1, 0, false}), QJsonValue());
    QVERIFY(ok({QStringLiteral("wait"), QStringLiteral("Finish"), 10000}));
    QCOMPARE(value({QStringLiteral("get"), QStringLiteral("HsDown")}).toInt(), 0);
    QVERIFY(readFile(target) == m_file);

    // A bad address comes back as an event, not as a failed call.
    m_host->notices.clear();
    QVERIFY(ok({QStringLiteral("call"), QStringLiteral("GetAttrs"), QStringLiteral("nothing")}));
    const QJsonObject invalid{{"event", "OnError"}, {"args", QJsonArray{1, QStringLiteral("无效的地址")}}};
    QVERIFY(m_host->notices.contains(invalid));
}

QTEST_MAIN(TestZuHttpCtlhost)
#include "tst_zuhttp_ctlhost.moc"
