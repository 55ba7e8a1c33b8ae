#pragma once

#include <QString>
#include <QStringView>

#include <optional>

/*
    Readers of the numbers that FTP replies carry. They take whatever a
    server sent: a reply of the wrong shape throws SystemError, as the
    control reports it through OnError.
*/

/*!
    The code of a reply: its first three characters when they are digits
    and no fourth digit follows, as "550 113: No such file" gives 550;
    0 for a line that carries no code.
*/
int replyCode(QStringView reply);

//! Where a 227 reply asks the data connection to go.
struct FtpPassiveAddress {
    QString host;
    qint32 port = 0;
};

/*!
    The address in a 227 reply, "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)":
    the host h1.h2.h3.h4 and the port p1 * 256 + p2. Without "(" the text from
    the start of the reply counts. Throws SystemError 5 without ")" after the
    "(" or with fewer than two commas between them, 6 for a port beyond 32 bits.
    The port is not checked against the range of ports.
*/
FtpPassiveAddress parsePassiveReply(QStringView reply);

/*!
    The port in a 229 reply, "229 Entering Extended Passive Mode (|||6446|)":
    between "(" and ")" three delimiters, the port and the delimiter again.
    Throws SystemError 5 for any other shape or a port outside 1..65535.
*/
qint32 parseExtendedPassiveReply(QStringView reply);

/*!
    The size a 150 reply names in brackets, as "150 Opening BINARY mode data
    connection for f.bin (4096 bytes)."; nothing without both brackets.
    Throws SystemError 5 when ")" comes before "(", 6 beyond 64 bits.
*/
std::optional<qint64> transferSizeFromReply(QStringView reply);

/*!
    The size a 213 reply to SIZE gives, as "213 4096"; nothing when the text
    after the code does not start with digits or is past 63 bits.
*/
std::optional<qint64> sizeFromSizeReply(QStringView reply);

/*!
    The size in the text of a long listing, "-rw-r--r-- 1 ftp ftp 4096 Dec 06 f.bin":
    the number after the fourth blank that is followed by another character.
    Nothing when the text has fewer such places. Throws SystemError 6 beyond 64 bits.
*/
std::optional<qint64> sizeFromListing(QStringView listing);
