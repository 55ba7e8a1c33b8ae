#pragma once

#include "SystemError.h"
#include "tessalhosting_export.h"

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <new>
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
    The class info values are UTF-8 (moc keeps them byte for byte, so Chinese
    host names are fine there, unlike in Q_PROPERTY or Q_INVOKABLE names).
    "Members" may list a member by its host name or by its C++ name; hosts
    show the host name. Without "Members" (or "Events"), a host takes the
    class's own properties and invokable methods (or signals) in declaration
    order. Use members() and events() to read the lists.

    Events are signals whose parameters are taken by value or const
    reference; hosts convert each argument by its type, so give every
    parameter the design's name (QMetaMethod::parameterNames()).

    Synchronous failures of a host call are kept here (setError()) for the
    host to take once the call has returned; guarded() does that for a body
    that throws SystemError (any other exception becomes error 51).
*/
class TESSALHOSTING_EXPORT ControlBase : public QWidget
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
    //! The extent in twips: as last set, while the pixel size still matches it.
    QSize sizeTwips() const;

    //! The container's font, which a control takes as its default.
    QFont ambientFont() const;
    void setAmbientFont(const QFont &font);

    //! The colour of the control's picture that is drawn transparent.
    QColor maskColor() const;
    void setMaskColor(const QColor &color);

    //! The failure of the last host call, if it failed; clears it.
    std::optional<SystemError> takeError();
    void setError(const SystemError &error);

    static int twipsToPixels(int twips) { return twips / TwipsPerPixel; }
    static int pixelsToTwips(int pixels) { return pixels * TwipsPerPixel; }

    //! The C++ member behind a host name, and back (see "Aliases").
    static QByteArray memberForHostName(const QMetaObject *meta, const QString &hostName);
    static QString hostNameForMember(const QMetaObject *meta, const QByteArray &member);

    //! Host names of the class's properties and methods, in interface order.
    static QStringList members(const QMetaObject *meta);
    //! Names of the class's events, in order.
    static QStringList events(const QMetaObject *meta);

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
    //! The error message box: critical icon, OK; the title defaults to the class name.
    //! Returns false when the host deleted the control while the box was up.
    [[nodiscard]] bool showErrorBox(const QString &text, const QString &title = QString());

    //! Runs \a body; a SystemError it throws becomes the host call's failure.
    template<typename Body>
    auto guarded(Body &&body) -> decltype(body())
    {
        try {
            return std::forward<Body>(body)();
        } catch (const SystemError &error) {
            setError(error);
        } catch (const std::bad_alloc &) {
            setError(SystemError(SystemError::OutOfMemory));
        } catch (const std::exception &error) {
            setError(SystemError(SystemError::InternalError, QString::fromLocal8Bit(error.what())));
        }
        if constexpr (!std::is_void_v<decltype(body())>)
            return {};
    }

    /*!
        Raises \a event with \a args. Hosts may delete the control inside any
        event: returns false when that happened, and the caller must then
        return at once without touching a member.
    */
    template<typename Control, typename... Params, typename... Args>
    [[nodiscard]] bool raise(void (Control::*event)(Params...), Args &&...args)
    {
        const QPointer<ControlBase> alive(this);
        (static_cast<Control *>(this)->*event)(std::forward<Args>(args)...);
        return !alive.isNull();
    }

    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    class Private;
    const std::unique_ptr<Private> d;
};
