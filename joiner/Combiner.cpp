#include "Combiner.h"

#include "BlockCopy.h"
#include "ReplacementFile.h"
#include "SystemError.h"
#include "UnsplitFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <new>

namespace {

QString errorTitle()
{
    return QStringLiteral("错误 Error");
}

QString tipsTitle()
{
    return QStringLiteral("提示 Tips");
}

QString stencilNameErrorText()
{
    return QStringLiteral("Stencil file name error 模板文件文件名错误！！！");
}

QString combineSucceedText()
{
    return QStringLiteral("Combine succeed 结合成功！！！");
}

QString extractionFailedText(const QString &reason)
{
    return QStringLiteral("解压缩失败 Extraction failed: ") + reason;
}

} // namespace

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

QString Combiner::messageFor(const SystemError &error)
{
    return error.number() == SystemError::SubscriptOutOfRange ? stencilNameErrorText()
                                                              : error.description();
}

bool Combiner::combine(const QString &stencilPath, const QString &outputPath, bool compressed)
{
    try {
        UnsplitFile(stencilPath, outputPath, m_progress);
    } catch (const SystemError &error) {
        if (error.number() == SystemError::UserInterrupt)
            return false;
        m_reporter({Icon::Critical, messageFor(error), errorTitle()});
        return false;
    } catch (const std::bad_alloc &) {
        m_reporter({Icon::Critical, SystemError::standardText(SystemError::OutOfMemory),
                    errorTitle()});
        return false;
    }
    m_reporter({Icon::Information, combineSucceedText(), tipsTitle()});
    if (!compressed)
        return true;

    QString reason;
    try {
        reason = extract(outputPath);
    } catch (const SystemError &error) {
        if (error.number() == SystemError::UserInterrupt)
            return false;
        reason = error.description();
    }
    if (reason.isEmpty())
        return true;
    m_reporter({Icon::Critical, extractionFailedText(reason), errorTitle()});
    return false;
}

QString Combiner::extract(const QString &outputPath)
{
    const auto step = [this](qint64) { return extractionGoesOn(); };
    if (!extractionGoesOn())
        throw SystemError(SystemError::UserInterrupt);
    const QTemporaryDir folder;
    if (!folder.isValid())
        return QStringLiteral("cannot create a temporary folder: %1").arg(folder.errorString());
    const QString cabinet = folder.filePath(QStringLiteral("TMP1.cab"));
    const QString unpacked = folder.filePath(QStringLiteral("TMP.TMP"));

    try {
        QFile joined(outputPath);
        QFile copy(cabinet);
        if (!joined.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot copy %1: %2").arg(outputPath, joined.errorString());
        if (!copy.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return QStringLiteral("cannot copy %1: %2").arg(outputPath, copy.errorString());
        copyBlocks(joined, 0, copy, joined.size(), step, {outputPath, cabinet});
    } catch (const SystemError &error) {
        if (error.number() == SystemError::UserInterrupt)
            throw;
        const QString why = error.description().replace(cabinet, QStringLiteral("a temporary file"));
        return QStringLiteral("cannot copy %1: %2").arg(outputPath, why);
    }

    const QString failure = runExtract(cabinet, unpacked, outputPath);
    if (!failure.isEmpty())
        return failure;

    QFile source(unpacked);
    if (!source.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the unpacked file: %1").arg(source.errorString());
    ReplacementFile output(outputPath);
    output.open();
    copyBlocks(source, 0, output.file(), source.size(), step, {unpacked, output.shownName()});
    output.prepare();
    if (!extractionGoesOn())
        throw SystemError(SystemError::UserInterrupt);
    output.commit();
    return {};
}

QString Combiner::runExtract(const QString &cabinet, const QString &unpacked, const QString &outputPath)
{
    const QString program = extractProgram();
    const QString name = QFileInfo(program).fileName();
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

    // The window stays alive while EXTRACT works, and a stop kills it; its
    // half-written file goes with the temporary folder.
    bool stopped = false;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(100);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (!stopped && !extractionGoesOn()) {
            stopped = true;
            process.kill();
        }
    });
    tick.start();
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    tick.stop();
    // Ctrl-C on a terminal reaches EXTRACT too: it may have ended before the tick saw the stop.
    if (stopped || !extractionGoesOn())
        throw SystemError(SystemError::UserInterrupt);

    // The temporary cabinet is gone by the time the message is read: name the output instead.
    const QString message = QString::fromLocal8Bit(process.readAllStandardError())
                                    .trimmed()
                                    .replace(cabinet, outputPath);
    if (process.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("%1 crashed").arg(name);
    if (process.exitCode() != 0) {
        if (!message.isEmpty())
            return message;
        return QStringLiteral("%1 exited with code %2").arg(name).arg(process.exitCode());
    }
    if (!QFileInfo(unpacked).isFile())
        return QStringLiteral("%1 wrote no file").arg(name);
    return {};
}
