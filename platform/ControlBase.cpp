#include "ControlBase.h"

#include "ModalRunner.h"
#include "PropertyBag.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QMetaClassInfo>
#include <QShowEvent>

ControlBase::ControlBase(QWidget *parent)
    : QWidget(parent)
    , m_ambientFont(QApplication::font())
{
}

ControlBase::~ControlBase() = default;

void ControlBase::hostInitProperties()
{
    initProperties();
}

void ControlBase::hostReadProperties(PropertyBag &bag)
{
    readProperties(bag);
}

void ControlBase::hostWriteProperties(PropertyBag &bag)
{
    writeProperties(bag);
}

void ControlBase::hostResize(int widthTwips, int heightTwips)
{
    const QSize wanted(twipsToPixels(widthTwips), twipsToPixels(heightTwips));
    const bool deliveredByQt = isVisible() && wanted != size();
    resize(wanted);
    // A hidden widget gets its resize event only when shown; the host's
    // notification must not wait for that.
    if (!deliveredByQt)
        controlResized();
}

QSize ControlBase::sizeTwips() const
{
    return QSize(pixelsToTwips(width()), pixelsToTwips(height()));
}

std::optional<SystemError> ControlBase::takeError()
{
    return std::exchange(m_error, std::nullopt);
}

void ControlBase::setSizeTwips(int widthTwips, int heightTwips)
{
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
                            title.isEmpty() ? QApplication::applicationName() : title);
}

void ControlBase::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        controlShown();
}

void ControlBase::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_inResize)
        return;
    m_inResize = true;
    controlResized();
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
            result.append({pair.left(eq).trimmed(), pair.mid(eq + 1).trimmed().toLatin1()});
    }
    return result;
}

QByteArray ControlBase::memberForHostName(const QMetaObject *meta, const QString &hostName)
{
    for (const auto &[host, member] : aliases(meta)) {
        if (host == hostName)
            return member;
    }
    return hostName.toLatin1();
}

QString ControlBase::hostNameForMember(const QMetaObject *meta, const QByteArray &member)
{
    for (const auto &[host, cpp] : aliases(meta)) {
        if (cpp == member)
            return host;
    }
    return QString::fromLatin1(member);
}
