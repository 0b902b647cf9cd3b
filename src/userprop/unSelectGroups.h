#pragma once
// The group picker of the Member Of tab (TfrmSelectGroups): every group below the search
// root; the chosen ones are returned.
#include "userprop/unUserProp.h"

#include <QDialog>
#include <QStringList>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TfrmSelectGroups : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSelectGroups(QWidget *parent = nullptr);

    // Lists the groups (a paged search; the window keeps answering meanwhile). The DNs in
    // shown are the user's groups already listed; userName names the user in messages.
    void load(const userprop::UserPropConnection &c, const QStringList &shown, const QString &userName);
    QStringList chosen() const;

    // Handlers, public for tests.
    void addGroup(QTreeWidgetItem *item);
    void removeGroup(QTreeWidgetItem *item);
    void btOKClick();

    static bool pick(QWidget *parent, const userprop::UserPropConnection &c, const QStringList &shown,
                     const QString &userName, QStringList &chosen);

    QTreeWidget *ListViewGroups = nullptr;
    QTreeWidget *ListViewGroupsResult = nullptr;
    QPushButton *btAdd = nullptr, *btRemove = nullptr, *btOK = nullptr, *btCancel = nullptr;

private:
    QStringList shown_;
    QString userName_;
};
