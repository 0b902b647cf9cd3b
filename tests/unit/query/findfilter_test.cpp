// The filters, paging and last-logon column of Find User.
#include "query/filtercompose.h"
#include "query/findfilter.h"

#include <gtest/gtest.h>

using namespace query;

namespace {
QString s(const char *t) { return QString::fromUtf8(t); }
} // namespace

TEST(FindFilter, UsersOnlyAndUsersWithGroups)
{
    const QString name = findNamePart(s(" Smi "), false);
    EXPECT_EQ(name, s("(cn=Smi*)"));
    EXPECT_EQ(findFilter(false, true, findSearchPart(name, false, {}), name),
              s("(&(objectCategory=person)(objectClass=user)(cn=Smi*))"));
    EXPECT_EQ(findFilter(false, true, QString(), QString()), s("(&(objectCategory=person)(objectClass=user))"));
    EXPECT_EQ(findFilter(true, false, QString(), QString()),
              s("(|(&(objectCategory=person)(objectClass=user))(&(objectCategory=Group)(objectClass=Group)))"));
    // Groups are matched by name only; with the last-logon group shown, distribution groups only.
    const QString exact = findNamePart(s("Sales"), true);
    const QString search = findSearchPart(exact, true, s("(lastLogon>=1)"));
    EXPECT_EQ(search, s("(cn=Sales)(homeMDB=*)(msExchHomeServerName=*)(lastLogon>=1)"));
    const QString both = findFilter(true, true, search, exact);
    EXPECT_EQ(both, s("(|(&(objectCategory=person)(objectClass=user)(cn=Sales)(homeMDB=*)(msExchHomeServerName=*)"
                      "(lastLogon>=1))(&(objectCategory=Group)(objectClass=Group)"
                      "(!(groupType:1.2.840.113556.1.4.803:=2147483648))(cn=Sales)))"));
    for (const QString &f : {both, findFilter(true, false, search, exact), findFilter(false, false, search, exact)})
        EXPECT_TRUE(isValidFilter(f)) << f.toStdString();
}

TEST(FindFilter, NamesWithFilterCharactersFindExactlyThatName)
{
    const QString odd = s("O*Brien (\\temp)");
    EXPECT_EQ(findNamePart(odd, true), s("(cn=O\\2aBrien \\28\\5ctemp\\29)"));
    EXPECT_EQ(findNamePart(odd, false), s("(cn=O\\2aBrien \\28\\5ctemp\\29*)"));
    const QString withNul = s("a") + QChar(u'\0');
    EXPECT_TRUE(isValidFilter(findFilter(true, true, findSearchPart(findNamePart(withNul, false), false, {}),
                                         findNamePart(withNul, false))));
    EXPECT_EQ(findNamePart(s("   "), false), QString());
}

TEST(FindFilter, PagingAndMaximumItems)
{
    EXPECT_EQ(findPageSize(0), 500);
    EXPECT_EQ(findPageSize(1500), 500);
    EXPECT_EQ(findPageSize(200), 0);
    EXPECT_EQ(findPageSize(1000), 0);
    EXPECT_EQ(normaliseMaxItems(s("3000")), 2000);
    EXPECT_EQ(normaliseMaxItems(s("99999999999999999999")), 2000);
    EXPECT_EQ(normaliseMaxItems(s("000150")), 150);
    EXPECT_EQ(normaliseMaxItems(s("")), 0);
    EXPECT_EQ(normaliseMaxItems(s("x")), 0);
}

TEST(FindFilter, LastLogonColumnPicksTheRightValue)
{
    const std::optional<double> none;
    EXPECT_EQ(findLastLogon(1, 100.0, none, false), 100.0);
    EXPECT_EQ(findLastLogon(1, none, 100.0, false), none);
    EXPECT_EQ(findLastLogon(3, 100.0, none, false), none);
    EXPECT_EQ(findLastLogon(3, none, 100.0, false), none);
    EXPECT_EQ(findLastLogon(3, 100.0, 90.0, false), 100.0);
    EXPECT_EQ(findLastLogon(3, 100.0, 90.0, true), 90.0);
    EXPECT_EQ(findLastLogon(3, 95.0, 95.0, true), 95.0);
}
