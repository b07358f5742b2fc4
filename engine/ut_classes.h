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
    // Never fails; unknown kinds (and a monthly day below 1) give 0.
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
};

#include "TEntryList.h"
#include "ut_copyPasses.h"
