// The group windows on the offscreen platform against the test domain, driven by their
// control names with the prompt service scripted; what they write is read back with
// ldapsearch.
#include "../../integration/groups/groups_domain_support.h"

#include "groups/unDynamicGroupView.h"
#include "groups/unGroupView.h"
#include "groups/unGroupsWiring.h"
#include "groups/unSelectGroup.h"
#include "options/unOptions.h"
#include "query/unFind.h"
#include "support/modal.h"
#include "ui/prompt.h"
#include "userprop/unSecurityViews.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

using namespace groups;
using namespace groupstest;
using testsupport::whenModal;

namespace {

QString seedGroup(const QString &cn) { return QStringLiteral("CN=%1,OU=Groups,%2").arg(cn, fact("SEED_OU")); }

// Answers the next find dialog: searches for name and picks the row with that DN.
void scriptFindDialog(const QString &name, const QString &dn)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, name, dn] {
        auto *dlg = qobject_cast<query::TfrmFind *>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        timer->stop();
        timer->deleteLater();
        dlg->ebName->setText(name);
        dlg->btFindClick();
        waitFor([dlg] { return !dlg->searching(); });
        for (int i = 0; i < dlg->lvResult->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = dlg->lvResult->topLevelItem(i);
            dlg->lvResult->setCurrentItem(item);
            if (dlg->selection().distinguishedName.compare(dn, Qt::CaseInsensitive) == 0)
                break;
        }
        dlg->btOKClick();
    });
    timer->start();
}

QTreeWidgetItem *itemWithDn(QTreeWidget *list, const QString &dn, int column = 0)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->data(column, Qt::UserRole).toString().compare(dn, Qt::CaseInsensitive) == 0)
            return list->topLevelItem(i);
    return nullptr;
}

class GroupsGui : public GroupsDomain {
protected:
    void SetUp() override
    {
        GroupsDomain::SetUp();
        options::setConfirmWrites(false);
    }
};

} // namespace

TEST_F(GroupsGui, GroupListShowsEveryGroupAndSortsByTypeAscendingThenDescending)
{
    ui::ScriptedPrompts prompts;
    TfrmSelectGroup dlg;
    dlg.LoadList();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral(" Select Group"));
    const QTreeWidget *list = dlg.ListViewGroups;
    ASSERT_GT(list->topLevelItemCount(), 20);
    const int total = list->topLevelItemCount();
    EXPECT_GE(total, testsupport::ldapCount(fact("SEED_OU"), QStringLiteral("(objectClass=group)")));
    for (int i = 1; i < total; ++i)
        EXPECT_LE(QString::compare(list->topLevelItem(i - 1)->text(0), list->topLevelItem(i)->text(0), Qt::CaseInsensitive), 0);
    dlg.ListViewGroupsColumnClick(1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("Distribution Group - Global"));
    dlg.ListViewGroupsColumnClick(1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("Security Group - Universal"));
    EXPECT_FALSE(dlg.btView->isEnabled());
    dlg.ListViewGroups->setCurrentItem(dlg.ListViewGroups->topLevelItem(0));
    EXPECT_TRUE(dlg.btView->isEnabled());
    EXPECT_EQ(prompts.asked().size(), 0);
}

