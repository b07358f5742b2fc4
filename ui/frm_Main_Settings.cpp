// frm_Main_Settings: what the main window keeps between runs and how it comes
// back at start: the settings, the first showing, and the Help and Tools
// commands (help, about box, update program, options).
#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QShowEvent>
#include <QTreeView>

#include "UserRegistry.h"
#include "frm_About.h"
#include "frm_Main.h"
#include "frm_Options.h"
#include "ut_General.h"
#include "ut_HelpViewer.h"
#include "ut_regUtils.h"

using namespace Qt::StringLiterals;

namespace {

const QString kVantorKey = u"\\software\\Zarnoth\\Vantor\\"_s;
const QString kViewKey = u"\\software\\Zarnoth\\Vantor\\View"_s;
const QString kOptionsKey = u"\\software\\Zarnoth\\Vantor\\Options"_s;
const QString kLastConfig = u"LastConfig"_s;
const QString kLanguage = u"Language"_s;
const QString kStartDisabled = u"Start Disabled"_s;
const QString kStartMinimized = u"Start Minimized"_s;

} // namespace

void TformMain::LoadSettings()
{
    FHadSettings = TUserRegistry().KeyExists(kVantorKey);
    RestoreWindowPlacement(this, PlacementKey(this));
    FJobListFile = ReadRegValue(kVantorKey, kLastConfig, FJobListFile);
    FLanguageFile = ReadRegValue(kViewKey, kLanguage, QString());
    FStartDisabled = ReadRegValue(kOptionsKey, kStartDisabled, true);
    FStartMinimized = ReadRegValue(kOptionsKey, kStartMinimized, true);
}

void TformMain::SaveSettings()
{
    SaveWindowPlacement(this, PlacementKey(this));
    WriteRegValue(kVantorKey, kLastConfig, FJobListFile);
    WriteRegValue(kViewKey, kLanguage, FAppliedLanguageFile);
    WriteRegValue(kOptionsKey, kStartDisabled, FStartDisabled);
    WriteRegValue(kOptionsKey, kStartMinimized, FStartMinimized);
}

void TformMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    FormShow();
}

void TformMain::FormShow()
{
    // Once only: a window brought back from the tray keeps the list the user
    // has, rather than reading it again from its file.
    if (FShown)
        return;
    FShown = true;
    if (!FJobListFile.isEmpty()) {
        if (QFileInfo(FJobListFile).isFile()) {
            // Nothing runs and nothing changed yet, so no question is asked.
            Guarded([this] { LoadJobList(FJobListFile); });
        } else {
            // Gone since the last run: forgotten, and stored empty at the next save.
            FJobListFile.clear();
        }
    }
    lvMain->hide();
    lvMain->show();
    lvMain->setFocus();
}

QString TformMain::InitialHelpFile()
{
    return QCoreApplication::applicationDirPath() + u"/help/Vantor.html"_s;
}

void TformMain::SetHelpFile(const QString &fileName)
{
    FHelpFile = fileName;
}

void TformMain::InitHelp()
{
    // F1 anywhere in the program comes here while this window lives; the
    // handler that was there before is put back when it goes.
    QPointer<TformMain> self(this);
    FPreviousHelpHandler = SetHelpRequestHandler([self](int context) { return self && self->HelpHandler(context); });
    FHelpFile = InitialHelpFile();
}

bool TformMain::HelpHandler(int context)
{
    HelpViewer(this)->ShowTopic(FHelpFile, context);
    return true;
}

void TformMain::miIndexClick()
{
    HelpHandler(0);
}

void TformMain::tbAboutClick()
{
    TformAbout *about = AboutBox(this);
    about->SetHelpFile(FHelpFile);
    about->exec();
}

void TformMain::Options1Click()
{
    OptionsDialog(this)->exec();
}

void TformMain::Update1Click()
{
    // Started and left alone: the update program runs on its own.
    OpenWithShell(QCoreApplication::applicationDirPath() + u"/Update/Updater"_s);
}
