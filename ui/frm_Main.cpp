// frm_Main: layout, menus and toolbar, the entry list and the log, the close
// rules, the status bar and the tray icon of the main window.
#include "frm_Main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <exception>
#include <set>
#include <utility>
#include <vector>

#include "LocaleFormats.h"
#include "ut_Dialogs.h"
#include "ut_General.h"
#include "ut_Images.h"
#include "ut_LogView.h"
#include "ut_classes.h"
#include "ut_fileUtils.h"

using namespace Qt::StringLiterals;

namespace {

// Shows the entry list's image index as the row image of the first column.
class TRowImageDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() != ecSource)
            return;
        const QVariant image = index.data(TEntryList::ImageIndexRole);
        if (!image.isValid())
            return;
        option->icon = MainImage(image.toInt());
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(16, 16);
    }
};

// The entry list's view. A run rewrites its row's Status and Processed files
// texts for every file it handles, thousands of times a second. The tree view
// would measure the whole row (every column's text laid out) for each such
// change, and for the first row it does so even with uniform row heights.
// Rows here are one line each and only the first column has an image or check
// mark, so a text change in another column cannot change a row's height: such
// a change only needs its cell repainted. Those repaints are gathered and
// asked for once per turn of the event loop, which is as often as the window
// can paint anyway; every other change goes to the tree view as it comes.
class TEntryListView : public QTreeView
{
public:
    using QTreeView::QTreeView;

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles) override
    {
        const bool textOnly = roles.size() == 1 && roles.constFirst() == Qt::DisplayRole;
        if (!textOnly || topLeft != bottomRight || !topLeft.isValid() || topLeft.parent() != rootIndex()
            || topLeft.column() == ecSource || wordWrap()) {
            QTreeView::dataChanged(topLeft, bottomRight, roles);
            return;
        }
        const std::pair<int, int> cell{topLeft.row(), topLeft.column()};
        if (!FGatheredCells.insert(cell).second)
            return;
        FChangedCells.push_back(cell);
        if (FChangedCells.size() == 1)
            QMetaObject::invokeMethod(this, [this] { RepaintChangedCells(); }, Qt::QueuedConnection);
    }

private:
    void RepaintChangedCells()
    {
        const std::vector<std::pair<int, int>> cells = std::move(FChangedCells);
        FChangedCells.clear();
        FGatheredCells.clear();
        for (const auto &[row, column] : cells) {
            // A row removed meanwhile needs nothing: removing it laid out and
            // repainted the whole list.
            const QModelIndex at = model() ? model()->index(row, column, rootIndex()) : QModelIndex();
            if (at.isValid())
                QAbstractItemView::dataChanged(at, at, {Qt::DisplayRole});
        }
    }

    std::vector<std::pair<int, int>> FChangedCells;   // (row, column), each once
    // The same cells for the "each once" test: loading a long job list changes
    // thousands of cells before the window's next turn.
    std::set<std::pair<int, int>> FGatheredCells;
};

QAction *MakeAction(QObject *parent, const char *name, const QString &text, int image = -1)
{
    auto *action = new QAction(text, parent);
    action->setObjectName(QString::fromLatin1(name));
    if (image >= 0)
        action->setIcon(MainImage(image));
    return action;
}

} // namespace

