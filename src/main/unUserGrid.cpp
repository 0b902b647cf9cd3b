#include "main/unUserGrid.h"

#include "main/unUserListing.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScrollBar>

#include <algorithm>
#include <set>

using namespace userlist;

// ---- icons -------------------------------------------------------------------------------

namespace {

QPixmap drawStateIcon(int state)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body = state == StateDisabled ? QColor(150, 150, 150) : QColor(52, 101, 164);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawEllipse(QRectF(4.5, 1, 6, 6));               // head
    QPainterPath shoulders;
    shoulders.moveTo(1.5, 15);
    shoulders.cubicTo(1.5, 8, 13.5, 8, 13.5, 15);
    shoulders.closeSubpath();
    p.drawPath(shoulders);                              // body
    switch (state) {
    case StateDisabled: {                               // red bar: switched off
        p.setBrush(QColor(204, 0, 0));
        p.setPen(QPen(Qt::white, 1));
        p.drawEllipse(QRectF(8, 8, 7.5, 7.5));
        p.setPen(QPen(Qt::white, 1.6));
        p.drawLine(QPointF(9.8, 11.75), QPointF(13.7, 11.75));
        break;
    }
    case StateLockedOut: {                              // padlock
        p.setPen(QPen(QColor(120, 90, 0), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(9.5, 6.5, 5, 6), 0, 180 * 16);
        p.setPen(QPen(QColor(120, 90, 0), 0.8));
        p.setBrush(QColor(230, 180, 20));
        p.drawRect(QRectF(8.5, 10, 7, 5.5));
        break;
    }
    case StatePasswordExpired: {                        // clock
        p.setPen(QPen(QColor(160, 80, 0), 1));
        p.setBrush(QColor(255, 200, 80));
        p.drawEllipse(QRectF(8, 8, 7.5, 7.5));
        p.drawLine(QPointF(11.75, 11.75), QPointF(11.75, 9.3));
        p.drawLine(QPointF(11.75, 11.75), QPointF(13.6, 11.75));
        break;
    }
    default:
        break;
    }
    return pm;
}

} // namespace

QIcon userStateIcon(int state)
{
    static const std::array<QIcon, 4> icons = [] {
        std::array<QIcon, 4> a;
        for (int i = 0; i < 4; ++i)
            a[static_cast<std::size_t>(i)] = QIcon(drawStateIcon(i));
        return a;
    }();
    if (state < 0 || state > 3)
        state = 0;
    return icons[static_cast<std::size_t>(state)];
}

// ---- model -------------------------------------------------------------------------------

UserGridModel::UserGridModel(const UserRows *rows, QObject *parent) : QAbstractTableModel(parent), rows_(rows)
{
    alignment_.fill(Qt::AlignLeft);
}

int UserGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int UserGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(gridColumns().size());
}

QVariant UserGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const int record = order_[static_cast<std::size_t>(index.row())];
    if (record < 0 || record >= rows_->size())
        return {};
    const TShellItem &item = rows_->at(record);
    const GridColumn &col = gridColumns()[static_cast<std::size_t>(index.column())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(item, col);
    case Qt::ToolTipRole: {
        // Columns are 80 pixels wide: the whole text of a cut cell (a mail address, the
        // last logon's time) shows when the mouse rests on it.
        const QString text = cellText(item, col);
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case Qt::DecorationRole:
        if (col.kind == ColumnKind::Icon)
            return userStateIcon(item.state());
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(alignment_[static_cast<std::size_t>(index.column())] | Qt::AlignVCenter);
    case CarriedDnRole:
        if (col.tag == CnTag)
            return item.text(Field::DistinguishedName);
        return {};
    case CarriedIndexRole:
        if (col.tag == CnTag)
            return record;
        return {};
    case StateRole:
        return static_cast<int>(item.state());
    default:
        return {};
    }
}

QVariant UserGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    const GridColumn &col = gridColumns()[static_cast<std::size_t>(section)];
    switch (role) {
    case Qt::DisplayRole:
        return columnCaption(col.tag);
    case TagRole:
        return col.tag;
    case NameRole:
        return columnName(col.tag);
    case Qt::ToolTipRole:
        return ui::displayText(ui::wrapText(
            QStringLiteral("Columns can be sorted by clicking the column header.\r\nThey can be placed in a "
                           "different order by dragging and dropping.")));
    default:
        return {};
    }
}

void UserGridModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<int> persistentRecords;
    persistentRecords.reserve(static_cast<std::size_t>(persistent.size()));
    for (const QModelIndex &i : persistent)
        persistentRecords.push_back(recordOfRow(i.row()));

    sortRows(order_, *rows_, gridColumns()[static_cast<std::size_t>(column)], order == Qt::DescendingOrder);

    if (!persistent.isEmpty()) {
        std::vector<int> rowOf(static_cast<std::size_t>(rows_->size()), -1);
        for (std::size_t r = 0; r < order_.size(); ++r)
            if (order_[r] >= 0 && order_[r] < rows_->size())
                rowOf[static_cast<std::size_t>(order_[r])] = static_cast<int>(r);
        QModelIndexList to;
        to.reserve(persistent.size());
        for (qsizetype k = 0; k < persistent.size(); ++k) {
            const int rec = persistentRecords[static_cast<std::size_t>(k)];
            const int row = rec >= 0 ? rowOf[static_cast<std::size_t>(rec)] : -1;
            to << (row >= 0 ? index(row, persistent[k].column()) : QModelIndex());
        }
        changePersistentIndexList(persistent, to);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void UserGridModel::fillGrid()
{
    beginResetModel();
    order_.resize(static_cast<std::size_t>(rows_->size()));
    for (int i = 0; i < rows_->size(); ++i)
        order_[static_cast<std::size_t>(i)] = i;
    endResetModel();
}

void UserGridModel::clearRows()
{
    beginResetModel();
    std::vector<int>().swap(order_);
    endResetModel();
}

void UserGridModel::writeRow(int row, int record)
{
    if (row < 0 || row >= rowCount())
        return;
    order_[static_cast<std::size_t>(row)] = record;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int UserGridModel::rowOfRecord(int record) const
{
    const auto it = std::find(order_.begin(), order_.end(), record);
    return it == order_.end() ? -1 : static_cast<int>(it - order_.begin());
}

int UserGridModel::findRowByDn(const QString &dn) const
{
    for (std::size_t r = 0; r < order_.size(); ++r) {
        const int rec = order_[r];
        if (rec >= 0 && rec < rows_->size() &&
            rows_->at(rec).distinguishedName().compare(dn, Qt::CaseInsensitive) == 0)
            return static_cast<int>(r);
    }
    return -1;
}

int UserGridModel::recordOfRow(int row) const
{
    if (row < 0 || row >= rowCount())
        return -1;
    return order_[static_cast<std::size_t>(row)];
}

void UserGridModel::setColumnAlignment(int column, Qt::Alignment alignment)
{
    if (column < 0 || column >= columnCount())
        return;
    alignment_[static_cast<std::size_t>(column)] = alignment & Qt::AlignHorizontal_Mask;
    if (rowCount() > 0)
        emit dataChanged(index(0, column), index(rowCount() - 1, column), {Qt::TextAlignmentRole});
}

Qt::Alignment UserGridModel::columnAlignment(int column) const
{
    if (column < 0 || column >= columnCount())
        return Qt::AlignLeft;
    return alignment_[static_cast<std::size_t>(column)];
}

QString UserGridModel::tabText(const std::vector<int> &rows, const std::vector<int> &columns) const
{
    std::vector<int> records;
    records.reserve(rows.size());
    for (int r : rows) {
        const int rec = recordOfRow(r);
        if (rec >= 0 && rec < rows_->size())
            records.push_back(rec);
    }
    std::vector<const GridColumn *> cols;
    for (int c : columns)
        if (c >= 0 && c < columnCount())
            cols.push_back(&gridColumns()[static_cast<std::size_t>(c)]);
    return rowsAsTabText(*rows_, records, cols);
}

// ---- view --------------------------------------------------------------------------------

TUserGrid::TUserGrid(TUserList *list, QWidget *parent)
    : QTableView(parent), list_(list), model_(new UserGridModel(&list->rows(), this))
{
    setObjectName(QStringLiteral("NextGrid"));
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setSortingEnabled(true);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(IconColumnWidth);
    verticalHeader()->hide();
    // Uniform row heights keep scrolling through 100,000 rows cheap.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setIconSize(QSize(16, 16));
    ui::setHint(this,
                QStringLiteral("Columns can be sorted by clicking the column header.\r\nThey can be placed in a "
                               "different order by dragging and dropping."));

    const auto &cols = gridColumns();
    for (std::size_t c = 0; c < cols.size(); ++c) {
        horizontalHeader()->resizeSection(static_cast<int>(c),
                                          cols[c].kind == ColumnKind::Icon ? IconColumnWidth : TextColumnWidth);
    }
    // Every column, the fixed ones too, can be widened by its divider or fitted to the rows
    // in view by a double click on it; the 80-pixel default stays until the user does so.
    ui::setupColumns(this, ui::Columns::Given);

    setupFixedView();
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &TUserGrid::onCurrentChanged);
    connect(horizontalHeader(), &QHeaderView::sectionMoved, this, &TUserGrid::onSectionMoved);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &TUserGrid::onSectionClicked);

    connect(list_, &TUserList::rowsAboutToBeCleared, model_, &UserGridModel::clearRows);
    connect(list_, &TUserList::rowsFilled, this, &TUserGrid::fillGrid);
    connect(list_, &TUserList::busyChanged, this, [this](bool busy) {
        setEnabled(!busy);
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
    connect(list_, &TUserList::recordChanged, this, [this](int record) {
        const int row = model_->rowOfRecord(record);
        if (row >= 0)
            model_->writeRow(row, record);
    });
}

void TUserGrid::setupFixedView()
{
    fixed_ = new QTableView(this);
    fixed_->setObjectName(QStringLiteral("NextGridFixedColumns"));
    fixed_->setModel(model_);
    fixed_->setSelectionModel(selectionModel());
    // Part of the grid: the keyboard reaches it through the grid.
    fixed_->setFocusPolicy(Qt::NoFocus);
    fixed_->setFocusProxy(this);
    fixed_->setSelectionBehavior(QAbstractItemView::SelectRows);
    fixed_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fixed_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fixed_->setWordWrap(false);
    fixed_->setIconSize(iconSize());
    fixed_->verticalHeader()->hide();
    fixed_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    fixed_->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    fixed_->horizontalHeader()->setSectionsClickable(true);
    fixed_->horizontalHeader()->setHighlightSections(false);
    fixed_->horizontalHeader()->setDefaultAlignment(horizontalHeader()->defaultAlignment());
    fixed_->horizontalHeader()->setSortIndicatorShown(true);
    fixed_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    ui::setupColumns(fixed_, ui::Columns::Frozen);
    fixed_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fixed_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fixed_->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
    for (int c = 0; c < model_->columnCount(); ++c)
        fixed_->setColumnHidden(c, c >= FixedColumnCount);
    for (int c = 0; c < FixedColumnCount; ++c)
        fixed_->setColumnWidth(c, columnWidth(c));
    viewport()->stackUnder(fixed_);

    // Clicks on the fixed headers act as clicks on the grid's own headers.
    connect(fixed_->horizontalHeader(), &QHeaderView::sectionClicked, this, &TUserGrid::sortAsHeaderClick);
    connect(horizontalHeader(), &QHeaderView::sortIndicatorChanged, fixed_->horizontalHeader(),
            [this](int section, Qt::SortOrder order) {
                fixed_->horizontalHeader()->setSortIndicator(section < FixedColumnCount ? section : -1, order);
            });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (logical < FixedColumnCount) {
            fixed_->setColumnWidth(logical, size);
            updateFixedGeometry();
        }
    });
    // The fixed columns lie over the grid's own: their dividers are the ones the user drags.
    connect(fixed_->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (logical < FixedColumnCount && columnWidth(logical) != size)
            setColumnWidth(logical, size);
    });
    connect(fixed_->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(), &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, fixed_->verticalScrollBar(), &QAbstractSlider::setValue);
    // A click in the fixed part gives the grid the focus, as a click in the grid would.
    connect(fixed_, &QAbstractItemView::pressed, this, [this] { setFocus(Qt::MouseFocusReason); });
    connect(fixed_, &QAbstractItemView::doubleClicked, this, &QAbstractItemView::doubleClicked);
    updateFixedGeometry();
    fixed_->show();
}

