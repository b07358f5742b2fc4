// frm_Main: the main window: the entry list, the log, menus, toolbar, status
// bar and tray icon, the job list file commands and the run commands.
#pragma once

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <atomic>
#include <functional>

#include "VantorHost.h"
#include "ut_HelpViewer.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QStatusBar;
class QModelIndex;
class QSplitter;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class QTreeView;
class TDataObject;
class TEntryList;
class TLogView;
class TMainThread;
class MLanguage;

class TformMain : public QMainWindow, public TVantorHost
{
    Q_OBJECT

public:
    explicit TformMain(QWidget *parent = nullptr);
    ~TformMain() override;

    // --- entry list -------------------------------------------------------
    // Appends a row with a new entry made from these values (folders get their
    // trailing separator, the next run is computed) and sets FModified.
    // Returns the new entry, owned by the list.
    TDataObject *AddEntryRow(const QString &Src, const QString &Dest, const QString &FileMask, bool Active,
                             int Schedule, double ScheduleTime, double LastRun, const QString &ActionBefore,
                             const QString &ActionAfter, quint8 CopyType);
    // Removes the row of `entry` (nothing when null) and sets FModified. An
    // entry whose run is in progress is stopped first and freed only once its
    // worker has ended.
    void DeleteEntry(TDataObject *entry);
    // Rows selected in lvMain, in list order.
    QList<TDataObject *> SelectedEntries() const;
    // The entry of the current (focused) selected row, or null.
    TDataObject *SelectedEntry() const;
    int EntryCount() const;
    TDataObject *EntryAt(int row) const;

    // Appends "<short date> <long time> <Text>" to the log. UI thread only.
    void AddLog(const QString &Text) override;

    // Entry editor and standard folders (filled in with the entry editor).
    void AddEntry();
    void EditEntry();
    void ImportShellFolders();

    // --- job list file ----------------------------------------------------
    void ClearJobList();
    // Both throw EProfileWriteError ("Unable to write to %s") when the file cannot be written.
    void LoadJobList(const QString &Path);
    void SaveJobList(const QString &Path);
    // Asked before the job list is replaced and before the window closes:
    // false while a run is in progress ("Active copy. Can not close.") or when
    // "Save Changes?" is answered Cancel; Yes saves first. Throws
    // EProfileWriteError when that save fails (the list is then kept).
    bool ConfirmDiscard();

    // --- run control and status -------------------------------------------
    // Throws std::runtime_error when no thread can be had for the run.
    void RunEntry(TDataObject *entry);
    void StopEntry(TDataObject *entry);
    void PauseEntry(TDataObject *entry);
    void RefreshStatus();

    // The tray image list in use and the image shown of it.
    TTrayImageList TrayList() const { return FTrayList; }
    int TrayFrame() const { return FTrayFrame; }
    QString TrayHint() const;

    // --- TVantorHost --------------------------------------------------------
    bool Modified() const override { return FModified; }
    void SetModified(bool modified) override { FModified = modified; }
    bool SchedulesDisabled() const override { return FSchedulesDisabled.load(); }
    void SetStatusPanel(int panel, const QString &text) override;
    void SetTrayImageList(TTrayImageList list) override;
    TEntryList &EntryList() override { return *FEntries; }
    // A tray message when the window is hidden in the tray (nothing otherwise).
    void RunProblem(const QString &text) override;

    // --- settings and start-up ----------------------------------------------
    // Reads the placement, the last job list, the language and the two start
    // options from the user's settings; what is missing keeps its default.
    void LoadSettings();
    // Writes all of them at once; what cannot be written is skipped silently.
    void SaveSettings();
    // The steps of the first showing (reopening the last job list), run once:
    // from the first show, or at start when the window starts hidden in the tray.
    void FormShow();
    // Whether the program is to start without its window: "Start Minimized"
    // is set and settings were stored before (a first start always shows the
    // window, so a new user sees the program).
    bool StartsMinimized() const { return FStartMinimized && FHadSettings; }

    // The help file in use; a language may bring its own. InitialHelpFile is
    // the program's own, "help/Vantor.html" in the program folder.
    QString HelpFile() const { return FHelpFile; }
    void SetHelpFile(const QString &fileName);
    static QString InitialHelpFile();
    // Opens the help viewer at the topic of a help context (0: the start).
    // Returns true: the request is always handled here.
    bool HelpHandler(int context);

    bool FStartDisabled = true;
    bool FStartMinimized = true;
    // The language file stored at the last save, read at start.
    QString FLanguageFile;
    // The language file applied last in this run, stored at the next save
    // (set by the Language menu); empty until a language was applied.
    QString FAppliedLanguageFile;
    QString FHelpFile;

