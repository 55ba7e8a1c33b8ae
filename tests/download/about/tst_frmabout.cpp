#include "FrmAbout.h"
#include "ModalRunner.h"
#include "Shell.h"
#include "ZuAuthor.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestFrmAbout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void looks();
    void controls_data();
    void controls();
    void linkClicksGoToTheShell();
    void showModalTitlesAndUnloads();
};

void TestFrmAbout::cleanup()
{
    Shell::setHandler({});
    ModalRunner::setHandler({});
}

void TestFrmAbout::looks()
{
    FrmAbout box;
    QCOMPARE(box.size(), QSize(4815 / 15, 2865 / 15));
    QCOMPARE(box.minimumSize(), box.maximumSize());
    QVERIFY(!(box.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(box.font().pointSizeF(), 10.5);
    QVERIFY(box.font().families().contains(QStringLiteral("宋体")));
    for (const char *name : {"Label5", "Label7"}) {
        auto *label = box.findChild<QLabel *>(QString::fromLatin1(name));
        QVERIFY(label && label->font().underline());
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::blue));
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
    }
    const QFont title = box.findChild<QLabel *>(QStringLiteral("Label1"))->font();
    QVERIFY(title.bold() && title.pointSize() == 15 && title.families().contains(QStringLiteral("幼圆")));
    QCOMPARE(box.findChild<QFrame *>(QStringLiteral("Line1"))->frameShape(), QFrame::HLine);
    auto *ok = box.findChild<QPushButton *>(QStringLiteral("Command1"));
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("确定(&T)"));
    QCOMPARE(ok->shortcut(), QKeySequence(Qt::ALT | Qt::Key_T));
    QCOMPARE(ok->geometry(), QRect(1320 / 15, 2400 / 15, 2175 / 15, 375 / 15));
    QVERIFY(!FrmAbout::productPicture().toImage().allGray());
    QCOMPARE(FrmAbout::productPicture().size(), QSize(47, 39));
}

void TestFrmAbout::controls_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Label1") << "Zu下载控件 HTTP协议版" << QRect(570, 120, 3675, 300);
    QTest::newRow("Label3") << "版本：1.0.0" << QRect(120, 840, 1155, 210);
    QTest::newRow("Image1") << "" << QRect(1560, 840, 705, 585);
    QTest::newRow("Label2") << "作者：Tolvar" << QRect(120, 1200, 1260, 210);
    QTest::newRow("Label4") << "信箱：" << QRect(120, 1560, 630, 210);
    QTest::newRow("Label5") << ZuAuthor::email() << QRect(720, 1560, 1995, 210);
    QTest::newRow("Label6") << "主页：" << QRect(120, 1920, 630, 210);
    QTest::newRow("Label7") << ZuAuthor::homePage() << QRect(720, 1920, 2625, 210);
}

void TestFrmAbout::controls()
{
    QFETCH(QString, text);
    QFETCH(QRect, twips);
    FrmAbout box;
    auto *label = box.findChild<QLabel *>(QLatin1String(QTest::currentDataTag()));
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->geometry(), QRect(twips.topLeft() / 15, twips.size() / 15));
}

void TestFrmAbout::linkClicksGoToTheShell()
{
    QStringList targets;
    Shell::setHandler([&](const QString &verb, const QString &target, QWidget *) {
        targets << verb + u' ' + target;
        return true;
    });
    FrmAbout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    for (const char *name : {"Label5", "Label7"}) {
        auto *label = box.findChild<QLabel *>(QLatin1String(name));
        QTest::mouseClick(label, Qt::RightButton);
        QTest::mouseClick(label, Qt::LeftButton);
    }
    QCOMPARE(targets, (QStringList{QStringLiteral("open mailto:") + ZuAuthor::email(),
                                   QStringLiteral("open ") + ZuAuthor::homePage()}));
}

void TestFrmAbout::showModalTitlesAndUnloads()
{
    QWidget owner;
    QStringList seen;
    QWidget *parent = nullptr;
    ModalRunner::setHandler([&](QDialog *dialog) {
        seen = ModalRunner::texts(dialog);
        parent = dialog->parentWidget();
        // The box really runs modally: press OK from inside.
        QTimer::singleShot(0, dialog, [dialog] {
            dialog->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        });
        return dialog->exec();
    });
    const int result = FrmAbout::showModal(&owner, QStringLiteral("Zu下载控件 FTP协议版"));
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(seen.contains(QStringLiteral("Zu下载控件 FTP协议版")));
    QVERIFY(seen.contains(QStringLiteral("确定(&T)")));
    QCOMPARE(parent, &owner);
    QCOMPARE(FrmAbout::instance(), nullptr);
}

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
