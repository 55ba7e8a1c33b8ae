#include "ControlBase.h"
#include "InputCodes.h"
#include "ModalRunner.h"
#include "Picture.h"
#include "PropertyBag.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {
// Keeps itself at 905 × 610 twips (60 × 40 pixels), as the controls do, and records its
// notifications. Declares no member list: hosts take its members in
// declaration order.
class FixedControl : public ControlBase
{
    Q_OBJECT
    Q_CLASSINFO("Aliases", "作者=Author, 信箱=Mailbox")
    Q_PROPERTY(int Max READ Max)
    Q_PROPERTY(QString Author READ Author)

public:
    using ControlBase::ControlBase;
    int Max() const { return 100; }
    QString Author() const { return QString(); }
    Q_INVOKABLE void Refresh() {}

    int failOther() { return guarded([]() -> int { throw std::runtime_error("broken"); }); }
    bool errorBox(const QString &text) { return showErrorBox(text); }
    int modal(QDialog *dialog) { return showModal(dialog); }

    QStringList notices;

Q_SIGNALS:
    void KeyUp(qint16 KeyCode, qint16 Shift);
    void MouseDown(qint16 Button);

protected:
    void controlResized() override
    {
        notices.append(u"Resize"_s);
        setSizeTwips(905, 610);
    }
    void controlShown() override { notices.append(u"Show"_s); }
    void readProperties(PropertyBag &bag) override
    {
        bag.ReadProperty(u"Value"_s, 0);
        throw SystemError(380);
    }
};
} // namespace

