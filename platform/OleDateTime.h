// OleDateTime: the program's date-time value (days since 30 Dec 1899, local time)
// and the one clock every schedule, row text and due test reads.
#pragma once

#include <QDateTime>
#include <functional>

// Days since 30 December 1899 00:00 local time; the fraction is the time of day.
// 0 means "not set". Negative values count days before that date with a positive
// time-of-day fraction (-1.25 is 29 Dec 1899 06:00), as the OLE convention has it.
using TDateTime = double;

// Local date-time to the day count. An invalid QDateTime gives 0.
TDateTime OleFromDateTime(const QDateTime &local);
// Day count to a local QDateTime, rounded to the millisecond. Never fails; values
// far outside the calendar give an invalid QDateTime.
QDateTime DateTimeFromOle(TDateTime value);

// Whole-day part (the date) and time-of-day part of a value, both as day counts.
double OleDatePart(TDateTime value);
double OleTimePart(TDateTime value);

// "The current date-time": the system clock unless a test has set a source.
// Safe to call from any thread.
QDateTime CurrentDateTime();
TDateTime CurrentOle();

// Seam for tests: makes CurrentDateTime() return what `source` gives; an empty
// function restores the system clock. Returns the source that was in place.
using DateTimeSource = std::function<QDateTime()>;
DateTimeSource SetCurrentDateTimeSource(DateTimeSource source);

// True while no test has set a source: callers may then key caches on the cheap
// QDateTime::currentMSecsSinceEpoch(), which needs no time-zone lookup.
bool CurrentDateTimeIsSystemClock();
