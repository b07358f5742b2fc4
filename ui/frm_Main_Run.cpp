// frm_Main_Run: the run commands, the "Disable All Schedules" box, deleting
// entries and Exit, all of which must respect runs in progress.
#include "frm_Main.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeView>

#include "ut_classes.h"

using namespace Qt::StringLiterals;

namespace {

// Exactly one selected row: that row; otherwise every selected row in list
// order (which for one row is the same).
template<typename Act> void ForSelected(const QList<TDataObject *> &selected, Act &&act)
{
    for (TDataObject *entry : selected)
        act(entry);
}

} // namespace

void TformMain::tbStartClick()
{
    ForSelected(SelectedEntries(), [this](TDataObject *entry) { RunEntry(entry); });
}

void TformMain::tbStopClick()
{
    ForSelected(SelectedEntries(), [this](TDataObject *entry) { StopEntry(entry); });
}

void TformMain::tbPauseClick()
{
    ForSelected(SelectedEntries(), [this](TDataObject *entry) { PauseEntry(entry); });
}

void TformMain::cbSuspendClick()
{
    FSchedulesDisabled.store(cbSuspend->isChecked());
    RefreshStatus();
}

void TformMain::RunEntry(TDataObject *) {}
void TformMain::StopEntry(TDataObject *) {}
void TformMain::PauseEntry(TDataObject *) {}

void TformMain::DeleteEntry(TDataObject *entry)
{
    if (!entry)
        return;
    FEntries->RemoveRow(FEntries->RowOf(entry));
    FModified = true;
}

void TformMain::miExitClick()
{
    FExiting = true;
    FTrayTimer->stop();
    trayIcon->hide();
    emit Terminated();
}
