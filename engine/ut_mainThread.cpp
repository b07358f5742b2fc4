// ut_mainThread: the scheduler's passes, due test and status refresh.
#include "ut_mainThread.h"

#include "LocaleFormats.h"
#include "ThreadPriority.h"
#include "VantorHost.h"
#include "ut_classes.h"
#include "ut_General.h"

#include <QMutexLocker>
#include <algorithm>
#include <chrono>
#include <cmath>

TMainThread::TMainThread(TVantorHost &host, TEntryList &list, QObject *parent)
    : QThread(parent)
    , FMainForm(host)
    , FList(list)
{
    setObjectName(QStringLiteral("Vantor scheduler"));
    // What can make an entry due or change the status: rows added or removed,
    // check marks, schedules and next-run times edited, runs started or ended.
    // Status and count columns change with every file and are left out.
    const auto wake = [this] { Wake(); };
    connect(&FList, &QAbstractItemModel::rowsInserted, this, wake, Qt::DirectConnection);
    connect(&FList, &QAbstractItemModel::rowsRemoved, this, wake, Qt::DirectConnection);
    connect(&FList, &QAbstractItemModel::modelReset, this, wake, Qt::DirectConnection);
    connect(&FList, &TEntryList::runsChanged, this, wake, Qt::DirectConnection);
    connect(&FList, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                const bool progressOnly = topLeft.column() == bottomRight.column()
                    && (topLeft.column() == ecStatus || topLeft.column() == ecProcessed);
                if (!progressOnly)
                    Wake();
            },
            Qt::DirectConnection);
}

TMainThread::~TMainThread()
{
    Shutdown();
}

void TMainThread::Start()
{
    FStopping.store(false);
    start();
}

void TMainThread::SetEnabled(bool enabled)
{
    FEnabled.store(enabled);
    Wake();
}

void TMainThread::Wake()
{
    {
        std::lock_guard lock(FMutex);
        FWakeRequested = true;
        FChanged = true;
    }
    FWake.notify_all();
}

void TMainThread::Shutdown()
{
    {
        std::lock_guard lock(FMutex);
        FStopping.store(true);
    }
    FWake.notify_all();
    wait();
}

bool TMainThread::CheckDue(TDataObject *entry)
{
    QMutexLocker locker(&FList.Lock());
    const int row = FList.RowOf(entry);
    return row >= 0 && CheckDueLocked(row, CurrentOle());
}

bool TMainThread::CheckDueLocked(int row, TDateTime now, TDateTime *dueAt)
{
    TDataObject *entry = FList.Entry(row);
    if (!entry || !FList.IsChecked(row))
        return false;
    if (entry->FWorker)   // end handling still to come; its end wakes us
        return false;
    if (entry->FSchedule == skNone || entry->FNextRun == 0)
        return false;
    if (entry->FSchedule == skFixed && !(entry->FNextRun > entry->FLastRun))
        return false;
    if (now < entry->FNextRun) {
        if (dueAt && (*dueAt == 0 || entry->FNextRun < *dueAt))
            *dueAt = entry->FNextRun;
        return false;
    }
    if (entry->StartRunLocked())
        return true;
    FStartFailed.store(true);   // due, but no worker: try again next pass
    return false;
}

int TMainThread::SleepMs(const QDateTime &now, TDateTime earliestDue)
{
    int ms = std::min(kMaxSleepMs, 1000 - now.time().msec() + kSecondMarginMs);
    if (earliestDue != 0) {
        const double untilDue = (earliestDue - OleFromDateTime(now)) * 86400000.0;
        // One millisecond late rather than a hair early, which would only buy
        // an empty pass.
        if (untilDue < ms)
            ms = untilDue <= 0 ? 0 : int(std::ceil(untilDue)) + 1;
    }
    return std::clamp(ms, 0, kMaxSleepMs);
}