int TUserGrid::fixedWidth() const
{
    int w = 0;
    for (int c = 0; c < FixedColumnCount; ++c)
        w += columnWidth(c);
    return w;
}

void TUserGrid::updateFixedGeometry()
{
    if (!fixed_)
        return;
    fixed_->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), fixedWidth(),
                        viewport()->height() + horizontalHeader()->height());
}

void TUserGrid::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    updateFixedGeometry();
}

void TUserGrid::updateGeometries()
{
    QTableView::updateGeometries();
    updateFixedGeometry();
}

QModelIndex TUserGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = QTableView::moveCursor(cursorAction, modifiers);
    // Keep the current cell out from under the fixed columns when moving left.
    if (fixed_ && cursorAction == MoveLeft && current.column() >= FixedColumnCount &&
        visualRect(current).topLeft().x() < fixedWidth()) {
        const int newValue = horizontalScrollBar()->value() + visualRect(current).topLeft().x() - fixedWidth();
        horizontalScrollBar()->setValue(newValue);
    }
    return current;
}

void TUserGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (index.column() >= FixedColumnCount)
        QTableView::scrollTo(index, hint);
    else if (index.isValid())
        QTableView::scrollTo(model_->index(index.row(), horizontalHeader()->logicalIndexAt(fixedWidth())), hint);
}

