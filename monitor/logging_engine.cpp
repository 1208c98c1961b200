// The logging engine: the main form's 50 ms timer. Every started session is
// sampled on a fixed grid from its start instant (start + k x rate); a due
// sample is read and appended as one line to the session's log file.
#include "monitor/logging_engine.h"

#include <QDateTime>
#include <QMetaObject>
#include <QPointer>
#include <QScopedValueRollback>
#include <QTimeZone>
#include <QVector>
#include <deque>
#include <vector>
#include <cmath>

#include "core/dispatch.h"
#include "core/helpers.h"
#include "core/state.h"
#include "monitor/frmLogging.h"
#include "monitor/logging_format.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/textfile.h"
#include "shell/frmMain.h"

using namespace modZarn;

namespace logfmt {

QDateTime UtcInstant(double utcSeconds)
{
    // Seconds on the UTC clock are UtcNow() x 86400: counted from the day
    // number's epoch. Rounded to the millisecond, the resolution of the clock
    // the sessions start from, so 0.5 s does not come out as 0.4999.
    static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), QTimeZone::utc());
    return epoch.addMSecs(std::llround(utcSeconds * 1000.0));
}

// The stamp is the scheduled instant itself, converted to local time exactly:
// working it out from "now" would let the clock's fraction of a second move
// the stamp a second early.
QString TimeStamp(double dueUtcSeconds, float rate)
{
    const QDateTime local = Clock::toLocal(UtcInstant(dueUtcSeconds));
    QString stamp = local.toString(u"MM/dd/yyyy hh:mm:ss AP");
    if (rate < 1) {
        // Below a second: the tenths digit goes before the AM/PM marker.
        const int tenths = local.time().msec() / 100;
        stamp.insert(stamp.size() - 3, QLatin1Char('.') + QString::number(tenths));
    }
    return stamp;
}

QString ValueText(float value, int errCode)
{
    // 0 in a log file marks a failed read, so a true zero is written as 1E-10.
    if (value == 0)
        value = 1e-10f;
    if (errCode != 0)
        value = 0;
    return rt::CStrSingle(value);
}

double DateNumber(const QDateTime& local)
{
    static const QDate epoch(1899, 12, 30);
    return double(epoch.daysTo(local.date())) + local.time().msecsSinceStartOfDay() / 86400000.0;
}

QDateTime FromDateNumber(double day)
{
    static const QDate epoch(1899, 12, 30);
    const qint64 ms = std::llround(day * 86400000.0);
    const qint64 days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    return QDateTime(epoch.addDays(days), QTime::fromMSecsSinceStartOfDay(int(ms - days * 86400000)));
}

QString GeneralDate(const QDateTime& t)
{
    return t.toString(u"M/d/yyyy h:mm:ss AP");
}

QString ErrorLineText(const QString& errText)
{
    return errText.isEmpty() ? QString() : GeneralDate(Clock::localNow()) + QStringLiteral(" - ") + errText;
}

} // namespace logfmt

