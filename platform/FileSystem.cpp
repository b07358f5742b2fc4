// FileSystem: POSIX implementation of listing, file facts and the safe copy.
#include "FileSystem.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

namespace {
// Every open for reading: a named pipe or device in a tree must not hold the
// run waiting for a writer (regular files read the same either way).
constexpr int kReadOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
} // namespace

std::optional<qint64> FileSizeOfPath(const QString &path)
{
    FdCloser fd(::open(Native(path).constData(), kReadOpenFlags));
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
    // Plain calendar arithmetic instead of gmtime_r, which takes that same lock.
    const long long shifted = static_cast<long long>(seconds) + cache.offset;
    long long days = shifted / 86400;
    long long secs = shifted % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    // Civil date from a day count since 1970-01-01 (proleptic Gregorian, eras
    // of 400 years starting on 1 March).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra
        = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthFromMarch = (5 * dayOfYear + 2) / 153;
    const long long month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    local = std::tm{};
    local.tm_year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0) - 1900);
    local.tm_mon = static_cast<int>(month - 1);
    local.tm_mday = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    local.tm_hour = static_cast<int>(secs / 3600);
    local.tm_min = static_cast<int>(secs / 60 % 60);
    local.tm_sec = static_cast<int>(secs % 60);
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
    FdCloser fd(::openat(dirFd, path, kReadOpenFlags));
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

TOpenedFile::~TOpenedFile()
{
    Close();
}

TOpenedFile::TOpenedFile(TOpenedFile &&other) noexcept
{
    *this = std::move(other);
}

TOpenedFile &TOpenedFile::operator=(TOpenedFile &&other) noexcept
{
    if (this != &other) {
        Close();
        FFd = std::exchange(other.FFd, -1);
        FRegular = other.FRegular;
        FSize = other.FSize;
        FMode = other.FMode;
        FTimes[0] = other.FTimes[0];
        FTimes[1] = other.FTimes[1];
        FFacts = other.FFacts;
    }
    return *this;
}

void TOpenedFile::Close()
{
    if (FFd >= 0)
        ::close(std::exchange(FFd, -1));
}

