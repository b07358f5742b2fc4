// The main program's entry routine.
#include <QApplication>

#include "ut_Images.h"
#include "ut_Startup.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Ties the windows to the installed menu entry (its icon and name on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.zarnoth.Vantor"));
    QApplication::setWindowIcon(ProgramIcon());
    return RunProgram(app);
}
