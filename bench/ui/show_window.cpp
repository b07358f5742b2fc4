// show_window: the main window with a few entries and log lines, for looking at it.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>

#include "frm_Main.h"
#include <QTreeView>

#include "ut_classes.h"

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(u"Vantor"_s);
    TformMain w;
    w.edDef->setText(u"/media/backup"_s);
    const TDateTime now = CurrentOle();
    w.AddEntryRow(u"/home/ann/Documents"_s, u"/media/backup/Documents"_s, u"*.*"_s, true, skDaily, 0.75,
                  now - 0.3, QString(), QString(), ctReplicate);
    w.AddEntryRow(u"/home/ann/Pictures"_s, u"/media/backup/Pictures"_s, u"*.jpg"_s, true, skWeekly, 4.5,
                  now - 2, QString(), QString(), ctCopy);
    w.AddEntryRow(u"/home/ann/.config"_s, u"/media/backup/config"_s, u"*.*"_s, false, skHourly, 6, now - 0.1,
                  QString(), QString(), ctReplicate);
    w.AddEntryRow(u"/srv/projects"_s, u"/media/backup/projects"_s, u"*.*"_s, true, skNone, 0, 0, QString(),
                  QString(), ctCopy);
    w.EntryList().SetText(0, ecStatus, u"Done"_s);
    w.EntryList().SetText(0, ecProcessed, u"1284"_s);
    w.EntryList().SetText(1, ecStatus, u"Copying.."_s);
    w.EntryList().SetImage(1, riRunning);
    w.EntryList().SetText(1, ecProcessed, u"312"_s);
    for (int i = 0; i < 6; ++i)
        w.AddLog(u"Copying: /home/ann/Pictures/2024/img_%1.jpg > /media/backup/Pictures/2024/img_%1.jpg"_s.arg(
            4100 + i));
    w.RefreshStatus();
    w.lvMain->selectionModel()->select(w.EntryList().index(1, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.show();
    if (argc > 1)
        QTimer::singleShot(QString::fromLocal8Bit(argv[1]).toInt(), &app, [] { QCoreApplication::exit(0); });
    return QApplication::exec();
}