TEST_F(GroupsGui, ViewOfAGroupDeletedAfterListingReportsTheDirectorysError)
{
    ui::ScriptedPrompts prompts;
    const QString group = createGroup(QStringLiteral("Vanish"));
    TfrmSelectGroup dlg;
    dlg.LoadList();
    QTreeWidgetItem *item = nullptr;
    for (int i = 0; i < dlg.ListViewGroups->topLevelItemCount(); ++i)
        if (dlg.ListViewGroups->topLevelItem(i)->data(0, Qt::UserRole).toString().compare(group, Qt::CaseInsensitive) == 0)
            item = dlg.ListViewGroups->topLevelItem(i);
    ASSERT_TRUE(item);
    ASSERT_EQ(testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: delete\n").arg(group).toUtf8()).exitCode, 0);
    dlg.ListViewGroups->setCurrentItem(item);
    dlg.btViewClick();
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_FALSE(prompts.messages().first().isEmpty());
}

TEST_F(GroupsGui, MembersTabMarksPrimaryAndNestedMembersAndRefusesToRemoveThem)
{
    ui::ScriptedPrompts prompts;
    TfrmGroupView view(seedGroup(QStringLiteral("UG All Staff")), QStringLiteral("UG All Staff"));
    view.pcGroup->setCurrentWidget(view.tsMembers);
    ASSERT_TRUE(view.membersLoaded());
    EXPECT_EQ(view.lbTotalMembers->text(), QStringLiteral("Total items: %1").arg(view.ListViewMembers->topLevelItemCount()));
    // A Platform user is here only through GG Platform (inside GG Engineering).
    const auto platform = testsupport::ldapSearch(seedGroup(QStringLiteral("GG Platform")), QStringLiteral("(objectClass=*)"),
                                                  {QStringLiteral("member")}, testsupport::Account::admin(),
                                                  {QStringLiteral("-s"), QStringLiteral("base")});
    const QString nestedUser = QString::fromUtf8(platform.value(0).values(QStringLiteral("member")).value(0));
    QTreeWidgetItem *item = itemWithDn(view.ListViewMembers, nestedUser);
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->font(0).italic());
    view.ListViewMembers->clearSelection();
    item->setSelected(true);
    prompts.answer(ui::Button::Yes);
    view.btRemoveMemberClick();
    ASSERT_EQ(prompts.messages().size(), 2);
    EXPECT_TRUE(prompts.messages().at(1).contains(QStringLiteral("\"GG Platform\""))) << prompts.messages().at(1).toStdString();
    EXPECT_TRUE(itemWithDn(view.ListViewMembers, nestedUser));
    EXPECT_FALSE(view.btApply->isEnabled());

    // GG Engineering is the primary group of primary.group: listed, and not removable here.
    TfrmGroupView eng(seedGroup(QStringLiteral("GG Engineering")), QStringLiteral("GG Engineering"));
    eng.pcGroup->setCurrentWidget(eng.tsMembers);
    const QString primaryUser = QStringLiteral("CN=Primary Group,OU=Showcase,") + fact("SEED_OU");
    QTreeWidgetItem *p = itemWithDn(eng.ListViewMembers, primaryUser);
    ASSERT_TRUE(p);
    p->setSelected(true);
    prompts.clear();
    prompts.answer(ui::Button::Yes);
    eng.btRemoveMemberClick();
    ASSERT_EQ(prompts.messages().size(), 2);
    EXPECT_TRUE(prompts.messages().at(1).startsWith(QStringLiteral("This is the member's Primary Group")));
    EXPECT_TRUE(itemWithDn(eng.ListViewMembers, primaryUser));
    EXPECT_FALSE(eng.btApply->isEnabled());
}

TEST_F(GroupsGui, AddAndRemoveMembersWriteOnlyWhatChangedOnApply)
{
    ui::ScriptedPrompts prompts;
    const QString group = createGroup(QStringLiteral("GuiMembers"));
    const QStringList users = adsitest::createUsers(scratch(), QStringLiteral("ggui"), 3);
    ASSERT_EQ(addMemberByTool(group, users[0]), 0);
    TfrmGroupView view(group, QStringLiteral("x"));
    view.pcGroup->setCurrentWidget(view.tsMembers);
    ASSERT_EQ(view.ListViewMembers->topLevelItemCount(), 1);
    EXPECT_TRUE(view.btAddMember->isEnabled());

    EXPECT_FALSE(view.addMember(group));                       // itself
    EXPECT_FALSE(view.addMember(users[0]));                    // already listed
    EXPECT_FALSE(view.addMember(QStringLiteral("CN=Administrators,CN=Builtin,") + fact("BASE_DN")));
    QStringList msgs = prompts.messages();
    ASSERT_EQ(msgs.size(), 3);
    EXPECT_EQ(msgs[0], QStringLiteral("A group cannot be made a member of itself."));
    EXPECT_TRUE(msgs[1].startsWith(QStringLiteral("The \"")) && msgs[1].endsWith(QStringLiteral("\" is already in the list.")));
    EXPECT_EQ(msgs[2], QStringLiteral("Builtin groups cannot be added to other goups."));
    EXPECT_FALSE(view.btApply->isEnabled());

    // Add users[1] and users[2], remove users[0], then take users[2] out again before Apply.
    ASSERT_TRUE(view.addMember(users[1]));
    ASSERT_TRUE(view.addMember(users[2]));
    view.ListViewMembers->clearSelection();
    itemWithDn(view.ListViewMembers, users[0])->setSelected(true);
    prompts.answer(ui::Button::Yes);
    view.btRemoveMemberClick();
    view.ListViewMembers->clearSelection();
    itemWithDn(view.ListViewMembers, users[2])->setSelected(true);
    prompts.answer(ui::Button::Yes);
    view.btRemoveMemberClick();
    EXPECT_EQ(view.memberChanges().additions(), QStringList{users[1]});
    EXPECT_EQ(view.memberChanges().removals(), QStringList{users[0]});
    EXPECT_TRUE(view.btApply->isEnabled());
    EXPECT_TRUE(view.btApplyClick());
    EXPECT_EQ(membersByTool(group), lower({users[1]}));
    EXPECT_FALSE(view.btApply->isEnabled());
    EXPECT_EQ(view.lbTotalMembers->text(), QStringLiteral("Total items: 1"));
}

