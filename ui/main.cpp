// The main program: sets the application title, creates the windows and runs
// the message loop until the main window ends the program.
#include <QApplication>

#include "frm_Main.h"

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Vantor"_s);
    QApplication::setApplicationDisplayName(u"Vantor"_s);
    // The window lives on in the tray while hidden; only Exit or a close that
    // passes the close rules ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    TformMain formMain;
    // exit(), not quit(): quit() would put every window through its close
    // rules again, and Exit must end the program without them.
    QObject::connect(&formMain, &TformMain::Terminated, &app, [] { QCoreApplication::exit(0); },
                     Qt::QueuedConnection);
    // The about box, the entry editor and the options dialog are created here, in that order.
    formMain.show();
    return QApplication::exec();
}
