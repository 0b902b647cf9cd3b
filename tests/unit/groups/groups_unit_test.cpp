// Pure logic of the group windows: column sorting, the member search filter, pending member
// changes, the manager's update right read from a descriptor and the permission rows.
#include "groups/unGroupList.h"
#include "groups/unGroupMembers.h"
#include "groups/unGroupRights.h"
#include "query/filtercompose.h"

#include <gtest/gtest.h>

using namespace groups;

namespace {

TGroupListEntry row(const char *name, const char *type, const char *folder)
{
    return {QString::fromUtf8(name), QString::fromUtf8(type), QString::fromUtf8(folder), QStringLiteral("CN=") + QString::fromUtf8(name)};
}

QStringList names(const QList<TGroupListEntry> &rows)
{
    QStringList l;
    for (const auto &r : rows)
        l << r.Name;
    return l;
}

} // namespace

TEST(GroupListSort, ColumnClicksFollowTheListRules)
{
    // Name alternates; another column sorts ascending first and reverses on a second click.
    EXPECT_EQ(NextSortKey(kSortByName, 0), -kSortByName);
    EXPECT_EQ(NextSortKey(-kSortByName, 0), kSortByName);
    EXPECT_EQ(NextSortKey(kSortByName, 1), 2);
    EXPECT_EQ(NextSortKey(2, 1), -2);
    EXPECT_EQ(NextSortKey(-2, 1), 2);
    EXPECT_EQ(NextSortKey(-2, 2), 3);
    // A reversed key of another column returns to name ascending.
    EXPECT_EQ(NextSortKey(-3, 0), kSortByName);
}

TEST(GroupListSort, SortsByTheKeysColumnWithoutRegardToCase)
{
    QList<TGroupListEntry> rows{row("beta", "Security Group - Global", "x/B"), row("Alpha", "Distribution Group - Local", "x/c"),
                                row("gamma", "Security Group - Global", "x/a")};
    SortGroupList(rows, kSortByName);
    EXPECT_EQ(names(rows), (QStringList{"Alpha", "beta", "gamma"}));
    SortGroupList(rows, -kSortByName);
    EXPECT_EQ(names(rows), (QStringList{"gamma", "beta", "Alpha"}));
    SortGroupList(rows, 2);
    EXPECT_EQ(names(rows).first(), QStringLiteral("Alpha"));
    SortGroupList(rows, -2);
    EXPECT_EQ(names(rows).last(), QStringLiteral("Alpha"));
    SortGroupList(rows, 3);
    EXPECT_EQ(names(rows), (QStringList{"gamma", "beta", "Alpha"}));
}

TEST(MembersFilter, IsOneValidFilterWithTheDnEscaped)
{
    const QString dn = QStringLiteral("CN=Odd (x*) \\, name,OU=Groups,DC=a,DC=b");
    const QString f = MembersFilter(dn, 1105);
    QString error;
    EXPECT_TRUE(query::isValidFilter(f, &error)) << error.toStdString();
    EXPECT_TRUE(f.contains(QStringLiteral("memberOf:1.2.840.113556.1.4.1941:=CN=Odd \\28x\\2a\\29 \\5c, name")));
    EXPECT_TRUE(f.contains(QStringLiteral("(primaryGroupID=1105)")));
    // No usable token: only the membership test remains.
    EXPECT_FALSE(MembersFilter(dn, -1).contains(QStringLiteral("primaryGroupID")));
    EXPECT_TRUE(query::isValidFilter(MembersFilter(dn, -1)));
}

TEST(MembershipChanges, AddThenRemoveBeforeApplyWritesNothing)
{
    TMembershipChanges c;
    c.setLoaded({QStringLiteral("CN=A,DC=x"), QStringLiteral("CN=B,DC=x")});
    EXPECT_TRUE(c.add(QStringLiteral("CN=C,DC=x")));
    EXPECT_TRUE(c.remove(QStringLiteral("cn=c,dc=x")));
    EXPECT_TRUE(c.isEmpty());
    // Removing a loaded member and adding it back writes nothing either.
    EXPECT_TRUE(c.remove(QStringLiteral("CN=A,DC=x")));
    EXPECT_EQ(c.removals(), QStringList{QStringLiteral("CN=A,DC=x")});
    EXPECT_TRUE(c.add(QStringLiteral("CN=A,DC=x")));
    EXPECT_TRUE(c.isEmpty());
}

TEST(MembershipChanges, DuplicatesAreRefusedAndCommitMovesTheLoadedSet)
{
    TMembershipChanges c;
    c.setLoaded({QStringLiteral("CN=A,DC=x")});
    EXPECT_FALSE(c.add(QStringLiteral("cn=a,DC=x")));       // already a member
    EXPECT_FALSE(c.remove(QStringLiteral("CN=Z,DC=x")));    // not a member
    EXPECT_TRUE(c.add(QStringLiteral("CN=B,DC=x")));
    EXPECT_FALSE(c.add(QStringLiteral("CN=B,DC=x")));
    EXPECT_TRUE(c.remove(QStringLiteral("CN=A,DC=x")));
    EXPECT_FALSE(c.remove(QStringLiteral("CN=A,DC=x")));
    EXPECT_EQ(c.additions(), QStringList{QStringLiteral("CN=B,DC=x")});
    EXPECT_EQ(c.removals(), QStringList{QStringLiteral("CN=A,DC=x")});
    c.commit();
    EXPECT_TRUE(c.isEmpty());
    EXPECT_TRUE(c.isCurrentMember(QStringLiteral("CN=B,DC=x")));
    EXPECT_FALSE(c.isCurrentMember(QStringLiteral("CN=A,DC=x")));
}

