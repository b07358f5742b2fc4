// ut_copyThread: the worker of a run, and the entry's run operations (start,
// end handling, stop, pause, resume).
#include "ut_copyThread.h"

#include "ThreadPriority.h"
#include "VantorHost.h"
#include "ut_classes.h"
#include "ut_General.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QTimer>
#include <algorithm>
#include <iterator>

TCopyThread::TCopyThread(TDataObject *entry, TVantorHost *host)
    : TCopyPasses(entry, host)
{
    setObjectName(QStringLiteral("Vantor copy run"));
    TakeEntrySettings();
    // The worker lives (as an object) on the UI thread: its hand-overs are
    // applied there and it is freed there once its thread has ended.
    if (QCoreApplication *app = QCoreApplication::instance(); app && thread() != app->thread())
        moveToThread(app->thread());
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

TCopyThread::~TCopyThread()
{
    // Only reached once the thread has ended (deleteLater after finished, or
    // StopAllRuns after wait()).
    wait();
}

void TCopyThread::run()
{
    SetCurrentThreadLowestNormalPriority();
    try {
        Execute();
    } catch (...) {
        // A failure that is not a file operation ends the run; the end handling
        // runs as after a normal end.
    }
    Post({ukEnd, 0, QString(), {}});
}

// --- worker side ---

void TCopyThread::SetStatus(const QString &text)
{
    WaitIfPaused();
    Post({ukStatus, 0, text, {}});
}

void TCopyThread::ShowProgress()
{
    if (FFileLine.pattern)
        Post({ukProgress, FCount, QString(), FFileLine});
    else
        Post({ukProgress, FCount, FStatusText, {}});
}

void TCopyThread::AddLog(const QString &text)
{
    Post({ukLog, 0, text, {}});
}

void TCopyThread::WaitIfPaused()
{
    // Passed at every file: the lock is taken only when a halt may be on.
    if (!FGateClosed.load(std::memory_order_acquire))
        return;
    std::unique_lock lock(FMutex);
    FAtGate = true;
    FWake.wait(lock, [this] { return !FHalted || FAbandoned || StopRequested(); });
    FAtGate = false;
}

void TCopyThread::Post(TUpdate update)
{
    const bool end = update.kind == ukEnd;
    std::unique_lock lock(FMutex);
    if (FAbandoned)
        return;
    FQueue.push_back(std::move(update));
    ++FPosted;
    const quint64 ahead = quint64(HandOverAhead());
    const bool mustWait = end || FPosted - FApplied > ahead;
    // The first update after a quiet spell is shown at once; while updates keep
    // coming the window takes them in batches on its own timer, and is only
    // called early when the worker has to wait for it.
    bool postDrain = false;
    if (!FDrainPosted) {
        FDrainPosted = true;
        postDrain = true;
    } else if (mustWait && !FUrgentPosted) {
        FUrgentPosted = true;
        postDrain = true;
    }
    if (postDrain) {
        lock.unlock();
        QMetaObject::invokeMethod(this, [this] { Drain(); }, Qt::QueuedConnection);
        lock.lock();
    }
    if (end) {
        FWake.wait(lock, [this] { return FAbandoned || FEndDone; });
    } else if (mustWait) {
        FWorkerWaiting = true;
        FWake.wait(lock, [this, ahead] { return FAbandoned || FPosted - FApplied <= ahead / 2; });
        FWorkerWaiting = false;
    }
}

// --- UI thread ---

namespace {
std::atomic<int> handOverAhead{TCopyThread::kDefaultHandOverAhead};
}

void TCopyThread::SetHandOverAhead(int updates)
{
    handOverAhead.store(std::max(0, updates));
}

int TCopyThread::HandOverAhead()
{
    return handOverAhead.load();
}

void TCopyThread::FlushHandOvers()
{
    Drain();
}

void TCopyThread::Drain()
{
    bool took = false;
    {
        std::lock_guard lock(FMutex);
        FUrgentPosted = false;
        if (FAbandoned)
            return;
        took = !FQueue.empty();
        if (FApplyNext == FApplying.size()) {
            FApplying.clear();
            FApplyNext = 0;
            FApplying.swap(FQueue);
        } else {
            std::move(FQueue.begin(), FQueue.end(), std::back_inserter(FApplying));
            FQueue.clear();
        }
        if (!took && !FBatchTimerArmed)
            FDrainPosted = false;
    }
    if (took && !FBatchTimerArmed) {
        FBatchTimerArmed = true;
        QTimer::singleShot(kBatchIntervalMs, this, [this] {
            FBatchTimerArmed = false;
            Drain();
        });
    }
    // Taken from the front one at a time, so that a drain started from inside
    // an update (a stop or pause the log triggers) keeps the worker's order.
    // The worker learns of applied updates a few dozen at a time: telling it
    // of each one would have both threads take the lock for every file.
    const quint64 ahead = quint64(HandOverAhead());
    while (FApplyNext < FApplying.size()) {
        const TUpdate update = std::move(FApplying[FApplyNext++]);
        Apply(update);
        if (++FAppliedUntold >= kTellAppliedEvery || FApplyNext == FApplying.size())
            TellApplied(ahead);
    }
}

void TCopyThread::TellApplied(quint64 ahead)
{
    bool wake = false;
    {
        std::lock_guard lock(FMutex);
        FApplied += FAppliedUntold;
        wake = FWorkerWaiting && FPosted - FApplied <= ahead / 2;
    }
    FAppliedUntold = 0;
    if (wake)
        FWake.notify_all();
}

void TCopyThread::Apply(const TUpdate &update)
{
    switch (update.kind) {
    case ukStatus:
        // "Stopped" stays in the Status column after a stop; while paused, a
        // status the worker reached just before halting is what resume shows.
        if (FFinishedByStop)
            break;
        if (FEntry->FPaused)
            FEntry->FSavedStatus = update.text;
        else
            FEntry->SetStatus(update.text);
        break;
    case ukProgress:
        FEntry->SetProcessed(update.count);
        if (update.line.pattern && FHost)
            FHost->AddLog(update.line.Text());
        else if (!update.text.isEmpty() && FHost)
            FHost->AddLog(update.text);
        break;
    case ukLog:
        if (FHost)
            FHost->AddLog(update.text);
        break;
    case ukEnd:
        EndHandling();
        break;
    }
}

namespace {
// "Done" only when every file operation succeeded and no guard held the run back.
const QString &OutcomeStatus(const TRunOutcome &outcome)
{
    if (!outcome.Refused.isEmpty())
        return UiText::sRefused;
    if (outcome.Failed > 0)
        return UiText::sFailed;
    return UiText::sDone;
}
} // namespace

void TCopyThread::EndHandling()
{
    TDataObject *entry = FEntry;
    TEntryList *list = entry->FListItem;
    // The passes are over (the worker waits for this hand-over), so the outcome
    // is complete and no longer changes.
    const QString &status = OutcomeStatus(FOutcome);
    if (!FFinishedByStop)
        entry->RunFinished(status);
    // A run asked to stop (by Stop, or by Run to start it afresh) says so.
    ReportOutcome(FFinishedByStop || StopRequested() ? UiText::sStopped : status);
    const bool restart = FRestartPending;
    {
        QMutexLocker locker(list ? &list->Lock() : nullptr);
        if (entry->FWorker == this)
            entry->FWorker = nullptr;
    }
    {
        std::lock_guard lock(FMutex);
        FEndDone = true;
    }
    FWake.notify_all();
    // From here on the worker touches nothing of the entry: it only returns.
    if (!list)
        return;
    if (restart && entry->Row() >= 0 && entry->StartRun()) {
        const int row = entry->Row();
        list->SetImage(row, riRunning);
    }
    list->WorkerEnded(entry);   // may free a removed row's entry
    list->NotifyRunsChanged();
}

void TCopyThread::ReportOutcome(const QString &status)
{
    if (!FHost)
        return;
    const QString summary = UiText::sRunSummary.arg(
        status, FEntry->FSource, FEntry->FDest, QString::number(FOutcome.Copied),
        QString::number(FOutcome.Deleted), QString::number(FOutcome.Failed));
    FHost->AddLog(summary);
    if (FOutcome.Failed > 0 || !FOutcome.Refused.isEmpty())
        FHost->RunProblem(FOutcome.Refused.isEmpty() ? summary : summary + u'\n' + FOutcome.Refused);
}

bool TCopyThread::AtGate() const
{
    std::lock_guard lock(FMutex);
    return FAtGate;
}

void TCopyThread::Halt()
{
    std::lock_guard lock(FMutex);
    FHalted = true;
    FGateClosed.store(true, std::memory_order_release);
}

void TCopyThread::Continue()
{
    {
        std::lock_guard lock(FMutex);
        FHalted = false;
        FGateClosed.store(false, std::memory_order_release);
    }
    FWake.notify_all();
}

bool TCopyThread::Halted() const
{
    std::lock_guard lock(FMutex);
    return FHalted;
}

void TCopyThread::Abandon()
{
    RequestAbandon();
    {
        std::lock_guard lock(FMutex);
        FAbandoned = true;
        FHalted = false;
        FGateClosed.store(false, std::memory_order_release);
        FQueue.clear();
    }
    FWake.notify_all();
}

// --- the entry's run operations ---

namespace {
TVantorHost *HostOf(const TDataObject *entry)
{
    return entry->FListItem ? entry->FListItem->Host() : nullptr;
}

TCopyThread *WorkerOf(const TDataObject *entry)
{
    QMutexLocker locker(entry->FListItem ? &entry->FListItem->Lock() : nullptr);
    return entry->FWorker;
}
} // namespace

void TDataObject::RunAction(const QString &action) const
{
    if (!action.isEmpty())
        OpenWithShell(action);
}

bool TDataObject::Running() const
{
    return WorkerOf(this) != nullptr;
}

bool TDataObject::StartRun()
{
    QMutexLocker locker(FListItem ? &FListItem->Lock() : nullptr);
    return StartRunLocked();
}

bool TDataObject::StartRunLocked()
{
    if (FWorker) {
        // Only the window's run command gets here (the scheduler never starts a
        // running entry). The old run ends with its own end handling; the new
        // one starts from there, so the two never share the entry's state.
        FWorker->FRestartPending = true;
        FWorker->RequestStop();
        FWorker->Continue();
        return true;
    }
    TVantorHost *host = HostOf(this);
    auto *worker = new TCopyThread(this, host);
    FWorker = worker;
    // Counted before the thread starts: a run that ends at once must not bring
    // its end handling's decrement ahead of this increment.
    if (host)
        host->IncRunningCount();
    // The thread is made here, but held before its first step until the action
    // before has been launched: a thread that cannot be made must leave the
    // action unopened, and the action still goes first.
    worker->Halt();
    worker->start();
    if (!worker->isRunning() && !worker->isFinished()) {
        // No thread could be created: undo, so that nothing has changed.
        FWorker = nullptr;
        if (host)
            host->DecRunningCount();
        delete worker;
        return false;
    }
    // Not awaited: the passes may overlap with what the action does.
    RunAction(FActionBefore);
    worker->Continue();
    if (FListItem)
        FListItem->NotifyRunsChanged();
    return true;
}

void TDataObject::RunFinished()
{
    RunFinished(UiText::sDone);
}

void TDataObject::RunFinished(const QString &status)
{
    SetStatus(status);
    TVantorHost *host = HostOf(this);
    if (host)
        host->DecRunningCount();
    if (const int row = Row(); row >= 0)
        FListItem->SetImage(row, riIdle);
    {
        QMutexLocker locker(FListItem ? &FListItem->Lock() : nullptr);
        FLastRun = CurrentOle();
        FPaused = false;
    }
    RunAction(FActionAfter);
    {
        QMutexLocker locker(FListItem ? &FListItem->Lock() : nullptr);
        CalcNextRun();
    }
    if (host)
        host->SetModified(true);
    RefreshRow();
}

void TDataObject::StopRun()
{
    TCopyThread *worker = WorkerOf(this);
    if (!worker || worker->FFinishedByStop)
        return;
    worker->FRestartPending = false;
    // Show what the worker has done so far first; its end may be among it.
    worker->FlushHandOvers();
    if (WorkerOf(this) != worker)
        return;
    worker->FFinishedByStop = true;
    RunFinished();
    worker->RequestStop();
    worker->Continue();
    SetStatus(UiText::sStopped);
    if (FListItem)
        FListItem->NotifyRunsChanged();
}

void TDataObject::PauseRun()
{
    TCopyThread *worker = WorkerOf(this);
    if (!worker || FPaused || worker->FFinishedByStop)
        return;
    worker->FlushHandOvers();
    if (WorkerOf(this) != worker)
        return;
    FSavedStatus = StatusText();
    worker->Halt();
    FPaused = true;
    SetStatus(UiText::sPaused);
}

void TDataObject::ResumeRun()
{
    TCopyThread *worker = WorkerOf(this);
    if (!worker || !FPaused)
        return;
    SetStatus(FSavedStatus);
    worker->Continue();
    FPaused = false;
}
