#pragma once
// Value scaling and bit addressing of the configuration screen: which display
// format and factor a register's text field takes, the text by which messages
// name a register, and the index of the check box that holds one bit.
#include <QString>

namespace cfgscale {

// Display format of the register's text field; `factor` is 10 to the power
// of its decimals: the field shows the instrument's integer divided by it.
// The register alone decides (0-4 decimals); decimalPoint is the screen's
// decimal-point setting, inputType its input type, modelID the selected
// model's two-character ID.
QString DecimalPointFormat(int reg, int decimalPoint, int inputType, const QString& modelID,
                           float& factor);

// The registers of controller group 0 whose decimals follow the screen's
// decimal point: set A always, set B only with a linear input, set C with a
// linear input or on model R7.
enum class DecimalSet { None, A, B, C };
DecimalSet DecimalScaled(int reg);

// The number a text field stands for: its text laid out with "0.0000"
// (grouping dropped), then the number at its start; a text that is no number,
// or an empty one, gives 0.
double FieldValue(const QString& text);

// The register as messages name it: group 0 in decimal with a leading blank
// (" 258"), other groups as a blank, four hex digits and "H" (" 1001H").
QString GStr(int group, int reg);

// Check-box index of one bit: reg x 10 + bit for bits 0-7, reg x 10 + 1000 +
// (bit - 8) for bits 8-15, in 16-bit signed arithmetic: a result (or step)
// outside -32768..32767 raises the overflow error.
int CheckIndex(int reg, int bit);

// The number format of a field's text as the layout pass applies it: a text
// that reads as a number is shown in `fmt`, any other text stays unchanged.
QString FormatField(const QString& text, const QString& fmt);

} // namespace cfgscale
