#include "AuthorInfo.h"
#include "FrmAbout.h"
#include "ModalRunner.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestFrmAbout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showModal()
    {
        QWidget owner;
        QStringList seen, targets;
        QWidget *parent = nullptr;
        Shell::setHandler([&](const QString &verb, const QString &target, QWidget *) {
            targets << verb + u' ' + target;
            return true;
        });
        ModalRunner::setHandler([&](QDialog *dialog) {
            seen = ModalRunner::texts(dialog);
            parent = dialog->parentWidget();
            // A second request while the box is shown retitles it.
            FrmAbout::showModal(&owner, QStringLiteral("Zu下载控件 FTP协议版"));
            seen.prepend(dialog->findChild<QLabel *>(QStringLiteral("Label1"))->text());
            QTimer::singleShot(0, dialog, [dialog] {
                // Only a left click opens a link.
                for (const char *name : {"Label5", "Label7"}) {
                    auto *label = dialog->findChild<QLabel *>(QLatin1String(name));
                    QTest::mouseClick(label, Qt::RightButton);
                    QTest::mouseClick(label, Qt::LeftButton);
                }
                dialog->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
            });
            return dialog->exec();
        });
        QCOMPARE(FrmAbout::showModal(&owner, QStringLiteral("Zu下载控件 HTTP协议版")), int(QDialog::Accepted));
        Shell::setHandler({});
        ModalRunner::setHandler({});
        QCOMPARE(seen, (QStringList{"Zu下载控件 FTP协议版", "Zu下载控件 HTTP协议版", "版本：1.0.0", "作者：Tolvar",
                                    "信箱：", AuthorInfo::mail(), "主页：", AuthorInfo::homePage(), "确定(&T)"}));
        QCOMPARE(targets, (QStringList{"open mailto:" + AuthorInfo::mail(), "open " + AuthorInfo::homePage()}));
        QCOMPARE(parent, &owner);
        QCOMPARE(FrmAbout::instance(), nullptr);
    }
};

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
