// MLang: MLanguage, the component that switches the texts of every window to
// the language of a language file, collects the texts shown into a file of the
// same form, and fills the Language menu.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

class QAction;
class QMenu;
class QWidget;
class TFileSearch;

// The application's current help file name: set by every translation pass to
// the loaded language's help file (or back to the initial one). Empty until set.
QString ApplicationHelpFile();
void SetApplicationHelpFile(const QString &helpFile);

// Which texts of a window are translated, and how Qt's widgets stand for them:
//   window title      the window's own title (key W.W)
//   label             QLabel (not the panels of a status bar)
//   menu item         QAction in a menu or menu bar, and a sub-menu's title
//   tab sheet         a page of a QTabWidget (its tab's text)
//   tool button       the tool tip of a QAction that sits on a tool bar only
//   speed button      the tool tip of a QToolButton of its own (no action)
//   check box         QCheckBox
//   list view         the column captions of a QTreeView's or QTableView's model (W.C.n)
//   tab control       the tabs of a QTabBar of its own (W.C.n)
//   string list       a QPlainTextEdit holding a line "MLStringList=translation"
// A window's components are its child objects, in the order they were made,
// each one's own children walked before it. Child windows are walked as
// windows of their own; Qt's own helpers (names beginning "qt_" or "_q_", a
// menu's own action, a tool bar's show/hide action) carry no text of their own.
class MLanguage : public QObject
{
    Q_OBJECT

public:
    // `owner` is the main window; the dialogs it owns are translated with it.
    explicit MLanguage(QWidget *owner);
    ~MLanguage() override;

    // --- properties ---------------------------------------------------------
    QString LanguageFolder = QStringLiteral("Languages");         // below the program's folder
    QString OriginalTextsFile = QStringLiteral("OriginalLanguage"); // file name of the built-in texts
    QString FileExt = QStringLiteral("bab");                        // without the dot
    bool AddIcons = true;
    // Called at the start and the end of every translation pass; what they
    // throw ends the pass and goes to the caller.
    std::function<void(MLanguage *)> OnBeforeTranslate;
    std::function<void(MLanguage *)> OnAfterTranslate;
    // Runs what a click on a language entry does; the host passes it through
    // its error handling. Unset, an error of the click is only logged.
    std::function<void(const std::function<void()> &command)> RunCommand;
    // Asks for the file an export is written to; an empty answer cancels. By
    // default a plain save dialog that does not ask before replacing a file.
    std::function<QString(QWidget *owner)> AskExportFileName;

    // The program's folder with a trailing "/"; the executable's folder unless set.
    QString ProgramFolder;
    // The user's own language folder (data folder, sub-folder LanguageFolder),
    // with a trailing "/". Language files there are offered after the program's;
    // the built-in texts file goes there when the program's folder cannot be written.
    QString UserLanguageFolder() const;
    QString ProgramLanguageFolder() const;

    // --- state --------------------------------------------------------------
    QStringList Texts;                // lines of the language file loaded last
    QString CurrentLanguageFile;      // path of the language file applied last, or empty
    QString LanguageHelpFile;         // help file named by the file loaded last
    QString InitialHelpFile;          // the application's help file when this was made
    QStringList CollectedTexts;       // lines of the last collect walk
    TFileSearch *FileSearch = nullptr; // made by FillLanguageMenu

    void AddExcludedComponent(const QString &name);
    bool IsExcluded(const QString &name) const;

    // The built-in texts file: where SaveOriginalTexts wrote it, or (before
    // that) the program's language folder and OriginalTextsFile.
    QString OriginalTextsPath() const;
    // Language files found by FillLanguageMenu, in the order found.
    const QStringList &LanguageFiles() const { return FFilesFound; }
    // The windows a pass works on: the owner, then the dialogs it owns, in the
    // order they were made.
    QList<QWidget *> Windows() const;

    // --- operations (all throw ELanguageError with the message to show) -----
    // Nothing for an empty path; else loads the file, makes it the current
    // language and translates every window. A file that cannot be read, or has
    // fewer than two lines, changes nothing.
    void LoadLanguage(const QString &path);
    // Loads and applies the built-in texts file; it becomes the current language.
    void LoadOriginalLanguage();
    // Writes the texts shown to the built-in texts file. When the program's
    // language folder cannot be written, the file goes to the user's one.
    void SaveOriginalTexts();
    // Collects the texts shown; writes them to a file the user picks (`ask`;
    // nothing when cancelled) or to the built-in texts file.
    void ExportTexts(bool ask);
    // One translation pass over every window with the current Texts.
    void TranslateAll();

    // Offers every language file found (a first line "menuname:<name>") as an
    // entry of `parent`, with its icon when AddIcons is on. An entry that
    // cannot be read is not offered.
    void FillLanguageMenu(QMenu *parent);
    // Applies the language of a clicked entry; nothing when no file matches.
    // Throws when the entry's own file can no longer be read.
    void LanguageItemClick(QAction *entry);
    // The first found file whose first line is a header containing `caption`;
    // empty when none. Files that cannot be read are passed over.
    QString FindLanguageFile(const QString &caption) const;

signals:
    void HelpFileChanged(const QString &helpFile);

private:
    void LoadLanguageFile(const QString &path);
    void TranslateComponent(QWidget *window, QObject *component);
    void CollectComponent(QWidget *window, QObject *component);
    void WriteTexts(const QString &path) const;

    QWidget *FOwner;
    QSet<QString> FExcludedComponents; // lower case
    QStringList FFilesFound;
    QString FOriginalTextsPath;
};
