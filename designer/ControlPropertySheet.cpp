#include "ControlPropertySheet.h"

#include "DesignerValues.h"

#include <ControlBase.h>

#include <QExtensionManager>
#include <QWidget>

ControlPropertySheet::ControlPropertySheet(QDesignerPropertySheetExtension *base, QWidget *control, QObject *parent)
    : QObject(parent)
    , m_base(base)
    , m_control(control)
{
}

QMetaProperty ControlPropertySheet::metaProperty(int index) const
{
    const QMetaObject *meta = m_control->metaObject();
    const int found = meta->indexOfProperty(m_base->propertyName(index).toLatin1().constData());
    return found < 0 ? QMetaProperty() : meta->property(found);
}

QVariant ControlPropertySheet::property(int index) const
{
    const QMetaProperty meta = metaProperty(index);
    const QVariant value = m_base->property(index);
    return meta.isValid() ? DesignerValues::toDesigner(meta, value, m_control->palette()) : value;
}

void ControlPropertySheet::setProperty(int index, const QVariant &value)
{
    const QMetaProperty meta = metaProperty(index);
    if (!meta.isValid() || DesignerValues::kindOf(meta) == DesignerValues::Kind::Plain)
        return m_base->setProperty(index, value);
    const QVariant converted = DesignerValues::fromDesigner(meta, value);
    if (converted.isValid())
        m_base->setProperty(index, converted);
}

ControlPropertySheetFactory::ControlPropertySheetFactory(QExtensionManager *parent)
    : QExtensionFactory(parent)
{
}

QObject *ControlPropertySheetFactory::createExtension(QObject *object, const QString &iid, QObject *parent) const
{
    auto *control = qobject_cast<ControlBase *>(object);
    if (!control || iid != QLatin1String(Q_TYPEID(QDesignerPropertySheetExtension)) || m_askingDesigner)
        return nullptr;
    // Designer's own sheet comes from the factory after this one.
    m_askingDesigner = true;
    auto *base = qt_extension<QDesignerPropertySheetExtension *>(extensionManager(), object);
    m_askingDesigner = false;
    return base ? new ControlPropertySheet(base, control, parent) : nullptr;
}
