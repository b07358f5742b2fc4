// CPU use of an idle scheduler: 100 ticked entries that are not due, the
// scheduler thread running against this program's event loop for the given
// seconds. Prints the percentage of one core the whole process used, and the
// number of passes made.
// Usage: bench_idle [SECONDS]
#include <QGuiApplication>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>
#include "LocaleFormats.h"
#include "VantorHost.h"
#include "ut_classes.h"

namespace {
class PanelHost : public TVantorHost {
public:
    PanelHost() { list.SetHost(this); }
    void AddLog(const QString &) override {}
    bool Modified() const override { return false; }
    void SetModified(bool) override {}
    bool SchedulesDisabled() const override { return false; }
    void SetStatusPanel(int panel, const QString &text) override { panels[panel & 1] = text; }
    void SetTrayImageList(TTrayImageList) override {}
    TEntryList &EntryList() override { return list; }
    QString panels[2];
    TEntryList list;
};

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    // The hand-overs go into a GUI event loop on the offscreen platform, as
    // they go into the window's loop.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 10;
    PanelHost host;
    for (int i = 0; i < 100; ++i) {
        TDataObject *entry = host.list.AddRow();
        entry->FSource = QStringLiteral("/nonexistent/src/");
        entry->FDest = QStringLiteral("/nonexistent/dst/");
        entry->FSchedule = skDaily;
        entry->FNextRun = CurrentOle() + 1;
        host.list.SetChecked(i, true);
    }
    TMainThread scheduler(host, host.list);
    scheduler.Start();
    double startCpu = 0;
    quint64 startPasses = 0;
    // Measured after the first second, so start-up is not in the figure.
    QTimer::singleShot(1000, &app, [&] {
        startCpu = CpuSeconds();
        startPasses = scheduler.Passes();
        QTimer::singleShot(seconds * 1000, &app, [&] {
            const double used = CpuSeconds() - startCpu;
            std::printf("%.3f %llu\n", 100.0 * used / seconds,
                        static_cast<unsigned long long>(scheduler.Passes() - startPasses));
            app.quit();
        });
    });
    app.exec();
    scheduler.Shutdown();
    return 0;
}
