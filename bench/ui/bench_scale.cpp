// bench_scale: the real main window (offscreen) with large job lists.
//   idle <entries> <seconds>  CPU of the whole idle program, schedules on, with
//                             that many ticked entries none of which is due;
//                             prints "<percent of one core> <scheduler passes>"
//   saveopen <entries> <dir>  Save As and Open of a job list of that many
//                             entries; prints "<save s> <open s> <save CPU s>
//                             <open CPU s> <file bytes> <peak resident MiB>"
//                             (CPU of the window's thread alone, which other
//                             load on the machine does not inflate)
//   roundtrip <entries> <dir> saves that many entries whose every field differs
//                             and opens them again; prints "equal" or the first
//                             difference (exit status 1)
// Save and Open run on the window's thread: their time, up to the window's
// first paint after them, is the time the window does not answer.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

#include "JobListSample.h"
#include "frm_Main.h"
#include "ut_classes.h"

using namespace Qt::StringLiterals;

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double PeakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

int Idle(TformMain &w, int entries, int seconds)
{
    const TDateTime now = CurrentOle();
    // Daily entries that ran an hour ago: their next runs lie a day ahead.
    for (int i = 0; i < entries; ++i)
        w.AddEntryRow(u"/nonexistent/src%1"_s.arg(i), u"/nonexistent/dst%1"_s.arg(i), u"*.*"_s, true, skDaily,
                      0.25, now - 1.0 / 24, QString(), QString(), ctReplicate);
    w.FModified = false;
    if (w.cbSuspend->isChecked())
        w.cbSuspend->click();   // schedules on
    double startCpu = 0;
    quint64 startPasses = 0;
    // Measured after the first two seconds, so start-up is not in the figure.
    QTimer::singleShot(2000, &w, [&] {
        startCpu = CpuSeconds();
        startPasses = w.FScheduler->Passes();
        QTimer::singleShot(seconds * 1000, &w, [&] {
            const double used = CpuSeconds() - startCpu;
            std::printf("%.3f %llu\n", 100.0 * used / seconds,
                        static_cast<unsigned long long>(w.FScheduler->Passes() - startPasses));
            QCoreApplication::exit(0);
        });
    });
    QApplication::exec();
    for (int row = 0; row < w.EntryCount(); ++row) {
        if (w.EntryAt(row)->FWorker) {
            std::fprintf(stderr, "an entry was started\n");
            return 1;
        }
    }
    return 0;
}

int SaveOpen(TformMain &w, int entries, const QString &dir)
{
    FillSampleJobList(w, entries);
    QApplication::processEvents();
    const QString path = dir + u"/list%1.vnt"_s.arg(entries);
    QElapsedTimer timer;
    timer.start();
    double cpu = ThreadCpuSeconds();
    w.SaveJobList(path);
    QApplication::processEvents();
    const double save = timer.nsecsElapsed() / 1e9;
    const double saveCpu = ThreadCpuSeconds() - cpu;
    TformMain opened;
    opened.show();
    QApplication::processEvents();
    timer.restart();
    cpu = ThreadCpuSeconds();
    opened.LoadJobList(path);
    // Until the window has laid out and painted the new rows.
    QApplication::processEvents();
    opened.repaint();
    QApplication::processEvents();
    const double open = timer.nsecsElapsed() / 1e9;
    const double openCpu = ThreadCpuSeconds() - cpu;
    if (opened.EntryCount() != entries) {
        std::fprintf(stderr, "opened %d of %d entries\n", opened.EntryCount(), entries);
        return 1;
    }
    std::printf("%.3f %.3f %.3f %.3f %lld %.1f\n", save, open, saveCpu, openCpu,
                static_cast<long long>(QFileInfo(path).size()), PeakMiB());
    return 0;
}

int RoundTrip(TformMain &w, int entries, const QString &dir)
{
    FillSampleJobList(w, entries);
    const QString path = dir + u"/roundtrip%1.vnt"_s.arg(entries);
    w.SaveJobList(path);
    TformMain opened;
    opened.LoadJobList(path);
    const QString difference = CompareJobLists(w, opened);
    if (!difference.isEmpty()) {
        std::printf("%s\n", qPrintable(difference));
        return 1;
    }
    std::printf("equal\n");
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    TformMain w;
    w.show();
    QApplication::processEvents();
    const QString mode = args.value(1);
    const int entries = args.value(2).toInt();
    if (mode == u"idle"_s && args.size() == 4)
        return Idle(w, entries, args.at(3).toInt());
    if (mode == u"saveopen"_s && args.size() == 4)
        return SaveOpen(w, entries, args.at(3));
    if (mode == u"roundtrip"_s && args.size() == 4)
        return RoundTrip(w, entries, args.at(3));
    std::fprintf(stderr, "usage: bench_scale idle <entries> <seconds> | saveopen <entries> <dir> | "
                         "roundtrip <entries> <dir>\n");
    return 2;
}
