#pragma once
#include <QString>

class Form;
class Timer;

namespace modZarn {

// The program's start: second-copy question, edition, settings and
// definition files, serial port, logging texts, main menu, command line.
void main();

// Opens (or reopens) the serial port with the given settings text and the
// port number of the system settings. Failed is True unless the port opened.
void InitComm(const QString& settings, bool& Failed);

// The opened port's device has gone (an adapter pulled out): communications
// are disabled as after a failed opening (flag, lamp, logging timer), the
// shared error line says so, and the same device is tried again once a
// second by ReopenTimer().
void CommLost();
// One try at reopening a lost port, at most once a second by the program's
// clock. On success everything is as after a successful opening and the
// error line no longer tells of the loss.
void ReopenLostPort();
// The timer (1000 ms) that runs ReopenLostPort() while the port is lost.
Timer& ReopenTimer();

// Replaces FromForm by ToForm in place: same top-left corner, ToForm shown,
// FromForm hidden.
void SwitchForm(Form& FromForm, Form& ToForm);

} // namespace modZarn
