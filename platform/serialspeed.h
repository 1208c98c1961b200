#pragma once
// Rates without a Bxxx code of the C library (28800 baud): the kernel's
// termios2 carries any rate, but cannot share a translation unit with
// <termios.h>.
namespace serial {
// Sets the line's input and output rate to `baud`; false when the driver refuses.
bool setAnySpeed(int fd, int baud);
// The output rate the driver reports for the line, in baud; 0 when it does not tell.
int lineSpeed(int fd);
} // namespace serial
