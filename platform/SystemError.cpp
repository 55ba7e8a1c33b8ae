#include "SystemError.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

SystemError::SystemError(int number)
    : SystemError(number, standardText(number))
{
}

SystemError::SystemError(int number, const QString &description)
    : m_number(number)
    , m_description(description)
    , m_what(description.toUtf8())
{
}

// Out of line, so that the class's vtable and type information live in this library alone.
const char *SystemError::what() const noexcept
{
    return m_what.constData();
}

QString SystemError::standardText(int number)
{
    switch (number) {
    case InvalidProcedureCall: return QStringLiteral("Invalid procedure call or argument");
    case Overflow: return QStringLiteral("Overflow");
    case OutOfMemory: return QStringLiteral("Out of memory");
    case SubscriptOutOfRange: return QStringLiteral("Subscript out of range");
    case DivisionByZero: return QStringLiteral("Division by zero");
    case TypeMismatch: return QStringLiteral("Type mismatch");
    case UserInterrupt: return QStringLiteral("User interrupt occurred");
    case InternalError: return QStringLiteral("Internal error");
    case BadFileNameOrNumber: return QStringLiteral("Bad file name or number");
    case FileNotFound: return QStringLiteral("File not found");
    case BadFileMode: return QStringLiteral("Bad file mode");
    case FileAlreadyOpen: return QStringLiteral("File already open");
    case DeviceIOError: return QStringLiteral("Device I/O error");
    case FileAlreadyExists: return QStringLiteral("File already exists");
    case BadRecordLength: return QStringLiteral("Bad record length");
    case DiskFull: return QStringLiteral("Disk full");
    case InputPastEndOfFile: return QStringLiteral("Input past end of file");
    case TooManyFiles: return QStringLiteral("Too many files");
    case PermissionDenied: return QStringLiteral("Permission denied");
    case PathFileAccessError: return QStringLiteral("Path/File access error");
    case PathNotFound: return QStringLiteral("Path not found");
    case InvalidPropertyValue: return QStringLiteral("Invalid property value");
    case FormAlreadyShown: return QStringLiteral("Form already displayed; can't show modally");
    case ReadOnlyProperty: return QStringLiteral("Can't assign to read-only property");
    case NoSuchMember: return QStringLiteral("Object doesn't support this property or method");
    case WrongArguments: return QStringLiteral("Wrong number of arguments or invalid property assignment");
    case InvalidPicture: return QStringLiteral("Invalid picture");
    }
    return QStringLiteral("Application-defined or object-defined error");
}

int SystemError::numberForErrno(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return PermissionDenied;
    case ENOENT:
        return FileNotFound;
    case ENOTDIR:
    case ELOOP:
        return PathNotFound;
    case EISDIR:
        return PathFileAccessError;
    case ENAMETOOLONG:
        return BadFileNameOrNumber;
    case EEXIST:
        return FileAlreadyExists;
    case EMFILE:
    case ENFILE:
        return TooManyFiles;
    case ENOMEM:
        return OutOfMemory;
    }
    return DeviceIOError;
}

SystemError SystemError::fromErrno(int error, const QString &path)
{
    int number = numberForErrno(error);
    if (number == FileNotFound && !path.isEmpty() && !QFileInfo(path).absoluteDir().exists())
        number = PathNotFound;
    if (path.isEmpty())
        return SystemError(number);
    return SystemError(number, QStringLiteral("%1: %2").arg(standardText(number), path));
}