TFolderHandle::TFolderHandle(const QString &folder)
    : FFolder(folder.isEmpty() || folder.endsWith(u'/') ? folder : folder + u'/')
{
    // O_PATH needs no read right on the folder itself, just like the lookups
    // through it that the path functions make.
    if (!folder.isEmpty()) {
        const QByteArray native = Native(FFolder);
        FFd = ::open(native.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        FWasMissing = FFd < 0 && (errno == ENOENT || errno == ENOTDIR);
    }
}

bool TFolderHandle::Reopen()
{
    if (FFd >= 0 || FFolder.isEmpty())
        return FFd >= 0;
    FFd = ::open(Native(FFolder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return FFd >= 0;
}

TOpenedFile TFolderHandle::Open(const QString &name) const
{
    TOpenedFile file;
    const QByteArray native = Native(FFd < 0 ? FFolder + name : name);
    const int dirFd = FFd < 0 ? AT_FDCWD : FFd;
    struct stat st;
    FdCloser fd(::openat(dirFd, native.constData(), kReadOpenFlags));
    if (fd.Get() >= 0 && ::fstat(fd.Get(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            file.FFacts.openedSize = static_cast<qint64>(st.st_size);
        file.FFacts.dosTime = DosDateTimeOfStat(st);
        file.FRegular = S_ISREG(st.st_mode);
        file.FSize = static_cast<qint64>(st.st_size);
        file.FMode = st.st_mode & 07777;
        file.FTimes[0] = st.st_atim;
        file.FTimes[1] = st.st_mtim;
        file.FFd = fd.Release();
    } else if (fd.Get() < 0 && errno != ENOENT && errno != ENOTDIR
               && ::fstatat(dirFd, native.constData(), &st, 0) == 0) {
        file.FFacts.dosTime = DosDateTimeOfStat(st);
    }
    return file;
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

namespace {
std::atomic<bool> gUnnamedTemporaries{true};

// Where a copy goes: `name` relative to `dirFd`, which is the open target
// folder, or AT_FDCWD with the folder's path in `name` and `prefix`.
struct TTargetPlace {
    int dirFd = AT_FDCWD;
    QByteArray prefix;   // folder part of `name` ("" when dirFd is the folder)
    QByteArray base;     // the target's own name
    QByteArray Name() const { return prefix + base; }
    QByteArray TempName() const
    {
        return prefix + '.' + base + ".vantor-"
            + QByteArray::number(QRandomGenerator::global()->generate(), 36);
    }
    const char *Folder() const { return prefix.isEmpty() ? "." : prefix.constData(); }
};

struct TSourceFacts {
    int fd;
    qint64 size;
    quint32 mode;
    std::timespec times[2];
};

// Contents from the start of `source` into `outFd`. The kernel copies (and may
// share extents); sendfile is the fallback for file systems where
// copy_file_range cannot work. Explicit offsets keep `source`'s own position
// untouched, so the same open file can be copied again.
bool CopyContents(const TSourceFacts &source, int outFd, const std::atomic<bool> *stop,
                  QString *why)
{
    constexpr size_t kChunk = size_t(8) << 20;
    bool useSendfile = false;
    off_t done = 0;
    while (done < source.size) {
        if (stop && stop->load()) {
            *why = QStringLiteral("stopped");
            return false;
        }
        const size_t want = size_t(std::min<off_t>(source.size - done, off_t(kChunk)));
        off_t inOffset = done;
        ssize_t n;
        if (!useSendfile) {
            n = ::copy_file_range(source.fd, &inOffset, outFd, nullptr, want, 0);
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS
                          || errno == EOPNOTSUPP || errno == EBADF)) {
                useSendfile = true;
                continue;
            }
        } else {
            n = ::sendfile(outFd, source.fd, &inOffset, want);
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *why = ErrnoText(errno);
            return false;
        }
        if (n == 0)
            break;  // the source shrank while we copied; take what is there
        done += n;
    }
    if (stop && stop->load()) {
        *why = QStringLiteral("stopped");
        return false;
    }
    return true;
}

bool SetModeAndTimes(const TSourceFacts &source, int outFd, QString *why)
{
    if (::fchmod(outFd, source.mode) != 0 || ::futimens(outFd, source.times) != 0) {
        *why = ErrnoText(errno);
        return false;
    }
    return true;
}

// Set once linking by the descriptor itself has been refused: it needs a
// capability (CAP_DAC_READ_SEARCH) that a normal user's process lacks.
std::atomic<bool> gLinkByFdRefused{false};

// Gives the unnamed file `fd` the name `name` in the place's folder; 0 or the
// error number.
int LinkUnnamed(int fd, const TTargetPlace &place, const QByteArray &name)
{
    if (!gLinkByFdRefused.load(std::memory_order_relaxed)) {
        // Spares the walk through /proc where it is allowed.
        if (::linkat(fd, "", place.dirFd, name.constData(), AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT && errno != EPERM)
            return errno;
        gLinkByFdRefused.store(true, std::memory_order_relaxed);
    }
    char procPath[40];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, procPath, place.dirFd, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    return errno;
}

// Renames the complete, closed temporary `temp` over the target; the
// temporary is gone afterwards whatever happens.
bool RenameIntoPlace(const TTargetPlace &place, const QByteArray &temp, QString *why)
{
    if (::renameat(place.dirFd, temp.constData(), place.dirFd, place.Name().constData()) == 0)
        return true;
    *why = ErrnoText(errno);
    ::unlinkat(place.dirFd, temp.constData(), 0);
    return false;
}

enum class TUnnamedResult { Done, Failed, NotPossible };

// The copy into a new target through an unnamed file. NotPossible (with
// nothing left behind) when the file system has no unnamed files or they
// cannot be linked here; the caller then uses a named temporary.
TUnnamedResult CopyUnnamed(const TSourceFacts &source, const TTargetPlace &place,
                           const std::atomic<bool> *stop, QString *why)
{
    const int outFd = ::openat(place.dirFd, place.Folder(), O_TMPFILE | O_WRONLY | O_CLOEXEC,
                               0600);
    if (outFd < 0)
        return TUnnamedResult::NotPossible;  // any reason: the named path finds its own
    FdCloser out(outFd);
    // Closing the unnamed file throws it away: nothing to clean up on failure.
    if (!CopyContents(source, out.Get(), stop, why) || !SetModeAndTimes(source, out.Get(), why))
        return TUnnamedResult::Failed;

    int linkError = LinkUnnamed(out.Get(), place, place.Name());
    if (linkError == 0) {
        if (::close(out.Release()) != 0) {
            // The contents may not have made it to the disk: no target then.
            *why = ErrnoText(errno);
            ::unlinkat(place.dirFd, place.Name().constData(), 0);
            return TUnnamedResult::Failed;
        }
        return TUnnamedResult::Done;
    }
    if (linkError != EEXIST)
        return TUnnamedResult::NotPossible;

    // The target came into being meanwhile: name the finished file and
    // rename it over the target, as for any replacement.
    QByteArray temp;
    for (int attempt = 0; attempt < 16 && linkError == EEXIST; ++attempt) {
        temp = place.TempName();
        linkError = LinkUnnamed(out.Get(), place, temp);
    }
    if (linkError != 0) {
        *why = ErrnoText(linkError);
        return TUnnamedResult::Failed;
    }
    if (::close(out.Release()) != 0) {
        *why = ErrnoText(errno);
        ::unlinkat(place.dirFd, temp.constData(), 0);
        return TUnnamedResult::Failed;
    }
    return RenameIntoPlace(place, temp, why) ? TUnnamedResult::Done : TUnnamedResult::Failed;
}

bool CopyNamed(const TSourceFacts &source, const TTargetPlace &place,
               const std::atomic<bool> *stop, QString *why)
{
    QByteArray temp;
    int outFd = -1;
    for (int attempt = 0; attempt < 16 && outFd < 0; ++attempt) {
        temp = place.TempName();
        outFd = ::openat(place.dirFd, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                         0600);
        if (outFd < 0 && errno != EEXIST)
            break;
    }
    if (outFd < 0) {
        *why = ErrnoText(errno);
        return false;
    }
    FdCloser out(outFd);
    if (!CopyContents(source, out.Get(), stop, why) || !SetModeAndTimes(source, out.Get(), why)) {
        ::close(out.Release());
        ::unlinkat(place.dirFd, temp.constData(), 0);
        return false;
    }
    if (::close(out.Release()) != 0) {
        *why = ErrnoText(errno);
        ::unlinkat(place.dirFd, temp.constData(), 0);
        return false;
    }
    return RenameIntoPlace(place, temp, why);
}

bool CopyTo(const TSourceFacts &source, const TTargetPlace &place, bool targetMissing,
            const std::atomic<bool> *stop, QString *error)
{
    QString why;
    bool copied = false;
    TUnnamedResult unnamed = TUnnamedResult::NotPossible;
    if (targetMissing && gUnnamedTemporaries.load(std::memory_order_relaxed))
        unnamed = CopyUnnamed(source, place, stop, &why);
    if (unnamed == TUnnamedResult::NotPossible)
        copied = CopyNamed(source, place, stop, &why);
    else
        copied = unnamed == TUnnamedResult::Done;
    if (!copied && error)
        *error = why;
    return copied;
}

TTargetPlace PlaceOfPath(const QString &target)
{
    const qsizetype slash = target.lastIndexOf(u'/');
    TTargetPlace place;
    place.prefix = Native(target.left(slash + 1));
    place.base = Native(target.mid(slash + 1));
    return place;
}
} // namespace

void UseUnnamedTemporaries(bool on)
{
    gUnnamedTemporaries.store(on);
}

bool CopyFileReplacing(const QString &source, const QString &target,
                       const std::atomic<bool> *stop, QString *error)
{
    FdCloser in(::open(Native(source).constData(), kReadOpenFlags));
    struct stat st;
    if (in.Get() < 0 || ::fstat(in.Get(), &st) != 0) {
        if (error)
            *error = ErrnoText(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        if (error)
            *error = QStringLiteral("not a regular file");
        return false;
    }
    const TSourceFacts facts{in.Get(), static_cast<qint64>(st.st_size), st.st_mode & 07777,
                             {st.st_atim, st.st_mtim}};
    const TTargetPlace place = PlaceOfPath(target);
    struct stat existing;
    const bool missing = ::lstat(place.Name().constData(), &existing) != 0 && errno == ENOENT;
    return CopyTo(facts, place, missing, stop, error);
}

bool CopyFileReplacing(const TOpenedFile &source, const TFolderHandle &folder,
                       const QString &name, bool targetMissing,
                       const std::atomic<bool> *stop, QString *error)
{
    if (!source.IsOpen() || !source.FRegular) {
        if (error)
            *error = source.IsOpen() ? QStringLiteral("not a regular file")
                                     : QStringLiteral("source could not be opened");
        return false;
    }
    const TSourceFacts facts{source.FFd, source.FSize, source.FMode,
                             {source.FTimes[0], source.FTimes[1]}};
    TTargetPlace place;
    if (folder.FFd >= 0) {
        place.dirFd = folder.FFd;
        place.base = Native(name);
    } else {
        place = PlaceOfPath(folder.FFolder + name);
    }
    return CopyTo(facts, place, targetMissing, stop, error);
}

bool DeleteFileAt(const QString &path)
{
    struct stat st;
    const QByteArray native = Native(path);
    if (::lstat(native.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlink(native.constData()) == 0;
}
