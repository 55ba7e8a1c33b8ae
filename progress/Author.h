#pragma once

#include <QString>

class QWidget;

namespace ScheduleControl {

/*!
    The author information compiled into the bar, and the shell requests
    that open a mail to the author or the author's home page.
*/
namespace Author {

QString name();     //!< "Tolvar"
QString mail();     //!< the contact mail address
QString homePage(); //!< the home page address

//! Asks the shell to "open" mailto: and the address, with \a parent as owner.
void writeLetter(QWidget *parent);
//! Asks the shell to "open" the home page, with \a parent as owner.
void visitHomePage(QWidget *parent);

} // namespace Author
} // namespace ScheduleControl
