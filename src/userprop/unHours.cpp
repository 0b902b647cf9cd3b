#include "userprop/unHours.h"

#include "options/unOptions.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
QString dayName(int sundayFirstDay)
{
    // Qt counts Monday 1 .. Sunday 7.
    return QLocale().dayName(sundayFirstDay == 0 ? 7 : sundayFirstDay);
}
} // namespace

TfrmHours::TfrmHours(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHours"));
    setWindowTitle(QStringLiteral(" Logon Hours"));
    auto *v = new QVBoxLayout(this);
    grid = new QTableWidget(7, 24, this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    grid->setCornerButtonEnabled(true);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->horizontalHeader()->setDefaultSectionSize(14);
    grid->horizontalHeader()->setMinimumSectionSize(8);
    grid->verticalHeader()->setFixedWidth(100);
    grid->setStyleSheet(QStringLiteral("QTableWidget::item:selected { background: lime; }"));
    QStringList hourLabels;
    for (int h = 0; h < 24; ++h)
        hourLabels << (h % 2 == 0 ? QString::number(h) : QString());
    grid->setHorizontalHeaderLabels(hourLabels);
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 24; ++c)
            grid->setItem(r, c, new QTableWidgetItem);
    // The corner button selects everything; its caption is "All".
    if (auto *corner = grid->findChild<QAbstractButton *>())
        corner->setText(QStringLiteral("All"));
    v->addWidget(grid, 1);
    lbDeys = new QLabel(this);
    lbDeys->setObjectName(QStringLiteral("lbDeys"));
    v->addWidget(lbDeys);
    lbState = new QLabel(this);
    lbState->setObjectName(QStringLiteral("lbState"));
    v->addWidget(lbState);
    auto *rl = new QHBoxLayout;
    rbBlue = new QRadioButton(QStringLiteral("Logon Permitted"), this);
    rbBlue->setObjectName(QStringLiteral("rbBlue"));
    rbRed = new QRadioButton(QStringLiteral("Logon Denied"), this);
    rbRed->setObjectName(QStringLiteral("rbRed"));
    rl->addWidget(rbBlue);
    rl->addWidget(rbRed);
    rl->addStretch(1);
    v->addLayout(rl);
    auto *bb = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    btOK = bb->button(QDialogButtonBox::Ok);
    btOK->setObjectName(QStringLiteral("btOK"));
    bb->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btCancel"));
    v->addWidget(bb);
    connect(bb, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(bb, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(rbBlue, &QRadioButton::clicked, this, &TfrmHours::rbBlueClick);
    connect(rbRed, &QRadioButton::clicked, this, &TfrmHours::rbRedClick);
    connect(grid, &QTableWidget::itemSelectionChanged, this, &TfrmHours::selectionChanged);
    setFirstDay(QLocale().firstDayOfWeek() - 1);
    options::ApplyWindowFont(this);
    resize(520, 300);
}

void TfrmHours::setFirstDay(int firstDay)
{
    firstDay_ = ((firstDay % 7) + 7) % 7;
    QStringList days;
    for (int r = 0; r < 7; ++r)
        days << dayName(userprop::dayOfRow(r, firstDay_));
    grid->setVerticalHeaderLabels(days);
    paintCells();
}

void TfrmHours::setHours(const userprop::HoursArray &hours, bool writable, bool known)
{
    grid_ = hours;
    grid->setEnabled(writable);
    rbBlue->setEnabled(writable);
    rbRed->setEnabled(writable);
    btOK->setEnabled(writable);
    lbState->setText(known ? QString() : QStringLiteral("The stored logon hours are unknown (not 21 bytes)."));
    paintCells();
}

userprop::HoursArray TfrmHours::hours() const
{
    return grid_;
}

void TfrmHours::paintCells()
{
    for (int r = 0; r < 7; ++r) {
        const int day = userprop::dayOfRow(r, firstDay_);
        for (int c = 0; c < 24; ++c)
            grid->item(r, c)->setBackground(grid_[static_cast<std::size_t>(day * 24 + c)] ? QColor(0, 0, 255)
                                                                                         : QColor(255, 0, 255));
    }
}

void TfrmHours::selectHours(int firstRow, int lastRow, int firstHour, int lastHour)
{
    grid->clearSelection();
    grid->setRangeSelected(QTableWidgetSelectionRange(firstRow, firstHour, lastRow, lastHour), true);
}

QString TfrmHours::selectionText() const
{
    const auto ranges = grid->selectedRanges();
    if (ranges.isEmpty())
        return {};
    const QTableWidgetSelectionRange &r = ranges.first();
    return userprop::hoursSelectionText(dayName(userprop::dayOfRow(r.topRow(), firstDay_)),
                                        dayName(userprop::dayOfRow(r.bottomRow(), firstDay_)),
                                        r.topRow() == r.bottomRow(), r.leftColumn() + 1, r.rightColumn() + 1);
}

void TfrmHours::selectionChanged()
{
    rbBlue->setAutoExclusive(false);
    rbRed->setAutoExclusive(false);
    rbBlue->setChecked(false);
    rbRed->setChecked(false);
    rbBlue->setAutoExclusive(true);
    rbRed->setAutoExclusive(true);
    lbDeys->setText(selectionText());
}

void TfrmHours::setSelected(quint8 value)
{
    for (const QTableWidgetSelectionRange &r : grid->selectedRanges())
        for (int row = r.topRow(); row <= r.bottomRow(); ++row)
            for (int c = r.leftColumn(); c <= r.rightColumn(); ++c)
                grid_[static_cast<std::size_t>(userprop::dayOfRow(row, firstDay_) * 24 + c)] = value;
    paintCells();
    grid->clearSelection();
}

void TfrmHours::mousePressEvent(QMouseEvent *event)
{
    grid->clearSelection();
    QDialog::mousePressEvent(event);
}

void TfrmHours::rbBlueClick()
{
    setSelected(1);
}

void TfrmHours::rbRedClick()
{
    setSelected(0);
}

bool TfrmHours::edit(QWidget *parent, userprop::HoursArray &hours, bool writable, bool known)
{
    TfrmHours dlg(parent);
    dlg.setHours(hours, writable, known);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    hours = dlg.hours();
    return true;
}
