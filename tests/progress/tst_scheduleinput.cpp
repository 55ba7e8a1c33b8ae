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

    void pressAndRelease_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QVariantList>("args"); // empty: no event
        const Qt::KeyboardModifiers none;
        QTest::newRow("empty part, left") << QString() << QPoint(150, 20) << Qt::LeftButton << none
                                          << mouseArgs(1, 0, 148, 18);
        QTest::newRow("fill, left") << QString() << QPoint(50, 20) << Qt::LeftButton << none << mouseArgs(1, 0, 48, 18);
        QTest::newRow("fill, right with shift and ctrl")
                << QString() << QPoint(10, 5) << Qt::RightButton
                << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier) << mouseArgs(2, 3, 8, 3);
        QTest::newRow("empty part, middle with alt") << QString() << QPoint(200, 37) << Qt::MiddleButton
                                                     << Qt::KeyboardModifiers(Qt::AltModifier) << mouseArgs(4, 4, 198, 35);
        // A press on a text label reaches the pane below it.
        const QString wide(30, u'M');
        QTest::newRow("text over the fill") << wide << QPoint(20, 20) << Qt::LeftButton << none << mouseArgs(1, 0, 18, 18);
        QTest::newRow("text over the empty part") << wide << QPoint(160, 20) << Qt::LeftButton << none
                                                  << mouseArgs(1, 0, 158, 18);
        QTest::newRow("other buttons raise nothing") << QString() << QPoint(30, 30) << Qt::BackButton << none
                                                     << QVariantList();
    }
    void pressAndRelease()
    {
        QFETCH(QString, text);
        QFETCH(QPoint, at);
        QFETCH(Qt::MouseButton, button);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QVariantList, args);
        bar->setText(text);
        QSignalSpy downs(bar, &Schedule::MouseDown);
        QSignalSpy ups(bar, &Schedule::MouseUp);
        QTest::mouseMove(window->windowHandle(), BarAt + at);
        QTest::mousePress(window->windowHandle(), button, modifiers, BarAt + at);
        QCOMPARE(downs.size(), args.isEmpty() ? 0 : 1);
        QCOMPARE(ups.size(), 0);
        QTest::mouseRelease(window->windowHandle(), button, modifiers, BarAt + at);
        QCOMPARE(ups.size(), args.isEmpty() ? 0 : 1);
        QCOMPARE(downs.size(), args.isEmpty() ? 0 : 1);
        if (!args.isEmpty()) {
            QCOMPARE(downs.first(), args);
            QCOMPARE(ups.first(), args);
        }
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

    void aboutBoxLayoutLinksAndOk()
    {
        QPointer<QDialog> shown;
        int count = 0;
        ModalRunner::Handler recorder = ModalRunner::setHandler([&](QDialog *dialog) {
            shown = dialog;
            ++count;
            [&] {
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
            }();
            // OK closes and unloads the box.
            QTimer::singleShot(0, dialog, [dialog] {
                QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
            });
            return dialog->exec();
        });
        QCOMPARE(bar->About(), QVariant());
        ModalRunner::setHandler(recorder);
        QVERIFY(!bar->takeError());
        QCOMPARE(host.shell.size(), 2);
        QCOMPARE(count, 1);
        QVERIFY(!shown);
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
