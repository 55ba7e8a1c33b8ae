#pragma once

#include <QMetaProperty>
#include <QVariant>

class QPalette;

/*!
    How the controls' properties are edited in Qt Designer and stored in a
    .ui form: OLE colours as colours, pictures as the path of their file,
    variant texts (Host, Writer...) as texts, 16-bit numbers (BorderStyle,
    Appearance, MousePointer) as ints, which Designer's editor and .ui
    forms know. Other properties pass as they are. Edited values go back
    through the conversions registered here or Qt's own.
*/
class DesignerValues
{
public:
    enum class Kind { Plain, OleColor, Picture, Text, Short };

    static Kind kindOf(const QMetaProperty &property);
    //! \a value of \a property as Designer shows it; system colours as \a palette draws them.
    static QVariant toDesigner(const QMetaProperty &property, const QVariant &value, const QPalette &palette);
    //! Lets Designer and a form loader (QUiLoader) assign colours and picture
    //! paths to the controls' properties: QColor to an OLE colour, a path to a Picture.
    static void registerConversions();
};
