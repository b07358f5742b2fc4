// ut_LogView: the main window's log box. Keeps every line for the life of the
// window in compact UTF-8 storage and shows new lines in batches, so that runs
// writing hundreds of thousands of lines do not stall the window.
#pragma once

#include <QAbstractListModel>
#include <QAbstractItemView>
#include <memory>
#include <vector>

class QTimer;

// All lines of the log. Lines are appended at once but become rows of the model
// only when Flush() runs (a short timer does it), so one view update covers a
// whole batch.
class TLogModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit TLogModel(QObject *parent = nullptr);
    ~TLogModel() override;

    void Append(const QString &line);
    // Makes every appended line a row of the model.
    void Flush();

    // Every line appended so far, shown or not yet.
    qsizetype LineCount() const { return static_cast<qsizetype>(FLines.size()); }
    QString Line(qsizetype index) const;
    // Bytes held for the lines (text and index), for the benchmark.
    qsizetype MemoryUsed() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

signals:
    void rowsFlushed();

private:
    static constexpr qsizetype ChunkSize = 1 << 20;
    struct TLineRef
    {
        quint32 chunk;
        quint32 offset;
        quint32 size;
    };
    std::vector<std::unique_ptr<char[]>> FChunks;
    std::vector<qsizetype> FChunkSizes;
    qsizetype FChunkUsed = ChunkSize; // bytes used in the last chunk
    std::vector<TLineRef> FLines;
    qsizetype FShown = 0;
    QTimer *FFlushTimer = nullptr;
};

// Read-only list of log lines; follows the end while the user has not scrolled
// away from it. Ctrl+C copies the selected lines.
//
// Every line is one text line of the same height, so the view places rows by
// arithmetic alone: taking in a new batch of lines, painting and hit-testing
// cost the same for ten lines as for millions (a general list view lays all
// of its rows out again whenever rows are added). It scrolls by whole lines.
class TLogView : public QAbstractItemView
{
    Q_OBJECT

public:
    explicit TLogView(QWidget *parent = nullptr);

    void AddLine(const QString &line) { FModel->Append(line); }
    void Flush() { FModel->Flush(); }
    TLogModel *LogModel() const { return FModel; }

    // Height of one line in pixels.
    int LineHeight() const;

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &) const override { return false; }
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;

    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int RowCount() const;
    int FirstVisibleRow() const;
    int VisibleRows() const;        // rows that fit wholly (at least 1)

    TLogModel *FModel = nullptr;
    bool FFollow = true;
    mutable int FLineHeight = 0;    // 0 = to be measured
    int FContentWidth = 0;          // widest line painted so far
};
