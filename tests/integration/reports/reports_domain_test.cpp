// Every report run against the seeded test domain, its rows compared (by DN) with what the
// directory's own ldapsearch answers to a filter written here for the same question.
#include "core/unConnection.h"
#include "reports/unReportCatalogue.h"
#include "reports/unReportRun.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QDateTime>
#include <QSet>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace reports;
using testsupport::fact;

namespace {

const QString kUsers = QStringLiteral("(&(objectCategory=person)(objectClass=user)%1)");
const QString kGroups = QStringLiteral("(&(objectCategory=group)(objectClass=group)%1)");

// Windows file time of a moment, computed here without the program's conversions.
qint64 fileTime(const QDateTime &t) { return (t.toMSecsSinceEpoch() + 11644473600000LL) * 10000LL; }

// The current local hour, as the reports' day counts start from it.
QDateTime thisHour()
{
    QDateTime now = QDateTime::currentDateTime();
    return QDateTime(now.date(), QTime(now.time().hour(), 0));
}

// Objects of other tests come and go in their own OUs; only the seeded tree and the built-in
// containers are compared.
QSet<QString> stable(const QSet<QString> &dns)
{
    const QString seed = fact("SEED_OU").toLower();
    const QString base = fact("BASE_DN").toLower();
    QSet<QString> out;
    for (const QString &d : dns) {
        const QString l = d.toLower();
        if (l.endsWith(u',' + seed) || l.endsWith(QStringLiteral(",cn=users,") + base) ||
            l.endsWith(QStringLiteral(",cn=builtin,") + base))
            out.insert(l);
    }
    return out;
}

QSet<QString> ldapDns(const QString &filter, const QString &base = {})
{
    int rc = -1;
    const auto entries = testsupport::ldapSearch(base.isEmpty() ? fact("BASE_DN") : base, filter, {QStringLiteral("1.1")},
                                                 testsupport::Account::admin(), {}, &rc);
    EXPECT_EQ(rc, 0) << filter.toStdString();
    QSet<QString> dns;
    for (const auto &e : entries)
        dns.insert(e.dn);
    return stable(dns);
}

// Users of the whole domain whose computed control has the bit.
QSet<QString> computedDns(quint32 bit)
{
    const auto entries = testsupport::ldapSearch(fact("BASE_DN"), kUsers.arg(QString()),
                                                 {QStringLiteral("msDS-User-Account-Control-Computed")});
    QSet<QString> dns;
    for (const auto &e : entries)
        if (e.text(QStringLiteral("msDS-User-Account-Control-Computed")).toLongLong() & bit)
            dns.insert(e.dn);
    return stable(dns);
}

class ReportsDomain : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        testsupport::useDomainEnvironment();
    }
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        TConnectionSettings s;
        s.UseDefaultServer = false;
        s.ServerName = fact("ADDR");
        s.Port = fact("LDAP_PORT");
        s.SecureAuthentication = false;
        s.UseCredentials = true;
        s.UserName = fact("ADMIN_USER");
        s.Password = fact("ADMIN_PASSWORD");
        ASSERT_NO_THROW(ConnectWithSettings(s));
        domain = readDomainSettings();
    }
    void TearDown() override { DisconnectContext(); }

    // Runs a report and returns the DNs of its rows.
    QSet<QString> run(int number, const QString &condition = {}, const QString &base = {}, int sizeLimit = 0,
                      int *rows = nullptr)
    {
        const ReportInfo *r = reportByNumber(number);
        const QString filter = reportFilter(*r, condition, domain, localNow());
        const QList<ReportColumn> dnOnly{ReportColumn{-1, QStringLiteral("distinguishedName"), QString(), false}};
        QSet<QString> dns;
        int n = 0;
        EXPECT_NO_THROW(n = runReport(makeQuery(*r, filter, dnOnly, sizeLimit, base), [&](const QVariantList &row) {
            dns.insert(row.value(0).toString());
            return true;
        })) << "report " << number << " filter " << filter.toStdString();
        if (rows)
            *rows = n;
        return stable(dns);
    }
    QString days(int number, int n) { return daysCondition(*reportByNumber(number), n, domain, localNow()); }

    DomainSettings domain;
};

