#pragma once
// Small routines every screen and transport uses: address texts,
// hexadecimal texts, model identity, protocol codes, path splitting, status
// word bits and the clocks. None keeps state.
#include <QString>

namespace modZarn {

// Low byte as two upper-case hex digits (300 gives "2C", -1 "FF").
QString Hex2(int N);
// Four upper-case hex digits of the rounded value (-1 gives "FFFF", 15 "000F").
// Raises an overflow beyond the 32-bit range.
QString Hex4(float V);

// Address text to number: hexadecimal in group 0, decimal otherwise; 0 when
// the text holds no number. Raises an overflow beyond 16 bits.
int AddressToNumber(int Group, const QString& AddressText);
// The same for the text of an address box, which can hold anything typed:
// it never raises. A number too large for 16 bits stays as it is ("99999",
// "10000" in group 0 is 65536), off the line like 300, so the read and write
// routines refuse it with the invalid-address message naming it; beyond 32
// bits it is 0.
int AddressBoxNumber(int Group, const QString& AddressText);
// "32" in group 0, "050" in groups 1 and 2. A group-0 number outside 0..255
// keeps all its hexadecimal digits ("1FF", 65536 "10000", -1 "FFFF"), so a
// text never names the instrument whose address is its low byte.
QString AddressToText(int Group, int Address);
// The head of every failure text of an exchange: "Address 32", "Address 050".
QString AddressPrefix(int Group, int Address);

// An address a request can carry: 1..255 (0 would reach every instrument).
bool AddressOnLine(int Address);
// "Address <text>:Invalid instrument address, it must be 01 to FF" (group 0)
// or "... 001 to 255".
QString AddressRangeText(int Group, const QString& AddressText);
// Every read and write checks its address with this before anything is sent:
// an address off the line gives ErrCode -1 and the range text (false).
bool AddressAccepted(int Group, int Address, QString& ErrText, int& ErrCode);

// Model register value (first character in the high byte) to model ID, and
// the model's type caption, slot (0 = unknown) and name from the model table.
void ModelFromRegisterValue(int Group, float Code, QString& ModelID, QString& TypeCaption,
                            int& ModelIndex, QString& ModelName);
// Looks the model ID up (ignoring case) in the group's model table; returns
// the type caption, or "Unknown Model Type" with index 0 and name
// "Unavailable". A group outside 0..2 raises a subscript error.
QString LookupModel(int Group, const QString& ModelID, int& ModelIndex, QString& ModelName);

// 0 "Z", 2 "A", anything else "R".
QString ProtocolLetter(int Index);
// "Z" 0, "A" 2, anything else 1.
int ProtocolIndex(const QString& Code);

// Folder part of a path including its last "\", "/" or ":"; the program
// folder when there is none past the first character.
QString FilePath(const QString& Path);
// The text after the last "\", "/" or ":".
QString NameOfFile(const QString& Path);
// The default folder for log and graph files as a path to use: a relative
// setting ("logs/") lies in the program folder, wherever the program was
// started from, and an empty one is the program folder itself. The folder is
// made when it is missing (a folder that cannot be made shows when its file
// is written).
QString DataFolder();

// True when bit Bit (0..15) of the word is set; bit 15 is set for every
// negative word and every word of 32768 or more.
bool BitState(int Bit, float WordToCheck);

// Seconds since Start (seconds since local midnight), across midnight; 0
// below 0.02 s.
double ElapsedSeconds(double Start);
// Seconds since Start (UtcNow() * 86400).
double ElapsedSecondsUtc(double Start);
// UTC now as a date number: days since 30 December 1899, with milliseconds.
double UtcNow();

} // namespace modZarn
