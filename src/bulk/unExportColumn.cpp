#include "bulk/unExportColumn.h"

#include "core/unValues.h"
#include "main/unCatalogue.h"
#include "ui/prompt.h"
#include "ui/windowlayout.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QSet>
#include <QSignalBlocker>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bulk {

QList<ExportColumnItem> availableExportColumns()
{
    QList<ExportColumnItem> out;
    for (const ADSIUserField &f : catalogue::userFields()) {
        if (f.isHeader() || f.ldapName.isEmpty())
            continue;
        const bool inRange = f.key >= -2 && f.key <= 87 && f.group != 2001;
        if ((inRange && AttributeInSchema(f.ldapName.toString())) || f.key == 101)
            out << ExportColumnItem(f.caption.toString(), f.key);
    }
    return out;
}

}  // namespace bulk

namespace {

QListWidgetItem *columnItem(const bulk::ExportColumnItem &c, bool exported)
{
    auto *item = new QListWidgetItem(c.first);
    item->setData(Qt::UserRole, c.second);
    item->setIcon(QApplication::style()->standardIcon(exported ? QStyle::SP_DialogApplyButton : QStyle::SP_FileIcon));
    if (const ADSIUserField *e = EntryByKey(c.second); e && !exported)
        item->setToolTip(e->description.toString());
    return item;
}

QToolButton *toolButton(QWidget *parent, const char *name, const QString &hint, QStyle::StandardPixmap icon)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setIcon(parent->style()->standardIcon(icon));
    return b;
}

}  // namespace

