#pragma once

#include "../../TestFiles.h"
#include "ZuFTPDownLoad.h"

#include <QRandomGenerator>
#include <QSignalSpy>

#include <memory>

/*!
    A shown FTP control with spies on its events. countAtEnd is HsDown() as
    a host reads it inside Ended.
*/
struct FtpSession {
    std::unique_ptr<ZuFTPDownLoad> control = std::make_unique<ZuFTPDownLoad>();
    QSignalSpy errors {control.get(), &ZuFTPDownLoad::OnError};
    QSignalSpy sizes {control.get(), &ZuFTPDownLoad::UrlOK};
    QSignalSpy chunks {control.get(), &ZuFTPDownLoad::GetedData};
    QSignalSpy ended {control.get(), &ZuFTPDownLoad::Ended};
    qint64 countAtEnd = -1;

    FtpSession()
    {
        control->show();
        QObject::connect(control.get(), &ZuFTPDownLoad::Ended, control.get(),
                         [this] { countAtEnd = control->HsDown(); });
    }
    int errorNumber(int i = 0) const { return errors.at(i).at(0).toInt(); }
    QString errorDescription(int i = 0) const { return errors.at(i).at(1).toString(); }
    //! All errors in one line, for failure messages.
    QByteArray errorText() const
    {
        QStringList list;
        for (const QList<QVariant> &e : errors)
            list << e.at(0).toString() + u' ' + e.at(1).toString();
        return list.join(u"; ").toUtf8();
    }
};

inline QByteArray randomBytes(qsizetype size, quint32 seed = 20261206)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}
