// The translation engine over real small windows: what the collect walk
// writes and in which order, what a translation pass changes and leaves, the
// load failures, the help file, and where the built-in texts file goes.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <memory>

#include "LanguageFile.h"
#include "MLang.h"

using namespace Qt::StringLiterals;

namespace {

QLabel *NamedLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

// A main window with one component of every kind, an owned dialog and an
// owned window without components.
struct TFixture
{
    QMainWindow *main = new QMainWindow;
    MLanguage *engine = nullptr;
    QMenu *miFile = nullptr, *miLanguages = nullptr;
    QAction *miOpen = nullptr, *tbOpen = nullptr;
    QLabel *lbName = nullptr, *lbUnnamed = nullptr, *lbEmpty = nullptr, *lbDash = nullptr, *panel = nullptr;
    QCheckBox *cbBox = nullptr;
    QStandardItemModel *model = nullptr;
    QTabWidget *pcPages = nullptr;
    QTabBar *tcTabs = nullptr;
    QPlainTextEdit *mStrings = nullptr;
    QToolButton *sbBrowse = nullptr;
    QDialog *dlgSecond = nullptr, *dlgEmpty = nullptr;
    QLabel *lbSecond = nullptr;

    TFixture()
    {
        main->setObjectName(u"formTest"_s);
        main->setWindowTitle(u"Test"_s);
        engine = new MLanguage(main);

        miFile = main->menuBar()->addMenu(u"&File"_s);
        miFile->setObjectName(u"miFile"_s);
        miOpen = new QAction(u"&Open"_s, main);
        miOpen->setObjectName(u"miOpen"_s);
        miFile->addAction(miOpen);
        miFile->addSeparator();
        miLanguages = miFile->addMenu(u"Language"_s);
        miLanguages->setObjectName(u"miLanguages"_s);
        miLanguages->addAction(new QAction(u"Deutsch"_s, miLanguages)); // an unnamed language entry

        auto *bar = main->addToolBar(u"Tools"_s);
        bar->setObjectName(u"tbMain"_s);
        tbOpen = new QAction(u"Open"_s, main);
        tbOpen->setObjectName(u"tbOpen"_s);
        tbOpen->setToolTip(u"Open a file"_s);
        bar->addAction(tbOpen);

        auto *central = new QWidget;
        central->setObjectName(u"central"_s);
        main->setCentralWidget(central);
        lbName = NamedLabel(central, "lbName", u"Name:"_s);
        lbUnnamed = new QLabel(u"Loose text"_s, central);
        lbEmpty = NamedLabel(central, "lbEmpty", QString());
        lbDash = NamedLabel(central, "lbDash", u"-"_s);
        cbBox = new QCheckBox(u"&Check"_s, central);
        cbBox->setObjectName(u"cbBox"_s);
        auto *view = new QTreeView(central);
        view->setObjectName(u"lvList"_s);
        model = new QStandardItemModel(0, 3, view);
        model->setHorizontalHeaderLabels({u"Source"_s, QString(), u"-"_s});
        view->setModel(model);
        pcPages = new QTabWidget(central);
        pcPages->setObjectName(u"pcPages"_s);
        auto *page = new QWidget;
        page->setObjectName(u"tsFirst"_s);
        pcPages->addTab(page, u"First"_s);
        tcTabs = new QTabBar(central);
        tcTabs->setObjectName(u"tcTabs"_s);
        tcTabs->addTab(u"One"_s);
        tcTabs->addTab(QString());
        tcTabs->addTab(u"-"_s);
        mStrings = new QPlainTextEdit(u"MLStringList=translation\nsHello=Hello\nsEmpty="_s, central);
        mStrings->setObjectName(u"mStrings"_s);
        sbBrowse = new QToolButton(central);
        sbBrowse->setObjectName(u"sbBrowse"_s);
        sbBrowse->setText(u"..."_s);

        panel = NamedLabel(nullptr, "sbPanel0", u"10:00:00"_s);
        main->statusBar()->addWidget(panel);

        dlgSecond = new QDialog(main);
        dlgSecond->setObjectName(u"formSecond"_s);
        dlgSecond->setWindowTitle(u"Second"_s);
        lbSecond = NamedLabel(dlgSecond, "Label1", u"Source:"_s);
        dlgEmpty = new QDialog(main);
        dlgEmpty->setObjectName(u"formEmpty"_s);
        dlgEmpty->setWindowTitle(u"Empty"_s);
    }
    ~TFixture() { delete main; }

