#include "ScheduleFixture.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QVBoxLayout>

// What assistive technology reads from the bar, side by side with what it
// reads from a QProgressBar showing the same. Qt passes change
// announcements on only where the platform has accessibility: under X with
// at-spi2 (schedule_atspi runs this test so), not on the offscreen platform.
class ScheduleAccessibility : public QObject
{
    Q_OBJECT

private:
    struct Announcement
    {
        QObject *object = nullptr;
        QAccessible::Event type = QAccessible::InvalidEvent;
        QVariant value;
        bool operator==(const Announcement &) const = default;
    };
    static inline QList<Announcement> announced;

    HostRecorder host;
    QWidget *window = nullptr;

    static void record(QAccessibleEvent *event)
    {
        QVariant value;
        if (event->type() == QAccessible::ValueChanged)
            value = static_cast<QAccessibleValueChangeEvent *>(event)->value();
        announced.append({event->object(), event->type(), value});
    }
    //! What was announced about \a object, in order.
    static QList<Announcement> about(QObject *object)
    {
        QList<Announcement> result;
        for (const Announcement &a : std::as_const(announced)) {
            if (a.object == object && (a.type == QAccessible::ValueChanged || a.type == QAccessible::NameChanged))
                result.append(a);
        }
        return result;
    }

    Schedule *makeBar()
    {
        auto *bar = new Schedule(window);
        load(*bar, {});
        window->layout()->addWidget(bar);
        window->layout()->activate();
        bar->show();
        return bar;
    }
    static QAccessibleInterface *of(QObject *object) { return QAccessible::queryAccessibleInterface(object); }

private Q_SLOTS:
    void initTestCase()
    {
        // As when a screen reader runs: every change is passed on from the start.
        QAccessible::installUpdateHandler(&record);
        host.install();
        window = new QWidget;
        new QVBoxLayout(window);
        window->resize(400, 300);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 10000);
    }
    void cleanupTestCase()
    {
        QAccessible::installUpdateHandler(nullptr);
        delete window;
    }
    void init()
    {
        announced.clear();
        host.clear();
    }
    void cleanup() { qDeleteAll(window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)); }

    void readsLikeAProgressBar_data()
    {
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("percent");
        QTest::newRow("empty") << 100 << 0 << true;
        QTest::newRow("half") << 100 << 50 << true;
        QTest::newRow("full") << 1000 << 1000 << true;
        QTest::newRow("a quarter of 2^31-1") << 2147483647 << 536870912 << true;
        QTest::newRow("hidden percentage leaves the numbers") << 100 << 30 << false;
    }
    void readsLikeAProgressBar()
    {
        QFETCH(int, max);
        QFETCH(int, value);
        QFETCH(bool, percent);
        Schedule *bar = makeBar();
        bar->setShowPercent(percent);
        bar->setMax(max);
        bar->setValue(value);
        auto *reference = new QProgressBar(window);
        reference->setRange(0, max);
        reference->setValue(value);

        QAccessibleInterface *mine = of(bar);
        QAccessibleInterface *theirs = of(reference);
        QVERIFY(mine && theirs);
        QCOMPARE(mine->role(), QAccessible::ProgressBar);
        QAccessibleValueInterface *mineValue = mine->valueInterface();
        QAccessibleValueInterface *theirValue = theirs->valueInterface();
        QVERIFY(mineValue && theirValue);
        QCOMPARE(mineValue->currentValue(), theirValue->currentValue());
        QCOMPARE(mineValue->minimumValue(), theirValue->minimumValue());
        QCOMPARE(mineValue->maximumValue(), theirValue->maximumValue());
        // Read as shown, with its percent sign.
        QCOMPARE(mine->text(QAccessible::Value), percent ? label(*bar, "Label3")->caption() : QString());
        // The value is the host's to set.
        mineValue->setCurrentValue(1);
        QCOMPARE(bar->Value(), value);
        QCOMPARE(mine->state().readOnly, theirs->state().readOnly);
    }

    // A value loaded as text that is no number: the reader gets 0 and the host no failure.
    void aLoadedTextThatIsNoNumberReadsAsZero()
    {
        Schedule *bar = makeBar();
        load(*bar, {{"Value", QStringLiteral("abc")}, {"Max", QStringLiteral("100")}});
        QCOMPARE(of(bar)->valueInterface()->currentValue(), QVariant(0));
        QVERIFY(!bar->takeError());
        QCOMPARE(host.modals.size(), 1); // what the load itself reported
    }

    void nameComesFromTheHostElseTheShownText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("accessibleName");
        QTest::addColumn<QString>("buddy");
        QTest::addColumn<QString>("name");
        QTest::newRow("shown text") << "a.bin" << true << QString() << QString() << "a.bin";
        QTest::newRow("hidden text") << "a.bin" << false << QString() << QString() << QString();
        QTest::newRow("the host's name first") << "a.bin" << true << "Download of a.bin" << QString()
                                               << "Download of a.bin";
        QTest::newRow("a label's buddy") << QString() << true << QString() << "&Progress:" << "Progress:";
    }
    void nameComesFromTheHostElseTheShownText()
    {
        QFETCH(QString, text);
        QFETCH(bool, shown);
        QFETCH(QString, accessibleName);
        QFETCH(QString, buddy);
        QFETCH(QString, name);
        Schedule *bar = makeBar();
        bar->setText(text);
        bar->setShowText(shown);
        bar->setAccessibleName(accessibleName);
        if (!buddy.isEmpty())
            (new QLabel(buddy, window))->setBuddy(bar);
        QCOMPARE(of(bar)->text(QAccessible::Name), name);
    }

    // Each change of the value is announced as QProgressBar announces it,
    // each change of the shown text as a new name.
    void changesAreAnnounced()
    {
        if (!QAccessible::isActive())
            QSKIP("the platform passes on no accessibility events (schedule_atspi checks them under X)");
        Schedule *bar = makeBar();
        bar->setDoevent(false);
        auto *reference = new QProgressBar(window);
        reference->setRange(0, 100);
        reference->show();
        announced.clear();
        for (int value : {10, 10, 55, 0}) {
            bar->setValue(value);
            reference->setValue(value);
        }
        const QList<Announcement> mine = about(bar);
        QList<Announcement> theirs = about(reference);
        for (Announcement &a : theirs)
            a.object = bar;
        QCOMPARE(mine.size(), 3);
        QCOMPARE(mine, theirs);
        // Refused: nothing changed, nothing said.
        bar->setValue(101);
        QCOMPARE(errorNumber(*bar), 380);
        QCOMPARE(about(bar).size(), 3);

        announced.clear();
        bar->setText(QStringLiteral("a.bin"));
        bar->setShowText(false);
        QCOMPARE(about(bar), (QList<Announcement>{{bar, QAccessible::NameChanged, {}},
                                                  {bar, QAccessible::NameChanged, {}}}));
    }

    // The panes and labels are drawing: a reader finds the bar itself wherever it looks.
    void partsAreNotOffered()
    {
        Schedule *bar = makeBar();
        bar->setText(QStringLiteral("a.bin"));
        bar->setValue(50);
        QAccessibleInterface *mine = of(bar);
        QCOMPARE(mine->childCount(), 0);
        QCOMPARE(mine->childAt(mine->rect().center().x(), mine->rect().center().y()), nullptr);
    }

    void focusIsReported()
    {
        Schedule *bar = makeBar();
        QVERIFY(of(bar)->state().focusable);
        window->activateWindow();
        QTRY_VERIFY(window->isActiveWindow());
        bar->setFocus();
        QTRY_VERIFY(of(bar)->state().focused);
        bar->setFocusPolicy(Qt::NoFocus);
        bar->clearFocus();
        QVERIFY(!of(bar)->state().focusable);
        QVERIFY(!of(bar)->state().focused);
    }
};

QTEST_MAIN(ScheduleAccessibility)
#include "tst_scheduleaccessible.moc"
