#include "ControlLoader.h"

#include "ControlLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

static QStringList suiteLibrariesFor(const QString &className)
{
    if (className == QLatin1String("ZuHTTPdownload") || className == QLatin1String("ZuFTPDownLoad"))
        return {QStringLiteral("zudownload")};
    if (className == QLatin1String("Schedule"))
        return {QStringLiteral("Schedule")};
    return {QStringLiteral("zudownload"), QStringLiteral("Schedule")};
}

QStringList ControlLoader::candidates(const QString &className) const
{
    QStringList result = m_libraries;
    QStringList folders;
    const QString fromEnvironment = qEnvironmentVariable("CTLHOST_LIBRARY_PATH");
    for (const QString &entry : fromEnvironment.split(u':', Qt::SkipEmptyParts)) {
        if (QFileInfo(entry).isDir())
            folders.append(entry);
        else
            result.append(entry);
    }
    const QString appDir = QCoreApplication::applicationDirPath();
    folders.append(QDir::cleanPath(appDir + QLatin1Char('/') + QStringLiteral(CTLHOST_LIBDIR_FROM_BINDIR)));
    folders.append(appDir);
    if (QFileInfo(appDir) == QFileInfo(QStringLiteral(CTLHOST_BUILD_DIR))) {
        for (const QString &dir : QStringLiteral(CTLHOST_BUILD_LIBRARY_DIRS).split(u':', Qt::SkipEmptyParts))
            folders.append(dir);
    }
    for (const QString &folder : std::as_const(folders)) {
        for (const QString &name : suiteLibrariesFor(className)) {
            const QString path = folder + QLatin1String("/lib") + name + QLatin1String(".so");
            if (QFileInfo::exists(path))
                result.append(QFileInfo(path).absoluteFilePath());
        }
    }
    result.removeDuplicates();
    return result;
}

const ControlClass *ControlLoader::find(const QString &className, QString *error) const
{
    QStringList tried;
    const QByteArray name = className.toUtf8();
    for (const QString &path : candidates(className)) {
        QLibrary library(path);
        if (!library.load()) {
            tried.append(library.errorString());
            continue;
        }
        const auto classes = reinterpret_cast<SuiteControlClassesFunction>(
            library.resolve(SUITE_CONTROL_ENTRY_POINT));
        if (!classes) {
            tried.append(QStringLiteral("%1: no %2").arg(path, QLatin1String(SUITE_CONTROL_ENTRY_POINT)));
            continue;
        }
        if (const ControlClass *found = findControlClass(classes, name.constData()))
            return found;
        tried.append(QStringLiteral("%1: no class %2").arg(path, className));
    }
    if (error) {
        *error = tried.isEmpty()
            ? QStringLiteral("no control library found for %1 (use --library PATH)").arg(className)
            : QStringLiteral("class %1 not found:\n  %2").arg(className, tried.join(QLatin1String("\n  ")));
    }
    return nullptr;
}
