#pragma once

#include "ControlBase.h"
#include "Picture.h"

#include <QVariant>

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
    Q_PROPERTY(qint16 Count MEMBER m_count)
    Q_PROPERTY(double Ratio MEMBER m_ratio)
    Q_PROPERTY(bool Flag MEMBER m_flag)
    Q_PROPERTY(uchar Byte MEMBER m_byte)
    Q_PROPERTY(QVariant Anything MEMBER m_anything)
    Q_PROPERTY(Picture BkPicture MEMBER m_picture)
    Q_PROPERTY(QFont Font MEMBER m_font)
    Q_PROPERTY(qint32 Version READ Version)
    Q_PROPERTY(QString Author READ Author WRITE setAuthor)

public:
    explicit TestControl(QWidget *parent = nullptr);

    QString Caption() const { return m_caption; }
    void setCaption(const QString &value);
    qint32 Version() const { return 7; }
    QString Author() const { return QStringLiteral("Tolvar"); }
    void setAuthor(const QString &);

    Q_INVOKABLE QVariant Echo(const QVariant &Value) { return Value; }
    Q_INVOKABLE qint32 Add(qint32 A, qint16 B) { return A + B; }
    //! Fails towards the host with \a Number and \a Description.
    Q_INVOKABLE QVariant Fail(qint32 Number, const QString &Description);
    //! Raises Said(Text, length) before returning.
    Q_INVOKABLE void Raise(const QString &Text) { Q_EMIT Said(Text, qint32(Text.size())); }
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
