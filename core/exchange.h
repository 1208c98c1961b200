#pragma once
// What the three drivers share: sending a request on the shared port,
// collecting a reply under the poll time-out, item access to 1-based value
// arrays, and the Modbus register and exception texts.
#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>

namespace modZarn::xchg {

// Discards whatever waits on the port and sends `request` in one write. When
// the port reports itself closed nothing is sent (the wait then runs into its
// time-out).
void SendRequest(const QByteArray& request);

enum class Collect { Complete, Stopped, TimedOut };

// Collects a reply one character at a time, from now (right after the send)
// until `onChar` reports the reply complete, `onIdle` (asked whenever no
// character waits) stops the collection, or the poll time-out passes. The
// time-out follows the program's clock; the blocking wait on the port also
// holds a real deadline, so a stopped clock cannot keep it waiting.
Collect CollectReply(const std::function<bool(char)>& onChar,
                     const std::function<bool()>& onIdle = {});

// Blocks (without yielding) until more than `seconds` have passed on the
// program's clock since `start`, or as long in real time.
void WaitUntilElapsed(double start, double seconds);

// Values(i) of a 1-based array; a missing index is a subscript error.
float& Item(QVector<float>& values, int i);

// The register tail of Modbus error texts: " 258" in group 0, " 102H" or
// " 102H (258)" in groups 1 and 2.
QString RegisterText(int group, int userReg, int reg);
// The register field on the wire: one less than the register in group 0.
int RegisterField(int group, int reg);
// Entry of every Modbus read and write: clears the outputs, then ends the
// call (false) in demo mode, when the port is not open or when the register
// is below 1. Otherwise fills `prefix` ("Address " and the address text) and
// `regText` and returns true.
bool ModbusEntry(int group, int userReg, QString& ErrText, int& ErrCode, int address, int reg,
                 QString& prefix, QString& regText);
// ":Invalid Register Type" with the type, for both Modbus drivers.
void InvalidRegisterType(const QString& prefix, int regType, QString& ErrText, int& ErrCode);
// ":Invalid Modbus Write Value" unless Values(1)..Values(Count) all fit 16 bits.
bool WriteValuesFit(const QString& prefix, const QString& regText, int count,
                    QVector<float>& values, QString& ErrText, int& ErrCode);
// The message of a Modbus exception code (without address and register text).
QString ExceptionMessage(int code);

} // namespace modZarn::xchg
