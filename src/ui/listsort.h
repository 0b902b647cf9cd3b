#pragma once
// Sorting a list by a header click the way the program's lists compare texts.
#include <Qt>

class QTreeWidget;

namespace ui {

// Sorts the list's rows by the text of column without regard to case (rows whose texts
// differ only in case keep their order). The current and the selected rows stay so.
void sortByText(QTreeWidget *list, int column, Qt::SortOrder order);

} // namespace ui
