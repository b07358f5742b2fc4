// UpdateFormat: size and time texts.
#include "UpdateFormat.h"

#include <QLocale>
#include <climits>
#include <cmath>

int RoundHalfEven(double value)
{
    // std::nearbyint rounds in the current mode, which is to-nearest-even
    // unless someone changed it; do it by hand so nothing can.
    double whole = std::floor(value);
    const double diff = value - whole;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    if (whole >= double(INT_MAX))
        return INT_MAX;
    if (whole <= double(INT_MIN))
        return INT_MIN;
    return int(whole);
}

QString FormatSize(qint64 bytes)
{
    static const char *const units[] = {" B", " KB", " MB", " GB"};
    double v = double(bytes);
    int unit = 1;
    while (v > 1000 && unit < 4) {
        v /= 1024;
        ++unit;
    }
    // Two decimals, halves to even, as the integer rounding does.
    const double hundredths = std::floor(v * 100);
    const double diff = v * 100 - hundredths;
    double rounded = hundredths;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(hundredths, 2.0) != 0.0))
        rounded += 1.0;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(rounded / 100, 'f', QLocale::FloatingPointShortest)
           + QString::fromLatin1(units[unit - 1]);
}

QString FormatTimeLeft(int seconds)
{
    const int h = seconds / 3600;
    const int m = (seconds / 60) % 60;
    const int r = seconds % 60;
    if (h != 0)
        return QStringLiteral("%1h %2m %3sec").arg(h).arg(m).arg(r);
    if (m != 0)
        return QStringLiteral("%1m %2s").arg(m).arg(r);
    return QStringLiteral("%1s").arg(r);
}
