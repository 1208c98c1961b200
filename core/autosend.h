#pragma once
#include <QString>

namespace modZarn {

// The unattended send of a parameter file: the command line names the file
// (quoted when it holds blanks) and one or more instrument addresses; the
// configuration screen loads the file and sends it to each address in turn,
// then the program ends. A command line without a file name returns and
// leaves the program running.
void AutoSendParameterFile(QString CommandLine);

} // namespace modZarn
