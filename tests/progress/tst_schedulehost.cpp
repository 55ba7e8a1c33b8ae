#include "CtlHostSession.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

// The bar as a host meets it: driven through ctlhost's standard input.
namespace {

struct Host : CtlHostSession
{
    //! Starts ctlhost with a new bar; \a loaded loads it from an empty bag first.
    explicit Host(bool loaded = false)
        : CtlHostSession(QStringLiteral(CTLHOST_PATH), {QStringLiteral("Schedule")})
    {
        if (loaded && ok({"load", QJsonObject{}}))
            takeNotices();
    }
    //! The texts of the one modal box among the kept notices; clears them.
    QJsonArray onlyModalTexts()
    {
        const QList<QJsonObject> modals = takeNotices(QStringLiteral("modal"));
        return modals.size() == 1 ? modals.first().value("modal").toObject().value("texts").toArray() : QJsonArray();
    }
};

QJsonObject raised(const QString &name, const QJsonArray &args = {})
{
    return QJsonObject{{QStringLiteral("event"), name}, {QStringLiteral("args"), args}};
}

QJsonObject changed(const QString &name)
{
    return QJsonObject{{QStringLiteral("changed"), name}};
}

} // namespace

class ScheduleHost : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

private Q_SLOTS:
    void initTestCase()
    {
        if (QByteArray(CTLHOST_PATH).isEmpty())
            QSKIP("ctlhost is not part of this build; the hosted tests of the bar need it");
        QVERIFY(dir.isValid());
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

    void maxAndValueRules()
    {
        Host host(true);
        QVERIFY(host.ok({"set", "Max", 0}));
        QVERIFY(host.takeNotices().isEmpty());
        QCOMPARE(host.value({"get", "Max"}), QJsonValue(100));
        QCOMPARE(host.send({"set", "Value", 101}), (QJsonObject{{"ok", false}, {"error", 380}, {"description", "Invalid property value"}}));
        QVERIFY(host.takeNotices().isEmpty());
        QCOMPARE(host.send({"set", "Value", -5}).value("error"), QJsonValue(380));
        QCOMPARE(host.takeNotices(), (QList<QJsonObject>{raised("Change"), changed("Value")}));
        QCOMPARE(host.value({"get", "Value"}), QJsonValue(-5));

        // With Value still negative the new Max gives a negative fill, which the
        // pane refuses: Max reports that in the error box and stops before notifying.
        QVERIFY(host.ok({"set", "Max", 50}));
        QVERIFY(host.notices.size() == 1 && host.onlyModalTexts().contains("Invalid property value"));
        QCOMPARE(host.value({"get", "Max"}), QJsonValue(50));
        host.send({"set", "Value", 10});
        host.takeNotices();
        QVERIFY(host.ok({"set", "Max", 20}));
        QCOMPARE(host.takeNotices(), QList<QJsonObject>{changed("Max")});

        // A bad stored Max is reported in the error box; the host goes on.
        Host bad;
        QVERIFY(bad.ok({"load", QJsonObject{{"Max", 0}}}));
        QCOMPARE(bad.notices.size(), 1);
        QCOMPARE(bad.notices.first().value("modal").toObject().value("title"), QJsonValue("Schedule"));
        QVERIFY(bad.onlyModalTexts().contains("Overflow"));
        bad.send({"resize", 3000, 300});
        bad.send({"show"});
        QCOMPARE(bad.value({"get", "Text"}), QJsonValue(""));
    }

    void saveThenLoadRoundTrips()
    {
        QJsonArray saved;
        {
            Host host(true);
            const QList<std::pair<QString, QJsonValue>> values{
                    {"Max", 400}, {"Value", 120}, {"Text", "复制文件"}, {"BackColor", 0x00FFFFFF}, {"Doevent", false}};
            for (const auto &[name, value] : values)
                QVERIFY(host.ok({"set", name, value}));
            saved = host.value({"save"}).toArray();
        }
        QCOMPARE(saved.size(), 17);
        QCOMPARE(saved.at(2).toArray(), (QJsonArray{"Max", "400", 100}));
        QCOMPARE(saved.at(3).toArray(), (QJsonArray{"Value", "120", 0}));
        QJsonObject bag;
        for (const QJsonValue &entry : saved)
            bag.insert(entry.toArray().at(0).toString(), entry.toArray().at(1));
        Host again;
        QVERIFY(again.ok({"load", bag}));
        QVERIFY(again.takeNotices("modal").isEmpty());
        QCOMPARE(again.value({"get", "Text"}), QJsonValue("复制文件"));
        QCOMPARE(again.value({"save"}).toArray(), saved);
    }

    void partialBagAndPicture()
    {
        Host host;
        host.send({"load", QJsonObject{{"Value", "30"}, {"ShowPercent", true}, {"BackColor", 0x00FFFFFF},
                                       {"ForeColor", 0x00FF0000}, {"BorderStyle", 0}}});
        host.send({"resize", 200 * 15, 20 * 15});
        host.send({"show"});
        QCOMPARE(host.value({"get", "Max"}), QJsonValue(100));
        QCOMPARE(host.value({"get", "ShowText"}), QJsonValue(false));
        const QString path = dir.filePath(QStringLiteral("partial.png"));
        QCOMPARE(host.send({"screenshot", path}).value("ok"), QJsonValue(true));
        const QImage image(path);
        QCOMPARE(image.width(), 200);
        int blue = 0;
        for (int x = 0; x < image.width(); ++x)
            blue += QColor(image.pixel(x, 2)) == QColor(Qt::blue);
        QCOMPARE(blue, 60); // 30 % of the inner width, no border
    }

    void mouseAndKeys()
    {
        Host host(true);
        host.send({"resize", 204 * 15, 40 * 15});
        host.send({"show"});
        host.send({"set", "Value", 50});
        host.takeNotices();
        for (const char *step : {"down", "up"})
            host.send({"mouse", step, 150, 20, 1, 0});
        for (const char *step : {"down", "up"})
            host.send({"mouse", step, 50, 20, 2, 1});
        for (const char *step : {"down", "up"})
            host.send({"key", step, 112, 2});
        QCOMPARE(host.takeNotices(),
                 (QList<QJsonObject>{raised("MouseDown", {1, 0, 148, 18}), raised("MouseUp", {1, 0, 148, 18}),
                                     raised("MouseDown", {2, 1, 48, 18}), raised("MouseUp", {2, 1, 48, 18}),
                                     raised("KeyDown", {112, 2}), raised("KeyUp", {112, 2})}));
    }
};

QTEST_MAIN(ScheduleHost)
#include "tst_schedulehost.moc"
