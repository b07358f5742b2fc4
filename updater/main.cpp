// Updater: the update program's entry routine. It reads no arguments: all it
// needs comes from its settings file, the descriptor and its working folder.
#include "Unit1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The application title: taskbar and error box caption.
    QApplication::setApplicationDisplayName(QStringLiteral("Update"));
    TForm1 form;
    form.show();
    return app.exec();
}