void expectSame(const QSet<QString> &report, const QSet<QString> &expected, int number, int atLeast = 1)
{
    EXPECT_EQ(report, expected) << "report " << number << ": " << report.size() << " rows against "
                                << expected.size() << " expected";
    EXPECT_GE(report.size(), atLeast) << "report " << number << " found too few rows to show anything";
}

TEST_F(ReportsDomain, ReadsTheDomainPolicy)
{
    EXPECT_GE(domain.domainFunctionality, 2);
    EXPECT_EQ(domain.maxPasswordAgeDays, 90);  // the test domain's policy
    EXPECT_TRUE(domain.exchange);
}

TEST_F(ReportsDomain, GroupReportsMatchTheDirectory)
{
    expectSame(run(0), ldapDns(kGroups.arg(QString())), 0, 20);
    expectSame(run(1), ldapDns(kGroups.arg(QStringLiteral("(managedBy=*)"))), 1);
    expectSame(run(2), ldapDns(kGroups.arg(QStringLiteral("(!(managedBy=*))"))), 2, 10);
    expectSame(run(3), ldapDns(kGroups.arg(QStringLiteral("(!(member=*))"))), 3);
    // Distribution lists: groups with a mail nickname that are not security groups.
    const QString notSecurity = QStringLiteral("(!(groupType:1.2.840.113556.1.4.803:=2147483648))");
    expectSame(run(30), ldapDns(kGroups.arg(QStringLiteral("(mailNickname=*)") + notSecurity)), 30);
    expectSame(run(31), ldapDns(kGroups.arg(QStringLiteral("(mailNickname=*)(msExchHideFromAddressLists=TRUE)") + notSecurity)), 31);
    expectSame(run(32), ldapDns(kGroups.arg(QStringLiteral("(mailNickname=*)"))), 32);
}

TEST_F(ReportsDomain, AccountStateReportsMatchTheDirectory)
{
    expectSame(run(8), ldapDns(kUsers.arg(QStringLiteral("(|(accountExpires=0)(accountExpires=9223372036854775807))"))), 8, 100);
    const qint64 hour = fileTime(thisHour());
    expectSame(run(9), ldapDns(kUsers.arg(QStringLiteral("(accountExpires>=1)(accountExpires<=%1)").arg(hour))), 9, 20);
    expectSame(run(12), ldapDns(kUsers.arg(QStringLiteral("(scriptPath=*)"))), 12);
    expectSame(run(13), ldapDns(kUsers.arg(QStringLiteral("(!(scriptPath=*))"))), 13, 1000);
    expectSame(run(14), ldapDns(kUsers.arg(QStringLiteral("(userAccountControl:1.2.840.113556.1.4.803:=2)"))), 14, 20);
    expectSame(run(17), ldapDns(kUsers.arg(QStringLiteral("(mail=*)"))), 17, 30);
    expectSame(run(21), ldapDns(kUsers.arg(QStringLiteral("(userAccountControl:1.2.840.113556.1.4.803:=65536)"))), 21, 20);
    expectSame(run(22), ldapDns(kUsers.arg(QStringLiteral("(pwdLastSet=0)(!(userAccountControl:1.2.840.113556.1.4.803:=65536))"))), 22, 20);
    expectSame(run(16), ldapDns(kUsers.arg(QStringLiteral("(|(!(lastLogonTimestamp=*))(!(lastLogon=*))(lastLogon=0))"))), 16, 20);
    expectSame(run(27), ldapDns(kUsers.arg(QStringLiteral("(homeMDB=*)(msExchHomeServerName=*)"))), 27, 30);
    expectSame(run(28), ldapDns(kUsers.arg(QStringLiteral("(mailNickname=*)(!(homeMDB=*))(!(msExchHomeServerName=*))"))), 28, 30);
    expectSame(run(29), ldapDns(kUsers.arg(QStringLiteral("(msExchHideFromAddressLists=TRUE)"))), 29, 10);
}

