#pragma once

#include "SystemError.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

/*!
    Told the bytes joined so far and the total while a join copies; a
    false return stops the join. \a stoppable turns false for the last
    step, the copy into an output that keeps its identity (see
    ReplacementFile), which only completes; the answer is ignored then.
*/
using JoinProgress = std::function<bool(qint64 joined, qint64 total, bool stoppable)>;

/*!
    Joins the pieces named by the stencil at \a stencilPath into the file
    \a outputPath and returns true.

    Piece i (1 to PieceCount) is BaseName + "." + the number
    FirstNumber + i - 1 zero-padded to three digits. A relative BaseName
    counts from the current directory. The pieces come from one folder:
    all from the stored BaseName when all are there, else all from beside
    the stencil under the last component of BaseName (a stencil written
    on another machine) when all are there.

    Only regular files are read. Every piece is checked (present, a sound
    header, as long as it declares) and the output is made sure to be
    none of the inputs before anything is written; the data are then
    streamed into a ReplacementFile, so a failure leaves an existing
    output exactly as it was. \a progress, when given, follows the copy
    and may stop it up to the moment the data are on disk and ready to
    take the output's place (it is asked once more then).

    Failures throw SystemError: 9 when the stencil names no pieces
    (a missing stencil included; it is not created), 6 when a piece number
    leaves the 32-bit range, 53 for a missing piece, 62 for a short one,
    59 for a malformed piece header, 75 for an input that is no regular
    file, 55 for an output that is one of the inputs, 18 when \a progress
    stopped the join, and the file errors of the stencil and the output.
    File names in the descriptions are shown readable (see
    Stencil::readable()).
*/
bool UnsplitFile(const QString &stencilPath, const QString &outputPath,
                 const JoinProgress &progress = {});

namespace Stencil {

//! \a number under the pattern "00#": at least three digits, a minus sign
//! in front of negative numbers.
QString pieceNumberText(qint32 number);

//! The number of piece \a index (1-based); throws SystemError(6) outside
//! the 32-bit range.
qint32 pieceNumber(qint32 firstNumber, int index);

//! The last component of \a baseName, whichever separator it uses.
QString lastComponent(const QString &baseName);

//! \a bytes decoded with the code page for showing: a byte that does not
//! decode becomes a lone surrogate that readable() shows as \\xNN.
QString decodeForDisplay(QByteArrayView bytes);

//! \a name with control characters and undecodable bytes written as \\xNN,
//! and invisible format characters (direction overrides) as \\uNNNN.
QString readable(QStringView name);

//! One piece as a join would find it.
struct PieceCheck
{
    QString shown;
    //! 0 when the piece is sound, else the error a join raises for it.
    int error = 0;
    QString description;
    qint64 dataSize = 0;
};

//! What a join of a stencil would find, without writing anything.
struct Inspection
{
    //! The folder the pieces are taken from, as shown.
    QString folder;
    //! Every piece the stencil names, in that folder.
    QList<PieceCheck> pieces;
    //! The error UnsplitFile() would raise; none when the join would succeed.
    std::optional<SystemError> failure;
};

/*!
    Looks at the stencil \a stencilPath and every piece it names as
    UnsplitFile() does, with the same errors, but goes on past a bad piece.
    When no folder holds all pieces, the pieces are those of the folder
    that holds the most in a row. Throws what UnsplitFile() throws for the
    stencil itself (9, 6 and the file errors).
*/
Inspection inspect(const QString &stencilPath);

} // namespace Stencil