    // --- state ------------------------------------------------------------
    TEntryList *FEntries = nullptr;
    TMainThread *FScheduler = nullptr;
    QString FJobListFile;
    bool FModified = false;
    std::atomic<bool> FSchedulesDisabled{false};

    // --- controls (objectName = member name) ------------------------------
    QMenuBar *menuMain = nullptr;
    QMenu *miFile = nullptr, *miView = nullptr, *miTools = nullptr, *miHelp = nullptr, *miLanguages = nullptr;
    QAction *miNew = nullptr, *miOpen = nullptr, *miSave = nullptr, *miSaveAs = nullptr, *miExit = nullptr;
    QAction *Hide1 = nullptr;
    QAction *miAddEntry = nullptr, *miDeleteEntries = nullptr, *miEditEntry = nullptr, *miGetWindowsFolders = nullptr;
    QAction *ExecuteSelectedEntryNow1 = nullptr, *StopRunningNow1 = nullptr, *PauseRunning1 = nullptr;
    QAction *ExportCurrentLanguage1 = nullptr, *LoadOriginalLanguage1 = nullptr, *Options1 = nullptr;
    QAction *miIndex = nullptr, *Update1 = nullptr, *miAbout = nullptr;

    QToolBar *tbMain = nullptr;
    QAction *tbOpen = nullptr, *tbSave = nullptr, *tbStart = nullptr, *tbStop = nullptr, *tbPause = nullptr;
    QAction *tbAdd = nullptr, *tbDelete = nullptr, *tbEdit = nullptr, *tbWindowsFolders = nullptr;
    QAction *ToolButton3 = nullptr, *tbHelp = nullptr;
    QLineEdit *edDef = nullptr;
    QCheckBox *cbSuspend = nullptr;

    QTreeView *lvMain = nullptr;
    QSplitter *splitter = nullptr;
    TLogView *memo = nullptr;
    QStatusBar *sb = nullptr;
    QLabel *sbPanel[3] = {nullptr, nullptr, nullptr};

    QSystemTrayIcon *trayIcon = nullptr;
    QMenu *pmTray = nullptr;
    QAction *miShow = nullptr, *miTrayExit = nullptr;

    // --- handlers ---------------------------------------------------------
    void miNewClick();
    void miOpenClick();
    void miSaveClick();
    void miSaveAsClick();
    void miExitClick();
    void Hide1Click();
    void miShowClick();
    void tbAddClick();
    void DeleteSelectedClick();
    void lvMainDblClick();
    void miGetWindowsFoldersClick();
    void tbStartClick();
    void tbStopClick();
    void tbPauseClick();
    void cbSuspendClick();
    void ToolButton3Click();
    void miIndexClick();
    void Update1Click();
    void tbAboutClick();
    void Options1Click();

    // --- language (frm_Main_Language.cpp) ------------------------------------
    // The translation engine (objectName "MLanguage"); it walks this window and
    // every window it owns.
    MLanguage *FLanguage = nullptr;
    // Fills Tools > Language with the language files found; the entries
    // themselves are not collected into language files.
    void BuildLanguageMenu();
    // Writes the built-in texts file from the texts shown, then applies the
    // stored language (FLanguageFile). Run once every window exists, so both
    // cover every window. Errors are shown, not thrown.
    void ApplySavedLanguage();
    void ExportCurrentLanguage1Click();
    void LoadOriginalLanguage1Click();

signals:
    // The program is to end now (after a close that passed the close rules, or Exit).
    void Terminated();
    // A run's problem was shown as a tray message.
    void TrayMessageShown(const QString &text);

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateLanguageEngine();
    // Runs a language command through Guarded and keeps FAppliedLanguageFile
    // up to date with the language that is now applied.
    void LanguageCommand(const std::function<void()> &command);
    bool FormCloseQuery();
    void BuildMenus();
    void BuildToolBar();
    void BuildTray();
    // Runs a command; an exception it throws is shown in an error box.
    void Guarded(const std::function<void()> &command);

    void FormCreate();
    void FormClose();
    void FormDestroy();
    void InitHelp();
    void TrayTick();

    TTrayImageList FTrayList = tiPassive;
    int FTrayFrame = 0;
    QTimer *FTrayTimer = nullptr;
    QList<QIcon> FTrayImages[3];
    QString FTrayHint;
    bool FExiting = false;
    bool FShown = false;
    bool FHadSettings = false;
    THelpRequestHandler FPreviousHelpHandler;
};
