#pragma once
// What the parameter file, the read from an instrument and the send share:
// how a text field's number is taken, how a number is written plainly, and
// how a message names the field of a register.
#include <QString>

class FrmConfig;

namespace cfgxfer {

// The registers every group reads and writes by the same program number:
// the model (0702H), the input type (0318H) and the decimal point (031BH).
constexpr int kModelRegister = 1794;
constexpr int kInputType = 792;
constexpr int kDecimalPoint = 795;

// The shortest plain decimal: no grouping, no exponent, no trailing zeros,
// "." as the point ("12.5", "100", "-3.25").
QString PlainNumber(double v);

// The register's field kind in the field table (1 text, 2 list, 3 bit
// field); a register outside the table is the subscript error.
int FieldKind(int reg);

// The ramp/soak programme registers of group 1 that have no caption of
// their own: pattern rows 1040H-1067H, set points and step times 2000H-20BFH.
bool RampSoakBlock(int reg);

// How an error message names the register's field: "(caption)" for a text
// field or list, "(Ramp/Soak)" for the programme registers without a
// caption, "" for bit fields and registers without a field.
QString FieldLabel(const FrmConfig& f, int reg);

// Offers to leave demo mode before an exchange with the instrument; Yes
// turns it off (and its label), No leaves everything as it was (false).
bool LeaveDemoMode(FrmConfig& f, const QString& purpose);

// The error step of a read or send: the message names the register's field.
// A failure the user may pass over (`askable`) asks Yes/No, No the default,
// with `question` after the message; any other failure gets an exclamation
// box. The progress label is emptied; true when the user chose to go on.
bool ReportExchangeError(FrmConfig& f, int reg, const QString& errText, bool askable, const QString& title,
                         const QString& question);

} // namespace cfgxfer