TEST_F(GroupsGui, AddMemberThroughTheFindDialog)
{
    ui::ScriptedPrompts prompts;
    const QString group = createGroup(QStringLiteral("GuiFind"));
    const QStringList users = adsitest::createUsers(scratch(), QStringLiteral("gfind"), 1);
    TfrmGroupView view(group, QStringLiteral("x"));
    view.pcGroup->setCurrentWidget(view.tsMembers);
    const QString cn = users[0].section(QLatin1Char(','), 0, 0).mid(3);
    scriptFindDialog(cn, users[0]);
    view.btAddMemberClick();
    ASSERT_TRUE(itemWithDn(view.ListViewMembers, users[0]));
    view.btOKClick();
    EXPECT_EQ(membersByTool(group), lower({users[0]}));
}

TEST_F(GroupsGui, MemberOfJoinsAndLeavesOtherGroupsAndBuiltinGroupsCannot)
{
    ui::ScriptedPrompts prompts;
    const QString a = createGroup(QStringLiteral("MemberOfA"));
    const QString b = createGroup(QStringLiteral("MemberOfB"));
    {
        TfrmGroupView view(a, QStringLiteral("A"));
        view.pcGroup->setCurrentWidget(view.tsMemberOf);
        EXPECT_EQ(view.ListViewMemberOf->topLevelItemCount(), 0);
        EXPECT_FALSE(view.addMemberOf(a));
        EXPECT_EQ(prompts.messages().value(0), QStringLiteral("A group cannot be made a member of itself."));
        EXPECT_TRUE(view.addMemberOf(b));
        EXPECT_TRUE(view.btApplyClick());
        EXPECT_EQ(membersByTool(b), lower({a}));
    }
    {
        TfrmGroupView view(a, QStringLiteral("A"));
        view.pcGroup->setCurrentWidget(view.tsMemberOf);
        QTreeWidgetItem *item = itemWithDn(view.ListViewMemberOf, b);
        ASSERT_TRUE(item);
        view.ListViewMemberOf->setCurrentItem(item);
        prompts.clear();
        prompts.answer(ui::Button::Yes);
        view.btRemoveMemberOfClick();
        EXPECT_TRUE(prompts.messages().value(0).startsWith(QStringLiteral("Do you want to remove \"")));
        view.btOKClick();
        EXPECT_TRUE(membersByTool(b).isEmpty());
    }
    TfrmGroupView builtin(QStringLiteral("CN=Administrators,CN=Builtin,") + fact("BASE_DN"), QStringLiteral("Administrators"));
    builtin.show();
    builtin.pcGroup->setCurrentWidget(builtin.tsMemberOf);
    EXPECT_TRUE(builtin.facts().Builtin);
    EXPECT_TRUE(builtin.lbBuiltinMemberOf->isVisible());
    EXPECT_FALSE(builtin.btAddMemberOf->isEnabled());
    EXPECT_FALSE(builtin.ListViewMemberOf->isEnabled());
    builtin.btCancelClick();
}

