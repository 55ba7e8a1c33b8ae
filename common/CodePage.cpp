#include "CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <clocale>
#include <langinfo.h>

namespace {

QString defaultName()
{
    const QByteArray fromEnv = qgetenv("ANSI_CODEPAGE");
    if (!fromEnv.isEmpty() && QStringDecoder(fromEnv.constData()).isValid())
        return QString::fromLatin1(fromEnv);
    // The locale's character set, as the C library sees it from the environment.
    const char *previous = std::setlocale(LC_CTYPE, nullptr);
    const QByteArray saved = previous ? QByteArray(previous) : QByteArray("C");
    std::setlocale(LC_CTYPE, "");
    const QByteArray charset = nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, saved.constData());
    if (charset.isEmpty() || charset == "ANSI_X3.4-1968")
        return QStringLiteral("UTF-8");
    return QString::fromLatin1(charset);
}

QString &current()
{
    static QString name = defaultName();
    return name;
}

} // namespace

QString CodePage::name()
{
    return current();
}

bool CodePage::setName(const QString &name)
{
    if (name.isEmpty()) {
        current() = defaultName();
        return true;
    }
    if (!QStringDecoder(name.toLatin1().constData()).isValid())
        return false;
    current() = name;
    return true;
}

QString CodePage::toUnicode(QByteArrayView bytes)
{
    QStringDecoder decoder(current().toLatin1().constData());
    return decoder.decode(bytes);
}

QByteArray CodePage::fromUnicode(QStringView text)
{
    QStringEncoder encoder(current().toLatin1().constData());
    return encoder.encode(text);
}
