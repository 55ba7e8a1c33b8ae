#pragma once

#include "ControlBase.h"
#include "Picture.h"
#include "schedule_export.h"

#include <QFont>
#include <QString>
#include <QVariant>

#include <memory>

/*!
    The progress bar control: a filled part Value/Max of the bar's inner
    width, and an optional text and percentage drawn in two colours, one
    over the fill and one over the empty part.

    The bar is composed of the background pane Pc1 and the fill pane Pc2
    inside it, the text labels Label1 (on Pc1) and Label2 (on Pc2), the
    percentage labels Label3 (on Pc1) and Label4 (on Pc2), and the hidden
    holders Valuel and Maxl of the value and max texts. Each property is
    kept by the element that shows it.

    Colours are 32-bit OLE colours (bit 31 set: a system colour looked up
    in the palette when drawn). Value and Max are held as decimal text.
    A failing call leaves its error for the host (ControlBase::takeError());
    assigning Max, the mouse pointer and icon setters, loading and the
    relayout report their own failures in the error message box instead.

    With Doevent true every change of the value text lets the host's event
    loop run (the host may be re-entered); with it false the background pane
    is repainted at once instead.

    Assistive technology sees a progress bar from 0 to Max, named by the
    host's accessible name or else by the text while it is shown, and is
    told of each change of the value. While the bar has the keyboard focus it
    shows a focus mark; Escape, Return and Enter raise KeyDown and then go
    on to the window, so its default and cancel buttons still answer them.
    A host that wants no keys from the bar gives it Qt::NoFocus.
*/
class SCHEDULE_EXPORT Schedule : public ControlBase
{
    Q_OBJECT
    Q_CLASSINFO("Members",
                "BackColor,BorderStyle,Max,Value,ForeColor,hwnd,About,WriteLetter,VisitHomepage,"
                "MouseIcon,MousePointer,作者,信箱,主页,ShowText,Text,BkFontColor,ForeFontColor,"
                "ShowPercent,Font,BkPicture,ForePicture,Appearance,Doevent")
    Q_CLASSINFO("Events", "Change,KeyUp,MouseDown,MouseUp,KeyDown")
    Q_CLASSINFO("Aliases", "作者=Author,信箱=Mailbox,主页=Homepage")

    Q_PROPERTY(quint32 BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(qint16 BorderStyle READ BorderStyle WRITE setBorderStyle)
    Q_PROPERTY(qint32 Max READ Max WRITE setMax)
    Q_PROPERTY(qint32 Value READ Value WRITE setValue)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(qint32 hwnd READ hwnd)
    Q_PROPERTY(Picture MouseIcon READ MouseIcon WRITE setMouseIcon)
    Q_PROPERTY(qint16 MousePointer READ MousePointer WRITE setMousePointer)
    Q_PROPERTY(QString Author READ Author WRITE setAuthor)
    Q_PROPERTY(QString Mailbox READ Mailbox WRITE setMailbox)
    Q_PROPERTY(QString Homepage READ Homepage WRITE setHomepage)
    Q_PROPERTY(bool ShowText READ ShowText WRITE setShowText)
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(quint32 BkFontColor READ BkFontColor WRITE setBkFontColor)
    Q_PROPERTY(quint32 ForeFontColor READ ForeFontColor WRITE setForeFontColor)
    Q_PROPERTY(bool ShowPercent READ ShowPercent WRITE setShowPercent)
    Q_PROPERTY(QFont Font READ Font WRITE setFont)
    Q_PROPERTY(Picture BkPicture READ BkPicture WRITE setBkPicture)
    Q_PROPERTY(Picture ForePicture READ ForePicture WRITE setForePicture)
    Q_PROPERTY(qint16 Appearance READ Appearance WRITE setAppearance)
    Q_PROPERTY(bool Doevent READ Doevent WRITE setDoevent)

public:
    explicit Schedule(QWidget *parent = nullptr);
    ~Schedule() override;

    //! Background colour (Pc1's back colour).
    quint32 BackColor() const;
    void setBackColor(quint32 color);

    //! Pc1's border: 0 none, 1 fixed single; other values fail with 380.
    qint16 BorderStyle() const;
    void setBorderStyle(qint16 style);

    //! The max text as an integer. Assigning 0 or less is ignored.
    qint32 Max() const;
    void setMax(qint32 max);

    //! The value text as an integer. Assigning more than Max fails with 380.
    qint32 Value() const;
    void setValue(qint32 value);

    //! Fill colour (Pc2's back colour).
    quint32 ForeColor() const;
    void setForeColor(quint32 color);

    //! The handle of the native window the bar is drawn in (32 bits).
    qint32 hwnd() const;

    //! Shows the about box modally, without an owner window.
    Q_INVOKABLE QVariant About();
    //! Asks the shell to open a mail to the author.
    Q_INVOKABLE QVariant WriteLetter();
    //! Asks the shell to open the author's home page.
    Q_INVOKABLE QVariant VisitHomepage();

    Picture MouseIcon() const;
    void setMouseIcon(const Picture &icon);

    //! Mouse pointer of both panes: 0 default, 1 to 15 the standard ones, 99 MouseIcon.
    qint16 MousePointer() const;
    void setMousePointer(qint16 pointer);

    //! 作者, 信箱, 主页: fixed texts; assigning only notifies.
    QString Author() const;
    void setAuthor(const QString &ignored);
    QString Mailbox() const;
    void setMailbox(const QString &ignored);
    QString Homepage() const;
    void setHomepage(const QString &ignored);

    bool ShowText() const;
    void setShowText(bool show);

    //! The text shown at the bar's left edge (no relayout: it grows to the right).
    QString Text() const;
    void setText(const QString &text);

    //! Colour of the text and percentage over the empty part.
    quint32 BkFontColor() const;
    void setBkFontColor(quint32 color);

    //! Colour of the text and percentage over the fill.
    quint32 ForeFontColor() const;
    void setForeFontColor(quint32 color);

    bool ShowPercent() const;
    void setShowPercent(bool show);

    QFont Font() const;
    void setFont(const QFont &font);

    Picture BkPicture() const;
    void setBkPicture(const Picture &picture);

    //! The fill picture, uncovered from the left as the fill grows.
    Picture ForePicture() const;
    void setForePicture(const Picture &picture);

    //! Pc1's look: 0 flat, 1 three-dimensional.
    qint16 Appearance() const;
    void setAppearance(qint16 appearance);

    //! Whether a change of the value runs the host's event loop.
    bool Doevent() const;
    void setDoevent(bool yield);

    //! Whether the about box has been shown or the bar was loaded.
    bool aboutShown() const;

    //! The value and max texts as held and the percentage as shown, read
    //! without conversion, so that reading them never fails (unlike Value and
    //! Max); what assistive technology reads.
    QString valueText() const;
    QString maxText() const;
    QString shownPercentage() const;

    //! The error message box's title.
    static QString errorTitle();

Q_SIGNALS:
    void Change();
    void KeyUp(qint16 KeyCode, qint16 Shift);
    void MouseDown(qint16 Button, qint16 Shift, float X, float Y);
    void MouseUp(qint16 Button, qint16 Shift, float X, float Y);
    void KeyDown(qint16 KeyCode, qint16 Shift);

protected:
    void readProperties(PropertyBag &bag) override;
    void writeProperties(PropertyBag &bag) override;
    void controlShown() override;
    void controlResized() override;

    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    class Private;
    const std::unique_ptr<Private> d;
};
