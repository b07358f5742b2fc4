// TEntryList: rows of entries for the main window's list view.
#include "TEntryList.h"

#include "VantorHost.h"
#include "ut_classes.h"
#include "ut_General.h"
#include <QMutexLocker>
#include <algorithm>

TEntryList::TEntryList(QObject *parent)
    : QAbstractTableModel(parent)
    , FCaptions{UiText::sColSource, UiText::sColDestination, UiText::sColStatus,
                UiText::sColProcessed, UiText::sColSchedule, UiText::sColLastCopy,
                UiText::sColNextCopy}
{
}

TEntryList::~TEntryList()
{
    // No worker may outlive the entries it reports to. The host may be gone
    // already, so the running count is left alone here.
    AbandonRuns(false);
}

TDataObject *TEntryList::AddRow()
{
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    TRow newRow;
    newRow.entry = std::make_unique<TDataObject>(this);
    newRow.image = riIdle;
    TDataObject *entry = newRow.entry.get();
    {
        QMutexLocker locker(&FLock);
        FRowOf.insert(entry, row);
        FRows.push_back(std::move(newRow));
    }
    endInsertRows();
    return entry;
}

bool TEntryList::RemoveRow(int row)
{
    if (!ValidRow(row))
        return false;
    TDataObject *entry = Entry(row);
    entry->StopRun();
    row = RowOf(entry);
    if (row < 0)
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    std::unique_ptr<TDataObject> doomed;
    {
        QMutexLocker locker(&FLock);
        doomed = std::move(FRows[size_t(row)].entry);
        FRows.erase(FRows.begin() + row);
        FRowOf.remove(doomed.get());
        for (int i = row; i < Count(); ++i)
            FRowOf[FRows[size_t(i)].entry.get()] = i;
        // Its worker still reports to it; it is freed when that worker has ended.
        if (doomed->FWorker)
            FRetired.push_back(std::move(doomed));
    }
    endRemoveRows();
    return true;
}

void TEntryList::Clear()
{
    if (FRows.empty())
        return;
    for (const TRow &row : FRows)
        row.entry->StopRun();
    beginResetModel();
    std::vector<TRow> doomed;
    {
        QMutexLocker locker(&FLock);
        doomed.swap(FRows);
        FRowOf.clear();
        for (TRow &row : doomed) {
            if (row.entry->FWorker)
                FRetired.push_back(std::move(row.entry));
        }
    }
    endResetModel();
}

void TEntryList::WorkerEnded(TDataObject *entry)
{
    const auto it = std::find_if(FRetired.begin(), FRetired.end(),
                                 [entry](const auto &held) { return held.get() == entry; });
    if (it != FRetired.end() && !entry->FWorker)
        FRetired.erase(it);
}

void TEntryList::StopAllRuns()
{
    AbandonRuns(true);
}

void TEntryList::AbandonRuns(bool adjustCount)
{
    std::vector<TDataObject *> running;
    {
        QMutexLocker locker(&FLock);
        for (const TRow &row : FRows) {
            if (row.entry->FWorker)
                running.push_back(row.entry.get());
        }
        for (const auto &held : FRetired)
            running.push_back(held.get());
    }
    for (TDataObject *entry : running) {
        if (entry->FWorker)
            entry->FWorker->Abandon();
    }
    for (TDataObject *entry : running) {
        TCopyThread *worker = entry->FWorker;
        if (!worker)
            continue;
        worker->wait();
        // The thread has ended without its end handling: do the bookkeeping of
        // it here (without "Done", action after or next run: the program ends).
        if (adjustCount && FHost && !worker->FFinishedByStop)
            FHost->DecRunningCount();
        {
            QMutexLocker locker(&FLock);
            entry->FWorker = nullptr;
        }
        entry->FPaused = false;
        delete worker;
    }
    FRetired.clear();
    if (!running.empty())
        NotifyRunsChanged();
}

void TEntryList::SetChecked(int row, bool checked)
{
    if (!ValidRow(row))
        return;
    {
        QMutexLocker locker(&FLock);
        FRows[size_t(row)].checked = checked;
    }
    const QModelIndex at = index(row, ecSource);
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

void TEntryList::SetImage(int row, int imageIndex)
{
    if (!ValidRow(row) || FRows[size_t(row)].image == imageIndex)
        return;
    FRows[size_t(row)].image = imageIndex;
    const QModelIndex at = index(row, ecSource);
    emit dataChanged(at, at, {ImageIndexRole, Qt::DecorationRole});
}

void TEntryList::SetText(int row, int column, const QString &text)
{
    if (!ValidRow(row) || column < 0 || column >= ecColumnCount)
        return;
    QString &cell = FRows[size_t(row)].texts[column];
    if (cell == text)
        return;
    cell = text;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

QString TEntryList::Text(int row, int column) const
{
    if (!ValidRow(row) || column < 0 || column >= ecColumnCount)
        return QString();
    return FRows[size_t(row)].texts[column];
}

int TEntryList::Image(int row) const
{
    return ValidRow(row) ? FRows[size_t(row)].image : -1;
}

int TEntryList::RowOf(const TDataObject *entry) const
{
    return FRowOf.value(entry, -1);
}

TDataObject *TEntryList::Entry(int row) const
{
    return ValidRow(row) ? FRows[size_t(row)].entry.get() : nullptr;
}

bool TEntryList::IsChecked(int row) const
{
    return ValidRow(row) && FRows[size_t(row)].checked;
}

int TEntryList::ColumnWidth(int column)
{
    static const int widths[ecColumnCount] = {200, 200, 100, 50, 150, 80, 80};
    return column >= 0 && column < ecColumnCount ? widths[column] : 0;
}

int TEntryList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TEntryList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ecColumnCount);
}

QVariant TEntryList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !ValidRow(index.row()) || index.column() >= ecColumnCount)
        return QVariant();
    const TRow &row = FRows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return row.texts[index.column()];
    case Qt::CheckStateRole:
        if (index.column() == ecSource)
            return row.checked ? Qt::Checked : Qt::Unchecked;
        break;
    case ImageIndexRole:
        if (index.column() == ecSource)
            return row.image;
        break;
    case EntryRole:
        return QVariant::fromValue(static_cast<void *>(row.entry.get()));
    default:
        break;
    }
    return QVariant();
}

bool TEntryList::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != ecSource || role != Qt::CheckStateRole)
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    if (IsChecked(index.row()) == checked)
        return true;
    SetChecked(index.row(), checked);
    emit checkChanged(index.row(), checked);
    return true;
}

Qt::ItemFlags TEntryList::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == ecSource)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant TEntryList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ecColumnCount)
        return QVariant();
    return role == Qt::DisplayRole ? QVariant(FCaptions.at(section)) : QVariant();
}

bool TEntryList::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                               int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ecColumnCount
        || (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    FCaptions[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}
