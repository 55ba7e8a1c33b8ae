#pragma once

#include "../../TestFiles.h"
#include "ZuFTPDownLoad.h"

#include <QSignalSpy>

#include <memory>

/*!
    A shown FTP control with spies on its events. errors holds each OnError
    as "number description"; countAtEnd is HsDown() as a host reads it inside Ended.
*/
struct FtpSession {
    std::unique_ptr<ZuFTPDownLoad> control = std::make_unique<ZuFTPDownLoad>();
    QStringList errors;
    QSignalSpy sizes {control.get(), &ZuFTPDownLoad::UrlOK};
    QSignalSpy chunks {control.get(), &ZuFTPDownLoad::GetedData};
    QSignalSpy ended {control.get(), &ZuFTPDownLoad::Ended};
    qint64 countAtEnd = -1;

    FtpSession()
    {
        control->show();
        QObject::connect(control.get(), &ZuFTPDownLoad::OnError, control.get(),
                         [this](qint16 number, const QString &text) { errors << QString::number(number) + u' ' + text; });
        QObject::connect(control.get(), &ZuFTPDownLoad::Ended, control.get(),
                         [this] { countAtEnd = control->HsDown(); });
    }
};
