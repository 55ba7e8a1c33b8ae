// A small control for driving ctlhost: a member of every kind of value, events, an about box at a
// fresh control's first Show, a shell request, saved properties; 600 × 450 twips, red left, blue right.

#include "ControlBase.h"
#include "ControlLibrary.h"
#include "InputCodes.h"
#include "MessageLoop.h"
#include "Picture.h"
#include "PropertyBag.h"
#include "Shell.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

class TestControl : public ControlBase
{
    Q_OBJECT
    Q_CLASSINFO("Aliases", "作者=Author")
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(qint16 Count MEMBER m_count)
    Q_PROPERTY(qint64 Big MEMBER m_big)
    Q_PROPERTY(double Ratio MEMBER m_ratio)
    Q_PROPERTY(bool Flag MEMBER m_flag)
    Q_PROPERTY(uchar Byte MEMBER m_byte)
    Q_PROPERTY(QVariant Anything MEMBER m_anything)
    Q_PROPERTY(Picture BkPicture MEMBER m_picture)
    Q_PROPERTY(QFont Font MEMBER m_font)
    Q_PROPERTY(qint32 Version READ Version)
    Q_PROPERTY(QString Author READ Author WRITE setAuthor)

public:
    explicit TestControl(QWidget *parent = nullptr)
        : ControlBase(parent)
    {
        setSizeTwips(600, 450);
        setFocusPolicy(Qt::StrongFocus);
        // A plain child ignores presses, so they reach the control as through a pane.
        m_pane->setAutoFillBackground(true);
        m_pane->setPalette(QPalette(Qt::blue, Qt::blue));
    }

    QString Caption() const { return m_caption; }
    void setCaption(const QString &value)
    {
        m_caption = value;
        Q_EMIT propertyChanged(QStringLiteral("Caption"));
    }
    qint32 Version() const { return 7; }
    QString Author() const { return QStringLiteral("Tolvar"); }
    void setAuthor(const QString &) { Q_EMIT propertyChanged(QStringLiteral("作者")); }

    Q_INVOKABLE QVariant Echo(const QVariant &Value) { return Value; }
    Q_INVOKABLE qint32 Add(qint32 A, qint16 B) { return A + B; }
    Q_INVOKABLE QVariant Fail(qint32 Number, const QString &Description)
    {
        return guarded([&]() -> QVariant { throw SystemError(Number, Description); });
    }
    Q_INVOKABLE void Raise(const QString &Text) { Q_EMIT Said(Text, qint32(Text.size())); }
    Q_INVOKABLE void Later(qint32 Milliseconds)
    {
        QTimer::singleShot(Milliseconds, this, [this] { Q_EMIT Done(); });
    }
    //! Runs a nested event loop for \a Milliseconds, yielding as the controls do.
    Q_INVOKABLE qint32 Spin(qint32 Milliseconds)
    {
        qint32 rounds = 0;
        for (const QDeadlineTimer deadline(Milliseconds); !deadline.hasExpired(); ++rounds)
            MessageLoop::yield();
        return rounds > 0 ? Milliseconds : 0;
    }
    //! From the event loop, waits in a loop of its own until Release(), then raises Done.
    Q_INVOKABLE void Stall()
    {
        QTimer::singleShot(0, this, [this] {
            const QPointer<TestControl> alive(this);
            m_stalled = true;
            while (alive && m_stalled)
                MessageLoop::yieldAndWait();
            if (alive)
                Q_EMIT Done();
        });
    }
    Q_INVOKABLE void Release() { m_stalled = false; }
    Q_INVOKABLE QVariant About()
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
    Q_INVOKABLE QVariant WriteLetter()
    {
        Shell::execute(QStringLiteral("open"), QStringLiteral("mailto:tolvar@example.org"), this);
        return QVariant();
    }

Q_SIGNALS:
    void Said(const QString &Text, qint32 Length);
    void Done();
    void Pressed(qint16 Button, qint16 Shift, float X, float Y);
    void KeyDown(qint16 &KeyCode, qint16 &Shift);

protected:
    void readProperties(PropertyBag &bag) override
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
    void writeProperties(PropertyBag &bag) override
    {
        bag.WriteProperty(QStringLiteral("Caption"), m_caption, QString());
        bag.WriteProperty(QStringLiteral("Count"), m_count, 0);
        bag.WriteProperty(QStringLiteral("Ratio"), m_ratio, 0.0);
        bag.WriteProperty(QStringLiteral("Flag"), m_flag, false);
        bag.WriteProperty(QStringLiteral("Anything"), m_anything, 100);
        bag.WriteProperty(QStringLiteral("Font"), m_font, ambientFont());
        bag.WriteProperty(QStringLiteral("BkPicture"), QVariant::fromValue(m_picture));
    }
    void controlShown() override
    {
        if (!std::exchange(m_aboutShown, true))
            About();
    }
    void controlResized() override
    {
        setSizeTwips(600, 450);
        m_pane->setGeometry(width() / 2, 0, width() - width() / 2, height());
    }
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), Qt::red); }
    void mousePressEvent(QMouseEvent *event) override
    {
        Q_EMIT Pressed(qint16(InputCodes::button(event->button())), qint16(InputCodes::shift(event->modifiers())),
                       float(event->position().x()), float(event->position().y()));
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        qint16 code = qint16(InputCodes::keyCode(event));
        qint16 shift = qint16(InputCodes::shift(event));
        Q_EMIT KeyDown(code, shift);
    }

private:
    QString m_caption;
    qint16 m_count = 0;
    qint64 m_big = 0;
    double m_ratio = 0;
    bool m_flag = false;
    uchar m_byte = 0;
    QVariant m_anything;
    Picture m_picture;
    QFont m_font = ambientFont();
    bool m_aboutShown = false;
    bool m_stalled = false;
    QWidget *m_pane = new QWidget(this);
};

extern "C" Q_DECL_EXPORT const ControlClass *SuiteControlClasses(int *count)
{
    static const ControlClass classes[] = {{"TestControl", &TestControl::staticMetaObject,
                                            [](QWidget *parent) -> ControlBase * { return new TestControl(parent); }}};
    *count = int(std::size(classes));
    return classes;
}

#include "TestControl.moc"
