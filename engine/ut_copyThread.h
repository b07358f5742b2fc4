// ut_copyThread: the worker thread of one run. It runs the passes on a thread
// of its own at the lowest normal priority and hands every change of the window
// to the UI thread, in its own order.
#pragma once

#include <QString>
#include <QThread>
#include <condition_variable>
#include <vector>
#include <mutex>
#include "ut_copyPasses.h"

class TDataObject;
class TVantorHost;

// Hand-over: the worker queues its window updates (status texts, progress with
// count and log line, failure lines) and the UI thread applies them in batches,
// in the worker's order: the first update after a quiet spell at once, then in
// batches every kBatchIntervalMs. The worker runs at most HandOverAhead() updates
// ahead of the window and then blocks until the window has caught up halfway,
// so the window never lags noticeably and memory stays bounded. Every update is applied
// exactly as one blocking hand-over per file would apply it: same lines, same
// order, same counts. An allowance of 0 is that blocking hand-over itself.
//
// Lifetime: created by StartRun (any thread) and moved to the UI thread; it frees
// itself (deleteLater) once its thread has ended. The entry forgets it (FWorker
// = null) in the end handling on the UI thread, before that, so nothing ever
// reads a freed worker through the entry.
class TCopyThread : public QThread, public TCopyPasses {
    Q_OBJECT
public:
    static constexpr int kDefaultHandOverAhead = 1024;
    // While updates keep coming, the window applies them this often (and at
    // once when the worker waits for it).
    static constexpr int kBatchIntervalMs = 15;
    // Updates a worker may run ahead of the window; read when a run posts. For
    // benchmarks and tests (0 = wait for every update to be applied).
    static void SetHandOverAhead(int updates);
    static int HandOverAhead();

    // Create(entry): a worker not started yet. Takes a copy of the entry's
    // folders, mask and copy type now, so the run never reads fields the window
    // may edit meanwhile. Call with the entry list's Lock() held, or on the UI
    // thread.
    TCopyThread(TDataObject *entry, TVantorHost *host);
    ~TCopyThread() override;

    // --- UI thread ---
    // Applies every update the worker has queued so far (the window then shows
    // the run as far as the worker has got).
    void FlushHandOvers();
    // Halt at the next gate (before the next file operation, listing step or
    // status hand-over; a file copy under way completes first), and let go.
    void Halt();
    void Continue();
    bool Halted() const;
    // The worker is waiting at its gate (halted there). For tests.
    bool AtGate() const;
    // Ends the run for program exit: stop requested, a copy under way abandoned,
    // the delete pass not finished, no further hand-over waited for or applied,
    // and no end handling. The thread then ends quickly; wait() for it.
    void Abandon();

    // Run bookkeeping, UI thread only.
    bool FFinishedByStop = false;   // StopRun already ran RunFinished for this run
    bool FRestartPending = false;   // a new run of the entry starts when this one has ended

protected:
    void run() override;
    void SetStatus(const QString &text) override;
    void ShowProgress() override;
    void AddLog(const QString &text) override;
    void WaitIfPaused() override;

private:
    enum TUpdateKind : quint8 { ukStatus, ukProgress, ukLog, ukEnd };
    struct TUpdate {
        TUpdateKind kind;
        qint32 count;
        QString text;
        TFileLine line;   // a progress line still in pieces (text then unused)
    };
    // Worker side: queues one update; blocks while the queue is full; for ukEnd
    // blocks until the UI thread has run the end handling. Returns at once when
    // the run was abandoned.
    void Post(TUpdate update);
    void Drain();                           // UI thread
    void Apply(const TUpdate &update);      // UI thread
    void EndHandling();                     // UI thread
    // Adds the updates applied since the last call to FApplied and wakes a
    // worker that waits for room. UI thread.
    void TellApplied(quint64 ahead);
    static constexpr quint64 kTellAppliedEvery = 64;
    // The run's summary line in the log, and the host told of a run that failed
    // or was refused; `status` is the word the summary gives the run. UI thread.
    void ReportOutcome(const QString &status);

    mutable std::mutex FMutex;
    std::condition_variable FWake;          // worker waits: room, end done, continue
    // The two buffers trade places at each drain, so that a run in progress
    // allocates nothing for its hand-overs.
    std::vector<TUpdate> FQueue;
    std::vector<TUpdate> FApplying;         // UI thread: taken from FQueue
    size_t FApplyNext = 0;                  // UI thread: FApplying's first not yet applied
    quint64 FPosted = 0;
    quint64 FApplied = 0;
    bool FWorkerWaiting = false;
    bool FAtGate = false;
    bool FDrainPosted = false;              // a drain will come without further notice
    bool FUrgentPosted = false;             // a drain is posted for a waiting worker
    bool FBatchTimerArmed = false;          // UI thread
    bool FEndDone = false;
    bool FHalted = false;
    std::atomic<bool> FGateClosed{false};   // FHalted, readable without the lock
    quint64 FAppliedUntold = 0;             // UI thread: applied, not yet in FApplied
    bool FAbandoned = false;
};
