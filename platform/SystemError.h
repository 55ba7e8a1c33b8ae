#pragma once

#include "tessalhosting_export.h"

#include <QString>
#include <exception>

/*!
    A failure that reaches the caller with a number and a description text,
    as the classic runtime numbers them (6 overflow, 9 subscript out of
    range, 53 file not found, 380 invalid property value, ...).

    The rule for errors throughout the suite:

    \list
    \li A failure is thrown as SystemError (std::bad_alloc aside) and travels
        only up the call it happened in. A function that throws says so in
        its documentation; nothing else throws.
    \li It stops at the boundary where that call entered the suite, which
        gives its caller what that caller expects:
        \list
        \li a host's call of a control member or a host notification:
            ControlBase::guarded() keeps it for the host to take
            (takeError()), or the member raises the control's error event
            where the member's documentation says so;
        \li a handler the event loop runs (socket, timer, input, painting):
            the control's error event, or nothing where the handler's
            documentation says a failure is ignored;
        \li a join: Combiner hands it to its reporter (a message box in the window; exit
            code 1 and one line on standard error for the command line);
        \li a ctlhost command: the {"ok": false} answer.
        \endlist
    \li No exception crosses Qt's event loop, a signal or a slot.
    \endlist
*/
class TESSALHOSTING_EXPORT SystemError : public std::exception
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
        FormAlreadyShown = 400,
        ReadOnlyProperty = 383,
        NoSuchMember = 438,
        WrongArguments = 450,
        InvalidPicture = 481,
    };

    explicit SystemError(int number);
    SystemError(int number, const QString &description);

    int number() const { return m_number; }
    QString description() const { return m_description; }
    const char *what() const noexcept override;

    //! The runtime's standard English text for \a number.
    static QString standardText(int number);

    /*!
        The suite's number for the system error \a error (an errno value),
        the one mapping from system errors that every file operation uses:
        61 for a full disk or quota, 70 for a refused permission or a
        read-only file system, 53 for a missing file, 76 for a missing
        folder, 75 for a folder where a file was expected, 67 for too many
        open files, 7 for lack of memory, 57 for any other failure.
    */
    static int numberForErrno(int error);

    /*!
        The failure \a error (an errno value) of an operation on \a path,
        with the standard text followed by the path when one is given. A
        missing file whose folder is missing too counts as a missing
        folder (76).
    */
    static SystemError fromErrno(int error, const QString &path = {});

private:
    int m_number = 0;
    QString m_description;
    QByteArray m_what;
};
