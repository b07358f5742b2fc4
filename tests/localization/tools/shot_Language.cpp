// Screenshots of the main window, its Tools menu and the entry editor in
// German, taken from the real windows with settings kept in a temporary folder:
//   VANTOR_SCREENSHOT_DIR=<folder> VANTOR_APP_DIR=<build>/app shot_Language
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include "MLang.h"
#include "frm_EditFile.h"
#include "frm_Main.h"
#include "ut_General.h"
#include "ut_classes.h"

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // The user's own settings and data are never read or written here.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path() + u"/config"_s));
    qputenv("XDG_DATA_HOME", QFile::encodeName(config.path() + u"/data"_s));
    QApplication app(argc, argv);
    QApplication::setApplicationName(UiText::sVantor);
    const QString out = qEnvironmentVariable("VANTOR_SCREENSHOT_DIR", QDir::currentPath());
    const QString appDir = qEnvironmentVariable("VANTOR_APP_DIR", QCoreApplication::applicationDirPath());
    const QString language = appDir + u"/Languages/"_s + qEnvironmentVariable("VANTOR_LANGUAGE", u"German"_s) + u".bab"_s;

    TformMain main;
    TformEditFile *editor = EntryEditor(&main);
    main.cbSuspend->setChecked(false);
    main.cbSuspendClick();
    main.edDef->setText(u"/media/backup"_s);
    main.AddEntryRow(u"/home/anna/Dokumente"_s, u"/media/backup/home/anna/Dokumente"_s, u"*.*"_s, true, skDaily,
                     0.75, 0, QString(), QString(), ctReplicate);
    main.AddEntryRow(u"/home/anna/Bilder"_s, u"/media/backup/home/anna/Bilder"_s, u"*.jpg"_s, true, skWeekly,
                     2.5, 0, QString(), QString(), ctCopy);
    main.FModified = false;
    // The languages beside the program, as an installed program finds them.
    main.FLanguage->ProgramFolder = appDir;
    main.miLanguages->clear();
    main.FLanguage->FillLanguageMenu(main.miLanguages);
    main.miLanguages->setEnabled(!main.miLanguages->actions().isEmpty());
    main.FLanguage->LoadLanguage(language);
    main.show();

    const auto settle = [] {
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    };
    const auto shoot = [&](QWidget *window, const QString &name) {
        window->show();
        window->raise();
        settle();
        return window->grab().save(out + u'/' + name);
    };

    bool ok = shoot(&main, u"vantor-main-de.png"_s);
    main.miTools->popup(main.mapToGlobal(QPoint(120, 20)));
    settle();
    ok &= main.miTools->grab().save(out + u"/vantor-tools-de.png"_s);
    main.miTools->hide();

    editor->edSrc->setText(u"/home/anna/Dokumente"_s);
    ok &= shoot(editor, u"vantor-edit-de.png"_s);
    editor->hide();
    return ok ? 0 : 1;
}