// The directory never stores these two states in userAccountControl; the reports must find
// exactly the users the server computes as locked out or with an expired password.
TEST_F(ReportsDomain, LockedOutAndPasswordExpiredFollowTheComputedControl)
{
    const QSet<QString> locked = computedDns(0x10);
    EXPECT_GE(locked.size(), 20);
    expectSame(run(15), locked, 15, 20);
    const QSet<QString> expired = computedDns(0x800000);
    EXPECT_GE(expired.size(), 40);
    expectSame(run(20), expired, 20, 40);

    // A limit counts the kept rows, not the candidates the server sends.
    int rows = 0;
    QSet<QString> five = run(20, {}, {}, 5, &rows);
    EXPECT_EQ(rows, 5);
    EXPECT_TRUE(five.size() <= 5 && five.subtract(expired).isEmpty());
}

TEST_F(ReportsDomain, DaysReportsCountFromTheCurrentHour)
{
    const QDateTime h = thisHour();
    auto before = [&](int d) { return fileTime(h.addDays(-d)); };
    // Logon age compares the replicated lastLogonTimestamp.
    expectSame(run(4, days(4, 60)), ldapDns(kUsers.arg(QStringLiteral("(lastLogonTimestamp<=%1)").arg(before(60)))), 4, 50);
    expectSame(run(5, days(5, 60)), ldapDns(kUsers.arg(QStringLiteral("(lastLogonTimestamp>=%1)").arg(before(60)))), 5, 10);
    const QString created = h.addDays(-30).toUTC().toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral(".0Z");
    expectSame(run(6, days(6, 30)), ldapDns(kUsers.arg(QStringLiteral("(createTimeStamp>=%1)").arg(created))), 6, 1000);
    expectSame(run(7, days(7, 30)), ldapDns(kUsers.arg(QStringLiteral("(modifyTimeStamp>=%1)").arg(created))), 7, 1000);
    expectSame(run(10, days(10, 150)),
               ldapDns(kUsers.arg(QStringLiteral("(accountExpires>=%1)(accountExpires<=%2)").arg(before(150)).arg(fileTime(h)))), 10, 5);
    expectSame(run(11, days(11, 30)),
               ldapDns(kUsers.arg(QStringLiteral("(accountExpires>=%1)(accountExpires<=%2)").arg(fileTime(h)).arg(fileTime(h.addDays(30))))), 11, 20);
    expectSame(run(23, days(23, 100)), ldapDns(kUsers.arg(QStringLiteral("(badPasswordTime>=%1)").arg(before(100)))), 23, 5);
    expectSame(run(24, days(24, 45)),
               ldapDns(kUsers.arg(QStringLiteral("(pwdLastSet<=%1)(!(pwdLastSet=0))").arg(before(45)))), 24, 20);
    expectSame(run(25, days(25, 20)), ldapDns(kUsers.arg(QStringLiteral("(pwdLastSet>=%1)").arg(before(20)))), 25, 20);
}

TEST_F(ReportsDomain, PasswordWillExpireListsOnlyPasswordsExpiringWithinTheDays)
{
    // The server's own expiry time of each enabled user whose password can expire.
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 from = fileTime(now), to = fileTime(now.addDays(20));
    const auto entries = testsupport::ldapSearch(
        fact("BASE_DN"),
        kUsers.arg(QStringLiteral("(!(userAccountControl:1.2.840.113556.1.4.803:=2))(!(userAccountControl:1.2.840.113556.1.4.803:=65536))")),
        {QStringLiteral("msDS-UserPasswordExpiryTimeComputed")});
    QSet<QString> expected;
    for (const auto &e : entries) {
        const qint64 expiry = e.text(QStringLiteral("msDS-UserPasswordExpiryTimeComputed")).toLongLong();
        if (expiry > from && expiry <= to)
            expected.insert(e.dn);
    }
    expectSame(run(26, days(26, 20)), stable(expected), 26, 5);
}