TfrmExportColumn::TfrmExportColumn(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmExportColumn"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("  Select Columns"));
    auto *grid = new QGridLayout(this);
    auto *lbAvailable = new QLabel(QStringLiteral("Available columns:"), this);
    auto *lbExported = new QLabel(QStringLiteral("Exported columns:"), this);
    grid->addWidget(lbAvailable, 0, 0);
    grid->addWidget(lbExported, 0, 2);
    lvAvailable = new QListWidget(this);
    lvAvailable->setObjectName(QStringLiteral("lvAvailable"));
    lvExported = new QListWidget(this);
    lvExported->setObjectName(QStringLiteral("lvExported"));
    lbAvailable->setBuddy(lvAvailable);
    lbExported->setBuddy(lvExported);
    for (QListWidget *l : {lvAvailable, lvExported}) {
        l->setSelectionMode(QAbstractItemView::ExtendedSelection);
        // Lines are dragged from one list onto the other (they move, with their keys).
        l->setDragDropMode(QAbstractItemView::DragDrop);
        l->setDefaultDropAction(Qt::MoveAction);
        connect(l->model(), &QAbstractItemModel::rowsInserted, this, [this] { QTimer::singleShot(0, this, &TfrmExportColumn::updateButtons); });
    }
    grid->addWidget(lvAvailable, 1, 0);
    grid->addWidget(lvExported, 1, 2);
    auto *mid = new QVBoxLayout;
    tbtAddSelected = toolButton(this, "tbtAddSelected", QStringLiteral("Add selected columns to the exported list"), QStyle::SP_ArrowRight);
    tbtAddAll = toolButton(this, "tbtAddAll", QStringLiteral("Add all columns to the exported list"), QStyle::SP_MediaSeekForward);
    tbtDelSelected = toolButton(this, "tbtDelSelected", QStringLiteral("Remove selected columns from the exported list"), QStyle::SP_ArrowLeft);
    tbtDelAll = toolButton(this, "tbtDelAll", QStringLiteral("Remove all columns from the exported list"), QStyle::SP_MediaSeekBackward);
    tbtMoveColumnUp = toolButton(this, "tbtMoveColumnUp", QStringLiteral("Move focused column up"), QStyle::SP_ArrowUp);
    tbtMoveColumnDown = toolButton(this, "tbtMoveColumnDown", QStringLiteral("Move focused column down"), QStyle::SP_ArrowDown);
    for (QToolButton *b : {tbtAddSelected, tbtAddAll, tbtDelSelected, tbtDelAll, tbtMoveColumnUp, tbtMoveColumnDown})
        mid->addWidget(b);
    mid->addStretch();
    grid->addLayout(mid, 1, 1);

    auto *bottom = new QHBoxLayout;
    sbSaveasdef = new QPushButton(QStringLiteral("Save ..."), this);
    sbSaveasdef->setObjectName(QStringLiteral("sbSaveasdef"));
    sbSaveasdef->setToolTip(QStringLiteral("Save Selected Properties\r\nas Collection for Next Export"));
    sbLoadSaved = new QPushButton(QStringLiteral("Load ..."), this);
    sbLoadSaved->setObjectName(QStringLiteral("sbLoadSaved"));
    sbLoadSaved->setToolTip(QStringLiteral("Load Properties from\r\nSaved Collection"));
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    ui::tabOrder({lvAvailable, tbtAddSelected, tbtAddAll, tbtDelSelected, tbtDelAll, tbtMoveColumnUp, tbtMoveColumnDown,
                  lvExported, sbSaveasdef, sbLoadSaved, btOK, btCancel});
    bottom->addWidget(sbSaveasdef);
    bottom->addWidget(sbLoadSaved);
    bottom->addStretch();
    bottom->addWidget(btOK);
    bottom->addWidget(btCancel);
    grid->addLayout(bottom, 2, 0, 1, 3);
    lbStatus = new QLabel(this);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    grid->addWidget(lbStatus, 3, 0, 1, 3);

    connect(tbtAddSelected, &QToolButton::clicked, this, &TfrmExportColumn::tbtAddSelectedClick);
    connect(tbtAddAll, &QToolButton::clicked, this, &TfrmExportColumn::tbtAddAllClick);
    connect(tbtDelSelected, &QToolButton::clicked, this, &TfrmExportColumn::tbtDelSelectedClick);
    connect(tbtDelAll, &QToolButton::clicked, this, &TfrmExportColumn::tbtDelAllClick);
    connect(tbtMoveColumnUp, &QToolButton::clicked, this, &TfrmExportColumn::tbtMoveColumnUpClick);
    connect(tbtMoveColumnDown, &QToolButton::clicked, this, &TfrmExportColumn::tbtMoveColumnDownClick);
    connect(sbSaveasdef, &QPushButton::clicked, this, &TfrmExportColumn::sbSaveasdefClick);
    connect(sbLoadSaved, &QPushButton::clicked, this, &TfrmExportColumn::sbLoadSavedClick);
    connect(btOK, &QPushButton::clicked, this, &TfrmExportColumn::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvAvailable, &QListWidget::itemDoubleClicked, this, &TfrmExportColumn::tbtAddSelectedClick);
    connect(lvExported, &QListWidget::itemDoubleClicked, this, &TfrmExportColumn::tbtDelSelectedClick);
    for (QListWidget *l : {lvAvailable, lvExported}) {
        connect(l, &QListWidget::itemSelectionChanged, this, &TfrmExportColumn::updateButtons);
        connect(l, &QListWidget::currentRowChanged, this, &TfrmExportColumn::updateButtons);
    }
    setColumns({});
}

void TfrmExportColumn::setColumns(const QList<bulk::ExportColumnItem> &columns)
{
    lvAvailable->clear();
    lvExported->clear();
    QSet<qint32> taken;
    for (const auto &c : columns) {
        lvExported->addItem(columnItem(c, true));
        taken.insert(c.second);
    }
    for (const auto &c : bulk::availableExportColumns())
        if (!taken.contains(c.second))
            lvAvailable->addItem(columnItem(c, false));
    updateButtons();
}

QList<bulk::ExportColumnItem> TfrmExportColumn::columns() const
{
    QList<bulk::ExportColumnItem> out;
    for (int i = 0; i < lvExported->count(); ++i)
        out << bulk::ExportColumnItem(lvExported->item(i)->text(), lvExported->item(i)->data(Qt::UserRole).toInt());
    return out;
}

void TfrmExportColumn::setStatusText(const QString &text)
{
    lbStatus->setText(text);
}

QString TfrmExportColumn::statusText() const
{
    return lbStatus->text();
}

