#pragma once

#include <QAccessibleWidget>

class Schedule;

namespace ScheduleControl {

/*!
    What assistive technology sees of a Schedule bar: a progress bar whose
    value runs from 0 to Max, named by the host's accessible name, else by
    its text while the text is shown, else by its buddy label. Its panes and
    labels are drawing only and are not offered as children.

    The value is read-only, as for QProgressBar.
*/
class ScheduleAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit ScheduleAccessible(Schedule *bar);

    //! The factory for QAccessible::installFactory(); installed once by the first bar.
    static QAccessibleInterface *create(const QString &className, QObject *object);
    static void install();
    //! A held value or max text as the number a reader gets: an int where it fits.
    static QVariant number(const QString &text);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void *interface_cast(QAccessible::InterfaceType type) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    Schedule *bar() const;
};

} // namespace ScheduleControl
