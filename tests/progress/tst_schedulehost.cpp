#include "CtlHostSession.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

// The bar as a host meets it: driven through ctlhost's standard input.
namespace {

struct Host : CtlHostSession
{
    Host() : CtlHostSession(QStringLiteral(CTLHOST_PATH), {QStringLiteral("Schedule")}) {}
};

QJsonObject changed(const QString &name)
{
    return QJsonObject{{QStringLiteral("changed"), name}};
}

} // namespace

class ScheduleHost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QByteArray(CTLHOST_PATH).isEmpty())
            QSKIP("ctlhost is not part of this build; the hosted tests of the bar need it");
    }

    void membersInInterfaceOrderUnderTheirHostNames()
    {
        Host host;
        QVERIFY(host.started);
        const QJsonObject lists = host.value({"members"}).toObject();
        QCOMPARE(lists.value("members").toArray(),
                 (QJsonArray{"BackColor", "BorderStyle", "Max", "Value", "ForeColor", "hwnd", "About",
                             "WriteLetter", "VisitHomepage", "MouseIcon", "MousePointer", "作者", "信箱",
                             "主页", "ShowText", "Text", "BkFontColor", "ForeFontColor", "ShowPercent",
                             "Font", "BkPicture", "ForePicture", "Appearance", "Doevent"}));
        QCOMPARE(lists.value("events").toArray(),
                 (QJsonArray{"Change", "KeyUp", "MouseDown", "MouseUp", "KeyDown"}));

        // The author members answer under their Chinese names and keep their values.
        QCOMPARE(host.value({"get", "作者"}), QJsonValue("Tolvar"));
        QVERIFY(host.value({"get", "信箱"}).toString().contains(u'@'));
        QVERIFY(host.value({"get", "主页"}).toString().startsWith(u"http"));
        host.takeNotices();
        for (const QString &hostName : QStringList{"作者", "信箱", "主页"}) {
            QVERIFY(host.ok({"set", hostName, "anything"}));
            QCOMPARE(host.takeNotices(), QList<QJsonObject>{changed(hostName)});
        }
        QCOMPARE(host.value({"get", "作者"}), QJsonValue("Tolvar"));
        QCOMPARE(host.send({"call", "VisitHomepage"}).value("value"), QJsonValue(QJsonValue::Null));
        const QList<QJsonObject> notices = host.takeNotices();
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices.first().value("shell").toObject().value("verb"), QJsonValue("open"));
        QCOMPARE(notices.first().value("shell").toObject().value("target"), host.value({"get", "主页"}));
    }
};

QTEST_MAIN(ScheduleHost)
#include "tst_schedulehost.moc"
