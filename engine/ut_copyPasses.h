// ut_copyPasses: the work of one run on the disk: the copy pass over the source
// tree, the check pass over the destination tree and the delete pass.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <vector>
#include "FileSystem.h"
#include "ut_destSync.h"

class TDataObject;
class TVantorHost;

enum TPassPhase : qint32 { phCopy = 0, phCheck = 1, phDelete = 2, phFinished = 3 };

// What the run did, read by the end handling once the passes are over.
struct TRunOutcome {
    qint32 Copied = 0;   // files copied
    qint32 Deleted = 0;  // files deleted
    qint32 Failed = 0;   // file operations that failed (copy, delete, a file or folder that could not be read)
    QString Refused;     // the guard's log text when a guard kept the run from handling files
                         // or from deleting (empty folder, mask leaving the folder, no or
                         // relative folder, unreadable or lost source); empty otherwise
};

// Runs the passes of one entry. By itself it runs them on the calling thread and
// reports straight to the entry and the host; the worker thread derives from it
// and overrides the hand-overs so that they run on the UI thread (ShowProgress
// blocking), and WaitIfPaused to halt between file operations.
class TCopyPasses {
public:
    // `entry` and `host` are not owned and must outlive the run; `host` may be
    // null (then log lines go nowhere).
    TCopyPasses(TDataObject *entry, TVantorHost *host);
    virtual ~TCopyPasses() = default;
    TCopyPasses(const TCopyPasses &) = delete;
    TCopyPasses &operator=(const TCopyPasses &) = delete;

    // The three passes in order. Per-file failures are logged and passed over;
    // never throws for file errors.
    void Execute();

    // Asks the run to end: the listing loops end at their next step, a copy
    // under way is abandoned (leaving no partial file), the delete pass still
    // works through the files already on its list. Any thread.
    void RequestStop() { FStop.store(true); }
    bool StopRequested() const { return FStop.load(); }
    // Like RequestStop, and the delete pass does not finish its list either
    // (program exit).
    void RequestAbandon() { FAbandon.store(true); FStop.store(true); }

    // Copies the entry's folders, mask and copy type for the run. Execute does it
    // when nobody did before; the worker does it when it is created, so the run
    // never reads entry fields that the window may edit meanwhile.
    void TakeEntrySettings();

    // Pass state (read by the hand-overs; stable while ShowProgress runs).
    qint32 FPhase = phCopy;
    QStringList FDeleteList;
    qint32 FCount = 0;
    TDataObject *FEntry = nullptr;
    QString FStatusText;
    // The log line of the file in hand, kept as its pieces and put together
    // only where it is shown: `pattern` with "%1" as `first` + `name` and "%2"
    // as `second` + `name`. While `pattern` is null, FStatusText is the line.
    struct TFileLine {
        const QString *pattern = nullptr;
        QString first;
        QString second;
        QString name;
        QString Text() const;
    };
    TFileLine FFileLine;
    TRunOutcome FOutcome;

    // Whether runs write their copies to the disk before they delete and at
    // their end (on by default; benchmarks switch it off to see its cost).
    // Any thread; takes effect for runs that start afterwards.
    static void SetDurable(bool on);

protected:
    // Hand-overs. The defaults act at once on the calling thread.
    virtual void SetStatus(const QString &text);   // entry's Status column
    virtual void ShowProgress();                   // count + log line of FFileLine or FStatusText
    virtual void AddLog(const QString &text);      // one log line
    // Called before every file operation and listing step; a paused worker waits here.
    virtual void WaitIfPaused() {}

    // What ShowProgress does on the UI thread: FCount into the Processed files
    // column and the line of FFileLine, or FStatusText (when not empty), to AddLog.
    void ShowProgressNow();

    TVantorHost *FHost = nullptr;

private:
    // Returns whether the start folder could be listed.
    bool Walk(const QString &pathAndMask);
    // Copy pass: `here` is `folder` of the source held open, `there` its
    // counterpart in the destination; `atStart` for the walk's first folder.
    bool WalkSource(const QString &folder, const TFolderHandle &here, TFencedFolder &there,
                    const QString &mask, bool atStart);
    // Check pass: `here` is `folder` of the destination, `there` its
    // counterpart in the source.
    void WalkDest(const QString &folder, TFencedFolder &here, TFolderHandle &there,
                  const QString &mask);
    // `folder` is the path of the folder walked, `otherPath` the path of its
    // counterpart on the other side; `sourceFolder` and `destFolder` hold the
    // file's folder on each side; `destWasMissing` that the destination
    // folder was not there when the walk of the folder began.
    void ProcessFile(const QString &folder, const QString &otherPath, const TFoundItem &item,
                     const TFolderHandle &sourceFolder, TFencedFolder &destFolder,
                     bool destWasMissing);
    // `sourcePath` and `destPath` are the file's folder paths on each side,
    // `name` its name in both; `opened` is the source (closed here once
    // copied), `destFolder` the destination folder; `destMissing` that no
    // destination file was found.
    void CopyOne(const QString &sourcePath, const QString &destPath, bool changed,
                 TOpenedFile &opened, TFencedFolder &destFolder, const QString &name,
                 bool destMissing);
    void CheckOne(const QString &destPath, const QString &sourcePath, const QString &name,
                  bool sourceMissing);
    void DeleteOne(const QString &file);
    void DeletePass();

    // Why the run cannot safely handle files (empty text when it can).
    QString RefusalReason() const;
    // Logs the guard's line and keeps it as the run's refusal.
    void Refuse(const QString &line, const QString &reason = QString());
    // A failure line and, when known, the system's reason after it.
    void LogFailure(const QString &line, const QString &reason);
    // Whether the source root is still the folder the run began with, and listable.
    bool SourceStillThere() const;
    // Writes the destination's copies to the disk; the system's reason when it failed.
    QString MakeDurable();
    // The destination folder below the root for `relative` ("a/b/"), built in `chain`.
    TFencedFolder &DestFolderFor(const QString &relative,
                                 std::vector<std::unique_ptr<TFencedFolder>> &chain,
                                 QStringList &names);
    bool IsDestRoot(const TFolderHandle &folder) const;

    std::atomic<bool> FStop{false};
    std::atomic<bool> FAbandon{false};
    bool FSettingsTaken = false;
    QString FSource;
    QString FDest;
    QString FFileMask;
    quint8 FCopyType = 0;
    std::optional<TFileId> FSourceRootId;          // the source root as the run found it
    std::unique_ptr<TFencedFolder> FDestRoot;      // every write and delete goes below it
    std::unique_ptr<TDestinationSync> FDestSync;   // a durable run's, while it runs
    qsizetype FStartEntries = -1;                  // items in the copy walk's first folder
    std::vector<TFileId> FWalkPath;                // folders on the current walk path
    // A replicate run's copy-pass listings of the source folders, by their
    // path below the source root, kept for the check pass.
    struct TSourceListing {
        TFileId id;
        QList<TFoundItem> items;
    };
    QHash<QString, TSourceListing> FSourceListings;
    // The folder chain of the last deletion, reused by the next one.
    std::vector<std::unique_ptr<TFencedFolder>> FDeleteChain;
    QStringList FDeleteChainNames;
};
