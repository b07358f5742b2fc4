// LocaleFormats: the user's short date, long time, weekday names and decimal
// separator, made fit for texts that are written and read back.
#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

// Every function takes the locale to use; the default argument is QLocale(),
// which is the system locale unless QLocale::setDefault() changed it (tests pin
// the locale that way, never relying on the machine's).

// Short date format, always with a four-digit year: Qt's "M/d/yy" becomes
// "M/d/yyyy", so 30 Dec 1899 is never written as 99 and read back as 1999.
QString ShortDateFormat(const QLocale &locale = QLocale());
// Long time format without the time-zone field ("HH:mm:ss", never "HH:mm:ss t").
QString LongTimeFormat(const QLocale &locale = QLocale());

QString FormatShortDate(const QDate &date, const QLocale &locale = QLocale());
QString FormatLongTime(const QTime &time, const QLocale &locale = QLocale());
// Reads what FormatShortDate / FormatLongTime wrote; an invalid date/time on failure.
QDate ParseShortDate(const QString &text, const QLocale &locale = QLocale());
QTime ParseLongTime(const QString &text, const QLocale &locale = QLocale());

// Full weekday name, isoDay 1 = Monday ... 7 = Sunday; empty outside that range.
QString LongDayName(int isoDay, const QLocale &locale = QLocale());
QString DecimalSeparator(const QLocale &locale = QLocale());
