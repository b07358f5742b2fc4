// FileSystem: POSIX implementation of listing, file facts and the safe copy.
#include "FileSystem.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool MatchPlain(QStringView name, QStringView mask)
{
    // Iterative wildcard match with one backtrack point, letters folded.
    qsizetype n = 0, m = 0, starM = -1, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == u'*') {
            starM = m++;
            starN = n;
        } else if (m < mask.size()
                   && (mask[m] == u'?' || mask[m].toCaseFolded() == name[n].toCaseFolded())) {
            ++m;
            ++n;
        } else if (starM >= 0) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

QByteArray Native(const QString &path)
{
    return QFile::encodeName(path);
}

class FdCloser {
public:
    explicit FdCloser(int fd) : FFd(fd) {}
    ~FdCloser() { if (FFd >= 0) ::close(FFd); }
    int Release() { const int fd = FFd; FFd = -1; return fd; }
    int Get() const { return FFd; }
    FdCloser(const FdCloser &) = delete;
    FdCloser &operator=(const FdCloser &) = delete;
private:
    int FFd;
};

QString ErrnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

bool MatchesMask(QStringView name, QStringView mask)
{
    if (mask.isEmpty())
        return false;
    if (mask == u"*.*" || mask == u"*")
        return true;
    if (MatchPlain(name, mask))
        return true;
    const bool nameHasDot = name.contains(u'.');
    if (!nameHasDot && mask.endsWith(u".*"))
        return MatchPlain(name, mask.chopped(2));
    if (!nameHasDot && mask.endsWith(u'.') && mask.size() > 1)
        return MatchPlain(name, mask.chopped(1));
    return false;
}

std::optional<QList<TFoundItem>> ListFolder(const QString &folder, const QString &mask,
                                            bool withAttributes)
{
    const QByteArray native = Native(folder.isEmpty() ? QStringLiteral(".") : folder);
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        return std::nullopt;
    const int dirFd = ::dirfd(dir);
    QList<TFoundItem> items;
    while (dirent *entry = ::readdir(dir)) {
        const char *raw = entry->d_name;
        if ((raw[0] == '.' && raw[1] == 0) || (raw[0] == '.' && raw[1] == '.' && raw[2] == 0))
            continue;
        TFoundItem item;
        item.name = QFile::decodeName(raw);
        if (!MatchesMask(item.name, mask))
            continue;
        item.hidden = raw[0] == '.';
        item.isLink = entry->d_type == DT_LNK;
        if (!withAttributes && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
            // The directory entry says what it is; no stat needed.
            item.isFolder = entry->d_type == DT_DIR;
            items.append(std::move(item));
            continue;
        }
        struct stat st;
        if (::fstatat(dirFd, raw, &st, 0) == 0) {
            item.isFolder = S_ISDIR(st.st_mode);
            item.readOnly = (st.st_mode & S_IWUSR) == 0;
        } else {
            // A dangling link or a vanished item: listed as a file, as it stands.
            item.isFolder = entry->d_type == DT_DIR;
        }
        items.append(std::move(item));
    }
    ::closedir(dir);
    return items;
}

std::optional<TFileId> FileIdOf(const QString &path)
{
    struct stat st;
    if (::stat(Native(path).constData(), &st) != 0)
        return std::nullopt;
    return TFileId{st.st_dev, st.st_ino};
}

