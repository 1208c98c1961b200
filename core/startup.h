#pragma once
#include <QString>

class Form;

namespace modZarn {

// The program's start: second-copy question, edition, settings and
// definition files, serial port, logging texts, main menu, command line.
void main();

// Opens (or reopens) the serial port with the given settings text and the
// port number of the system settings. Failed is True unless the port opened.
void InitComm(const QString& settings, bool& Failed);

// Replaces FromForm by ToForm in place: same top-left corner, ToForm shown,
// FromForm hidden.
void SwitchForm(Form& FromForm, Form& ToForm);

} // namespace modZarn
