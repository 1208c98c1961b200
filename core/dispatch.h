#pragma once
// The one entry through which every screen reads and writes an instrument:
// the program's register numbers (1..20480; 2 is the process value, 3 the
// status word) mapped by controller group and protocol code onto the right
// transport and the instrument's own register or "Zarn Link" command.
//
// Results come back as an error result: ErrCode (0 success, -1 communication
// failure, else the instrument's exception or refusal code; 2 when nothing
// here can serve the request, which callers read as "not available") and
// ErrText ("" on success, else "Address <address>:<message>"). Outputs a
// routine does not reach are left as the caller passed them.
#include <QString>

namespace modZarn {

// Reads program register `Register` of the instrument at `Address` (1..255)
// with controller group `Group` (0..2) and protocol code `ProtocolCode`
// ("Z", "R" or "A").
void ReadInstrumentRegister(int Group, const QString& ProtocolCode, QString& ErrText,
                            int& ErrCode, int Address, int Register, float& Value);

// Writes `Value` to program register `Register`; arguments as the read.
void WriteInstrumentRegister(int Group, const QString& ProtocolCode, QString& ErrText,
                             int& ErrCode, int Address, int Register, float Value);

// The raw values a write of `Register` can carry on the path that the group
// and protocol code choose: a whole number from Lower to Upper goes out on
// the line as itself. False when no path serves the pair.
bool WriteLimits(int Group, const QString& ProtocolCode, int Register, float& Lower, float& Upper);

// Turns an instrument status word (16-bit pattern) into the divisor (1, 10,
// 100, 1000 or 10000), display format, unit text (" °F", " °C", " Er" or "")
// and the two alarm flags (-1 set, 0 clear), by the group's bit layout. A
// group other than 0..2 sets nothing.
void DecodeStatusWord(int Group, int StatusWord, float& Divisor, QString& FormatText,
                      QString& UnitText, int& Alarm1, int& Alarm2);

// Reads a value register (2 the process value, 257 the set point, ...) with
// what it takes to scale and label it: Value is the reading divided by
// Divisor, ValueText the value laid out with FormatText.
void ReadProcessValue(int Group, const QString& ProtocolCode, QString& ErrText, int& ErrCode,
                      int Address, int Register, QString& ValueText, QString& UnitText,
                      QString& FormatText, float& Value, float& Divisor, int& Alarm1,
                      int& Alarm2);

} // namespace modZarn
