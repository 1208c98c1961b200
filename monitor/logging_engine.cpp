// The logging engine: the main form's 50 ms timer.
#include "core/state.h"
#include "platform/controls.h"
#include "shell/frmMain.h"

using namespace modZarn;

void FrmMain::tmrLogging_Timer()
{
    bool any = false;
    for (int i = 0; i < gControlCount; ++i)
        any = any || gCtlLogState[i] == 1;
    gLoggingActive = any;
    shpLogging->setFillColor(any ? color::Green : color::ButtonFace);
}
