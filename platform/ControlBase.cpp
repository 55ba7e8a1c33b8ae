#include "ControlBase.h"

#include "ModalRunner.h"
#include "PropertyBag.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QMetaClassInfo>
#include <QPointer>
#include <QShowEvent>

ControlBase::ControlBase(QWidget *parent)
    : QWidget(parent)
    , m_ambientFont(QApplication::font())
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
    const int before = m_resizeEvents;
    m_sizeTwips = QSize(qMax(0, widthTwips), qMax(0, heightTwips));
    resize(twipsToPixels(m_sizeTwips.width()), twipsToPixels(m_sizeTwips.height()));
    // A hidden widget gets its resize event only when shown, and a resize to
    // the same extent gets none; the host's notification must not depend on that.
    if (m_resizeEvents == before)
        notifyResized();
}

QSize ControlBase::sizeTwips() const
{
    // The extent given in twips, as long as the pixels are still the ones it gave.
    if (m_sizeTwips.isValid()
        && size() == QSize(twipsToPixels(m_sizeTwips.width()), twipsToPixels(m_sizeTwips.height())))
        return m_sizeTwips;
    return QSize(pixelsToTwips(width()), pixelsToTwips(height()));
}

std::optional<SystemError> ControlBase::takeError()
{
    return std::exchange(m_error, std::nullopt);
}

void ControlBase::setSizeTwips(int widthTwips, int heightTwips)
{
    m_sizeTwips = QSize(widthTwips, heightTwips);
    resize(twipsToPixels(widthTwips), twipsToPixels(heightTwips));
}

int ControlBase::showModal(QDialog *dialog)
{
    if (dialog->parentWidget() != this)
        dialog->setParent(this, dialog->windowFlags() | Qt::Dialog);
    dialog->setWindowModality(Qt::ApplicationModal);
    return ModalRunner::exec(dialog);
}

void ControlBase::showErrorBox(const QString &text, const QString &title)
{
    ModalRunner::messageBox(this, QMessageBox::Critical, text,
                            title.isEmpty() ? QString::fromLatin1(metaObject()->className())
                                            : title);
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
    ++m_resizeEvents;
    notifyResized();
}

void ControlBase::notifyResized()
{
    // The handler usually resizes the control back to its fixed extent.
    if (m_inResize)
        return;
    m_inResize = true;
    const QPointer<ControlBase> alive(this);
    guarded([&] { controlResized(); });
    if (alive)
        m_inResize = false;
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
