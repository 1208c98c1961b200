// The logging engine: the main form's 50 ms timer. Every started session is
// sampled on a fixed grid from its start instant (start + k x rate); a due
// sample is read and appended as one line to the session's log file.
#include <QDateTime>
#include <QTimeZone>
#include <QVector>
#include <cmath>

#include "core/dispatch.h"
#include "core/helpers.h"
#include "core/state.h"
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
    QString stamp = rt::FormatDateTime(local, QStringLiteral("mm/dd/yyyy hh:nn:ss AM/PM"));
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
    return rt::FormatDateTime(t, QStringLiteral("m/d/yyyy h:nn:ss AM/PM"));
}

} // namespace logfmt

namespace {

// Why the latest sample of a session could not be logged (read errors are
// not kept here: they are written as 0 and reach the error line anyway). The
// error line keeps showing it until that session logs a line again.
QVector<QString> gSampleFailure;

// Our own "Application Error" box is open: ticks keep running underneath it,
// and must not stack another box on top every 50 ms.
bool gLogBoxOpen = false;

struct Failure {
    int number;
    QString description;
    QString routine;
};

QString AddressText(int i) { return QStringLiteral("Address ") + gCtlAddress[i] + QLatin1Char(':'); }

// Advances the session's schedule past the sample that is due now and
// returns that sample's scheduled UTC instant in seconds.
double Reschedule(int i, double e)
{
    const double next = gCtlLogNextSec[i];
    const float rate = gCtlLogRate[i];
    const double due = gCtlLogStartSec[i] + next;
    const float lag = float(e - next);
    const float twice = rate + rate;
    if (twice > lag) {
        // On time, or late by less than two rates: catch up one sample a tick.
        gCtlLogNextSec[i] = next + rate;
    } else {
        // Far behind: the first grid instant after now; the ones between are skipped.
        gCtlLogNextSec[i] = next + std::floor((e - next - 0.01) / rate + 1) * rate;
    }
    return due;
}

// Reads the process value of instrument i and appends its line. errText
// receives the read's error text.
void Sample(int i, double e, QString& errText)
{
    const double due = Reschedule(i, e);

    const int address = AddressToNumber(gCtlGroup[i], gCtlAddress[i]);
    QString text, valueText, unitText, formatText;
    int code = 0, alarm1 = 0, alarm2 = 0;
    float value = 0, divisor = 0;
    ReadProcessValue(gCtlGroup[i], gCtlProtocol[i], text, code, address, 2, valueText, unitText,
                     formatText, value, divisor, alarm1, alarm2);
    errText = text;

    const QString line = logfmt::TimeStamp(due, gCtlLogRate[i]) + QLatin1Char(',') +
                         logfmt::ValueText(value, code);
    // Opened and closed for each line so that the log can be read at any
    // time; flushed so that a line counts as logged only once the operating
    // system has it.
    rt::OutputFile f(gCtlLogFile[i], rt::OutputFile::Append);
    f.printLine(line);
    f.flush();
    f.close();
}

void SetErrorLine(FrmMain& m, const QString& text)
{
    m.lblErrorMessageText->setText(text.isEmpty() ? QString()
                                                  : logfmt::GeneralDate(Clock::localNow()) +
                                                        QStringLiteral(" - ") + text);
}

} // namespace

void FrmMain::tmrLogging_Timer()
{
    QString errText; // the latest read's error text in this tick
    std::vector<Failure> failures;
    try {
        gLoggingActive = false;
        if (gSampleFailure.size() < gControlCount)
            gSampleFailure.resize(gControlCount);

        for (int i = 0; i < gControlCount; ++i) {
            if (gCtlLogState[i] != 1) {
                gSampleFailure[i].clear();
                continue;
            }
            gLoggingActive = true;

            const double e = ElapsedSecondsUtc(gCtlLogStartSec[i]);
            if (!(gCtlLogRate[i] > 0)) {
                // No grid can be built on such a rate: the session is skipped,
                // and the error line says so (one line, not a box every tick).
                gSampleFailure[i] = AddressText(i) + QStringLiteral("Logging rate of") +
                                    rt::StrSingle(gCtlLogRate[i]) +
                                    QStringLiteral(" s cannot be sampled, nothing is logged");
            } else if (e >= gCtlLogNextSec[i]) {
                try {
                    Sample(i, e, errText);
                    gSampleFailure[i].clear();
                } catch (const rt::RtError& err) {
                    // The sample is lost (its schedule has moved on); say so
                    // and go on with the other sessions.
                    gSampleFailure[i] = AddressText(i) + QStringLiteral("Line not logged, Error Code ") +
                                        QString::number(err.number()) + QStringLiteral(" - ") +
                                        err.description() + QStringLiteral(", File >") + gCtlLogFile[i];
                    failures.push_back({err.number(), err.description(),
                                        QStringLiteral("frmMain.tmrLogging_Timer, File >") + gCtlLogFile[i]});
                }
            }

            if (gCtlLogState[i] == 1 && ElapsedSecondsUtc(gCtlLogStartSec[i]) >= gCtlLogDuration[i] * 60.0)
                gCtlLogState[i] = 3;
        }

        // The shared error line, at most every half second while sessions run:
        // the latest read error, else a line that could not be logged, else empty.
        if (gLoggingActive || !failures.empty()) {
            const double now = Clock::timer();
            QString shown = errText;
            for (int i = 0; shown.isEmpty() && i < gControlCount; ++i)
                shown = gSampleFailure.value(i);
            if (!failures.empty() || std::fabs(now - LastLogErrorTime) > 0.5) {
                LastLogErrorTime = now;
                SetErrorLine(*this, shown);
            }
        }

        shpLogging->setFillColor(gLoggingActive ? color::Green : color::ButtonFace);
    } catch (const rt::RtError& err) {
        failures.push_back({err.number(), err.description(), QStringLiteral("frmMain.tmrLogging_Timer")});
    }

    // Boxes come last, once the tick's work is done: the timer goes on
    // ticking underneath an open box, and one box at a time is enough.
    if (failures.empty() || gLogBoxOpen)
        return;
    gLogBoxOpen = true;
    mb::AppError(this, failures.front().number, failures.front().description, failures.front().routine);
    gLogBoxOpen = false;
}
