#pragma once
// Run-time errors of the program. A routine that fails throws RtError; the
// routine that owns the work catches it and shows the standard error box.
#include <QString>
#include <stdexcept>

namespace rt {

// Error numbers as the standard error box cites them ("Error Code 53 - File
// not found"); each number has one description (rt::describe).
enum ErrNo : int {
    ErrIllegalCall = 5,
    ErrOverflow = 6,
    ErrOutOfMemory = 7,
    ErrSubscript = 9,
    ErrDivisionByZero = 11,
    ErrTypeMismatch = 13,
    ErrInternal = 51,
    ErrBadFileNumber = 52,
    ErrFileNotFound = 53,
    ErrInputPastEnd = 62,
    ErrBadFileName = 64,
    ErrTooManyFiles = 67,
    ErrDeviceUnavailable = 68,
    ErrPermissionDenied = 70,
    ErrPathFileAccess = 75,
    ErrPathNotFound = 76,
    ErrDiskFull = 61,
    ErrDeviceIO = 57,
    ErrControlArrayElement = 340,
    ErrInvalidPropertyValue = 380,
    // serial port control
    ErrCommInvalidPort = 8002,
    ErrCommPortOpen = 8005,
    ErrCommNoDevice = 8006,
    ErrCommHardware = 8010,
    ErrCommNotOpen = 8012,
};

QString describe(int number);

class RtError : public std::exception {
public:
    explicit RtError(int number, QString description = QString());
    int number() const { return number_; }
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    int number_;
    QString description_;
    std::string what_;
};

[[noreturn]] void raise(int number, const QString& description = QString());

} // namespace rt
