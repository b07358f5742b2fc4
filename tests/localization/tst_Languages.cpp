// The shipped languages and the language steps through the real program: every
// shipped file covers exactly the keys the windows have, with accelerators
// that stay unique within each menu; and a language chosen, exported, reset
// and carried across restarts (each run a process of its own started from a
// copy of the program's folder, all sharing one configuration folder).
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "LanguageFile.h"
#include "MLang.h"
#include "frm_Main.h"
#include "ut_Startup.h"

using namespace Qt::StringLiterals;

namespace {

QString AppDir()
{
    return qEnvironmentVariable("VANTOR_APP_DIR");
}

QStringList ShippedLanguages()
{
    QStringList files;
    for (const QString &name : QDir(AppDir() + u"/Languages"_s).entryList({u"*.bab"_s}, QDir::Files, QDir::Name))
        if (name != u"vantorOriginal.bab"_s)
            files << AppDir() + u"/Languages/"_s + name;
    return files;
}

// key -> text of the entry lines (lines with "=", header lines left out).
QMap<QString, QString> Entries(const QStringList &lines, QStringList *duplicates = nullptr)
{
    QMap<QString, QString> entries;
    QSet<QString> seen;
    for (const QString &line : lines) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        const QString key = line.left(equals);
        if (seen.contains(key.toLower()) && duplicates)
            *duplicates << key;
        seen.insert(key.toLower());
        entries.insert(key, line.mid(equals + 1));
    }
    return entries;
}

// The accelerator letter of a caption ("&&" is a plain "&"), or none.
QChar Accelerator(const QString &caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption.at(i) != u'&')
            continue;
        if (caption.at(i + 1) != u'&')
            return caption.at(i + 1).toLower();
        ++i;
    }
    return QChar();
}

} // namespace

