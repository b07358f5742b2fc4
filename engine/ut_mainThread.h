// ut_mainThread: the scheduler. One thread that walks the entry list, starts
// every entry that is due and hands a status refresh to the UI thread after
// every entry and after every pass.
#pragma once

#include <QThread>
#include <atomic>
#include <condition_variable>
#include <mutex>

class TDataObject;
class TEntryList;
class TVantorHost;

class TMainThread : public QThread {
    Q_OBJECT
public:
    // Longest wait between two passes. The scheduler is woken early when the
    // entry list, a run or the disable box changes; the wait is what keeps an
    // idle scheduler from spinning a core.
    static constexpr int kPassIntervalMs = 250;

    // Create(main window): the scheduler, not started. `host` and `list` are not
    // owned and must outlive it. Construct on the UI thread.
    TMainThread(TVantorHost &host, TEntryList &list, QObject *parent = nullptr);
    // Ends the thread (Shutdown) if it still runs.
    ~TMainThread() override;

    // Starts the thread (lowest normal priority is set by the thread itself).
    void Start();
    // Switched off: no due test, no start, no status refresh until switched on
    // again; it continues where it stood. Any thread; takes effect at the
    // scheduler's next step, never inside a hand-over.
    void SetEnabled(bool enabled);
    bool Enabled() const { return FEnabled.load(); }
    // Wakes the scheduler for a pass now instead of at the end of its wait.
    // Any thread; the entry list's change signals call it.
    void Wake();
    // Program exit (UI thread): asks the thread to end, releases it from a
    // status hand-over it may be waiting for, and waits until it has ended.
    // Never blocks on the UI thread itself. Safe to call twice.
    void Shutdown();

    // Due test of one entry; starts it when due. Returns whether it started.
    // Takes the entry list's lock, so it is safe from any thread.
    bool CheckDue(TDataObject *entry);
    // The status refresh itself (UI thread): tray image list, panels 0 and 1.
    void UpdateStatusNow();
    // Passes completed so far (for tests and benchmarks).
    quint64 Passes() const { return FPasses.load(); }

protected:
    void run() override;   // Execute

private:
    // The due test and the start of the entry in `row`, under the list's lock.
    bool CheckDueLocked(int row);
    // Status refresh on the UI thread; the scheduler waits for it (or for Shutdown).
    void UpdateStatus();
    // Waits up to kPassIntervalMs, or while switched off; false when ending.
    bool WaitForNextPass();
    bool WaitWhileDisabled();

    TVantorHost &FMainForm;
    TEntryList &FList;
    std::atomic<bool> FEnabled{true};
    std::atomic<bool> FStopping{false};
    std::atomic<quint64> FPasses{0};
    std::mutex FMutex;
    std::condition_variable FWake;
    bool FWakeRequested = false;
    bool FStatusDone = false;
};
