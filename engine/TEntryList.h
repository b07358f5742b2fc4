// TEntryList: the entry list as an item model. Owns the entries, one per row,
// with each row's texts, check mark and image; the main window's list view
// shows it and the scheduler walks it from its own thread.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QMutex>
#include <QStringList>
#include <memory>
#include <vector>

class TDataObject;
class TVantorHost;

// Columns in display order.
enum TEntryColumn {
    ecSource = 0,      // row caption: FSource
    ecDest = 1,
    ecStatus = 2,
    ecProcessed = 3,
    ecSchedule = 4,
    ecLastCopy = 5,
    ecNextCopy = 6,
    ecColumnCount = 7,
};

class TEntryList : public QAbstractTableModel {
    Q_OBJECT
public:
    // Extra data roles. ImageIndexRole (column 0) gives the row image's index in
    // the window's image list (TRowImage); EntryRole gives the TDataObject*.
    enum Roles { ImageIndexRole = Qt::UserRole + 1, EntryRole };

    explicit TEntryList(QObject *parent = nullptr);
    ~TEntryList() override;

    // The window the engine reports to (not owned); null in tests that need none.
    void SetHost(TVantorHost *host) { FHost = host; }
    TVantorHost *Host() const { return FHost; }

    // Guards the list's structure, the check marks and the entries' schedule and
    // worker fields against the scheduler thread. The UI thread takes it around
    // every change of those; the scheduler around each due test. Never hold it
    // across a blocking hand-over to the UI thread.
    QMutex &Lock() const { return FLock; }

    // --- UI thread ---
    // Appends a row with a new entry bound to it (image riIdle, texts empty,
    // unchecked) and returns the entry, which the list owns.
    TDataObject *AddRow();
    // Removes the row at once; false for a bad row. An entry whose run is in
    // progress is stopped (StopRun) and freed only after its worker has ended;
    // any other entry is destroyed now.
    bool RemoveRow(int row);
    // RemoveRow of every row.
    void Clear();
    // For program exit: abandons every run in progress (a copy under way is
    // dropped, leaving no partial file; no end handling, no action after), waits
    // for the workers to end and frees the entries of removed rows; the running
    // count drops by the runs abandoned. The list stays usable. Shut the
    // scheduler down first (TMainThread::Shutdown), so that it starts nothing
    // meanwhile.
    void StopAllRuns();
    // Entries of removed rows still waiting for their worker to end.
    int RetiredCount() const { return static_cast<int>(FRetired.size()); }

    void SetChecked(int row, bool checked);
    void SetImage(int row, int imageIndex);
    void SetText(int row, int column, const QString &text);
    QString Text(int row, int column) const;
    int Image(int row) const;

    // Row of an entry; -1 when it is not in the list.
    int RowOf(const TDataObject *entry) const;

    // --- any thread, under Lock() when not on the UI thread ---
    int Count() const { return static_cast<int>(FRows.size()); }
    TDataObject *Entry(int row) const;
    bool IsChecked(int row) const;

    // Column widths in pixels, for the view.
    static int ColumnWidth(int column);

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Captions may be replaced (translations); DisplayRole only.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;

    // The end handling of `entry`'s worker is through: frees the entry when its
    // row was removed meanwhile. Engine use (UI thread).
    void WorkerEnded(TDataObject *entry);
    // A run started or ended (UI or scheduler thread); wakes the scheduler.
    void NotifyRunsChanged() { emit runsChanged(); }

signals:
    // The user changed a row's check mark through the view.
    void checkChanged(int row, bool checked);
    // A run of one of the entries started or ended. Emitted on the thread that
    // made the change.
    void runsChanged();

private:
    struct TRow {
        std::unique_ptr<TDataObject> entry;
        QString texts[ecColumnCount];
        bool checked = false;
        int image = 0;
    };
    bool ValidRow(int row) const { return row >= 0 && row < Count(); }
    void AbandonRuns(bool adjustCount);

    mutable QMutex FLock;
    std::vector<TRow> FRows;
    // Row of each entry, so that finding an entry's row costs the same in a
    // list of ten thousand rows as in one of ten. Changed with FRows, under
    // FLock.
    QHash<const TDataObject *, int> FRowOf;
    // Entries whose row is gone but whose worker has not ended yet.
    std::vector<std::unique_ptr<TDataObject>> FRetired;
    QStringList FCaptions;
    TVantorHost *FHost = nullptr;
};
