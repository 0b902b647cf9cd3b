// The account-state terms of the filter builder are answered by the server: each finds exactly
// the users whose computed account control (or stored control) has the state.
#include "query/filterconditions.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QSet>
#include <gtest/gtest.h>

using testsupport::fact;

namespace {

QSet<QString> dns(const QString &filter)
{
    QSet<QString> out;
    int rc = -1;
    for (const testsupport::LdifEntry &e :
         testsupport::ldapSearch(fact("SEED_OU"), filter, {QStringLiteral("1.1")}, testsupport::Account::admin(), {}, &rc))
        out.insert(e.dn.toLower());
    EXPECT_EQ(rc, 0) << filter.toStdString();
    return out;
}

} // namespace

TEST(AccountStateTerms, MatchTheComputedAccountControl)
{
    ARV_REQUIRE_DOMAIN();
    // The domain's maximum password age, as the main window reads it at connect time.
    const QList<testsupport::LdifEntry> domain =
        testsupport::ldapSearch(fact("BASE_DN"), QStringLiteral("(objectClass=*)"), {QStringLiteral("maxPwdAge")},
                                testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    ASSERT_EQ(domain.size(), 1);
    const qint64 maxPwdAgeDays = -domain.first().text(QStringLiteral("maxPwdAge")).toLongLong() / 864000000000LL;
    ASSERT_GT(maxPwdAgeDays, 0);

    QSet<QString> locked, expired, disabled;
    for (const testsupport::LdifEntry &e : testsupport::ldapSearch(
             fact("SEED_OU"), query::userFilter(QString()),
             {QStringLiteral("msDS-User-Account-Control-Computed"), QStringLiteral("userAccountControl")})) {
        const quint32 computed = e.text(QStringLiteral("msDS-User-Account-Control-Computed")).toUInt();
        const quint32 stored = e.text(QStringLiteral("userAccountControl")).toUInt();
        if (computed & 0x10)
            locked.insert(e.dn.toLower());
        if (computed & 0x800000)
            expired.insert(e.dn.toLower());
        if (stored & 0x2)
            disabled.insert(e.dn.toLower());
    }
    ASSERT_GE(locked.size(), 20);
    ASSERT_GE(expired.size(), 40);

    using query::AccountFlag;
    EXPECT_EQ(dns(query::userFilter(query::accountFlagTerm(AccountFlag::Locked, maxPwdAgeDays))), locked);
    EXPECT_EQ(dns(query::userFilter(query::accountFlagTerm(AccountFlag::Expired, maxPwdAgeDays))), expired);
    EXPECT_EQ(dns(query::userFilter(query::accountFlagTerm(AccountFlag::Disabled, maxPwdAgeDays))), disabled);
    // The bits the older terms tested are never stored, so they found nobody.
    EXPECT_TRUE(dns(query::userFilter(QStringLiteral("(userAccountControl:1.2.840.113556.1.4.803:=16)"))).isEmpty());
    EXPECT_TRUE(dns(query::userFilter(QStringLiteral("(userAccountControl:1.2.840.113556.1.4.803:=8388608)"))).isEmpty());

    // Two boxes together: either state.
    query::FilterConditions c;
    c.setMaxPasswordAgeDays(maxPwdAgeDays);
    c.setAccountFlag(AccountFlag::Locked, true);
    c.setAccountFlag(AccountFlag::Expired, true);
    EXPECT_EQ(dns(query::userFilter(c.fragment())), locked | expired);
}
