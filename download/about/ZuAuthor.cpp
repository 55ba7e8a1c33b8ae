#include "ZuAuthor.h"

#include "Shell.h"

QString ZuAuthor::writer()
{
    return QStringLiteral("Tolvar");
}

QString ZuAuthor::email()
{
    return QStringLiteral("tolvar@zudl.org");
}

QString ZuAuthor::homePage()
{
    return QStringLiteral("http://www.zudownload.org/");
}

void ZuAuthor::writeLetter(QWidget *parent)
{
    Shell::execute(QStringLiteral("open"), QStringLiteral("mailto:") + email(), parent);
}

void ZuAuthor::visitHomePage(QWidget *parent)
{
    Shell::execute(QStringLiteral("open"), homePage(), parent);
}
