#include "ControlBase.h"

#include "ModalRunner.h"
#include "PropertyBag.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QMetaClassInfo>
#include <QPointer>
#include <QShowEvent>

class ControlBase::Private
{
public:
    explicit Private(ControlBase *q) : q(q) { }

    void notifyResized();

    ControlBase *const q;

    QFont ambientFont = QApplication::font();
    QColor maskColor;
    std::optional<SystemError> error;
    // Twips do not fit whole pixels; the extent last set is kept to report it exactly.
    QSize sizeTwips {-1, -1};
    bool inResize = false;
    int resizeEvents = 0;
};

void ControlBase::Private::notifyResized()
{
    // The handler usually resizes the control back to its fixed extent.
    if (inResize)
        return;
    inResize = true;
    const QPointer<ControlBase> alive(q);
    q->guarded([this] { q->controlResized(); });
    if (alive)
        inResize = false;
}

ControlBase::ControlBase(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<Private>(this))
{
}

ControlBase::~ControlBase() = default;

void ControlBase::hostInitProperties()
{
    guarded([&] { initProperties(); });
}

void ControlBase::hostReadProperties(PropertyBag &bag)
{
    guarded([&] { readProperties(bag); });
}

void ControlBase::hostWriteProperties(PropertyBag &bag)
{
    guarded([&] { writeProperties(bag); });
}

void ControlBase::hostResize(int widthTwips, int heightTwips)
{
    const int before = d->resizeEvents;
    d->sizeTwips = QSize(qMax(0, widthTwips), qMax(0, heightTwips));
    resize(twipsToPixels(d->sizeTwips.width()), twipsToPixels(d->sizeTwips.height()));
    // A hidden widget gets its resize event only when shown, and a resize to
    // the same extent gets none; the host's notification must not depend on that.
    if (d->resizeEvents == before)
        d->notifyResized();
}

QSize ControlBase::sizeTwips() const
{
    // The extent given in twips, as long as the pixels are still the ones it gave.
    if (d->sizeTwips.isValid()
        && size() == QSize(twipsToPixels(d->sizeTwips.width()), twipsToPixels(d->sizeTwips.height())))
        return d->sizeTwips;
    return QSize(pixelsToTwips(width()), pixelsToTwips(height()));
}

QFont ControlBase::ambientFont() const
{
    return d->ambientFont;
}

void ControlBase::setAmbientFont(const QFont &font)
{
    d->ambientFont = font;
}

QColor ControlBase::maskColor() const
{
    return d->maskColor;
}

void ControlBase::setMaskColor(const QColor &color)
{
    d->maskColor = color;
}

std::optional<SystemError> ControlBase::takeError()
{
    return std::exchange(d->error, std::nullopt);
}

void ControlBase::setError(const SystemError &error)
{
    d->error = error;
}

void ControlBase::setSizeTwips(int widthTwips, int heightTwips)
{
    d->sizeTwips = QSize(widthTwips, heightTwips);
    resize(twipsToPixels(widthTwips), twipsToPixels(heightTwips));
}

int ControlBase::showModal(QDialog *dialog)
{
    if (dialog->parentWidget() != this)
        dialog->setParent(this, dialog->windowFlags() | Qt::Dialog);
    dialog->setWindowModality(Qt::ApplicationModal);
    return ModalRunner::exec(dialog);
}

bool ControlBase::showErrorBox(const QString &text, const QString &title)
{
    const QPointer<ControlBase> alive(this);
    ModalRunner::messageBox(this, QMessageBox::Critical, text,
                            title.isEmpty() ? QString::fromLatin1(metaObject()->className())
                                            : title);
    return !alive.isNull();
}

void ControlBase::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        guarded([&] { controlShown(); });
}

void ControlBase::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ++d->resizeEvents;
    d->notifyResized();
}

static QList<std::pair<QString, QByteArray>> aliases(const QMetaObject *meta)
{
    QList<std::pair<QString, QByteArray>> result;
    const int index = meta->indexOfClassInfo("Aliases");
    if (index < 0)
        return result;
    const QString list = QString::fromUtf8(meta->classInfo(index).value());
    for (const QString &pair : list.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq > 0)
            result.append({pair.left(eq).trimmed(), pair.mid(eq + 1).trimmed().toUtf8()});
    }
    return result;
}

QByteArray ControlBase::memberForHostName(const QMetaObject *meta, const QString &hostName)
{
    for (const auto &[host, member] : aliases(meta)) {
        if (host == hostName)
            return member;
    }
    return hostName.toUtf8();
}

QString ControlBase::hostNameForMember(const QMetaObject *meta, const QByteArray &member)
{
    for (const auto &[host, cpp] : aliases(meta)) {
        if (cpp == member)
            return host;
    }
    return QString::fromUtf8(member);
}

static QStringList classInfoList(const QMetaObject *meta, const char *name)
{
    const int index = meta->indexOfClassInfo(name);
    if (index < 0)
        return {};
    QStringList result;
    for (const QString &item : QString::fromUtf8(meta->classInfo(index).value()).split(u',', Qt::SkipEmptyParts))
        result.append(item.trimmed());
    return result;
}

QStringList ControlBase::members(const QMetaObject *meta)
{
    QStringList result;
    if (meta->indexOfClassInfo("Members") >= 0) {
        for (const QString &name : classInfoList(meta, "Members"))
            result.append(hostNameForMember(meta, name.toUtf8()));
        return result;
    }
    for (int i = ControlBase::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i)
        result.append(hostNameForMember(meta, meta->property(i).name()));
    for (int i = ControlBase::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Method && method.access() == QMetaMethod::Public) {
            const QString name = hostNameForMember(meta, method.name());
            if (!result.contains(name))
                result.append(name);
        }
    }
    return result;
}

QStringList ControlBase::events(const QMetaObject *meta)
{
    if (meta->indexOfClassInfo("Events") >= 0)
        return classInfoList(meta, "Events");
    QStringList result;
    for (int i = ControlBase::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const QString name = QString::fromLatin1(method.name());
        if (method.methodType() == QMetaMethod::Signal && !result.contains(name))
            result.append(name);
    }
    return result;
}
