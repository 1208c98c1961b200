#pragma once
// Where a print goes: the system's default printer, or, when no printer is
// installed, a PDF file the user names (through the file dialog, which tests
// answer).
#include <QString>

class QPrinter;
class QWidget;

namespace printing {

// Printer error, raised when the printer cannot take the page.
constexpr int ErrPrinter = 482;

// Sets `printer` up for one print. False when no printer is installed and the
// user cancelled the file dialog: nothing is to be printed.
bool choosePrinter(QPrinter& printer, QWidget* owner);

// Tests: -1 ask the system, 0 no printer installed, 1 a printer installed.
void setPrinterInstalledOverride(int value);
bool printerInstalled();

} // namespace printing
