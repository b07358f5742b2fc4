// bench_window: `run <src> <dst> [earlier]` replicates src into dst through an
// entry of the real main window (offscreen), started with the toolbar's run
// action on a worker thread, the log included (holding `earlier` lines before
// the run, as after a long session), and prints the seconds, the run's log
// lines and the processed-files count; `log <lines>` appends that many typical lines to the window's
// log and prints the cost per line and the memory the log holds.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

#include <QTreeView>

#include "frm_Main.h"
#include "ut_LogView.h"
#include "ut_classes.h"

using namespace Qt::StringLiterals;

namespace {

long ResidentKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
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

    if (args.value(1) == u"run"_s && (args.size() == 4 || args.size() == 5)) {
        // An optional count of lines already in the log, as after a long session.
        const long earlier = args.value(4).toLong();
        for (long i = 0; i < earlier; ++i)
            w.AddLog(u"Copying: /tmp/vantor-bench/earlier/d%1/file%2.dat > /tmp/vantor-bench/backup/d%1/file%2.dat"_s
                         .arg(i % 10)
                         .arg(i % 250, 3, 10, QLatin1Char('0')));
        w.memo->Flush();
        QApplication::processEvents();
        TDataObject *entry = w.AddEntryRow(args.at(2), args.at(3), u"*.*"_s, false, skNone, 0, 0, QString(),
                                           QString(), ctReplicate);
        // As a user runs it: the row selected, the toolbar's run action. The run
        // goes on its own worker thread with the window as host; the loop ends
        // once the end handling is through (the entry no longer has a worker).
        w.lvMain->selectionModel()->select(w.EntryList().index(0, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QObject::connect(&w.EntryList(), &TEntryList::runsChanged, &app, [entry] {
            if (!entry->Running())
                QCoreApplication::exit(0);
        }, Qt::QueuedConnection);
        QElapsedTimer timer;
        timer.start();
        w.tbStart->trigger();
        QApplication::exec();
        w.memo->Flush();
        QApplication::processEvents();
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (w.EntryList().Text(0, ecStatus) != u"Done"_s) {
            std::fprintf(stderr, "run did not end with Done\n");
            return 1;
        }
        std::printf("%.3f %lld %s\n", seconds, static_cast<long long>(w.memo->LogModel()->LineCount() - earlier),
                    qPrintable(w.EntryList().Text(0, ecProcessed)));
        return 0;
    }
    if (args.value(1) == u"log"_s && args.size() == 3) {
        const long lines = args.at(2).toLong();
        const long before = ResidentKiB();
        QElapsedTimer timer;
        timer.start();
        for (long i = 0; i < lines; ++i) {
            w.AddLog(u"Copying: /tmp/vantor-bench/src/d%1/f%2/file%3.dat > /tmp/vantor-bench/dst/d%1/f%2/file%3.dat"_s
                         .arg(i % 10)
                         .arg(i % 200, 3, 10, QLatin1Char('0'))
                         .arg(i % 250, 3, 10, QLatin1Char('0')));
            // Let the window work as it would between hand-overs of a run.
            if (i % 1000 == 999)
                QApplication::processEvents();
        }
        w.memo->Flush();
        w.memo->scrollToBottom();
        QApplication::processEvents();
        const double ns = static_cast<double>(timer.nsecsElapsed());
        std::printf("%ld lines: %.2f us per line, log storage %.1f MiB, resident growth %.1f MiB\n", lines,
                    ns / 1000.0 / static_cast<double>(lines), w.memo->LogModel()->MemoryUsed() / 1048576.0,
                    (ResidentKiB() - before) / 1024.0);
        return 0;
    }
    std::fprintf(stderr, "usage: bench_window run <src> <dst> | log <lines>\n");
    return 2;
}
