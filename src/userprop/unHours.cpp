#include "userprop/unHours.h"

#include "options/unOptions.h"
#include "ui/windowlayout.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
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

namespace {
const QColor kPermitted(0, 0, 255);
const QColor kDenied(255, 0, 255);
constexpr int kHourWidth = 8;
constexpr int kDayColumnWidth = 100;

QIcon swatch(const QColor &colour)
{
    QPixmap pm(12, 12);
    pm.fill(colour);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.drawRect(0, 0, 11, 11);
    return QIcon(pm);
}
} // namespace

TfrmHours::TfrmHours(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHours"));
    setWindowTitle(QStringLiteral(" Logon Hours"));
    auto *v = new QVBoxLayout(this);
    grid = new QTableWidget(7, 24, this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setAccessibleName(QStringLiteral("Logon hours"));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    grid->setCornerButtonEnabled(true);
    // The whole week at once: hours of 8 pixels beside the 100-pixel day names, no scrolling;
    // a larger window gives the hours and days more room.
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui::setupColumns(grid, ui::Columns::Fixed);
    grid->horizontalHeader()->setMinimumSectionSize(kHourWidth);
    grid->horizontalHeader()->setDefaultSectionSize(kHourWidth);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid->verticalHeader()->setFixedWidth(kDayColumnWidth);
    grid->setStyleSheet(QStringLiteral("QTableWidget::item:selected { background: lime; }"));
    grid->setHorizontalHeaderLabels(QStringList(24, QString()));
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 24; ++c)
            grid->setItem(r, c, new QTableWidgetItem);
    // The corner button selects everything; its caption is "All".
    if (auto *corner = grid->findChild<QAbstractButton *>())
        corner->setText(QStringLiteral("All"));
    const int frame = 2 * grid->frameWidth();
    const int rowHeight = grid->fontMetrics().height() + 6;
    grid->setMinimumSize(kDayColumnWidth + 24 * kHourWidth + frame,
                         grid->horizontalHeader()->sizeHint().height() + 7 * rowHeight + frame);
    grid->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    // The hour labels above the grid: 0, 2 ... 22 at the start of their hour and the closing
    // 0 at the end of the last one.
    hourRuler_ = new QWidget(this);
    hourRuler_->setObjectName(QStringLiteral("pnHours"));
    for (int h = 0; h <= 24; h += 2) {
        auto *l = new QLabel(QString::number(h % 24), hourRuler_);
        l->setObjectName(QStringLiteral("lbHour%1").arg(h));
        l->setAlignment(Qt::AlignCenter);
        hourLabels_ << l;
    }
    hourRuler_->setFixedHeight(fontMetrics().height() + 2);
    hourRuler_->installEventFilter(this);
    grid->horizontalHeader()->installEventFilter(this);
    v->addWidget(hourRuler_);
    v->addWidget(grid, 1);
    lbDeys = new QLabel(this);
    lbDeys->setObjectName(QStringLiteral("lbDeys"));
    lbDeys->setWordWrap(true);
    v->addWidget(lbDeys);
    lbState = new QLabel(this);
    lbState->setObjectName(QStringLiteral("lbState"));
    lbState->setWordWrap(true);
    v->addWidget(lbState);
    // The colours the grid paints, beside the choices that set them.
    rbBlue = new QRadioButton(QStringLiteral("Logon Permitted"), this);
    rbBlue->setObjectName(QStringLiteral("rbBlue"));
    rbBlue->setIcon(swatch(kPermitted));
    rbBlue->setToolTip(QStringLiteral("Blue hours: logon permitted"));
    rbRed = new QRadioButton(QStringLiteral("Logon Denied"), this);
    rbRed->setObjectName(QStringLiteral("rbRed"));
    rbRed->setIcon(swatch(kDenied));
    rbRed->setToolTip(QStringLiteral("Fuchsia hours: logon denied"));
    v->addWidget(rbBlue);
    v->addWidget(rbRed);
    auto *bb = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    btOK = bb->button(QDialogButtonBox::Ok);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    bb->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btCancel"));
    v->addWidget(bb);
    connect(bb, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(bb, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(rbBlue, &QRadioButton::clicked, this, &TfrmHours::rbBlueClick);
    connect(rbRed, &QRadioButton::clicked, this, &TfrmHours::rbRedClick);
    connect(grid, &QTableWidget::itemSelectionChanged, this, &TfrmHours::selectionChanged);
    connect(grid->horizontalHeader(), &QHeaderView::sectionResized, this, &TfrmHours::placeHourLabels);
    setFirstDay(QLocale().firstDayOfWeek() - 1);
    options::ApplyWindowFont(this);
    // Two-digit hours 16 pixels apart read apart in a slightly smaller font.
    QFont small = font();
    small.setPointSizeF(font().pointSizeF() * 0.85);
    for (QLabel *l : hourLabels_)
        l->setFont(small);
    ui::setupWindow(this);
}

void TfrmHours::placeHourLabels()
{
    const QHeaderView *h = grid->horizontalHeader();
    const int origin = hourRuler_->mapFrom(this, h->mapTo(this, QPoint(0, 0))).x();
    for (int i = 0; i < hourLabels_.size(); ++i) {
        const int hour = 2 * i;
        const int x = origin + (hour < 24 ? h->sectionViewportPosition(hour)
                                          : h->sectionViewportPosition(23) + h->sectionSize(23));
        QLabel *l = hourLabels_[i];
        const int w = l->sizeHint().width();
        l->setGeometry(qBound(0, x - w / 2, hourRuler_->width() - w), 0, w, hourRuler_->height());
    }
}

bool TfrmHours::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == hourRuler_ || watched == grid->horizontalHeader()) &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Move || event->type() == QEvent::Show))
        placeHourLabels();
    return QDialog::eventFilter(watched, event);
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
            grid->item(r, c)->setBackground(grid_[static_cast<std::size_t>(day * 24 + c)] ? kPermitted : kDenied);
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
