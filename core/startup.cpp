#include "core/startup.h"

#include <cmath>

#include "core/autosend.h"
#include "core/commport.h"
#include "core/deffiles.h"
#include "core/exchange.h"
#include "core/state.h"
#include "core/sysconfig.h"
#include "monitor/logging_format.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/textfile.h"
#include "shell/frmMain.h"

namespace modZarn {

void main()
{
    try {
        if (App::prevInstance()) {
            const int answer = mb::MsgBox(
                QStringLiteral("Warning: Another instance of this program is already running on this computer.  "
                               "Do you want to continue ?  (If yes then you must run the programs out of "
                               "different directories and select different serial comm ports.)"),
                mb::YesNo | mb::DefaultButton2 | mb::Question, QStringLiteral("Program Already Running"));
            // A send asked for on the command line is then not made.
            if (answer == mb::No)
                App::end(App::commandLine().isEmpty() ? 0 : kNotSent);
        }

        // The edition decides the names of the settings and model files, so
        // it is settled before anything is read.
        gKT9PMode = App::exeName() == QStringLiteral("KT9-P");

        ReadSystemConfig();

        gCmdGapRequired = rt::FileExists(App::file(QStringLiteral("USB71K.TXT")));

        // The controller group just read decides which register files are read.
        ReadDefinitionFiles();

        bool failed = true;
        InitComm(CommSettingsString(), failed);

        gLogStatusText[0] = QStringLiteral("STARTED");
        gLogStatusText[1] = QStringLiteral("STOPPED");
        gLogStatusText[2] = QStringLiteral("FINISHED");

        frmMain().Show();

        // A command line names a parameter file to send unattended.
        if (!App::commandLine().isEmpty())
            AutoSendParameterFile(App::commandLine());
    } catch (const rt::RtError& e) {
        // The steps after the failing one do not run; with no main window
        // shown the program then ends (see the entry point).
        mb::AppError(e, QStringLiteral("modZarn.main"));
    }
}

namespace {

double gLastReopenTry = -1e9; // seconds since midnight of the last try
QString gLostText;            // what CommLost() put on the error line

// The state after a successful opening: flag, logging timer and lamp agree.
void CommUp()
{
    gCommOK = true;
    frmMain().tmrLogging.setEnabled(true);
    frmMain().shpComms->setFillColor(color::Green);
    // An exchange that finds the device gone from now on disables it again.
    xchg::OnLineGone(&CommLost);
}

void CommDown()
{
    gCommOK = false;
    frmMain().tmrLogging.setEnabled(false);
    frmMain().shpComms->setFillColor(color::ButtonFace);
}

} // namespace

Timer& ReopenTimer()
{
    static Timer* timer = new Timer(1000, [] { ReopenLostPort(); }); // lives for the whole run
    return *timer;
}

void CommLost()
{
    CommDown();
    xchg::SetLineGone(true);
    gLostText = logfmt::GeneralDate(Clock::localNow()) + QStringLiteral(" - Communications Disabled - the device of COM") +
                QString::number(gCommPort) + QStringLiteral(" has gone; it is tried again every second");
    frmMain().lblErrorMessageText->setText(gLostText);
    gLastReopenTry = Clock::timer();
    ReopenTimer().setEnabled(true);
}

void ReopenLostPort()
{
    if (!xchg::LineGone()) {
        ReopenTimer().setEnabled(false);
        return;
    }
    // The timer keeps the pace; the clock makes sure of it (and across midnight).
    const double now = Clock::timer();
    if (std::fabs(now - gLastReopenTry) < 1.0)
        return;
    gLastReopenTry = now;
    SerialPortControl& port = CommPort();
    try {
        // The same device with the settings it had: nothing of the port
        // control was changed by the loss.
        if (port.portOpen())
            port.setPortOpen(false);
        port.setPortOpen(true);
    } catch (const rt::RtError&) {
        return; // still gone: no message, the next try follows in a second
    }
    xchg::SetLineGone(false);
    ReopenTimer().setEnabled(false);
    CommUp();
    // The error line told of the loss (ours, or a failed exchange's): no longer so.
    const QString shown = frmMain().lblErrorMessageText->text();
    if (shown == gLostText || shown.endsWith(xchg::kLineGone))
        frmMain().lblErrorMessageText->clear();
}

void InitComm(const QString& settings, bool& Failed)
{
    Failed = true;
    SerialPortControl& port = CommPort();
    // Whatever was lost before, this opening decides the state from now on.
    xchg::SetLineGone(false);
    ReopenTimer().setEnabled(false);
    try {
        if (port.portOpen())
            port.setPortOpen(false);
        port.setCommPort(gCommPort);
        port.setSettings(settings);
        port.setRTSEnable(true);
        port.setPortOpen(true);
        CommUp();
        Failed = false;
    } catch (const rt::RtError& e) {
        switch (e.number()) {
        case rt::ErrCommInvalidPort:
        case rt::ErrCommHardware:
        case rt::ErrCommNoDevice:
        case rt::ErrDeviceUnavailable:
            // The device tried and why it failed, on a line of its own.
            mb::MsgBox(QStringLiteral("The selected communications port, COM") + QString::number(gCommPort) +
                           QStringLiteral(", either does not exist or is in use.  All functions that require "
                                          "communications to the instruments(s) will be disabled.") +
                           QLatin1Char('\r') + e.description(),
                       mb::Critical, QStringLiteral("InitComm"));
            break;
        default:
            mb::AppError(e, QStringLiteral("modZarn.InitComm"));
            break;
        }
        // A failed opening leaves the port closed; lamp, flag and timer agree.
        if (port.portOpen())
            port.setPortOpen(false);
        CommDown();
    }
}

void SwitchForm(Form& FromForm, Form& ToForm)
{
    if (&FromForm == &ToForm)
        return;
    ToForm.takePlaceOf(FromForm);
    ToForm.Show();
    FromForm.Hide();
}

} // namespace modZarn
