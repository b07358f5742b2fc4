// ut_Startup: the program's start-up and its end.
#include "ut_Startup.h"

#include <QApplication>
#include <QSystemTrayIcon>

#include "frm_About.h"
#include "frm_EditFile.h"
#include "frm_Main.h"
#include "frm_Options.h"
#include "ut_General.h"

int RunProgram(QApplication &app, const std::function<void(const TProgramWindows &)> &started)
{
    QApplication::setApplicationName(UiText::sVantor);
    QApplication::setApplicationDisplayName(UiText::sVantor);
    // The window lives on in the tray while hidden; only Exit or a close that
    // passes the close rules ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    TProgramWindows windows;
    TformMain formMain;
    windows.formMain = &formMain;
    windows.formAbout = AboutBox(&formMain);
    windows.formEditFile = EntryEditor(&formMain);
    windows.FormOptions = OptionsDialog(&formMain);
    // Once every window exists, so the built-in texts file holds all their
    // texts and the stored language reaches all of them.
    formMain.ApplySavedLanguage();

    // exit(), not quit(): quit() asks every window to close, which would put the
    // main window through its close rules (and "Save Changes?") again after a
    // close, and at all after Exit. Queued, so the command that ended the
    // program returns before the loop ends.
    QObject::connect(&formMain, &TformMain::Terminated, &app, [] { QCoreApplication::exit(0); },
                     Qt::QueuedConnection);
    if (started)
        started(windows);
    if (!formMain.StartsMinimized()) {
        formMain.show();
    } else if (QSystemTrayIcon::isSystemTrayAvailable()) {
        // Only the tray icon shows; the list is there all the same, so its
        // schedules run.
        formMain.FormShow();
    } else {
        formMain.showMinimized();
    }
    return QApplication::exec();
}
