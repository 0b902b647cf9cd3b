#include "query/unLastLogonBox.h"

#include "ui/texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace query {

namespace {
const char kDarkBlue[] = "color: #000080;";
const char kRed[] = "color: #ff0000;";
} // namespace

TLastLogonBox::TLastLogonBox(QWidget *parent) : QGroupBox(QStringLiteral(" Last Logon"), parent)
{
    setObjectName(QStringLiteral("gbLastLogon"));
    auto *grid = new QGridLayout(this);
    labels_[0] = new QLabel(QStringLiteral("Accounts that"), this);
    lbHave = new QLabel(QStringLiteral("have"), this);
    lbHave->setObjectName(QStringLiteral("lbHave"));
    labels_[1] = new QLabel(QStringLiteral("logged in in the last"), this);
    cbDays = new QComboBox(this);
    cbDays->setObjectName(QStringLiteral("cbDays"));
    cbDays->setEditable(true);
    cbDays->setInsertPolicy(QComboBox::NoInsert);
    labels_[2] = new QLabel(QStringLiteral("days."), this);
    cbTogle = new QCheckBox(QStringLiteral("Toggle"), this);
    cbTogle->setObjectName(QStringLiteral("cbTogle"));
    grid->addWidget(labels_[0], 0, 0);
    grid->addWidget(lbHave, 0, 1);
    grid->addWidget(labels_[1], 0, 2);
    grid->addWidget(cbDays, 1, 0, 1, 2);
    grid->addWidget(labels_[2], 1, 2);
    grid->addWidget(cbTogle, 1, 3);
    setRule(lastLogonRule(2, 15));

    cbDays->lineEdit()->installEventFilter(this);
    cbDays->installEventFilter(this);
    connect(cbDays, &QComboBox::activated, this, [this](int) { normalise(); });
    connect(cbTogle, &QCheckBox::toggled, this, [this](bool) {
        updateHaveLabel();
        normalise();
        emit changed();
    });
    updateHaveLabel();
}

void TLastLogonBox::setRule(const LastLogonRule &rule)
{
    rule_ = rule;
    const QSignalBlocker block(cbDays);
    cbDays->clear();
    cbDays->addItems(lastLogonChoices(rule.step));
    cbDays->setCurrentIndex(-1);
    cbDays->setEditText(QString());
    lastDays_ = 0;
    ui::setHint(this, rule.thisServerOnly ? QStringLiteral("Last logon in THIS server!")
                                           : QStringLiteral("Number of weeks since last logon"));
    const QString colour = rule.thisServerOnly ? QString::fromLatin1(kRed) : QString();
    for (QLabel *l : labels_)
        l->setStyleSheet(colour);
}

int TLastLogonBox::days() const
{
    return normaliseLogonDays(cbDays->currentText(), rule_.step);
}

void TLastLogonBox::setDays(int days)
{
    cbDays->setEditText(days > 0 ? QString::number(days) : QString());
    normalise();
}

bool TLastLogonBox::toggled() const
{
    return cbTogle->isChecked();
}

void TLastLogonBox::setToggled(bool on)
{
    cbTogle->setChecked(on);
}

QString TLastLogonBox::term(const QDate &today) const
{
    return lastLogonTerm(rule_.attribute, toggled(), days(), today);
}

void TLastLogonBox::clear()
{
    const QSignalBlocker block(cbTogle);
    cbTogle->setChecked(false);
    cbDays->setCurrentIndex(-1);
    cbDays->setEditText(QString());
    lastDays_ = 0;
    updateHaveLabel();
}

void TLastLogonBox::normalise()
{
    const int d = days();
    const QString text = d > 0 ? QString::number(d) : QString();
    if (cbDays->currentText() != text)
        cbDays->setEditText(text);
    if (d != lastDays_) {
        lastDays_ = d;
        emit changed();
    }
}

void TLastLogonBox::updateHaveLabel()
{
    const bool notIn = cbTogle->isChecked();
    lbHave->setText(notIn ? QStringLiteral("have not") : QStringLiteral("have"));
    lbHave->setStyleSheet(QString::fromLatin1(notIn ? kRed : kDarkBlue));
}

bool TLastLogonBox::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == cbDays || watched == cbDays->lineEdit()) && event->type() == QEvent::FocusOut)
        normalise();
    return QGroupBox::eventFilter(watched, event);
}

} // namespace query
