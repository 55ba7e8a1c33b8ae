#include "Picture.h"

#include "SystemError.h"

#include <QFileInfo>

Picture::Picture(const QPixmap &pixmap, const QString &path)
    : d(std::make_shared<const Data>(Data{pixmap, path}))
{
}

Picture Picture::load(const QString &path)
{
    if (!QFileInfo::exists(path))
        throw SystemError(SystemError::FileNotFound, QStringLiteral("File not found: %1").arg(path));
    QPixmap pixmap;
    if (!pixmap.load(path))
        throw SystemError(481, QStringLiteral("Invalid picture"));
    return Picture(pixmap, QFileInfo(path).absoluteFilePath());
}

QPixmap Picture::pixmap() const
{
    return d ? d->pixmap : QPixmap();
}

QString Picture::path() const
{
    return d ? d->path : QString();
}
