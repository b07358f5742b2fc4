// Screenshots of the Options dialog, the about box and the help viewer, taken
// from the real windows with settings kept in a temporary folder:
//   VANTOR_SCREENSHOT_DIR=<folder> VANTOR_APP_DIR=<build>/app shot_Settings
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include "frm_About.h"
#include "frm_Main.h"
#include "frm_Options.h"
#include "ut_HelpViewer.h"

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // The user's own settings are never read or written here.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    const QString out = qEnvironmentVariable("VANTOR_SCREENSHOT_DIR", QDir::currentPath());
    const QString appDir = qEnvironmentVariable("VANTOR_APP_DIR", QCoreApplication::applicationDirPath());

    TformMain main;
    main.SetHelpFile(appDir + u"/help/Vantor.html"_s);
    main.show();

    const auto shoot = [&out](QWidget *window, const QString &name) {
        window->show();
        window->raise();
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return window->grab().save(out + u'/' + name);
    };

    bool ok = true;
    TFormOptions *options = OptionsDialog(&main);
    ok &= shoot(options, u"vantor-options.png"_s);
    options->hide();

    TformAbout *about = AboutBox(&main);
    ok &= shoot(about, u"vantor-about.png"_s);
    about->hide();

    main.HelpHandler(1);
    ok &= shoot(HelpViewer(&main), u"vantor-help.png"_s);
    return ok ? 0 : 1;
}
