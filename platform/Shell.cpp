#include "Shell.h"

#include <QDesktopServices>
#include <QUrl>

static Shell::Handler &handler()
{
    static Shell::Handler h;
    return h;
}

bool Shell::execute(const QString &verb, const QString &target, QWidget *parent)
{
    if (const Handler &h = handler())
        return h(verb, target, parent);
    if (verb != QLatin1String("open"))
        return false;
    return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

Shell::Handler Shell::setHandler(Handler h)
{
    return std::exchange(handler(), std::move(h));
}
