#pragma once

#include "SystemError.h"
#include "UnsplitFile.h"

#include <QString>

#include <functional>

/*!
    One combine as the join window runs it: the join, its outcome as a
    message, and for a compressed join the unpacking of the joined cabinet
    with the EXTRACT program beside tessal.

    The messages go to a reporter, in order, so the window shows them in
    message boxes and the command line prints them. The extraction runs in
    a private temporary folder (TMP1.cab, TMP.TMP) that is removed
    afterwards; the unpacked file replaces the output only once complete.
    While EXTRACT runs the event loop runs too. When the extraction fails
    the output keeps the joined cabinet and an error message says why. A
    join or an extraction that was stopped reports nothing.
*/
class Combiner
{
public:
    enum class Icon { Information, Critical };
    struct Message
    {
        Icon icon = Icon::Information;
        QString text;
        QString title;
    };
    using Reporter = std::function<void(const Message &)>;

    explicit Combiner(Reporter reporter);

    //! The text the window shows for a join that failed with  error.
    static QString messageFor(const SystemError &error);

    //! The extraction program; by default EXTRACT beside tessal, or in the
    //! libexec folder of tessal's installation.
    QString extractProgram() const;
    void setExtractProgram(const QString &path) { m_extractProgram = path; }

    //! Follows the join and may stop it (see UnsplitFile()).
    void setProgress(const JoinProgress &progress) { m_progress = progress; }

    //! Asked while the joined cabinet is unpacked, at least ten times a
    //! second while EXTRACT runs; a false return stops the unpacking (EXTRACT
    //! is killed) and the output keeps the joined cabinet.
    void setExtracting(const std::function<bool()> &goOn) { m_extracting = goOn; }

    //! Joins \a stencilPath into \a outputPath and, when \a compressed,
    //! unpacks the result. Returns false when the join or the extraction
    //! failed.
    bool combine(const QString &stencilPath, const QString &outputPath, bool compressed);

private:
    //! Returns an empty text on success, otherwise the reason of the failure.
    //! Throws SystemError(18) when stopped.
    QString extract(const QString &outputPath);
    //! Runs EXTRACT on \a cabinet; an empty text when it wrote \a unpacked.
    QString runExtract(const QString &cabinet, const QString &unpacked, const QString &outputPath);
    bool extractionGoesOn() const { return !m_extracting || m_extracting(); }

    Reporter m_reporter;
    QString m_extractProgram;
    JoinProgress m_progress;
    std::function<bool()> m_extracting;
};
