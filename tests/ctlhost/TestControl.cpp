#include "TestControl.h"

#include "ControlLibrary.h"
#include "MessageLoop.h"
#include "PropertyBag.h"
#include "Shell.h"
#include "SystemError.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// The blue right half; passes presses on to the control, as a pane does.
class Pane : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), Qt::blue); }
    void mousePressEvent(QMouseEvent *event) override { event->ignore(); }
};
} // namespace

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

void TestControl::Later(qint32 Milliseconds)
{
    QTimer::singleShot(Milliseconds, this, [this] { Q_EMIT Done(); });
}

qint32 TestControl::Spin(qint32 Milliseconds)
{
    qint32 rounds = 0;
    for (const QDeadlineTimer deadline(Milliseconds); !deadline.hasExpired(); ++rounds)
        MessageLoop::yield();
    return rounds > 0 ? Milliseconds : 0;
}

QVariant TestControl::About()
{
    QDialog box;
    box.setWindowTitle(QStringLiteral("About TestControl"));
    auto *layout = new QVBoxLayout(&box);
    layout->addWidget(new QLabel(QStringLiteral("测试控件")));
    layout->addWidget(new QLabel(QString()));
    auto *hidden = new QLabel(QStringLiteral("never shown"));
    layout->addWidget(hidden);
    hidden->hide();
    auto *ok = new QPushButton(QStringLiteral("确定(&T)"));
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
    if (!std::exchange(m_aboutShown, true))
        About();
}

void TestControl::controlResized()
{
    setSizeTwips(600, 450);
    m_pane->setGeometry(width() / 2, 0, width() - width() / 2, height());
}

void TestControl::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), Qt::red);
}

void TestControl::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT Pressed(qint16(buttonCode(event->button())), qint16(shiftState(event->modifiers())),
                   float(event->position().x()), float(event->position().y()));
}

void TestControl::keyPressEvent(QKeyEvent *event)
{
    qint16 code = qint16(virtualKeyCode(event));
    qint16 shift = qint16(shiftState(event->modifiers()));
    Q_EMIT KeyDown(code, shift);
}

static ControlBase *createTestControl(QWidget *parent)
{
    return new TestControl(parent);
}

extern "C" Q_DECL_EXPORT const ControlClass *SuiteControlClasses(int *count)
{
    static const ControlClass classes[] = {{"TestControl", &TestControl::staticMetaObject, &createTestControl}};
    *count = int(std::size(classes));
    return classes;
}
