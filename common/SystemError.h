#pragma once

#include "TessalExport.h"

#include <QString>
#include <exception>

/*!
    A failure that reaches the caller with a number and a description text,
    as the classic runtime numbers them (6 overflow, 9 subscript out of
    range, 53 file not found, 380 invalid property value, ...).

    Synchronous failures throw it; the control boundary catches it and hands
    it to the host.
*/
class TESSAL_EXPORT SystemError : public std::exception
{
public:
    enum Number : int {
        InvalidProcedureCall = 5,
        Overflow = 6,
        OutOfMemory = 7,
        SubscriptOutOfRange = 9,
        DivisionByZero = 11,
        TypeMismatch = 13,
        UserInterrupt = 18,
        InternalError = 51,
        BadFileNameOrNumber = 52,
        FileNotFound = 53,
        BadFileMode = 54,
        FileAlreadyOpen = 55,
        DeviceIOError = 57,
        FileAlreadyExists = 58,
        BadRecordLength = 59,
        DiskFull = 61,
        InputPastEndOfFile = 62,
        TooManyFiles = 67,
        PermissionDenied = 70,
        PathFileAccessError = 75,
        PathNotFound = 76,
        InvalidPropertyValue = 380,
        InvalidPicture = 481,
    };

    explicit SystemError(int number);
    SystemError(int number, const QString &description);

    int number() const { return m_number; }
    QString description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

    //! The runtime's standard English text for \a number.
    static QString standardText(int number);

private:
    int m_number = 0;
    QString m_description;
    QByteArray m_what;
};
