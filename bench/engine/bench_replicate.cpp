// Runs one replicate pass set of the engine from a source to a destination
// folder and prints the wall time in seconds. Log lines are stamped like the
// window stamps them, then counted, so their formatting is in the figure.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include "VantorHost.h"
#include "ut_classes.h"
#include "ut_fileUtils.h"
#include "ut_General.h"

namespace {
class CountingHost : public TVantorHost {
public:
    void AddLog(const QString &text) override { bytes += (LogTimeStamp() + u' ' + text).size(); ++lines; }
    bool Modified() const override { return false; }
    void SetModified(bool) override {}
    bool SchedulesDisabled() const override { return false; }
    void SetStatusPanel(int, const QString &) override {}
    void SetTrayImageList(TTrayImageList) override {}
    TEntryList &EntryList() override { return list; }
    qint64 lines = 0, bytes = 0;
    TEntryList list;
};
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_replicate SOURCE DEST\n");
        return 2;
    }
    CountingHost host;
    TDataObject *entry = host.list.AddRow();
    entry->FSource = AddTrailingBackslash(QString::fromLocal8Bit(argv[1]));
    entry->FDest = AddTrailingBackslash(QString::fromLocal8Bit(argv[2]));
    entry->FFileMask = QStringLiteral("*.*");
    entry->FCopyType = ctReplicate;
    QElapsedTimer timer;
    timer.start();
    TCopyPasses(entry, &host).Execute();
    std::printf("%.3f %lld\n", timer.nsecsElapsed() / 1e9, static_cast<long long>(host.lines));
    return 0;
}