void TfrmExportColumn::move(QListWidget *from, QListWidget *to, bool all)
{
    const int focus = from->currentRow();
    if (from->count() == 0 || (!all && focus < 0))
        return;
    const bool targetHadFocus = to->currentRow() >= 0;
    // The moved lines keep their source order.
    QList<int> rows;
    for (int i = 0; i < from->count(); ++i)
        if (all || from->item(i)->isSelected())
            rows << i;
    QList<QListWidgetItem *> moved;
    for (int i = rows.size() - 1; i >= 0; --i)
        moved.prepend(from->takeItem(rows.at(i)));
    for (QListWidgetItem *item : std::as_const(moved)) {
        item->setSelected(false);
        item->setIcon(QApplication::style()->standardIcon(to == lvExported ? QStyle::SP_DialogApplyButton : QStyle::SP_FileIcon));
        to->addItem(item);
    }
    if (from->count() > 0)
        from->setCurrentRow(std::min(focus, from->count() - 1));
    if (!targetHadFocus && to->count() > 0) {
        to->setCurrentRow(0);
        to->item(0)->setSelected(true);
    }
    updateButtons();
}

void TfrmExportColumn::tbtAddSelectedClick() { move(lvAvailable, lvExported, false); }
void TfrmExportColumn::tbtAddAllClick() { move(lvAvailable, lvExported, true); }
void TfrmExportColumn::tbtDelSelectedClick() { move(lvExported, lvAvailable, false); }
void TfrmExportColumn::tbtDelAllClick() { move(lvExported, lvAvailable, true); }

void TfrmExportColumn::tbtMoveColumnUpClick()
{
    const int r = lvExported->currentRow();
    if (r <= 0)
        return;
    QListWidgetItem *item = lvExported->takeItem(r);
    lvExported->insertItem(r - 1, item);
    lvExported->clearSelection();
    lvExported->setCurrentRow(r - 1);
    item->setSelected(true);
    updateButtons();
}

void TfrmExportColumn::tbtMoveColumnDownClick()
{
    const int r = lvExported->currentRow();
    if (r < 0 || r >= lvExported->count() - 1)
        return;
    QListWidgetItem *item = lvExported->takeItem(r);
    lvExported->insertItem(r + 1, item);
    lvExported->clearSelection();
    lvExported->setCurrentRow(r + 1);
    item->setSelected(true);
    updateButtons();
}

void TfrmExportColumn::updateButtons()
{
    tbtAddSelected->setEnabled(lvAvailable->count() > 0 && !lvAvailable->selectedItems().isEmpty());
    tbtAddAll->setEnabled(lvAvailable->count() > 0);
    tbtDelSelected->setEnabled(lvExported->count() > 0 && !lvExported->selectedItems().isEmpty());
    tbtDelAll->setEnabled(lvExported->count() > 0);
    const int r = lvExported->currentRow();
    tbtMoveColumnUp->setEnabled(r > 0);
    tbtMoveColumnDown->setEnabled(r >= 0 && r < lvExported->count() - 1);
}

void TfrmExportColumn::sbSaveasdefClick()
{
    if (lvExported->count() == 0) {
        ui::Prompt::error(this, QStringLiteral("Nothing to save"), windowTitle());
        return;
    }
    TfrmSavedColumn dlg(TfrmSavedColumn::SaveMode, this);
    dlg.setColumns(columns());
    dlg.exec();
    lbStatus->setText(dlg.setName().isEmpty() ? QString() : QStringLiteral("  Saved as [") + dlg.setName() + QLatin1Char(']'));
}

