// OleDateTime: day counts since 30 Dec 1899 and the settable clock.
#include "OleDateTime.h"

#include <QMutex>
#include <QMutexLocker>
#include <cmath>

namespace {
// QDate(1899, 12, 30).toJulianDay(), as a constant so that values computed during
// static initialisation (in any unit) are right.
constexpr qint64 kOleEpochJulianDay = 2415019;
constexpr double kMsecsPerDay = 86400000.0;

QMutex &SourceLock()
{
    static QMutex lock;
    return lock;
}
DateTimeSource &Source()
{
    static DateTimeSource source;
    return source;
}
} // namespace

TDateTime OleFromDateTime(const QDateTime &local)
{
    if (!local.isValid())
        return 0;
    const QDateTime inLocal = local.toLocalTime();
    const double days = static_cast<double>(inLocal.date().toJulianDay() - kOleEpochJulianDay);
    const double fraction = inLocal.time().msecsSinceStartOfDay() / kMsecsPerDay;
    // Before the epoch the whole part counts backwards, the time of day does not.
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime DateTimeFromOle(TDateTime value)
{
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6)
        return QDateTime();
    double whole = std::trunc(value);
    qint64 msecs = std::llround(std::fabs(value - whole) * kMsecsPerDay);
    if (msecs >= qint64(86400000)) {  // rounding reached the next midnight
        msecs -= 86400000;
        whole += value >= 0 ? 1 : -1;
    }
    const QDate date = QDate::fromJulianDay(kOleEpochJulianDay + static_cast<qint64>(whole));
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs)));
}

double OleDatePart(TDateTime value)
{
    return std::trunc(value);
}

double OleTimePart(TDateTime value)
{
    return std::fabs(value - std::trunc(value));
}

QDateTime CurrentDateTime()
{
    DateTimeSource source;
    {
        QMutexLocker locker(&SourceLock());
        source = Source();
    }
    return source ? source() : QDateTime::currentDateTime();
}

bool CurrentDateTimeIsSystemClock()
{
    QMutexLocker locker(&SourceLock());
    return !Source();
}

TDateTime CurrentOle()
{
    return OleFromDateTime(CurrentDateTime());
}

DateTimeSource SetCurrentDateTimeSource(DateTimeSource source)
{
    QMutexLocker locker(&SourceLock());
    DateTimeSource previous = std::move(Source());
    Source() = std::move(source);
    return previous;
}
