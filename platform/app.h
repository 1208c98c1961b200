#pragma once
// The application object: program folder, edition name, version, another
// running copy, and ending the program at once.
#include <QString>
#include <QStringList>
#include <functional>

class QIcon;

namespace App {

// The program folder: where the executable lies; every settings and
// definition file is looked for here. Tests point it at a folder of their own.
QString path();
void setPath(const QString& folder);
// A file in the program folder.
QString file(const QString& name);

// The running program's name (executable name without extension, as it was
// started: a link named KT9-P runs the private-label edition).
QString exeName();
void setExeName(const QString& name);

int major();
int minor();
int revision();

// True when another copy of the same program file runs for this user. The
// first call takes a lock that lasts for the process and that the system
// releases when the process ends, however it ends: a flock on a file in the
// user's runtime folder ($XDG_RUNTIME_DIR), else in a folder of the user's
// own (mode 0700) in the temporary folder. Where no lock can be made, no
// other copy is assumed.
bool prevInstance();
void setPrevInstanceOverride(int value); // -1 real, 0 false, 1 true (tests)

// The command line behind the program's name, as one text.
QString commandLine();
void setCommandLine(const QString& text);
// That text from the program's arguments: an argument that is empty or holds
// blanks is put in double quotes (so that "" stays a command line that
// names an empty file).
QString commandLineOf(const QStringList& arguments);

// The program's icon: a trend line on the program's heading colour. Every
// window, box and dialog of the program wears it.
QIcon icon();

// The desktop's settings are not the program's: called before the
// application object is made, so that no platform theme (qt6ct, KDE's) or
// desktop hands the program its font, its colours (tool tips included) or a
// style sheet, neither at start nor later while it runs.
void ignoreDesktopSettings();

// The look the windows are laid out for, kept whatever the desktop's colour
// scheme, font and theme: the Fusion style in its light standard palette
// (every colour a screen gives a control was chosen against it), dialog
// buttons in the program's order and without icons, and text in the
// design font, DejaVu Sans at 9 points, the face and size the layout was
// measured in (a screen's own sizes, as a title's, are set on its controls).
// The layout is fixed in twips, so a larger view comes from the screen's
// scale factor, which enlarges layout and text together. Set once, right
// after the application object is made (ignoreDesktopSettings() before it).
void useDesignLook();

// Ends the program at once: no other window's unload handler runs and nothing
// more is saved. A normal end (code 0) exits with the status set by
// setExitStatus(). Tests install a handler (which typically throws) to
// observe it.
[[noreturn]] void end(int code = 0);
void setEndHandler(std::function<void(int)> handler);

// The status a normal end exits with: 0 unless something that did not
// complete (an unattended send stopped by an error) set another.
int exitStatus();
void setExitStatus(int status);

// Work that must be done however the program ends: at end(), at a normal
// exit, and on a signal that ends it (SIGTERM, SIGINT, SIGHUP, SIGQUIT).
// The routine may run from a signal handler (async-signal-safe calls only)
// and more than once.
void atEnd(void (*routine)());

} // namespace App
