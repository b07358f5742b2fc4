// UpdateFormat: the texts and roundings of the update window's progress display.
#pragma once

#include <QString>

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4), clamped
// to the int range.
int RoundHalfEven(double value);

// "999 B", "1000 B", "0.98 KB", "1.5 KB", "1 MB", "2.38 MB": divided by 1024
// while above 1000 (up to GB), two decimals at most, the locale's separator.
QString FormatSize(qint64 bytes);

// "5s", "2m 5s", "1h 2m 5sec".
QString FormatTimeLeft(int seconds);
