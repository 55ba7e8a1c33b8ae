#include "ScheduleFixture.h"

#include "PropertyBag.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// Mouse and key input forwarded as events, the about box and the author
// members of the bar.
class ScheduleInput : public QObject
{
    Q_OBJECT

private:
    HostRecorder host;
    QWidget *window = nullptr;
    Schedule *bar = nullptr;

    static const QPoint BarAt;

    static QVariantList mouseArgs(qint16 button, qint16 shift, float x, float y)
    {
        return {QVariant::fromValue(button), QVariant::fromValue(shift), QVariant::fromValue(x),
                QVariant::fromValue(y)};
    }

private Q_SLOTS:
    void initTestCase()
    {
        host.install();
        window = new QWidget;
        window->resize(400, 200);
        bar = new Schedule(window);
        PropertyBag saved;
        bar->hostReadProperties(saved); // a loaded bar: no about box on show
        bar->move(BarAt);
        bar->hostResize(204 * 15, 40 * 15);
        bar->setValue(50); // fill over bar x 2..101
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(host.modals.isEmpty());
    }
    void cleanupTestCase() { delete window; }
    void init() { host.clear(); }

    // --- Mouse ----------------------------------------------------------

    void pressAndReleaseOverEitherPane_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QVariantList>("args");
        QTest::newRow("empty part, left") << QPoint(150, 20) << Qt::LeftButton << Qt::KeyboardModifiers()
                                          << mouseArgs(1, 0, 148, 18);
        QTest::newRow("fill, left") << QPoint(50, 20) << Qt::LeftButton << Qt::KeyboardModifiers()
                                    << mouseArgs(1, 0, 48, 18);
        QTest::newRow("fill, right with shift and ctrl")
            << QPoint(10, 5) << Qt::RightButton << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier)
            << mouseArgs(2, 3, 8, 3);
        QTest::newRow("empty part, middle with alt") << QPoint(200, 37) << Qt::MiddleButton
                                                     << Qt::KeyboardModifiers(Qt::AltModifier)
                                                     << mouseArgs(4, 4, 198, 35);
    }
    void pressAndReleaseOverEitherPane()
    {
        QFETCH(QPoint, at);
        QFETCH(Qt::MouseButton, button);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QVariantList, args);
        QSignalSpy downs(bar, &Schedule::MouseDown);
        QSignalSpy ups(bar, &Schedule::MouseUp);
        QTest::mousePress(window->windowHandle(), button, modifiers, BarAt + at);
        QCOMPARE(downs.size(), 1);
        QCOMPARE(downs.first(), args);
        QCOMPARE(ups.size(), 0);
        QTest::mouseRelease(window->windowHandle(), button, modifiers, BarAt + at);
        QCOMPARE(ups.size(), 1);
        QCOMPARE(ups.first(), args);
        QCOMPARE(downs.size(), 1);
    }

    void bothPanesGiveTheSameCoordinatesForOnePoint()
    {
        QSignalSpy downs(bar, &Schedule::MouseDown);
        const QPoint at(101, 20); // the fill's last column
        QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, BarAt + at);
        QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, BarAt + at);
        bar->setValue(40); // the same point is now over the empty part
        QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, BarAt + at);
        QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, BarAt + at);
        QCOMPARE(downs.size(), 2);
        QCOMPARE(downs.at(0), downs.at(1));
        bar->setValue(50);
    }

    void aPressOnALabelReachesThePane()
    {
        bar->setText(QStringLiteral("MMMMMMMMMMMMMMMMMMMMMMMMMMMMMM"));
        QSignalSpy downs(bar, &Schedule::MouseDown);
        QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, BarAt + QPoint(20, 20));
        QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, BarAt + QPoint(160, 20));
        QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, BarAt + QPoint(160, 20));
        QCOMPARE(downs.size(), 2);
        bar->setText(QString());
    }

    void movesAndOtherButtonsRaiseNothing()
    {
        QSignalSpy downs(bar, &Schedule::MouseDown);
        QSignalSpy ups(bar, &Schedule::MouseUp);
        QTest::mouseMove(window->windowHandle(), BarAt + QPoint(30, 30));
        QTest::mousePress(window->windowHandle(), Qt::BackButton, {}, BarAt + QPoint(30, 30));
        QTest::mouseRelease(window->windowHandle(), Qt::BackButton, {}, BarAt + QPoint(30, 30));
        QCOMPARE(downs.size(), 0);
        QCOMPARE(ups.size(), 0);
    }

    // --- Keys -----------------------------------------------------------

    void keysGiveVirtualKeyCodes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("shiftDown");
        QTest::addColumn<int>("shiftUp");
        QTest::newRow("a") << int(Qt::Key_A) << Qt::KeyboardModifiers() << 0x41 << 0 << 0;
        QTest::newRow("shift a") << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 0x41 << 1 << 1;
        QTest::newRow("7") << int(Qt::Key_7) << Qt::KeyboardModifiers() << 0x37 << 0 << 0;
        QTest::newRow("F1") << int(Qt::Key_F1) << Qt::KeyboardModifiers() << 0x70 << 0 << 0;
        QTest::newRow("F12") << int(Qt::Key_F12) << Qt::KeyboardModifiers() << 0x7B << 0 << 0;
        QTest::newRow("left") << int(Qt::Key_Left) << Qt::KeyboardModifiers() << 0x25 << 0 << 0;
        QTest::newRow("return") << int(Qt::Key_Return) << Qt::KeyboardModifiers() << 0x0D << 0 << 0;
        QTest::newRow("escape") << int(Qt::Key_Escape) << Qt::KeyboardModifiers() << 0x1B << 0 << 0;
        QTest::newRow("space") << int(Qt::Key_Space) << Qt::KeyboardModifiers() << 0x20 << 0 << 0;
        QTest::newRow("keypad 5") << int(Qt::Key_5) << Qt::KeyboardModifiers(Qt::KeypadModifier) << 0x65 << 0 << 0;
        QTest::newRow("shifted 1") << int(Qt::Key_Exclam) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 0x31 << 1 << 1;
        QTest::newRow("ctrl alt delete") << int(Qt::Key_Delete)
                                         << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier)
                                         << 0x2E << 6 << 6;
        QTest::newRow("shift itself") << int(Qt::Key_Shift) << Qt::KeyboardModifiers() << 0x10 << 1 << 0;
        QTest::newRow("ctrl itself") << int(Qt::Key_Control) << Qt::KeyboardModifiers() << 0x11 << 2 << 0;
    }
    void keysGiveVirtualKeyCodes()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, code);
        QFETCH(int, shiftDown);
        QFETCH(int, shiftUp);
        QSignalSpy downs(bar, &Schedule::KeyDown);
        QSignalSpy ups(bar, &Schedule::KeyUp);
        QTest::keyPress(bar, Qt::Key(key), modifiers);
        QTest::keyRelease(bar, Qt::Key(key), modifiers);
        // QTest presses and releases the modifier keys around the key itself.
        const auto only = [code](const QSignalSpy &spy) {
            QList<QVariantList> found;
            for (const QVariantList &args : spy) {
                if (args.first().value<qint16>() == code)
                    found.append(args);
            }
            return found;
        };
        const QList<QVariantList> down = only(downs);
        const QList<QVariantList> up = only(ups);
        QCOMPARE(down.size(), 1);
        QCOMPARE(down.first(), (QVariantList{QVariant::fromValue(qint16(code)), QVariant::fromValue(qint16(shiftDown))}));
        QCOMPARE(up.size(), 1);
        QCOMPARE(up.first(), (QVariantList{QVariant::fromValue(qint16(code)), QVariant::fromValue(qint16(shiftUp))}));
        QCOMPARE(downs.size(), ups.size());
    }

    void autoRepeatRepeatsOnlyKeyDown()
    {
        QSignalSpy downs(bar, &Schedule::KeyDown);
        QSignalSpy ups(bar, &Schedule::KeyUp);
        for (int i = 0; i < 3; ++i) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QString(), i > 0);
            QApplication::sendEvent(bar, &press);
            if (i < 2) {
                QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_B, Qt::NoModifier, QString(), true);
                QApplication::sendEvent(bar, &repeatRelease);
            }
        }
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_B, Qt::NoModifier);
        QApplication::sendEvent(bar, &release);
        QCOMPARE(downs.size(), 3);
        QCOMPARE(ups.size(), 1);
    }

    void clickingTheBarGivesItTheKeyboard()
    {
        window->setFocus();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, BarAt + QPoint(150, 20));
        QTRY_VERIFY(bar->hasFocus());
    }

    // --- About box and author members ------------------------------------

    void aNewBarShowsTheAboutBoxOnceOnFirstShow()
    {
        auto *fresh = new Schedule(window);
        QVERIFY(!fresh->aboutShown());
        QPointer<QDialog> seen;
        host.onModal = [&](QDialog *dialog) {
            seen = dialog;
            QVERIFY(!dialog->parentWidget());
        };
        fresh->show();
        QCOMPARE(host.modals.size(), 1);
        QCOMPARE(host.modals.first().title, QStringLiteral("关于"));
        QCOMPARE(host.modals.first().texts,
                 (QStringList{"进度条控件", "版  本:1.0", "作  者:Tolvar", "E-mail:", fresh->Mailbox(),
                              "主  页:", fresh->Homepage(), "确定(&T)"}));
        QVERIFY(fresh->aboutShown());
        QVERIFY(!seen); // unloaded once closed
        fresh->hide();
        fresh->show();
        QCOMPARE(host.modals.size(), 1);
        delete fresh;
    }

    void aboutBoxLayoutAndLinks()
    {
        host.onModal = [&](QDialog *dialog) {
            QCOMPARE(dialog->size(), QSize(234, 130));
            auto *ok = dialog->findChild<QPushButton *>(QStringLiteral("Command1"));
            QVERIFY(ok);
            QCOMPARE(ok->geometry(), QRect(80, 104, 73, 20));
            auto *title = dialog->findChild<QLabel *>(QStringLiteral("Label1"));
            QVERIFY(title->font().bold());
            QCOMPARE(title->geometry(), QRect(8, 8, 217, 25));
            auto *mail = dialog->findChild<QLabel *>(QStringLiteral("Label5"));
            auto *home = dialog->findChild<QLabel *>(QStringLiteral("Label7"));
            QCOMPARE(mail->pos(), QPoint(56, 64));
            QCOMPARE(home->pos(), QPoint(56, 80));
            QVERIFY(mail->font().underline());
            QCOMPARE(mail->palette().color(QPalette::WindowText), QColor(0, 0, 255));
            QCOMPARE(mail->cursor().shape(), Qt::BitmapCursor);
            QCOMPARE(mail->cursor().hotSpot(), QPoint(5, 0));
            QTest::mouseClick(mail, Qt::LeftButton);
            QTest::mouseClick(home, Qt::LeftButton);
            QCOMPARE(host.shell.size(), 2);
            QCOMPARE(host.shell.at(0).verb, QStringLiteral("open"));
            QCOMPARE(host.shell.at(0).target, QStringLiteral("mailto:") + bar->Mailbox());
            QCOMPARE(host.shell.at(0).parent, dialog);
            QCOMPARE(host.shell.at(1).target, bar->Homepage());
            QCOMPARE(host.shell.at(1).parent, dialog);
        };
        QCOMPARE(bar->About(), QVariant());
        QVERIFY(!bar->takeError());
        QCOMPARE(host.modals.size(), 1);
    }

    void okClosesAndUnloadsTheBox()
    {
        QPointer<QDialog> first;
        ModalRunner::Handler recorder = ModalRunner::setHandler([&](QDialog *dialog) {
            first = dialog;
            QTimer::singleShot(0, dialog, [dialog] {
                QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
            });
            return dialog->exec();
        });
        bar->About();
        ModalRunner::setHandler(recorder);
        QVERIFY(!bar->takeError());
        QVERIFY(!first);
    }

    void aboutWhileTheBoxIsOpenFails()
    {
        int nested = 0;
        host.onModal = [&](QDialog *) {
            bar->About();
            const auto error = bar->takeError();
            nested = error ? error->number() : 0;
            // A new bar shown meanwhile skips its box and still counts it as shown.
            auto *fresh = new Schedule(window);
            fresh->show();
            QVERIFY(fresh->aboutShown());
            delete fresh;
        };
        bar->About();
        QCOMPARE(nested, 400);
        QCOMPARE(host.modals.size(), 1);
        host.onModal = nullptr;
        bar->About(); // the box can be shown again afterwards
        QVERIFY(!bar->takeError());
        QCOMPARE(host.modals.size(), 2);
    }

    void shellRequests()
    {
        QCOMPARE(bar->WriteLetter(), QVariant());
        QCOMPARE(bar->VisitHomepage(), QVariant());
        QCOMPARE(host.shell.size(), 2);
        QCOMPARE(host.shell.at(0).verb, QStringLiteral("open"));
        QCOMPARE(host.shell.at(0).target, QStringLiteral("mailto:") + bar->Mailbox());
        QCOMPARE(host.shell.at(0).parent, bar);
        QCOMPARE(host.shell.at(1).target, bar->Homepage());
        QVERIFY(!bar->takeError());
        // A shell that cannot take the request is not an error.
        Shell::Handler recorder = Shell::setHandler([](const QString &, const QString &, QWidget *) { return false; });
        bar->VisitHomepage();
        Shell::setHandler(recorder);
        QVERIFY(!bar->takeError());
    }

    void windowHandleIsTheNativeWindowOfTheBar()
    {
        QCOMPARE(quint32(bar->hwnd()), quint32(window->winId()));
        QVERIFY(!bar->testAttribute(Qt::WA_NativeWindow));
    }
};

const QPoint ScheduleInput::BarAt(10, 10);

QTEST_MAIN(ScheduleInput)
#include "tst_scheduleinput.moc"
