#pragma once
// The logging engine: advances every started logging session, one due sample
// per session and tick, appended to the session's log file. The main form's
// 50 ms timer drives it; it reports on the main form's error line and lamp.

class FrmMain;

// One tick. Read failures are logged as 0 and shown on the error line (at
// most every half second). A session whose line cannot be written is
// stopped, told once in an "Application Error" box owned by `main` that
// names it, and on the error line; the other sessions go on. Boxes of ticks
// that run while one is open follow it, one at a time.
void LoggingEngineTick(FrmMain& main);
