#include "reports/unDynamicgroupSelect.h"

#include "options/unOptions.h"
#include "ui/windowlayout.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace reports {

namespace {
const int kIndexRole = Qt::UserRole + 1;
}

TfrmDynamicgroupSelect::TfrmDynamicgroupSelect(const QList<DynamicGroupChoice> &groups, QWidget *parent)
    : QDialog(parent), groups_(groups)
{
    setObjectName(QStringLiteral("TfrmDynamicgroupSelect"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("Please select Dynamic (Query-Based) Distribution Group"));
    auto *layout = new QVBoxLayout(this);
    lvGroups = new QTreeWidget(this);
    lvGroups->setObjectName(QStringLiteral("lvGroups"));
    lvGroups->setRootIsDecorated(false);
    lvGroups->setAccessibleName(QStringLiteral("Query-based distribution groups"));
    lvGroups->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("In Folder")});
    lvGroups->header()->setSectionsClickable(true);
    for (int i = 0; i < groups_.size(); ++i) {
        auto *item = new QTreeWidgetItem(lvGroups, {groups_[i].name, groups_[i].type, groups_[i].folder});
        item->setData(0, kIndexRole, i);
    }
    layout->addWidget(lvGroups);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setEnabled(false);
    auto *btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    layout->addLayout(buttons);
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvGroups, &QTreeWidget::itemSelectionChanged, this,
            [this] { btOK->setEnabled(!lvGroups->selectedItems().isEmpty()); });
    connect(lvGroups, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (btOK->isEnabled())
            accept();
    });
    connect(lvGroups->header(), &QHeaderView::sectionClicked, this, &TfrmDynamicgroupSelect::sortByColumn);
    // Sorted by name at first.
    sortColumn_ = 0;
    ascending_ = false;
    sortByColumn(0);
    options::ApplyWindowFont(this);
}

void TfrmDynamicgroupSelect::sortByColumn(int column)
{
    ascending_ = column == sortColumn_ ? !ascending_ : true;
    sortColumn_ = column;
    QList<QTreeWidgetItem *> items;
    while (lvGroups->topLevelItemCount() > 0)
        items << lvGroups->takeTopLevelItem(0);
    std::stable_sort(items.begin(), items.end(), [&](QTreeWidgetItem *a, QTreeWidgetItem *b) {
        const int c = a->text(column).compare(b->text(column), Qt::CaseInsensitive);
        return ascending_ ? c < 0 : c > 0;
    });
    lvGroups->addTopLevelItems(items);
}

const DynamicGroupChoice *TfrmDynamicgroupSelect::chosen() const
{
    const auto sel = lvGroups->selectedItems();
    if (sel.isEmpty())
        return nullptr;
    const int i = sel.first()->data(0, kIndexRole).toInt();
    return i >= 0 && i < groups_.size() ? &groups_[i] : nullptr;
}

} // namespace reports
