// ut_LogView: log lines in 1 MiB UTF-8 chunks with a 12-byte index per line,
// and the view that shows them by line arithmetic.
#include "ut_LogView.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
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
    : QAbstractItemView(parent)
    , FModel(new TLogModel(this))
{
    setModel(FModel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
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

int TLogView::RowCount() const
{
    return FModel->rowCount();
}

int TLogView::LineHeight() const
{
    if (FLineHeight > 0)
        return FLineHeight;
    // Measured on a real line, as the delegate will paint it; until there is
    // one, the font's height stands in.
    const int fontHeight = std::max(1, fontMetrics().height());
    if (RowCount() == 0)
        return fontHeight;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    FLineHeight = std::max(fontHeight, itemDelegate()->sizeHint(option, FModel->index(0, 0)).height());
    return FLineHeight;
}

int TLogView::FirstVisibleRow() const
{
    return verticalScrollBar()->value();
}

int TLogView::VisibleRows() const
{
    return std::max(1, viewport()->height() / LineHeight());
}

QRect TLogView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != FModel || index.row() >= RowCount())
        return QRect();
    const int height = LineHeight();
    return QRect(-horizontalOffset(), (index.row() - FirstVisibleRow()) * height,
                 std::max(viewport()->width() + horizontalOffset(), FContentWidth), height);
}

void TLogView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid() || index.model() != FModel)
        return;
    const int row = index.row();
    const int first = FirstVisibleRow();
    const int page = VisibleRows();
    int top = first;
    switch (hint) {
    case EnsureVisible:
        if (row < first)
            top = row;
        else if (row >= first + page)
            top = row - page + 1;
        break;
    case PositionAtTop:
        top = row;
        break;
    case PositionAtBottom:
        top = row - page + 1;
        break;
    case PositionAtCenter:
        top = row - page / 2;
        break;
    }
    verticalScrollBar()->setValue(top);
}

QModelIndex TLogView::indexAt(const QPoint &point) const
{
    if (point.y() < 0)
        return QModelIndex();
    const QModelIndex at = FModel->index(FirstVisibleRow() + point.y() / LineHeight(), 0);
    return at.isValid() && visualRect(at).contains(point) ? at : QModelIndex();
}

QModelIndex TLogView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int rows = RowCount();
    if (rows == 0)
        return QModelIndex();
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() : FirstVisibleRow();
    int target = row;
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        target = row - 1;
        break;
    case MoveDown:
    case MoveNext:
        target = current.isValid() ? row + 1 : row;
        break;
    case MovePageUp:
        target = row - VisibleRows();
        break;
    case MovePageDown:
        target = row + VisibleRows();
        break;
    case MoveHome:
        target = 0;
        break;
    case MoveEnd:
        target = rows - 1;
        break;
    case MoveLeft:
    case MoveRight: {
        // One column only: left and right scroll long lines instead.
        QScrollBar *bar = horizontalScrollBar();
        bar->setValue(bar->value() + (cursorAction == MoveLeft ? -1 : 1) * bar->singleStep());
        break;
    }
    }
    return FModel->index(std::clamp(target, 0, rows - 1), 0);
}

int TLogView::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int TLogView::verticalOffset() const
{
    return FirstVisibleRow() * LineHeight();
}

void TLogView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    const int rows = RowCount();
    const QRect area = rect.normalized();
    const int height = LineHeight();
    // Rows above the first visible one have negative coordinates: round down.
    const auto rowAt = [&](int y) {
        return FirstVisibleRow() + (y >= 0 ? y / height : -((-y + height - 1) / height));
    };
    const int top = std::max(0, rowAt(area.top()));
    const int bottom = std::min(rows - 1, rowAt(area.bottom()));
    QItemSelection selection;
    if (top <= bottom)
        selection.select(FModel->index(top, 0), FModel->index(bottom, 0));
    selectionModel()->select(selection, command);
}

QRegion TLogView::visualRegionForSelection(const QItemSelection &selection) const
{
    const int first = FirstVisibleRow();
    const int last = first + viewport()->height() / LineHeight() + 1;
    const int height = LineHeight();
    QRegion region;
    for (const QItemSelectionRange &range : selection) {
        const int top = std::max(range.top(), first);
        const int bottom = std::min(range.bottom(), last);
        if (top <= bottom)
            region += QRect(0, (top - first) * height, viewport()->width(), (bottom - top + 1) * height);
    }
    return region;
}

void TLogView::scrollContentsBy(int, int)
{
    // The vertical bar counts lines, not pixels; a few lines are repainted.
    viewport()->update();
}

void TLogView::updateGeometries()
{
    const int page = VisibleRows();
    QScrollBar *vertical = verticalScrollBar();
    vertical->setSingleStep(1);
    vertical->setPageStep(page);
    vertical->setRange(0, std::max(0, RowCount() - page));
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setSingleStep(std::max(1, fontMetrics().averageCharWidth() * 2));
    horizontal->setPageStep(viewport()->width());
    horizontal->setRange(0, std::max(0, FContentWidth - viewport()->width()));
    QAbstractItemView::updateGeometries();
}

void TLogView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    updateGeometries();
    if (start <= FirstVisibleRow() + VisibleRows())
        viewport()->update();
}

void TLogView::paintEvent(QPaintEvent *event)
{
    const int rows = RowCount();
    if (rows == 0)
        return;
    const int height = LineHeight();
    const int first = std::max(0, FirstVisibleRow() + event->rect().top() / height);
    const int last = std::min(rows - 1, FirstVisibleRow() + event->rect().bottom() / height);
    QStyleOptionViewItem option;
    initViewItemOption(&option);

    // Lines are as wide as the widest one shown so far, so that a long line
    // can be scrolled to and a selection covers it whole.
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, this) + 1);
    int widest = FContentWidth;
    for (int row = first; row <= last; ++row)
        widest = std::max(widest, option.fontMetrics.horizontalAdvance(FModel->Line(row)) + margin);
    if (widest > FContentWidth) {
        FContentWidth = widest;
        QMetaObject::invokeMethod(this, [this] { updateGeometries(); }, Qt::QueuedConnection);
    }

    QPainter painter(viewport());
    const QModelIndex current = currentIndex();
    const QItemSelectionModel *selection = selectionModel();
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = FModel->index(row, 0);
        QStyleOptionViewItem item = option;
        item.rect = visualRect(index);
        if (selection && selection->isSelected(index))
            item.state |= QStyle::State_Selected;
        if (index == current && hasFocus())
            item.state |= QStyle::State_HasFocus;
        itemDelegate()->paint(&painter, item, index);
    }
}

void TLogView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        FLineHeight = 0;
        FContentWidth = 0;
        updateGeometries();
        viewport()->update();
    }
    QAbstractItemView::changeEvent(event);
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
    QAbstractItemView::keyPressEvent(event);
}
