#pragma once

#include <QStringView>

/*!
    The number at the start of \a text, as a double.

    Leading blanks are skipped; blanks, tabs and line feeds among the digits
    are ignored; a fraction and an exponent are accepted; reading stops at
    the first other character. A text without a leading number gives 0.
*/
double LeadingNumber(QStringView text);
