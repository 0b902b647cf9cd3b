#pragma once
// " Select Group" (TfrmSelectGroup) and " Select Query-Based Distribution Group"
// (TfrmQueryBasedDistributionList): every group (or query-based group) of the domain with
// its type and folder; "View" or a double click opens the group's property window.
#include "groups/unGroupList.h"

#include <QDialog>
#include <QPushButton>
#include <QTreeWidget>

namespace groups {

class TGroupListDialog : public QDialog {
    Q_OBJECT
public:
    // Loads the list (the first time the window is shown, or now when called directly).
    void LoadList();
    void btViewClick();
    void ListViewGroupsColumnClick(int column);
    int sortKey() const { return m_sortKey; }
    // Rows as shown.
    const QList<TGroupListEntry> &rows() const { return m_rows; }

    QTreeWidget *ListViewGroups;
    QPushButton *btView, *btClose;

protected:
    TGroupListDialog(GroupKind kind, const QString &caption, QWidget *parent);
    void showEvent(QShowEvent *event) override;
    // Opens the view of one group (modal); raises EADSIException when it cannot be bound.
    virtual void openGroup(const TGroupListEntry &entry) = 0;

private:
    void fill();
    GroupKind m_kind;
    QList<TGroupListEntry> m_rows;
    int m_sortKey = kSortByName;
    bool m_loaded = false;
};

class TfrmSelectGroup : public TGroupListDialog {
    Q_OBJECT
public:
    explicit TfrmSelectGroup(QWidget *parent = nullptr);

protected:
    void openGroup(const TGroupListEntry &entry) override;
};

class TfrmQueryBasedDistributionList : public TGroupListDialog {
    Q_OBJECT
public:
    explicit TfrmQueryBasedDistributionList(QWidget *parent = nullptr);

protected:
    void openGroup(const TGroupListEntry &entry) override;
};

} // namespace groups
