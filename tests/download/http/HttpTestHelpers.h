#pragma once

#include "../../TestFiles.h"
#include "Winsock.h"

#include <QList>
#include <QSignalSpy>
#include <QTimer>
#include <QVariant>

// Events the HTTP tests share.

using Events = QList<QVariantList>;

// What GetedData events handed over (texts as UTF-8), or a note of the
// first event not in \a format (1: text chunks, 2: single bytes).
inline QByteArray streamed(const QList<QVariantList> &events, int format)
{
    QByteArray bytes;
    for (const QVariantList &event : events) {
        const bool byte = event.at(0).metaType() == QMetaType::fromType<uchar>();
        if (event.at(1).toInt() != format || byte != (format == 2))
            return "(format " + event.at(1).toByteArray() + ")";
        bytes += byte ? QByteArray(1, char(event.at(0).value<uchar>())) : event.at(0).toString().toUtf8();
    }
    return bytes;
}

// Nothing can raise an event any more: the watchdog is off and both connections are down.
inline bool idle(const QObject &control)
{
    for (const QString &name : {QStringLiteral("Wk"), QStringLiteral("Ws")}) {
        const qint16 state = control.findChild<Winsock *>(name)->State();
        if (state != Winsock::Closed && state != Winsock::Error)
            return false;
    }
    return !control.findChild<QTimer *>(QStringLiteral("Timer1"))->isActive();
}
