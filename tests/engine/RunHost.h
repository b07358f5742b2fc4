// RunHost: a window stand-in for run and scheduler tests. Records every log
// line together with the row's Status and Processed texts at that moment, the
// status panels and the tray list, and lets a test act at a log line (the way a
// click would arrive between two hand-overs).
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <functional>
#include "VantorHost.h"
#include "ut_classes.h"

class RunHost : public TVantorHost {
public:
    RunHost() { list.SetHost(this); }
    ~RunHost() override { list.StopAllRuns(); }

    void AddLog(const QString &text) override
    {
        log << text;
        QString row;
        if (list.Count() > 0)
            row = list.Text(0, ecStatus) + u'|' + list.Text(0, ecProcessed) + u'|';
        trace << row + text;
        maxRunning = std::max(maxRunning, RunningCount());
        minRunning = std::min(minRunning, RunningCount());
        if (onLog)
            onLog(text);
    }
    bool Modified() const override { return modified; }
    void SetModified(bool m) override { modified = m; }
    bool SchedulesDisabled() const override { return disabled.load(); }
    void SetStatusPanel(int panel, const QString &text) override
    {
        panels[panel == 0 ? 0 : 1] = text;
        ++statusRefreshes;
    }
    void SetTrayImageList(TTrayImageList l) override { tray = l; }
    TEntryList &EntryList() override { return list; }
    void RunProblem(const QString &text) override { problems << text; }

    // Lines that start with `prefix`.
    QStringList lines(const QString &prefix) const
    {
        QStringList found;
        for (const QString &line : log) {
            if (line.startsWith(prefix))
                found << line;
        }
        return found;
    }

    QStringList log;
    QStringList trace;      // "status|count|line" per log line
    QStringList problems;   // RunProblem texts
    bool modified = false;
    std::atomic<bool> disabled{false};
    QString panels[2];
    int statusRefreshes = 0;
    TTrayImageList tray = tiPassive;
    int maxRunning = 0;
    int minRunning = 0;
    std::function<void(const QString &)> onLog;
    TEntryList list;
};

// Runs this thread's event loop until `done` holds (true) or the time is up
// (false). Unlike QTRY_*, which sleep between polls, it serves each hand-over
// as soon as it is posted, so runs with a blocking hand-over are not slowed.
inline bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 20000)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTimer tick;   // wakes the loop for conditions no event announces
    tick.start(20);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}
