// VantorHost: everything the engine needs of the main window. The window
// implements it; tests fake it. The engine never sees a widget.
#pragma once

#include <QString>
#include <atomic>

class TEntryList;

// Image list the tray icon cycles through.
enum TTrayImageList { tiPassive = 0, tiActive = 1, tiDisabled = 2 };

class TVantorHost {
public:
    virtual ~TVantorHost() = default;

    // Appends one time-stamped line to the log. UI thread only; callers on other
    // threads hand the call over (the worker does).
    virtual void AddLog(const QString &text) = 0;

    // The job list has unsaved changes. UI thread only.
    virtual bool Modified() const = 0;
    virtual void SetModified(bool modified) = 0;

    // "Disable All Schedules" is ticked. Read by the scheduler on its own thread,
    // so implementations keep it in an atomic.
    virtual bool SchedulesDisabled() const = 0;

    // Status bar panels 0 (time) and 1 (running / rows). UI thread only.
    virtual void SetStatusPanel(int panel, const QString &text) = 0;
    // Chooses the tray image list; a no-op when it is already in use. UI thread only.
    virtual void SetTrayImageList(TTrayImageList list) = 0;

    // A run ended with failed file operations, or a guard kept it from doing
    // its work; `text` says which entry and what happened. UI thread only. The
    // window tells the user when it is hidden in the tray; nothing by default.
    virtual void RunProblem(const QString &) {}

    // The entry list the window shows.
    virtual TEntryList &EntryList() = 0;

    // Runs started and not yet through their end handling. Raised on the
    // scheduler or UI thread, lowered on the UI thread; every change is atomic.
    int RunningCount() const { return FRunningCount.load(); }
    void IncRunningCount() { ++FRunningCount; }
    void DecRunningCount() { --FRunningCount; }

protected:
    std::atomic<int> FRunningCount{0};
};
