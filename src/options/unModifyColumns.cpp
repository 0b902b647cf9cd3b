#include "options/unModifyColumns.h"

#include "options/unOptions.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace options {

ColumnChooser::ColumnChooser(const TOurColumnArray &columns, const QSet<int> &hidden)
    : columns_(columns), initial_(hidden)
{
    reset();
}

void ColumnChooser::reset()
{
    hidden_.clear();
    displayed_.clear();
    for (int tag : columns_)
        (initial_.contains(tag) ? hidden_ : displayed_).append(tag);
}

namespace {

QList<int> validSorted(QList<int> positions, qsizetype size)
{
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    positions.removeIf([size](int p) { return p < 0 || p >= size; });
    return positions;
}

} // namespace

void ColumnChooser::add(const QList<int> &hiddenPositions)
{
    const QList<int> pos = validSorted(hiddenPositions, hidden_.size());
    QList<int> moved;
    for (int p : pos)
        moved << hidden_.at(p);
    for (auto it = pos.crbegin(); it != pos.crend(); ++it)
        hidden_.removeAt(*it);
    displayed_ << moved;
}

QList<int> ColumnChooser::remove(const QList<int> &displayedPositions)
{
    const QList<int> pos = validSorted(displayedPositions, displayed_.size());
    QList<int> moved, stay;
    for (int p : pos)
        (displayed_.at(p) < 0 ? stay : moved) << p;
    QList<int> tags;
    for (int p : moved)
        tags << displayed_.at(p);
    for (auto it = moved.crbegin(); it != moved.crend(); ++it)
        displayed_.removeAt(*it);
    hidden_ << tags;
    // Positions of the items that stayed, after the others left.
    QList<int> staying;
    for (int p : stay)
        staying << p - int(std::count_if(moved.cbegin(), moved.cend(), [p](int m) { return m < p; }));
    return staying;
}

int ColumnChooser::moveUp(const QList<int> &displayedPositions)
{
    const QList<int> pos = validSorted(displayedPositions, displayed_.size());
    if (pos.size() != 1 || pos.first() < 2 || displayed_.at(pos.first()) == -3)
        return -1;
    const int p = pos.first();
    displayed_.swapItemsAt(p, p - 1);
    return p - 1;
}

int ColumnChooser::moveDown(const QList<int> &displayedPositions)
{
    const QList<int> pos = validSorted(displayedPositions, displayed_.size());
    if (pos.size() != 1 || pos.first() + 1 >= displayed_.size() || displayed_.at(pos.first()) == -3)
        return -1;
    const int p = pos.first();
    // The item with tag -3 keeps its place: nothing swaps with it either.
    if (displayed_.at(p + 1) == -3)
        return -1;
    displayed_.swapItemsAt(p, p + 1);
    return p + 1;
}

QSet<int> ColumnChooser::hiddenSet() const
{
    return QSet<int>(hidden_.cbegin(), hidden_.cend());
}

// --- the dialog -----------------------------------------------------------------------

