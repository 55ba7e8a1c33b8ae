#pragma once

#include "tessalhosting_export.h"

#include <QMetaType>
#include <QPixmap>
#include <QString>

#include <memory>

/*!
    A picture object shared between a host and the controls that show it.

    Copies refer to the same picture; two Pictures are equal when they are
    the same object. A null Picture is "no picture".
*/
class TESSALHOSTING_EXPORT Picture
{
public:
    Picture() = default;
    explicit Picture(const QPixmap &pixmap, const QString &path = QString());

    //! Loads the picture file at \a path; throws SystemError when it cannot,
    //! naming the file when it is missing or not a regular file.
    static Picture load(const QString &path);

    bool isNull() const { return !d; }
    QPixmap pixmap() const;
    //! The file the picture was loaded from, empty for one made in memory.
    QString path() const;

    friend bool operator==(const Picture &a, const Picture &b) { return a.d == b.d; }

private:
    struct Data {
        QPixmap pixmap;
        QString path;
    };
    std::shared_ptr<const Data> d;
};

Q_DECLARE_METATYPE(Picture)
