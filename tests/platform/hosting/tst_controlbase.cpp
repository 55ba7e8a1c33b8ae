#include "ControlBase.h"
#include "MessageLoop.h"
#include "ModalRunner.h"
#include "Picture.h"
#include "PropertyBag.h"
#include "Shell.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <stdexcept>

namespace {
// Keeps itself at 900 × 600 twips, as the controls do, and counts notifications.
class FixedControl : public ControlBase
{
    Q_OBJECT
    Q_CLASSINFO("Members", "Value,作者,About")
    Q_CLASSINFO("Events", "Change")
    Q_CLASSINFO("Aliases", "作者=Author, 信箱=Mailbox")
    Q_PROPERTY(int Value READ Value WRITE setValue)
    Q_PROPERTY(QString Author READ Author)

public:
    using ControlBase::ControlBase;
    int Value() const { return 0; }
    void setValue(int) {}
    QString Author() const { return QStringLiteral("Tolvar"); }
    Q_INVOKABLE void About() {}

    void failWith(int number)
    {
        guarded([&] { throw SystemError(number, QStringLiteral("because")); });
    }
    int failOther()
    {
        return guarded([]() -> int { throw std::runtime_error("broken"); });
    }
    void errorBox(const QString &text) { showErrorBox(text); }
    int modal(QDialog *dialog) { return showModal(dialog); }

    int resized = 0;
    int shown = 0;
    int read = 0;
    QStringList order;

Q_SIGNALS:
    void Change();

protected:
    void controlResized() override
    {
        ++resized;
        order.append(QStringLiteral("Resize"));
        setSizeTwips(900, 600);
    }
    void controlShown() override
    {
        ++shown;
        order.append(QStringLiteral("Show"));
    }
    void readProperties(PropertyBag &bag) override
    {
        ++read;
        bag.ReadProperty(QStringLiteral("Value"), 0);
        throw SystemError(380);
    }
};

// Declares nothing: hosts take its own members in declaration order.
class PlainControl : public ControlBase
{
    Q_OBJECT
    Q_PROPERTY(int Max READ Max)
    Q_PROPERTY(int Value READ Value)

public:
    using ControlBase::ControlBase;
    int Max() const { return 100; }
    int Value() const { return 0; }
    Q_INVOKABLE void Refresh() {}

Q_SIGNALS:
    void KeyUp(qint16 KeyCode, qint16 Shift);
    void MouseDown(qint16 Button);
};
} // namespace

class TestControlBase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void aliasesMapHostNames();
    void declaredMembersAndEvents();
    void undeclaredMembersInDeclarationOrder();
    void hostResizeNotifiesOnce_data();
    void hostResizeNotifiesOnce();
    void showNotifiesEachShow();
    void guardedKeepsTheFailure();
    void notificationsKeepTheirFailures();
    void errorBoxGoesThroughModalRunner();
    void modalIsOwnedByControl();
    void modalTextsSkipHiddenWidgets();
    void virtualKeys_data();
    void virtualKeys();
    void shellHandlerTakesRequests();
    void yieldRunsPostedWork();
    void pictureFailures();
};

void TestControlBase::cleanup()
{
    ModalRunner::setHandler({});
    Shell::setHandler({});
}

void TestControlBase::aliasesMapHostNames()
{
    const QMetaObject *meta = &FixedControl::staticMetaObject;
    QCOMPARE(ControlBase::memberForHostName(meta, QString::fromUtf8("作者")), QByteArray("Author"));
    QCOMPARE(ControlBase::memberForHostName(meta, QString::fromUtf8("信箱")), QByteArray("Mailbox"));
    QCOMPARE(ControlBase::memberForHostName(meta, QStringLiteral("Value")), QByteArray("Value"));
    QCOMPARE(ControlBase::hostNameForMember(meta, "Author"), QString::fromUtf8("作者"));
    QCOMPARE(ControlBase::hostNameForMember(meta, "Value"), QStringLiteral("Value"));
}

