#pragma once

#include "ControlBase.h"
#include "Picture.h"

#include <QVariant>

class QWidget;

/*!
    A small control for driving ctlhost before the suite's controls exist:
    one member of every kind of value, a failing method, events with
    arguments, an about box shown at the first Show of a fresh control,
    a shell request, saved properties, and a fixed extent of 600 × 450
    twips drawn red on the left half and blue on the right (a child pane).
*/
class TestControl : public ControlBase
{
    Q_OBJECT
    Q_CLASSINFO("Members", "Caption,Count,Echo,Ratio,Flag,Byte,Anything,BkPicture,Font,Version,"
                           "Add,Fail,Raise,Later,Spin,About,WriteLetter,作者")
    Q_CLASSINFO("Events", "Said,Done,Pressed,KeyDown")
    Q_CLASSINFO("Aliases", "作者=Author")
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(qint16 Count READ Count WRITE setCount)
    Q_PROPERTY(double Ratio READ Ratio WRITE setRatio)
    Q_PROPERTY(bool Flag READ Flag WRITE setFlag)
    Q_PROPERTY(uchar Byte READ Byte WRITE setByte)
    Q_PROPERTY(QVariant Anything READ Anything WRITE setAnything)
    Q_PROPERTY(Picture BkPicture READ BkPicture WRITE setBkPicture)
    Q_PROPERTY(QFont Font READ Font WRITE setFont)
    Q_PROPERTY(qint32 Version READ Version)
    Q_PROPERTY(QString Author READ Author WRITE setAuthor)

public:
    explicit TestControl(QWidget *parent = nullptr);

    QString Caption() const { return m_caption; }
    void setCaption(const QString &value);
    qint16 Count() const { return m_count; }
    void setCount(qint16 value) { m_count = value; }
    double Ratio() const { return m_ratio; }
    void setRatio(double value) { m_ratio = value; }
    bool Flag() const { return m_flag; }
    void setFlag(bool value) { m_flag = value; }
    uchar Byte() const { return m_byte; }
    void setByte(uchar value) { m_byte = value; }
    QVariant Anything() const { return m_anything; }
    void setAnything(const QVariant &value) { m_anything = value; }
    Picture BkPicture() const { return m_picture; }
    void setBkPicture(const Picture &value) { m_picture = value; }
    QFont Font() const { return m_font; }
    void setFont(const QFont &value) { m_font = value; }
    qint32 Version() const { return 7; }
    QString Author() const { return QStringLiteral("Tolvar"); }
    void setAuthor(const QString &);

    Q_INVOKABLE QVariant Echo(const QVariant &Value) { return Value; }
    Q_INVOKABLE qint32 Add(qint32 A, qint16 B) { return A + B; }
    //! Fails towards the host with \a Number and \a Description.
    Q_INVOKABLE QVariant Fail(qint32 Number, const QString &Description);
    //! Raises Said(Text, length) before returning.
    Q_INVOKABLE void Raise(const QString &Text);
    //! Raises Done after \a Milliseconds.
    Q_INVOKABLE void Later(qint32 Milliseconds);
    //! Runs a nested event loop for \a Milliseconds, yielding as the controls do.
    Q_INVOKABLE qint32 Spin(qint32 Milliseconds);
    Q_INVOKABLE QVariant About();
    Q_INVOKABLE QVariant WriteLetter();

Q_SIGNALS:
    void Said(const QString &Text, qint32 Length);
    void Done();
    void Pressed(qint16 Button, qint16 Shift, float X, float Y);
    void KeyDown(qint16 &KeyCode, qint16 &Shift);

protected:
    void readProperties(PropertyBag &bag) override;
    void writeProperties(PropertyBag &bag) override;
    void controlShown() override;
    void controlResized() override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_caption;
    qint16 m_count = 0;
    double m_ratio = 0;
    bool m_flag = false;
    uchar m_byte = 0;
    QVariant m_anything;
    Picture m_picture;
    QFont m_font;
    bool m_aboutShown = false;
    QWidget *m_pane = nullptr;
};
