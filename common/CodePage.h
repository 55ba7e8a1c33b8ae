#pragma once

#include <QByteArray>
#include <QString>

/*!
    The system ANSI code page: how texts in stored files and on the wire
    become Unicode and back.

    The locale's character set decides it, unless the environment variable
    ANSI_CODEPAGE names another one (for example GBK, for files written on
    a Chinese desktop).
*/
namespace CodePage {

//! The name of the code page in force, as the converter knows it.
QString name();

QString toUnicode(QByteArrayView bytes);
QByteArray fromUnicode(QStringView text);

//! Chooses the code page by name; an empty name returns to the default.
//! Returns false, and changes nothing, when the name is unknown.
bool setName(const QString &name);

} // namespace CodePage