TEST_F(ReportsDomain, GroupMembershipReportsFollowNestingAndPrimaryGroups)
{
    const QString engineering = QStringLiteral("CN=GG Engineering,OU=Groups,") + fact("SEED_OU");
    const auto group = testsupport::ldapSearch(engineering, QStringLiteral("(objectClass=group)"),
                                               {QStringLiteral("primaryGroupToken")}, testsupport::Account::admin(),
                                               {QStringLiteral("-s"), QStringLiteral("base")});
    ASSERT_EQ(group.size(), 1);
    const int token = group.first().text(QStringLiteral("primaryGroupToken")).toInt();

    // Members through any depth of nesting, walked here group by group, plus the users whose
    // primary group it is.
    QSet<QString> users, seen{engineering.toLower()};
    QList<QString> todo{engineering};
    while (!todo.isEmpty()) {
        const auto e = testsupport::ldapSearch(todo.takeFirst(), QStringLiteral("(objectClass=*)"),
                                               {QStringLiteral("member")}, testsupport::Account::admin(),
                                               {QStringLiteral("-s"), QStringLiteral("base")});
        for (const QByteArray &m : e.value(0).values(QStringLiteral("member"))) {
            const QString dn = QString::fromUtf8(m);
            if (seen.contains(dn.toLower()))
                continue;
            seen.insert(dn.toLower());
            const auto isGroup = testsupport::ldapSearch(dn, QStringLiteral("(objectClass=group)"), {QStringLiteral("1.1")},
                                                         testsupport::Account::admin(),
                                                         {QStringLiteral("-s"), QStringLiteral("base")});
            if (!isGroup.isEmpty())
                todo << dn;
            else
                users.insert(dn);
        }
    }
    const QSet<QString> primary = ldapDns(kUsers.arg(QStringLiteral("(primaryGroupID=%1)").arg(token)));
    expectSame(run(18, groupCondition(18, engineering, token)), stable(users) | primary, 18, 40);
    expectSame(run(19, groupCondition(19, engineering, token)), primary, 19, 1);

    // A group with a non-ASCII name.
    const QString unicode = QStringLiteral("CN=Grüße & Ünïcödé,OU=Groups,") + fact("SEED_OU");
    EXPECT_EQ(run(18, groupCondition(18, unicode, 0)).size(), 4);
}

TEST_F(ReportsDomain, QueryBasedGroupMembersUseTheGroupsFilterAndBase)
{
    const QList<DynamicGroupChoice> groups = loadDynamicGroups();
    const DynamicGroupChoice *mailboxes = nullptr;
    for (const auto &g : groups)
        if (g.name == QLatin1String("All Mailbox Users"))
            mailboxes = &g;
    ASSERT_NE(mailboxes, nullptr);
    EXPECT_EQ(mailboxes->folder, fact("DNS_DOMAIN") + QStringLiteral("/Arvendel/Groups/Distribution Lists"));
    QString filter, base;
    readDynamicGroup(mailboxes->dn, &filter, &base);
    ASSERT_FALSE(filter.isEmpty());
    EXPECT_TRUE(base.endsWith(fact("SEED_OU"))) << base.toStdString();
    expectSame(run(33, filter, base), ldapDns(kUsers.arg(QStringLiteral("(homeMDB=*)")), fact("SEED_OU")), 33, 30);
}

TEST_F(ReportsDomain, SizeLimitAndStopEndTheRun)
{
    int rows = 0;
    run(13, {}, {}, 50, &rows);
    EXPECT_EQ(rows, 50);
    // Stopping after the tenth row abandons the search.
    const ReportInfo *r = reportByNumber(13);
    int seen = 0;
    const int n = runReport(makeQuery(*r, reportFilter(*r, {}, domain, localNow()), columnSet(r->kind, domain), 0, {}),
                            [&](const QVariantList &row) {
                                EXPECT_EQ(row.size(), columnSet(r->kind, domain).size());
                                return ++seen < 10;
                            });
    EXPECT_EQ(n, 10);
    EXPECT_EQ(seen, 10);
}

TEST_F(ReportsDomain, AnInvalidFilterIsRefusedBeforeTheSearch)
{
    ReportQuery q;
    q.base = ConnectionContext().DomainPath;
    q.filter = QStringLiteral("(!cn=*)");
    q.attributes = {QStringLiteral("cn")};
    EXPECT_THROW(runReport(q, [](const QVariantList &) { return true; }), Exception);
}

} // namespace
