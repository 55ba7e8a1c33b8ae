#include "FrmAbout.h"

#include "AuthorInfo.h"
#include "ControlBase.h"
#include "LinkLabel.h"
#include "ModalRunner.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>

static constexpr auto px = &ControlBase::twipsToPixels;

static QPointer<FrmAbout> &current()
{
    static QPointer<FrmAbout> box;
    return box;
}

static QFont formFont()
{
    QFont font;
    // 宋体 where the desktop has it, else the nearest the font matcher finds.
    font.setFamilies({AuthorInfo::formFontFamily(), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("WenQuanYi Zen Hei")});
    font.setPointSizeF(10.5);
    return font;
}

static QFont titleFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("幼圆"), QStringLiteral("YouYuan"),
                      QStringLiteral("WenQuanYi Zen Hei")});
    font.setPointSize(15);
    font.setBold(true);
    return font;
}

int FrmAbout::showModal(QWidget *owner, const QString &componentTitle)
{
    if (FrmAbout *shown = current()) {
        // Only one box at a time: a second request retitles it.
        shown->setComponentTitle(componentTitle);
        shown->raise();
        return QDialog::Rejected;
    }
    FrmAbout box(owner);
    box.setComponentTitle(componentTitle);
    box.setWindowModality(Qt::ApplicationModal);
    return ModalRunner::exec(&box);
}

FrmAbout *FrmAbout::instance()
{
    return current();
}

FrmAbout::FrmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    current() = this;
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(AuthorInfo::aboutTitle());
    setFont(formFont());
    setFixedSize(px(4815), px(2865));
    setSizeGripEnabled(false);

    m_title = addLabel("Label1", QStringLiteral("Zu下载控件 HTTP协议版"), 570, 120, 3675, 300);
    m_title->setFont(titleFont());

    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setLineWidth(1);
    line->setGeometry(px(60), px(600) - 1, px(4755) - px(60), 2 + px(615) - px(600));

    addLabel("Label3", QStringLiteral("版本：1.0.0"), 120, 840, 1155, 210);

    auto *image = addLabel("Image1", QString(), 1560, 840, 705, 585);
    image->setPixmap(productPicture());

    addLabel("Label2", QStringLiteral("作者：") + AuthorInfo::name(), 120, 1200, 1260, 210);
    addLabel("Label4", QStringLiteral("信箱："), 120, 1560, 630, 210);
    auto *mail = addLink("Label5", AuthorInfo::mail(), 720, 1560, 1995, 210);
    connect(mail, &LinkLabel::clicked, this, [this] { AuthorInfo::writeLetter(this); });
    addLabel("Label6", QStringLiteral("主页："), 120, 1920, 630, 210);
    auto *homePage = addLink("Label7", AuthorInfo::homePage(), 720, 1920, 2625, 210);
    connect(homePage, &LinkLabel::clicked, this, [this] { AuthorInfo::visitHomePage(this); });

    m_ok = new QPushButton(AuthorInfo::okText(), this);
    m_ok->setObjectName(QStringLiteral("Command1"));
    m_ok->setGeometry(px(1320), px(2400), px(2175), px(375));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

FrmAbout::~FrmAbout()
{
    if (current() == this)
        current() = nullptr;
}

void FrmAbout::setComponentTitle(const QString &title)
{
    m_title->setText(title);
}

static void place(QLabel *label, const char *name, int left, int top, int width, int height)
{
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(px(left), px(top), px(width), px(height));
    label->setTextFormat(Qt::PlainText);
}

QLabel *FrmAbout::addLabel(const char *name, const QString &text, int left, int top, int width,
                           int height)
{
    auto *label = new QLabel(text, this);
    place(label, name, left, top, width, height);
    return label;
}

LinkLabel *FrmAbout::addLink(const char *name, const QString &text, int left, int top, int width,
                             int height)
{
    auto *label = new LinkLabel(text, this);
    place(label, name, left, top, width, height);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

QPixmap FrmAbout::productPicture()
{
    QPixmap picture(47, 39);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    // A globe with a download arrow in front of it.
    QRadialGradient sea(QPointF(15, 14), 22);
    sea.setColorAt(0, QColor(120, 190, 255));
    sea.setColorAt(1, QColor(20, 70, 170));
    painter.setPen(QPen(QColor(10, 40, 110), 1));
    painter.setBrush(sea);
    painter.drawEllipse(QRectF(2.5, 2.5, 33, 33));
    painter.setPen(QPen(QColor(230, 240, 255, 170), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(11, 2.5, 16, 33));
    painter.drawLine(QPointF(3, 19), QPointF(35, 19));
    painter.drawLine(QPointF(6, 10.5), QPointF(32, 10.5));
    painter.drawLine(QPointF(6, 27.5), QPointF(32, 27.5));

    QPainterPath arrow;
    arrow.moveTo(34, 8);
    arrow.lineTo(41, 8);
    arrow.lineTo(41, 22);
    arrow.lineTo(46, 22);
    arrow.lineTo(37.5, 34);
    arrow.lineTo(29, 22);
    arrow.lineTo(34, 22);
    arrow.closeSubpath();
    QLinearGradient green(QPointF(30, 8), QPointF(46, 34));
    green.setColorAt(0, QColor(140, 230, 90));
    green.setColorAt(1, QColor(20, 130, 30));
    painter.setPen(QPen(QColor(10, 80, 20), 1));
    painter.setBrush(green);
    painter.drawPath(arrow);

    painter.setPen(QPen(QColor(90, 90, 90), 2));
    painter.drawLine(QPointF(27, 37.5), QPointF(46, 37.5));
    return picture;
}
