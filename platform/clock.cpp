#include "platform/clock.h"

#include <QElapsedTimer>
#include <QTimeZone>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace Clock {
namespace {
bool gFake = false;
QDateTime gFakeUtc;
int gOffset = 0;
qint64 gSteadyAdvance = 0; // what the fake time was moved by, ever
} // namespace

QDateTime utcNow()
{
    return gFake ? gFakeUtc : QDateTime::currentDateTimeUtc();
}

QDateTime toLocal(const QDateTime& utc)
{
    if (gFake) {
        QDateTime t = utc.addSecs(gOffset);
        return QDateTime(t.date(), t.time(), Qt::LocalTime);
    }
    return utc.toLocalTime();
}

QDateTime localNow() { return toLocal(utcNow()); }

qint64 steadyMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed() + gSteadyAdvance;
}

double timer()
{
    const QTime t = localNow().time();
    return t.msecsSinceStartOfDay() / 1000.0;
}

void setFake(const QDateTime& utc, int localOffsetSeconds)
{
    gFake = true;
    gFakeUtc = utc.toUTC();
    gOffset = localOffsetSeconds;
}

void wait(double seconds)
{
    const double span = std::min(seconds, 86400.0 - timer());
    if (!(span > 0))
        return;
    const auto ms = qint64(std::ceil(span * 1000));
    if (gFake) {
        advanceMs(ms);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void advanceMs(qint64 ms)
{
    gFakeUtc = gFakeUtc.addMSecs(ms);
    // The steady clock never goes back, also when the fake time is set back.
    gSteadyAdvance += std::max<qint64>(ms, 0);
}

void useReal() { gFake = false; }

} // namespace Clock
