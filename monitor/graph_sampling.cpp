// Graph sampling: a run takes one point per pen on a fixed grid of the
// sample interval, measured on the UTC clock from its start; the refresh
// timer redraws on its own period. A sampling tick only fills the chart's
// store, so its cost does not grow with the points held.
#include <QDir>
#include <cmath>

#include "core/dispatch.h"
#include "core/helpers.h"
#include "core/state.h"
#include "monitor/frmGraph.h"
#include "monitor/logging_format.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "shell/frmMain.h"

using namespace modZarn;

namespace {
constexpr int kPointLimit = 127980;
constexpr double kAutoSaveSeconds = 1800;
} // namespace

void FrmGraph::cmdStartSampling_Click()
{
    if (Sampling) {
        mb::MsgBox(QStringLiteral("Graph sampling is currently on.  Stop the sampling before trying to restart the "
                                  "sampling."),
                   mb::OKOnly | mb::Exclamation, QStringLiteral("Graph Sampling Is On"), this);
        return;
    }
    if (SampleInterval > 0) {
        const double planned = double(gphGraph->SetCount()) * Duration / SampleInterval;
        if (planned > 128000 || Duration == 0)
            mb::MsgBox(QStringLiteral("Warning- The combination of Sampling Duration, Number of pens selected and "
                                      "Sampling Rate will eventually cause the number of data points logged to "
                                      "exceed the maximum of 128,000.  The graph will automatically stop logging "
                                      "and give you a message when this occurs."),
                       mb::OKOnly | mb::Exclamation, QStringLiteral("Maximum Logging Size Will Be Exceeded"), this);
    }
    SetupGraphTicks();
    Sampling = true;
    frmMain().shpGraphing->setFillColor(color::Green);
    lblSampling->show();
    StartUtcSec = UtcNow() * 86400;
    LastAutoSaveTime = Clock::timer();
    LastRefreshTime = -99999;
    NextSampleSec = 0;
    XDataMin = XDataMax = 0;
    YDataMin = 99999;
    YDataMax = -99999;
    AutoSaveEnabled = true;
    tmrGraphSampling.setEnabled(true);
    tmrGraphRefresh.setEnabled(true);
}

void FrmGraph::tmrGraphSampling_Timer()
{
    if (!Sampling)
        return;
    const double elapsed = ElapsedSecondsUtc(StartUtcSec);
    const bool due = (SampleInterval == 86400 && elapsed < 0.01) || elapsed >= NextSampleSec;
    if (!due)
        return;
    const double X = TimeFactor * NextSampleSec;

    // Far behind (two intervals or more): the missed samples are skipped and
    // the next one is the first grid time after now. Either way one point a tick.
    const float lag = float(elapsed - NextSampleSec);
    if (2 * SampleInterval <= lag && SampleInterval > 0)
        NextSampleSec += std::floor((elapsed - NextSampleSec - 0.01) / SampleInterval + 1) * SampleInterval;
    else
        NextSampleSec += SampleInterval;

    const int sets = gphGraph->SetCount();
    if (double(gphGraph->PointCount()) * sets > kPointLimit) {
        StopSampling();
        mb::MsgBox(QStringLiteral("The system has reached its maximum sampling size of 128,000 data points and "
                                  "sampling has been stopped.  The number of points is") +
                       rt::Str(gphGraph->PointCount()) + QStringLiteral(".  The number of pens is") + rt::Str(sets) +
                       QStringLiteral("."),
                   mb::OKOnly | mb::Exclamation, QStringLiteral("Maximum Data Points Reached"), this);
        return;
    }
    if (!GraphEmpty)
        gphGraph->setPointCount(gphGraph->PointCount() + 1);
    GraphEmpty = false;
    DataChanged = true;
    const float xs = float(X);
    if (xs < XDataMin)
        XDataMin = xs;
    if (xs > XDataMax)
        XDataMax = xs;

    sampleAllPens(X);

    if (Duration != 0 && elapsed > Duration + SampleInterval)
        StopSampling();

    if (AutoSaveEnabled && ElapsedSeconds(LastAutoSaveTime) >= kAutoSaveSeconds && SampleInterval > 60 && !GraphEmpty) {
        LastAutoSaveTime = Clock::timer();
        bool failed = false;
        SaveGraphFile(QDir(DataFolder()).filePath(QStringLiteral("AutoGraphSave.csv")), failed);
        if (failed)
            AutoSaveEnabled = false;
    }
}

void FrmGraph::sampleAllPens(double X)
{
    FrmMain& main = frmMain();
    bool failedThisTick = false;
    const int point = gphGraph->PointCount();
    // Every set gets the point: one without an instrument (an unused pen,
    // or the one set of a graph with no pen) as missing.
    for (int i = 1; i <= gphGraph->SetCount(); ++i) {
        const QString pen = cbxControl(i)->Text();
        const QString protocol = pen.mid(4, 1);
        const int group = int(rt::Val(pen.mid(5, 1)));
        const int address = AddressToNumber(group, pen.left(3));
        float value = 0;
        int missing = 1;
        if (address != 0) {
            Shape* lamp = shpPoll(i);
            // Lit while the instrument is read: a read can take a while, so
            // the lamp is painted before it starts.
            lamp->setFillColor(color::Green);
            int errCode = 0;
            QString errText;
            if (gDemoMode) {
                const int s = Clock::localNow().time().second();
                value = i == 10 ? float(s * 3 - 100) : float(s * i * 5 + i * 1000);
            } else {
                lamp->repaint();
                QString valueText, unitText, formatText;
                float divisor = 1;
                int alarm1 = 0, alarm2 = 0;
                ReadProcessValue(group, protocol, errText, errCode, address, 2, valueText, unitText, formatText,
                                 value, divisor, alarm1, alarm2);
            }
            if (errCode != 0) {
                lamp->setFillColor(color::Red);
                value = 0;
                failedThisTick = true;
                const double now = Clock::timer();
                if (std::fabs(now - LastErrorTime) > 0.5) {
                    LastErrorTime = now;
                    main.lblErrorMessageText->setText(logfmt::ErrorLineText(errText));
                }
            } else {
                lamp->setFillColor(color::ButtonFace);
                missing = 0;
                if (value < YDataMin)
                    YDataMin = value;
                if (value > YDataMax)
                    YDataMax = value;
            }
            if (!gDemoMode)
                lamp->repaint();
        }
        gphGraph->setCurrentSet(i);
        gphGraph->setCurrentPoint(point);
        gphGraph->setXPosition(X);
        gphGraph->setValue(value);
        gphGraph->setExtraValue(missing);
    }
    if (!failedThisTick)
        main.lblErrorMessageText->setText(QString());
}

void FrmGraph::tmrGraphRefresh_Timer()
{
    if (RefreshInterval > 0 && float(ElapsedSeconds(LastRefreshTime)) >= RefreshInterval) {
        LastRefreshTime = Clock::timer();
        // Only a window that can be seen is worth drawing.
        if (DataChanged && isVisible())
            SetGraphLegends();
    }
}
