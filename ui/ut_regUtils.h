// ut_regUtils: reading and writing the user's settings by key and value name,
// and saving and restoring a window's placement there.
//
// Key paths are written from the root of the user's store, for example
// "\software\Zarnoth\Vantor\Options". None of these functions ever reports a
// failure: reads fall back to the default, writes that fail are skipped.
#pragma once

#include <QString>

class QWidget;

// The key under which a window's placement is kept: "\software\Zarnoth\Vantor\Pos\" + objectName.
QString PlacementKey(const QWidget *window);

// A value of the Default's kind: booleans and integers are stored as 32-bit
// integers (a boolean is true when non-zero), floating-point numbers (dates
// and times too) as 8 raw bytes, strings as strings. A missing key, a missing
// value or a value stored as another kind gives Default; a string value that
// is missing in a key that exists reads as empty.
bool ReadRegValue(const QString &Key, const QString &Name, bool Default);
int ReadRegValue(const QString &Key, const QString &Name, int Default);
double ReadRegValue(const QString &Key, const QString &Name, double Default);
QString ReadRegValue(const QString &Key, const QString &Name, const QString &Default);
// A bare literal would quietly pick the boolean reader: say QString.
void ReadRegValue(const QString &, const QString &, const char *) = delete;

// Writes Name by the Value's kind, as above; the key is made when missing.
void WriteRegValue(const QString &Key, const QString &Name, bool Value);
void WriteRegValue(const QString &Key, const QString &Name, int Value);
void WriteRegValue(const QString &Key, const QString &Name, double Value);
void WriteRegValue(const QString &Key, const QString &Name, const QString &Value);
void WriteRegValue(const QString &, const QString &, const char *) = delete;

// Stores the window's placement as the ten 32-bit values "Flags", "ShowCmd",
// "MinPosX", "MinPosY", "MaxPosX", "MaxPosY", "NormPosLeft", "NormPosTop",
// "NormPosRight", "NormPosBottom": the normal (not maximised) rectangle in
// screen pixels, right and bottom exclusive, and the show state (1 normal,
// 2 minimised, 3 maximised).
void SaveWindowPlacement(QWidget *window, const QString &Key);

// Applies a stored placement: the normal rectangle, then the show state. When
// any of the ten values is missing or not an integer the window is left as it
// is. A rectangle that no screen shows now (a monitor since unplugged) is
// moved onto the nearest screen, so the window never opens out of reach.
// Returns whether a placement was applied.
bool RestoreWindowPlacement(QWidget *window, const QString &Key);