TEST_F(GroupsGui, CancelAfterChangesAsksToDiscardAndNoKeepsTheWindow)
{
    ui::ScriptedPrompts prompts;
    const QString group = createGroup(QStringLiteral("Discard"));
    TfrmGroupView view(group, QStringLiteral("x"));
    view.show();
    ASSERT_TRUE(view.ebDescription->isEnabled());
    view.ebDescription->setFocus();
    view.ebDescription->setText(QStringLiteral("typed"));
    emit view.ebDescription->textEdited(QStringLiteral("typed"));
    ASSERT_TRUE(view.btApply->isEnabled());
    prompts.answer(ui::Button::No);
    view.btCancelClick();
    EXPECT_EQ(prompts.messages().value(0), QStringLiteral("You have made changes. Do you want to discard them?"));
    EXPECT_TRUE(view.isVisible());
    prompts.answer(ui::Button::Yes);
    view.btCancelClick();
    EXPECT_FALSE(view.isVisible());
    const auto e = testsupport::ldapSearch(group, QStringLiteral("(objectClass=*)"), {QStringLiteral("description")},
                                           testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    EXPECT_TRUE(e.value(0).text(QStringLiteral("description")).isEmpty());
}

TEST_F(GroupsGui, ManagedByShowsTheManagerAndTheUpdateRightReadOnly)
{
    ui::ScriptedPrompts prompts;
    const QString group = createGroup(QStringLiteral("GuiManaged"));
    const QStringList users = adsitest::createUsers(scratch(), QStringLiteral("gman"), 1);
    const QByteArray ldif = QStringLiteral("dn: %1\nchangetype: modify\nreplace: managedBy\nmanagedBy: %2\n-\n").arg(group, users[0]).toUtf8();
    ASSERT_EQ(testsupport::ldapModify(ldif).exitCode, 0);
    TfrmGroupView view(group, QStringLiteral("x"));
    view.pcGroup->setCurrentWidget(view.tsManagedBy);
    EXPECT_EQ(view.tsManagedBy->ebManagerName->text(), users[0].section(QLatin1Char(','), 0, 0).mid(3));
    EXPECT_EQ(view.tsManagedBy->ebManagerName->toolTip(), users[0]);
    EXPECT_FALSE(view.tsManagedBy->cbManagerCanUpdate->isChecked());
    EXPECT_FALSE(view.tsManagedBy->cbManagerCanUpdate->isEnabled());
    EXPECT_TRUE(view.tsManagedBy->btClearManager->isEnabled());
    view.tsManagedBy->btClearClick();
    EXPECT_TRUE(view.btApply->isEnabled());
    view.btOKClick();
    const auto e = testsupport::ldapSearch(group, QStringLiteral("(objectClass=*)"), {QStringLiteral("managedBy")},
                                           testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    EXPECT_TRUE(e.value(0).text(QStringLiteral("managedBy")).isEmpty());
}

TEST_F(GroupsGui, SecurityTabAgreesWithSambasDecodingAndAdvancedOpensEveryEntry)
{
    ui::ScriptedPrompts prompts;
    wireDialogs();
    const QString dn = seedGroup(QStringLiteral("GG Sales"));
    TfrmGroupView view(dn, QStringLiteral("GG Sales"));
    view.pcGroup->setCurrentWidget(view.tsSecurity);
    TSecurityPage *page = view.tsSecurity;
    ASSERT_TRUE(page->readable());
    EXPECT_FALSE(page->lbNoAccess->isVisibleTo(&view));
    EXPECT_TRUE(page->lbInheritance->text().endsWith(QStringLiteral("is enabled.")));

    // Trustees and their masks as Samba's own code decodes the descriptor.
    const QByteArray bytes = testsupport::ldapSearch(dn, QStringLiteral("(objectClass=*)"), {QStringLiteral("nTSecurityDescriptor")},
                                                     testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")})
                                 .value(0)
                                 .values(QStringLiteral("nTSecurityDescriptor"))
                                 .value(0);
    const QList<testsupport::DecodedAce> dacl = testsupport::decodeAclWithSamba(bytes);
    ASSERT_FALSE(dacl.isEmpty());
    QMap<QString, quint32> allow, deny;
    for (const testsupport::DecodedAce &a : dacl) {
        if (a.type >= 7)
            continue;
        allow[a.sid] |= (a.type == 0 || a.type == 5) ? a.mask : 0;
        deny[a.sid] |= (a.type == 1 || a.type == 6) ? a.mask : 0;
    }
    ASSERT_EQ(page->trustees().size(), allow.size());
    ASSERT_EQ(page->lvSecurity->topLevelItemCount(), allow.size());
    for (int i = 0; i < page->trustees().size(); ++i) {
        const auto &t = page->trustees().at(i);
        ASSERT_TRUE(allow.contains(t.trustee)) << t.trustee.toStdString();
        EXPECT_EQ(t.allow, allow.value(t.trustee)) << t.trustee.toStdString();
        EXPECT_EQ(t.deny, deny.value(t.trustee)) << t.trustee.toStdString();
        EXPECT_EQ(page->lvSecurity->topLevelItem(i)->text(0), t.caption);
        if (i > 0) // listed by name
            EXPECT_LE(QString::compare(page->trustees().at(i - 1).caption, t.caption, Qt::CaseInsensitive), 0);
    }
    QTreeWidgetItem *admins = nullptr;
    for (int i = 0; i < page->lvSecurity->topLevelItemCount(); ++i)
        if (page->lvSecurity->topLevelItem(i)->text(0).startsWith(QStringLiteral("Domain Admins (")))
            admins = page->lvSecurity->topLevelItem(i);
    ASSERT_NE(admins, nullptr);
    page->lvSecurity->setCurrentItem(admins);
    EXPECT_EQ(page->lbPermissions->text(), QStringLiteral("Permissions for ") + admins->text(0));
    ASSERT_EQ(page->lvPermitions->topLevelItemCount(), 7);
    for (int i = 0; i < 7; ++i) { // full control: every row allowed, nothing denied
        EXPECT_EQ(page->lvPermitions->topLevelItem(i)->checkState(1), Qt::Checked);
        EXPECT_EQ(page->lvPermitions->topLevelItem(i)->checkState(2), Qt::Unchecked);
    }

    // "Advanced..." opens the advanced view on the same descriptor: one raw row per entry.
    ASSERT_TRUE(page->btAdvanced->isEnabled());
    int rawRows = -1;
    QString owner;
    whenModal<userprop::TfrmAdvancedAttributes>([&](userprop::TfrmAdvancedAttributes *adv) {
        rawRows = adv->lvRaw->topLevelItemCount();
        owner = adv->ebOwner->text();
        adv->reject();
    });
    page->btAdvanced->click();
    EXPECT_GE(rawRows, dacl.size());
    EXPECT_FALSE(owner.isEmpty());
    EXPECT_EQ(prompts.asked().size(), 0);
}

TEST_F(GroupsGui, RawTabShowsTheGroup)
{
    ui::ScriptedPrompts prompts;
    TfrmGroupView view(seedGroup(QStringLiteral("GG Sales")), QStringLiteral("GG Sales"));
    view.pcGroup->setCurrentWidget(view.tsRAW);
    QHash<QString, QTreeWidgetItem *> rows;
    for (int i = 0; i < view.tsRAW->lvRAW->topLevelItemCount(); ++i)
        rows.insert(view.tsRAW->lvRAW->topLevelItem(i)->text(0).toLower(), view.tsRAW->lvRAW->topLevelItem(i));
    ASSERT_TRUE(rows.contains(QStringLiteral("objectsid")));
    EXPECT_TRUE(rows.value(QStringLiteral("objectsid"))->text(2).startsWith(QStringLiteral("S-1-5-21-")));
    ASSERT_TRUE(rows.contains(QStringLiteral("grouptype")));
    EXPECT_EQ(rows.value(QStringLiteral("grouptype"))->text(1), QStringLiteral("Integer"));
    EXPECT_EQ(rows.value(QStringLiteral("grouptype"))->text(2), QStringLiteral("-2147483646"));
    ASSERT_TRUE(rows.contains(QStringLiteral("member")));
    EXPECT_TRUE(rows.value(QStringLiteral("member"))->text(2).contains(QStringLiteral(" # ")));
    EXPECT_EQ(rows.value(QStringLiteral("member"))->text(1), QStringLiteral("DN String"));
}

TEST_F(GroupsGui, MembersTabListsEveryMemberOfTheGroupAboveFifteenHundred)
{
    ui::ScriptedPrompts prompts;
    const QString dn = seedGroup(QStringLiteral("GG Bulk Members"));
    TfrmGroupView view(dn, QStringLiteral("GG Bulk Members"));
    view.pcGroup->setCurrentWidget(view.tsMembers);
    ASSERT_TRUE(view.membersLoaded());
    EXPECT_EQ(view.ListViewMembers->topLevelItemCount(), 1600);
    EXPECT_EQ(view.lbTotalMembers->text(), QStringLiteral("Total items: 1600"));
    EXPECT_EQ(membersByTool(dn).size(), 1600);
    EXPECT_EQ(prompts.asked().size(), 0);
}
