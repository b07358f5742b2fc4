// ut_destSync: getting a run's copies onto the disk.
#pragma once

#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>
#include "FileSystem.h"

// The file systems a run writes into, each held open from before the run's
// first write into it, so that Sync hears of every write that failed since.
// While the run copies, the system is asked now and then, on a thread of its
// own, to write back what has been copied so far: the disk works alongside
// the copying instead of after it, and the Sync before the deletions and at
// the end has little left to wait for.
class TDestinationSync {
public:
    TDestinationSync() = default;
    ~TDestinationSync();
    TDestinationSync(const TDestinationSync &) = delete;
    TDestinationSync &operator=(const TDestinationSync &) = delete;

    // Before each write into the open `folder`: takes its file system on the
    // first write there.
    void WillWrite(const TFolderHandle &folder);
    // After a copy of `bytes` was written.
    void Written(qint64 bytes);
    // Writes everything pending on the run's file systems to the disk and
    // returns the first error (0 for none). Waits for a write-back under way
    // first.
    int Sync();

    // Written data that starts a write-back in the background.
    static constexpr qint64 kWriteBackBytes = qint64(16) << 20;
    // So many files written start one too (their folders and records count).
    static constexpr int kWriteBackFiles = 2000;

private:
    struct TSystem {
        TFileSystemSync forSync;         // answers for the run's errors
        TFileSystemSync forWriteBack;    // the background's own: never asked for errors that count
    };
    void WriteBackLoop();

    std::vector<std::unique_ptr<TSystem>> FSystems;
    QString FLastFolder;                 // the last folder WillWrite saw, to skip the lookup
    qint64 FBytesSince = 0;
    int FFilesSince = 0;

    std::thread FThread;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::condition_variable FDone;
    std::vector<const TFileSystemSync *> FToWrite;   // FMutex: the next write-back's
    bool FBusy = false;                              // FMutex: a write-back is asked for or under way
    bool FQuit = false;                              // FMutex
};