    QStringList Shown() const
    {
        return {main->windowTitle(), miFile->title(),    miOpen->text(),       tbOpen->toolTip(),
                lbName->text(),      lbUnnamed->text(),  lbEmpty->text(),      lbDash->text(),
                cbBox->text(),       model->headerData(0, Qt::Horizontal).toString(),
                pcPages->tabText(0), tcTabs->tabText(0), tcTabs->tabText(2),   mStrings->toPlainText(),
                sbBrowse->toolTip(), panel->text(),      dlgSecond->windowTitle(), lbSecond->text(),
                dlgEmpty->windowTitle(), miLanguages->title(), miLanguages->actions().constFirst()->text()};
    }
};

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString &path, const QStringList &lines)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write((lines.join(u"\r\n"_s) + u"\r\n"_s).toUtf8()) > 0;
}

} // namespace

class tst_MLang : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FLanguages;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        FLanguages = FDir->filePath(u"Languages"_s);
        QVERIFY(QDir().mkpath(FLanguages));
        SetApplicationHelpFile(QString());
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
    }

    // Every kind in walk order, each component's own components before it, the
    // title last; unnamed texts under "W."; what must stay out stays out.
    void collectWritesEveryKindInOrder()
    {
        TFixture f;
        f.engine->ProgramFolder = FDir->path();
        f.engine->OriginalTextsFile = u"original.bab"_s;
        f.engine->AddExcludedComponent(u"MILANGUAGES"_s);
        f.engine->SaveOriginalTexts();
        const QString path = FLanguages + u"/original.bab"_s;
        QCOMPARE(f.engine->OriginalTextsPath(), path);
        const QStringList expected{
            // The menu bar was made before the action: its menus come first,
            // a sub-menu before the menu that holds it.
            u"formTest.miLanguages=Language"_s, // excluded: its entry is left out, its caption is not
            u"formTest.miFile=&File"_s,
            u"formTest.miOpen=&Open"_s,
            u"formTest.tbOpen=Open a file"_s,
            u"formTest.lbName=Name:"_s,
            u"formTest.=Loose text"_s,
            u"formTest.cbBox=&Check"_s,
            u"formTest.lvList.0=Source"_s,
            u"formTest.tsFirst=First"_s,
            u"formTest.tcTabs.0=One"_s,
            u"formTest.tcTabs.1="_s, // a tab control's tabs are all written
            u"formTest.tcTabs.2=-"_s,
            u"sHello=Hello"_s,
            u"formTest.formTest=Test"_s,
            u"formSecond.Label1=Source:"_s,
            u"formSecond.formSecond=Second"_s,
        };
        QCOMPARE(f.engine->CollectedTexts, expected);
        QCOMPARE(FileBytes(path), (expected.join(u"\r\n"_s) + u"\r\n"_s).toUtf8());

        // The same windows made again write the same file, byte for byte.
        TFixture again;
        again.engine->ProgramFolder = FDir->path();
        again.engine->OriginalTextsFile = u"again.bab"_s;
        again.engine->AddExcludedComponent(u"miLanguages"_s);
        again.engine->SaveOriginalTexts();
        QCOMPARE(FileBytes(FLanguages + u"/again.bab"_s), FileBytes(path));
    }

    // Loading what was exported changes nothing; a language with every key
    // changes what it may and leaves what it must.
    void translateAppliesAndKeeps()
    {
        TFixture f;
        f.engine->ProgramFolder = FDir->path();
        f.engine->AddExcludedComponent(u"miLanguages"_s);
        const QStringList before = f.Shown();
        const QString exported = FDir->filePath(u"export.txt"_s);
        f.engine->AskExportFileName = [&](QWidget *) { return exported; };
        f.engine->ExportTexts(true);
        QStringList lines = LanguageFile::ReadLines(exported);
        lines.prepend(u"helpfile:"_s);
        lines.prepend(u"menuname:Same"_s);
        QVERIFY(WriteFile(exported, lines));
        f.engine->LoadLanguage(exported);
        QCOMPARE(f.Shown(), before);
        QCOMPARE(f.engine->CurrentLanguageFile, exported);

        const QString other = FLanguages + u"/Other.bab"_s;
        QVERIFY(WriteFile(other, {u"menuname:Other"_s, u"FORMTEST.FORMTEST=Prüfung"_s, u"formTest.miFile=&Datei"_s,
                                  u"formTest.miOpen=Ö&ffnen"_s, u"formTest.tbOpen=Datei öffnen"_s,
                                  u"formTest.lbName=Name = Wert:"_s, u"formTest.=Lose"_s, u"formTest.lbEmpty=Neu"_s,
                                  u"formTest.lbDash=Strich"_s, u"formTest.cbBox="_s, u"formTest.lvList.0=Quelle"_s,
                                  u"formTest.tsFirst=Erste"_s, u"formTest.tcTabs.0=Eins"_s,
                                  u"formTest.tcTabs.2=Strich"_s, u"sHello=Hallo"_s, u"sEmpty=Leer"_s,
                                  u"formTest.sbBrowse=Ordner wählen"_s, u"formTest.sbPanel0=Feld"_s,
                                  u"formSecond.formSecond=Zweites"_s, u"formSecond.Label1=Quelle:"_s,
                                  u"formEmpty.formEmpty=Leer"_s, u"formTest.miLanguages=Sprache"_s}));
        f.engine->LoadLanguage(other);
        QCOMPARE(f.Shown(), QStringList({
                                u"Prüfung"_s, u"&Datei"_s, u"Ö&ffnen"_s, u"Datei öffnen"_s,
                                u"Name = Wert:"_s,
                                u"Loose text"_s, // unnamed: never translated
                                u"Neu"_s,        // empty but named: looked up
                                u"-"_s,          // "-" is never replaced
                                u"&Check"_s,     // an empty text keeps the one shown
                                u"Quelle"_s, u"Erste"_s, u"Eins"_s,
                                u"-"_s, // a "-" tab is never translated
                                u"MLStringList=translation\nsHello=Hallo\nsEmpty="_s,
                                u"Ordner wählen"_s,
                                u"10:00:00"_s, // status bar panels are not labels
                                u"Zweites"_s, u"Quelle:"_s,
                                u"Empty"_s, // a window without components is skipped, title and all
                                u"Sprache"_s, u"Deutsch"_s,
                            }));
        QCOMPARE(f.engine->CurrentLanguageFile, other);

        // Windows without lines in a file keep what they show.
        const QString partial = FLanguages + u"/Partial.bab"_s;
        QVERIFY(WriteFile(partial, {u"menuname:Partial"_s, u"helpfile:"_s, u"formTest.formTest=Teil"_s}));
        f.engine->LoadLanguage(partial);
        QCOMPARE(f.main->windowTitle(), u"Teil"_s);
        QCOMPARE(f.dlgSecond->windowTitle(), u"Zweites"_s);
    }

    void loadFailuresChangeNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content"); // not written when empty
        QTest::addColumn<QString>("message");    // start of the error; none when empty
        QTest::newRow("empty path") << QString() << QByteArray() << QString();
        QTest::newRow("missing file") << u"missing.bab"_s << QByteArray() << u"Cannot open file \""_s;
        QTest::newRow("one line only") << u"short.bab"_s << "formTest.formTest=Kurz\r\n"_ba
                                       << u"List index out of bounds (1)"_s;
    }

    void loadFailuresChangeNothing()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TFixture f;
        const QString good = FLanguages + u"/Good.bab"_s;
        QVERIFY(WriteFile(good, {u"menuname:Good"_s, u"helpfile:good.html"_s, u"formTest.formTest=Gut"_s}));
        f.engine->LoadLanguage(good);
        int passes = 0;
        f.engine->OnBeforeTranslate = [&](MLanguage *) { ++passes; };
        f.engine->OnAfterTranslate = [&](MLanguage *) { ++passes; };

        const QString path = file.isEmpty() ? QString() : FLanguages + u'/' + file;
        if (!content.isEmpty()) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(content) == content.size());
        }
        try {
            f.engine->LoadLanguage(path);
            QVERIFY2(message.isEmpty(), "no error");
        } catch (const ELanguageError &error) {
            QVERIFY2(!message.isEmpty() && error.Message().startsWith(message), qPrintable(error.Message()));
        }
        QCOMPARE(passes, 0);
        QCOMPARE(f.engine->CurrentLanguageFile, good);
        QCOMPARE(f.main->windowTitle(), u"Gut"_s);
        QCOMPARE(ApplicationHelpFile(), u"good.html"_s);
    }

    // The pass's notifications, and an error in the first one ending the pass.
    void notificationsFrameThePass()
    {
        TFixture f;
        const QString path = FLanguages + u"/N.bab"_s;
        QVERIFY(WriteFile(path, {u"menuname:N"_s, u"helpfile:"_s, u"formTest.formTest=Neu"_s}));
        QStringList seen;
        f.engine->OnBeforeTranslate = [&](MLanguage *sender) {
            QCOMPARE(sender, f.engine);
            seen << u"before:"_s + f.main->windowTitle();
        };
        f.engine->OnAfterTranslate = [&](MLanguage *) { seen << u"after:"_s + f.main->windowTitle(); };
        f.engine->LoadLanguage(path);
        QCOMPARE(seen, QStringList({u"before:Test"_s, u"after:Neu"_s}));

        f.engine->OnBeforeTranslate = [](MLanguage *) { throw ELanguageError(u"stop"_s); };
        f.engine->OnAfterTranslate = nullptr;
        f.main->setWindowTitle(u"Test"_s);
        QVERIFY_THROWS_EXCEPTION(ELanguageError, f.engine->TranslateAll());
        QCOMPARE(f.main->windowTitle(), u"Test"_s);
    }

    // A language's help file becomes the application's; the built-in texts
    // bring back the one there was at the start.
    void helpFileFollowsTheLanguage()
    {
        SetApplicationHelpFile(u"initial.html"_s);
        TFixture f;
        f.engine->ProgramFolder = FDir->path();
        f.engine->OriginalTextsFile = u"original.bab"_s;
        QCOMPARE(f.engine->InitialHelpFile, u"initial.html"_s);
        f.engine->SaveOriginalTexts();
        const QString path = FLanguages + u"/H.bab"_s;
        QVERIFY(WriteFile(path, {u"menuname:H"_s, u"helpfile:de/Hilfe.html"_s, u"formTest.formTest=Hilfe"_s}));
        f.engine->LoadLanguage(path);
        QCOMPARE(f.engine->LanguageHelpFile, u"de/Hilfe.html"_s);
        QCOMPARE(ApplicationHelpFile(), u"de/Hilfe.html"_s);
        f.engine->LoadOriginalLanguage();
        QCOMPARE(f.main->windowTitle(), u"Test"_s);
        QCOMPARE(ApplicationHelpFile(), u"initial.html"_s);
        QCOMPARE(f.engine->CurrentLanguageFile, FLanguages + u"/original.bab"_s);
    }

    // Where the program's language folder cannot be written, the built-in texts
    // file goes to the user's data folder and is loaded from there; when that
    // fails too, the program folder's error is raised.
    void builtInTextsFallBackToTheUserFolder()
    {
        TFixture f;
        f.engine->ProgramFolder = FDir->filePath(u"readonly"_s); // no Languages folder there
        f.engine->OriginalTextsFile = u"original.bab"_s;
        f.engine->SaveOriginalTexts();
        const QString userPath = f.engine->UserLanguageFolder() + u"original.bab"_s;
        QVERIFY(userPath.startsWith(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
        QCOMPARE(f.engine->OriginalTextsPath(), userPath);
        QVERIFY(FileBytes(userPath).contains("\r\nformTest.miOpen=&Open\r\n"));
        f.main->setWindowTitle(u"Changed"_s);
        f.engine->LoadOriginalLanguage();
        QCOMPARE(f.main->windowTitle(), u"Test"_s);

        // The user's folder blocked by a file of that name as well.
        QVERIFY(QDir(f.engine->UserLanguageFolder()).removeRecursively());
        QFile blocker(f.engine->UserLanguageFolder().chopped(1));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        try {
            f.engine->SaveOriginalTexts();
            QFAIL("no error");
        } catch (const ELanguageError &error) {
            QVERIFY2(error.Message().startsWith(u"Cannot create file \"%1/Languages/original.bab\". "_s.arg(
                         FDir->filePath(u"readonly"_s))),
                     qPrintable(error.Message()));
        }
        QVERIFY(blocker.remove());
    }

    void exportAsksAndOverwrites()
    {
        TFixture f;
        const QString path = FDir->filePath(u"export.bab"_s);
        QVERIFY(WriteFile(path, {u"menuname:Old"_s, u"old"_s, u"old"_s, u"old"_s, u"old"_s, u"old"_s,
                                 u"old"_s, u"old"_s, u"old"_s, u"old"_s, u"old"_s, u"old"_s, u"old"_s,
                                 u"old"_s, u"old"_s, u"old"_s, u"old"_s, u"old"_s, u"old"_s, u"old"_s}));
        QString answer;
        int asked = 0;
        f.engine->AskExportFileName = [&](QWidget *owner) {
            ++asked;
            [&] { QCOMPARE(owner, f.main); }();
            return answer;
        };
        f.engine->ExportTexts(true); // cancelled
        QCOMPARE(asked, 1);
        QVERIFY(FileBytes(path).startsWith("menuname:Old"));
        answer = path;
        f.engine->ExportTexts(true);
        QCOMPARE(asked, 2);
        // No header lines: an export is no language until one is added.
        QVERIFY(FileBytes(path).startsWith("formTest.=Deutsch\r\n"));
        QVERIFY(FileBytes(path).endsWith("formSecond.formSecond=Second\r\n"));
    }
};

QTEST_MAIN(tst_MLang)
#include "tst_MLang.moc"
