// frm_Main_Run: the run commands, the "Disable All Schedules" box, deleting
// entries and Exit, all of which must respect runs in progress.
#include "frm_Main.h"

#include <QCheckBox>
#include <QSystemTrayIcon>
#include <QTimer>
#include <stdexcept>

#include "ut_Dialogs.h"
#include "ut_General.h"
#include "ut_classes.h"

using namespace Qt::StringLiterals;

// The three run commands act on the one selected row, or else on every
// selected row in list order, which SelectedEntries gives either way.

void TformMain::tbStartClick()
{
    for (TDataObject *entry : SelectedEntries())
        RunEntry(entry);
}

void TformMain::tbStopClick()
{
    for (TDataObject *entry : SelectedEntries())
        StopEntry(entry);
}

void TformMain::tbPauseClick()
{
    for (TDataObject *entry : SelectedEntries())
        PauseEntry(entry);
}

void TformMain::cbSuspendClick()
{
    FSchedulesDisabled.store(cbSuspend->isChecked());
    if (FScheduler)
        FScheduler->SetEnabled(!cbSuspend->isChecked());
    RefreshStatus();
}

void TformMain::RunEntry(TDataObject *entry)
{
    if (!entry)
        return;
    // A run in progress that is not paused is asked to stop and the entry starts
    // afresh once its old worker has ended (StartRun sees to both).
    if (entry->FPaused)
        entry->ResumeRun();
    else if (!entry->StartRun())
        // No thread for the run: the command stops here, with the rows after
        // this one not run either.
        throw std::runtime_error(u"Unable to start the copy of %1"_s.arg(entry->FSource).toStdString());
    FEntries->SetImage(FEntries->RowOf(entry), riRunning);
}

void TformMain::StopEntry(TDataObject *entry)
{
    if (entry)
        entry->StopRun();
}

void TformMain::PauseEntry(TDataObject *entry)
{
    if (!entry || !entry->Running())
        return;
    try {
        if (entry->FPaused)
            entry->ResumeRun();
        else
            entry->PauseRun();
    } catch (...) {
        // A toggle that fails leaves the run as it was; nothing to tell.
    }
}

void TformMain::DeleteEntry(TDataObject *entry)
{
    if (!entry)
        return;
    // The row goes now; an entry in a run is stopped and outlives its worker.
    FEntries->RemoveRow(FEntries->RowOf(entry));
    FModified = true;
}

void TformMain::RunProblem(const QString &text)
{
    // A visible window shows it in the row and the log; hidden in the tray, the
    // user would not learn of it. Without a tray the window is never hidden.
    if (isVisible() || !trayIcon->isVisible())
        return;
    trayIcon->showMessage(UiText::sVantor, text, QSystemTrayIcon::Warning);
    emit TrayMessageShown(text);
}

void TformMain::miExitClick()
{
    // Exit skips the close rules, but not the unsaved entries: they are offered
    // for saving first. Cancel, a save whose file name is not given, and a save
    // that fails (it throws) all keep the program running with its list.
    if (FModified) {
        switch (AskYesNoCancel(this, UiText::sSaveChanges)) {
        case QMessageBox::Yes:
            miSaveClick();
            if (FModified)
                return;
            break;
        case QMessageBox::No:
            break;
        default:
            return;
        }
    }
    FExiting = true;
    // The scheduler goes first so that it cannot start a run after the others
    // were abandoned; every run is then abandoned (no partial file is left
    // behind) before the end.
    if (FScheduler)
        FScheduler->Shutdown();
    FEntries->StopAllRuns();
    FTrayTimer->stop();
    trayIcon->hide();
    emit Terminated();
}
