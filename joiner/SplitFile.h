#pragma once

#include "UnsplitFile.h"

#include <QString>
#include <QStringList>

#include <optional>

/*!
    Splits the file at \a filePath into numbered pieces of \a pieceSize
    bytes each (the last one shorter) and writes the stencil that names
    them to \a stencilPath, in the formats UnsplitFile() joins.

    The pieces go beside the stencil, named after the file: NAME.001,
    NAME.002, ... (FirstNumber 1), each holding the piece header, at most
    \a pieceSize - 14 bytes of the file and the trailing value. The stencil
    stores the pieces' absolute base path in the code page. An empty file
    gives one empty piece.

    Everything the formats cannot hold is refused before anything is
    written: a piece size below 15 bytes or above 2 GiB - 1, more than
    32767 pieces, a base name the code page cannot write or longer than
    65535 bytes. An existing stencil or piece is never replaced. Each piece
    appears complete or not at all, and the stencil comes last; a failure
    or a stop removes the pieces already written.

    Returns the pieces' paths. \a progress follows the copy (stoppable
    throughout). Failures throw
    SystemError: 5 for what the formats cannot hold, 58 for a name that
    exists, 75 for an input that is no regular file, 18 when stopped, and
    the file errors.
*/
QStringList SplitFile(const QString &filePath, qint64 pieceSize, const QString &stencilPath,
                      const JoinProgress &progress = {});

namespace Split {

//! Bytes a piece file holds besides its share of the data.
constexpr qint64 PieceOverhead = 14;
//! The largest piece file: its data count is a signed 32-bit number.
constexpr qint64 MaxPieceSize = 2147483647;
constexpr qint64 MinPieceSize = PieceOverhead + 1;
//! The stencil's piece count is a signed 16-bit number.
constexpr int MaxPieces = 32767;

/*!
    A size as the command line gives it: a number, possibly with a
    fraction, and a unit K, M or G (also KiB, MiB, GiB) counting 1024,
    or KB, MB, GB counting 1000; none means bytes. Letter case does not
    matter; a fraction of a byte is dropped. Empty when \a text is no size.
*/
std::optional<qint64> parseSize(QStringView text);

//! The stencil a split of \a filePath writes when none is named: the file's path with ".kvs".
QString defaultStencil(const QString &filePath);

} // namespace Split