TformMain::TformMain(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(u"formMain"_s);
    setWindowTitle(UiText::sVantor);
    setWindowIcon(ProgramIcon());
    setProperty("helpContext", 1);
    // The window takes the focus itself when nothing in it has it, so Escape
    // can reach it.
    setFocusPolicy(Qt::ClickFocus);

    FEntries = new TEntryList(this);
    FEntries->setObjectName(u"lvMainItems"_s);
    FEntries->SetHost(this);

    BuildMenus();
    BuildToolBar();

    lvMain = new TEntryListView;
    lvMain->setObjectName(u"lvMain"_s);
    lvMain->setProperty("helpContext", 1);
    lvMain->setModel(FEntries);
    lvMain->setItemDelegate(new TRowImageDelegate(lvMain));
    lvMain->setRootIsDecorated(false);
    lvMain->setItemsExpandable(false);
    lvMain->setUniformRowHeights(true);
    lvMain->setAllColumnsShowFocus(true);
    lvMain->setSortingEnabled(false);
    lvMain->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvMain->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvMain->setIconSize(QSize(16, 16));
    lvMain->header()->setStretchLastSection(false);
    lvMain->header()->setSectionsMovable(false);
    for (int column = 0; column < ecColumnCount; ++column)
        lvMain->setColumnWidth(column, TEntryList::ColumnWidth(column));
    lvMain->installEventFilter(this);
    connect(lvMain, &QTreeView::doubleClicked, this, [this] { Guarded([this] { lvMainDblClick(); }); });

    memo = new TLogView;
    memo->setObjectName(u"memo"_s);

    splitter = new QSplitter(Qt::Vertical);
    splitter->setObjectName(u"Splitter1"_s);
    splitter->addWidget(lvMain);
    splitter->addWidget(memo);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setChildrenCollapsible(false);
    splitter->setSizes({435 - 89, 89});
    setCentralWidget(splitter);

    sb = new QStatusBar;
    sb->setObjectName(u"sb"_s);
    sb->setSizeGripEnabled(true);
    for (int i = 0; i < 3; ++i) {
        sbPanel[i] = new QLabel;
        sbPanel[i]->setObjectName(u"sbPanel%1"_s.arg(i));
        sbPanel[i]->setFrameShape(QFrame::StyledPanel);
        sbPanel[i]->setFrameShadow(QFrame::Sunken);
        sbPanel[i]->setMinimumWidth(100);
        if (i < 2)
            sbPanel[i]->setFixedWidth(100);
        sb->addWidget(sbPanel[i], i == 2 ? 1 : 0);
    }
    setStatusBar(sb);

    BuildTray();
    CreateLanguageEngine();

    // Design size, centred; a stored placement replaces it.
    resize(842, 435);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    FormCreate();
}

void TformMain::FormCreate()
{
    LoadSettings();

    // Made before it runs, so the check box below can switch it off first:
    // with schedules disabled it never looks at an entry.
    FScheduler = new TMainThread(*this, *FEntries, this);
    FScheduler->setObjectName(u"FScheduler"_s);
    cbSuspend->setChecked(FStartDisabled);
    cbSuspendClick();
    FScheduler->Start();

    BuildLanguageMenu();

    InitHelp();

    miLanguages->setEnabled(!miLanguages->actions().isEmpty());

    // ApplySavedLanguage runs from the start-up once every window exists, so
    // the built-in texts and the stored language cover all of them.
}

void TformMain::FormDestroy()
{
    SetHelpRequestHandler(std::move(FPreviousHelpHandler));
}

TformMain::~TformMain()
{
    FormDestroy();
    // The engine's workers may still report into the list while the window goes:
    // keep them away from a half-destroyed host.
    FEntries->StopAllRuns();
    FScheduler->Shutdown();
    FEntries->SetHost(nullptr);
}

