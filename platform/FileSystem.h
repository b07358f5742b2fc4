// FileSystem: folder listing by mask, file facts and the safe file copy the
// copy runs need. Paths use the native separator "/".
#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringView>
#include <atomic>
#include <ctime>
#include <optional>
#include <sys/types.h>

// Paths meet the system as bytes. A name that is not valid UTF-8 keeps every
// byte: each byte that does not decode is held as the lone surrogate
// U+DC80..U+DCFF and written back as that byte, so that
// NativePath(PathFromNative(b)) == b for any b. Such names show a replacement
// character on screen but are copied, compared and deleted by their own bytes.
QByteArray NativePath(QStringView path);
QString PathFromNative(const char *bytes, qsizetype size);

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

// Whether the folder can be opened for listing now.
bool CanListFolder(const QString &folder);

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
    // Why the file could not be opened (the system's text), empty when open.
    QString ErrorText() const;
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
    std::timespec FChanged = {};    // status change time, to see a rewrite during the copy
    int FError = 0;                 // errno of the failed open
    TFileFacts FFacts;
};

// A folder held open to look at many of its items by name, sparing a walk of
// the whole path for each. Answers what the path functions answer for
// `folder` + name. When the folder could not be opened, a missing folder
// holds nothing (every name is missing) and an unreadable one tells nothing
// (no name is missing, no facts are known).
class TFolderHandle {
public:
    explicit TFolderHandle(const QString &folder);
    // The subfolder `name` of `parent`, opened through the parent's handle, so
    // the depth of a tree has no limit; links are followed. A child of a
    // folder that is not open is not open either, for the parent's reason.
    TFolderHandle(const TFolderHandle &parent, const QString &name);
    ~TFolderHandle();
    TFolderHandle(const TFolderHandle &) = delete;
    TFolderHandle &operator=(const TFolderHandle &) = delete;

    TFileFacts FactsOf(const QString &name) const;   // as FileFactsOf
    // Size and time from one stat, without opening the file: the size of any
    // item that is not a folder, the time as DosDateTimeOfFile gives it;
    // nothing for an item that is missing or cannot be examined.
    TFileFacts StatFactsOf(const QString &name) const;
    // Reads the folder's list of names once; IsMissing then answers from it
    // (a name listed as a folder, or not listed, is missing). When the folder
    // cannot be listed IsMissing goes on asking the file system for each name.
    void ListNames();
    // As ListNames, from a listing of this folder (every name, without
    // attributes) the caller has already made.
    void UseNames(const QList<TFoundItem> &items);
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
    bool IsOpen() const { return FFd >= 0; }
    // errno of the failed open; 0 when open.
    int Error() const { return FError; }
    // Identity of the open folder; nullopt when it is not open.
    std::optional<TFileId> Id() const;

    // Lists the open folder as ListFolder does; nullopt (and `error` set to
    // the errno) when it cannot be listed.
    std::optional<QList<TFoundItem>> List(const QString &mask, bool withAttributes,
                                          int *error = nullptr) const;
    // Deletes the file `name` of this folder itself (a link is deleted, not
    // what it points to; never a folder). 0 on success, else the errno.
    int DeleteFile(const QString &name) const;

private:
    friend class TFencedFolder;
    friend class TFileSystemSync;
    friend bool CopyFileReplacing(const TOpenedFile &, const TFolderHandle &, const QString &,
                                  bool, const std::atomic<bool> *, QString *);
    TFolderHandle() = default;
    QString FFolder;   // with its trailing "/"
    int FFd = -1;
    int FError = 0;
    bool FWasMissing = false;
    bool FNamesListed = false;
    QSet<QString> FFileNames;   // names of the items that are not folders, once listed
};

// The file system of a folder, held open to write its pending changes to the
// disk. The system tells each holder of a file system of the write errors it
// met since that holder opened it (and only once), so it is opened before
// the first write it is to answer for; a descriptor opened later, or one that
// was already asked, would call failed writes a success.
class TFileSystemSync {
public:
    TFileSystemSync() = default;
    ~TFileSystemSync();
    TFileSystemSync(TFileSystemSync &&other) noexcept;
    TFileSystemSync &operator=(TFileSystemSync &&other) noexcept;
    TFileSystemSync(const TFileSystemSync &) = delete;
    TFileSystemSync &operator=(const TFileSystemSync &) = delete;

