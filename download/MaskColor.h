#pragma once

#include <QColor>

//! The colour of the download controls' pictures that the container draws transparent.
inline QColor downloadMaskColor()
{
    return QColor(255, 252, 255);
}