void TformMain::BuildMenus()
{
    menuMain = menuBar();
    menuMain->setObjectName(u"menuMain"_s);

    miFile = menuMain->addMenu(u"&File"_s);
    miFile->setObjectName(u"miFile"_s);
    miNew = MakeAction(this, "miNew", u"&New"_s, imNew);
    miNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    miOpen = MakeAction(this, "miOpen", u"&Open"_s, imOpen);
    miOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    miSave = MakeAction(this, "miSave", u"&Save"_s, imSave);
    miSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    miSaveAs = MakeAction(this, "miSaveAs", u"Save &As.."_s, imSaveAs);
    miSaveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    miExit = MakeAction(this, "miExit", u"E&xit"_s, imExit);
    miFile->addAction(miNew);
    miFile->addSeparator();
    miFile->addAction(miOpen);
    miFile->addAction(miSave);
    miFile->addSeparator();
    miFile->addAction(miSaveAs);
    miFile->addSeparator();
    miFile->addAction(miExit);

    miView = menuMain->addMenu(u"&View"_s);
    miView->setObjectName(u"miView"_s);
    Hide1 = MakeAction(this, "Hide1", u"&Minimize in Tray"_s, imTray);
    Hide1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    miView->addAction(Hide1);

    miTools = menuMain->addMenu(u"&Tools"_s);
    miTools->setObjectName(u"miTools"_s);
    miAddEntry = MakeAction(this, "miAddEntry", u"&Add Entry"_s, imEntry);
    miAddEntry->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    miDeleteEntries = MakeAction(this, "miDeleteEntries", u"&Delete Selected Entries"_s, imDelete);
    miDeleteEntries->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    miEditEntry = MakeAction(this, "miEditEntry", u"&Edit Selected Entry"_s, imEdit);
    miEditEntry->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    miGetWindowsFolders = MakeAction(this, "miGetWindowsFolders", u"&Get Window's Folders"_s, imWindowsFolders);
    miGetWindowsFolders->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    ExecuteSelectedEntryNow1 = MakeAction(this, "ExecuteSelectedEntryNow1", u"&Run Selected Entry Now"_s, imRun);
    ExecuteSelectedEntryNow1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    StopRunningNow1 = MakeAction(this, "StopRunningNow1", u"S&top Running Now"_s, imStop);
    StopRunningNow1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    PauseRunning1 = MakeAction(this, "PauseRunning1", u"&Pause Running"_s, imPause);
    PauseRunning1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    ExportCurrentLanguage1 = MakeAction(this, "ExportCurrentLanguage1", u"Export Current Language"_s,
                                        imExportLanguage);
    LoadOriginalLanguage1 = MakeAction(this, "LoadOriginalLanguage1", u"Load Original Language"_s,
                                       imOriginalLanguage);
    Options1 = MakeAction(this, "Options1", u"&Options"_s, imOptions);
    Options1->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_O));
    miTools->addAction(miAddEntry);
    miTools->addAction(miDeleteEntries);
    miTools->addAction(miEditEntry);
    miTools->addAction(miGetWindowsFolders);
    miTools->addSeparator();
    miTools->addAction(ExecuteSelectedEntryNow1);
    miTools->addAction(StopRunningNow1);
    miTools->addAction(PauseRunning1);
    miTools->addSeparator();
    miTools->addAction(ExportCurrentLanguage1);
    miTools->addAction(LoadOriginalLanguage1);
    miLanguages = miTools->addMenu(MainImage(imLanguage), u"Language"_s);
    miLanguages->setObjectName(u"miLanguages"_s);
    // Filled with the language files found; empty (and so disabled) until then.
    miLanguages->setEnabled(false);
    miTools->addSeparator();
    miTools->addAction(Options1);

    miHelp = menuMain->addMenu(u"&Help"_s);
    miHelp->setObjectName(u"miHelp"_s);
    miIndex = MakeAction(this, "miIndex", u"&Index"_s, imHelp);
    Update1 = MakeAction(this, "Update1", u"&Update"_s, imUpdate);
    miAbout = MakeAction(this, "miAbout", u"&About"_s, imAbout);
    miHelp->addAction(miIndex);
    miHelp->addSeparator();
    miHelp->addAction(Update1);
    miHelp->addSeparator();
    miHelp->addAction(miAbout);

    const auto on = [this](QAction *action, void (TformMain::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    on(miNew, &TformMain::miNewClick);
    on(miOpen, &TformMain::miOpenClick);
    on(miSave, &TformMain::miSaveClick);
    on(miSaveAs, &TformMain::miSaveAsClick);
    on(miExit, &TformMain::miExitClick);
    on(Hide1, &TformMain::Hide1Click);
    on(miAddEntry, &TformMain::tbAddClick);
    on(miDeleteEntries, &TformMain::DeleteSelectedClick);
    on(miEditEntry, &TformMain::lvMainDblClick);
    on(miGetWindowsFolders, &TformMain::miGetWindowsFoldersClick);
    on(ExecuteSelectedEntryNow1, &TformMain::tbStartClick);
    on(StopRunningNow1, &TformMain::tbStopClick);
    on(PauseRunning1, &TformMain::tbPauseClick);
    on(Options1, &TformMain::Options1Click);
    on(ExportCurrentLanguage1, &TformMain::ExportCurrentLanguage1Click);
    on(LoadOriginalLanguage1, &TformMain::LoadOriginalLanguage1Click);
    on(miIndex, &TformMain::miIndexClick);
    on(Update1, &TformMain::Update1Click);
    on(miAbout, &TformMain::tbAboutClick);
}

void TformMain::BuildToolBar()
{
    tbMain = new QToolBar(u"Toolbar"_s);
    tbMain->setObjectName(u"tbMain"_s);
    tbMain->setMovable(false);
    tbMain->setFloatable(false);
    tbMain->setIconSize(QSize(16, 16));
    tbMain->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tbMain->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, tbMain);

    const auto button = [this](const char *name, const QString &hint, int image, void (TformMain::*handler)()) {
        QAction *action = MakeAction(this, name, hint, image);
        action->setToolTip(hint);
        action->setStatusTip(hint);
        tbMain->addAction(action);
        if (QWidget *widget = tbMain->widgetForAction(action)) {
            widget->setObjectName(action->objectName());
            widget->setFixedSize(27, 29);
        }
        connect(action, &QAction::triggered, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
        return action;
    };

    tbOpen = button("tbOpen", u"Open *.vnt (CTRL+O)"_s, imOpen, &TformMain::miOpenClick);
    tbMain->addSeparator();
    tbSave = button("tbSave", u"Save *.vnt (CTRL+S)"_s, imSave, &TformMain::miSaveClick);
    tbMain->addSeparator();
    tbStart = button("tbStart", u"Run Selected Now (CTRL+R)"_s, imRun, &TformMain::tbStartClick);
    tbStop = button("tbStop", u"Stop Selected (CTRL+T)"_s, imStop, &TformMain::tbStopClick);
    tbPause = button("tbPause", u"Pause/Unpause Selected (CTRL+P)"_s, imPause, &TformMain::tbPauseClick);
    tbMain->addSeparator();
    tbAdd = button("tbAdd", u"Add Entry (CTRL+A)"_s, imEntry, &TformMain::tbAddClick);
    tbDelete = button("tbDelete", u"Remove Selected Entries (CTRL+DEL)"_s, imDelete, &TformMain::DeleteSelectedClick);
    tbEdit = button("tbEdit", u"Edit Entry (CTRL+E)"_s, imEdit, &TformMain::lvMainDblClick);
    tbMain->addSeparator();
    tbWindowsFolders = button("tbWindowsFolders", u"Add windows folders as entries (CTRL+W)"_s, imWindowsFolders,
                              &TformMain::miGetWindowsFoldersClick);
    tbMain->addSeparator();

    edDef = new QLineEdit;
    edDef->setObjectName(u"edDef"_s);
    edDef->setFixedWidth(178);
    edDef->setToolTip(u"Default Destination Root"_s);
    edDef->setProperty("helpContext", 2);
    edDef->installEventFilter(this);
    tbMain->addWidget(edDef);

    ToolButton3 = button("ToolButton3", u"Select Default Folder"_s, imSelectFolder, &TformMain::ToolButton3Click);
    tbMain->addSeparator();
    tbHelp = button("tbHelp", u"Help (F1)"_s, imHelp, &TformMain::miIndexClick);

    cbSuspend = new QCheckBox(u"&Disable All Schedules"_s);
    cbSuspend->setObjectName(u"cbSuspend"_s);
    cbSuspend->setToolTip(u"Disable All Schedules"_s);
    connect(cbSuspend, &QCheckBox::clicked, this, [this] { Guarded([this] { cbSuspendClick(); }); });
    tbMain->addWidget(cbSuspend);
}

void TformMain::BuildTray()
{
    FTrayImages[tiPassive] = TrayImages(tiPassive);
    FTrayImages[tiActive] = TrayImages(tiActive);
    FTrayImages[tiDisabled] = TrayImages(tiDisabled);

    pmTray = new QMenu(this);
    pmTray->setObjectName(u"pmTray"_s);
    miShow = MakeAction(this, "miShow", u"&Show"_s);
    miTrayExit = MakeAction(this, "miTrayExit", u"&Exit"_s, imExit);
    pmTray->addAction(miShow);
    pmTray->addSeparator();
    pmTray->addAction(miTrayExit);
    connect(miShow, &QAction::triggered, this, [this] { Guarded([this] { miShowClick(); }); });
    connect(miTrayExit, &QAction::triggered, this, [this] { Guarded([this] { miExitClick(); }); });

    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setObjectName(u"trayIcon"_s);
    trayIcon->setContextMenu(pmTray);
    trayIcon->setIcon(FTrayImages[tiPassive].constFirst());
    FTrayHint = UiText::sVantor;
    trayIcon->setToolTip(FTrayHint);
    connect(trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            Guarded([this] { miShowClick(); });
    });
    if (QSystemTrayIcon::isSystemTrayAvailable())
        trayIcon->show();

    FTrayTimer = new QTimer(this);
    FTrayTimer->setObjectName(u"trayTimer"_s);
    FTrayTimer->setInterval(500);
    connect(FTrayTimer, &QTimer::timeout, this, &TformMain::TrayTick);
    FTrayTimer->start();
}

