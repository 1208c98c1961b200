#pragma once
// Texts the logging engine and the logging dialog write: the line of a log
// file and the date form of the error line and the dialog.
#include <QDateTime>
#include <QString>

namespace logfmt {

// A UTC instant given in seconds of the logging clock (UtcNow() x 86400),
// to the millisecond.
QDateTime UtcInstant(double utcSeconds);

// The time stamp of a sample scheduled at that UTC instant, in local time:
// "mm/dd/yyyy hh:nn:ss AM/PM" (the fraction of the second cut off) for a rate
// of 1 s or more, else with a tenths digit before the marker
// ("12/07/2026 05:27:41.5 PM").
QString TimeStamp(double dueUtcSeconds, float rate);

// The value of a log line: shortest text with at most seven significant
// digits; a good reading of 0 is written as 1E-10, a failed read as 0.
QString ValueText(float value, int errCode);

// A local date and time as a date number (days since 30 December 1899, the
// time of day as the fraction) and back, to the millisecond.
double DateNumber(const QDateTime& local);
QDateTime FromDateNumber(double day);

// The system's general date and time form ("12/7/2026 5:27:41 PM").
QString GeneralDate(const QDateTime& t);

// What the shared error line of the main form shows for an instrument's
// error text: "<date and time now> - <text>", or nothing for no error.
QString ErrorLineText(const QString& errText);

} // namespace logfmt
