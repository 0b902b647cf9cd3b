#pragma once
// "Please select Dynamic (Query-Based) Distribution Group": the chooser of report 33.
#include "reports/unReportRun.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

namespace reports {

class TfrmDynamicgroupSelect : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDynamicgroupSelect(const QList<DynamicGroupChoice> &groups, QWidget *parent = nullptr);

    // After OK: the chosen group; nullptr when none.
    const DynamicGroupChoice *chosen() const;
    // Sorts by a column; the same column again reverses the order.
    void sortByColumn(int column);

    QTreeWidget *list() const { return lvGroups; }

private:
    QList<DynamicGroupChoice> groups_;
    QTreeWidget *lvGroups = nullptr;
    QPushButton *btOK = nullptr;
    int sortColumn_ = 0;
    bool ascending_ = true;
};

} // namespace reports
