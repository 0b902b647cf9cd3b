#include "reports/unDaysNumber.h"

#include "options/unOptions.h"
#include "ui/windowlayout.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace reports {

TfrmDaysNumber::TfrmDaysNumber(const ReportInfo &report, const DomainSettings &domain, const QString &presetDays,
                               QWidget *parent)
    : QDialog(parent), report_(report), checkStep_(daysCheckStep(report, domain))
{
    setObjectName(QStringLiteral("TfrmDaysNumber"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("  Please, specify the number of days"));
    build(true);
    const int step = daysListStep(domain);
    for (int i = 1; i <= 10; ++i)
        cbDays->addItem(QString::number(i * step));
    cbDays->setCurrentIndex(0);
    if (!presetDays.isEmpty())
        cbDays->setEditText(presetDays);
    lbHaveNot->setText(report.haveNot);
    lbHaveNot->setStyleSheet(report.redWord ? QStringLiteral("color: red") : QStringLiteral("color: navy"));
    lbLoggedTheLast->setText(report.loggedTheLast);
}

TfrmDaysNumber::TfrmDaysNumber(const ReportInfo &report, const QList<GroupChoice> &groups, const QString &presetName,
                               QWidget *parent)
    : QDialog(parent), report_(report), groups_(groups)
{
    setObjectName(QStringLiteral("TfrmDaysNumber"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("    Please, specify the Group..."));
    build(false);
    int chosen = 0;
    for (int i = 0; i < groups_.size(); ++i) {
        lbGroups->addItem(groups_[i].name);
        if (!presetName.isEmpty() && groups_[i].name == presetName)
            chosen = i;
    }
    if (!groups_.isEmpty())
        lbGroups->setCurrentRow(chosen);
}

void TfrmDaysNumber::build(bool daysPage)
{
    auto *layout = new QVBoxLayout(this);
    if (daysPage) {
        auto *row = new QHBoxLayout;
        row->addWidget(new QLabel(QStringLiteral("Accounts that"), this));
        lbHaveNot = new QLabel(this);
        lbHaveNot->setObjectName(QStringLiteral("lbHaveNot"));
        row->addWidget(lbHaveNot);
        lbLoggedTheLast = new QLabel(this);
        lbLoggedTheLast->setObjectName(QStringLiteral("lbLoggedTheLast"));
        row->addWidget(lbLoggedTheLast);
        cbDays = new QComboBox(this);
        cbDays->setObjectName(QStringLiteral("cbDays"));
        cbDays->setEditable(true);
        cbDays->setInsertPolicy(QComboBox::NoInsert);
        row->addWidget(cbDays);
        row->addWidget(new QLabel(QStringLiteral("days."), this));
        layout->addLayout(row);
        connect(cbDays, qOverload<int>(&QComboBox::activated), this, [this] { cbDaysCloseUp(); });
        cbDays->lineEdit()->installEventFilter(this);
    } else {
        auto *caption = new QLabel(QStringLiteral(" Available groups "), this);
        layout->addWidget(caption);
        lbGroups = new QListWidget(this);
        lbGroups->setObjectName(QStringLiteral("lbGroups"));
        caption->setBuddy(lbGroups);
        layout->addWidget(lbGroups);
        connect(lbGroups, &QListWidget::itemDoubleClicked, this, [this] { btOKClick(); });
    }
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    layout->addLayout(buttons);
    connect(btOK, &QPushButton::clicked, this, &TfrmDaysNumber::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    options::ApplyWindowFont(this);
}

void TfrmDaysNumber::checkDays()
{
    if (cbDays)
        cbDays->setEditText(QString::number(normaliseDays(cbDays->currentText(), checkStep_)));
}

void TfrmDaysNumber::cbDaysCloseUp() { checkDays(); }

void TfrmDaysNumber::btOKClick()
{
    checkDays();
    accept();
}

void TfrmDaysNumber::done(int result)
{
    // Closing any way leaves a checked number behind: the days reports run with it even
    // when the dialog is closed without OK.
    checkDays();
    QDialog::done(result);
}

bool TfrmDaysNumber::eventFilter(QObject *watched, QEvent *event)
{
    if (cbDays && watched == cbDays->lineEdit() && event->type() == QEvent::FocusOut)
        checkDays();
    return QDialog::eventFilter(watched, event);
}

QString TfrmDaysNumber::daysText() const { return cbDays ? cbDays->currentText() : QString(); }

const GroupChoice *TfrmDaysNumber::group() const
{
    if (!lbGroups || groups_.isEmpty())
        return nullptr;
    const int row = lbGroups->currentRow();
    return row >= 0 && row < groups_.size() ? &groups_[row] : &groups_.first();
}

} // namespace reports