void TestControlBase::declaredMembersAndEvents()
{
    QCOMPARE(ControlBase::members(&FixedControl::staticMetaObject),
             QStringList({"Value", QString::fromUtf8("作者"), "About"}));
    QCOMPARE(ControlBase::events(&FixedControl::staticMetaObject), QStringList({"Change"}));
}

void TestControlBase::undeclaredMembersInDeclarationOrder()
{
    QCOMPARE(ControlBase::members(&PlainControl::staticMetaObject), QStringList({"Max", "Value", "Refresh"}));
    QCOMPARE(ControlBase::events(&PlainControl::staticMetaObject), QStringList({"KeyUp", "MouseDown"}));
}

void TestControlBase::hostResizeNotifiesOnce_data()
{
    QTest::addColumn<bool>("visible");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    QTest::newRow("hidden, other size") << false << 3000 << 3000;
    QTest::newRow("hidden, same size") << false << 900 << 600;
    QTest::newRow("visible, other size") << true << 3000 << 1500;
    QTest::newRow("visible, same size") << true << 900 << 600;
    QTest::newRow("visible, uneven twips") << true << 907 << 611;
}

void TestControlBase::hostResizeNotifiesOnce()
{
    QFETCH(bool, visible);
    QFETCH(int, width);
    QFETCH(int, height);
    QWidget window;
    FixedControl control(&window);
    control.hostResize(900, 600);
    if (visible) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    control.resized = 0;
    control.hostResize(width, height);
    QCOMPARE(control.resized, 1);
    QCOMPARE(control.sizeTwips(), QSize(900, 600));
    QCOMPARE(control.size(), QSize(60, 40));
}

void TestControlBase::showNotifiesEachShow()
{
    QWidget window;
    FixedControl control(&window);
    control.hostResize(1500, 1500);
    control.order.clear();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(control.shown, 1);
    // The pending resize reaches the control before it is shown.
    QCOMPARE(control.order.first(), QStringLiteral("Resize"));
    QCOMPARE(control.order.last(), QStringLiteral("Show"));
    control.hide();
    control.show();
    QCOMPARE(control.shown, 2);
}

void TestControlBase::guardedKeepsTheFailure()
{
    FixedControl control;
    QVERIFY(!control.takeError());
    control.failWith(380);
    const std::optional<SystemError> error = control.takeError();
    QVERIFY(error);
    QCOMPARE(error->number(), 380);
    QCOMPARE(error->description(), QStringLiteral("because"));
    QVERIFY(!control.takeError());

    QCOMPARE(control.failOther(), 0);
    const std::optional<SystemError> other = control.takeError();
    QVERIFY(other);
    QCOMPARE(other->number(), 51);
    QCOMPARE(other->description(), QStringLiteral("broken"));
}

void TestControlBase::notificationsKeepTheirFailures()
{
    FixedControl control;
    PropertyBag bag;
    control.hostReadProperties(bag);
    QCOMPARE(control.read, 1);
    QCOMPARE(bag.reads().size(), 1);
    const std::optional<SystemError> error = control.takeError();
    QVERIFY(error);
    QCOMPARE(error->number(), 380);
    QCOMPARE(error->description(), QStringLiteral("Invalid property value"));
}

void TestControlBase::errorBoxGoesThroughModalRunner()
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QAbstractButton *> buttons;
    ModalRunner::setHandler([&](QDialog *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (!box)
            return -1;
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->buttons();
        return int(QMessageBox::Ok);
    });
    FixedControl control;
    control.errorBox(QStringLiteral("Invalid property value"));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(text, QStringLiteral("Invalid property value"));
    QCOMPARE(title, QStringLiteral("FixedControl"));
    QCOMPARE(buttons.size(), 1);
}

