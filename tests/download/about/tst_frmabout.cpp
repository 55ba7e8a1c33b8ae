#include "FrmAbout.h"
#include "ModalRunner.h"
#include "Shell.h"
#include "ZuAuthor.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestFrmAbout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void fixedClientArea();
    void controls_data();
    void controls();
    void linksLookLikeLinks();
    void linkClicksGoToTheShell_data();
    void linkClicksGoToTheShell();
    void okButtonCloses();
    void showModalTitlesAndUnloads();
    void productPicture();

private:
    QList<std::pair<QString, QString>> m_shell;
};

void TestFrmAbout::init()
{
    m_shell.clear();
    Shell::setHandler([this](const QString &verb, const QString &target, QWidget *) {
        m_shell.append({verb, target});
        return true;
    });
}

void TestFrmAbout::cleanup()
{
    Shell::setHandler({});
    ModalRunner::setHandler({});
}

void TestFrmAbout::fixedClientArea()
{
    FrmAbout box;
    QCOMPARE(box.size(), QSize(4815 / 15, 2865 / 15));
    QCOMPARE(box.minimumSize(), box.maximumSize());
    QVERIFY(!(box.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(box.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(box.font().pointSizeF(), 10.5);
    QVERIFY(box.font().families().contains(QStringLiteral("宋体")));
}

void TestFrmAbout::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Label1") << "Label1" << "Zu下载控件 HTTP协议版" << QRect(570, 120, 3675, 300);
    QTest::newRow("Label3") << "Label3" << "版本：1.0.0" << QRect(120, 840, 1155, 210);
    QTest::newRow("Image1") << "Image1" << "" << QRect(1560, 840, 705, 585);
    QTest::newRow("Label2") << "Label2" << "作者：Tolvar" << QRect(120, 1200, 1260, 210);
    QTest::newRow("Label4") << "Label4" << "信箱：" << QRect(120, 1560, 630, 210);
    QTest::newRow("Label5") << "Label5" << ZuAuthor::email() << QRect(720, 1560, 1995, 210);
    QTest::newRow("Label6") << "Label6" << "主页：" << QRect(120, 1920, 630, 210);
    QTest::newRow("Label7") << "Label7" << ZuAuthor::homePage() << QRect(720, 1920, 2625, 210);
}

void TestFrmAbout::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QRect, twips);
    FrmAbout box;
    auto *label = box.findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->geometry(), QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15,
                                      twips.height() / 15));
}

void TestFrmAbout::linksLookLikeLinks()
{
    FrmAbout box;
    for (const char *name : {"Label5", "Label7"}) {
        auto *label = box.findChild<QLabel *>(QString::fromLatin1(name));
        QVERIFY(label);
        QVERIFY(label->font().underline());
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::blue));
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
    }
    auto *title = box.findChild<QLabel *>(QStringLiteral("Label1"));
    QVERIFY(title->font().bold());
    QCOMPARE(title->font().pointSize(), 15);
    QVERIFY(title->font().families().contains(QStringLiteral("幼圆")));
    auto *line = box.findChild<QFrame *>(QStringLiteral("Line1"));
    QVERIFY(line);
    QCOMPARE(line->frameShape(), QFrame::HLine);
    auto *ok = box.findChild<QPushButton *>(QStringLiteral("Command1"));
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("确定(&T)"));
    QCOMPARE(ok->geometry(), QRect(1320 / 15, 2400 / 15, 2175 / 15, 375 / 15));
}

void TestFrmAbout::linkClicksGoToTheShell_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("target");
    QTest::newRow("mail") << "Label5" << QStringLiteral("mailto:") + ZuAuthor::email();
    QTest::newRow("home page") << "Label7" << ZuAuthor::homePage();
}

void TestFrmAbout::linkClicksGoToTheShell()
{
    QFETCH(QString, label);
    QFETCH(QString, target);
    FrmAbout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.findChild<QLabel *>(label), Qt::LeftButton);
    QCOMPARE(m_shell.size(), 1);
    QCOMPARE(m_shell.first().first, QStringLiteral("open"));
    QCOMPARE(m_shell.first().second, target);
    QTest::mouseClick(box.findChild<QLabel *>(label), Qt::RightButton);
    QCOMPARE(m_shell.size(), 1);
}

void TestFrmAbout::okButtonCloses()
{
    FrmAbout box;
    QSignalSpy accepted(&box, &QDialog::accepted);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    auto *ok = box.findChild<QPushButton *>(QStringLiteral("Command1"));
    QCOMPARE(ok->shortcut(), QKeySequence(Qt::ALT | Qt::Key_T));
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(accepted.size(), 1);
    QVERIFY(!box.isVisible());
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

void TestFrmAbout::productPicture()
{
    const QPixmap picture = FrmAbout::productPicture();
    QCOMPARE(picture.size(), QSize(47, 39));
    QVERIFY(!picture.toImage().allGray());
}

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
