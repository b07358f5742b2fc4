// FileSystem: POSIX implementation of listing, file facts and the safe copy.
#include "FileSystem.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    return NativePath(path);
}

// A file name in the system's form for one call, without a heap allocation
// for the usual short ASCII name (a run converts two or three names per file).
class TNativeName {
public:
    explicit TNativeName(const QString &name)
    {
        const qsizetype n = name.size();
        if (n < qsizetype(sizeof FBuffer)) {
            const char16_t *chars = reinterpret_cast<const char16_t *>(name.constData());
            qsizetype i = 0;
            for (; i < n && chars[i] < 0x80; ++i)
                FBuffer[i] = char(chars[i]);
            if (i == n) {
                FBuffer[n] = 0;
                FData = FBuffer;
                return;
            }
        }
        FLong = NativePath(name);
        FData = FLong.constData();
    }
    TNativeName(const TNativeName &) = delete;
    TNativeName &operator=(const TNativeName &) = delete;
    const char *constData() const { return FData; }

private:
    char FBuffer[256];
    QByteArray FLong;
    const char *FData = nullptr;
};

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

// Length of the valid UTF-8 sequence at `p` (at most `left` bytes), 0 when
// none starts there. Overlong forms, surrogates and values past U+10FFFF are
// not valid.
int Utf8SequenceAt(const unsigned char *p, qsizetype left, char32_t *code)
{
    const unsigned char b = p[0];
    int length;
    char32_t value;
    char32_t minimum;
    if (b < 0x80) {
        *code = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        length = 2; value = b & 0x1F; minimum = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3; value = b & 0x0F; minimum = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4; value = b & 0x07; minimum = 0x10000;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *code = value;
    return length;
}
} // namespace

QString PathFromNative(const char *bytes, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes);
    qsizetype i = 0;
    while (i < size && p[i] < 0x80)
        ++i;
    if (i == size)
        return QString::fromLatin1(bytes, size);
    QString text = QString::fromLatin1(bytes, i);
    text.reserve(size);
    while (i < size) {
        char32_t code = 0;
        const int length = Utf8SequenceAt(p + i, size - i, &code);
        if (length == 0) {
            text.append(QChar(char16_t(0xDC00 + p[i])));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            text.append(QChar(QChar::highSurrogate(code)));
            text.append(QChar(QChar::lowSurrogate(code)));
        } else {
            text.append(QChar(char16_t(code)));
        }
        i += length;
    }
    return text;
}

QByteArray NativePath(QStringView path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = path[i].unicode();
        char32_t code = c;
        if (c < 0x80) {
            bytes.append(char(c));
            continue;
        }
        if (c >= 0xDC80 && c <= 0xDCFF) {
            // A byte that was not UTF-8 when the name was read.
            bytes.append(char(c - 0xDC00));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(path[i + 1].unicode()))
            code = QChar::surrogateToUcs4(c, path[++i].unicode());
        char buffer[4];
        int length;
        if (code < 0x800) {
            buffer[0] = char(0xC0 | (code >> 6));
            buffer[1] = char(0x80 | (code & 0x3F));
            length = 2;
        } else if (code < 0x10000) {
            buffer[0] = char(0xE0 | (code >> 12));
            buffer[1] = char(0x80 | ((code >> 6) & 0x3F));
            buffer[2] = char(0x80 | (code & 0x3F));
            length = 3;
        } else {
            buffer[0] = char(0xF0 | (code >> 18));
            buffer[1] = char(0x80 | ((code >> 12) & 0x3F));
            buffer[2] = char(0x80 | ((code >> 6) & 0x3F));
            buffer[3] = char(0x80 | (code & 0x3F));
            length = 4;
        }
        bytes.append(buffer, length);
    }
    return bytes;
}

QString SystemErrorText(int error)
{
    return ErrnoText(error);
}

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