void TUserGrid::fillGrid()
{
    setUpdatesEnabled(false);
    // A previous sort order does not apply to the new rows.
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    model_->fillGrid();
    setUpdatesEnabled(true);
}

void TUserGrid::setHiddenTags(const std::vector<int> &tags)
{
    const std::set<int> hidden(tags.begin(), tags.end());
    const auto &cols = gridColumns();
    for (std::size_t c = 0; c < cols.size(); ++c) {
        const int tag = cols[c].tag;
        setColumnHidden(static_cast<int>(c), hideableTag(tag) && hidden.count(tag) > 0);
    }
}

std::vector<int> TUserGrid::visualTags() const
{
    std::vector<int> tags;
    const QHeaderView *h = horizontalHeader();
    for (int v = 0; v < h->count(); ++v)
        tags.push_back(gridColumns()[static_cast<std::size_t>(h->logicalIndex(v))].tag);
    return tags;
}

std::vector<int> TUserGrid::hiddenTags() const
{
    std::vector<int> tags;
    const QHeaderView *h = horizontalHeader();
    for (int v = 0; v < h->count(); ++v) {
        const int logical = h->logicalIndex(v);
        if (h->isSectionHidden(logical))
            tags.push_back(gridColumns()[static_cast<std::size_t>(logical)].tag);
    }
    return tags;
}

void TUserGrid::alignCurrentColumn(Qt::Alignment horizontal)
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    model_->setColumnAlignment(current.column(), horizontal);
}

QString TUserGrid::selectionText() const
{
    std::vector<int> rows;
    for (const QModelIndex &i : selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    std::vector<int> columns;
    const QHeaderView *h = horizontalHeader();
    for (int v = 0; v < h->count(); ++v) {
        const int logical = h->logicalIndex(v);
        if (!h->isSectionHidden(logical) && gridColumns()[static_cast<std::size_t>(logical)].kind != ColumnKind::Icon)
            columns.push_back(logical);
    }
    return model_->tabText(rows, columns);
}

void TUserGrid::copySelection()
{
    const QString text = selectionText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void TUserGrid::sortAsHeaderClick(int logical)
{
    const QHeaderView *h = horizontalHeader();
    const Qt::SortOrder order = (h->sortIndicatorSection() == logical && h->sortIndicatorOrder() == Qt::AscendingOrder)
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    sortByColumn(logical, order);
    onSectionClicked(logical);
}

void TUserGrid::sortByCurrentColumn()
{
    const QModelIndex current = currentIndex();
    if (!current.isValid() || list_->busy())
        return;
    sortAsHeaderClick(current.column());
    scrollTo(currentIndex());
}

void TUserGrid::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        event->accept();
        return;
    }
    if (QKeySequence(event->keyCombination()) == sortShortcut()) {
        sortByCurrentColumn();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TUserGrid::onCurrentChanged(const QModelIndex &current, const QModelIndex &)
{
    if (!current.isValid() || list_->busy())
        return;
    const QModelIndex cn = model_->index(current.row(), columnOfTag(CnTag));
    const QString dn = cn.data(UserGridModel::CarriedDnRole).toString();
    const int record = cn.data(UserGridModel::CarriedIndexRole).toInt();
    if (list_->selectRecord(record, dn))
        emit userSelected(record, dn);
}

void TUserGrid::onSectionMoved(int logical, int oldVisual, int newVisual)
{
    if (guardMove_)
        return;
    // The icon, Common Name and Display Name stay fixed at the left: a move that takes one
    // of them away, or puts another column among them, is undone.
    const bool fixedMoved = gridColumns()[static_cast<std::size_t>(logical)].tag < 0;
    if (fixedMoved || newVisual < FixedColumnCount) {
        guardMove_ = true;
        horizontalHeader()->moveSection(newVisual, oldVisual);
        guardMove_ = false;
    }
}

void TUserGrid::onSectionClicked(int logical)
{
    if (logical == 0 || logical == 1)
        resetWidths();
}

void TUserGrid::resetWidths()
{
    for (int c = 1; c < model_->columnCount(); ++c)
        horizontalHeader()->resizeSection(c, TextColumnWidth);
}
