#include "Author.h"

#include "Shell.h"

namespace ScheduleControl::Author {

QString name()
{
    return QStringLiteral("Tolvar");
}

QString mail()
{
    return QStringLiteral("tolvar@zudl.org");
}

QString homePage()
{
    return QStringLiteral("http://www.zudownload.org/");
}

void writeLetter(QWidget *parent)
{
    // The shell's answer is not examined: no mail program is not an error.
    Shell::execute(QStringLiteral("open"), QStringLiteral("mailto:") + mail(), parent);
}

void visitHomePage(QWidget *parent)
{
    Shell::execute(QStringLiteral("open"), homePage(), parent);
}

} // namespace ScheduleControl::Author
