#pragma once

#include <QString>

/*!
    Joins the pieces named by the stencil at \a stencilPath into the file
    \a outputPath and returns true.

    Piece i (1 to PieceCount) is BaseName + "." + the number
    FirstNumber + i - 1 zero-padded to three digits. A relative BaseName
    counts from the current directory. When a piece is not found there,
    it is looked for beside the stencil under the last component of
    BaseName (a stencil written on another machine).

    Every piece is checked (present, a sound header, as long as it
    declares) before anything is written; the data are then streamed into
    a temporary file beside \a outputPath that replaces it at the end, so
    a failure leaves an existing output exactly as it was.

    Failures throw SystemError: 9 when the stencil names no pieces
    (a missing stencil included; it is not created), 6 when a piece number
    leaves the 32-bit range, 53 for a missing piece, 62 for a short one,
    59 for a malformed piece header, and the file errors of the stencil
    and the output.
*/
bool UnsplitFile(const QString &stencilPath, const QString &outputPath);

namespace Stencil {

//! \a number under the pattern "00#": at least three digits, a minus sign
//! in front of negative numbers.
QString pieceNumberText(qint32 number);

//! The number of piece \a index (1-based); throws SystemError(6) outside
//! the 32-bit range.
qint32 pieceNumber(qint32 firstNumber, int index);

//! The last component of \a baseName, whichever separator it uses.
QString lastComponent(const QString &baseName);

} // namespace Stencil
