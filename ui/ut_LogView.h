// ut_LogView: the main window's log box. Keeps every line for the life of the
// window in compact UTF-8 storage and shows new lines in batches, so that runs
// writing hundreds of thousands of lines do not stall the window.
#pragma once

#include <QAbstractListModel>
#include <QListView>
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
class TLogView : public QListView
{
    Q_OBJECT

public:
    explicit TLogView(QWidget *parent = nullptr);

    void AddLine(const QString &line) { FModel->Append(line); }
    void Flush() { FModel->Flush(); }
    TLogModel *LogModel() const { return FModel; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    TLogModel *FModel = nullptr;
    bool FFollow = true;
};
