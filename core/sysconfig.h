#pragma once
// The system configuration file: the settings of the serial line and the
// screens, then eight lines per configured instrument. Read once at start-up,
// rewritten whole whenever one of its values changes.
#include <QString>

namespace modZarn {

// Quinrex3.cfg, or KT9-P.cfg in the private-label edition.
QString SystemConfigFileName();

// Fills SystemSettings and InstrumentTable from the file. Errors are shown in
// the standard error box; whatever was read before the error stays.
void ReadSystemConfig();

// Rewrites the whole file from the current variables. The old file is
// replaced only once the new one is complete. A value the file cannot hold
// so that it reads back (a line end in a text, a comma in a field) is
// refused with the error box before anything is written: the old file stays.
void SaveSystemConfig();

// The serial line settings text, as in "9600,N,8,1".
QString CommSettingsString();

// True when a text can be stored as one field of the file and read back
// unchanged in meaning: no line end, no comma anywhere and no leading double
// quote (blanks before it do not count). The set-up screen refuses names and
// addresses for which this is false.
bool IsStorableText(const QString& text);
// True when a text can be stored as a whole line of the file (the viewer
// program, the data folder): it holds no line end.
bool IsStorableLine(const QString& text);

} // namespace modZarn