    // Takes the file system of the open `folder`. A folder that cannot be
    // read this way leaves it unopened: Sync then writes every file system
    // back, without a report of errors.
    explicit TFileSystemSync(const TFolderHandle &folder);
    bool IsOpen() const { return FFd >= 0; }
    // Device of the file system; 0 when not open.
    dev_t Device() const { return FDevice; }
    // Writes every pending change of the file system to the disk. 0 on
    // success, else the errno, also for a write the system made by itself
    // since the opening (or the last Sync) that failed.
    int Sync() const;

private:
    int FFd = -1;
    dev_t FDevice = 0;
};

// A folder of a tree the program writes into (a run's destination), reached
// from the tree's root one name at a time and opened only when first needed.
// A link met on the way is taken only when it leads back into the root's tree;
// a folder that is, or lies inside, the `avoid` folder (the run's source) is
// refused. So nothing handed out by it lies outside the root or inside
// `avoid`, whatever links the tree holds or gains during the run.
class TFencedFolder {
public:
    enum TState { fsOpen, fsMissing, fsRefused, fsUnreadable };
    // The root, by its path; links to it are followed (the root is the user's choice).
    TFencedFolder(const QString &rootPath, std::optional<TFileId> avoid);
    // The subfolder `name` of `parent`; `parent` must outlive it.
    TFencedFolder(TFencedFolder &parent, const QString &name);
    TFencedFolder(const TFencedFolder &) = delete;
    TFencedFolder &operator=(const TFencedFolder &) = delete;

    // Opens the folder on the first call; later calls answer from memory.
    TState State();
    // Creates the folder, and its missing parents, when it is missing. True
    // when it is open afterwards; otherwise `why` says why not.
    bool Make(QString *why);
    // Why the folder is not open (the system's text or the fence's reason).
    QString Reason();
    // The open folder (only meaningful when State() is fsOpen).
    const TFolderHandle &Handle() const { return FHandle; }
    const QString &Folder() const { return FHandle.FFolder; }
    // Identity of the tree's root, once it is open.
    std::optional<TFileId> RootId() const;

private:
    void Open();
    bool LeadsIntoRoot(int fd, QString *why) const;
    TFencedFolder *FParent = nullptr;
    TFencedFolder *FRoot = nullptr;
    QString FName;
    TFolderHandle FHandle;
    std::optional<TFileId> FAvoid;   // root only
    bool FOpened = false;
    TState FState = fsMissing;
    QString FWhy;
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

// Called after every piece of a copy's contents is written, before the copy
// checks whether it is stopped or its source changed: lets tests act in the
// middle of a copy. Null (the default) calls nothing.
using TCopyStepHook = void (*)(void *context);
void SetCopyStepHook(TCopyStepHook hook, void *context);

// Copies `source` to `target`, replacing it, with contents, permission bits and
// modification time. The copy is written as an unnamed file in the target's
// folder where the file system has them (else as a temporary name, short
// enough for any target name) and put in place only when complete, so the old
// target stays intact until then and a crash leaves no partial file. When the
// copy fails, the source changed while it was copied (size, modification or
// change time), or `stop` becomes true while it runs, returns false and leaves
// neither a partial target nor a temporary file; `error` (when given) receives
// the reason.
bool CopyFileReplacing(const QString &source, const QString &target,
                       const std::atomic<bool> *stop = nullptr, QString *error = nullptr);
// The same copy from a source already opened into the item `name` of an open
// folder. `targetMissing` says the caller found no target: the new file is
// then linked straight into place. It is a hint only: a target that exists
// after all is replaced as above. A source that is not open fails (with the
// reason it could not be opened), and so does a folder that is not open.
bool CopyFileReplacing(const TOpenedFile &source, const TFolderHandle &folder,
                       const QString &name, bool targetMissing,
                       const std::atomic<bool> *stop = nullptr, QString *error = nullptr);

// Whether new targets may be written as unnamed files at all (on by default;
// where the file system has none the copy falls back to a named temporary by
// itself). Any thread; it takes effect for copies that start afterwards.
void UseUnnamedTemporaries(bool on);

// Deletes one file (never a folder). True on success.
bool DeleteFileAt(const QString &path);

// The system's text for an errno.
QString SystemErrorText(int error);
