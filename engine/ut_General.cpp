// ut_General: row and log texts built from the locale's formats.
#include "ut_General.h"

#include <limits>

#include <QLocale>

#include "LocaleFormats.h"
#include <cmath>

namespace {
QTime TimeOfFraction(double value)
{
    // Round to the millisecond, and keep a fraction that rounds up to a full day
    // on the last millisecond rather than wrapping to midnight.
    qint64 msecs = std::llround(OleTimePart(value) * 86400000.0);
    if (msecs >= 86400000)
        msecs = 86400000 - 1;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs));
}
} // namespace

QString DateTimeText(TDateTime value)
{
    const double datePart = OleDatePart(value);
    const double timePart = OleTimePart(value);
    if (datePart == 0 && timePart == 0)
        return QString();
    const QDateTime dt = DateTimeFromOle(value);
    if (timePart == 0)
        return FormatShortDate(dt.date());
    if (datePart == 0)
        return FormatLongTime(TimeOfFraction(value));
    return FormatShortDate(dt.date()) + u' ' + FormatLongTime(dt.time());
}

QString WeeklyText(TDateTime value)
{
    const double whole = OleDatePart(value);
    const QString day = (whole >= 0 && whole <= 6) ? LongDayName(static_cast<int>(whole) + 1)
                                                   : QString();
    return UiText::sWeeklyOn + day + u' ' + FormatLongTime(TimeOfFraction(value));
}

QString MonthlyText(TDateTime value)
{
    return UiText::sMonthlyEvery + QString::number(static_cast<qint64>(OleDatePart(value)))
        + UiText::sAt + FormatLongTime(TimeOfFraction(value));
}

QString GeneralNumberText(double value)
{
    QString text = QString::number(value, 'g', 15);
    text.replace(u'.', DecimalSeparator());
    return text;
}

QString LogTimeStamp()
{
    // Every handled file logs a line, so the stamp of the current second is
    // kept instead of formatting date and time again for each of them. With the
    // system clock the second is told from the epoch count alone: a local
    // QDateTime costs a time-zone lookup (a stat of /etc/localtime) each time.
    struct TStampCache {
        qint64 epochSecond = std::numeric_limits<qint64>::min();
        QDate date;
        int second = -1;
        QLocale locale;
        QString text;
    };
    thread_local TStampCache cache;
    // Compared as locales, not by name: the name is a new string each time.
    const QLocale locale;
    if (CurrentDateTimeIsSystemClock()) {
        const qint64 ms = QDateTime::currentMSecsSinceEpoch();
        const qint64 epochSecond = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
        if (epochSecond == cache.epochSecond && locale == cache.locale)
            return cache.text;
        const QDateTime now = QDateTime::fromMSecsSinceEpoch(epochSecond * 1000);
        cache.epochSecond = epochSecond;
        cache.date = QDate();
        cache.second = -1;
        cache.locale = locale;
        cache.text = FormatShortDate(now.date(), locale) + u' ' + FormatLongTime(now.time(), locale);
        return cache.text;
    }
    const QDateTime now = CurrentDateTime();
    const QDate date = now.date();
    const int second = now.time().msecsSinceStartOfDay() / 1000;
    if (cache.second != second || cache.date != date || cache.locale != locale) {
        cache.epochSecond = std::numeric_limits<qint64>::min();
        cache.date = date;
        cache.second = second;
        cache.locale = locale;
        cache.text = FormatShortDate(date, locale) + u' ' + FormatLongTime(now.time(), locale);
    }
    return cache.text;
}
