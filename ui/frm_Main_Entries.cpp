// The entry editor and standard-folders commands of the main window.
#include "frm_Main.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QMutexLocker>
#include <QSignalBlocker>
#include <QSpinBox>
#include <climits>
#include <cmath>

#include "ShellFolders.h"
#include "TEntryList.h"
#include "frm_EditFile.h"
#include "ut_classes.h"
#include "ut_fileUtils.h"

using namespace Qt::StringLiterals;

namespace {

// The whole-day part of a schedule value as a list position; values beyond
// the int range give -1 (no item).
int WholeDays(TDateTime value)
{
    const double days = std::trunc(value);
    if (!(days >= INT_MIN && days <= INT_MAX))
        return -1;
    return static_cast<int>(days);
}

int NearestWhole(double value)
{
    const double r = std::round(value);
    if (!(r >= INT_MIN)) // also NaN
        return r > 0 ? INT_MAX : INT_MIN;
    if (r > INT_MAX)
        return INT_MAX;
    return static_cast<int>(r);
}

void SetTimeOfDay(QDateTimeEdit *box, const QTime &time)
{
    const QSignalBlocker block(box);
    box->setDateTime(QDateTime(box->date(), time));
}

} // namespace

void TformMain::AddEntry()
{
    TformEditFile *f = EntryEditor(this);
    f->SetDefaultRootBox(edDef);
    f->setWindowTitle(QString());
    f->edSrc->setText(QString());
    f->edSrcFileMask->setText(u"*.*"_s);
    f->edDest->setText(QString());
    TformEditFile::SetBoxValue(f->dtWeekly, 0);
    TformEditFile::SetBoxValue(f->dtMonthly, 0);
    f->SetCopyType(ctReplicate);
    f->cbSchedule->setCurrentIndex(-1);
    // Everything else keeps what the dialog held when it was last closed.
    f->FPrevPeriod = -1;
    if (f->exec() != QDialog::Accepted)
        return;

    TDateTime scheduleTime = 0;
    f->ScheduleValue(&scheduleTime); // no Period chosen: 0
    AddEntryRow(f->edSrc->text(), f->edDest->text(), f->edSrcFileMask->text(), true, f->Period(), scheduleTime,
                CurrentOle(), f->edRunBefore->text(), f->edRunAfter->text(), f->CopyType());
    FModified = true;
}

void TformMain::EditEntry()
{
    TDataObject *entry = SelectedEntry();
    if (!entry)
        return;
    TformEditFile *f = EntryEditor(this);
    f->SetDefaultRootBox(edDef);
    f->setWindowTitle(entry->FSource);
    f->edSrc->setText(entry->FSource); // the proposal runs and is overwritten just below
    f->edSrcFileMask->setText(entry->FFileMask);
    f->edDest->setText(entry->FDest);
    f->cbSchedule->setCurrentIndex(entry->FSchedule); // out of range: no Period

    TformEditFile::SetBoxValue(f->dtFixedDate, 0);
    SetTimeOfDay(f->dtFixedTime, QTime(0, 0));
    TformEditFile::SetBoxValue(f->dtDailyTime, 0);
    f->seHour->setValue(0);

    f->edRunBefore->setText(entry->FActionBefore);
    f->edRunAfter->setText(entry->FActionAfter);
    f->SetCopyType(entry->FCopyType);

    const TDateTime value = entry->FScheduleTime;
    switch (entry->FSchedule) {
    case skFixed:
        TformEditFile::SetBoxValue(f->dtFixedDate, value);
        TformEditFile::SetBoxValue(f->dtFixedTime, value);
        break;
    case skDaily:
        TformEditFile::SetBoxValue(f->dtDailyTime, value);
        break;
    case skHourly:
        f->seHour->setValue(NearestWhole(value));
        break;
    case skWeekly:
        f->cbWeekly->setCurrentIndex(WholeDays(value));
        TformEditFile::SetBoxValue(f->dtWeekly, OleTimePart(value));
        break;
    case skMonthly: {
        const int day = WholeDays(value);
        f->cbMonthly->setCurrentIndex(day > INT_MIN ? day - 1 : -1);
        TformEditFile::SetBoxValue(f->dtMonthly, OleTimePart(value));
        break;
    }
    default:
        break;
    }
    TformEditFile::SetBoxValue(f->dtLastDate, entry->FLastRun);
    TformEditFile::SetBoxValue(f->dtLastTime, entry->FLastRun);
    TformEditFile::SetBoxValue(f->dtNextDate, entry->FNextRun);
    TformEditFile::SetBoxValue(f->dtNextTime, entry->FNextRun);

    f->FPrevPeriod = -1;
    if (f->exec() != QDialog::Accepted)
        return;
    // The modal dialog keeps the window's commands out while it is open; still,
    // the list owns the entry, so make sure it is there before writing to it.
    if (FEntries->RowOf(entry) < 0)
        return;

    {
        // The scheduler reads these fields on its own thread.
        QMutexLocker lock(&FEntries->Lock());
        entry->FSource = AddTrailingBackslash(f->edSrc->text());
        entry->FDest = AddTrailingBackslash(f->edDest->text());
        entry->FFileMask = f->edSrcFileMask->text();
        entry->FSchedule = f->Period();
        f->ScheduleValue(&entry->FScheduleTime); // no Period chosen: kept
        entry->FLastRun = TformEditFile::BoxValue(f->dtLastDate);
        entry->FNextRun = TformEditFile::BoxValue(f->dtNextDate);
        entry->FActionBefore = f->edRunBefore->text();
        entry->FActionAfter = f->edRunAfter->text();
        entry->FCopyType = f->CopyType();
    }
    try {
        entry->RefreshRow();
    } catch (...) {
        // A failed refresh leaves the row's old texts; the entry itself is changed.
    }
    FModified = true;
}

void TformMain::ImportShellFolders()
{
    ImportShellFolderList(ReadShellFolders(), edDef->text(), [this](const QString &src, const QString &dest) {
        AddEntryRow(src, dest, u"*.*"_s, true, skNone, 0, 0, QString(), QString(), ctReplicate);
    });
}
