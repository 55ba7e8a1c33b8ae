#include "TestControl.h"

#include "MessageLoop.h"
#include "PropertyBag.h"
#include "Shell.h"
#include "SystemError.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// The blue right half; forwards presses in its own coordinates, as a pane does.
class Pane : public QWidget
{
public:
    Pane(TestControl *owner)
        : QWidget(owner)
    {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::blue);
        setPalette(p);
    }

protected:
    void mousePressEvent(QMouseEvent *event) override { event->ignore(); }
};
}

TestControl::TestControl(QWidget *parent)
    : ControlBase(parent)
    , m_font(ambientFont())
    , m_pane(new Pane(this))
{
    setSizeTwips(600, 450);
    setFocusPolicy(Qt::StrongFocus);
}

void TestControl::setCaption(const QString &value)
{
    m_caption = value;
    Q_EMIT propertyChanged(QStringLiteral("Caption"));
}

void TestControl::setAuthor(const QString &)
{
    Q_EMIT propertyChanged(QStringLiteral("作者"));
}

QVariant TestControl::Fail(qint32 Number, const QString &Description)
{
    return guarded([&]() -> QVariant { throw SystemError(Number, Description); });
}

void TestControl::Raise(const QString &Text)
{
    Q_EMIT Said(Text, qint32(Text.size()));
}

void TestControl::Later(qint32 Milliseconds)
{
    QTimer::singleShot(Milliseconds, this, [this] { Q_EMIT Done(); });
}

qint32 TestControl::Spin(qint32 Milliseconds)
{
    qint32 rounds = 0;
    const QDeadlineTimer deadline(Milliseconds);
    while (!deadline.hasExpired()) {
        MessageLoop::yield();
        ++rounds;
    }
    return rounds > 0 ? Milliseconds : 0;
}

QVariant TestControl::About()
{
    QDialog box;
    box.setWindowTitle(QStringLiteral("About TestControl"));
    auto *layout = new QVBoxLayout(&box);
    layout->addWidget(new QLabel(QStringLiteral("测试控件"), &box));
    auto *hidden = new QLabel(QStringLiteral("never shown"), &box);
    hidden->hide();
    layout->addWidget(hidden);
    auto *ok = new QPushButton(QStringLiteral("确定(&T)"), &box);
    layout->addWidget(ok);
    connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    return showModal(&box);
}

QVariant TestControl::WriteLetter()
{
    Shell::execute(QStringLiteral("open"), QStringLiteral("mailto:tolvar@example.org"), this);
    return QVariant();
}

void TestControl::readProperties(PropertyBag &bag)
{
    m_aboutShown = true;
    m_caption = bag.ReadProperty(QStringLiteral("Caption"), QString()).toString();
    m_count = qint16(bag.ReadProperty(QStringLiteral("Count"), 0).toInt());
    m_ratio = bag.ReadProperty(QStringLiteral("Ratio"), 0.0).toDouble();
    m_flag = bag.ReadProperty(QStringLiteral("Flag"), false).toBool();
    m_anything = bag.ReadProperty(QStringLiteral("Anything"), 100);
    m_font = bag.ReadProperty(QStringLiteral("Font"), ambientFont()).value<QFont>();
    m_picture = bag.ReadProperty(QStringLiteral("BkPicture")).value<Picture>();
}

void TestControl::writeProperties(PropertyBag &bag)
{
    bag.WriteProperty(QStringLiteral("Caption"), m_caption, QString());
    bag.WriteProperty(QStringLiteral("Count"), m_count, 0);
    bag.WriteProperty(QStringLiteral("Ratio"), m_ratio, 0.0);
    bag.WriteProperty(QStringLiteral("Flag"), m_flag, false);
    bag.WriteProperty(QStringLiteral("Anything"), m_anything, 100);
    bag.WriteProperty(QStringLiteral("Font"), m_font, ambientFont());
    bag.WriteProperty(QStringLiteral("BkPicture"), QVariant::fromValue(m_picture));
}

void TestControl::controlShown()
{
    if (!m_aboutShown)
        About();
    m_aboutShown = true;
}

void TestControl::controlResized()
{
    setSizeTwips(600, 450);
    m_pane->setGeometry(width() / 2, 0, width() - width() / 2, height());
}

void TestControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::red);
}

void TestControl::mousePressEvent(QMouseEvent *event)
{
    const QPointF at = event->position();
    Q_EMIT Pressed(qint16(buttonCode(event->button())), qint16(shiftState(event->modifiers())),
                   float(at.x()), float(at.y()));
}

void TestControl::keyPressEvent(QKeyEvent *event)
{
    qint16 code = qint16(virtualKeyCode(event));
    qint16 shift = qint16(shiftState(event->modifiers()));
    Q_EMIT KeyDown(code, shift);
}
