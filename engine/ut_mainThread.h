// ut_mainThread: the scheduler. One thread that walks the entry list, starts
// every entry that is due and hands a status refresh to the UI thread after
// every pass (and at once after a start). Between passes it sleeps until the
// next whole second of the clock or the earliest next run, whichever is first;
// a pass tests the entries only when something may have made one due.
#pragma once

#include <QThread>
#include "OleDateTime.h"
#include <atomic>
#include <condition_variable>
#include <mutex>

class TDataObject;
class TEntryList;
class TVantorHost;

class TMainThread : public QThread {
    Q_OBJECT
public:
    // Longest sleep between two passes: the status bar shows the time to the
    // second, and a clock set forward or back (or a resume from suspend, which
    // this monotonic wait does not count) is seen within this time. The
    // scheduler is woken early when the entry list, a run or the disable box
    // changes, and sleeps shorter when an entry falls due sooner.
    static constexpr int kMaxSleepMs = 1000;
    // Past the whole second it waits for, so that the time it shows has moved on.
    static constexpr int kSecondMarginMs = 5;
    // An idle pass tests no entry unless something changed or a next run has
    // come; every this many passes it tests them all the same.
    static constexpr int kTestEveryPasses = 60;
    // How often a switched-off scheduler looks at the window's disable flag,
    // which the window may change without waking it.
    static constexpr int kDisabledPollMs = 250;

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
    // Milliseconds from `now` until the next pass: to the next whole second of
    // `now` (plus kSecondMarginMs), or to `earliestDue` when that comes first
    // (0 = no entry waiting). Never more than kMaxSleepMs, never negative.
    static int SleepMs(const QDateTime &now, TDateTime earliestDue);
    // The status refresh itself (UI thread): tray image list, panels 0 and 1.
    void UpdateStatusNow();
    // Passes completed so far, and those of them that tested the entries (for
    // tests and benchmarks).
    quint64 Passes() const { return FPasses.load(); }
    quint64 Tests() const { return FTests.load(); }

protected:
    void run() override;   // Execute

private:
    // The due test and the start of the entry in `row` at `now`, under the
    // list's lock. When the entry is waiting for a later time, `dueAt` is
    // lowered to that time.
    bool CheckDueLocked(int row, TDateTime now, TDateTime *dueAt = nullptr);
    // Status refresh on the UI thread; the scheduler waits for it (or for Shutdown).
    void UpdateStatus();
    // Waits `ms` or until woken; false when ending.
    bool WaitForNextPass(int ms);
    bool WaitWhileDisabled();

    TVantorHost &FMainForm;
    TEntryList &FList;
    std::atomic<bool> FEnabled{true};
    std::atomic<bool> FStopping{false};
    std::atomic<quint64> FPasses{0};
    std::atomic<quint64> FTests{0};
    std::atomic<bool> FStartFailed{false};
    std::mutex FMutex;
    std::condition_variable FWake;
    bool FWakeRequested = false;
    bool FChanged = false;   // Wake() since the last pass began (FMutex)
    bool FStatusDone = false;
};
