#pragma once

#include "tessalhosting_export.h"

#include <QString>

#include <functional>

class QWidget;

/*!
    The desktop shell's "open": hands a mail address or a web page to the
    user's programs. A host or a test replaces it with setHandler() to
    record requests instead of running them.
*/
class TESSALHOSTING_EXPORT Shell
{
public:
    using Handler = std::function<bool(const QString &verb, const QString &target, QWidget *parent)>;

    //! Performs \a verb on \a target; the result says whether the shell took it.
    static bool execute(const QString &verb, const QString &target, QWidget *parent = nullptr);
    //! Installs \a handler (an empty one restores the desktop's); returns the previous one.
    static Handler setHandler(Handler handler);
};
