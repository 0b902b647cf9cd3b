#include "query/unLoadSaveLDAPQ.h"

#include "options/unOptions.h"
#include "core/unValuesText.h"
#include "ui/prompt.h"
#include "ui/windowlayout.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace query {

namespace {
enum Column { CName, CText, CFlag };
const QString kTextFilter = QStringLiteral("Text files (*.txt)");
const QString kUnicodeFilter = QStringLiteral("UNICODE Text files (*.txt)");
} // namespace

// ---- rename ---------------------------------------------------------------------------------

TfrmRenameTo::TfrmRenameTo(const QString &oldName, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmRenameTo"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("   Rename to.."));
    auto *grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Old Name:"), this), 0, 0);
    lbOldName = new QLabel(oldName, this);
    lbOldName->setObjectName(QStringLiteral("lbOldName"));
    grid->addWidget(lbOldName, 0, 1);
    auto *lbRenameTo = new QLabel(QStringLiteral("RenameTo:"), this);
    grid->addWidget(lbRenameTo, 1, 0);
    ebRenameTo = new QLineEdit(this);
    ebRenameTo->setObjectName(QStringLiteral("ebRenameTo"));
    lbRenameTo->setBuddy(ebRenameTo);
    grid->addWidget(ebRenameTo, 1, 1);
    auto *buttons = new QHBoxLayout;
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    options::ApplyWindowFont(this);
}

// ---- the dialog -----------------------------------------------------------------------------

TfrmLoadSaveLDAPQ::TfrmLoadSaveLDAPQ(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLoadSaveLDAPQ"));
    setWindowTitle(QStringLiteral("  Load \\ Save LDAP Query"));
    setModal(true);
    auto *root = new QVBoxLayout(this);

    auto *nameRow = new QHBoxLayout;
    ebLDAPName = new QLineEdit(this);
    ebLDAPName->setObjectName(QStringLiteral("ebLDAPName"));
    ebLDAPName->setEnabled(false);
    // No caption stands beside these three: their names for screen readers.
    ebLDAPName->setAccessibleName(QStringLiteral("Query name"));
    btSaveAs = new QPushButton(QStringLiteral("Save As"), this);
    btSaveAs->setObjectName(QStringLiteral("btSaveAs"));
    btSaveAs->setEnabled(false);
    nameRow->addWidget(ebLDAPName, 1);
    nameRow->addWidget(btSaveAs);
    root->addLayout(nameRow);

    auto *listRow = new QHBoxLayout;
    ListViewQ = new QTreeWidget(this);
    ListViewQ->setObjectName(QStringLiteral("ListViewQ"));
    ListViewQ->setColumnCount(3);
    ListViewQ->setHeaderLabels({QStringLiteral("Name"), QString(), QString()});
    ListViewQ->setColumnHidden(CText, true);
    ListViewQ->setColumnHidden(CFlag, true);
    ListViewQ->setRootIsDecorated(false);
    ListViewQ->setAccessibleName(QStringLiteral("Saved queries"));
    listRow->addWidget(ListViewQ, 1);
    auto *side = new QVBoxLayout;
    btDelete = new QPushButton(QStringLiteral("Delete Selected"), this);
    btDelete->setObjectName(QStringLiteral("btDelete"));
    btRename = new QPushButton(QStringLiteral("Rename Selected"), this);
    btRename->setObjectName(QStringLiteral("btRename"));
    side->addWidget(btDelete);
    side->addWidget(btRename);
    gbSaveToTxt = new QGroupBox(QStringLiteral(" Save To TXT File "), this);
    gbSaveToTxt->setObjectName(QStringLiteral("gbSaveToTxt"));
    auto *gl = new QVBoxLayout(gbSaveToTxt);
    rbAll = new QRadioButton(QStringLiteral("All"), gbSaveToTxt);
    rbAll->setObjectName(QStringLiteral("rbAll"));
    rbAll->setChecked(true);
    rbSelected = new QRadioButton(QStringLiteral("Selected"), gbSaveToTxt);
    rbSelected->setObjectName(QStringLiteral("rbSelected"));
    rbSelected->setEnabled(false);
    btSaveTxt = new QPushButton(QStringLiteral("Save ..."), gbSaveToTxt);
    btSaveTxt->setObjectName(QStringLiteral("btSaveTxt"));
    gl->addWidget(rbAll);
    gl->addWidget(rbSelected);
    gl->addWidget(btSaveTxt);
    side->addWidget(gbSaveToTxt);
    side->addStretch(1);
    listRow->addLayout(side);
    root->addLayout(listRow, 1);

    LDAPMemo = new QPlainTextEdit(this);
    LDAPMemo->setObjectName(QStringLiteral("LDAPMemo"));
    LDAPMemo->setReadOnly(true);
    LDAPMemo->setAccessibleName(QStringLiteral("Query text"));
    root->addWidget(LDAPMemo);

    auto *buttons = new QHBoxLayout;
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    root->addLayout(buttons);

    connect(ebLDAPName, &QLineEdit::textChanged, this, &TfrmLoadSaveLDAPQ::updateSaveAs);
    connect(btSaveAs, &QPushButton::clicked, this, &TfrmLoadSaveLDAPQ::btSaveAsClick);
    connect(btDelete, &QPushButton::clicked, this, &TfrmLoadSaveLDAPQ::btDeleteClick);
    connect(btRename, &QPushButton::clicked, this, &TfrmLoadSaveLDAPQ::btRenameClick);
    connect(btOK, &QPushButton::clicked, this, &TfrmLoadSaveLDAPQ::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btSaveTxt, &QPushButton::clicked, this, &TfrmLoadSaveLDAPQ::btSaveTxtClick);
    connect(ListViewQ, &QTreeWidget::currentItemChanged, this, &TfrmLoadSaveLDAPQ::selectionChanged);
    connect(ListViewQ, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *, int) {
        if (mode_ == Mode::Load)
            btOKClick();
    });

    const SavedQueryList stored = LoadSavedQueries();
    for (const StoredQuery &s : stored.queries)
        addRow(s.query);
    skipped_ = stored.skipped;
    selectionChanged();
    options::ApplyWindowFont(this);
    ui::setupWindow(this, QSize(520, 420));
}

