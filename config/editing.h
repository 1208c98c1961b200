#pragma once
// What the screen's change handlers share: their failure boundary and the
// write of one register to the instrument at once.
#include <QString>
#include <functional>

class FrmConfig;

namespace cfgedit {

// Runs the body of one change handler. A failure shows the screen's
// "Application Error" box with the routine line "Routine - <routine>" and
// clears Loading, so that no later change is ignored. `routine` is read only
// when a failure is reported: the body may add the register it works on.
void boundary(FrmConfig& f, const QString& routine, const std::function<void()>& body);

// Writes `value` (raw instrument units) to register `reg` of the instrument
// whose address the screen shows, with "Sending Parameter <reg>" on view
// meanwhile. A failure is shown in the communications warning, followed by a
// carriage return and `advice` when there is one. Returns the error code (0
// success); the progress caption is left for the caller to clear.
int writeNow(FrmConfig& f, int reg, float value, const QString& advice = QString());

} // namespace cfgedit
