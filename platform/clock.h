#pragma once
// The clocks the program reads: UTC with milliseconds, local date and time,
// and seconds since local midnight. Tests install a fake time and move it.
#include <QDateTime>

namespace Clock {

// Current UTC date and time with milliseconds.
QDateTime utcNow();
// Current local date and time (whole seconds dropped of nothing: milliseconds kept).
QDateTime localNow();
// Seconds since local midnight with fractions (0 .. 86400).
double timer();
// Milliseconds on a steady clock that no change of the wall clock stretches
// or cuts: what the line measures its time-outs and quiet with. A test's
// fake time moves it on with every advance, while it still runs.
qint64 steadyMs();
// Converts a UTC instant to the local time shown to the user.
QDateTime toLocal(const QDateTime& utc);

// Blocks the program for `seconds` without letting other events run (a
// command that must give the instruments time to act). It ends early at
// local midnight. With the fake clock it moves the fake time on instead of
// sleeping, so tests see the wait without spending it.
void wait(double seconds);

// Tests: freeze time at `utc` with local time = UTC + offsetSeconds, then move
// it by hand; useReal() goes back to the system clock.
void setFake(const QDateTime& utc, int localOffsetSeconds = 0);
void advanceMs(qint64 ms);
void useReal();

} // namespace Clock