namespace {

// Why the latest sample of a session could not be logged (read errors are
// not kept here: they are written as 0 and reach the error line anyway). The
// error line keeps showing it until that session logs a line again; for a
// session stopped because its file could not be written, until the user
// starts it again.
QVector<QString> gSampleFailure;
QVector<bool> gStoppedByFailure;

// The latest read error of the running sessions that the error line has not
// shown yet: kept across ticks until the half-second throttle lets it out.
QString gUnshownReadError;

// Our own "Application Error" box is open: ticks keep running underneath it,
// and must not stack another box on top every 50 ms.
bool gLogBoxOpen = false;

struct Failure {
    rt::RtError error;
    QString routine;
    QString firstLine; // empty: the standard one
};

// Boxes not shown yet: failures of ticks that ran while a box was open wait
// for it to close, and come one after another.
std::deque<Failure> gPendingBoxes;
// The main form the pending boxes are to be shown over once the tick is
// done (null while no showing is on its way).
QPointer<FrmMain> gShowingFor;

void ShowPendingBoxes(FrmMain& m)
{
    if (gLogBoxOpen)
        return;
    const QScopedValueRollback boxOpen(gLogBoxOpen, true);
    while (!gPendingBoxes.empty()) {
        const Failure f = gPendingBoxes.front();
        gPendingBoxes.pop_front();
        if (f.firstLine.isEmpty())
            mb::AppError(&m, f.error, f.routine);
        else
            mb::AppError(&m, f.error, f.routine, f.firstLine);
    }
}

QString AddressText(const InstrumentRecord& r) { return QStringLiteral("Address ") + r.Address + QLatin1Char(':'); }

// "Address 01 (Oven)": the session as the logging dialog lists it.
QString SessionName(const InstrumentRecord& r)
{
    const QString name = r.Name.trimmed();
    return QStringLiteral("Address ") + r.Address + (name.isEmpty() ? QString() : QStringLiteral(" (") + name + u')');
}

// Advances the session's schedule past the sample that is due now and
// returns that sample's scheduled UTC instant in seconds.
double Reschedule(InstrumentRecord& r, double e)
{
    const double next = r.LogNextSec;
    const float rate = r.LogRate;
    const double due = r.LogStartSec + next;
    const float lag = float(e - next);
    const float twice = rate + rate;
    if (twice > lag) {
        // On time, or late by less than two rates: catch up one sample a tick.
        r.LogNextSec = next + rate;
    } else {
        // Far behind: the first grid instant after now; the ones between are skipped.
        r.LogNextSec = next + std::floor((e - next - 0.01) / rate + 1) * rate;
    }
    return due;
}

// Reads the process value of the instrument and appends its line. errText
// receives the read's error text ("" after a good read).
void Sample(InstrumentRecord& r, double e, QString& errText)
{
    const double due = Reschedule(r, e);

    const int address = AddressToNumber(r.Group, r.Address);
    QString text, valueText, unitText, formatText;
    int code = 0, alarm1 = 0, alarm2 = 0;
    float value = 0, divisor = 0;
    ReadProcessValue(r.Group, r.Protocol, text, code, address, 2, valueText, unitText, formatText, value,
                     divisor, alarm1, alarm2);
    errText = text;

    const QString line = logfmt::TimeStamp(due, r.LogRate) + QLatin1Char(',') + logfmt::ValueText(value, code);
    // Opened and closed for each line so that the log can be read at any
    // time; flushed so that a line counts as logged only once the operating
    // system has it.
    rt::OutputFile f(r.LogFile, rt::OutputFile::Append);
    f.printLine(line);
    f.flush();
    f.close();
}

void SetErrorLine(FrmMain& m, const QString& text)
{
    m.lblErrorMessageText->setText(logfmt::ErrorLineText(text));
}

// A session whose line could not be written is stopped: every later sample
// would fail the same way, at up to ten a second, each with its box. It is
// told once; the user starts it again (a new file, a new schedule) once the
// file can be written.
void StopFailedSession(int i, const rt::RtError& err, std::vector<Failure>& failures)
{
    InstrumentRecord& r = gInstruments[i];
    r.LogState = 2;
    gStoppedByFailure[i] = true;
    gSampleFailure[i] = AddressText(r) + QStringLiteral("Logging stopped, Error Code ") +
                        QString::number(err.number()) + QStringLiteral(" - ") + err.description() +
                        QStringLiteral(", File >") + r.LogFile;
    failures.push_back({err, QStringLiteral("frmMain.tmrLogging_Timer, File >") + r.LogFile,
                        QStringLiteral("Logging of ") + SessionName(r) +
                            QStringLiteral(" has been stopped: an application error has occurred writing its log "
                                           "file:")});
    // An open logging dialog showing the session shows it stopped.
    if (Forms::isLoaded<FrmLogging>() && frmLogging().SelectedIndex == i)
        frmLogging().lstControls_Click();
}

} // namespace

