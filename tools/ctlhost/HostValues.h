#pragma once

#include <QJsonValue>
#include <QMetaType>
#include <QVariant>

/*!
    How ctlhost shows the control's values as JSON, and how it turns the
    JSON of a command into the value a property or parameter takes.

    Shown: empty → null, text → string, number → number, boolean →
    true/false, one byte → its number, bytes → array of numbers, font →
    {"name", "size", "bold", "italic", "underline", "strikeout", "weight"},
    picture → the path it was loaded from (null for none), colour →
    "#rrggbb", lists and maps → arrays and objects.

    Taken: numbers are rounded to integers as the runtime does (halves to
    even; error 6 outside the range), numeric texts are numbers, true is -1
    where an integer is wanted, a text for a picture is the path of a file
    to load (null or "" for none), an object with "name" is a font.
    Conversions that make no sense fail with SystemError 13.
*/
class HostValues
{
public:
    static QJsonValue toJson(const QVariant &value);
    //! \a value converted to \a type; a QVariant target takes the JSON's own type.
    static QVariant fromJson(const QJsonValue &value, QMetaType type);
    //! The value of a JSON scalar or container with no target type.
    static QVariant fromJson(const QJsonValue &value);
};
