#pragma once

#include "SystemError.h"

#include <QColor>
#include <QFont>
#include <QWidget>

#include <optional>
#include <utility>

class PropertyBag;
class QDialog;

/*!
    The base of an embeddable control: what a host sees of it besides its
    own properties, methods and events.

    The host drives it through the notifications Show (showing the widget),
    Resize (hostResize()), ReadProperties and WriteProperties, and InitProperties
    for a control placed fresh; the control reports property changes back
    with propertyChanged().

    Members in interface order, events in order and the host names that are
    not valid C++ names are declared by each control class:
    \code
    Q_CLASSINFO("Members", "GetAttrs,Geted,Host,...")
    Q_CLASSINFO("Events", "OnError,GetAttred,...")
    Q_CLASSINFO("Aliases", "作者=Author,信箱=Mailbox,主页=Homepage")
    \endcode

    Synchronous failures of a host call are kept here (setError()) for the
    host to take once the call has returned; guarded() does that for a body
    that throws SystemError.
*/
class ControlBase : public QWidget
{
    Q_OBJECT

public:
    static constexpr int TwipsPerPixel = 15;

    explicit ControlBase(QWidget *parent = nullptr);
    ~ControlBase() override;

    // Host notifications.
    void hostInitProperties();
    void hostReadProperties(PropertyBag &bag);
    void hostWriteProperties(PropertyBag &bag);
    //! The container sets the control's extent, in twips.
    void hostResize(int widthTwips, int heightTwips);
    QSize sizeTwips() const;

    //! The container's font, which a control takes as its default.
    QFont ambientFont() const { return m_ambientFont; }
    void setAmbientFont(const QFont &font) { m_ambientFont = font; }

    //! The colour of the control's picture that is drawn transparent.
    QColor maskColor() const { return m_maskColor; }
    void setMaskColor(const QColor &color) { m_maskColor = color; }

    //! The failure of the last host call, if it failed; clears it.
    std::optional<SystemError> takeError();
    void setError(const SystemError &error) { m_error = error; }

    static int twipsToPixels(int twips) { return twips / TwipsPerPixel; }
    static int pixelsToTwips(int pixels) { return pixels * TwipsPerPixel; }

    //! The C++ member behind a host name, and back (see "Aliases").
    static QByteArray memberForHostName(const QMetaObject *meta, const QString &hostName);
    static QString hostNameForMember(const QMetaObject *meta, const QByteArray &member);

Q_SIGNALS:
    //! PropertyChanged: marks the host's document as modified.
    void propertyChanged(const QString &name);

protected:
    virtual void initProperties() {}
    virtual void readProperties(PropertyBag &) {}
    virtual void writeProperties(PropertyBag &) {}
    //! The Show notification: the control became visible in its container.
    virtual void controlShown() {}
    //! The Resize notification.
    virtual void controlResized() {}

    //! Keeps the control at a fixed extent in twips.
    void setSizeTwips(int widthTwips, int heightTwips);

    //! Shows \a dialog modally, owned by this control.
    int showModal(QDialog *dialog);
    //! The error message box: critical icon, OK.
    void showErrorBox(const QString &text, const QString &title = QString());

    //! Runs \a body; a SystemError it throws becomes the host call's failure.
    template<typename Body>
    auto guarded(Body &&body) -> decltype(body())
    {
        try {
            return std::forward<Body>(body)();
        } catch (const SystemError &error) {
            setError(error);
            if constexpr (!std::is_void_v<decltype(body())>)
                return {};
        }
    }

    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QFont m_ambientFont;
    QColor m_maskColor;
    std::optional<SystemError> m_error;
    bool m_inResize = false;
};