TfrmModifyColumns::TfrmModifyColumns(const TOurColumnArray &columns, const QSet<int> &hidden,
                                     std::function<QString(int)> captionOf, QWidget *parent)
    : QDialog(parent), chooser_(columns, hidden), captionOf_(std::move(captionOf))
{
    setObjectName(QStringLiteral("frmModifyColumns"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("  Modify Columns"));
    setModal(true);

    auto *grid = new QGridLayout(this);
    auto *lbHidden = new QLabel(QStringLiteral("Hidden columns:"), this);
    auto *lbShown = new QLabel(QStringLiteral("Displayed columns:"), this);
    lbHiddenColumn_ = new QListWidget(this);
    lbHiddenColumn_->setObjectName(QStringLiteral("lbHiddenColumn"));
    lbUnHiddenColumn_ = new QListWidget(this);
    lbUnHiddenColumn_->setObjectName(QStringLiteral("lbUnHiddenColumn"));
    for (QListWidget *l : {lbHiddenColumn_, lbUnHiddenColumn_}) {
        l->setSelectionMode(QAbstractItemView::ExtendedSelection);
        l->installEventFilter(this);
    }
    lbHidden->setBuddy(lbHiddenColumn_);
    lbShown->setBuddy(lbUnHiddenColumn_);

    auto *tbtAdd = new QToolButton(this);
    tbtAdd->setObjectName(QStringLiteral("tbtAdd"));
    tbtAdd->setText(QStringLiteral(">"));
    ui::setHint(tbtAdd, QStringLiteral("Add selected columns to the list"));
    auto *btRemove = new QToolButton(this);
    btRemove->setObjectName(QStringLiteral("btRemove"));
    btRemove->setText(QStringLiteral("<"));
    ui::setHint(btRemove, QStringLiteral("Remove selected columns from the list"));
    auto *btReset = new QToolButton(this);
    btReset->setObjectName(QStringLiteral("btReset"));
    btReset->setText(QStringLiteral("<<"));
    ui::setHint(btReset, QStringLiteral("Reset"));
    auto *middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(tbtAdd);
    middle->addWidget(btRemove);
    middle->addWidget(btReset);
    middle->addStretch();

    auto *btMoveUp = new QPushButton(QStringLiteral("Move Up"), this);
    btMoveUp->setObjectName(QStringLiteral("btMoveUp"));
    auto *btMoveDown = new QPushButton(QStringLiteral("Move Down"), this);
    btMoveDown->setObjectName(QStringLiteral("btMoveDown"));
    auto *btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    auto *btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    auto *right = new QVBoxLayout;
    right->addWidget(btMoveUp);
    right->addWidget(btMoveDown);
    right->addStretch();
    right->addWidget(btOK);
    right->addWidget(btCancel);

    grid->addWidget(lbHidden, 0, 0);
    grid->addWidget(lbShown, 0, 2);
    grid->addWidget(lbHiddenColumn_, 1, 0);
    grid->addLayout(middle, 1, 1);
    grid->addWidget(lbUnHiddenColumn_, 1, 2);
    grid->addLayout(right, 1, 3);

    connect(tbtAdd, &QToolButton::clicked, this, &TfrmModifyColumns::tbtAddClick);
    connect(btRemove, &QToolButton::clicked, this, &TfrmModifyColumns::btRemoveClick);
    connect(btReset, &QToolButton::clicked, this, &TfrmModifyColumns::btResetClick);
    connect(btMoveUp, &QPushButton::clicked, this, &TfrmModifyColumns::btMoveUpClick);
    connect(btMoveDown, &QPushButton::clicked, this, &TfrmModifyColumns::btMoveDownClick);
    connect(btOK, &QPushButton::clicked, this, &TfrmModifyColumns::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lbHiddenColumn_, &QListWidget::itemDoubleClicked, this, [this] { tbtAddClick(); });
    connect(lbUnHiddenColumn_, &QListWidget::itemDoubleClicked, this, [this] { btRemoveClick(); });

    // Tab goes as the eye reads: the hidden list, the buttons that move between the lists,
    // the displayed list, its order, OK and Cancel.
    ui::tabOrder({lbHiddenColumn_, tbtAdd, btRemove, btReset, lbUnHiddenColumn_, btMoveUp, btMoveDown, btOK, btCancel});
    ApplyWindowFont(this);
    fill();
}

void TfrmModifyColumns::fill(const QList<int> &selectDisplayed)
{
    auto put = [this](QListWidget *list, const QList<int> &tags) {
        list->clear();
        for (int tag : tags) {
            auto *item = new QListWidgetItem(captionOf_ ? captionOf_(tag) : QString::number(tag), list);
            item->setData(Qt::UserRole, tag);
        }
    };
    put(lbHiddenColumn_, chooser_.hiddenList());
    put(lbUnHiddenColumn_, chooser_.displayedList());
    for (int p : selectDisplayed)
        if (auto *item = lbUnHiddenColumn_->item(p))
            item->setSelected(true);
    if (selectDisplayed.size() == 1)
        lbUnHiddenColumn_->setCurrentRow(selectDisplayed.first(), QItemSelectionModel::NoUpdate);
}

QList<int> TfrmModifyColumns::selectedRows(QListWidget *list)
{
    QList<int> rows;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            rows << i;
    return rows;
}

void TfrmModifyColumns::tbtAddClick()
{
    chooser_.add(selectedRows(lbHiddenColumn_));
    fill();
}

void TfrmModifyColumns::btRemoveClick()
{
    fill(chooser_.remove(selectedRows(lbUnHiddenColumn_)));
}

void TfrmModifyColumns::btMoveUpClick()
{
    const int p = chooser_.moveUp(selectedRows(lbUnHiddenColumn_));
    if (p >= 0)
        fill({p});
}

void TfrmModifyColumns::btMoveDownClick()
{
    const int p = chooser_.moveDown(selectedRows(lbUnHiddenColumn_));
    if (p >= 0)
        fill({p});
}

void TfrmModifyColumns::btResetClick()
{
    chooser_.reset();
    fill();
}

void TfrmModifyColumns::btOKClick()
{
    if (chooser_.changed())
        accept();
    else
        reject();
}

bool TfrmModifyColumns::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::SelectAll)) {
            if (auto *list = qobject_cast<QListWidget *>(watched)) {
                list->selectAll();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool selectVisibleColumns(QWidget *parent, const TOurColumnArray &columns, QSet<int> &hidden,
                          std::function<QString(int)> captionOf)
{
    TfrmModifyColumns dlg(columns, hidden, std::move(captionOf), parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    hidden = dlg.hiddenSet();
    return true;
}

} // namespace options

namespace options {

bool selectVisibleColumns(QWidget *parent, const std::vector<int> &columns, std::vector<int> &hidden,
                          std::function<QString(int)> captionOf)
{
    const TOurColumnArray cols(columns.cbegin(), columns.cend());
    QSet<int> set(hidden.cbegin(), hidden.cend());
    if (!selectVisibleColumns(parent, cols, set, std::move(captionOf)))
        return false;
    hidden.clear();
    for (int tag : cols)
        if (set.contains(tag))
            hidden.push_back(tag);
    return true;
}

} // namespace options
