#pragma once

#include "Shell.h"

#include <QString>

/*!
    The author information every control of the suite carries, the shell
    requests that open a mail to the author or the author's home page, and
    the texts the about boxes share.
*/
namespace AuthorInfo {

inline QString name() { return QStringLiteral("Tolvar"); }
inline QString mail() { return QStringLiteral("tolvar@zudl.org"); }
inline QString homePage() { return QStringLiteral("http://www.zudownload.org/"); }

//! Asks the shell to "open" mailto: and the address, with \a parent as owner.
//! The shell's answer is not examined: no mail program is not an error.
inline void writeLetter(QWidget *parent)
{
    Shell::execute(QStringLiteral("open"), QStringLiteral("mailto:") + mail(), parent);
}

//! Asks the shell to "open" the home page, with \a parent as owner.
inline void visitHomePage(QWidget *parent)
{
    Shell::execute(QStringLiteral("open"), homePage(), parent);
}

//! The about boxes' window title, OK button and form font family.
inline QString aboutTitle() { return QStringLiteral("关于"); }
inline QString okText() { return QStringLiteral("确定(&T)"); }
inline QString formFontFamily() { return QStringLiteral("宋体"); }

} // namespace AuthorInfo
