#include "ScheduleAccessible.h"

#include "LeadingNumber.h"
#include "Schedule.h"

#include <cmath>
#include <limits>

namespace ScheduleControl {

ScheduleAccessible::ScheduleAccessible(Schedule *bar)
    : QAccessibleWidget(bar, QAccessible::ProgressBar)
{
}

QAccessibleInterface *ScheduleAccessible::create(const QString &className, QObject *object)
{
    if (className == QLatin1String("Schedule") && object && object->isWidgetType())
        return new ScheduleAccessible(static_cast<Schedule *>(object));
    return nullptr;
}

void ScheduleAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(&ScheduleAccessible::create);
        return true;
    }();
    Q_UNUSED(installed);
}

Schedule *ScheduleAccessible::bar() const
{
    return static_cast<Schedule *>(widget());
}

QString ScheduleAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name:
        if (bar()->accessibleName().isEmpty() && bar()->ShowText() && !bar()->Text().isEmpty())
            return bar()->Text();
        break;
    case QAccessible::Value:
        // What the bar shows; without the percentage a reader works it out from the numbers.
        if (bar()->ShowPercent())
            return bar()->shownPercentage();
        break;
    default:
        break;
    }
    return QAccessibleWidget::text(t);
}

QAccessible::State ScheduleAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    return state;
}

void *ScheduleAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

// Held texts are read without the getters, which would leave a failure for the host.
QVariant ScheduleAccessible::number(const QString &text)
{
    const double value = LeadingNumber(text);
    if (value == std::trunc(value) && value >= std::numeric_limits<int>::min()
        && value <= std::numeric_limits<int>::max())
        return int(value);
    return value;
}

QVariant ScheduleAccessible::currentValue() const
{
    return number(bar()->valueText());
}

QVariant ScheduleAccessible::maximumValue() const
{
    return number(bar()->maxText());
}

QVariant ScheduleAccessible::minimumValue() const
{
    return 0;
}

QVariant ScheduleAccessible::minimumStepSize() const
{
    return 0;
}

} // namespace ScheduleControl