class TestHosting : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_picture;

    // A data function uses it too, and -datatags runs those without initTestCase().
    const QString &pictureFile()
    {
        if (m_picture.isEmpty()) {
            QImage image(2, 2, QImage::Format_RGB32);
            image.fill(Qt::yellow);
            if (image.save(m_dir.filePath(u"p.png"_s)))
                m_picture = m_dir.filePath(u"p.png"_s);
        }
        return m_picture;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(!pictureFile().isEmpty());
    }

    void cleanup() { ModalRunner::setHandler({}); }

    void membersAndHostNames()
    {
        const QMetaObject *meta = &FixedControl::staticMetaObject;
        QCOMPARE(ControlBase::memberForHostName(meta, u"信箱"_s), QByteArray("Mailbox"));
        QCOMPARE(ControlBase::hostNameForMember(meta, "Mailbox"), u"信箱"_s);
        QCOMPARE(ControlBase::members(meta), QStringList({"Max", "作者", "Refresh"}));
        QCOMPARE(ControlBase::events(meta), QStringList({"KeyUp", "MouseDown"}));
    }

    void hostResizeNotifiesOnce_data()
    {
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QSize>("twips");
        QTest::newRow("hidden, other size") << false << QSize(3000, 3000);
        QTest::newRow("hidden, same size") << false << QSize(905, 610);
        QTest::newRow("visible, other size") << true << QSize(3000, 1500);
        QTest::newRow("visible, same size") << true << QSize(905, 610);
        QTest::newRow("visible, uneven twips") << true << QSize(907, 611);
    }

    void hostResizeNotifiesOnce()
    {
        QFETCH(bool, visible);
        QFETCH(QSize, twips);
        QWidget window;
        FixedControl control(&window);
        control.hostResize(1500, 1500);
        control.notices.clear();
        if (visible) {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            control.hide();
            control.show();
            // The pending resize reaches the control before it is shown; each show notifies.
            QCOMPARE(control.notices, QStringList({"Resize", "Show", "Show"}));
            control.notices.clear();
        }
        control.hostResize(twips.width(), twips.height());
        QCOMPARE(control.notices, QStringList{u"Resize"_s});
        QCOMPARE(control.sizeTwips(), QSize(905, 610));
        QCOMPARE(control.size(), QSize(60, 40));
    }

    void failuresAreKept()
    {
        FixedControl control;
        QVERIFY(!control.takeError());
        QCOMPARE(control.failOther(), 0);
        std::optional<SystemError> error = control.takeError();
        QCOMPARE(error.value_or(SystemError(0)).number(), 51);
        QCOMPARE(error->description(), u"broken"_s);
        QVERIFY(!control.takeError());

        // A host notification keeps its handler's failure, with the standard text.
        PropertyBag bag;
        control.hostReadProperties(bag);
        QCOMPARE(bag.reads().size(), 1);
        error = control.takeError();
        QCOMPARE(error.value_or(SystemError(0)).number(), 380);
        QCOMPARE(error->description(), u"Invalid property value"_s);
    }

    void modalsGoThroughModalRunner()
    {
        FixedControl control;
        QWidget *owner = nullptr;
        bool modal = false;
        QString box;
        ModalRunner::setHandler([&](QDialog *dialog) {
            owner = dialog->parentWidget();
            modal = dialog->windowModality() != Qt::NonModal;
            if (auto *b = qobject_cast<QMessageBox *>(dialog))
                box = u"%1|%2|%3|%4"_s.arg(b->windowTitle(), b->text()).arg(b->icon()).arg(b->buttons().size());
            return 7;
        });
        // The error box: titled after the control, critical icon, one button.
        QVERIFY(control.errorBox(u"Invalid property value"_s));
        QCOMPARE(box, u"FixedControl|Invalid property value|%1|1"_s.arg(QMessageBox::Critical));
        QCOMPARE(owner, &control);

        QDialog dialog;
        QCOMPARE(control.modal(&dialog), 7);
        QCOMPARE(owner, &control);
        QVERIFY(modal);
        QVERIFY(dialog.isWindow());

        // A control destroyed under its own message box takes the box with it.
        QPointer<FixedControl> doomed = new FixedControl;
        ModalRunner::setHandler([&](QDialog *) {
            delete doomed.data();
            return 1;
        });
        QVERIFY(!doomed->errorBox(u"gone"_s));
        QVERIFY(doomed.isNull());
    }

    void virtualKeys_data()
    {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<bool>("keypad");
        QTest::addColumn<int>("virtualKey");
        // A, F1 and Return go through ctlhost's key command; Escape, Delete and Shift through the
        // progress bar's key events.
        QTest::newRow("7") << int(Qt::Key_7) << false << 55;
        QTest::newRow("keypad 5") << int(Qt::Key_5) << true << 0x65;
        QTest::newRow("F12") << int(Qt::Key_F12) << false << 0x7B;
        QTest::newRow("Left") << int(Qt::Key_Left) << false << 37;
        QTest::newRow("minus") << int(Qt::Key_Minus) << false << 0xBD;
        QTest::newRow("keypad minus") << int(Qt::Key_Minus) << true << 0x6D;
    }

    void virtualKeys()
    {
        QFETCH(int, qtKey);
        QFETCH(bool, keypad);
        QFETCH(int, virtualKey);
        const QKeyEvent event(QEvent::KeyPress, qtKey, keypad ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(InputCodes::keyCode(&event), virtualKey);
        QCOMPARE(InputCodes::qtKey(virtualKey), qtKey);
    }

    // Written only when it differs from its default; loaded back from the file with its type.
    void bagLeavesOutDefaultsAndKeepsTypes_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("defaultValue");
        QTest::addColumn<QVariant>("loaded");
        const QVariant absent(u"absent"_s), none;
        const QFont serif(u"Serif"_s, 9), bold(u"Serif"_s, 9, QFont::Bold);
        QFont font(u"WenQuanYi Zen Hei"_s);
        font.setPointSizeF(10.5);
        font.setBold(true);
        font.setUnderline(true);
        QTest::newRow("equal integers") << QVariant(1) << QVariant(1) << absent;
        QTest::newRow("16-bit against 32-bit") << QVariant::fromValue(qint16(1)) << QVariant(1) << absent;
        QTest::newRow("colour above 31 bits") << QVariant(0x8000000Fu) << QVariant(0x8000000Fu) << absent;
        QTest::newRow("other integer") << QVariant(2) << QVariant(1) << QVariant(2);
        QTest::newRow("text against number") << QVariant(u"100"_s) << QVariant(100) << QVariant(u"100"_s);
        QTest::newRow("number against text") << QVariant(0) << QVariant(u"0"_s) << QVariant(0);
        QTest::newRow("equal texts") << QVariant(u"a"_s) << QVariant(u"a"_s) << absent;
        QTest::newRow("empty text") << QVariant(QString()) << QVariant(u""_s) << absent;
        QTest::newRow("empty text against none") << QVariant(u""_s) << none << QVariant(u""_s);
        QTest::newRow("Chinese text") << QVariant(u"进度条"_s) << none << QVariant(u"进度条"_s);
        QTest::newRow("boolean") << QVariant(true) << QVariant(false) << QVariant(true);
        QTest::newRow("negative 16-bit") << QVariant::fromValue(qint16(-3)) << none << QVariant(-3);
        QTest::newRow("system colour") << QVariant(0x8000000Fu) << none << QVariant(qint64(0x8000000F));
        QTest::newRow("large integer") << QVariant(qint64(1) << 40) << none << QVariant(qint64(1) << 40);
        QTest::newRow("fraction") << QVariant(0.5) << none << QVariant(0.5);
        QTest::newRow("empty against a default") << none << QVariant(0) << none;
        QTest::newRow("same font") << QVariant(serif) << QVariant(serif) << absent;
        QTest::newRow("bold font") << QVariant(bold) << QVariant(serif) << QVariant(bold);
        QTest::newRow("font") << QVariant(font) << none << QVariant(font);
        QTest::newRow("no picture against none") << QVariant::fromValue(Picture()) << none << absent;
        // A picture is kept as the file it came from, and loaded from there again.
        QTest::newRow("picture against none") << QVariant::fromValue(Picture::load(pictureFile())) << none
                                              << QVariant(QFileInfo(pictureFile()).absoluteFilePath());
    }

    void bagLeavesOutDefaultsAndKeepsTypes()
    {
        QFETCH(QVariant, value);
        QFETCH(QVariant, defaultValue);
        QFETCH(QVariant, loaded);
        const QString file = m_dir.filePath(u"bag.json"_s);
        PropertyBag bag;
        bag.WriteProperty(u"Key"_s, value, defaultValue);
        QCOMPARE(bag.writes().size(), 1);
        QVERIFY(bag.save(file));
        QVariant back = PropertyBag::load(file).ReadProperty(u"Key"_s, u"absent"_s);
        if (back.typeId() == qMetaTypeId<Picture>()) {
            QCOMPARE(back.value<Picture>().pixmap().size(), QSize(2, 2));
            back = back.value<Picture>().path();
        }
        QCOMPARE(back.typeId(), loaded.typeId());
        QCOMPARE(back, loaded);
    }

    void badFilesFailClearly_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("named"); // what the error names; %1 the bag, %2 a FIFO
        QTest::newRow("missing") << QByteArray() << 53 << u"%1"_s;
        QTest::newRow("not JSON") << QByteArray("BackColor=5") << 13 << u"%1"_s;
        QTest::newRow("cut short") << QByteArray("{\"Max\": \"10") << 13 << u"%1"_s;
        QTest::newRow("array") << QByteArray("[1, 2]") << 13 << u"%1"_s;
        QTest::newRow("not a picture") << QByteArray("{\"BkPicture\": {\"picture\": \"%1\"}}") << 481 << QString();
        // Reading these as pictures would wait for a writer, or never end.
        QTest::newRow("FIFO as picture") << QByteArray("{\"BkPicture\": {\"picture\": \"%2\"}}") << 75 << u"%2"_s;
        QTest::newRow("device as picture") << QByteArray("{\"MouseIcon\": {\"picture\": \"/dev/zero\"}}") << 75
                                           << u"/dev/zero"_s;
        QTest::newRow("folder as picture") << QByteArray("{\"MouseIcon\": {\"picture\": \"/\"}}") << 75 << u"/"_s;
        // The system would see only the name up to the NUL: a real picture.
        QTest::newRow("NUL inside the name") << QByteArray("{\"MouseIcon\": {\"picture\": \"%3\\u0000.txt\"}}") << 53
                                             << QString();
    }

    void badFilesFailClearly()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, number);
        QFETCH(QString, named);
        const QString file = m_dir.filePath(u"bad-%1.json"_s.arg(QTest::currentDataTag()));
        const QString fifo = m_dir.filePath(u"fifo"_s);
        QVERIFY(QFileInfo(fifo).exists() || mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        if (!content.isEmpty()) {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content.replace("%1", file.toUtf8()).replace("%2", fifo.toUtf8()).replace("%3", pictureFile().toUtf8()));
        }
        try {
            PropertyBag::load(file);
            QFAIL("no error");
        } catch (const SystemError &error) {
            QCOMPARE(error.number(), number);
            named.replace(u"%1"_s, file).replace(u"%2"_s, fifo);
            QVERIFY2(error.description().contains(named), qPrintable(error.description()));
        }
    }
};

QTEST_MAIN(TestHosting)
#include "tst_hosting.moc"
