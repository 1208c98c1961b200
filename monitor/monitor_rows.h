#pragma once
// What the system monitor keeps apart from its widgets: the layout table of
// its 40 rows, the row labels and how they are read back, the row file
// Monitor.val, the refresh-period menu and the reading of typed set points.
#include <QString>
#include <QStringList>
#include <vector>

#include "platform/controls.h"

namespace monitor {

constexpr int kRows = 40;

// The text of a row that names no instrument.
extern const QString kEmptyLabel; // "00      [none]"

// ---- layout ----
// One column of the rows: the control array's name, what it is, where it
// stands in the row (twips; `dy` below the row's top), its size and caption.
struct RowColumn {
    const char* name;
    ctl::Kind kind;
    int left, dy, width, height;
    const char* caption;
};
// The eleven columns, left to right.
const std::vector<RowColumn>& RowColumns();
// Top of row r in twips.
constexpr int RowTop(int r) { return 720 + 360 * r; }
// The control array table of one column: one element per row, indexed 0..39.
std::vector<ControlSpec> ColumnTable(const RowColumn& c);
const RowColumn& Column(const char* name);

// ---- row labels ----
// The instrument a row's label names. Address 0: the row is empty.
struct RowTarget {
    QString protocol;
    int group = 0;
    int address = 0;
};
// Columns 1-3 the address (hexadecimal in group 0), 5 the protocol code, 6
// the group digit (a blank reads as 0).
RowTarget ParseLabel(const QString& label);
// The file reader trims trailing blanks, so an instrument with an empty name
// comes back without the blank after its group digit: labels are compared
// without their trailing blanks.
bool SameLabel(const QString& stored, const QString& label);
// The first instrument of the table that a stored label names (by SameLabel),
// -1 when none does or the label is empty. The monitor rows and the graph
// pens find their instruments by it.
int InstrumentOfLabel(const QString& stored);

// ---- Monitor.val ----
QString RowFilePath();
// The stored row texts, one line each with its blanks around it dropped, at
// most 40. A missing file gives
// none and a short one what it has: the rows without an item show no
// instrument. Read failures other than a missing file raise.
QStringList ReadRowFile(const QString& path);
// Replaces the file with the 40 row texts, one a line.
void WriteRowFile(const QString& path, const QStringList& rows);

// ---- refresh periods ----
// The twelve items of both refresh-period submenus, ".05 Sec." .. "Never".
const QStringList& RateCaptions();
// The period of a caption: its leading number, 0 for "Never".
float RatePeriod(const QString& caption);
// "Process Variables (Now=.05 Sec.)" for the prefix "Process Variables".
QString RateMenuCaption(const QString& prefix, float seconds);

// ---- typed set points ----
// Reads a set point as the user typed it or as the poll filled it: the
// program's strict form of a typed number (blanks around it, thousands
// separators in their places as in "1,234.5"), then at most a unit ("°F",
// "°C", "Er", with or without a blank before it). Anything else after the
// number, separators in the wrong places, or no number at all is refused
// (false) rather than read as some other number.
bool ReadSetpointText(const QString& text, double& value);

// Whether a value typed for program register `reg` of the instrument `t`,
// shown at `scale` (10 to its decimal places), can go out as itself: typed ×
// scale must be a whole raw number that the register carries on the
// instrument's path and, where the configuration screen of the group has a
// field for that register, within that field's range.
struct SetpointFit {
    enum Kind { Fits, Decimals, Range } kind = Fits;
    float value = 0;      // the raw value to write, when it fits
    int decimals = 0;     // the decimal places of the scale
    QString lower, upper; // the limits at the scale, as typed ("-199.9")
};
SetpointFit FitSetpoint(double typed, float scale, const RowTarget& t, int reg);
// Why a value that does not fit is not sent, as a clause: "it has more
// decimal places than the instrument shows (1)", "it is outside the range
// -199.9 to 999.9 that the instrument can hold".
QString SetpointReason(const SetpointFit& fit);

} // namespace monitor
