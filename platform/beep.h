#pragma once
// The computer's beep, which tells the user that an entry was changed to fit.
// Every beep is counted, so tests can see whether one was given.
namespace sound {

// Sounds the system beep.
void Beep();

// --- test hooks ---
// Beeps since the last reset.
int beepCount();
void resetBeeps();

} // namespace sound
