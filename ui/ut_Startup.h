// ut_Startup: how the program starts and ends: the application title, the
// windows in their start-up order, and the message loop that runs until the
// main window ends the program.
#pragma once

#include <functional>

class QApplication;
class TFormOptions;
class TformAbout;
class TformEditFile;
class TformMain;

// The windows of the program. They are created once, at start, in the order
// of the members, and live until the program ends.
struct TProgramWindows
{
    TformMain *formMain = nullptr;
    TformAbout *formAbout = nullptr;
    TformEditFile *formEditFile = nullptr;
    TFormOptions *FormOptions = nullptr;
};

// Sets the application title, creates the windows, shows the main window
// (or, with "Start Minimized", keeps it in the tray, or minimised where the
// desktop has no tray) and runs the message loop until the main window ends the program (a close that
// passed the close rules, or Exit). `started`, when given, is called with the
// windows once they exist and before the loop runs. Returns the loop's exit
// code (0). The windows are destroyed before it returns.
int RunProgram(QApplication &app, const std::function<void(const TProgramWindows &)> &started = {});
