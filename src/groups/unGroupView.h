#pragma once
// The group property window (TfrmGroupView): "General", "Members", "Member Of", "Managed By",
// "Securty" and "RAW Data". Each tab is read when first shown; changes are collected and
// written with "&Apply" or "OK", only what changed.
#include "groups/unGroupDialog.h"
#include "groups/unGroupMembers.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <functional>

namespace groups {

// Picks groups for "Member Of" ("Add..."): the chosen distinguished names; false on Cancel.
// Plugged in by the program's wiring (the group picker of the user property dialog); without
// it the find dialog offers groups one at a time.
using GroupPicker = std::function<bool(QWidget *parent, const QStringList &current, const QString &groupName,
                                       QStringList *chosen)>;
void setGroupPicker(GroupPicker picker);

class TfrmGroupView : public TGroupDialogBase {
    Q_OBJECT
public:
    TfrmGroupView(const QString &groupDn, const QString &name, QWidget *parent = nullptr);
    ~TfrmGroupView() override;

    // Handlers (public so that tests drive them as the controls do).
    void LoadGeneral();
    void LoadMembers();
    void LoadMemberOf();
    void LoadManagedBy() override;
    void btAddMemberClick();
    // Adds a chosen member as "Add..." does after the find dialog; false when refused.
    bool addMember(const QString &dn);
    void btRemoveMemberClick();
    void btAddMemberOfClick();
    bool addMemberOf(const QString &groupDn);
    void btRemoveMemberOfClick();
    // Writes what changed; false when nothing was written because of "No" or an error.
    bool btApplyClick();
    void btOKClick();
    void btCancelClick();

    // State for tests.
    const TGroupFacts &facts() const { return m_facts; }
    const TMembershipChanges &memberChanges() const { return m_changes; }
    QStringList groupsToJoin() const { return m_join; }
    QStringList groupsToLeave() const { return m_leave; }
    bool membersLoaded() const { return m_membersLoaded; }
    // Rows of the members list: distinguished name -> member.
    const TGroupMember *memberRow(const QString &dn) const;

    QWidget *tsGeneral, *tsMembers, *tsMemberOf;
    // General
    QLineEdit *ebsAMAccountName;
    QPlainTextEdit *memoNotes;
    QGroupBox *rbGroupScope, *rgGroupType;
    QRadioButton *rbDomainLocal, *rbGlobal, *rbUniversal, *rbSecurity, *rbDistribution;
    // Members
    QTreeWidget *ListViewMembers;
    QPushButton *btAddMember, *btRemoveMember;
    QLabel *lbTotalMembers;
    // Member Of
    QTreeWidget *ListViewMemberOf;
    QPushButton *btAddMemberOf, *btRemoveMemberOf;
    QLabel *lbBuiltinMemberOf;

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void tabChanged(int index);
    void setChanged();
    void addMemberItem(const TGroupMember &m);
    void updateTotal();
    void removeMemberItem(QTreeWidgetItem *item);
    bool confirmClose();
    QStringList memberGroupDns() const;

    TGroupFacts m_facts;
    QString m_canonicalName;
    QHash<QString, TGroupMember> m_members; // lower-cased DN -> row
    TMembershipChanges m_changes;
    QStringList m_join, m_leave, m_loadedMemberOf;
    bool m_generalLoaded = false, m_membersLoaded = false, m_membersLoading = false, m_memberOfLoaded = false,
         m_memberOfChanged = false, m_loading = false, m_closing = false;
    bool m_notesModified = false;
};

} // namespace groups
