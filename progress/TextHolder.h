#pragma once

#include <QObject>
#include <QString>

namespace ScheduleControl {

/*!
    A hidden holder of a text (the bar keeps Value and Max as text) with a
    flag it carries along. setText() tells whether the held text changed,
    so the owner runs its change handling only for a real change.
*/
class TextHolder : public QObject
{
    Q_OBJECT

public:
    TextHolder(QObject *parent, const QString &name, const QString &text, bool flag = false);

    QString text() const { return m_text; }
    //! Stores \a text; returns true when it differs from the text held before.
    bool setText(const QString &text);

    bool flag() const { return m_flag; }
    void setFlag(bool flag) { m_flag = flag; }

private:
    QString m_text;
    bool m_flag = false;
};

} // namespace ScheduleControl
