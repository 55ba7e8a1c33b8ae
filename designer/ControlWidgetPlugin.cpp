#include "ControlWidgetPlugin.h"

#include "ControlPropertySheet.h"

#include <ControlBase.h>
#include <PropertyBag.h>

#include <QExtensionManager>
#include <QPixmap>
#include <QtDesigner/QDesignerFormEditorInterface>

ControlWidgetPlugin::ControlWidgetPlugin(const QString &className, const QString &group, const QString &toolTip,
                                         Factory factory, QObject *parent, IconMaker iconMaker)
    : QObject(parent)
    , m_className(className)
    , m_group(group)
    , m_toolTip(toolTip)
    , m_factory(std::move(factory))
    , m_iconMaker(std::move(iconMaker))
{
}

QIcon ControlWidgetPlugin::icon() const
{
    if (m_iconMaker)
        return m_iconMaker();
    std::unique_ptr<QWidget> control(const_cast<ControlWidgetPlugin *>(this)->createWidget(nullptr));
    return QIcon(control->grab());
}

QWidget *ControlWidgetPlugin::createWidget(QWidget *parent)
{
    ControlBase *control = m_factory(parent);
    // A form holds saved controls: no about box when it is shown.
    PropertyBag saved;
    control->hostReadProperties(saved);
    return control;
}

void ControlWidgetPlugin::initialize(QDesignerFormEditorInterface *core)
{
    if (m_initialized)
        return;
    m_initialized = true;
    QExtensionManager *manager = core->extensionManager();
    // One sheet factory serves all controls.
    if (manager && !manager->findChild<ControlPropertySheetFactory *>())
        manager->registerExtensions(new ControlPropertySheetFactory(manager), Q_TYPEID(QDesignerPropertySheetExtension));
}

QString ControlWidgetPlugin::domXml() const
{
    std::unique_ptr<QWidget> control(const_cast<ControlWidgetPlugin *>(this)->createWidget(nullptr));
    QString name = m_className;
    name[0] = name[0].toLower();
    return QStringLiteral("<ui language=\"c++\"><widget class=\"%1\" name=\"%2\">"
                          "<property name=\"geometry\"><rect><x>0</x><y>0</y><width>%3</width><height>%4</height></rect></property>"
                          "</widget></ui>")
        .arg(m_className, name)
        .arg(control->width())
        .arg(control->height());
}
