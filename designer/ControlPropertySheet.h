#pragma once

#include <QExtensionFactory>
#include <QObject>
#include <QtDesigner/QDesignerPropertySheetExtension>

/*!
    Designer's property sheet of a control, with the properties that
    DesignerValues converts shown in their Designer form (colours as
    colours, pictures as paths, variant texts as texts) and the control's
    Font edited as QWidget's font. Everything else is Designer's own sheet.
*/
class ControlPropertySheet : public QObject, public QDesignerPropertySheetExtension
{
    Q_OBJECT
    Q_INTERFACES(QDesignerPropertySheetExtension)

public:
    ControlPropertySheet(QDesignerPropertySheetExtension *base, QWidget *control, QObject *parent);

    int count() const override { return m_base->count(); }
    int indexOf(const QString &name) const override { return m_base->indexOf(name); }
    QString propertyName(int index) const override { return m_base->propertyName(index); }
    QString propertyGroup(int index) const override { return m_base->propertyGroup(index); }
    void setPropertyGroup(int index, const QString &group) override { m_base->setPropertyGroup(index, group); }
    bool hasReset(int index) const override { return m_base->hasReset(index); }
    bool reset(int index) override { return m_base->reset(index); }
    bool isVisible(int index) const override { return m_base->isVisible(index); }
    void setVisible(int index, bool visible) override { m_base->setVisible(index, visible); }
    bool isAttribute(int index) const override { return m_base->isAttribute(index); }
    void setAttribute(int index, bool attribute) override { m_base->setAttribute(index, attribute); }
    QVariant property(int index) const override;
    void setProperty(int index, const QVariant &value) override;
    bool isChanged(int index) const override { return m_base->isChanged(index); }
    void setChanged(int index, bool changed) override { m_base->setChanged(index, changed); }
    bool isEnabled(int index) const override { return m_base->isEnabled(index); }

private:
    QMetaProperty metaProperty(int index) const;
    //! The index of the control's own Font when \a index is QWidget's font, else -1.
    int ownFont(int index) const;

    QDesignerPropertySheetExtension *m_base = nullptr;
    QWidget *m_control = nullptr;
};

//! Makes a ControlPropertySheet over Designer's own sheet for each control.
class ControlPropertySheetFactory : public QExtensionFactory
{
    Q_OBJECT

public:
    explicit ControlPropertySheetFactory(QExtensionManager *parent);

protected:
    QObject *createExtension(QObject *object, const QString &iid, QObject *parent) const override;

private:
    mutable bool m_askingDesigner = false;
};
