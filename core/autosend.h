#pragma once
#include <QString>

namespace modZarn {

// The unattended send of a parameter file: the command line names the file
// (quoted when it holds blanks) and one or more instrument addresses; the
// configuration screen loads the file and sends it to each address in turn,
// then the program ends. A command line without a file name returns and
// leaves the program running.
void AutoSendParameterFile(QString CommandLine);

// The exit statuses of a command line that names a file. A send that fails
// outranks an invalid address; a run-time error leaves the program running,
// and it ends later with the status of the stage that failed.
enum AutoSendStatus : int {
    kSent = 0,           // the file was loaded and sent to every address
    kNotSent = 1,        // the program ended before the send (another copy, answered No)
    kFileProblem = 2,    // the file is missing or did not load
    kAddressProblem = 3, // no address given, or an address outside 1..255
    kSendFailed = 4,     // a send to an address failed
};

} // namespace modZarn