void TformMain::Guarded(const std::function<void()> &command)
{
    try {
        command();
    } catch (const std::exception &error) {
        // Our exceptions carry their message as UTF-8 (EProfileWriteError,
        // EShellFolderError and the run command's).
        ShowError(this, QString::fromUtf8(error.what()));
    }
}

// --- entry list ---------------------------------------------------------------

TDataObject *TformMain::AddEntryRow(const QString &Src, const QString &Dest, const QString &FileMask, bool Active,
                                    int Schedule, double ScheduleTime, double LastRun, const QString &ActionBefore,
                                    const QString &ActionAfter, quint8 CopyType)
{
    // A new row starts unticked, so the scheduler passes it over until its
    // fields are set and its check mark follows Active.
    TDataObject *entry = FEntries->AddRow();
    {
        QMutexLocker lock(&FEntries->Lock());
        entry->FSource = AddTrailingBackslash(Src);
        entry->FDest = AddTrailingBackslash(Dest);
        entry->FFileMask = FileMask;
        entry->FSchedule = Schedule;
        entry->FScheduleTime = ScheduleTime;
        entry->FLastRun = LastRun;
        entry->CalcNextRun();
        entry->FActionBefore = ActionBefore;
        entry->FActionAfter = ActionAfter;
        entry->FCopyType = CopyType;
    }
    const int row = FEntries->RowOf(entry);
    FEntries->SetChecked(row, Active);
    FEntries->SetImage(row, riIdle);
    FEntries->SetText(row, ecStatus, QString());
    FEntries->SetText(row, ecProcessed, QString());
    entry->RefreshRow();
    FModified = true;
    return entry;
}

