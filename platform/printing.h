#pragma once
// Where a print goes: the system's default printer, or, when no printer is
// installed, a PDF file the user names (through the file dialog, which tests
// answer).
#include <QString>
#include <functional>

class QPrinter;
class QWidget;

namespace printing {

// Printer error, raised when the printer cannot take the page.
constexpr int ErrPrinter = 482;

// Sets `printer` up for one print. False when no printer is installed and the
// user cancelled the file dialog: nothing is to be printed.
bool choosePrinter(QPrinter& printer, QWidget* owner);

// One print: chooses where it goes (choosePrinter) and has `draw` put the
// page on it. A PDF file is drawn into a temporary file beside the file named
// and takes that file's place only once it is whole on the disk: a failure
// raises (a file cut short by a full disk ErrDiskFull), removes the
// temporary file and leaves any earlier file as it was. False when nothing
// was to be printed.
bool print(QWidget* owner, const std::function<void(QPrinter&)>& draw);

// Tests: -1 ask the system, 0 no printer installed, 1 a printer installed.
void setPrinterInstalledOverride(int value);
bool printerInstalled();

} // namespace printing
