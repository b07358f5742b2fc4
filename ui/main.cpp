// The main program's entry routine.
#include <QApplication>

#include "ut_Startup.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return RunProgram(app);
}