QList<TDataObject *> TformMain::SelectedEntries() const
{
    QModelIndexList rows = lvMain->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QList<TDataObject *> entries;
    for (const QModelIndex &index : rows)
        if (TDataObject *entry = FEntries->Entry(index.row()))
            entries << entry;
    return entries;
}

TDataObject *TformMain::SelectedEntry() const
{
    const QModelIndex current = lvMain->currentIndex();
    if (current.isValid() && lvMain->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        return FEntries->Entry(current.row());
    const QList<TDataObject *> selected = SelectedEntries();
    return selected.isEmpty() ? nullptr : selected.constFirst();
}

int TformMain::EntryCount() const
{
    return FEntries->Count();
}

TDataObject *TformMain::EntryAt(int row) const
{
    return FEntries->Entry(row);
}

void TformMain::DeleteSelectedClick()
{
    for (;;) {
        const QList<TDataObject *> selected = SelectedEntries();
        if (selected.isEmpty())
            break;
        TDataObject *entry = selected.constFirst();
        const QString text = UiText::sSource + u": "_s + entry->FSource + u" "_s + UiText::sDestination + u": "_s
                             + entry->FDest;
        DeleteEntry(entry);
        AddLog(UiText::sDeleted + u" "_s + text);
    }
}

void TformMain::AddLog(const QString &Text)
{
    memo->AddLine(LogTimeStamp() + u" "_s + Text);
}

void TformMain::tbAddClick()
{
    AddEntry();
}

void TformMain::lvMainDblClick()
{
    if (SelectedEntry())
        EditEntry();
}

void TformMain::miGetWindowsFoldersClick()
{
    ImportShellFolders();
}

void TformMain::ToolButton3Click()
{
    edDef->setText(BrowseForFolder(this, edDef->text()));
}


// --- keyboard and closing -------------------------------------------------------

bool TformMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edDef && event->type() == QEvent::ShortcutOverride) {
        // The window's menu shortcuts win over the edit box's own keys (Ctrl+V is
        // Save As.., Ctrl+A Add Entry, Ctrl+Del Delete Selected Entries).
        auto *key = static_cast<QKeyEvent *>(event);
        const QKeySequence pressed(key->keyCombination());
        const QList<QAction *> actions = findChildren<QAction *>();
        for (const QAction *action : actions)
            if (!action->shortcut().isEmpty() && action->shortcut() == pressed) {
                event->ignore();
                return true;
            }
    }
    if (watched == lvMain && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        // Either Enter key: the keypad's comes with the keypad modifier.
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            Guarded([this] { lvMainDblClick(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TformMain::keyPressEvent(QKeyEvent *event)
{
    // Only when the window itself has the focus: the keys of its controls are
    // theirs.
    const QWidget *focus = QApplication::focusWidget();
    if (event->key() == Qt::Key_Escape && (focus == nullptr || focus == this)) {
        close();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool TformMain::FormCloseQuery()
{
    // The same rules as replacing the job list: refused while a run is in
    // progress, "Save Changes?" when it changed. A save that fails throws, and
    // the window stays open with its changes.
    return ConfirmDiscard();
}

void TformMain::closeEvent(QCloseEvent *event)
{
    if (FExiting) {
        event->accept();
        return;
    }
    bool closes = false;
    Guarded([this, &closes] { closes = FormCloseQuery(); });
    if (!closes) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}

void TformMain::FormClose()
{
    SaveSettings();
    FTrayTimer->stop();
    trayIcon->hide();
    emit Terminated();
}

void TformMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Minimised with a tray to come back from: only the tray icon remains.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && QSystemTrayIcon::isSystemTrayAvailable()
        && trayIcon->isVisible())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
}

void TformMain::Hide1Click()
{
    // Without a tray the window is only minimised, so the task bar can bring it back.
    if (QSystemTrayIcon::isSystemTrayAvailable() && trayIcon->isVisible())
        hide();
    else
        showMinimized();
}

void TformMain::miShowClick()
{
    // Restored as it was before going to the tray: a maximised window comes
    // back maximised.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

// --- status bar and tray ------------------------------------------------------

void TformMain::SetStatusPanel(int panel, const QString &text)
{
    if (panel >= 0 && panel < 3)
        sbPanel[panel]->setText(text);
}

void TformMain::SetTrayImageList(TTrayImageList list)
{
    if (list == FTrayList)
        return;
    FTrayList = list;
    FTrayFrame = 0;
    trayIcon->setIcon(FTrayImages[FTrayList].constFirst());
}

void TformMain::TrayTick()
{
    const QList<QIcon> &images = FTrayImages[FTrayList];
    if (images.size() < 2)
        return;
    FTrayFrame = (FTrayFrame + 1) % static_cast<int>(images.size());
    trayIcon->setIcon(images.at(FTrayFrame));
}

QString TformMain::TrayHint() const
{
    return FTrayHint;
}

void TformMain::RefreshStatus()
{
    TTrayImageList list = tiPassive;
    QString hint;
    if (RunningCount() > 0) {
        list = tiActive;
    } else if (FSchedulesDisabled.load()) {
        list = tiDisabled;
        hint = UiText::sVantorDisabled;
    } else {
        hint = UiText::sVantor;
    }
    if (!hint.isNull()) {
        // The tray shows at most 127 characters of its hint.
        FTrayHint = hint.left(127);
        trayIcon->setToolTip(FTrayHint);
    }
    SetTrayImageList(list);
    SetStatusPanel(0, FormatLongTime(CurrentDateTime().time()));
    SetStatusPanel(1, UiText::sRunningOfRows.arg(RunningCount()).arg(FEntries->Count()));
}