TEST(ManagerRight, FirstEntryThatGrantsOrDeniesWritingMemberDecides)
{
    const security::Sid manager(5, {21, 1, 2, 3, 1105});
    const security::Sid other(5, {21, 1, 2, 3, 1106});
    security::SecurityDescriptor sd;
    sd.dacl = security::Acl{};
    EXPECT_FALSE(CanUpdateMembership(sd, manager));

    // Another attribute, another trustee, an inherit-only entry: none of them counts.
    sd.dacl->aces.append(security::makeObjectAce(security::ACCESS_ALLOWED_OBJECT_ACE_TYPE, manager, 0x20,
                                                 QStringLiteral("{BF967953-0DE6-11D0-A285-00AA003049E2}")));
    sd.dacl->aces.append(security::makeObjectAce(security::ACCESS_ALLOWED_OBJECT_ACE_TYPE, other, 0x20, kMemberAttributeGuid));
    security::Ace inheritOnly = security::makeObjectAce(security::ACCESS_ALLOWED_OBJECT_ACE_TYPE, manager, 0x20, kMemberAttributeGuid);
    inheritOnly.flags = security::INHERIT_ONLY_ACE | security::CONTAINER_INHERIT_ACE;
    sd.dacl->aces.append(inheritOnly);
    EXPECT_FALSE(CanUpdateMembership(sd, manager));

    sd.dacl->aces.append(security::makeObjectAce(security::ACCESS_ALLOWED_OBJECT_ACE_TYPE, manager, 0x20, kMemberAttributeGuid));
    EXPECT_TRUE(CanUpdateMembership(sd, manager));

    // A denial standing before the grant wins.
    sd.dacl->aces.prepend(security::makeObjectAce(security::ACCESS_DENIED_OBJECT_ACE_TYPE, manager, 0x20, kMemberAttributeGuid));
    EXPECT_FALSE(CanUpdateMembership(sd, manager));

    // Writing every property counts as writing "member"; no DACL at all lets everyone.
    security::SecurityDescriptor all;
    all.dacl = security::Acl{};
    security::Ace writeAll;
    writeAll.type = security::ACCESS_ALLOWED_ACE_TYPE;
    writeAll.mask = 0x20;
    writeAll.trustee = manager;
    all.dacl->aces.append(writeAll);
    EXPECT_TRUE(CanUpdateMembership(all, manager));
    EXPECT_TRUE(CanUpdateMembership(security::SecurityDescriptor{}, manager));
}

namespace {

// The query-based group window's reading of a side's mask: unless it holds all of 0xF01FF,
// each of the bit groups it still holds completely is taken out, in this order.
quint32 queryBasedGroupMask(quint32 m)
{
    if ((m & 0xF01FF) == 0xF01FF)
        return m;
    for (quint32 g : {0xF008Cu, 0xF0094u, 0xF00A4u, 0xF0184u})
        if ((m & g) == g)
            m &= ~g;
    return m;
}

QList<bool> shownRows(quint32 mask)
{
    QList<bool> out;
    for (const TPermissionRow &r : PermissionRows())
        out << ((mask & r.bits) == r.bits);
    return out;
}

} // namespace

TEST(PermissionRows, TypicalMasksShowTheirRows)
{
    ASSERT_EQ(PermissionRows().size(), 7);
    EXPECT_EQ(PermissionRows().first().name, QStringLiteral("Full Control"));
    // Full control (0xF01FF): every row.
    EXPECT_EQ(shownRows(PermissionMaskForRows(0xF01FF)), QList<bool>(7, true));
    // Read as the directory grants it (read control, list, read properties, list object).
    EXPECT_EQ(shownRows(PermissionMaskForRows(0x20094)), (QList<bool>{false, true, false, true, false, false, false}));
    // A standard-rights group held completely is taken out with its property bits.
    EXPECT_EQ(shownRows(PermissionMaskForRows(0xF0094 | 0x20)), (QList<bool>{false, false, false, false, true, false, false}));
    // Create and delete children alone.
    EXPECT_EQ(shownRows(PermissionMaskForRows(0x3)), (QList<bool>{false, false, false, false, false, true, true}));
}

TEST(PermissionRows, BothGroupWindowsShowTheSameRowsForEveryMask)
{
    // Every combination of the bits the rows and groups use, with and without a bit outside.
    for (quint32 low = 0; low < 0x200; ++low)
        for (quint32 high = 0; high < 0x10; ++high)
            for (quint32 extra : {0u, 0x100u << 12}) {
                const quint32 mask = low | (high << 16) | extra;
                ASSERT_EQ(shownRows(PermissionMaskForRows(mask)), shownRows(queryBasedGroupMask(mask)))
                    << std::hex << mask;
            }
}
