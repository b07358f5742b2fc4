// ut_fileUtils: path and file helpers of the copy runs.
#pragma once

#include <QString>
#include <QtGlobal>

// Appends the folder separator ("/") to a non-empty path that does not end
// with one; an empty path stays empty.
QString AddTrailingBackslash(const QString &path);

// The path without `prefix` when it begins with it (exact, case-sensitive);
// otherwise, and for an empty prefix, an empty string.
QString RelativeTail(const QString &prefix, const QString &path);

// The file's size, read by opening it; -1 when it cannot be opened.
qint64 FileSizeOf(const QString &path);

// True when the source differs from the destination in size or in local
// modification time at two-second resolution; a missing or unreadable file has
// size 0 and time 0. Contents are not compared.
bool FileChanged(const QString &source, const QString &dest);
// The same rule over facts already read.
struct TFileFacts;
bool FileChanged(const TFileFacts &source, const TFileFacts &dest);
