// The report catalogue's filters and conditions, checked with a fixed clock and time zone.
#include "core/unValuesTime.h"
#include "platform/adsi/adstypes.h"
#include "query/filtercompose.h"
#include "reports/unReportCatalogue.h"
#include "reports/unReportRun.h"

#include <QTimeZone>
#include <gtest/gtest.h>

#include <algorithm>

using namespace reports;

namespace {

DomainSettings level(int functionality)
{
    DomainSettings d;
    d.domainFunctionality = functionality;
    d.exchange = true;
    return d;
}

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override { SetTimeZoneOverride(QTimeZone("Europe/Berlin")); }
    void TearDown() override { SetTimeZoneOverride(QTimeZone()); }
    // 14:37 local on 10 March 2025 (winter time, UTC+1).
    double now = EncodeDateTime(2025, 3, 10, 14, 37, 12);
    // File time of a UTC moment, computed without the program's conversions.
    static qint64 ft(int y, int mo, int d, int h, int mi = 0)
    {
        const QDateTime t(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
        return (t.toMSecsSinceEpoch() + 11644473600000LL) * 10000LL;
    }
};

TEST_F(Catalogue, EveryReportHasAValidFilterAtEveryLevel)
{
    for (int fl : {0, 2, 4}) {
        const DomainSettings d = level(fl);
        for (const ReportInfo &r : reportList()) {
            QString c;
            if (r.parameter == ParameterKind::Days)
                c = daysCondition(r, 30, d, now);
            else if (r.parameter == ParameterKind::Group)
                c = groupCondition(r.number, QStringLiteral("CN=Finance\\, Legal (*),OU=Groups,DC=x"), 1234);
            else if (r.parameter == ParameterKind::DynamicGroup)
                c = QStringLiteral("(&(objectClass=user)(homeMDB=*))");
            const QString f = reportFilter(r, c, d, now);
            QString why;
            EXPECT_TRUE(query::isValidFilter(f, &why)) << r.number << " " << f.toStdString() << " " << why.toStdString();
            EXPECT_FALSE(f.contains(QStringLiteral("((")) || f.contains(QStringLiteral("(!a")))
                << r.number << " " << f.toStdString();
        }
    }
}

TEST_F(Catalogue, TabsAndNumbersLineUp)
{
    ASSERT_EQ(reportList().size(), kReportCount);
    const QList<int> offsets{0, 4, 12, 20, 27};
    int total = 0;
    for (int t = 0; t < tabs().size(); ++t) {
        EXPECT_EQ(tabs()[t].offset, offsets[t]);
        total += int(tabs()[t].items.size());
    }
    EXPECT_EQ(total, kReportCount);
    EXPECT_EQ(reportByNumber(34), nullptr);
    EXPECT_EQ(reportByNumber(-1), nullptr);
}

TEST_F(Catalogue, GroupConditionEscapesTheDnAndKeepsPrimaryGroupMembers)
{
    const QString c = groupCondition(18, QStringLiteral("CN=Sales (EMEA)\\, *,DC=x"), 513);
    EXPECT_EQ(c, QStringLiteral("(|(memberOf:1.2.840.113556.1.4.1941:=CN=Sales \\28EMEA\\29\\5c, \\2a,DC=x)(primaryGroupID=513))"));
    EXPECT_EQ(groupCondition(19, QStringLiteral("CN=x"), 513), QStringLiteral("(primaryGroupID=513)"));
}

TEST_F(Catalogue, DaysConditionsStartFromTheCurrentHour)
{
    const DomainSettings d = level(4);
    // 14:00 local, thirty days back, is 13:00 UTC on 8 February.
    EXPECT_EQ(daysCondition(*reportByNumber(4), 30, d, now),
              QStringLiteral("(lastLogonTimestamp<=%1)").arg(ft(2025, 2, 8, 13)));
    EXPECT_EQ(daysCondition(*reportByNumber(4), 30, level(0), now),
              QStringLiteral("(lastLogon<=%1)").arg(ft(2025, 2, 8, 13)));
    // Twenty-five days ahead crosses the change to summer time (30 March): 14:00 local is 12:00 UTC.
    EXPECT_EQ(daysCondition(*reportByNumber(11), 25, d, now),
              QStringLiteral("(&(accountExpires>=%1)(accountExpires<=%2))").arg(ft(2025, 3, 10, 13)).arg(ft(2025, 4, 4, 12)));
    EXPECT_EQ(daysCondition(*reportByNumber(6), 7, d, now), QStringLiteral("(createTimeStamp>=20250303130000.0Z)"));
    EXPECT_EQ(daysCondition(*reportByNumber(7), 7, level(1), now), QStringLiteral("(whenChanged>=20250303130000.0Z)"));
    EXPECT_EQ(daysCondition(*reportByNumber(23), 2, d, now), QStringLiteral("(badPasswordTime>=%1)").arg(ft(2025, 3, 8, 13)));
}

TEST_F(Catalogue, PasswordWillExpireExcludesPasswordsAlreadyExpired)
{
    DomainSettings d = level(4);
    d.maxPasswordAgeDays = 42;
    // Set between 42 days and 42 - 10 days before 14:37.
    EXPECT_EQ(daysCondition(*reportByNumber(26), 10, d, now),
              QStringLiteral("(&(pwdLastSet<=%1)(pwdLastSet>=%2))").arg(ft(2025, 2, 6, 13, 37)).arg(ft(2025, 1, 27, 13, 37)));
    d.maxPasswordAgeDays = 0;  // passwords never expire: nothing can match
    EXPECT_EQ(daysCondition(*reportByNumber(26), 10, d, now), QStringLiteral("(!(objectClass=*))"));
}

TEST_F(Catalogue, DaysTextsBelowTheStepOrNotNumbersBecomeTheStep)
{
    EXPECT_EQ(normaliseDays(QStringLiteral("abc"), 15), 15);
    EXPECT_EQ(normaliseDays(QString(), 15), 15);
    EXPECT_EQ(normaliseDays(QStringLiteral("-3"), 15), 15);
    EXPECT_EQ(normaliseDays(QStringLiteral("0"), 1), 1);
    EXPECT_EQ(normaliseDays(QStringLiteral(" 40 "), 15), 40);
    DomainSettings d = level(4);
    d.logonTimeSyncIntervalDays = 14;
    EXPECT_EQ(daysListStep(d), 14);
    EXPECT_EQ(daysListStep(level(1)), 5);
    EXPECT_EQ(daysCheckStep(*reportByNumber(24), d), 1);
    EXPECT_EQ(daysCheckStep(*reportByNumber(4), d), 14);
}

TEST_F(Catalogue, ComputedStatesUseServerAnswerableCandidates)
{
    DomainSettings d = level(4);
    d.shortestMaxPasswordAge = 42LL * 864000000000LL;
    const QString f20 = reportFilter(*reportByNumber(20), {}, d, now);
    EXPECT_FALSE(f20.contains(QStringLiteral("8388608")));
    EXPECT_TRUE(f20.contains(QStringLiteral("(pwdLastSet<=")));
    EXPECT_EQ(reportByNumber(20)->computedBit, kComputedPasswordExpired);
    const QString f15 = reportFilter(*reportByNumber(15), {}, d, now);
    EXPECT_TRUE(f15.contains(QStringLiteral("(lockoutTime>=1)")));
    EXPECT_EQ(reportByNumber(15)->computedBit, kComputedLockout);
}

TEST_F(Catalogue, ColumnSetsAndVisibleColumns)
{
    const QList<ReportColumn> users4 = columnSet(ReportKind::User, level(4));
    const QList<ReportColumn> users0 = columnSet(ReportKind::User, level(0));
    EXPECT_EQ(users4.size(), 29);
    EXPECT_EQ(users0.size(), 28);
    EXPECT_EQ(users4.last().ldapName, QStringLiteral("lastLogonTimestamp"));
    EXPECT_TRUE(users4.last().date);

    auto visible = [](const ReportInfo &r, const QList<ReportColumn> &cols, const DomainSettings &d) {
        const QSet<int> hidden = initialHidden(r, cols, d);
        QStringList names;
        for (const ReportColumn &c : cols)
            if (!hidden.contains(c.key))
                names << c.ldapName;
        return names;
    };
    EXPECT_EQ(visible(*reportByNumber(4), users4, level(4)),
              QStringList({"cn", "givenName", "sn", "displayName", "lastLogon", "lastLogoff", "lastLogonTimestamp"}));
    EXPECT_EQ(visible(*reportByNumber(5), users0, level(0)),
              QStringList({"cn", "givenName", "sn", "displayName", "lastLogon", "lastLogoff"}));
    DomainSettings noExchange = level(4);
    noExchange.exchange = false;
    EXPECT_EQ(visible(*reportByNumber(27), users4, noExchange), QStringList({"cn", "givenName", "sn", "displayName"}));
    // Without Exchange the set (and so the column chooser) has no Exchange columns at all.
    const QList<ReportColumn> plain = columnSet(ReportKind::User, noExchange);
    EXPECT_EQ(plain.size(), users4.size() - 2);
    for (const ReportColumn &c : plain)
        EXPECT_TRUE(c.ldapName != QLatin1String("homeMDB") && c.ldapName != QLatin1String("mailNickname"))
            << c.ldapName.toStdString();
    EXPECT_TRUE(std::any_of(users4.begin(), users4.end(), [](const ReportColumn &c) { return c.ldapName == "homeMDB"; }));

    const QList<ReportColumn> groups = columnSet(ReportKind::Group, level(4));
    ASSERT_EQ(groups.size(), 15);
    EXPECT_EQ(visible(*reportByNumber(0), groups, level(4)),
              QStringList({"cn", "displayName", "groupType", "managedBy", "description"}));
    EXPECT_EQ(visible(*reportByNumber(2), groups, level(4)), QStringList({"cn", "displayName", "groupType", "description"}));
}

TEST_F(Catalogue, CellTexts)
{
    EXPECT_EQ(cellText(QVariantList{QStringLiteral("a"), QStringLiteral("b")}), QStringLiteral("a\r\nb"));
    EXPECT_EQ(cellText(QVariantList{QByteArray("\x01", 1), QByteArray("\xAB", 1)}), QStringLiteral("01AB"));
    EXPECT_EQ(cellText(true), QStringLiteral("True"));
    EXPECT_EQ(cellText(qint64(9223372036854775807LL)), QStringLiteral("9223372036854775807"));
    EXPECT_EQ(cellText(QVariant::fromValue(ads::AdsDate(0.5))), QString());  // before 31 December 1899
    EXPECT_FALSE(cellText(QVariant::fromValue(ads::AdsDate(45000.5))).isEmpty());
    EXPECT_EQ(cellDate(QVariant::fromValue(ads::AdsDate(0.0))), -1);
    EXPECT_NE(cellText(int(-2147483646), true), QStringLiteral("-2147483646"));
    EXPECT_EQ(statusText(*reportByNumber(4), QStringLiteral("30"), {}), QStringLiteral("Inactive Users - 30 days"));
    EXPECT_EQ(statusText(*reportByNumber(18), {}, QStringLiteral("GG Sales")), QStringLiteral("Users In a Group - GG Sales"));
    EXPECT_EQ(statusText(*reportByNumber(0), QStringLiteral("30"), {}), QStringLiteral("All Groups"));
}

} // namespace
