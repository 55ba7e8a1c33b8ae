#include "LeadingNumber.h"

#include <QByteArray>
#include <QLocale>

double LeadingNumber(QStringView text)
{
    enum Stage { Sign, Whole, Fraction, ExponentSign, Exponent };
    Stage stage = Sign;
    QByteArray number;
    bool mantissaDigits = false;
    bool exponentDigits = false;
    qsizetype exponentAt = -1;

    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        const bool digit = c >= u'0' && c <= u'9';
        if (stage == Sign) {
            stage = Whole;
            if (c == u'+' || c == u'-') {
                number += char(c);
                continue;
            }
        }
        if (digit) {
            number += char(c);
            if (stage == ExponentSign)
                stage = Exponent;
            (stage == Exponent ? exponentDigits : mantissaDigits) = true;
        } else if (c == u'.' && stage == Whole) {
            number += '.';
            stage = Fraction;
        } else if ((c == u'e' || c == u'E' || c == u'd' || c == u'D')
                   && (stage == Whole || stage == Fraction) && mantissaDigits) {
            exponentAt = number.size();
            number += 'e';
            stage = ExponentSign;
        } else if ((c == u'+' || c == u'-') && stage == ExponentSign) {
            number += char(c);
            stage = Exponent;
        } else {
            break;
        }
    }
    if (!mantissaDigits)
        return 0;
    if (exponentAt >= 0 && !exponentDigits)
        number.truncate(exponentAt);
    bool ok = false;
    const double value = QLocale::c().toDouble(QString::fromLatin1(number), &ok);
    if (ok)
        return value;
    // Out of double's range: keep the sign, let the caller's conversion overflow.
    return number.startsWith('-') ? -qInf() : qInf();
}