std::optional<qint64> FileSizeOfPath(const QString &path)
{
    FdCloser fd(::open(Native(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;
    return static_cast<qint64>(st.st_size);
}

namespace {
// localtime_r takes the C library's time-zone lock, which the UI thread's own
// clock reads contend for while a run checks thousands of files. Zone offsets
// change only at quarter-hour instants, so the offset found for one quarter
// hour holds for every time in it.
bool LocalTimeOf(time_t seconds, std::tm &local)
{
    constexpr time_t kQuarter = 900;
    struct TOffsetCache {
        time_t quarter = -1;
        long offset = 0;
        bool valid = false;
    };
    thread_local TOffsetCache cache;
    const time_t quarter = seconds >= 0 ? seconds / kQuarter : -1;
    if (quarter < 0 || quarter != cache.quarter || !cache.valid) {
        if (!::localtime_r(&seconds, &local))
            return false;
        cache.quarter = quarter;
        cache.offset = local.tm_gmtoff;
        cache.valid = quarter >= 0;
        return true;
    }
    const time_t shifted = seconds + cache.offset;
    if (!::gmtime_r(&shifted, &local))
        return false;
    return true;
}

std::optional<quint32> DosDateTimeOfStat(const struct stat &st)
{
    std::tm local{};
    const time_t seconds = st.st_mtim.tv_sec;
    if (!LocalTimeOf(seconds, local))
        return std::nullopt;
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return std::nullopt;
    return (quint32(year - 1980) << 25) | (quint32(local.tm_mon + 1) << 21)
        | (quint32(local.tm_mday) << 16) | (quint32(local.tm_hour) << 11)
        | (quint32(local.tm_min) << 5) | quint32(local.tm_sec / 2);
}
} // namespace

std::optional<quint32> DosDateTimeOfFile(const QString &path)
{
    struct stat st;
    if (::stat(Native(path).constData(), &st) != 0)
        return std::nullopt;
    return DosDateTimeOfStat(st);
}

namespace {
// Size and time from one open relative to `dirFd` (AT_FDCWD: a whole path).
TFileFacts FactsAt(int dirFd, const char *path)
{
    TFileFacts facts;
    struct stat st;
    FdCloser fd(::openat(dirFd, path, O_RDONLY | O_CLOEXEC));
    if (fd.Get() >= 0 && ::fstat(fd.Get(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            facts.openedSize = static_cast<qint64>(st.st_size);
        facts.dosTime = DosDateTimeOfStat(st);
    } else if (fd.Get() < 0 && (errno == ENOENT || errno == ENOTDIR)) {
        // Not there at all: a stat could find no time either.
    } else if (::fstatat(dirFd, path, &st, 0) == 0) {
        facts.dosTime = DosDateTimeOfStat(st);
    }
    return facts;
}

bool MissingAt(int dirFd, const char *path)
{
    struct stat st;
    if (::fstatat(dirFd, path, &st, 0) == 0)
        return S_ISDIR(st.st_mode);
    return errno == ENOENT || errno == ENOTDIR;
}
} // namespace

TFileFacts FileFactsOf(const QString &path)
{
    return FactsAt(AT_FDCWD, Native(path).constData());
}

TFolderHandle::TFolderHandle(const QString &folder)
    : FFolder(folder.isEmpty() || folder.endsWith(u'/') ? folder : folder + u'/')
{
    // O_PATH needs no read right on the folder itself, just like the lookups
    // through it that the path functions make.
    if (!folder.isEmpty())
        FFd = ::open(Native(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

TFolderHandle::~TFolderHandle()
{
    if (FFd >= 0)
        ::close(FFd);
}

TFileFacts TFolderHandle::FactsOf(const QString &name) const
{
    if (FFd < 0)
        return FileFactsOf(FFolder + name);
    return FactsAt(FFd, Native(name).constData());
}

bool TFolderHandle::IsMissing(const QString &name) const
{
    if (FFd < 0)
        return FileIsMissing(FFolder + name);
    return MissingAt(FFd, Native(name).constData());
}

double DosDateTimeToOle(quint32 dos)
{
    const int year = int(dos >> 25) + 1980;
    const int month = int((dos >> 21) & 0x0F);
    const int day = int((dos >> 16) & 0x1F);
    const int hour = int((dos >> 11) & 0x1F);
    const int minute = int((dos >> 5) & 0x3F);
    const int second = int(dos & 0x1F) * 2;
    const QDate date(year, month, day);
    if (!date.isValid() || hour > 23 || minute > 59 || second > 59)
        return 0;
    // Plain calendar arithmetic: a DOS time is a wall-clock reading, no zone.
    const double days = double(date.toJulianDay() - QDate(1899, 12, 30).toJulianDay());
    return days + (hour * 3600 + minute * 60 + second) / 86400.0;
}

bool FileExists(const QString &path)
{
    struct stat st;
    return ::stat(Native(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FileIsMissing(const QString &path)
{
    struct stat st;
    if (::stat(Native(path).constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    return errno == ENOENT || errno == ENOTDIR;
}

bool ForceFolders(const QString &path)
{
    if (path.isEmpty())
        return false;
    QDir dir;
    return dir.mkpath(path) && QFileInfo(path).isDir();
}

bool CopyFileReplacing(const QString &source, const QString &target,
                       const std::atomic<bool> *stop, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    FdCloser in(::open(Native(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0)
        return fail(ErrnoText(errno));
    struct stat st;
    if (::fstat(in.Get(), &st) != 0)
        return fail(ErrnoText(errno));
    if (!S_ISREG(st.st_mode))
        return fail(QStringLiteral("not a regular file"));

    const qsizetype slash = target.lastIndexOf(u'/');
    const QString folder = slash >= 0 ? target.left(slash + 1) : QString();
    const QString base = target.mid(slash + 1);
    QByteArray tempPath;
    int outFd = -1;
    for (int attempt = 0; attempt < 16 && outFd < 0; ++attempt) {
        tempPath = Native(folder + u'.' + base + QStringLiteral(".vantor-")
                          + QString::number(QRandomGenerator::global()->generate(), 36));
        outFd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (outFd < 0 && errno != EEXIST)
            break;
    }
    if (outFd < 0)
        return fail(ErrnoText(errno));
    FdCloser out(outFd);
    auto abandon = [&](const QString &why) {
        ::close(out.Release());
        ::unlink(tempPath.constData());
        return fail(why);
    };

    // The kernel copies (and may share extents); sendfile is the fallback for
    // file systems where copy_file_range cannot work.
    constexpr size_t kChunk = size_t(8) << 20;
    bool useSendfile = false;
    off_t done = 0;
    while (done < st.st_size) {
        if (stop && stop->load())
            return abandon(QStringLiteral("stopped"));
        const size_t want = size_t(std::min<off_t>(st.st_size - done, off_t(kChunk)));
        ssize_t n;
        if (!useSendfile) {
            n = ::copy_file_range(in.Get(), nullptr, out.Get(), nullptr, want, 0);
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS
                          || errno == EOPNOTSUPP || errno == EBADF)) {
                useSendfile = true;
                continue;
            }
        } else {
            n = ::sendfile(out.Get(), in.Get(), nullptr, want);
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon(ErrnoText(errno));
        }
        if (n == 0)
            break;  // the source shrank while we copied; take what is there
        done += n;
    }
    if (stop && stop->load())
        return abandon(QStringLiteral("stopped"));
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(out.Get(), st.st_mode & 07777) != 0 || ::futimens(out.Get(), times) != 0)
        return abandon(ErrnoText(errno));
    if (::close(out.Release()) != 0) {
        const int saved = errno;
        ::unlink(tempPath.constData());
        return fail(ErrnoText(saved));
    }
    if (::rename(tempPath.constData(), Native(target).constData()) != 0) {
        const int saved = errno;
        ::unlink(tempPath.constData());
        return fail(ErrnoText(saved));
    }
    return true;
}

bool DeleteFileAt(const QString &path)
{
    struct stat st;
    const QByteArray native = Native(path);
    if (::lstat(native.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlink(native.constData()) == 0;
}
