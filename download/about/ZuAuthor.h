#pragma once

#include <QString>

class QWidget;

/*!
    The author-information members both download controls carry: fixed
    values, and the shell requests that open a mail or the home page.
*/
class ZuAuthor
{
public:
    static QString writer();   //!< "Tolvar"
    static QString email();    //!< the author's mail address
    static QString homePage(); //!< the author's home page
    static void writeLetter(QWidget *parent);   //!< shell "open" on mailto:
    static void visitHomePage(QWidget *parent); //!< shell "open" on the home page
};
