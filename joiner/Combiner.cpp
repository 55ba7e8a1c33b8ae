#include "Combiner.h"

#include "BlockCopy.h"
#include "ReplacementFile.h"
#include "SystemError.h"
#include "UnsplitFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <new>

Combiner::Combiner(Reporter reporter)
    : m_reporter(std::move(reporter))
{
}

QString Combiner::extractProgram() const
{
    if (!m_extractProgram.isEmpty())
        return m_extractProgram;
    // Beside tessal in a build tree; installed, in tessal's own libexec folder.
    const QDir own(QCoreApplication::applicationDirPath());
    const QString beside = own.filePath(QStringLiteral("EXTRACT"));
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(own.filePath(QStringLiteral(TESSAL_BIN_TO_LIBEXEC "/EXTRACT")));
}

bool Combiner::combine(const QString &stencilPath, const QString &outputPath, bool compressed)
{
    try {
        UnsplitFile(stencilPath, outputPath, m_progress);
    } catch (const SystemError &error) {
        if (error.number() == SystemError::UserInterrupt)
            return false;
        const QString text = error.number() == SystemError::SubscriptOutOfRange
                ? StencilNameError.toString()
                : error.description();
        m_reporter({Icon::Critical, text, ErrorTitle.toString()});
        return false;
    } catch (const std::bad_alloc &) {
        m_reporter({Icon::Critical, SystemError::standardText(SystemError::OutOfMemory),
                    ErrorTitle.toString()});
        return false;
    }
    m_reporter({Icon::Information, CombineSucceed.toString(), TipsTitle.toString()});
    if (!compressed)
        return true;

    const QString reason = extract(outputPath);
    if (reason.isEmpty())
        return true;
    m_reporter({Icon::Critical, ExtractionFailed.toString() + reason, ErrorTitle.toString()});
    return false;
}

QString Combiner::extract(const QString &outputPath)
{
    const QTemporaryDir folder;
    if (!folder.isValid())
        return QStringLiteral("cannot create a temporary folder: %1").arg(folder.errorString());
    const QString cabinet = folder.filePath(QStringLiteral("TMP1.cab"));
    const QString unpacked = folder.filePath(QStringLiteral("TMP.TMP"));

    {
        QFile joined(outputPath);
        if (!joined.copy(cabinet))
            return QStringLiteral("cannot copy %1: %2").arg(outputPath, joined.errorString());
    }

    const QString program = extractProgram();
    if (!QFileInfo(program).isFile())
        return QStringLiteral("%1 not found").arg(QDir::toNativeSeparators(program));

    QProcess process;
    process.setProgram(program);
    process.setArguments({cabinet, unpacked});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(-1))
        return QStringLiteral("cannot start %1: %2").arg(program, process.errorString());
    process.waitForFinished(-1);
    // The temporary cabinet is gone once this returns: name the output instead.
    const QString message = QString::fromLocal8Bit(process.readAllStandardError())
                                    .trimmed()
                                    .replace(cabinet, outputPath);
    if (process.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("%1 crashed").arg(QFileInfo(program).fileName());
    if (process.exitCode() != 0) {
        if (!message.isEmpty())
            return message;
        return QStringLiteral("%1 exited with code %2")
                .arg(QFileInfo(program).fileName())
                .arg(process.exitCode());
    }
    if (!QFileInfo(unpacked).isFile())
        return QStringLiteral("%1 wrote no file").arg(QFileInfo(program).fileName());

    try {
        QFile source(unpacked);
        if (!source.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot read the unpacked file: %1").arg(source.errorString());
        ReplacementFile output(outputPath);
        output.open();
        copyBlocks(source, 0, output.file(), source.size());
        output.commit();
    } catch (const SystemError &error) {
        return QStringLiteral("cannot write %1: %2").arg(outputPath, error.description());
    }
    return {};
}