class tst_Languages : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FProgram; // a copy of the program's folder
    int FRuns = 0;

    // One run of the program; returns the texts it shows at the end.
    QStringList Run(const QStringList &steps, QStringList *menu = nullptr, QStringList *messages = nullptr)
    {
        const QString out = FDir->filePath(u"run%1.txt"_s.arg(++FRuns));
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, FDir->filePath(u"home"_s));
        env.insert(u"XDG_CONFIG_HOME"_s, FDir->filePath(u"config"_s));
        env.insert(u"XDG_DATA_HOME"_s, FDir->filePath(u"data"_s));
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(FProgram + u"/language_probe"_s, QStringList{out} + steps);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0)
            return {u"the program failed"_s};
        const auto lines = [](const QString &path) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return QStringList{u"(missing)"_s};
            QStringList read = QString::fromUtf8(file.readAll()).split(u'\n');
            read.removeAll(QString());
            return read;
        };
        if (menu)
            *menu = lines(out + u".menu"_s);
        if (messages)
            *messages = lines(out + u".messages"_s);
        return LanguageFile::ReadLines(out);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(ShippedLanguages().size() >= 2, qPrintable(AppDir()));
    }

    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        FProgram = FDir->filePath(u"program"_s);
        QVERIFY(QDir().mkpath(FProgram + u"/Languages"_s));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + u"/language_probe"_s,
                            FProgram + u"/language_probe"_s));
        for (const QString &file : ShippedLanguages()) {
            QVERIFY(QFile::copy(file, FProgram + u"/Languages/"_s + QFileInfo(file).fileName()));
            QFile::copy(LanguageFile::IconPath(file), LanguageFile::IconPath(FProgram + u"/Languages/"_s
                                                                             + QFileInfo(file).fileName()));
        }
    }

    void shippedLanguageIsComplete_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString &file : ShippedLanguages())
            QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
    }

    // Every key the windows have and no other, each with a text; a header; an
    // icon of its own; and accelerators unique within every menu.
    void shippedLanguageIsComplete()
    {
        QFETCH(QString, file);
        const QStringList lines = LanguageFile::ReadLines(file);
        QVERIFY(lines.size() > 2);
        QVERIFY(!LanguageFile::MenuName(lines.at(0)).isEmpty());
        QVERIFY(lines.at(1).startsWith(LanguageFile::kHelpFilePrefix));
        QVERIFY(!LanguageFile::IconPath(file).isEmpty() && QFileInfo(LanguageFile::IconPath(file)).size() > 0);

        QStringList duplicates;
        const QMap<QString, QString> entries = Entries(lines.mid(2), &duplicates);
        QCOMPARE(duplicates, QStringList());
        QStringList builtIn;
        QStringList accelerators;
        RunProgram(*qApp, [&](const TProgramWindows &windows) {
            TformMain *w = windows.formMain;
            builtIn = w->FLanguage->CollectedTexts;
            w->FLanguage->LoadLanguage(file);
            for (const QMenu *menu : w->findChildren<QMenu *>()) {
                QStringList seen;
                for (const QAction *action : menu->actions()) {
                    const QChar key = Accelerator(action->text());
                    if (!key.isNull() && seen.contains(key))
                        accelerators << menu->objectName() + u": "_s + action->text();
                    seen << key;
                }
            }
            QStringList bar;
            for (const QAction *action : w->menuMain->actions()) {
                const QChar key = Accelerator(action->text());
                if (!key.isNull() && bar.contains(key))
                    accelerators << u"menuMain: "_s + action->text();
                bar << key;
            }
            QTimer::singleShot(0, w, [w] { w->miExit->trigger(); });
        });
        QVERIFY(!builtIn.isEmpty());
        QSet<QString> known, shipped;
        for (const QString &key : Entries(builtIn).keys())
            known.insert(key.toLower());
        for (const QString &key : entries.keys())
            shipped.insert(key.toLower());
        QStringList missing = QSet(known).subtract(shipped).values();
        QStringList unknown = QSet(shipped).subtract(known).values();
        missing.sort();
        unknown.sort();
        QCOMPARE(missing, QStringList());
        QCOMPARE(unknown, QStringList());
        for (auto it = entries.begin(); it != entries.end(); ++it)
            QVERIFY2(!it.value().trimmed().isEmpty() || KeepsBuiltIn(it.key()), qPrintable(it.key()));
        QCOMPARE(accelerators, QStringList());
    }

    // Export, load what was exported, choose German, restart, reset, restart.
    void roundTripAcrossRestarts()
    {
        QStringList menu;
        const QString exported = FDir->filePath(u"export.bab"_s);
        const QStringList builtIn = Run({u"export:"_s + exported}, &menu);
        QVERIFY(builtIn.size() > 50);
        QCOMPARE(LanguageFile::ReadLines(exported), builtIn);
        QVERIFY(menu.contains(u"Deutsch"_s));
        QVERIFY(menu.contains(u"Français"_s));
        QStringList windows;
        for (const QString &line : builtIn)
            if (const QString window = line.section(u'.', 0, 0); !windows.contains(window))
                windows << window;
        QVERIFY2(windows.size() >= 2 && windows.at(0) == u"formMain"_s, qPrintable(windows.join(u',')));

        // An export with the two header lines added is a language that changes nothing.
        QStringList mine = LanguageFile::ReadLines(exported);
        mine.prepend(u"helpfile:"_s);
        mine.prepend(u"menuname:Mine"_s);
        LanguageFile::WriteLines(FProgram + u"/Languages/Mine.bab"_s, mine);
        QCOMPARE(Run({u"choose:Mine"_s}), builtIn);

        // German in every window, and again after a restart.
        const QStringList german = LanguageFile::ReadLines(FProgram + u"/Languages/German.bab"_s).mid(2);
        const QStringList shown = Run({u"choose:Deutsch"_s});
        QMap<QString, QString> expected = Entries(builtIn);
        for (const auto &[key, text] : Entries(german).asKeyValueRange())
            if (!text.isEmpty()) // an empty text keeps the built-in one
                expected[key] = text;
        QCOMPARE(Entries(shown), expected);
        QCOMPARE(Run({}), shown);

        // Back to the built-in texts, and so after a restart.
        QCOMPARE(Run({u"original"_s}), builtIn);
        QStringList messages;
        QCOMPARE(Run({}, nullptr, &messages), builtIn);
        QCOMPARE(messages, QStringList());
    }

    // The stored language gone at start: its error, nothing applied, and no
    // language stored at closing, so the next start is quiet.
    void storedLanguageMissingAtStart()
    {
        const QStringList builtIn = Run({});
        QVERIFY(Run({u"choose:Deutsch"_s}) != builtIn);
        QVERIFY(QFile::rename(FProgram + u"/Languages/German.bab"_s, FProgram + u"/Languages/German.old"_s));
        QStringList messages;
        QCOMPARE(Run({}, nullptr, &messages), builtIn);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.at(0).startsWith(u"Cannot open file \"%1/Languages/German.bab\". "_s.arg(FProgram)),
                 qPrintable(messages.at(0)));
        QVERIFY(QFile::rename(FProgram + u"/Languages/German.old"_s, FProgram + u"/Languages/German.bab"_s));
        QCOMPARE(Run({}, nullptr, &messages), builtIn);
        QCOMPARE(messages, QStringList());
    }

    // Where the built-in texts file can be written neither beside the program
    // nor in the user's folder, that is said, and the stored language is still
    // applied (and so still stored). A folder named like a language file does
    // not keep the languages from the menu either.
    void builtInTextsUnwritableKeepTheLanguage()
    {
        const QStringList german = Run({u"choose:Deutsch"_s});
        QVERIFY(QFile::remove(FProgram + u"/Languages/vantorOriginal.bab"_s));
        QVERIFY(QDir().mkpath(FProgram + u"/Languages/vantorOriginal.bab"_s));
        QVERIFY(QDir().mkpath(FDir->filePath(u"data"_s) + u"/Vantor/Languages/vantorOriginal.bab"_s));
        QStringList menu, messages;
        QCOMPARE(Run({}, &menu, &messages), german);
        QVERIFY(menu.contains(u"Deutsch"_s));
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.at(0).startsWith(u"Cannot create file \"%1/Languages/vantorOriginal.bab\". "_s.arg(FProgram)),
                 qPrintable(messages.at(0)));
        QCOMPARE(Run({}), german);
    }

private:
    // Texts a translation leaves as they are built in (an empty text keeps
    // them): the program's name with its version, and the year.
    static bool KeepsBuiltIn(const QString &key)
    {
        return key == u"formAbout.lblName"_s || key == u"formAbout.lblDate"_s;
    }
};

QTEST_MAIN(tst_Languages)
#include "tst_Languages.moc"