void TMainThread::run()
{
    SetCurrentThreadLowestNormalPriority();
    // The earliest next run found by the last test of the entries (0: none),
    // and the passes since then.
    TDateTime earliestDue = 0;
    int passesSinceTest = kTestEveryPasses;
    while (!FStopping.load()) {
        if (!WaitWhileDisabled())
            return;
        bool changed = false;
        {
            std::lock_guard lock(FMutex);
            std::swap(changed, FChanged);
        }
        // Nothing becomes due by itself before the earliest next run: a pass
        // tests the entries only when something changed, when that time has
        // come (also by a clock set forward or a resume from suspend), or when
        // a start failed. A test every kTestEveryPasses passes is a net for a
        // change that announced itself to nobody.
        const bool test = changed || FStartFailed.exchange(false) || passesSinceTest >= kTestEveryPasses
            || (earliestDue != 0 && CurrentOle() >= earliestDue);
        if (test) {
            earliestDue = 0;
            passesSinceTest = 0;
            ++FTests;
            try {
                // One reading of the clock serves the whole pass (a pass over
                // thousands of entries takes well under a millisecond); it is
                // read again after a start, which takes longer.
                TDateTime now = CurrentOle();
                for (int i = 0;; ++i) {
                    bool started = false;
                    {
                        // Rows re-counted before every entry; the lock keeps the
                        // row and its entry alive and its end handling out
                        // during the test.
                        QMutexLocker locker(&FList.Lock());
                        if (i >= FList.Count())
                            break;
                        started = CheckDueLocked(i, now, &earliestDue);
                    }
                    if (FStopping.load())
                        return;
                    if (started) {
                        // The tray turns active now, not at the end of the pass.
                        if (!WaitWhileDisabled())
                            return;
                        UpdateStatus();
                        if (FStopping.load())
                            return;
                        now = CurrentOle();
                    }
                    if (!WaitWhileDisabled())
                        return;
                }
            } catch (...) {
                // Ends this pass only; the next pass tests again.
                FStartFailed.store(true);
            }
        } else {
            ++passesSinceTest;
        }
        if (!WaitWhileDisabled())
            return;
        UpdateStatus();
        ++FPasses;
        if (!WaitForNextPass(SleepMs(CurrentDateTime(), earliestDue)))
            return;
    }
}

bool TMainThread::WaitWhileDisabled()
{
    while (!FStopping.load() && (!FEnabled.load() || FMainForm.SchedulesDisabled())) {
        std::unique_lock lock(FMutex);
        FWake.wait_for(lock, std::chrono::milliseconds(kDisabledPollMs),
                       [this] { return FWakeRequested || FStopping.load(); });
        FWakeRequested = false;
    }
    return !FStopping.load();
}

bool TMainThread::WaitForNextPass(int ms)
{
    std::unique_lock lock(FMutex);
    FWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FWakeRequested || FStopping.load(); });
    FWakeRequested = false;
    return !FStopping.load();
}

void TMainThread::UpdateStatus()
{
    {
        std::lock_guard lock(FMutex);
        FStatusDone = false;
    }
    // Queued to this object, which lives on the UI thread: when it is gone the
    // call is dropped, and Shutdown releases the wait below.
    QMetaObject::invokeMethod(
        this,
        [this] {
            UpdateStatusNow();
            {
                std::lock_guard lock(FMutex);
                FStatusDone = true;
            }
            FWake.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(FMutex);
    FWake.wait(lock, [this] { return FStatusDone || FStopping.load(); });
}

void TMainThread::UpdateStatusNow()
{
    const int running = FMainForm.RunningCount();
    const TTrayImageList list = running > 0 ? tiActive
        : FMainForm.SchedulesDisabled()     ? tiDisabled
                                            : tiPassive;
    FMainForm.SetTrayImageList(list);
    FMainForm.SetStatusPanel(0, FormatLongTime(CurrentDateTime().time()));
    FMainForm.SetStatusPanel(1, UiText::sRunningOfRows.arg(running).arg(FList.Count()));
}
