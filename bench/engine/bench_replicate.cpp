// Runs one replicate run of an entry from a source to a destination folder on
// its worker thread, with the hand-over into this program's event loop and an
// in-memory log that receives every line stamped and stored as the window's
// log box does it, and prints the wall time in seconds and the number of log
// lines.
// Usage: bench_replicate SOURCE DEST [AHEAD [nosync]]
//   AHEAD: hand-over allowance, 0 = blocking, "-" = the default;
//   nosync: the run does not write its copies to the disk before deleting and
//   at its end, to show what that step costs.
#include <QGuiApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>
#include "VantorHost.h"
#include "ut_classes.h"
#include "ut_fileUtils.h"
#include "ut_General.h"

namespace {
class MemoryLogHost : public TVantorHost {
public:
    MemoryLogHost() { list.SetHost(this); }
    // Kept as the window's log box keeps its lines: the stamped line as UTF-8,
    // packed one after another into blocks of a megabyte.
    void AddLog(const QString &text) override
    {
        const QByteArray line = (LogTimeStamp() + u' ' + text).toUtf8();
        if (log.empty() || log.back().size() + line.size() > log.back().capacity()) {
            log.emplace_back();
            log.back().reserve(std::max<qsizetype>(1 << 20, line.size()));
        }
        log.back().append(line);
        ++lines;
    }
    bool Modified() const override { return false; }
    void SetModified(bool) override {}
    bool SchedulesDisabled() const override { return false; }
    void SetStatusPanel(int, const QString &) override {}
    void SetTrayImageList(TTrayImageList) override {}
    TEntryList &EntryList() override { return list; }
    std::vector<QByteArray> log;
    qsizetype lines = 0;
    TEntryList list;
};
} // namespace

int main(int argc, char **argv)
{
    // The hand-overs go into a GUI event loop on the offscreen platform, as
    // they go into the window's loop.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_replicate SOURCE DEST [AHEAD [nosync]]\n");
        return 2;
    }
    if (argc > 3 && QByteArray(argv[3]) != "-")
        TCopyThread::SetHandOverAhead(QByteArray(argv[3]).toInt());
    if (argc > 4 && QByteArray(argv[4]) == "nosync")
        TCopyPasses::SetDurable(false);
    MemoryLogHost host;
    TDataObject *entry = host.list.AddRow();
    entry->FSource = AddTrailingBackslash(QString::fromLocal8Bit(argv[1]));
    entry->FDest = AddTrailingBackslash(QString::fromLocal8Bit(argv[2]));
    entry->FFileMask = QStringLiteral("*.*");
    entry->FCopyType = ctReplicate;
    QObject::connect(&host.list, &TEntryList::runsChanged, &app, [&] {
        if (!entry->Running())
            app.quit();
    }, Qt::QueuedConnection);
    QElapsedTimer timer;
    timer.start();
    entry->StartRun();
    app.exec();
    std::printf("%.3f %lld\n", timer.nsecsElapsed() / 1e9, static_cast<long long>(host.lines));
    return 0;
}
