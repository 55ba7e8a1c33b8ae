#include "Form1.h"

#include "Combiner.h"
#include "CommonDialog.h"
#include "ControlBase.h"
#include "JoinProgressDialog.h"
#include "ModalRunner.h"

#include <QApplication>
#include <QCheckBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>

#include <memory>

namespace {

QString openFilter()
{
    return QStringLiteral("分割模板 Stencil files(*.kvs)|*.kvs|All files 所有文件(*.*)|*.*");
}

QString openTitle()
{
    return QStringLiteral("打开文件 Open file");
}

QString saveFilter()
{
    return QStringLiteral("所有文件 All files(*.*)|*.*");
}

QString saveTitle()
{
    return QStringLiteral("保存文件 Save file");
}

constexpr auto px = &ControlBase::twipsToPixels;

// The form's layout is given in twips.
QRect pixelRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

template<typename T>
T *place(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *w = new T(text, parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

QLineEdit *placeEdit(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *w = new QLineEdit(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;
    p.scale(u, u);
    p.setPen(QPen(QColor(0x20, 0x30, 0x60), size >= 32 ? 0.6 : 1.0));
    // Three strips of a file, the last one sliding into place.
    const QColor fills[] = {QColor(0x4a, 0x90, 0xd9), QColor(0x5c, 0xb8, 0x5c),
                            QColor(0xf0, 0xad, 0x4e)};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(fills[i]);
        const qreal x = i == 2 ? 2.5 : 1.5;
        p.drawRoundedRect(QRectF(x, 1.5 + i * 4.5, 9, 3.8), 0.8, 0.8);
    }
    QPainterPath arrow;
    arrow.moveTo(15, 8);
    arrow.lineTo(11.5, 4.5);
    arrow.lineTo(11.5, 6.8);
    arrow.lineTo(9.5, 6.8);
    arrow.lineTo(9.5, 9.2);
    arrow.lineTo(11.5, 9.2);
    arrow.lineTo(11.5, 11.5);
    arrow.closeSubpath();
    p.setBrush(QColor(0xd9, 0x53, 0x4f));
    p.drawPath(arrow);
    return pixmap;
}

} // namespace

Form1::Form1(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Korvel - Tessal"));
    setWindowIcon(makeIcon());
    QFont small = font();
    small.setPixelSize(12);
    setFont(small);
    setFixedSize(px(5985), px(1635));

    Label1_3 = place<QLabel>(this, "Label1_3", QStringLiteral("模板文件 Stencil files(.kvs):"),
                             pixelRect(120, 120, 2655, 255));
    checkc2 = place<QCheckBox>(this, "checkc2", QStringLiteral("被压缩的?Compressed File?"),
                               pixelRect(2760, 120, 2895, 180));
    txtTemplateName = placeEdit(this, "txtTemplateName", pixelRect(120, 360, 4455, 285));
    Command3 = place<QPushButton>(this, "Command3", QStringLiteral("打开 &Open"),
                                  pixelRect(4560, 360, 1335, 300));
    Label1_2 = place<QLabel>(this, "Label1_2", QStringLiteral("结合后的文件名 Enter the file name:"),
                             pixelRect(120, 720, 3375, 255));
    txtOutputFile = placeEdit(this, "txtOutputFile", pixelRect(120, 960, 4455, 285));
    // The same words as "更改 &Change", but Alt+C stays with "Combine now".
    Command4 = place<QPushButton>(this, "Command4", QStringLiteral("更改 C&hange"),
                                  pixelRect(4560, 960, 1335, 300));
    Command1 = place<QPushButton>(this, "Command1", QStringLiteral("退出 E&xit"),
                                  pixelRect(120, 1320, 975, 255));
    cmdUnsplit = place<QPushButton>(this, "cmdUnsplit", QStringLiteral("现在结合 &Combine now"),
                                    pixelRect(3600, 1320, 2175, 255));
    for (QLabel *label : {Label1_3, Label1_2}) {
        label->setTextFormat(Qt::PlainText);
        label->setFocusPolicy(Qt::NoFocus);
    }
    // Each box is named by the label above it.
    const std::pair<QLabel *, QLineEdit *> named[] = {{Label1_3, txtTemplateName}, {Label1_2, txtOutputFile}};
    for (const auto &[label, box] : named) {
        label->setBuddy(box);
        QString name = label->text();
        if (name.endsWith(u':'))
            name.chop(1);
        box->setAccessibleName(name);
    }
    // Return on a focused button presses it; anywhere else it combines (see keyPressEvent()).
    for (QPushButton *button : {Command3, Command4, Command1, cmdUnsplit})
        button->setAutoDefault(true);
    cmdUnsplit->setDefault(true);
    CommonDialog1 = new CommonDialog(this);
    CommonDialog1->setObjectName(QStringLiteral("CommonDialog1"));

    // Tab order as the tab indices give it; the labels take no focus.
    QWidget::setTabOrder(Command4, Command3);
    QWidget::setTabOrder(Command3, txtTemplateName);
    QWidget::setTabOrder(txtTemplateName, cmdUnsplit);
    QWidget::setTabOrder(cmdUnsplit, txtOutputFile);
    QWidget::setTabOrder(txtOutputFile, Command1);
    QWidget::setTabOrder(Command1, checkc2);
    Command4->setFocus();

    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(cmdUnsplit, &QPushButton::clicked, this, &Form1::cmdUnsplit_Click);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QIcon Form1::makeIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(drawIcon(size));
    return icon;
}

void Form1::pickFile(const QString &filter, const QString &title, void (CommonDialog::*show)(), QLineEdit *box)
{
    CommonDialog1->setFilter(filter);
    CommonDialog1->setDialogTitle(title);
    (CommonDialog1->*show)();
    if (!CommonDialog1->FileName().isEmpty())
        box->setText(CommonDialog1->FileName());
}

void Form1::keyPressEvent(QKeyEvent *event)
{
    // What the boxes and the check box leave of Return goes to the default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && !(event->modifiers() & ~(Qt::KeypadModifier))) {
        cmdUnsplit->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form1::Command3_Click()
{
    pickFile(openFilter(), openTitle(), &CommonDialog::ShowOpen, txtTemplateName);
}

void Form1::Command4_Click()
{
    pickFile(saveFilter(), saveTitle(), &CommonDialog::ShowSave, txtOutputFile);
}

void Form1::Command1_Click()
{
    close();
    QCoreApplication::quit();
}

void Form1::cmdUnsplit_Click()
{
    // Shown once the pieces are checked and the copy begins; gone before any message.
    std::unique_ptr<JoinProgressDialog> progress;
    Combiner combiner([&](const Combiner::Message &message) {
        progress.reset();
        const auto icon = message.icon == Combiner::Icon::Critical ? QMessageBox::Critical
                                                                   : QMessageBox::Information;
        ModalRunner::messageBox(this, icon, message.text, message.title);
    });
    combiner.setExtractProgram(m_extractProgram);
    const auto shown = [&] {
        if (!progress) {
            progress = std::make_unique<JoinProgressDialog>(this);
            progress->show();
            progress->activateWindow();
        }
        return progress.get();
    };
    combiner.setProgress([&](qint64 joined, qint64 total, bool stoppable) {
        return shown()->showProgress(joined, total, stoppable);
    });
    combiner.setExtracting([&] { return shown()->showExtracting(); });
    combiner.combine(txtTemplateName->text(), txtOutputFile->text(), checkc2->isChecked());
}
