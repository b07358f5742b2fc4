// The real program, started as usual, that carries out a few language steps
// given on its command line and then closes its main window the user's way
// (so its settings are saved). The language tests start it as a second
// process to see what survives a restart.
//   language_probe <texts-out> [choose:<menu caption> | original | export:<file>]...
// <texts-out> receives every text of every window as the engine collects
// them (in the form of an export), <texts-out>.menu the Language menu's
// captions and <texts-out>.messages the messages shown, one per line.
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QTimer>

#include "DialogScript.h"
#include "MLang.h"
#include "frm_Main.h"
#include "ut_Startup.h"

using namespace Qt::StringLiterals;

static void WriteLines(const QString &path, const QStringList &lines)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write((lines.join(u'\n') + u'\n').toUtf8());
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return 2;
    const QString out = args.constFirst();
    TDialogScript script;
    const int code = RunProgram(app, [&](const TProgramWindows &windows) {
        TformMain *w = windows.formMain;
        QStringList menu;
        for (const QAction *entry : w->miLanguages->actions())
            menu << entry->text();
        WriteLines(out + u".menu"_s, menu);
        for (const QString &step : args.mid(1)) {
            if (step.startsWith(u"choose:"_s)) {
                for (QAction *entry : w->miLanguages->actions())
                    if (entry->text() == step.mid(7)) {
                        entry->trigger();
                        break;
                    }
            } else if (step == u"original"_s) {
                w->LoadOriginalLanguage1->trigger();
            } else if (step.startsWith(u"export:"_s)) {
                w->FLanguage->AskExportFileName = [file = step.mid(7)](QWidget *) { return file; };
                w->ExportCurrentLanguage1->trigger();
            }
        }
        w->FLanguage->AskExportFileName = [out](QWidget *) { return out; };
        w->FLanguage->ExportTexts(true);
        WriteLines(out + u".messages"_s, script.Texts());
        QTimer::singleShot(0, w, [w] { w->close(); });
    });
    return code;
}
