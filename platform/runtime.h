#pragma once
// The program's number and text rules: reading numbers out of text, integer
// conversion, number-to-text, display formats and the file print layout. Every place in the program that turns a
// number into text or back goes through here, so the rules exist once.
#include <QDateTime>
#include <QString>
#include <cstdint>

namespace rt {

// Number reading rule: blanks, tabs and line feeds are dropped wherever they
// stand; then an optional sign, decimal digits with at most one decimal point
// and an optional exponent (E or D, optional sign, digits), or "&H" followed by
// hexadecimal digits ("&O" octal likewise). Reading stops at the first
// character that does not fit; no number in front gives 0. Up to four hex
// digits are a signed 16-bit pattern, five to eight a signed 32-bit pattern.
double Val(const QString& text);

// A number typed into a field whose value is sent to an instrument, read
// strictly so that nothing is ever sent as some other number: blanks around
// it, an optional sign, decimal digits with their thousands grouped by ","
// in threes (or not grouped), an optional "." fraction and an optional
// exponent, and nothing else. False for an empty text, a sign or point
// alone, any character after the number, a separator out of place, a
// radix prefix ("&H", "0x") or a number beyond a double.
bool TypedNumber(const QString& text, double& value);
// The same for the hexadecimal form: one to four hexadecimal digits, blanks
// around them allowed, taken as a signed 16-bit pattern (FFFF is -1).
bool TypedHex16(const QString& text, int& value);

// Round to the nearest whole number, a half to the even neighbour.
double RoundHalfEven(double v);

// True when the whole text (blanks around it allowed) is a number in the
// system's number form: optional sign, digits with "," thousands separators,
// a "." decimal part and an exponent. `value` receives the number.
bool IsNumeric(const QString& text, double* value = nullptr);

// The next pseudo-random fraction in [0, 1). The program never seeds the
// generator, so every run draws the same sequence.
double Rnd();

// Conversion to a 16-bit integer (half to even); outside -32768..32767 raises
// ErrOverflow.
int CInt(double v);
// Conversion to a 32-bit integer (half to even); out of range raises ErrOverflow.
std::int32_t CLng(double v);
// Conversion to a 32-bit float; out of range raises ErrOverflow.
float CSng(double v);

// Number to text for a message or file without a format: a leading blank when not negative ("-" otherwise), no leading zero before the
// decimal point, no trailing zeros, exponent form for very large/small
// magnitudes ("1E-10", "1.5E+12"). Str uses up to 15 significant digits
// (a double); StrSingle up to 7 (a 32-bit float).
QString Str(double v);
QString StrSingle(float v);
// The same without the leading blank for non-negative values (string concatenation of a number).
QString CStr(double v);
QString CStrSingle(float v);

// Upper-case hexadecimal text of a 16-bit pattern for values in -32768..65535
// (so -1 gives "FFFF"), of a 32-bit pattern beyond; rounds half to even first.
QString Hex(double v);

// Display format with "#", "0", "," (thousands grouping) and "." as in
// "#,##0.0", "#,###,###,##0.000", "0.00", "00". The separators are always ","
// and "." whatever the locale. Rounds half away from zero. Also understands the named formats "General Number" and
// "Fixed".
QString Format(double v, const QString& fmt);
// Text conversion of the display routine: a text that reads as a number
// (blanks around it, an optional sign, digits with "," thousands separators
// before the point, an optional point and exponent, or "&H"/"&O" digits) is
// formatted as that number; any other text, the empty text included, comes
// back unchanged.
QString FormatText(const QString& text, const QString& fmt);
// True when the text reads as a number under the rule of FormatText; its
// value in `value`.
bool NumericText(const QString& text, double* value = nullptr);
// The file print statement's layout of one number: the number as Str/StrSingle
// gives it, followed by one blank (" 9600 ", " .5 ", "-3 ").
QString PrintNumber(double v);
QString PrintSingle(float v);

// Trim blanks on the left, right or both sides; only spaces count as blanks
// (tabs and line ends stay).
QString LTrim(const QString& s);
QString RTrim(const QString& s);
QString Trim(const QString& s);

} // namespace rt
