#include "ui/listsort.h"

#include <QTreeWidget>

#include <algorithm>

namespace ui {

void sortByText(QTreeWidget *list, int column, Qt::SortOrder order)
{
    QTreeWidgetItem *current = list->currentItem();
    const QList<QTreeWidgetItem *> selected = list->selectedItems();
    QList<QTreeWidgetItem *> rows;
    while (list->topLevelItemCount() > 0)
        rows << list->takeTopLevelItem(0);
    std::stable_sort(rows.begin(), rows.end(), [column, order](const QTreeWidgetItem *a, const QTreeWidgetItem *b) {
        const int c = QString::compare(a->text(column), b->text(column), Qt::CaseInsensitive);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    list->addTopLevelItems(rows);
    if (current)
        list->setCurrentItem(current);
    for (QTreeWidgetItem *item : selected)
        item->setSelected(true);
}

} // namespace ui