void TfrmExportColumn::sbLoadSavedClick()
{
    TfrmSavedColumn dlg(TfrmSavedColumn::LoadMode, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    setColumns(dlg.columns());
    lbStatus->setText(QStringLiteral("  Loaded from [") + dlg.setName() + QLatin1Char(']'));
}

void TfrmExportColumn::btOKClick()
{
    if (lvExported->count() > 0)
        accept();
    else
        reject();
}

// --- TfrmSavedColumn --------------------------------------------------------------------------

TfrmSavedColumn::TfrmSavedColumn(Mode mode, QWidget *parent) : QDialog(parent), m_mode(mode)
{
    setObjectName(QStringLiteral("frmSavedColumn"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral(" Saved Column Sets"));
    auto *grid = new QGridLayout(this);
    auto *lbSaved = new QLabel(QStringLiteral("    Saved Column Sets:"), this);
    auto *lbColumns = new QLabel(QStringLiteral("    Column List:"), this);
    grid->addWidget(lbSaved, 0, 0);
    grid->addWidget(lbColumns, 0, 1);
    ListViewSaved = new QTreeWidget(this);
    ListViewSaved->setObjectName(QStringLiteral("ListViewSaved"));
    ListViewSaved->setHeaderLabels({QStringLiteral("Name")});
    ListViewSaved->setRootIsDecorated(false);
    ListViewColumns = new QTreeWidget(this);
    ListViewColumns->setObjectName(QStringLiteral("ListViewColumns"));
    ListViewColumns->setHeaderLabels({QStringLiteral("Column Name")});
    ListViewColumns->setRootIsDecorated(false);
    grid->addWidget(ListViewSaved, 1, 0);
    grid->addWidget(ListViewColumns, 1, 1);
    lbSaved->setBuddy(ListViewSaved);
    lbColumns->setBuddy(ListViewColumns);
    ebLDAPColName = new QLineEdit(this);
    ebLDAPColName->setObjectName(QStringLiteral("ebLDAPColName"));
    // The name a set is saved under; the window has no caption beside it.
    ebLDAPColName->setAccessibleName(QStringLiteral("Column set name"));
    grid->addWidget(ebLDAPColName, 2, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    btSaveAs = new QPushButton(QStringLiteral("Save As"), this);
    btSaveAs->setObjectName(QStringLiteral("btSaveAs"));
    btRename = new QPushButton(QStringLiteral("Rename Selected"), this);
    btRename->setObjectName(QStringLiteral("btRename"));
    btDelete = new QPushButton(QStringLiteral("Delete Selected"), this);
    btDelete->setObjectName(QStringLiteral("btDelete"));
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    for (QPushButton *b : {btSaveAs, btRename, btDelete, btOK})
        buttons->addWidget(b);
    grid->addLayout(buttons, 3, 0, 1, 2);

    connect(btSaveAs, &QPushButton::clicked, this, &TfrmSavedColumn::btSaveAsClick);
    connect(btRename, &QPushButton::clicked, this, &TfrmSavedColumn::btRenameClick);
    connect(btDelete, &QPushButton::clicked, this, &TfrmSavedColumn::btDeleteClick);
    connect(btOK, &QPushButton::clicked, this, &TfrmSavedColumn::btOKClick);
    connect(ebLDAPColName, &QLineEdit::textChanged, this, &TfrmSavedColumn::updateButtons);
    connect(ListViewSaved, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *item) { selectSet(item ? ListViewSaved->indexOfTopLevelItem(item) : -1); });
    connect(ListViewSaved, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (btOK->isEnabled())
            btOKClick();
    });
    fillSets();
    if (m_mode == SaveMode) {
        ebLDAPColName->setFocus();
        ebLDAPColName->selectAll();
    }
    updateButtons();
}

void TfrmSavedColumn::fillSets()
{
    ListViewSaved->clear();
    for (const bulk::ColumnSetInfo &s : bulk::listColumnSets()) {
        auto *item = new QTreeWidgetItem(ListViewSaved, {s.name});
        item->setData(0, Qt::UserRole, s.number);
    }
}

void TfrmSavedColumn::showColumns(const QList<bulk::ExportColumnItem> &columns)
{
    ListViewColumns->clear();
    for (const auto &c : columns) {
        auto *item = new QTreeWidgetItem(ListViewColumns, {c.first});
        item->setData(0, Qt::UserRole, c.second);
    }
}

void TfrmSavedColumn::setColumns(const QList<bulk::ExportColumnItem> &columns)
{
    showColumns(columns);
    updateButtons();
}

QList<bulk::ExportColumnItem> TfrmSavedColumn::columns() const
{
    QList<bulk::ExportColumnItem> out;
    for (int i = 0; i < ListViewColumns->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = ListViewColumns->topLevelItem(i);
        out << bulk::ExportColumnItem(item->text(0), item->data(0, Qt::UserRole).toInt());
    }
    return out;
}

void TfrmSavedColumn::selectSet(int row)
{
    if (m_mode == SaveMode)
        return;
    QTreeWidgetItem *item = ListViewSaved->topLevelItem(row);
    if (!item) {
        updateButtons();
        return;
    }
    if (ListViewSaved->currentItem() != item)
        ListViewSaved->setCurrentItem(item);
    showColumns(bulk::readColumnSet(item->data(0, Qt::UserRole).toInt()));
    m_name = item->text(0);
    updateButtons();
}

void TfrmSavedColumn::updateButtons()
{
    const bool save = m_mode == SaveMode;
    const bool selected = ListViewSaved->currentItem() != nullptr;
    ebLDAPColName->setEnabled(save);
    bool nameFree = !ebLDAPColName->text().trimmed().isEmpty();
    for (int i = 0; nameFree && i < ListViewSaved->topLevelItemCount(); ++i)
        if (ListViewSaved->topLevelItem(i)->text(0).compare(ebLDAPColName->text().trimmed(), Qt::CaseInsensitive) == 0)
            nameFree = false;
    btSaveAs->setEnabled(save && nameFree);
    btRename->setEnabled(!save && selected);
    btDelete->setEnabled(!save && selected);
    btOK->setEnabled(!save && (selected || !m_name.isEmpty()));
}

void TfrmSavedColumn::btSaveAsClick()
{
    if (ListViewColumns->topLevelItemCount() == 0) {
        ui::Prompt::error(this, QStringLiteral("Nothing to save"), windowTitle());
        return;
    }
    const QString name = ebLDAPColName->text().trimmed();
    QString error;
    const int number = bulk::saveColumnSet(name, columns(), &error);
    if (number < 0) {
        ui::Prompt::error(this, error, windowTitle());
        return;
    }
    auto *item = new QTreeWidgetItem(ListViewSaved, {name});
    item->setData(0, Qt::UserRole, number);
    m_mode = LoadMode;
    ListViewSaved->setCurrentItem(item);
    m_name = name;
    ebLDAPColName->setEnabled(false);
    updateButtons();
    ebLDAPColName->setEnabled(false);
    btSaveAs->setEnabled(false);
}

void TfrmSavedColumn::btDeleteClick()
{
    QTreeWidgetItem *item = ListViewSaved->currentItem();
    if (!item || !bulk::deleteColumnSet(item->data(0, Qt::UserRole).toInt()))
        return;
    {
        const QSignalBlocker block(ListViewSaved);
        delete item;
        ListViewSaved->setCurrentItem(nullptr);
        ListViewSaved->clearSelection();
    }
    ListViewColumns->clear();
    m_name.clear();
    updateButtons();
}

void TfrmSavedColumn::btRenameClick()
{
    QTreeWidgetItem *item = ListViewSaved->currentItem();
    if (!item)
        return;
    QString newName;
    if (ui::Prompt::isScripted()) {
        newName = item->text(0);
        if (!ui::Prompt::inputText(this, QStringLiteral("   Rename to.."), QStringLiteral("RenameTo:"), newName))
            return;
    } else {
        TfrmRenameColumnSet dlg(item->text(0), this);
        if (dlg.exec() != QDialog::Accepted)
            return;
        newName = dlg.newName();
    }
    newName = newName.trimmed();
    for (int i = 0; i < ListViewSaved->topLevelItemCount(); ++i)
        if (ListViewSaved->topLevelItem(i)->text(0).compare(newName, Qt::CaseInsensitive) == 0) {
            ui::Prompt::error(this, QStringLiteral("The \"%1\" is already in the list.").arg(newName), windowTitle());
            return;
        }
    QString error;
    const int number = bulk::renameColumnSet(item->data(0, Qt::UserRole).toInt(), newName, columns(), &error);
    if (number < 0) {
        ui::Prompt::error(this, error, windowTitle());
        return;
    }
    item->setText(0, newName);
    item->setData(0, Qt::UserRole, number);
    m_name = newName;
}

void TfrmSavedColumn::btOKClick()
{
    if (ListViewSaved->currentItem() && ListViewColumns->topLevelItemCount() > 0)
        accept();
}

// --- TfrmRenameColumnSet ------------------------------------------------------------------------

TfrmRenameColumnSet::TfrmRenameColumnSet(const QString &oldName, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmRenameColumnSet"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("   Rename to.."));
    auto *form = new QFormLayout(this);
    auto *old = new QLabel(oldName, this);
    old->setObjectName(QStringLiteral("lbOldName"));
    form->addRow(QStringLiteral("Old Name:"), old);
    ebRenameTo = new QLineEdit(oldName, this);
    ebRenameTo->setObjectName(QStringLiteral("ebRenameTo"));
    form->addRow(QStringLiteral("RenameTo:"), ebRenameTo);
    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(box);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString TfrmRenameColumnSet::newName() const
{
    return ebRenameTo->text();
}
