// LocaleFormats: Qt's locale formats, mended for round trips.
#include "LocaleFormats.h"

namespace {
// Applies `change` to every run of the same letter outside quoted literals.
template <typename Change>
QString MapFieldRuns(const QString &format, Change change)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < format.size() && format.at(j) == c)
            ++j;
        const QString run = format.mid(i, j - i);
        out += quoted ? run : change(c, run);
        i = j;
    }
    return out;
}
} // namespace

QString ShortDateFormat(const QLocale &locale)
{
    return MapFieldRuns(locale.dateFormat(QLocale::ShortFormat),
                        [](QChar c, const QString &run) {
                            return c == u'y' ? QStringLiteral("yyyy") : run;
                        });
}

QString LongTimeFormat(const QLocale &locale)
{
    // Drop the zone field "t" together with the spaces or brackets around it
    // ("HH:mm:ss t", "t HH:mm:ss", "H:mm:ss (t)").
    QString format = MapFieldRuns(locale.timeFormat(QLocale::LongFormat),
                                  [](QChar c, const QString &run) {
                                      return c == u't' ? QStringLiteral("\x01") : run;
                                  });
    format.replace(QStringLiteral("(\x01)"), QStringLiteral("\x01"));
    format.replace(QStringLiteral("[\x01]"), QStringLiteral("\x01"));
    const qsizetype at = format.indexOf(QChar(1));
    if (at < 0)
        return format;
    qsizetype from = at, to = at + 1;
    while (from > 0 && format.at(from - 1).isSpace())
        --from;
    while (to < format.size() && format.at(to).isSpace())
        ++to;
    // Keep one space when the field sat between two other parts.
    const bool between = from > 0 && to < format.size();
    format.replace(from, to - from, between ? QStringLiteral(" ") : QString());
    return format.trimmed();
}

QString FormatShortDate(const QDate &date, const QLocale &locale)
{
    return locale.toString(date, ShortDateFormat(locale));
}

QString FormatLongTime(const QTime &time, const QLocale &locale)
{
    return locale.toString(time, LongTimeFormat(locale));
}

QDate ParseShortDate(const QString &text, const QLocale &locale)
{
    return locale.toDate(text.trimmed(), ShortDateFormat(locale));
}

QTime ParseLongTime(const QString &text, const QLocale &locale)
{
    return locale.toTime(text.trimmed(), LongTimeFormat(locale));
}

QString LongDayName(int isoDay, const QLocale &locale)
{
    if (isoDay < 1 || isoDay > 7)
        return QString();
    return locale.dayName(isoDay, QLocale::LongFormat);
}

QString DecimalSeparator(const QLocale &locale)
{
    return locale.decimalPoint();
}