void TestControlBase::modalIsOwnedByControl()
{
    QWidget *owner = nullptr;
    bool modal = false;
    ModalRunner::setHandler([&](QDialog *dialog) {
        owner = dialog->parentWidget();
        modal = dialog->isModal() || dialog->windowModality() != Qt::NonModal;
        return 7;
    });
    FixedControl control;
    QDialog dialog;
    QCOMPARE(control.modal(&dialog), 7);
    QCOMPARE(owner, &control);
    QVERIFY(modal);
    QVERIFY(dialog.isWindow());
}

void TestControlBase::modalTextsSkipHiddenWidgets()
{
    QDialog dialog;
    auto *title = new QLabel(QString::fromUtf8("进度条控件"), &dialog);
    auto *hidden = new QLabel(QStringLiteral("hidden"), &dialog);
    hidden->hide();
    new QLabel(QString(), &dialog);
    auto *button = new QPushButton(QString::fromUtf8("确定(&T)"), &dialog);
    Q_UNUSED(title);
    Q_UNUSED(button);
    QCOMPARE(ModalRunner::texts(&dialog), QStringList({QString::fromUtf8("进度条控件"), QString::fromUtf8("确定(&T)")}));
}

void TestControlBase::virtualKeys_data()
{
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<bool>("keypad");
    QTest::addColumn<int>("virtualKey");

    QTest::newRow("A") << int(Qt::Key_A) << false << 65;
    QTest::newRow("7") << int(Qt::Key_7) << false << 55;
    QTest::newRow("keypad 5") << int(Qt::Key_5) << true << 0x65;
    QTest::newRow("F1") << int(Qt::Key_F1) << false << 0x70;
    QTest::newRow("F12") << int(Qt::Key_F12) << false << 0x7B;
    QTest::newRow("Return") << int(Qt::Key_Return) << false << 13;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << false << 27;
    QTest::newRow("Left") << int(Qt::Key_Left) << false << 37;
    QTest::newRow("Delete") << int(Qt::Key_Delete) << false << 46;
    QTest::newRow("minus") << int(Qt::Key_Minus) << false << 0xBD;
    QTest::newRow("keypad minus") << int(Qt::Key_Minus) << true << 0x6D;
    QTest::newRow("Shift") << int(Qt::Key_Shift) << false << 16;
}

void TestControlBase::virtualKeys()
{
    QFETCH(int, qtKey);
    QFETCH(bool, keypad);
    QFETCH(int, virtualKey);
    const QKeyEvent event(QEvent::KeyPress, qtKey, keypad ? Qt::KeypadModifier : Qt::NoModifier);
    QCOMPARE(ControlBase::virtualKeyCode(&event), virtualKey);
    QCOMPARE(ControlBase::qtKeyForVirtualKey(virtualKey), qtKey);
}

void TestControlBase::shellHandlerTakesRequests()
{
    QStringList requests;
    Shell::setHandler([&](const QString &verb, const QString &target, QWidget *) {
        requests.append(verb + QLatin1Char(' ') + target);
        return true;
    });
    QVERIFY(Shell::execute(QStringLiteral("open"), QStringLiteral("mailto:a@b.c")));
    QCOMPARE(requests, QStringList({"open mailto:a@b.c"}));
}

void TestControlBase::yieldRunsPostedWork()
{
    int ran = 0;
    QTimer::singleShot(0, this, [&] { ++ran; });
    QMetaObject::invokeMethod(this, [&] { ++ran; }, Qt::QueuedConnection);
    MessageLoop::yield();
    QCOMPARE(ran, 2);
}

void TestControlBase::pictureFailures()
{
    QTemporaryDir dir;
    try {
        Picture::load(dir.filePath(QStringLiteral("missing.png")));
        QFAIL("no error");
    } catch (const SystemError &error) {
        QCOMPARE(error.number(), 53);
    }
    const QString notPicture = dir.filePath(QStringLiteral("text.png"));
    QFile file(notPicture);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    try {
        Picture::load(notPicture);
        QFAIL("no error");
    } catch (const SystemError &error) {
        QCOMPARE(error.number(), 481);
    }
}

QTEST_MAIN(TestControlBase)
#include "tst_controlbase.moc"