namespace {
// Lists the open folder `dir` (closed here) by mask.
QList<TFoundItem> ListOpenFolder(DIR *dir, const QString &mask, bool withAttributes)
{
    const int dirFd = ::dirfd(dir);
    QList<TFoundItem> items;
    while (dirent *entry = ::readdir(dir)) {
        const char *raw = entry->d_name;
        if ((raw[0] == '.' && raw[1] == 0) || (raw[0] == '.' && raw[1] == '.' && raw[2] == 0))
            continue;
        TFoundItem item;
        item.name = PathFromNative(raw, qsizetype(std::strlen(raw)));
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
        if (entry->d_type == DT_UNKNOWN && ::fstatat(dirFd, raw, &st, AT_SYMLINK_NOFOLLOW) == 0)
            item.isLink = S_ISLNK(st.st_mode);
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
} // namespace

std::optional<QList<TFoundItem>> ListFolder(const QString &folder, const QString &mask,
                                            bool withAttributes)
{
    const QByteArray native = Native(folder.isEmpty() ? QStringLiteral(".") : folder);
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        return std::nullopt;
    return ListOpenFolder(dir, mask, withAttributes);
}

bool CanListFolder(const QString &folder)
{
    DIR *dir = ::opendir(Native(folder).constData());
    if (!dir)
        return false;
    ::closedir(dir);
    return true;
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
        FChanged = other.FChanged;
        FError = other.FError;
        FFacts = other.FFacts;
    }
    return *this;
}

QString TOpenedFile::ErrorText() const
{
    if (IsOpen())
        return QString();
    return ErrnoText(FError ? FError : ENOENT);
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
        FError = FFd < 0 ? errno : 0;
        FWasMissing = FFd < 0 && (errno == ENOENT || errno == ENOTDIR);
    } else {
        FError = ENOENT;
        FWasMissing = true;
    }
}