void TfrmLoadSaveLDAPQ::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Unreadable records are reported once, when the list is first shown.
    if (!skipped_.isEmpty() && !reported_) {
        reported_ = true;
        QTimer::singleShot(0, this, [this] { ui::Prompt::warning(this, skippedQueriesText(skipped_), windowTitle()); });
    }
}

void TfrmLoadSaveLDAPQ::setSaveMode(const QString &text, bool fromConditions)
{
    mode_ = Mode::Save;
    text_ = text;
    flag_ = fromConditions;
    ebLDAPName->setEnabled(true);
    updateSaveAs();
}

QTreeWidgetItem *TfrmLoadSaveLDAPQ::addRow(const SavedQuery &q)
{
    auto *item = new QTreeWidgetItem({q.name, q.text, flagText(q.fromConditions)});
    ListViewQ->addTopLevelItem(item);
    return item;
}

bool TfrmLoadSaveLDAPQ::nameListed(const QString &name, const QTreeWidgetItem *except) const
{
    for (int i = 0; i < ListViewQ->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = ListViewQ->topLevelItem(i);
        if (item != except && item->text(CName).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void TfrmLoadSaveLDAPQ::updateSaveAs()
{
    const QString name = ebLDAPName->text().trimmed();
    btSaveAs->setEnabled(mode_ == Mode::Save && ebLDAPName->isEnabled() && !name.isEmpty() && !nameListed(name));
}

QList<SavedQuery> TfrmLoadSaveLDAPQ::listed() const
{
    QList<SavedQuery> out;
    for (int i = 0; i < ListViewQ->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = ListViewQ->topLevelItem(i);
        out.append({item->text(CName), item->text(CText), flagFromText(item->text(CFlag))});
    }
    return out;
}

bool TfrmLoadSaveLDAPQ::hasSelection() const
{
    return ListViewQ->currentItem() != nullptr && ListViewQ->currentItem()->isSelected();
}

SavedQuery TfrmLoadSaveLDAPQ::selectedQuery() const
{
    if (!hasSelection())
        return {};
    const QTreeWidgetItem *item = ListViewQ->currentItem();
    return {item->text(CName), item->text(CText), flagFromText(item->text(CFlag))};
}

void TfrmLoadSaveLDAPQ::selectionChanged()
{
    const bool selected = ListViewQ->currentItem() != nullptr;
    LDAPMemo->setPlainText(selected ? ListViewQ->currentItem()->text(CText) : QString());
    btDelete->setEnabled(selected);
    btRename->setEnabled(selected);
    btOK->setEnabled(selected);
    rbSelected->setEnabled(selected);
    if (selected)
        rbSelected->setChecked(true);
}

void TfrmLoadSaveLDAPQ::btSaveAsClick()
{
    const QString name = ebLDAPName->text().trimmed();
    if (mode_ != Mode::Save || name.isEmpty() || nameListed(name))
        return;
    QString error;
    const SavedQuery q{name, text_, flag_};
    if (SaveQuery(QStringLiteral("-1"), q, &error).isEmpty()) {
        ui::Prompt::error(this, error, windowTitle());
        return;
    }
    addRow(q);
    btSaveAs->setEnabled(false);
    ebLDAPName->setEnabled(false);
    btOK->setEnabled(true);
}

void TfrmLoadSaveLDAPQ::btDeleteClick()
{
    QTreeWidgetItem *item = ListViewQ->currentItem();
    if (!item)
        return;
    delete item;
    ListViewQ->setCurrentItem(nullptr);
    ListViewQ->clearSelection();
    LDAPMemo->clear();
    btDelete->setEnabled(false);
    btRename->setEnabled(false);
    btOK->setEnabled(false);
    updateSaveAs();
}

void TfrmLoadSaveLDAPQ::btRenameClick()
{
    QTreeWidgetItem *item = ListViewQ->currentItem();
    if (!item)
        return;
    TfrmRenameTo dlg(item->text(CName), this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const QString name = dlg.ebRenameTo->text().trimmed();
    if (name.isEmpty())
        return;
    if (nameListed(name, item)) {
        ui::Prompt::error(this, QStringLiteral("The \"%1\" is already in the list.").arg(name), windowTitle());
        return;
    }
    item->setText(CName, name);
    updateSaveAs();
}

void TfrmLoadSaveLDAPQ::btOKClick()
{
    QString error;
    if (!SaveAllQueries(listed(), &error)) {
        ui::Prompt::error(this, error, windowTitle());
        return;
    }
    accept();
}

void TfrmLoadSaveLDAPQ::btSaveTxtClick()
{
    const QList<SavedQuery> all = listed();
    if (all.isEmpty()) {
        ui::Prompt::information(this, QStringLiteral("There is nothing to save..."), windowTitle());
        return;
    }
    QList<SavedQuery> chosen;
    if (rbSelected->isChecked()) {
        if (!hasSelection()) {
            ui::Prompt::information(this, QStringLiteral("Please, select a query..."), windowTitle());
            return;
        }
        chosen << selectedQuery();
    } else {
        chosen = all;
    }
    QString selectedFilter;
    QString path = ui::Prompt::saveFileName(this, QString(), QString(), kTextFilter + QStringLiteral(";;") + kUnicodeFilter,
                                            &selectedFilter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".TXT");
    QString error;
    int unmappable = 0;
    if (!writeQueriesFile(path, chosen, selectedFilter == kUnicodeFilter, &error, &unmappable)) {
        ui::Prompt::error(this, error, windowTitle());
        return;
    }
    if (unmappable > 0)
        ui::Prompt::warning(this,
                            UnmappableCharactersText(unmappable) +
                                QStringLiteral("\r\nSave as \"UNICODE Text files\" to keep them."),
                            windowTitle());
    ui::Prompt::information(this, QStringLiteral("Saved."), windowTitle());
}

// ---- entry points -----------------------------------------------------------------------------

void SaveQueryDialog(QWidget *parent, const QString &text, bool fromConditions)
{
    TfrmLoadSaveLDAPQ dlg(parent);
    dlg.setSaveMode(text, fromConditions);
    dlg.exec();
}

bool LoadQueryDialog(QWidget *parent, QString *text, bool *fromConditions)
{
    TfrmLoadSaveLDAPQ dlg(parent);
    if (dlg.exec() != QDialog::Accepted || !dlg.hasSelection())
        return false;
    const SavedQuery q = dlg.selectedQuery();
    if (text)
        *text = q.text;
    if (fromConditions)
        *fromConditions = q.fromConditions;
    return true;
}

} // namespace query
