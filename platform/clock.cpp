#include "platform/clock.h"

#include <QTimeZone>

namespace Clock {
namespace {
bool gFake = false;
QDateTime gFakeUtc;
int gOffset = 0;
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

void advanceMs(qint64 ms) { gFakeUtc = gFakeUtc.addMSecs(ms); }

void useReal() { gFake = false; }

bool isFake() { return gFake; }

} // namespace Clock
