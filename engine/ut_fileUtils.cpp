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
    const qint64 sizeS = FileSizeOfPath(source).value_or(0);
    const qint64 sizeD = FileSizeOfPath(dest).value_or(0);
    const auto dosS = DosDateTimeOfFile(source);
    const auto dosD = DosDateTimeOfFile(dest);
    const double timeS = dosS ? DosDateTimeToOle(*dosS) : 0;
    const double timeD = dosD ? DosDateTimeToOle(*dosD) : 0;
    return timeS != timeD || sizeS != sizeD;
}
