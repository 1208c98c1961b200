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
// replaced only once the new one is complete.
void SaveSystemConfig();

// The serial line settings text, as in "9600,N,8,1".
QString CommSettingsString();

// True when a text can be stored as one field of the file and read back
// unchanged in meaning: no comma anywhere and no leading double quote. The
// set-up screen refuses names and addresses for which this is false.
bool IsStorableText(const QString& text);

} // namespace modZarn
