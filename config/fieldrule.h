#pragma once
// What a configuration field can hold, one rule for every way a value comes
// or goes: typed into the screen, read from an instrument, saved to a file,
// loaded from one, sent to an instrument. A text field holds a number within
// the field table's limits with no more decimals than the decimal point,
// input type and model in force give it (step times in whole minutes up to
// 15:59, the reset registers by size, their sign being a setting of its
// own); a list one of its positions or none; a bit field a 16-bit pattern.
#include <QString>
#include <functional>
#include <vector>

class FrmConfig;

namespace cfgrule {

// A decimal point that a parameter file of the model may hold: 0 to 3, and
// four decimals on model R7 in group 0, which has them.
bool DecimalPointAccepted(int group, int decimalPoint, const QString& modelID);
// Four decimals on a model without them: the warning that they must be
// changed before the configuration is saved (or, with `doing`, "sent").
void WarnFourDecimals(FrmConfig& f, const QString& doing = QStringLiteral("saving"));
// True when the screen's decimal point may be saved or sent; otherwise the
// warning.
bool DecimalPointSaveable(FrmConfig& f, const QString& doing = QStringLiteral("saving"));

// The settings that scale a text field's limits.
struct Scaling {
    int decimalPoint = 0;
    int inputType = 0;
    QString modelID;
};
// Those the screen shows.
Scaling ScreenScaling(const FrmConfig& f);

// A ramp/soak step time is typed as hours and minutes and holds at most
// 15:59, whatever longer time the field table may allow.
constexpr int kStepTimeMaxHours = 15;
constexpr int kStepTimeMaxMinutes = 59;

// What a register's field can hold, in the units the screen and the file use.
struct Range {
    float lower = 0, upper = 0;
    int decimals = 0;       // decimal places held: a value with more is not held
    bool magnitude = false; // the limits bound the size; the sign is a setting of its own
    bool none = false;      // -1 stands for no list entry chosen
};
Range RangeOf(const FrmConfig& f, const Scaling& s, int reg);
// The decimal places a scale factor shows: 1, 10, 100 ... give 0, 1, 2 ...
int DecimalPlaces(float factor);
bool Holds(const Range& r, double v);
// A value scaled to raw units is whole: what it misses by is no more than
// the double holding a written decimal can miss by.
bool IsWholeRaw(double scaled);
// The value has no more decimal places than the field holds.
bool FitsDecimals(const Range& r, double v);
// For a door that writes an instrument from outside the configuration
// screen: the range of that screen's text field for the instrument register
// which program register `reg` reaches in `group`, in raw instrument units
// (no decimals). False when the group's screen has no text field for it.
bool RawRange(int group, int reg, Range& r);
// "lower to upper" as the messages quote a range.
QString RangeText(const Range& r);
// "whole numbers", "1 decimal place", "2 decimal places" as messages name
// what a field holds.
QString DecimalsText(const Range& r);

// The number a text field of the screen stands for, as a file writes it:
// the reset registers signed by their setting, step times in minutes.
double ScreenValue(const FrmConfig& f, int reg);

// A text field of the screen holding a value outside its range.
struct Stray {
    int reg;
    double value;
    Range range;
};
// Every text field of the selected model that does, in register order;
// with `written`, only the fields whose register it is true for.
std::vector<Stray> StrayFields(const FrmConfig& f, const std::function<bool(int)>& written = {});
// One line per field: its register, its caption, its value and its range.
QString Listing(const FrmConfig& f, const std::vector<Stray>& strays);

// Before a send: the text fields left empty, whose register `written` is
// true for, are named in one warning (nothing stands behind the 0 they
// would give) and the caller stops; true when there are none. The step time
// fields count an empty part as 0.
bool NoneEmpty(FrmConfig& f, const std::function<bool(int)>& written);

// After a read: names the fields that hold values outside their range in one
// warning; the values stay as read.
void WarnOfStrays(FrmConfig& f);

// Before a save or a send: the fields holding values outside their range
// are named in one question, No the default; Yes puts each at the nearer
// limit of its range, on the screen, and lets the caller go on. `doing`
// completes the question ("save the configuration"). Unattended there is
// nobody to agree: such a field stops the caller. With `written`, only the
// fields whose register the caller writes count.
bool AgreeToLimits(FrmConfig& f, const QString& doing, bool unattended = false,
                   const std::function<bool(int)>& written = {});

} // namespace cfgrule
