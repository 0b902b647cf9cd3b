// The Member Of tab: membership of a large group, the primary group, nested groups.
#include "userprop_support.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

using namespace uptest;

namespace {

QTreeWidgetItem *memberRow(QTreeWidget *list, const QString &groupDn)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(2).compare(groupDn, Qt::CaseInsensitive) == 0)
            return list->topLevelItem(i);
    return nullptr;
}

bool isMember(const QString &groupDn, const QString &userDn)
{
    const auto found = testsupport::ldapSearch(groupDn, QStringLiteral("(member=%1)").arg(EscapeFilterValue(userDn)),
                                               {QStringLiteral("cn")}, testsupport::Account::admin(),
                                               {QStringLiteral("-s"), QStringLiteral("base")});
    return found.size() == 1;
}

} // namespace

class MemberOf : public DialogTest {};

TEST_F(MemberOf, AddAndRemoveOnAGroupOfSixteenHundredMembers)
{
    // A group of our own holding the 1,600 seeded bulk users (the seeded group stays as it is).
    const QString big = createGroup("up-big");
    const QString bulk = QStringLiteral("CN=GG Bulk Members,OU=Groups,") + testsupport::fact("SEED_OU");
    const auto members = entry(bulk, {"member"}).values("member");
    ASSERT_GE(members.size(), 1600);
    QString ldif = QStringLiteral("dn: %1\nchangetype: modify\nadd: member\n").arg(big);
    for (const QByteArray &m : members)
        ldif += QStringLiteral("member: %1\n").arg(QString::fromUtf8(m));
    modify(ldif);

    const QString dn = createUser("up-mem");
    TfrmUserProp::setGroupPicker([&](QWidget *, const userprop::UserPropConnection &, const QStringList &shown,
                                     const QString &, QStringList &chosen) {
        EXPECT_FALSE(shown.contains(big, Qt::CaseInsensitive));
        chosen = {big};
        return true;
    });
    TfrmUserProp *d = open(dn);
    d->showTab(TfrmUserProp::MemberOf);
    auto *list = child<QTreeWidget>(d, "lvMemberOf");
    child<QPushButton>(d, "btAddGroup")->click();
    ASSERT_NE(memberRow(list, big), nullptr);
    ASSERT_TRUE(d->Apply());
    EXPECT_TRUE(isMember(big, dn));
    EXPECT_EQ(entry(big, {"member"}).values("member").size(), members.size() + 1);

    // Remove it again (after the question).
    list->setCurrentItem(memberRow(list, big));
    prompts.answer(ui::Button::Yes);
    child<QPushButton>(d, "btRemoveGroup")->click();
    EXPECT_EQ(memberRow(list, big), nullptr);
    ASSERT_TRUE(d->Apply());
    EXPECT_FALSE(isMember(big, dn));
    EXPECT_EQ(entry(big, {"member"}).values("member").size(), members.size());
}

TEST_F(MemberOf, PrimaryGroupIsSetBeforeTheOldOneCanBeRemoved)
{
    const QString group = createGroup("up-prim");
    const QString dn = createUser("up-pu");
    modify(QStringLiteral("dn: %1\nchangetype: modify\nadd: member\nmember: %2\n").arg(group, dn));
    const int token = entry(group, {"primaryGroupToken"}).text("primaryGroupToken").toInt();
    const QString domainUsers = QStringLiteral("CN=Domain Users,CN=Users,") + adsitest::baseDn();
    TfrmUserProp *d = open(dn);
    d->showTab(TfrmUserProp::MemberOf);
    auto *list = child<QTreeWidget>(d, "lvMemberOf");
    ASSERT_NE(memberRow(list, domainUsers), nullptr);

    // The primary group cannot be removed.
    list->setCurrentItem(memberRow(list, domainUsers));
    prompts.answer(ui::Button::Yes);
    child<QPushButton>(d, "btRemoveGroup")->click();
    EXPECT_TRUE(prompts.messages().value(1).startsWith("The primary group cannot be removed."));
    EXPECT_NE(memberRow(list, domainUsers), nullptr);

    list->setCurrentItem(memberRow(list, group));
    ASSERT_TRUE(child<QPushButton>(d, "btSetPrimaryGroup")->isEnabled());
    child<QPushButton>(d, "btSetPrimaryGroup")->click();
    EXPECT_EQ(child<QLabel>(d, "lbPrimaryGroupDisplayName")->text(), ads::firstRdn(group).mid(3));
    ASSERT_TRUE(d->Apply());
    EXPECT_EQ(ldapText(dn, "primaryGroupID").toInt(), token);
}

TEST_F(MemberOf, GroupsReachedThroughNestingAreMarkedAndNotRemoved)
{
    const QString outer = createGroup("up-outer");
    const QString inner = createGroup("up-inner");
    const QString dn = createUser("up-nest");
    modify(QStringLiteral("dn: %1\nchangetype: modify\nadd: member\nmember: %2\n").arg(inner, dn));
    modify(QStringLiteral("dn: %1\nchangetype: modify\nadd: member\nmember: %2\n").arg(outer, inner));
    TfrmUserProp *d = open(dn);
    d->showTab(TfrmUserProp::MemberOf);
    auto *list = child<QTreeWidget>(d, "lvMemberOf");
    QTreeWidgetItem *nested = memberRow(list, outer);
    ASSERT_NE(nested, nullptr);
    EXPECT_TRUE(nested->font(0).italic());
    ASSERT_NE(memberRow(list, inner), nullptr);
    EXPECT_FALSE(memberRow(list, inner)->font(0).italic());
    list->setCurrentItem(nested);
    prompts.answer(ui::Button::Yes);
    child<QPushButton>(d, "btRemoveGroup")->click();
    ASSERT_EQ(prompts.messages().size(), 2);
    EXPECT_TRUE(prompts.messages().value(1).contains(ads::firstRdn(inner).mid(3))) << prompts.messages().value(1).toStdString();
    EXPECT_NE(memberRow(list, outer), nullptr);
    EXPECT_FALSE(d->applyEnabled());
}
