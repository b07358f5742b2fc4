// FileSystem: folder listing by mask, file facts and the safe file copy the
// copy runs need. Paths use the native separator "/".
#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <atomic>
#include <ctime>
#include <optional>
#include <sys/types.h>

// One item of a folder listing. Links are followed: a link to a folder is a folder.
struct TFoundItem {
    QString name;
    bool isFolder = false;
    bool isLink = false;
    bool readOnly = false;   // no write bit for the owner
    bool hidden = false;     // name starts with "."
};

// The Windows wildcard rule: "*" any run, "?" one character, letter case ignored,
// "*.*" every name (names without a dot too), a trailing ".*" also matches a name
// without extension and a trailing "." matches only names without a dot.
bool MatchesMask(QStringView name, QStringView mask);

// Lists `folder` (with or without a trailing "/") for names that match `mask`,
// folders included, in the order the file system returns them, "." and ".."
// left out. Hidden and read-only items are listed like any other.
// Returns nullopt when the folder cannot be listed (missing, no access).
// Without `withAttributes` only name, isFolder, isLink and hidden are filled
// (readOnly stays false), which spares a stat for every item that is not a link.
std::optional<QList<TFoundItem>> ListFolder(const QString &folder, const QString &mask,
                                            bool withAttributes = true);

// Identity of a folder or file (device and inode), following links.
struct TFileId {
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const TFileId &, const TFileId &) = default;
};
std::optional<TFileId> FileIdOf(const QString &path);

// Size of the file as read by opening it; nullopt when it cannot be opened.
std::optional<qint64> FileSizeOfPath(const QString &path);

// The file's local modification time in DOS date-time form (two-second
// resolution, years 1980..2107); nullopt when the file is missing or its time
// does not fit the form.
std::optional<quint32> DosDateTimeOfFile(const QString &path);
// Both facts the change rule needs, from one open (or, when the file cannot be
// opened, one stat for the time alone): `openedSize` as FileSizeOfPath gives it,
// `dosTime` as DosDateTimeOfFile gives it.
struct TFileFacts {
    std::optional<qint64> openedSize;
    std::optional<quint32> dosTime;
};
TFileFacts FileFactsOf(const QString &path);

// A file opened for reading once, for the change rule and the copy that may
// follow it. Facts() answers what FileFactsOf answers for the same path; when
// the file could not be opened it is not open and only its facts are known.
class TOpenedFile {
public:
    TOpenedFile() = default;
    ~TOpenedFile();
    TOpenedFile(TOpenedFile &&other) noexcept;
    TOpenedFile &operator=(TOpenedFile &&other) noexcept;
    TOpenedFile(const TOpenedFile &) = delete;
    TOpenedFile &operator=(const TOpenedFile &) = delete;

    bool IsOpen() const { return FFd >= 0; }
    const TFileFacts &Facts() const { return FFacts; }
    void Close();

private:
    friend class TFolderHandle;
    friend bool CopyFileReplacing(const TOpenedFile &, const class TFolderHandle &,
                                  const QString &, bool, const std::atomic<bool> *, QString *);
    int FFd = -1;
    bool FRegular = false;
    qint64 FSize = 0;
    quint32 FMode = 0;              // permission bits
    std::timespec FTimes[2] = {};   // access, modification
    TFileFacts FFacts;
};

// A folder held open to look at many of its items by name, sparing a walk of
// the whole path for each. Answers exactly what the path functions answer for
// `folder` + name; when the folder could not be opened (it may not exist yet,
// or come into being later) it falls back to them.
class TFolderHandle {
public:
    explicit TFolderHandle(const QString &folder);
    ~TFolderHandle();
    TFolderHandle(const TFolderHandle &) = delete;
    TFolderHandle &operator=(const TFolderHandle &) = delete;

    TFileFacts FactsOf(const QString &name) const;   // as FileFactsOf
    bool IsMissing(const QString &name) const;       // as FileIsMissing
    // Opens the item for reading; see TOpenedFile.
    TOpenedFile Open(const QString &name) const;

    // True when the folder itself was not there (ENOENT, ENOTDIR) when the
    // handle was made; Reopen leaves it as it was.
    bool FolderWasMissing() const { return FWasMissing; }
    // Tries again to open the folder, for one that has been made since.
    // Returns whether it is open now.
    bool Reopen();
    const QString &Folder() const { return FFolder; }

private:
    friend bool CopyFileReplacing(const TOpenedFile &, const TFolderHandle &, const QString &,
                                  bool, const std::atomic<bool> *, QString *);
    QString FFolder;   // with its trailing "/"
    int FFd = -1;
    bool FWasMissing = false;
};

// DOS date-time to the day count of OleDateTime.h; 0 for an impossible value.
double DosDateTimeToOle(quint32 dosDateTime);

// True when `path` names an existing file (a folder does not count).
bool FileExists(const QString &path);
// Why a path is absent: true only when the file is certainly not there (ENOENT,
// ENOTDIR, or a folder of that name). A path that cannot be examined (no access
// to its folder) is not "missing".
bool FileIsMissing(const QString &path);

// Creates the folder with every missing parent. True when it exists afterwards.
bool ForceFolders(const QString &path);

// Copies `source` to `target`, replacing it, with contents, permission bits and
// modification time. Writes a temporary file in the target's folder and renames
// it over the target only when the copy is complete, so the old target stays
// intact until then. When the copy fails, or `stop` becomes true while it runs,
// returns false and leaves neither a partial target nor the temporary file;
// `error` (when given) receives the reason.
bool CopyFileReplacing(const QString &source, const QString &target,
                       const std::atomic<bool> *stop = nullptr, QString *error = nullptr);
// The same copy from a source already opened into the item `name` of an open
// folder. `targetMissing` says the caller found no target: the new file is
// then written unnamed in the folder (O_TMPFILE) and linked into place only
// when complete, so not even a crash leaves a temporary name behind. It is a
// hint only: a target that exists after all is replaced as above. A source
// that is not open fails (with the reason that it could not be opened).
bool CopyFileReplacing(const TOpenedFile &source, const TFolderHandle &folder,
                       const QString &name, bool targetMissing,
                       const std::atomic<bool> *stop = nullptr, QString *error = nullptr);

// Whether new targets may be written as unnamed files at all (on by default;
// where the file system has none the copy falls back to a named temporary by
// itself). Any thread; it takes effect for copies that start afterwards.
void UseUnnamedTemporaries(bool on);

// Deletes one file (never a folder). True on success.
bool DeleteFileAt(const QString &path);
