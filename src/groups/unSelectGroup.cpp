#include "groups/unSelectGroup.h"

#include "core/unSearch.h"
#include "groups/unDynamicGroupView.h"
#include "groups/unGroupView.h"
#include "ui/prompt.h"
#include "ui/windowlayout.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

namespace groups {

TGroupListDialog::TGroupListDialog(GroupKind kind, const QString &caption, QWidget *parent) : QDialog(parent), m_kind(kind)
{
    setWindowTitle(caption);
    setModal(true);
    ListViewGroups = new QTreeWidget(this);
    ListViewGroups->setObjectName(QStringLiteral("ListViewGroups"));
    ListViewGroups->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("In Folder")});
    ListViewGroups->setRootIsDecorated(false);
    ListViewGroups->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewGroups->setAccessibleName(QStringLiteral("Groups"));
    ListViewGroups->header()->setSectionsClickable(true);
    btView = new QPushButton(QStringLiteral("View"), this);
    btView->setObjectName(QStringLiteral("btView"));
    btView->setEnabled(false);
    btClose = new QPushButton(QStringLiteral("Close"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btView);
    buttons->addWidget(btClose);
    auto *v = new QVBoxLayout(this);
    v->addWidget(ListViewGroups, 1);
    v->addLayout(buttons);
    ui::setupWindow(this, QSize(560, 420));
    connect(btView, &QPushButton::clicked, this, &TGroupListDialog::btViewClick);
    connect(btClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListViewGroups, &QTreeWidget::itemSelectionChanged, this,
            [this] { btView->setEnabled(!ListViewGroups->selectedItems().isEmpty()); });
    connect(ListViewGroups, &QTreeWidget::itemDoubleClicked, this, [this] { btViewClick(); });
    connect(ListViewGroups->header(), &QHeaderView::sectionClicked, this, &TGroupListDialog::ListViewGroupsColumnClick);
}

void TGroupListDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_loaded)
        LoadList();
}

void TGroupListDialog::LoadList()
{
    m_loaded = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        m_rows = LoadGroupList(m_kind);
    } catch (const Exception &e) {
        QApplication::restoreOverrideCursor();
        ui::Prompt::error(this, e.Message(), QStringLiteral("Error"));
        return;
    }
    QApplication::restoreOverrideCursor();
    m_sortKey = kSortByName;
    SortGroupList(m_rows, m_sortKey);
    fill();
}

void TGroupListDialog::fill()
{
    ListViewGroups->clear();
    for (const TGroupListEntry &r : m_rows) {
        auto *item = new QTreeWidgetItem(ListViewGroups, {r.Name, r.TypeText, r.Folder});
        item->setData(0, Qt::UserRole, r.DistinguishedName);
    }
    btView->setEnabled(false);
}

void TGroupListDialog::ListViewGroupsColumnClick(int column)
{
    const QString selected = ListViewGroups->currentItem() ? ListViewGroups->currentItem()->data(0, Qt::UserRole).toString() : QString();
    m_sortKey = NextSortKey(m_sortKey, column);
    SortGroupList(m_rows, m_sortKey);
    fill();
    for (int i = 0; i < ListViewGroups->topLevelItemCount(); ++i)
        if (!selected.isEmpty() && ListViewGroups->topLevelItem(i)->data(0, Qt::UserRole).toString() == selected)
            ListViewGroups->setCurrentItem(ListViewGroups->topLevelItem(i));
}

void TGroupListDialog::btViewClick()
{
    QTreeWidgetItem *item = ListViewGroups->currentItem();
    if (!item || !item->isSelected())
        return;
    const int i = ListViewGroups->indexOfTopLevelItem(item);
    if (i < 0 || i >= m_rows.size())
        return;
    // A group that cannot be bound (deleted meanwhile, no right to read it) gives the
    // directory's message; the list stays open.
    try {
        openGroup(m_rows.at(i));
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), QStringLiteral("Arvendel"));
    }
}

TfrmSelectGroup::TfrmSelectGroup(QWidget *parent)
    : TGroupListDialog(GroupKind::Groups, QStringLiteral(" Select Group"), parent)
{
    setObjectName(QStringLiteral("TfrmSelectGroup"));
}

void TfrmSelectGroup::openGroup(const TGroupListEntry &entry)
{
    TfrmGroupView view(entry.DistinguishedName, entry.Name, this);
    view.exec();
}

TfrmQueryBasedDistributionList::TfrmQueryBasedDistributionList(QWidget *parent)
    : TGroupListDialog(GroupKind::QueryBasedDistributionGroups, QStringLiteral(" Select Query-Based Distribution Group"), parent)
{
    setObjectName(QStringLiteral("TfrmQueryBasedDistributionList"));
}

void TfrmQueryBasedDistributionList::openGroup(const TGroupListEntry &entry)
{
    TfrmDistributionDynamicGroupView view(entry.DistinguishedName, entry.Name, this);
    view.exec();
}

} // namespace groups
