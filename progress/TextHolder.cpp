#include "TextHolder.h"

namespace ScheduleControl {

TextHolder::TextHolder(QObject *parent, const QString &name, const QString &text, bool flag)
    : QObject(parent)
    , m_text(text)
    , m_flag(flag)
{
    setObjectName(name);
}

bool TextHolder::setText(const QString &text)
{
    if (text == m_text)
        return false;
    m_text = text;
    return true;
}

} // namespace ScheduleControl
