// show_window: the main window with a few entries, one of them really running
// on a folder tree it makes below ROOT, for looking at it (docs/vantor-main.png).
// Usage: show_window [MS [ROOT]]  (MS: end after that many milliseconds)
// The run is held at its 137th file with the worker's own halt, so the row keeps
// showing "Copying.." while the picture is taken.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

#include "frm_Main.h"
#include "ut_classes.h"

using namespace Qt::StringLiterals;

namespace {

bool MakeTree(const QString &src, int files)
{
    for (int i = 0; i < files; ++i) {
        const QString folder = src + u"/%1"_s.arg(2019 + i / 100);
        if (!QDir().mkpath(folder))
            return false;
        QFile file(folder + u"/track_%1.flac"_s.arg(i % 100, 3, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(2048 + i, 'm')) < 0)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(u"Vantor"_s);
    const QString root = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath() + u"/vantor-demo"_s;
    QDir(root).removeRecursively();
    if (!MakeTree(root + u"/Music"_s, 400)) {
        std::fprintf(stderr, "cannot make the tree below %s\n", qPrintable(root));
        return 1;
    }
    // One hand-over per file, so the run holds exactly where it is told to.
    TCopyThread::SetHandOverAhead(0);

    TformMain w;
    w.edDef->setText(u"/media/backup"_s);
    const TDateTime now = CurrentOle();
    // Not due while the picture is taken: the next runs lie ahead.
    w.AddEntryRow(u"/home/ann/Documents"_s, u"/media/backup/Documents"_s, u"*.*"_s, true, skHourly, 6, now - 0.1,
                  QString(), QString(), ctReplicate);
    TDataObject *music = w.AddEntryRow(root + u"/Music"_s, root + u"/backup/Music"_s, u"*.*"_s, true, skNone, 0,
                                       now - 1.2, QString(), QString(), ctReplicate);
    w.AddEntryRow(u"/home/ann/Pictures"_s, u"/media/backup/Pictures"_s, u"*.jpg"_s, true, skWeekly, 4.5, now - 2,
                  QString(), QString(), ctCopy);
    w.AddEntryRow(u"/home/ann/.config"_s, u"/media/backup/config"_s, u"*.*"_s, false, skHourly, 12, now - 0.2,
                  QString(), QString(), ctReplicate);
    for (int row = 0; row < w.EntryCount(); ++row) {
        const TDataObject *entry = w.EntryAt(row);
        if (entry->FSchedule != skNone && entry->FNextRun <= now)
            std::fprintf(stderr, "row %d would be due\n", row);
    }
    w.EntryList().SetText(0, ecStatus, u"Done"_s);
    w.EntryList().SetText(0, ecProcessed, u"1284"_s);
    w.FModified = false;

    QObject::connect(&w.EntryList(), &QAbstractItemModel::dataChanged, &w, [&w, music] {
        const int row = w.EntryList().RowOf(music);
        if (music->FWorker && !music->FWorker->Halted() && w.EntryList().Text(row, ecProcessed) == u"137"_s)
            music->FWorker->Halt();
    });
    w.show();
    // Schedules on, as in daily use; the scheduler's hand-overs fill the panels.
    w.cbSuspend->click();
    w.lvMain->selectionModel()->select(w.EntryList().index(w.EntryList().RowOf(music), 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    w.tbStart->trigger();
    if (argc > 1)
        QTimer::singleShot(QString::fromLocal8Bit(argv[1]).toInt(), &app, [] { QCoreApplication::exit(0); });
    const int code = QApplication::exec();
    QDir(root).removeRecursively();
    return code;
}
