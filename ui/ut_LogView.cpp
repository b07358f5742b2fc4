// ut_LogView: log lines in 1 MiB UTF-8 chunks with a 12-byte index per line.
#include "ut_LogView.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstring>

namespace {
// Lines that arrive close together are shown together: at most this long after
// the first of them.
constexpr int FlushDelayMs = 40;
} // namespace

TLogModel::TLogModel(QObject *parent)
    : QAbstractListModel(parent)
    , FFlushTimer(new QTimer(this))
{
    FFlushTimer->setSingleShot(true);
    FFlushTimer->setInterval(FlushDelayMs);
    connect(FFlushTimer, &QTimer::timeout, this, &TLogModel::Flush);
}

TLogModel::~TLogModel() = default;

void TLogModel::Append(const QString &line)
{
    const QByteArray utf8 = line.toUtf8();
    const auto size = static_cast<qsizetype>(utf8.size());
    if (FChunks.empty() || FChunkUsed + size > FChunkSizes.back()) {
        const qsizetype chunkSize = std::max(ChunkSize, size);
        FChunks.push_back(std::make_unique<char[]>(static_cast<size_t>(chunkSize)));
        FChunkSizes.push_back(chunkSize);
        FChunkUsed = 0;
    }
    std::memcpy(FChunks.back().get() + FChunkUsed, utf8.constData(), static_cast<size_t>(size));
    FLines.push_back({static_cast<quint32>(FChunks.size() - 1), static_cast<quint32>(FChunkUsed),
                      static_cast<quint32>(size)});
    FChunkUsed += size;
    if (!FFlushTimer->isActive())
        FFlushTimer->start();
}

void TLogModel::Flush()
{
    FFlushTimer->stop();
    const qsizetype total = LineCount();
    if (total == FShown)
        return;
    beginInsertRows(QModelIndex(), static_cast<int>(FShown), static_cast<int>(total - 1));
    FShown = total;
    endInsertRows();
    emit rowsFlushed();
}

QString TLogModel::Line(qsizetype index) const
{
    if (index < 0 || index >= LineCount())
        return QString();
    const TLineRef &ref = FLines[static_cast<size_t>(index)];
    return QString::fromUtf8(FChunks[ref.chunk].get() + ref.offset, ref.size);
}

qsizetype TLogModel::MemoryUsed() const
{
    qsizetype bytes = static_cast<qsizetype>(FLines.capacity() * sizeof(TLineRef));
    for (qsizetype size : FChunkSizes)
        bytes += size;
    return bytes;
}

int TLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(FShown);
}

QVariant TLogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= FShown || role != Qt::DisplayRole)
        return QVariant();
    return Line(index.row());
}

TLogView::TLogView(QWidget *parent)
    : QListView(parent)
    , FModel(new TLogModel(this))
{
    setModel(FModel);
    // Every line is one text line: the view can place rows without measuring each.
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setBatchSize(1000);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { FFollow = value >= verticalScrollBar()->maximum(); });
    connect(FModel, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this] { FFollow = verticalScrollBar()->value() >= verticalScrollBar()->maximum(); });
    connect(FModel, &TLogModel::rowsFlushed, this, [this] {
        if (FFollow)
            scrollToBottom();
    });
}

void TLogView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        QModelIndexList rows = selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end());
        QStringList lines;
        for (const QModelIndex &row : rows)
            lines << FModel->Line(row.row());
        QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
        return;
    }
    QListView::keyPressEvent(event);
}
