#pragma once
// What the screen's change handlers share: the write of one register to the
// instrument at once.
#include <QString>

class FrmConfig;

namespace cfgedit {

// Writes `value` (raw instrument units) to register `reg` of the instrument
// whose address the screen shows, with "Sending Parameter <reg>" on view
// meanwhile. A failure is shown in the communications warning, followed by a
// carriage return and `advice` when there is one. Returns the error code (0
// success); the progress caption is left for the caller to clear.
int writeNow(FrmConfig& f, int reg, float value, const QString& advice = QString());

} // namespace cfgedit
