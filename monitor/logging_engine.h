#pragma once
// The logging engine: advances every started logging session, one due sample
// per session and tick, appended to the session's log file. The main form's
// 50 ms timer drives it; it reports on the main form's error line and lamp.

class FrmMain;

// One tick. Read failures are logged as 0 and shown on the error line (at
// most every half second); a line that cannot be written is shown in one
// "Application Error" box at a time, owned by `main`, and the other sessions
// go on.
void LoggingEngineTick(FrmMain& main);
