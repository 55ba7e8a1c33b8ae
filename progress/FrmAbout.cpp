#include "FrmAbout.h"

#include "AuthorInfo.h"
#include "ControlBase.h"
#include "LinkLabel.h"
#include "ModalRunner.h"
#include "SystemError.h"

#include <QBitmap>
#include <QCursor>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

namespace ScheduleControl {

namespace {

constexpr auto px = &ControlBase::twipsToPixels;

// The two-colour pointing hand of the link labels; hot spot at the finger tip (5, 0).
QCursor linkCursor()
{
    static const char *const rows[] = {
        "     XX",
        "    X..X",
        "    X..X",
        "    X..X",
        "    X..X",
        "    X..XXX",
        "    X..X..XXX",
        "    X..X..X..XX",
        "    X..X..X..X.X",
        "XX  X..X..X..X..X",
        "X..XX........X..X",
        "X...X...........X",
        " X..............X",
        "  X.............X",
        "  X............X",
        "   X...........X",
        "   X..........X",
        "    X.........X",
        "    X.........X",
        "    XXXXXXXXXXX",
    };
    QImage shape(32, 32, QImage::Format_MonoLSB);
    QImage mask(32, 32, QImage::Format_MonoLSB);
    shape.fill(0);
    mask.fill(0);
    for (int y = 0; y < int(std::size(rows)); ++y) {
        for (int x = 0; rows[y][x]; ++x) {
            const char c = rows[y][x];
            if (c == ' ')
                continue;
            mask.setPixel(x, y, 1);
            shape.setPixel(x, y, c == 'X' ? 1 : 0);
        }
    }
    return QCursor(QBitmap::fromImage(shape), QBitmap::fromImage(mask), 5, 0);
}

QLabel *addLabel(QWidget *parent, const QString &name, const QString &text, int left, int top)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(px(left), px(top));
    label->adjustSize();
    return label;
}

LinkLabel *addLink(QWidget *parent, const QString &name, const QString &text, int left, int top)
{
    auto *label = new LinkLabel(text, parent);
    label->setObjectName(name);
    QFont font(AuthorInfo::formFontFamily());
    font.setPointSizeF(9);
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(palette);
    label->setCursor(linkCursor());
    label->move(px(left), px(top));
    label->adjustSize();
    return label;
}

QPointer<FrmAbout> &instance()
{
    static QPointer<FrmAbout> box;
    return box;
}

bool &running()
{
    static bool flag = false;
    return flag;
}

} // namespace

int FrmAbout::showModal()
{
    if (running())
        throw SystemError(SystemError::FormAlreadyShown);
    if (!instance())
        instance() = new FrmAbout;
    QPointer<FrmAbout> box = instance();
    running() = true;
    const int result = ModalRunner::exec(box);
    running() = false;
    // Closing unloads the box; the next use creates it anew.
    delete box.data();
    return result;
}

FrmAbout::FrmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(AuthorInfo::aboutTitle());
    setWindowIcon(QIcon());
    setWindowModality(Qt::ApplicationModal);
    QFont formFont(AuthorInfo::formFontFamily());
    formFont.setPointSizeF(9);
    setFont(formFont);
    setFixedSize(px(3510), px(1950));

    auto *title = new QLabel(QStringLiteral("进度条控件"), this);
    title->setObjectName(QStringLiteral("Label1"));
    QFont titleFont(AuthorInfo::formFontFamily());
    titleFont.setPointSizeF(10.5);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    title->setGeometry(px(120), px(120), px(3255), px(375));

    addLabel(this, QStringLiteral("Label2"), QStringLiteral("版  本:1.0"), 120, 480);
    addLabel(this, QStringLiteral("Label3"), QStringLiteral("作  者:") + AuthorInfo::name(), 120, 720);
    addLabel(this, QStringLiteral("Label4"), QStringLiteral("E-mail:"), 120, 960);
    connect(addLink(this, QStringLiteral("Label5"), AuthorInfo::mail(), 840, 960), &LinkLabel::clicked,
            this, [this] { AuthorInfo::writeLetter(this); });
    addLabel(this, QStringLiteral("Label6"), QStringLiteral("主  页:"), 120, 1200);
    connect(addLink(this, QStringLiteral("Label7"), AuthorInfo::homePage(), 840, 1200), &LinkLabel::clicked,
            this, [this] { AuthorInfo::visitHomePage(this); });

    auto *ok = new QPushButton(AuthorInfo::okText(), this);
    ok->setObjectName(QStringLiteral("Command1"));
    ok->setAutoDefault(false);
    ok->setGeometry(px(1208), px(1560), px(1095), px(300));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    // Centred across the window when it loads.
    ok->move((width() - ok->width()) / 2, ok->y());
}

void FrmAbout::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawLine(px(120), px(360), px(3360), px(360));
}

} // namespace ScheduleControl
