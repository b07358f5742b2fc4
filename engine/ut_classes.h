// ut_classes: the copy entry with its schedule, and (through the headers it
// includes) the entry list and the passes of a run.
#pragma once

#include <QString>
#include <QtGlobal>
#include "OleDateTime.h"

class TCopyThread;  // the worker of a run
class TEntryList;

// Schedule kinds, stored as numbers in job list files; -1 = no kind chosen.
enum TScheduleKind : qint32 {
    skUnset = -1,
    skNone = 0,
    skFixed = 1,
    skDaily = 2,
    skHourly = 3,
    skWeekly = 4,
    skMonthly = 5,
};

// Copy types, stored as numbers in job list files.
enum TCopyType : quint8 {
    ctNothing = 0,
    ctReplicate = 1,
    ctCopy = 2,
};

// The image index of a row in the main window's image list.
enum TRowImage { riRunning = 17, riIdle = 19 };

// One copy entry. Created and destroyed only by the entry list together with its
// row (UI thread). The scheduler reads FSchedule, FNextRun, FLastRun and FWorker
// on its own thread while holding TEntryList::Lock(); the UI thread changes them
// under the same lock.
class TDataObject {
public:
    // Create(ListItem): an entry bound to `listItem` (may be null: no row).
    explicit TDataObject(TEntryList *listItem = nullptr);
    TDataObject(const TDataObject &) = delete;
    TDataObject &operator=(const TDataObject &) = delete;

    // Fields in their order of declaration.
    QString FSavedStatus;          // status text saved by a pause
    qint32 FSchedule = skNone;     // TScheduleKind
    TDateTime FScheduleTime = 0;   // parameter of the schedule
    TDateTime FLastRun = 0;        // end of the last run; 0 = never
    TDateTime FNextRun = 0;        // next due time; 0 = never
    QString FSource;               // ends with "/" when not empty
    QString FDest;                 // ends with "/" when not empty
    QString FFileMask;
    TCopyThread *FWorker = nullptr;  // worker of the latest run, not owned
    TEntryList *FListItem = nullptr; // the list showing this entry's row, not owned
    bool FPaused = false;
    quint8 FCopyType = ctNothing;  // TCopyType
    QString FActionBefore;
    QString FActionAfter;

    // Sets FNextRun from FSchedule, FScheduleTime, FLastRun and the current time.
    // Never fails; unknown kinds, a monthly day below 1 and an hourly count of 0
    // or below give 0 (never due).
    void CalcNextRun();
    // The Schedule column text; empty for unknown kinds.
    QString ScheduleText() const;

    // Row writers (UI thread). Without a row they do nothing.
    void SetStatus(const QString &text);
    void SetProcessed(int count);
    // Caption, Destination, Schedule, Last Copy and Next Copy from the fields.
    void RefreshRow();
    // The Status column as shown now (empty without a row).
    QString StatusText() const;

    // The row this entry shows in, -1 without one. UI thread, or under Lock().
    int Row() const;

    // --- Runs ---
    // Starts a run: a worker is created (FWorker), the action before is opened,
    // the worker starts and the host's running count rises. Any thread (the
    // scheduler or the UI thread); takes the list's Lock(). When a run of this
    // entry is still in progress, that run is asked to stop (its own end handling
    // comes later) and the new run starts only once the old worker has ended, so
    // two workers never share the entry. Returns false when no worker could be
    // started (then nothing else changed).
    bool StartRun();
    // The same with the list's Lock() already held by the caller.
    bool StartRunLocked();
    // End of a run, UI thread: "Done", running count lowered, idle image, last
    // run now, not paused, action after, next run, job list changed, row texts.
    void RunFinished();
    // The same with another status than "Done" (a run that failed or was refused).
    void RunFinished(const QString &status);
    // UI thread. Ends the run at once: RunFinished now, the worker asked to stop
    // (and let go when paused), "Stopped" in the Status column. Nothing happens
    // without a run in progress or when the run was already stopped.
    void StopRun();
    // UI thread. Halts a running worker before its next file operation and shows
    // "Paused"; ResumeRun shows the saved status again and lets it go on.
    void PauseRun();
    void ResumeRun();
    // OpenWithShell of `action` when it is not empty; the result is ignored.
    void RunAction(const QString &action) const;
    // A run is in progress: the entry has a worker whose end handling is still
    // to come. Takes the list's Lock() (do not call with it held: read FWorker).
    bool Running() const;
};

#include "TEntryList.h"
#include "ut_copyPasses.h"
#include "ut_copyThread.h"
#include "ut_mainThread.h"
