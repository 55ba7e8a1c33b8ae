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
    if (const int font = ownFont(index); font >= 0)
        return m_base->property(font);
    const QMetaProperty meta = metaProperty(index);
    const QVariant value = m_base->property(index);
    return meta.isValid() ? DesignerValues::toDesigner(meta, value, m_control->palette()) : value;
}

// Designer's property editor shows no "Font" beside QWidget's "font", so a
// control's own Font is edited as "font" and saved under both names.
int ControlPropertySheet::ownFont(int index) const
{
    if (m_base->propertyName(index) != QLatin1String("font"))
        return -1;
    return m_base->indexOf(QStringLiteral("Font"));
}

void ControlPropertySheet::setProperty(int index, const QVariant &value)
{
    if (const int font = ownFont(index); font >= 0) {
        m_base->setProperty(font, value);
        m_base->setChanged(font, true);
    }
    // Colours and picture paths reach the control through the conversions of DesignerValues.
    m_base->setProperty(index, value);
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
