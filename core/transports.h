#pragma once
// The three protocol drivers of the serial line: Modbus RTU, Modbus ASCII and
// "Zarn Link". Every call is one synchronous exchange on the shared port: the
// request goes out after the port's input has been flushed, the reply is
// collected until it is complete or the poll time-out (counted from the send)
// has passed, and a reply that fails a check is tried once more. Results come
// back through ErrCode (0 success, -1 communication failure, else the
// instrument's exception or refusal code) and ErrText ("" on success).
//
// Values arrays are indexed from 1, as every screen numbers items; they must
// hold the indices 1..Count (size Count + 1 at least).
#include <QByteArray>
#include <QString>
#include <QVector>

#include "core/commport.h" // CommPort(): the one serial line every driver uses

namespace modZarn {

// What one written value can carry on the wire, before anything is sent: a
// Modbus register a signed 16-bit number; a "Zarn Link" value four decimal
// digits and a sign, or in the hexadecimal data form a 16-bit pattern up to
// 32676. A coil is on or off (0 or 1 as the value written).
constexpr float kModbusLowest = -32768.0f, kModbusHighest = 32767.0f;
constexpr float kZarnDecimalLimit = 9999.0f;
constexpr float kZarnHexLowest = -32768.0f, kZarnHexHighest = 32676.0f;
// The range a "Zarn Link" write carries, in the hexadecimal data form or not.
inline void ZarnWriteLimits(bool hexData, float& lower, float& upper)
{
    lower = hexData ? kZarnHexLowest : -kZarnDecimalLimit;
    upper = hexData ? kZarnHexHighest : kZarnDecimalLimit;
}

// ---- Modbus RTU ----
// CRC-16/Modbus of `Frame`: two bytes, low byte first.
QByteArray ModbusCRC16(const QByteArray& Frame);
void ModbusRead_R(int Group, int UserReg, QString& ErrText, int& ErrCode, int Address,
                  int Register, int RegType, int Count, QVector<float>& Values);
void ModbusWrite_R(int Group, int UserReg, QString& ErrText, int& ErrCode, int Address,
                   int Register, int RegType, int Count, QVector<float>& Values);

// ---- Modbus ASCII ----
// The LRC of the byte values in `Bytes` (sum modulo 256, negated) as two
// upper-case hexadecimal digits.
QByteArray ModbusLRC(const QByteArray& Bytes);
void ModbusRead_A(int Group, int UserReg, QString& ErrText, int& ErrCode, int Address,
                  int Register, int RegType, int Count, QVector<float>& Values);
void ModbusWrite_A(int Group, int UserReg, QString& ErrText, int& ErrCode, int Address,
                   int Register, int RegType, int Count, QVector<float>& Values);

// ---- "Zarn Link" ----
// Alarm1/Alarm2 are -1 (set) or 0; outputs the command's decoding does not
// reach keep their values. Reply receives the characters of the last attempt
// before the ACK. Register (0 = none) is only used in error texts.
void ZarnLinkRead(QString& ErrText, int& ErrCode, int Address, int Cmd, QString& ValueText,
                  QString& UnitText, QString& FormatText, float& Value, float& Divisor,
                  int& Alarm1, int& Alarm2, int Register, QByteArray& Reply, float& Raw);
// HexData chooses the data form: four hexadecimal digits and "00", or four
// decimal digits and a sign byte ("00" / "FF").
void ZarnLinkWrite(QString& ErrText, int& ErrCode, int Address, int Cmd, float Value,
                   int Register, QByteArray& Reply, bool HexData);
// Decodes a 6-character data field (status byte in hex, four decimal digits)
// and returns the value formatted with its display format.
QString Decode(const QByteArray& Data, float& Value, float& Divisor, QString& UnitText,
               QString& FormatText);
// Sum of the character codes modulo 256 as two upper-case hexadecimal digits.
QByteArray ZarnLinkChecksum(const QByteArray& Text);
// The tail of a "Zarn Link" error text naming the register or the command.
QString CommandRefText(int Register, const QString& CmdText);

} // namespace modZarn
