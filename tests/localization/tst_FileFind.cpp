// The language file enumerator over real folders, and the Language menu it
// fills: what is offered, in which order, with which icon, and which file a
// click applies.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "FileFind.h"
#include "LanguageFile.h"
#include "MLang.h"

using namespace Qt::StringLiterals;

namespace {

bool WriteFile(const QString &path, const QStringList &lines)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write((lines.join(u"\r\n"_s) + u"\r\n"_s).toUtf8()) > 0;
}

QStringList Captions(const QMenu *menu)
{
    QStringList captions;
    for (const QAction *action : menu->actions())
        captions << action->text();
    return captions;
}

} // namespace

class tst_FileFind : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FRoot;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        FRoot = FDir->path() + u'/';
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
    }

    // A folder's own matches before its sub-folders', sub-folders depth first;
    // a link back up does not search for ever.
    void searchOrder()
    {
        for (const char *name : {"a.bab", "b.BAB", "c.txt", "x/x1.bab", "x/deep/x2.bab", "y/y1.bab", "z.bab"})
            QVERIFY(WriteFile(FRoot + QString::fromLatin1(name), {u"x"_s}));
        QVERIFY(QDir().mkpath(FRoot + u"folder.bab"_s)); // a folder that matches is found too
        QVERIFY(QFile::link(FRoot, FRoot + u"x/up"_s));

        TFileSearch search;
        QSignalSpy finished(&search, &TFileSearch::OnFinish);
        search.SetSearchFile(FRoot + u"*.bab"_s);
        search.RunSearch();
        const QStringList found = search.FilesFound();
        QCOMPARE(finished.count(), 1);
        QVERIFY(!search.Busy());

        auto index = [&](const char *name) { return found.indexOf(FRoot + QString::fromLatin1(name)); };
        QCOMPARE(found.size(), 7);
        for (const char *own : {"a.bab", "b.BAB", "z.bab", "folder.bab"})
            QVERIFY2(index(own) >= 0 && index(own) < 4, own);
        // x's files (its own, then its sub-folder's) stay together, before or after y's.
        QCOMPARE(index("x/deep/x2.bab"), index("x/x1.bab") + 1);
        QVERIFY(qAbs(index("y/y1.bab") - index("x/x1.bab")) >= 1);
        QVERIFY(index("y/y1.bab") == index("x/x1.bab") - 1 || index("y/y1.bab") == index("x/deep/x2.bab") + 1);

        search.RecurseSubFolders = false;
        search.RunSearch();
        QCOMPARE(search.FilesFound().size(), 4);

        // Stop ends the search at the next entry.
        search.RecurseSubFolders = true;
        connect(&search, &TFileSearch::OnFileFind, &search, [&] { search.Stop = true; });
        search.RunSearch();
        QCOMPARE(search.FilesFound().size(), 1);
    }

    void searchFileIsCut()
    {
        TFileSearch search;
        search.SetSearchFile(QString(300, u'a'));
        QCOMPARE(search.SearchFile().size(), 255);
    }

    // What the menu offers, in order, and which file a click applies.
    void menuOffersAndClickApplies()
    {
        const QString languages = FRoot + u"Languages/"_s;
        QVERIFY(WriteFile(languages + u"English.bab"_s, {u"menuname:English"_s, u"helpfile:"_s, u"w.w=English"_s}));
        QVERIFY(WriteFile(languages + u"Amp.bab"_s, {u"menuname:Tom & Jerry"_s, u"helpfile:"_s, u"w.w=Amp"_s}));
        QVERIFY(WriteFile(languages + u"NoHeader.bab"_s, {u"w.w=No header"_s, u"x"_s}));
        QVERIFY(WriteFile(languages + u"Caps.bab"_s, {u"MENUNAME:Caps"_s, u"x"_s}));
        QVERIFY(QDir().mkpath(languages + u"Broken.bab"_s)); // cannot be read as text
        QVERIFY(WriteFile(languages + u"sub/Twin.bab"_s, {u"menuname:English"_s, u"helpfile:"_s, u"w.w=Twin"_s}));
        QVERIFY(WriteFile(languages + u"sub/US.bab"_s,
                          {u"menuname:English (US)"_s, u"helpfile:"_s, u"w.w=English (US)"_s}));
        // An icon of our own beside one language.
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::darkBlue);
        QVERIFY(pixmap.save(languages + u"English.ico"_s, "ICO"));
        // The user's own language folder is offered after the program's.
        QMainWindow main;
        main.setObjectName(u"w"_s);
        main.setWindowTitle(u"Start"_s);
        auto *engine = new MLanguage(&main);
        engine->ProgramFolder = FRoot;
        engine->OriginalTextsFile = u"vantorOriginal.bab"_s;
        QVERIFY(WriteFile(engine->UserLanguageFolder() + u"Mine.bab"_s,
                          {u"menuname:Mine"_s, u"helpfile:"_s, u"w.w=Mine"_s}));
        auto *label = new QWidget(&main); // so the window has a component
        label->setObjectName(u"central"_s);
        engine->SaveOriginalTexts(); // the built-in texts file lies among the languages

        QMenu menu;
        engine->FillLanguageMenu(&menu);
        const QStringList files = engine->LanguageFiles();
        QVERIFY(files.contains(languages + u"vantorOriginal.bab"_s));
        QCOMPARE(files.constLast(), engine->UserLanguageFolder() + u"Mine.bab"_s);

        QStringList expected;
        for (const QString &file : files) {
            if (file.contains(u"/sub/"_s) || file.startsWith(engine->UserLanguageFolder()))
                continue;
            if (file.endsWith(u"English.bab"_s))
                expected << u"English"_s;
            if (file.endsWith(u"Amp.bab"_s))
                expected << u"Tom && Jerry"_s; // shown as it stands, no accelerator
        }
        const bool twinFirst = files.indexOf(languages + u"sub/Twin.bab"_s) < files.indexOf(languages + u"sub/US.bab"_s);
        expected << (twinFirst ? QStringList{u"English"_s, u"English (US)"_s}
                               : QStringList{u"English (US)"_s, u"English"_s});
        expected << u"Mine"_s;
        QCOMPARE(Captions(&menu), expected);

        const QList<QAction *> entries = menu.actions();
        auto entryOf = [&](const QString &caption, int nth = 0) {
            for (QAction *action : entries)
                if (action->text() == caption && nth-- == 0)
                    return action;
            return static_cast<QAction *>(nullptr);
        };
        QVERIFY(!entryOf(u"English"_s)->icon().isNull());
        QVERIFY(entryOf(u"Mine"_s)->icon().isNull()); // no icon beside it, and no error

        // Either of two entries with the same name applies the first file found.
        entryOf(u"English"_s, 1)->trigger();
        QCOMPARE(main.windowTitle(), u"English"_s);
        QCOMPARE(engine->CurrentLanguageFile, languages + u"English.bab"_s);
        // "English (US)" is found by its own name; "English" by the first
        // header containing it, whichever that is.
        entryOf(u"English (US)"_s)->trigger();
        QCOMPARE(main.windowTitle(), u"English (US)"_s);
        entryOf(u"Tom && Jerry"_s)->trigger();
        QCOMPARE(main.windowTitle(), u"Amp"_s);
        entryOf(u"Mine"_s)->trigger();
        QCOMPARE(engine->CurrentLanguageFile, engine->UserLanguageFolder() + u"Mine.bab"_s);

        // A file whose header changed since: nothing happens.
        QVERIFY(WriteFile(engine->UserLanguageFolder() + u"Mine.bab"_s, {u"menuname:Other"_s, u"x"_s}));
        main.setWindowTitle(u"Kept"_s);
        entryOf(u"Mine"_s)->trigger();
        QCOMPARE(main.windowTitle(), u"Kept"_s);
        // A file gone since the menu was filled: its error, and nothing changes.
        QVERIFY(QFile::remove(languages + u"Amp.bab"_s));
        try {
            engine->LanguageItemClick(entryOf(u"Tom && Jerry"_s));
            QFAIL("no error");
        } catch (const ELanguageError &error) {
            QVERIFY2(error.Message().startsWith(u"Cannot open file \""_s), qPrintable(error.Message()));
        }
        QCOMPARE(main.windowTitle(), u"Kept"_s);
        QCOMPARE(engine->CurrentLanguageFile, engine->UserLanguageFolder() + u"Mine.bab"_s);
    }

    void noLanguagesLeaveTheMenuEmpty()
    {
        QMainWindow main;
        auto *engine = new MLanguage(&main);
        engine->ProgramFolder = FRoot + u"nowhere"_s;
        QMenu menu;
        engine->FillLanguageMenu(&menu);
        QVERIFY(menu.actions().isEmpty());
    }
};

QTEST_MAIN(tst_FileFind)
#include "tst_FileFind.moc"
