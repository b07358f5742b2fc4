// ut_destSync: getting a run's copies onto the disk.
#include "ut_destSync.h"

#include "ThreadPriority.h"

#include <algorithm>
#include <pthread.h>

TDestinationSync::~TDestinationSync()
{
    if (FThread.joinable()) {
        {
            std::lock_guard lock(FMutex);
            FQuit = true;
        }
        FWake.notify_all();
        // A write-back under way is waited for: it cannot be called off, and
        // it only writes what is already on its way to the disk.
        FThread.join();
    }
}

void TDestinationSync::WillWrite(const TFolderHandle &folder)
{
    if (folder.Folder() == FLastFolder && !FLastFolder.isEmpty())
        return;
    const auto id = folder.Id();
    if (!id)
        return;   // not open: nothing can be written there
    FLastFolder = folder.Folder();
    const bool known = std::any_of(FSystems.begin(), FSystems.end(), [&](const auto &system) {
        return system->forSync.IsOpen() && system->forSync.Device() == id->device;
    });
    if (known)
        return;
    auto system = std::make_unique<TSystem>();
    system->forSync = TFileSystemSync(folder);
    system->forWriteBack = TFileSystemSync(folder);
    // A folder that cannot be opened for it is written back with every file
    // system (without a report); one such entry is enough.
    if (!system->forSync.IsOpen()
        && std::any_of(FSystems.begin(), FSystems.end(),
                       [](const auto &known) { return !known->forSync.IsOpen(); }))
        return;
    FSystems.push_back(std::move(system));
}

void TDestinationSync::Written(qint64 bytes)
{
    FBytesSince += bytes;
    ++FFilesSince;
    if (FBytesSince < kWriteBackBytes && FFilesSince < kWriteBackFiles)
        return;
    {
        std::lock_guard lock(FMutex);
        if (FBusy)
            return;   // the next one starts after it, with all written meanwhile
        FBusy = true;
        FToWrite.clear();
        for (const auto &system : FSystems) {
            if (system->forWriteBack.IsOpen())
                FToWrite.push_back(&system->forWriteBack);
        }
    }
    FBytesSince = 0;
    FFilesSince = 0;
    if (!FThread.joinable()) {
        try {
            FThread = std::thread([this] { WriteBackLoop(); });
        } catch (...) {
            // No thread: everything waits for the Sync at the end instead.
            std::lock_guard lock(FMutex);
            FBusy = false;
            FToWrite.clear();
            return;
        }
    }
    FWake.notify_one();
}

void TDestinationSync::WriteBackLoop()
{
    SetCurrentThreadLowestNormalPriority();
    pthread_setname_np(pthread_self(), "Vantor write");
    std::unique_lock lock(FMutex);
    for (;;) {
        FWake.wait(lock, [this] { return FQuit || !FToWrite.empty(); });
        if (FQuit)
            return;
        const std::vector<const TFileSystemSync *> systems = std::move(FToWrite);
        FToWrite.clear();
        lock.unlock();
        // Its errors are not the run's answer: the Sync at the end asks its
        // own descriptors, which still hold every error met meanwhile.
        for (const TFileSystemSync *system : systems)
            system->Sync();
        lock.lock();
        FBusy = false;
        FDone.notify_all();
    }
}

int TDestinationSync::Sync()
{
    {
        std::unique_lock lock(FMutex);
        FDone.wait(lock, [this] { return !FBusy; });
    }
    FBytesSince = 0;
    FFilesSince = 0;
    int first = 0;
    for (const auto &system : FSystems) {
        const int error = system->forSync.Sync();
        if (error && !first)
            first = error;
    }
    return first;
}