void LoggingEngineTick(FrmMain& m)
{
    std::vector<Failure> failures;
    try {
        gInstruments.LoggingActive = false;
        if (gSampleFailure.size() < gInstruments.Count()) {
            gSampleFailure.resize(gInstruments.Count());
            gStoppedByFailure.resize(gInstruments.Count());
        }

        for (int i = 0; i < gInstruments.Count(); ++i) {
            InstrumentRecord& r = gInstruments[i];
            if (r.LogState != 1) {
                if (r.LogState != 2 || !gStoppedByFailure[i]) {
                    gSampleFailure[i].clear();
                    gStoppedByFailure[i] = false;
                }
                continue;
            }
            gInstruments.LoggingActive = true;
            gStoppedByFailure[i] = false;

            const double e = ElapsedSecondsUtc(r.LogStartSec);
            if (!(r.LogRate > 0)) {
                // No grid can be built on such a rate: the session is skipped,
                // and the error line says so (one line, not a box every tick).
                gSampleFailure[i] = AddressText(r) + QStringLiteral("Logging rate of") + rt::StrSingle(r.LogRate) +
                                    QStringLiteral(" s cannot be sampled, nothing is logged");
            } else if (e >= r.LogNextSec) {
                try {
                    QString errText;
                    Sample(r, e, errText);
                    // A good read later in the tick, or in a tick the error
                    // line's throttle skips, must not hide this failure.
                    if (!errText.isEmpty())
                        gUnshownReadError = errText;
                    gSampleFailure[i].clear();
                } catch (const rt::RtError& err) {
                    // The sample is lost (its schedule has moved on); the
                    // session stops, and the others go on.
                    StopFailedSession(i, err, failures);
                }
            }

            if (r.LogState == 1 && ElapsedSecondsUtc(r.LogStartSec) >= r.LogDuration * 60.0)
                r.LogState = 3;
        }

        // The shared error line, at most every half second while sessions run:
        // the latest read error not yet shown, else a line that could not be
        // logged, else empty.
        if (gInstruments.LoggingActive || !failures.empty()) {
            const double now = Clock::timer();
            if (!failures.empty() || std::fabs(now - m.LastLogErrorTime) > 0.5) {
                QString shown = gUnshownReadError;
                for (int i = 0; shown.isEmpty() && i < gInstruments.Count(); ++i)
                    shown = gSampleFailure.value(i);
                m.LastLogErrorTime = now;
                SetErrorLine(m, shown);
                gUnshownReadError.clear();
            }
        } else {
            gUnshownReadError.clear();
        }

        m.shpLogging->setFillColor(gInstruments.LoggingActive ? color::Green : color::ButtonFace);
    } catch (const rt::RtError& err) {
        failures.push_back({err, QStringLiteral("frmMain.tmrLogging_Timer"), QString()});
    }

    // Boxes come last, once the tick's work is done, and from outside the
    // tick: a timer does not fire again while its own handler is still
    // running, so a box opened here would hold up every session until it is
    // answered. What fails while a box is open waits for it to close.
    const bool busy = gLogBoxOpen || gShowingFor;
    if (!busy)
        gPendingBoxes.clear(); // left over for a main form that has gone
    for (const Failure& f : failures) {
        // A stopped session is told however late; a failure of the tick
        // itself may recur every 50 ms, and one box of it at a time is enough.
        if (!busy || !f.firstLine.isEmpty())
            gPendingBoxes.push_back(f);
    }
    if (busy || gPendingBoxes.empty())
        return;
    gShowingFor = &m;
    QMetaObject::invokeMethod(
        &m,
        [&m] {
            gShowingFor = nullptr;
            ShowPendingBoxes(m);
        },
        Qt::QueuedConnection);
}
