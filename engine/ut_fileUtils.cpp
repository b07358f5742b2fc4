// ut_fileUtils: path helpers and the change rule of the copy pass.
#include "ut_fileUtils.h"

#include "FileSystem.h"

QString AddTrailingBackslash(const QString &path)
{
    if (path.isEmpty() || path.endsWith(u'/'))
        return path;
    return path + u'/';
}

QString RelativeTail(const QString &prefix, const QString &path)
{
    if (prefix.isEmpty() || !path.startsWith(prefix, Qt::CaseSensitive))
        return QString();
    return path.mid(prefix.size());
}

qint64 FileSizeOf(const QString &path)
{
    return FileSizeOfPath(path).value_or(-1);
}

bool FileChanged(const QString &source, const QString &dest)
{
    // One open per file: size and time come from the same descriptor.
    return FileChanged(FileFactsOf(source), FileFactsOf(dest));
}

bool FileChanged(const TFileFacts &s, const TFileFacts &d)
{
    if (s.openedSize.value_or(0) != d.openedSize.value_or(0))
        return true;
    if (s.dosTime == d.dosTime)
        return false;
    // Different DOS values may still both mean "no time" (0).
    const double timeS = s.dosTime ? DosDateTimeToOle(*s.dosTime) : 0;
    const double timeD = d.dosTime ? DosDateTimeToOle(*d.dosTime) : 0;
    return timeS != timeD;
}
