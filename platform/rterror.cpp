#include "platform/rterror.h"

namespace rt {

QString describe(int number)
{
    switch (number) {
    case ErrIllegalCall: return QStringLiteral("Invalid procedure call or argument");
    case ErrOverflow: return QStringLiteral("Overflow");
    case ErrOutOfMemory: return QStringLiteral("Out of memory");
    case ErrInternal: return QStringLiteral("Internal error");
    case ErrSubscript: return QStringLiteral("Subscript out of range");
    case ErrDivisionByZero: return QStringLiteral("Division by zero");
    case ErrTypeMismatch: return QStringLiteral("Type mismatch");
    case ErrBadFileNumber: return QStringLiteral("Bad file name or number");
    case ErrFileNotFound: return QStringLiteral("File not found");
    case ErrDeviceIO: return QStringLiteral("Device I/O error");
    case ErrDiskFull: return QStringLiteral("Disk full");
    case ErrInputPastEnd: return QStringLiteral("Input past end of file");
    case ErrBadFileName: return QStringLiteral("Bad file name");
    case ErrTooManyFiles: return QStringLiteral("Too many files");
    case ErrPathFileAccess: return QStringLiteral("Path/File access error");
    case ErrDeviceUnavailable: return QStringLiteral("Device unavailable");
    case ErrPermissionDenied: return QStringLiteral("Permission denied");
    case ErrPathNotFound: return QStringLiteral("Path not found");
    case ErrControlArrayElement: return QStringLiteral("Control array element doesn't exist");
    case ErrInvalidPropertyValue: return QStringLiteral("Invalid property value");
    case ErrCommInvalidPort: return QStringLiteral("Invalid port number");
    case ErrCommPortOpen: return QStringLiteral("Port already open");
    case ErrCommNoDevice: return QStringLiteral("The device is not available");
    case ErrCommHardware: return QStringLiteral("Hardware not available or in use");
    case ErrCommNotOpen: return QStringLiteral("Port not open");
    default: return QStringLiteral("Application-defined or object-defined error");
    }
}

RtError::RtError(int number, QString description)
    : number_(number), description_(description.isEmpty() ? describe(number) : std::move(description))
{
    what_ = QStringLiteral("Error %1 - %2").arg(number_).arg(description_).toStdString();
}

void raise(int number, const QString& description) { throw RtError(number, description); }

} // namespace rt
