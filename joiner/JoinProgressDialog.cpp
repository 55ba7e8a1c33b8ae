#include "JoinProgressDialog.h"

#include "PropertyBag.h"
#include "Schedule.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString titleText()
{
    return QStringLiteral("正在结合 Combining");
}

QString cancelText()
{
    return QStringLiteral("取消 &Cancel");
}

QString extractingText()
{
    return QStringLiteral("正在解压缩 Extracting");
}

QString byteSize(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat);
}

} // namespace

JoinProgressDialog::JoinProgressDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("JoinProgressDialog"));
    setWindowTitle(titleText());
    setWindowModality(Qt::ApplicationModal);
    if (parent)
        setFont(parent->font());

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);

    Schedule1 = new Schedule(this);
    Schedule1->setObjectName(QStringLiteral("Schedule1"));
    // Loaded as a placed bar, so it opens no about box of its own.
    PropertyBag bag;
    bag.setValue(QStringLiteral("Max"), BarMax);
    bag.setValue(QStringLiteral("ShowPercent"), true);
    bag.setValue(QStringLiteral("Doevent"), false);
    bag.setValue(QStringLiteral("Font"), font());
    Schedule1->hostReadProperties(bag);
    Schedule1->setFixedSize(360, 20);
    // A bar that took the focus would swallow Escape, Return and Space meant for Cancel.
    Schedule1->setFocusPolicy(Qt::NoFocus);

    cmdCancel = new QPushButton(cancelText(), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setDefault(true);
    connect(cmdCancel, &QPushButton::clicked, this, &JoinProgressDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Schedule1);
    layout->addWidget(cmdCancel, 0, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    draw(0, 0, true);
    cmdCancel->setFocus();
}

bool JoinProgressDialog::showProgress(qint64 joined, qint64 total, bool stoppable)
{
    draw(joined, total, stoppable);
    QCoreApplication::processEvents();
    return !m_cancelled;
}

bool JoinProgressDialog::showExtracting()
{
    if (Label1->text() != extractingText()) {
        Label1->setText(extractingText());
        Schedule1->setShowPercent(false);
        Schedule1->setValue(0);
    }
    QCoreApplication::processEvents();
    return !m_cancelled;
}

void JoinProgressDialog::draw(qint64 joined, qint64 total, bool stoppable)
{
    const int value = total > 0 ? int(joined * BarMax / total) : 0;
    if (Schedule1->Value() != value)
        Schedule1->setValue(value);
    Label1->setText(QStringLiteral("已结合 Joined %1 of %2").arg(byteSize(joined), byteSize(total)));
    // Writing into an existing output cannot be undone halfway.
    cmdCancel->setEnabled(!m_cancelled && stoppable);
}

void JoinProgressDialog::reject()
{
    if (!cmdCancel->isEnabled())
        return;
    m_cancelled = true;
    cmdCancel->setEnabled(false);
    QDialog::reject();
}
