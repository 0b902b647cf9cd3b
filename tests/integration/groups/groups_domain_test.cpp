// Group lists, member lists, membership changes, the query-based member preview and the
// manager's update right against the test domain, checked with ldapsearch/ldapmodify.
#include "groups_domain_support.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "groups/unEnumMembersThread.h"
#include "groups/unGroupList.h"
#include "groups/unGroupMembers.h"
#include "groups/unGroupRights.h"
#include "platform/adsi/adsobject.h"
#include "platform/security/descriptor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <gtest/gtest.h>

using namespace groups;
using namespace groupstest;

namespace {

QString seedGroup(const QString &cn) { return QStringLiteral("CN=%1,OU=Groups,%2").arg(cn, fact("SEED_OU")); }

QSet<QString> dnsOf(const QList<TGroupMember> &rows, std::optional<MemberKind> kind = std::nullopt)
{
    QSet<QString> s;
    for (const auto &r : rows)
        if (!kind || r.Kind == *kind)
            s.insert(r.DistinguishedName.toLower());
    return s;
}

// Members of a group through nesting, walked group by group with ldapsearch: the expected
// answer computed without the program's in-chain search.
QSet<QString> transitiveMembers(const QString &groupDn)
{
    QSet<QString> seen;
    QStringList queue{groupDn};
    QSet<QString> visitedGroups{groupDn.toLower()};
    while (!queue.isEmpty()) {
        const QString g = queue.takeFirst();
        const auto entries = testsupport::ldapSearch(g, QStringLiteral("(objectClass=*)"), {QStringLiteral("member")},
                                                     testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
        for (const auto &e : entries)
            for (const QByteArray &m : e.values(QStringLiteral("member"))) {
                const QString dn = QString::fromUtf8(m);
                seen.insert(dn.toLower());
                const auto cls = testsupport::ldapSearch(dn, QStringLiteral("(objectClass=group)"), {QStringLiteral("dn")},
                                                         testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
                if (!cls.isEmpty() && !visitedGroups.contains(dn.toLower())) {
                    visitedGroups.insert(dn.toLower());
                    queue << dn;
                }
            }
    }
    return seen;
}

} // namespace

TEST_F(GroupsDomain, GroupListEqualsLdapsearchWithTheTypeTextOfEverySeededType)
{
    const QString base = QStringLiteral("OU=Groups,") + fact("SEED_OU");
    const QList<TGroupListEntry> rows = LoadGroupList(GroupKind::Groups, base);
    QSet<QString> ours;
    QHash<QString, QString> typeOf;
    for (const auto &r : rows) {
        ours.insert(r.DistinguishedName.toLower());
        typeOf.insert(r.Name, r.TypeText);
    }
    QSet<QString> theirs;
    for (const auto &e : testsupport::ldapSearch(base, QStringLiteral("(&(objectCategory=Group)(objectClass=Group))"), {QStringLiteral("dn")}))
        theirs.insert(e.dn.toLower());
    EXPECT_EQ(ours, theirs);
    EXPECT_EQ(typeOf.value(QStringLiteral("GG Platform")), QStringLiteral("Security Group - Global"));
    EXPECT_EQ(typeOf.value(QStringLiteral("DL File Share Access")), QStringLiteral("Security Group - Local"));
    EXPECT_EQ(typeOf.value(QStringLiteral("UG Managers")), QStringLiteral("Security Group - Universal"));
    EXPECT_EQ(typeOf.value(QStringLiteral("GD Project Team")), QStringLiteral("Distribution Group - Global"));
    EXPECT_EQ(typeOf.value(QStringLiteral("LD Printer Users")), QStringLiteral("Distribution Group - Local"));
    EXPECT_EQ(typeOf.value(QStringLiteral("UD Newsletter")), QStringLiteral("Distribution Group - Universal"));
    for (const auto &r : rows)
        if (r.Name == QStringLiteral("All Company")) {
            EXPECT_EQ(r.Folder, fact("DNS_DOMAIN") + QStringLiteral("/Arvendel/Groups/Distribution Lists"));
        }

    // The query-based groups are a list of their own.
    QStringList dynamicNames;
    for (const auto &r : LoadGroupList(GroupKind::QueryBasedDistributionGroups, base))
        dynamicNames << r.Name;
    dynamicNames.sort();
    EXPECT_EQ(dynamicNames, (QStringList{QStringLiteral("All Mailbox Users"), QStringLiteral("Sales Mail Users")}));
}

TEST_F(GroupsDomain, GroupAboveFifteenHundredMembersListsEveryMemberThroughSmallRanges)
{
    const QString dn = seedGroup(QStringLiteral("GG Bulk Members"));
    QSet<QString> expected;
    for (const auto &e : testsupport::ldapSearch(dn, QStringLiteral("(objectClass=*)"), {QStringLiteral("member")},
                                                 testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")}))
        for (const QByteArray &m : e.values(QStringLiteral("member")))
            expected.insert(QString::fromUtf8(m).toLower());
    ASSERT_EQ(expected.size(), 1600);

    // Ranges of 7 values: the directory answers "member;range=0-6" and the rest is read on.
    const QStringList direct = ReadDirectMembers(dn, 7);
    EXPECT_EQ(direct.size(), 1600);
    QSet<QString> directSet;
    for (const QString &d : direct)
        directSet.insert(d.toLower());
    EXPECT_EQ(directSet, expected);

    TLoadOptions options;
    options.rangeSize = 7;
    const QList<TGroupMember> rows = LoadGroupMembers(ReadGroupFacts(dn), options);
    EXPECT_EQ(dnsOf(rows), expected);
    EXPECT_EQ(dnsOf(rows, MemberKind::Direct), expected);
}

TEST_F(GroupsDomain, NestedMembersAreListedAndMarkedAndPrimaryGroupMembersShow)
{
    const QString allStaff = seedGroup(QStringLiteral("UG All Staff"));
    const QList<TGroupMember> rows = LoadGroupMembers(ReadGroupFacts(allStaff));
    EXPECT_EQ(dnsOf(rows), transitiveMembers(allStaff));
    const QSet<QString> direct{seedGroup(QStringLiteral("GG Engineering")).toLower(), seedGroup(QStringLiteral("GG Sales")).toLower(),
                               seedGroup(QStringLiteral("UG Managers")).toLower()};
    EXPECT_EQ(dnsOf(rows, MemberKind::Direct), direct);
    // A Platform user reaches UG All Staff through GG Platform and GG Engineering only.
    const QString platform = seedGroup(QStringLiteral("GG Platform"));
    const auto platformMembers = testsupport::ldapSearch(platform, QStringLiteral("(objectClass=*)"), {QStringLiteral("member")},
                                                         testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    ASSERT_FALSE(platformMembers.isEmpty());
    const QString platformUser = QString::fromUtf8(platformMembers.first().values(QStringLiteral("member")).value(0));
    bool found = false;
    for (const auto &r : rows)
        if (r.DistinguishedName.compare(platformUser, Qt::CaseInsensitive) == 0) {
            found = true;
            EXPECT_EQ(r.Kind, MemberKind::Nested);
        }
    EXPECT_TRUE(found);
    // The group it comes through is one of the member groups that holds it.
    QStringList memberGroups;
    for (const auto &r : rows)
        if (r.IsGroup)
            memberGroups << r.DistinguishedName;
    EXPECT_EQ(NestingGroupOf(platformUser, memberGroups).toLower(), platform.toLower());

    // primary.group has GG Engineering as its primary group: listed, though not in "member".
    const QString eng = seedGroup(QStringLiteral("GG Engineering"));
    const TGroupFacts facts = ReadGroupFacts(eng);
    EXPECT_GT(facts.PrimaryGroupToken, 0);
    const QList<TGroupMember> engRows = LoadGroupMembers(facts);
    const QString primaryUser = QStringLiteral("CN=Primary Group,OU=Showcase,") + fact("SEED_OU");
    bool primaryFound = false;
    for (const auto &r : engRows)
        if (r.DistinguishedName.compare(primaryUser, Qt::CaseInsensitive) == 0) {
            primaryFound = true;
            EXPECT_EQ(r.Kind, MemberKind::Primary);
            EXPECT_EQ(r.PrimaryGroupID, facts.PrimaryGroupToken);
        }
    EXPECT_TRUE(primaryFound);
    EXPECT_FALSE(ReadDirectMembers(eng).contains(primaryUser, Qt::CaseInsensitive));
}

TEST_F(GroupsDomain, DirectMembersOutsideTheSearchAreListedToo)
{
    // A computer is neither a person nor a group: the member search does not find it, yet it
    // is a value of "member" and must show (and be removable).
    const QString group = createGroup(QStringLiteral("Computer"));
    const QString computer = QStringLiteral("CN=gpc%1,%2").arg(adsitest::uniqueTag(), scratch());
    const QByteArray ldif = QStringLiteral("dn: %1\nchangetype: add\nobjectClass: computer\nsAMAccountName: gpc%2$\n")
                                .arg(computer, adsitest::uniqueTag()).toUtf8();
    ASSERT_EQ(testsupport::ldapModify(ldif).exitCode, 0);
    ASSERT_EQ(addMemberByTool(group, computer), 0);
    const QList<TGroupMember> rows = LoadGroupMembers(ReadGroupFacts(group));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().DistinguishedName.toLower(), computer.toLower());
    EXPECT_EQ(rows.first().Kind, MemberKind::Direct);
    EXPECT_EQ(rows.first().Name, QStringLiteral("gpc") + adsitest::uniqueTag());
    EXPECT_TRUE(ApplyMembershipChanges(group, {}, {computer}).written);
    EXPECT_TRUE(membersByTool(group).isEmpty());
}

TEST_F(GroupsDomain, BuiltinGroupsAreRecognisedByTheirSid)
{
    const TGroupFacts admins = ReadGroupFacts(QStringLiteral("CN=Administrators,CN=Builtin,") + fact("BASE_DN"));
    EXPECT_EQ(admins.SidText, QStringLiteral("S-1-5-32-544"));
    EXPECT_TRUE(admins.Builtin);
    const TGroupFacts eng = ReadGroupFacts(seedGroup(QStringLiteral("GG Engineering")));
    EXPECT_TRUE(eng.SidText.startsWith(QStringLiteral("S-1-5-21-")));
    EXPECT_FALSE(eng.Builtin);
    EXPECT_THROW(ReadGroupFacts(QStringLiteral("CN=No Such Group,") + fact("BASE_DN")), EADSIException);
}

TEST_F(GroupsDomain, ChangesAreOneAddDeleteModifyAndKeepWhatOthersChangedMeanwhile)
{
    const QString group = createGroup(QStringLiteral("Apply"));
    const QStringList users = adsitest::createUsers(scratch(), QStringLiteral("gm"), 4);
    ASSERT_EQ(users.size(), 4);

    TApplyResult r = ApplyMembershipChanges(group, {users[0], users[1]}, {});
    EXPECT_TRUE(r.written);
    EXPECT_EQ(membersByTool(group), lower({users[0], users[1]}));

    // Someone else adds users[2] after we loaded; our next Apply must not drop it.
    ASSERT_EQ(addMemberByTool(group, users[2]), 0);
    r = ApplyMembershipChanges(group, {users[0], users[3]}, {users[1], users[3] + QStringLiteral("x")});
    EXPECT_TRUE(r.written);
    EXPECT_EQ(r.alreadyThere, QStringList{users[0]});
    EXPECT_EQ(r.added, QStringList{users[3]});
    EXPECT_EQ(r.removed, QStringList{users[1]});
    EXPECT_EQ(r.alreadyGone.size(), 1);
    EXPECT_EQ(membersByTool(group), lower({users[0], users[2], users[3]}));

    // Nothing left to do: nothing is written, and both cases are reported.
    r = ApplyMembershipChanges(group, {users[2]}, {users[1]});
    EXPECT_FALSE(r.written);
    EXPECT_EQ(r.alreadyThere, QStringList{users[2]});
    EXPECT_EQ(r.alreadyGone, QStringList{users[1]});
    EXPECT_EQ(membersByTool(group), lower({users[0], users[2], users[3]}));
}

TEST_F(GroupsDomain, QueryBasedPreviewEqualsLdapsearchOfItsFilterBelowItsBase)
{
    const QString dn = QStringLiteral("CN=All Mailbox Users,OU=Distribution Lists,OU=Groups,") + fact("SEED_OU");
    const TDynamicGroupQuery q = ReadDynamicGroupQuery(dn);
    ASSERT_FALSE(q.Filter.isEmpty());
    ASSERT_FALSE(q.BaseDn.isEmpty());
    QSet<QString> ours;
    PreviewMembers(q.BaseDn, q.Filter, [&](const TPreviewMember &m) {
        ours.insert(m.DistinguishedName.toLower());
        return true;
    });
    QSet<QString> theirs;
    for (const auto &e : testsupport::ldapSearch(q.BaseDn, q.Filter, {QStringLiteral("dn")}))
        theirs.insert(e.dn.toLower());
    EXPECT_FALSE(theirs.isEmpty());
    EXPECT_EQ(ours, theirs);
}

TEST_F(GroupsDomain, PreviewOfAnInvalidFilterOrAMissingBaseGivesTheDirectorysReason)
{
    std::string badFilter, badBase;
    try {
        PreviewMembers(fact("SEED_OU"), QStringLiteral("(&(objectClass=user)(cn=x"), [](const TPreviewMember &) { return true; });
    } catch (const Exception &e) {
        badFilter = e.Message().toStdString();
    }
    EXPECT_FALSE(badFilter.empty());
    try {
        PreviewMembers(QStringLiteral("OU=Gone Away,") + fact("SEED_OU"), QStringLiteral("(objectClass=user)"),
                       [](const TPreviewMember &) { return true; });
    } catch (const Exception &e) {
        badBase = e.Message().toStdString();
    }
    EXPECT_FALSE(badBase.empty());
    EXPECT_NE(badBase, badFilter);

    // The thread reports the same reason at its end instead of an empty list.
    TEnumMembersThread t(QStringLiteral("OU=Gone Away,") + fact("SEED_OU"), QStringLiteral("(objectClass=user)"));
    QString ended = QStringLiteral("(not ended)");
    QObject::connect(&t, &TEnumMembersThread::enumerationEnded, [&](const QString &e) { ended = e; });
    t.start();
    ASSERT_TRUE(t.wait(60000));
    QCoreApplication::processEvents();
    EXPECT_EQ(ended.toStdString(), badBase);
}

TEST_F(GroupsDomain, PreviewThreadHandsRowsOverAndStopsOnRequestWithoutTheReceiver)
{
    // All 1,600 bulk users: long enough to stop in the middle.
    const QString base = QStringLiteral("OU=Bulk,") + fact("SEED_OU");
    {
        TEnumMembersThread t(base, QStringLiteral("(objectClass=user)"));
        int received = 0;
        QObject::connect(&t, &TEnumMembersThread::memberFound, [&](const TPreviewMember &) { ++received; });
        t.start();
        ASSERT_TRUE(t.wait(120000));
        QCoreApplication::processEvents();
        EXPECT_EQ(t.ErrorText(), QString());
        EXPECT_EQ(received, 1600);
        EXPECT_EQ(t.RowCount(), 1600);
    }
    {
        // A receiver that never runs its event loop meanwhile: the worker still ends at once.
        auto *t = new TEnumMembersThread(base, QStringLiteral("(objectClass=user)"));
        auto *receiver = new QObject;
        QObject::connect(t, &TEnumMembersThread::memberFound, receiver, [](const TPreviewMember &) {});
        t->start();
        while (t->RowCount() == 0 && !t->isFinished())
            QThread::msleep(5);
        t->Terminate();
        ASSERT_TRUE(t->wait(30000));
        EXPECT_LT(t->RowCount(), 1600);
        delete receiver;
        delete t;
        QCoreApplication::processEvents();
    }
}

TEST_F(GroupsDomain, PreviewThreadKeepsTheConnectionItWasMadeOnAndDisconnectingStopsIt)
{
    const QString base = QStringLiteral("OU=Bulk,") + fact("SEED_OU");
    {
        // Made on this connection; by the time it runs, the published context names another
        // server (a reconnect under way): it still lists what it was asked for, where it was.
        TEnumMembersThread t(base, QStringLiteral("(objectClass=user)"));
        const TConnectionContext made = ConnectionContextSnapshot();
        TConnectionContext elsewhere = made;
        elsewhere.ServerPrefix = QStringLiteral("LDAP://127.0.0.254:389/");
        elsewhere.DomainPath = elsewhere.ServerPrefix + made.DefaultNamingContext;
        PublishConnectionContext(elsewhere);
        t.start();
        const bool ended = t.wait(120000);
        PublishConnectionContext(made);
        ASSERT_TRUE(ended);
        QCoreApplication::processEvents();
        EXPECT_EQ(t.ErrorText(), QString());
        EXPECT_EQ(t.RowCount(), 1600);
    }
    {
        // Disconnecting (as reconnecting and closing the program do) stops a preview that is
        // still running, whose window may be gone, and returns only when it has ended.
        auto *t = new TEnumMembersThread(base, QStringLiteral("(objectClass=user)"));
        t->start();
        while (t->RowCount() == 0 && !t->isFinished())
            QThread::msleep(5);
        DisconnectContext();
        const bool stopped = t->isFinished();
        const int rows = t->RowCount();
        t->wait(60000);
        delete t;
        QCoreApplication::processEvents();
        EXPECT_TRUE(stopped);
        EXPECT_LT(rows, 1600);
    }
}

TEST_F(GroupsDomain, ManagerUpdateRightFollowsTheGroupsDacl)
{
    const QString group = createGroup(QStringLiteral("Managed"));
    const QStringList users = adsitest::createUsers(scratch(), QStringLiteral("gmgr"), 1);
    ASSERT_EQ(users.size(), 1);
    ads::ObjectPtr g = adsitest::bindAdmin(group);
    ASSERT_EQ(g->Put(QStringLiteral("managedBy"), users[0]), ads::S_OK);
    ASSERT_EQ(g->SetInfo(), ads::S_OK);
    EXPECT_FALSE(ManagerCanUpdateMembership(group, users[0]));

    // Grant the manager "write member" the way the directory's own tools do.
    ads::ObjectPtr u = adsitest::bindAdmin(users[0]);
    u->GetInfoEx({QStringLiteral("objectSid")});
    ads::PropertyEntry sidEntry;
    ASSERT_EQ(u->GetPropertyItem(QStringLiteral("objectSid"), &sidEntry), ads::S_OK);
    const auto sid = security::Sid::fromBytes(sidEntry.values.value(0).toByteArray());
    ASSERT_TRUE(sid);
    g = adsitest::bindAdmin(group);
    g->GetInfoEx({QStringLiteral("ntSecurityDescriptor")});
    ads::PropertyEntry sdEntry;
    ASSERT_EQ(g->GetPropertyItem(QStringLiteral("ntSecurityDescriptor"), &sdEntry), ads::S_OK);
    auto sd = security::SecurityDescriptor::parse(sdEntry.values.value(0).toByteArray());
    ASSERT_TRUE(sd && sd->dacl);
    sd->dacl->aces.append(security::makeObjectAce(security::ACCESS_ALLOWED_OBJECT_ACE_TYPE, *sid, 0x20, kMemberAttributeGuid));
    sd->canonicalizeDacl();
    ASSERT_EQ(g->Put(QStringLiteral("ntSecurityDescriptor"), sd->toBytes()), ads::S_OK);
    ASSERT_EQ(g->SetInfo(), ads::S_OK);
    EXPECT_TRUE(ManagerCanUpdateMembership(group, users[0]));
}
