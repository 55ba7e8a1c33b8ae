#pragma once

#include <QIcon>
#include <QObject>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <functional>

class ControlBase;

/*!
    One control in Designer's widget box. The control is created as if
    loaded from a saved form, so it does not open its about box; its
    properties are edited through ControlPropertySheet and its events are
    its signals. Its icon is the control's own face, unless the control
    draws one of its own (\a iconMaker).
*/
class ControlWidgetPlugin : public QObject, public QDesignerCustomWidgetInterface
{
    Q_OBJECT
    Q_INTERFACES(QDesignerCustomWidgetInterface)

public:
    using Factory = std::function<ControlBase *(QWidget *parent)>;
    using IconMaker = std::function<QIcon()>;

    ControlWidgetPlugin(const QString &className, const QString &group, const QString &toolTip,
                        Factory factory, QObject *parent, IconMaker iconMaker = {});

    QString name() const override { return m_className; }
    QString group() const override { return m_group; }
    QString toolTip() const override { return m_toolTip; }
    QString whatsThis() const override { return m_toolTip; }
    QString includeFile() const override { return m_className + QStringLiteral(".h"); }
    QIcon icon() const override;
    bool isContainer() const override { return false; }
    QWidget *createWidget(QWidget *parent) override;
    bool isInitialized() const override { return m_initialized; }
    void initialize(QDesignerFormEditorInterface *core) override;
    QString domXml() const override;

private:
    QString m_className;
    QString m_group;
    QString m_toolTip;
    Factory m_factory;
    IconMaker m_iconMaker;
    bool m_initialized = false;
};
