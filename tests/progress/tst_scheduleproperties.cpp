#include "ScheduleFixture.h"

#include <QFontMetrics>
#include <QJsonDocument>
#include <QLocale>
#include <QTest>
#include <QTimer>

// Where the host deletes the bar, and the call that lets it.
enum Where { InChange, InChangeWithoutTheYield, InTheYield, InTheErrorBox, InTheNotice };
enum Call { AssigningValue, Loading, Resizing };

class ScheduleProperties : public QObject
{
    Q_OBJECT

private:
    HostRecorder host;

private Q_SLOTS:
    void initTestCase()
    {
        host.install();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init() { host.clear(); }

    // Max, Value and the refused values of other properties: what is stored,
    // the percentage, the fill (pixels of 200, -1 hidden), notices and error box.
    void assignedValuesAreStoredOrRefused_data()
    {
        QTest::addColumn<QVariantMap>("before");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("error");
        QTest::addColumn<QVariant>("after"); // invalid: unchanged
        QTest::addColumn<QString>("percent"); // empty: unchanged
        QTest::addColumn<int>("fill");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("box");
        const auto mv = [](int max, int value) { return QVariantMap{{"Max", max}, {"Value", value}}; };
        const QStringList none, full{"Change", "changed:Value"}, max{"changed:Max"};
        const QVariant same;
        const QString bad = QStringLiteral("Invalid property value");
        QTest::newRow("max zero is ignored") << mv(100, 40) << QByteArray("Max") << QVariant(0) << 0 << same << "" << 80 << none << "";
        QTest::newRow("lowest max is ignored") << mv(100, 40) << QByteArray("Max") << QVariant(INT_MIN) << 0 << same << "" << 80 << none << "";
        QTest::newRow("max above value") << mv(100, 40) << QByteArray("Max") << QVariant(50) << 0 << QVariant(50) << "" << 160 << max << "";
        // Value is tested against Max only when assigned; the percentage only by Value.
        QTest::newRow("max below value") << mv(100, 40) << QByteArray("Max") << QVariant(10) << 0 << QVariant(10) << "" << 800 << max << "";
        QTest::newRow("huge fill is clipped") << mv(INT_MAX, INT_MAX) << QByteArray("Max") << QVariant(1) << 0 << QVariant(1) << ""
                                              << QWIDGETSIZE_MAX << max << "";
        // The fill refuses a negative width: Max is kept, reported, not notified.
        QTest::newRow("max over a negative value") << mv(100, -5) << QByteArray("Max") << QVariant(50) << 0 << QVariant(50) << "" << -1 << none << bad;
        QTest::newRow("equal to max") << mv(100, 7) << QByteArray("Value") << QVariant(100) << 0 << QVariant(100) << "100%" << 200 << full << "";
        QTest::newRow("above max") << mv(100, 7) << QByteArray("Value") << QVariant(101) << 380 << same << "" << 14 << none << "";
        QTest::newRow("the same again") << mv(100, 7) << QByteArray("Value") << QVariant(7) << 0 << same << "" << 14 << QStringList{"changed:Value"} << "";
        QTest::newRow("zero") << mv(100, 7) << QByteArray("Value") << QVariant(0) << 0 << QVariant(0) << "0%" << -1 << full << "";
        QTest::newRow("one of a thousand") << mv(1000, 7) << QByteArray("Value") << QVariant(1) << 0 << QVariant(1) << "0%" << 0 << full << "";
        QTest::newRow("a third") << QVariantMap{{"Max", 3}} << QByteArray("Value") << QVariant(1) << 0 << QVariant(1) << "33%" << 67 << full << "";
        QTest::newRow("half a percent up") << mv(8, 7) << QByteArray("Value") << QVariant(1) << 0 << QVariant(1) << "13%" << 25 << full << "";
        // The fill refuses a negative width: 380 after everything else ran.
        QTest::newRow("negative") << mv(100, 7) << QByteArray("Value") << QVariant(-5) << 380 << QVariant(-5) << "(5%)" << -1 << full << "";
        QTest::newRow("negative grouped") << QVariantMap{{"Max", 1}} << QByteArray("Value") << QVariant(-20) << 380 << QVariant(-20)
                                          << "(2,000%)" << -1 << full << "";
        QTest::newRow("border style 2") << QVariantMap() << QByteArray("BorderStyle") << QVariant::fromValue(qint16(2)) << 380 << same << "" << 0 << none << "";
        QTest::newRow("appearance -1") << QVariantMap() << QByteArray("Appearance") << QVariant::fromValue(qint16(-1)) << 380 << same << "" << 0 << none << "";
        QTest::newRow("system colour 25") << QVariantMap() << QByteArray("BackColor") << QVariant(0x80000019u) << 380 << same << "" << 0 << none << "";
        QTest::newRow("colour high byte") << QVariantMap() << QByteArray("ForeFontColor") << QVariant(0x11000000u) << 380 << same << "" << 0 << none << "";
        QTest::newRow("pointer 50") << QVariantMap() << QByteArray("MousePointer") << QVariant::fromValue(qint16(50)) << 0 << same << "" << 0 << none << bad;
    }
    void assignedValuesAreStoredOrRefused()
    {
        QFETCH(QVariantMap, before);
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        QFETCH(int, error);
        QFETCH(QVariant, after);
        QFETCH(QString, percent);
        QFETCH(int, fill);
        QFETCH(QStringList, log);
        QFETCH(QString, box);
        Schedule bar;
        bar.hostResize(204 * 15, 30 * 15); // inner width 200 inside the sunken border
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            bar.setProperty(it.key().toLatin1(), it.value());
        bar.takeError();
        host.modals.clear();
        const QVariant old = bar.property(property);
        const QString oldPercent = label(bar, "Label3")->caption();
        QStringList seen;
        attachLog(&bar, &seen);
        QVERIFY(bar.setProperty(property, value));
        QCOMPARE(errorNumber(bar), error);
        QCOMPARE(bar.property(property), after.isValid() ? after : old);
        QCOMPARE(label(bar, "Label3")->caption(), percent.isEmpty() ? oldPercent : percent);
        QCOMPARE(label(bar, "Label4")->caption(), label(bar, "Label3")->caption());
        QCOMPARE(pane(bar, "Pc2")->isVisibleTo(pane(bar, "Pc1")), fill >= 0);
        if (fill >= 0)
            QCOMPARE(pane(bar, "Pc2")->width(), fill);
        QCOMPARE(seen, log);
        QCOMPARE(host.modals.size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty())
            QVERIFY(host.modals.first().texts.contains(box));
    }

    // Change sees the new value and the old fill; with Doevent the host runs
    // in between, without it only once the fill has moved.
    void changeAndYieldComeBeforeTheFillMoves()
    {
        for (const bool doevent : {true, false}) {
            Schedule bar;
            bar.hostResize(204 * 15, 30 * 15);
            bar.setValue(20);
            bar.setDoevent(doevent);
            int seenValue = -1;
            int seenFill = -1;
            QString seenPercent;
            connect(&bar, &Schedule::Change, &bar, [&] {
                seenValue = bar.Value();
                seenFill = pane(bar, "Pc2")->width();
                seenPercent = label(bar, "Label3")->caption();
            });
            int fillWhenTimerRan = -1;
            QTimer::singleShot(0, &bar, [&] { fillWhenTimerRan = pane(bar, "Pc2")->width(); });
            bar.setValue(60);
            QCOMPARE(seenValue, 60);
            QCOMPARE(seenFill, 40);
            QCOMPARE(seenPercent, QStringLiteral("20%"));
            QCOMPARE(pane(bar, "Pc2")->width(), 120);
            QCOMPARE(fillWhenTimerRan, doevent ? 40 : -1);
            QTRY_COMPARE(fillWhenTimerRan, doevent ? 40 : 120);
        }
    }

    void nestedAssignmentRunsToItsEndFirst()
    {
        Schedule bar;
        bar.hostResize(204 * 15, 30 * 15);
        QStringList log;
        attachLog(&bar, &log);
        QTimer::singleShot(0, &bar, [&] { bar.setValue(10); });
        bar.setValue(50);
        // The nested assignment ends first; the outer one goes on from the held text.
        QCOMPARE(log, (QStringList{"Change", "Change", "changed:Value", "changed:Value"}));
        QCOMPARE(bar.Value(), 10);
        QCOMPARE(pane(bar, "Pc2")->width(), 20);
        QCOMPARE(label(bar, "Label3")->caption(), QStringLiteral("10%"));
    }

    void hostMayDeleteTheBar_data()
    {
        QTest::addColumn<Where>("where");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<Call>("call");
        QTest::newRow("in Change") << InChange << QString() << AssigningValue;
        QTest::newRow("in Change without the yield") << InChangeWithoutTheYield << QString() << AssigningValue;
        QTest::newRow("in the yield") << InTheYield << QString() << AssigningValue;
        QTest::newRow("in the error box") << InTheErrorBox << QString() << AssigningValue;
        QTest::newRow("in the notice of the value") << InTheNotice << QStringLiteral("Value") << AssigningValue;
        QTest::newRow("in Change while loading") << InChange << QString() << Loading;
        QTest::newRow("in the notice of the mouse icon while loading") << InTheNotice << QStringLiteral("MouseIcon") << Loading;
        QTest::newRow("in the error box while loading") << InTheErrorBox << QString() << Loading;
        QTest::newRow("in the error box of a resize") << InTheErrorBox << QString() << Resizing;
    }
    void hostMayDeleteTheBar()
    {
        QFETCH(Where, where);
        QFETCH(QString, notice);
        QFETCH(Call, call);
        auto *bar = new Schedule;
        QPointer<Schedule> watch(bar);
        bar->setDoevent(where != InChangeWithoutTheYield);
        // A zero Max makes every layout and percentage fail into the error box.
        if (where == InTheErrorBox && call != Loading)
            load(*bar, {{QStringLiteral("Max"), 0}});
        switch (where) {
        case InChange:
        case InChangeWithoutTheYield:
            connect(bar, &Schedule::Change, bar, [bar] { delete bar; });
            break;
        case InTheYield:
            QTimer::singleShot(0, bar, [bar] { delete bar; });
            break;
        case InTheErrorBox:
            host.onModal = [bar](QDialog *) { delete bar; };
            break;
        case InTheNotice:
            connect(bar, &ControlBase::propertyChanged, bar, [bar, notice](const QString &name) {
                if (name == notice)
                    delete bar;
            });
            break;
        }
        switch (call) {
        case AssigningValue:
            bar->setValue(where == InTheErrorBox ? -3 : 50);
            break;
        case Loading:
            load(*bar, {{QStringLiteral("Value"), 30}, {QStringLiteral("Max"), where == InTheErrorBox ? 0 : 100}});
            break;
        case Resizing:
            // Hidden, so the notice comes from hostResize(): Qt itself does not
            // survive a widget deleted inside its own resize event.
            bar->hostResize(6000, 900);
            break;
        }
        QVERIFY(!watch);
    }

    void failureAfterTheStoreIsReportedAndRolledBack()
    {
        Schedule bar;
        load(bar, {{QStringLiteral("Max"), 0}});
        QCOMPARE(host.modals.size(), 1);
        host.clear();
        QStringList log;
        attachLog(&bar, &log);
        bar.setValue(-3); // passes the test against 0, then the percentage divides by zero
        QCOMPARE(errorNumber(bar), 0);
        QCOMPARE(host.modals.size(), 1);
        QCOMPARE(host.modals.first().title, QStringLiteral("Schedule"));
        QVERIFY(host.modals.first().texts.contains(QStringLiteral("Division by zero")));
        QCOMPARE(log, (QStringList{"Change", "Change", "changed:Value"}));
        QCOMPARE(bar.Value(), 0);
    }

    // A new text grows to the right in place; a new font sizes the percentage
    // labels for "100%" and centres them on the text's line.
    void textGrowsRightAndFontRecentresThePercentage()
    {
        Schedule bar;
        bar.setText(QStringLiteral("ab"));
        bar.hostResize(300 * 15, 40 * 15); // relayout centres the text vertically
        auto *text = label(bar, "Label1");
        const QRect placed = text->geometry();
        bar.setText(QStringLiteral("a much longer text"));
        QCOMPARE(text->left(), 0);
        QCOMPARE(text->top(), placed.top());
        QVERIFY(text->width() > placed.width());
        QCOMPARE(label(bar, "Label2")->geometry(), text->geometry());

        const QFont font(QStringLiteral("DejaVu Sans"), 20);
        bar.setFont(font);
        const int width = QFontMetrics(font).horizontalAdvance(QStringLiteral("100%"));
        QCOMPARE(label(bar, "Label4")->geometry(), label(bar, "Label3")->geometry());
        QCOMPARE(label(bar, "Label3")->width(), width);
        QVERIFY(qAbs(label(bar, "Label3")->left() - (pane(bar, "Pc1")->innerWidth() - width) / 2) <= 1);
    }

    void savingAndLoadingAgreeOnDefaults()
    {
        Schedule bar;
        PropertyBag saved;
        bar.hostWriteProperties(saved);
        PropertyBag loaded;
        bar.hostReadProperties(loaded);
        QVariantMap writeDefaults, readDefaults;
        for (const auto &entry : saved.writes())
            writeDefaults.insert(entry.name, entry.defaultValue);
        for (const auto &entry : loaded.reads())
            readDefaults.insert(entry.name, entry.defaultValue);
        QCOMPARE(readDefaults, writeDefaults);
        // Max and Value are written as texts, which differ from the integer defaults and so are kept.
        QCOMPARE(saved.values().value(QStringLiteral("Max")), QVariant(QStringLiteral("100")));
        QCOMPARE(saved.values().value(QStringLiteral("Value")), QVariant(QStringLiteral("0")));
    }

    void settersNotifyAndSurviveARoundTrip()
    {
        Schedule bar;
        QStringList log;
        attachLog(&bar, &log);
        const QList<std::pair<const char *, QVariant>> values{
                {"Max", 250}, {"Value", 75}, {"BackColor", 0x00102030u}, {"ForeColor", 0x80000005u},
                {"BkFontColor", 0x00405060u}, {"ForeFontColor", 0x00708090u}, {"Text", QStringLiteral("下载中")},
                {"ShowText", false}, {"ShowPercent", false}, {"BorderStyle", qint16(0)}, {"Appearance", qint16(0)},
                {"MousePointer", qint16(2)}, {"Doevent", false}, {"Font", QFont(QStringLiteral("DejaVu Serif"), 13, QFont::Bold)},
                {"Author", QStringLiteral("someone")}, {"Mailbox", QString()}, {"Homepage", QString()}};
        QStringList expected;
        for (const auto &[name, value] : values) {
            QVERIFY(bar.setProperty(name, value) && !bar.takeError());
            expected << (qstrcmp(name, "Value") ? QStringList() : QStringList{"Change"})
                     << "changed:" + ControlBase::hostNameForMember(&Schedule::staticMetaObject, name);
        }
        QCOMPARE(log, expected);
        QCOMPARE(bar.Author(), QStringLiteral("Tolvar")); // the author members keep their values
        PropertyBag saved;
        bar.hostWriteProperties(saved);
        const QByteArray json = QJsonDocument(saved.toJson()).toJson();
        PropertyBag stored = PropertyBag::fromJson(QJsonDocument::fromJson(json).object());
        Schedule copy;
        copy.hostReadProperties(stored);
        QVERIFY(host.modals.isEmpty());
        for (const QString &name : saved.values().keys())
            QCOMPARE(copy.property(name.toLatin1()), bar.property(name.toLatin1()));
    }

    void partialBagLoadsQuietlyWithDefaults()
    {
        Schedule bar;
        bar.hostResize(204 * 15, 30 * 15);
        QStringList log;
        attachLog(&bar, &log);
        // Colours may be stored as signed numbers.
        load(bar, {{"Value", "30"}, {"ShowPercent", true}, {"BackColor", qint64(qint32(0x8000000Du))}, {"ForeColor", 255}});
        QVERIFY(host.modals.isEmpty());
        QCOMPARE(bar.BackColor(), 0x8000000Du);
        QCOMPARE(bar.ForeColor(), 255u);
        QCOMPARE(bar.Value(), 30);
        QCOMPARE(pane(bar, "Pc2")->width(), 60);
        QCOMPARE(label(bar, "Label3")->caption(), QStringLiteral("0%"));
        QVERIFY(bar.ShowPercent());
        QVERIFY(!bar.ShowText());
        QVERIFY(bar.aboutShown());
        QCOMPARE(log, (QStringList{"Change", "changed:MouseIcon"}));
    }

    void loadingBadStoredValuesReportsAndStops_data()
    {
        QTest::addColumn<QVariantMap>("values");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("maxError");
        QTest::newRow("max zero") << QVariantMap{{"Max", 0}} << "Overflow" << 0;
        QTest::newRow("max not a number") << QVariantMap{{"Max", "lots"}} << "Type mismatch" << 13;
        QTest::newRow("value not a number") << QVariantMap{{"Value", "half"}} << "Type mismatch" << 0;
        QTest::newRow("border style 7") << QVariantMap{{"BorderStyle", 7}} << "Invalid property value" << 0;
        QTest::newRow("colour text") << QVariantMap{{"BackColor", "red"}} << "Type mismatch" << 0;
    }
    void loadingBadStoredValuesReportsAndStops()
    {
        QFETCH(QVariantMap, values);
        QFETCH(QString, message);
        QFETCH(int, maxError);
        Schedule bar;
        bar.setShowText(false);
        values.insert("ShowText", true); // read after every key above
        load(bar, values);
        QCOMPARE(host.modals.size(), 1);
        QCOMPARE(host.modals.first().title, Schedule::errorTitle());
        QVERIFY(host.modals.first().texts.contains(message));
        // Loading ended at the failing step: the later "ShowText" was not applied.
        QVERIFY(!bar.ShowText());
        bar.Max();
        QCOMPARE(errorNumber(bar), maxError);
        // The bar goes on working: a later resize reports again instead of failing.
        host.clear();
        bar.hostResize(100 * 15, 20 * 15);
    }
};

QTEST_MAIN(ScheduleProperties)
#include "tst_scheduleproperties.moc"
