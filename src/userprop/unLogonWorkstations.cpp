#include "userprop/unLogonWorkstations.h"

#include "options/unOptions.h"
#include "userprop/unAccountLogic.h"
#include "ui/windowlayout.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TfrmLogonWorkstations::TfrmLogonWorkstations(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLogonWorkstations"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral(" Logon Workstations"));
    auto *v = new QVBoxLayout(this);
    rbAllComputers = new QRadioButton(QStringLiteral("All Computers"), this);
    rbAllComputers->setObjectName(QStringLiteral("rbAllComputers"));
    rbTheFollowingComputers = new QRadioButton(QStringLiteral("The following computers"), this);
    rbTheFollowingComputers->setObjectName(QStringLiteral("rbTheFollowingComputers"));
    v->addWidget(rbAllComputers);
    v->addWidget(rbTheFollowingComputers);
    auto *g = new QGridLayout;
    auto *lbComputer = new QLabel(QStringLiteral("Computer name:"), this);
    g->addWidget(lbComputer, 0, 0, 1, 2);
    ebAddComputer = new QLineEdit(this);
    ebAddComputer->setObjectName(QStringLiteral("ebAddComputer"));
    lbComputer->setBuddy(ebAddComputer);
    g->addWidget(ebAddComputer, 1, 0);
    auto button = [this](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    btAdd = button("btAdd", QStringLiteral("Add"));
    btEdit = button("btEdit", QStringLiteral("Edit"));
    btRemove = button("btRemove", QStringLiteral("Remove"));
    g->addWidget(btAdd, 1, 1);
    lvComputers = new QListWidget(this);
    lvComputers->setObjectName(QStringLiteral("lvComputers"));
    lvComputers->setAccessibleName(QStringLiteral("Computers"));
    g->addWidget(lvComputers, 2, 0, 3, 1);
    g->addWidget(btEdit, 2, 1);
    g->addWidget(btRemove, 3, 1);
    v->addLayout(g, 1);
    auto *bl = new QHBoxLayout;
    bl->addStretch(1);
    btOK = button("btOK", QStringLiteral("OK"));
    btCancel = button("btCancel", QStringLiteral("Cancel"));
    btOK->setDefault(true);
    bl->addWidget(btOK);
    bl->addWidget(btCancel);
    v->addLayout(bl);
    connect(btAdd, &QPushButton::clicked, this, &TfrmLogonWorkstations::btAddClick);
    connect(btRemove, &QPushButton::clicked, this, &TfrmLogonWorkstations::btRemoveClick);
    connect(btEdit, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem *item = lvComputers->currentItem())
            lvComputers->editItem(item);
    });
    connect(lvComputers, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        editName(lvComputers->row(item), item->text());
    });
    connect(lvComputers, &QListWidget::currentRowChanged, this, &TfrmLogonWorkstations::updateButtons);
    connect(ebAddComputer, &QLineEdit::textChanged, this, &TfrmLogonWorkstations::updateButtons);
    connect(ebAddComputer, &QLineEdit::returnPressed, this, &TfrmLogonWorkstations::btAddClick);
    connect(rbAllComputers, &QRadioButton::clicked, this, &TfrmLogonWorkstations::rbAllComputersClick);
    connect(rbTheFollowingComputers, &QRadioButton::clicked, this, &TfrmLogonWorkstations::updateButtons);
    connect(btOK, &QPushButton::clicked, this, &TfrmLogonWorkstations::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    options::ApplyWindowFont(this);
}

void TfrmLogonWorkstations::setNames(const QStringList &names, bool writable)
{
    writable_ = writable;
    const QSignalBlocker block(lvComputers);
    lvComputers->clear();
    for (const QString &n : names) {
        auto *item = new QListWidgetItem(n, lvComputers);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    (names.isEmpty() ? rbAllComputers : rbTheFollowingComputers)->setChecked(true);
    for (QWidget *w : std::initializer_list<QWidget *>{rbAllComputers, rbTheFollowingComputers, ebAddComputer, lvComputers})
        w->setEnabled(writable);
    btOK->setEnabled(false);
    updateButtons();
}

QStringList TfrmLogonWorkstations::listed() const
{
    QStringList out;
    for (int i = 0; i < lvComputers->count(); ++i)
        out << lvComputers->item(i)->text();
    return out;
}

QStringList TfrmLogonWorkstations::names() const
{
    if (!rbTheFollowingComputers->isChecked())
        return {};
    QStringList out;
    for (const QString &n : listed())
        if (!n.trimmed().isEmpty())
            out << n.trimmed();
    return out;
}

void TfrmLogonWorkstations::updateButtons()
{
    btAdd->setEnabled(writable_ && !ebAddComputer->text().trimmed().isEmpty());
    const bool selected = lvComputers->currentRow() >= 0;
    btEdit->setEnabled(writable_ && selected);
    btRemove->setEnabled(writable_ && selected);
}

void TfrmLogonWorkstations::btAddClick()
{
    const QString name = ebAddComputer->text().trimmed();
    if (name.isEmpty() || !writable_)
        return;
    ebAddComputer->clear();
    if (listed().contains(name, Qt::CaseInsensitive))
        return;
    auto *item = new QListWidgetItem(name, lvComputers);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    lvComputers->setCurrentItem(item);
    rbTheFollowingComputers->setChecked(true);
    btOK->setEnabled(true);
    updateButtons();
}

void TfrmLogonWorkstations::btRemoveClick()
{
    const int row = lvComputers->currentRow();
    if (row < 0 || !writable_)
        return;
    delete lvComputers->takeItem(row);
    btOK->setEnabled(true);
    updateButtons();
}

void TfrmLogonWorkstations::editName(int row, const QString &name)
{
    QListWidgetItem *item = lvComputers->item(row);
    if (!item)
        return;
    const QSignalBlocker block(lvComputers);
    item->setText(name.trimmed());
    btOK->setEnabled(true);
}

void TfrmLogonWorkstations::rbAllComputersClick()
{
    btOK->setEnabled(true);
    updateButtons();
}

void TfrmLogonWorkstations::btOKClick()
{
    // Two names that differ only in case would be one computer twice.
    if (rbTheFollowingComputers->isChecked() && userprop::hasDuplicateNames(listed()))
        return;
    accept();
}

bool TfrmLogonWorkstations::edit(QWidget *parent, QStringList &names, bool writable)
{
    TfrmLogonWorkstations dlg(parent);
    dlg.setNames(names, writable);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    names = dlg.names();
    return true;
}