TFolderHandle::TFolderHandle(const TFolderHandle &parent, const QString &name)
    : FFolder(parent.FFolder + name + u'/')
{
    if (parent.FFd < 0) {
        FError = parent.FError;
        FWasMissing = parent.FWasMissing;
        return;
    }
    FFd = ::openat(parent.FFd, Native(name).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    FError = FFd < 0 ? errno : 0;
    FWasMissing = FFd < 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool TFolderHandle::Reopen()
{
    if (FFd >= 0 || FFolder.isEmpty())
        return FFd >= 0;
    FFd = ::open(Native(FFolder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    FError = FFd < 0 ? errno : 0;
    return FFd >= 0;
}

std::optional<TFileId> TFolderHandle::Id() const
{
    struct stat st;
    if (FFd < 0 || ::fstat(FFd, &st) != 0)
        return std::nullopt;
    return TFileId{st.st_dev, st.st_ino};
}

std::optional<QList<TFoundItem>> TFolderHandle::List(const QString &mask, bool withAttributes,
                                                     int *error) const
{
    if (FFd < 0) {
        if (error)
            *error = FError;
        return std::nullopt;
    }
    const int fd = ::openat(FFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        const int why = errno;
        if (fd >= 0)
            ::close(fd);
        if (error)
            *error = why;
        return std::nullopt;
    }
    return ListOpenFolder(dir, mask, withAttributes);
}

int TFolderHandle::DeleteFile(const QString &name) const
{
    if (FFd < 0)
        return FError ? FError : ENOENT;
    const QByteArray native = Native(name);
    struct stat st;
    if (::fstatat(FFd, native.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    return ::unlinkat(FFd, native.constData(), 0) == 0 ? 0 : errno;
}

TFileSystemSync::TFileSystemSync(const TFolderHandle &folder)
{
    if (folder.FFd < 0)
        return;
    // syncfs wants a descriptor that is more than a path.
    FdCloser fd(::openat(folder.FFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0)
        return;
    FDevice = st.st_dev;
    FFd = fd.Release();
}

TFileSystemSync::~TFileSystemSync()
{
    if (FFd >= 0)
        ::close(FFd);
}

TFileSystemSync::TFileSystemSync(TFileSystemSync &&other) noexcept
    : FFd(std::exchange(other.FFd, -1))
    , FDevice(std::exchange(other.FDevice, 0))
{
}

TFileSystemSync &TFileSystemSync::operator=(TFileSystemSync &&other) noexcept
{
    if (this != &other) {
        if (FFd >= 0)
            ::close(FFd);
        FFd = std::exchange(other.FFd, -1);
        FDevice = std::exchange(other.FDevice, 0);
    }
    return *this;
}

int TFileSystemSync::Sync() const
{
    if (FFd < 0) {
        // A folder we may not read: write back every file system instead.
        ::sync();
        return 0;
    }
    return ::syncfs(FFd) == 0 ? 0 : errno;
}

TOpenedFile TFolderHandle::Open(const QString &name) const
{
    TOpenedFile file;
    if (FFd < 0) {
        file.FError = FWasMissing ? ENOENT : FError;
        return file;
    }
    const TNativeName native(name);
    struct stat st;
    FdCloser fd(::openat(FFd, native.constData(), kReadOpenFlags));
    if (fd.Get() >= 0 && ::fstat(fd.Get(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            file.FFacts.openedSize = static_cast<qint64>(st.st_size);
        file.FFacts.dosTime = DosDateTimeOfStat(st);
        file.FRegular = S_ISREG(st.st_mode);
        file.FSize = static_cast<qint64>(st.st_size);
        file.FMode = st.st_mode & 07777;
        file.FTimes[0] = st.st_atim;
        file.FTimes[1] = st.st_mtim;
        file.FChanged = st.st_ctim;
        file.FFd = fd.Release();
    } else {
        file.FError = errno;
        if (fd.Get() < 0 && errno != ENOENT && errno != ENOTDIR
            && ::fstatat(FFd, native.constData(), &st, 0) == 0)
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
        return TFileFacts{};
    return FactsAt(FFd, TNativeName(name).constData());
}

bool TFolderHandle::IsMissing(const QString &name) const
{
    if (FFd < 0)
        return FWasMissing;
    if (FNamesListed)
        return !FFileNames.contains(name);
    return MissingAt(FFd, TNativeName(name).constData());
}

void TFolderHandle::ListNames()
{
    const auto items = List(QStringLiteral("*.*"), false);
    if (items)
        UseNames(*items);
}

void TFolderHandle::UseNames(const QList<TFoundItem> &items)
{
    FFileNames.clear();
    FFileNames.reserve(items.size());
    for (const TFoundItem &item : items) {
        if (!item.isFolder)
            FFileNames.insert(item.name);
    }
    FNamesListed = true;
}

TFileFacts TFolderHandle::StatFactsOf(const QString &name) const
{
    TFileFacts facts;
    struct stat st;
    if (FFd < 0 || ::fstatat(FFd, TNativeName(name).constData(), &st, 0) != 0)
        return facts;
    if (!S_ISDIR(st.st_mode))
        facts.openedSize = static_cast<qint64>(st.st_size);
    facts.dosTime = DosDateTimeOfStat(st);
    return facts;
}

namespace {
std::optional<TFileId> IdOfFd(int fd)
{
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return std::nullopt;
    return TFileId{st.st_dev, st.st_ino};
}
} // namespace

TFencedFolder::TFencedFolder(const QString &rootPath, std::optional<TFileId> avoid)
    : FRoot(this)
    , FAvoid(avoid)
{
    FHandle.FFolder = rootPath.isEmpty() || rootPath.endsWith(u'/') ? rootPath : rootPath + u'/';
}

TFencedFolder::TFencedFolder(TFencedFolder &parent, const QString &name)
    : FParent(&parent)
    , FRoot(parent.FRoot)
    , FName(name)
{
    FHandle.FFolder = parent.Folder() + name + u'/';
}

std::optional<TFileId> TFencedFolder::RootId() const
{
    return FRoot->FHandle.Id();
}

TFencedFolder::TState TFencedFolder::State()
{
    if (!FOpened)
        Open();
    return FState;
}

QString TFencedFolder::Reason()
{
    if (State() == fsOpen)
        return QString();
    return FWhy;
}

bool TFencedFolder::LeadsIntoRoot(int fd, QString *why) const
{
    // Climbs from the folder to the top of the file system: the root of the
    // tree must come before the avoided folder and before the top.
    const auto rootId = RootId();
    const auto avoid = FRoot->FAvoid;
    int current = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    bool inside = false;
    for (int step = 0; step < 100000 && current >= 0; ++step) {
        const auto id = IdOfFd(current);
        if (!id)
            break;
        if (avoid && *id == *avoid) {
            ::close(current);
            *why = QStringLiteral("the folder lies inside the source folder");
            return false;
        }
        if (rootId && *id == *rootId) {
            inside = true;
            break;
        }
        const int up = ::openat(current, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        const bool atTop = up < 0 || IdOfFd(up) == id;
        ::close(current);
        current = up;
        if (atTop)
            break;
    }
    if (current >= 0)
        ::close(current);
    if (inside)
        return true;
    *why = QStringLiteral("a link leads outside the destination folder");
    return false;
}

void TFencedFolder::Open()
{
    FOpened = true;
    FState = fsMissing;
    FWhy = ErrnoText(ENOENT);
    if (FHandle.FFd >= 0) {
        ::close(FHandle.FFd);
        FHandle.FFd = -1;
    }
    int fd = -1;
    if (!FParent) {
        if (FHandle.FFolder.isEmpty())
            return;
        fd = ::open(Native(FHandle.FFolder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            FState = error == ENOENT ? fsMissing : fsUnreadable;
            FWhy = ErrnoText(error);
            FHandle.FError = error;
            FHandle.FWasMissing = error == ENOENT;
            return;
        }
    } else {
        const TState parentState = FParent->State();
        if (parentState != fsOpen) {
            FState = parentState;
            FWhy = FParent->FWhy;
            FHandle.FError = FParent->FHandle.FError;
            FHandle.FWasMissing = parentState == fsMissing;
            return;
        }
        const int parentFd = FParent->FHandle.FFd;
        const QByteArray native = Native(FName);
        fd = ::openat(parentFd, native.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            struct stat st;
            if (error == ENOENT) {
                FHandle.FError = error;
                FHandle.FWasMissing = true;
                return;
            }
            if ((error == ENOTDIR || error == ELOOP)
                && ::fstatat(parentFd, native.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
                && S_ISLNK(st.st_mode)) {
                // A link: taken only when it leads back into the tree.
                fd = ::openat(parentFd, native.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
                QString why;
                if (fd < 0 || !LeadsIntoRoot(fd, &why)) {
                    if (fd >= 0)
                        ::close(fd);
                    FState = fsRefused;
                    FWhy = why.isEmpty() ? QStringLiteral("a link leads outside the destination folder")
                                         : why;
                    FHandle.FError = EACCES;
                    return;
                }
            } else {
                FState = error == ENOTDIR ? fsRefused : fsUnreadable;
                FWhy = ErrnoText(error);
                FHandle.FError = error;
                return;
            }
        }
    }
    const auto id = IdOfFd(fd);
    if (FRoot->FAvoid && id == FRoot->FAvoid) {
        ::close(fd);
        FState = fsRefused;
        FWhy = QStringLiteral("the folder lies inside the source folder");
        FHandle.FError = EACCES;
        return;
    }
    FHandle.FFd = fd;
    FHandle.FError = 0;
    FHandle.FWasMissing = false;
    FState = fsOpen;
    FWhy.clear();
}

bool TFencedFolder::Make(QString *why)
{
    TState state = State();
    if (state == fsMissing) {
        bool made = false;
        if (!FParent) {
            made = ForceFolders(FHandle.FFolder);
        } else if (FParent->Make(why)) {
            made = ::mkdirat(FParent->FHandle.FFd, Native(FName).constData(), 0777) == 0
                || errno == EEXIST;
            if (!made)
                FWhy = ErrnoText(errno);
        }
        if (made)
            Open();
        else if (FParent && !FParent->FWhy.isEmpty() && FParent->State() != fsOpen)
            FWhy = FParent->FWhy;
        state = FState;
    }
    if (state != fsOpen && why)
        *why = FWhy;
    return state == fsOpen;
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
    QByteArray native = Native(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    // Makes each missing step from the top down.
    for (qsizetype at = native.startsWith('/') ? 1 : 0; at <= native.size(); ++at) {
        if (at < native.size() && native[at] != '/')
            continue;
        const QByteArray step = native.left(at);
        if (!step.isEmpty() && ::mkdir(step.constData(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode);
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
        // At most 1 + 200 + 8 + 7 bytes: fits the 255-byte name limit of the
        // common file systems whatever the length of the target's name.
        constexpr qsizetype kMaxBase = 200;
        return prefix + '.' + base.left(kMaxBase) + ".vantor-"
            + QByteArray::number(QRandomGenerator::global()->generate(), 36);
    }
    const char *Folder() const { return prefix.isEmpty() ? "." : prefix.constData(); }
};

struct TSourceFacts {
    int fd;
    qint64 size;
    quint32 mode;
    std::timespec times[2];
    std::timespec changed;
};

std::atomic<TCopyStepHook> gCopyStepHook{nullptr};
std::atomic<void *> gCopyStepContext{nullptr};

bool SameTime(const std::timespec &a, const std::timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the source is still as it was when it was opened: a file written to
// while we copied it would give a copy that is half old, half new, and its
// unchanged-looking time would keep the next run from healing it.
bool SourceUnchanged(const TSourceFacts &source, QString *why)
{
    struct stat st;
    if (::fstat(source.fd, &st) != 0) {
        *why = ErrnoText(errno);
        return false;
    }
    if (st.st_size != source.size || !SameTime(st.st_mtim, source.times[1])
        || !SameTime(st.st_ctim, source.changed)) {
        *why = QStringLiteral("the file changed while it was copied");
        return false;
    }
    return true;
}

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
            break;  // the source shrank while we copied: caught below
        done += n;
        if (const TCopyStepHook hook = gCopyStepHook.load())
            hook(gCopyStepContext.load());
    }
    if (done < source.size) {
        *why = QStringLiteral("the file changed while it was copied");
        return false;
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
                           bool targetMissing, const std::atomic<bool> *stop, QString *why)
{
    const int outFd = ::openat(place.dirFd, place.Folder(), O_TMPFILE | O_WRONLY | O_CLOEXEC,
                               0600);
    if (outFd < 0)
        return TUnnamedResult::NotPossible;  // any reason: the named path finds its own
    FdCloser out(outFd);
    // Closing the unnamed file throws it away: nothing to clean up on failure.
    if (!CopyContents(source, out.Get(), stop, why) || !SetModeAndTimes(source, out.Get(), why)
        || !SourceUnchanged(source, why))
        return TUnnamedResult::Failed;

    // A target that is there is replaced through a temporary name below.
    int linkError = targetMissing ? LinkUnnamed(out.Get(), place, place.Name()) : EEXIST;
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
    if (!CopyContents(source, out.Get(), stop, why) || !SetModeAndTimes(source, out.Get(), why)
        || !SourceUnchanged(source, why)) {
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
    if (gUnnamedTemporaries.load(std::memory_order_relaxed))
        unnamed = CopyUnnamed(source, place, targetMissing, stop, &why);
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

void SetCopyStepHook(TCopyStepHook hook, void *context)
{
    gCopyStepContext.store(context);
    gCopyStepHook.store(hook);
}

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
                             {st.st_atim, st.st_mtim}, st.st_ctim};
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
            *error = source.IsOpen() ? QStringLiteral("not a regular file") : source.ErrorText();
        return false;
    }
    if (folder.FFd < 0) {
        if (error)
            *error = ErrnoText(folder.FError ? folder.FError : ENOENT);
        return false;
    }
    const TSourceFacts facts{source.FFd, source.FSize, source.FMode,
                             {source.FTimes[0], source.FTimes[1]}, source.FChanged};
    TTargetPlace place;
    place.dirFd = folder.FFd;
    place.base = Native(name);
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
