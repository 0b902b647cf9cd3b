// The seeded test domain holds what tests/domain/README.md promises, read back with ldapsearch.
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QDateTime>
#include <QImage>
#include <QSet>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

QString seedOu() { return fact("SEED_OU"); }

// Now as a Windows file time (100 ns since 1601), for range filters on accountExpires.
qint64 fileTimeNow()
{
    return (QDateTime::currentSecsSinceEpoch() + 11644473600LL) * 10000000LL;
}

constexpr qint64 kDay = 864000000000LL;

QString bit(int value)
{
    return QStringLiteral("(userAccountControl:1.2.840.113556.1.4.803:=%1)").arg(value);
}

} // namespace

TEST(SeedContent, EveryAccountStateHasItsDocumentedUsers)
{
    ARV_REQUIRE_DOMAIN();
    const QString users = QStringLiteral("(&(objectCategory=person)(objectClass=user)%1)");
    EXPECT_GE(ldapCount(seedOu(), users.arg(QString())), 300);
    EXPECT_EQ(ldapCount(seedOu(), users.arg(bit(2))), 20) << "disabled";
    EXPECT_EQ(ldapCount(seedOu(), users.arg(bit(0x40))), 20) << "cannot change password";
    // The seeded staff plus the delegated service account.
    EXPECT_EQ(ldapCount(seedOu(), users.arg(bit(0x10000))), 21) << "password never expires";
    EXPECT_EQ(ldapCount(seedOu(), users.arg(QStringLiteral("(pwdLastSet=0)"))), 20) << "must change password";

    // Locked out and password expired are computed by the server from lockoutTime, pwdLastSet
    // and the domain policy; check them the way the server reports them.
    const QStringList computed{QStringLiteral("msDS-User-Account-Control-Computed")};
    int locked = 0, expired = 0;
    for (const LdifEntry &e : ldapSearch(seedOu(), users.arg(QString()), computed)) {
        const int flags = e.text(computed.first()).toInt();
        locked += (flags & 0x10) ? 1 : 0;
        expired += (flags & 0x800000) ? 1 : 0;
    }
    EXPECT_EQ(locked, 20) << "locked out";
    // Expired passwords and the users who must change theirs at next logon.
    EXPECT_EQ(expired, 40) << "password expired";

    const qint64 now = fileTimeNow();
    EXPECT_EQ(ldapCount(seedOu(), users.arg(QStringLiteral("(accountExpires>=1)(accountExpires<=%1)").arg(now))), 20)
        << "account expired";
    EXPECT_EQ(ldapCount(seedOu(), users.arg(QStringLiteral("(accountExpires>=%1)(accountExpires<=%2)")
                                                .arg(now)
                                                .arg(now + 30 * kDay))),
              20)
        << "expiring within 30 days";
}

TEST(SeedContent, LogonTimesAreSpreadAndSometimesMissing)
{
    ARV_REQUIRE_DOMAIN();
    const QString staff = QStringLiteral("OU=Staff,") + seedOu();
    const auto entries = ldapSearch(staff, QStringLiteral("(objectClass=user)"),
                                    {QStringLiteral("lastLogon"), QStringLiteral("pwdLastSet")});
    ASSERT_GT(entries.size(), 200);
    const qint64 now = fileTimeNow();
    int never = 0, older = 0, recent = 0;
    for (const LdifEntry &e : entries) {
        const QString last = e.text(QStringLiteral("lastLogon"));
        if (last.isEmpty() || last == QLatin1String("0"))
            ++never;
        else if (now - last.toLongLong() > 180 * kDay)
            ++older;
        else
            ++recent;
        EXPECT_LE(last.toLongLong(), now) << e.dn.toStdString();
    }
    EXPECT_GT(never, 0);
    EXPECT_GT(older, 0);
    EXPECT_GT(recent, 0);
    EXPECT_GT(ldapCount(staff, QStringLiteral("(&(objectClass=user)(logonHours=*)(userWorkstations=*))")), 0);
}

TEST(SeedContent, EveryCatalogueAttributeIsOnSomeUser)
{
    ARV_REQUIRE_DOMAIN();
    const QStringList names{
        "cn", "givenName", "sn", "initials", "displayName", "description", "physicalDeliveryOfficeName",
        "telephoneNumber", "otherTelephone", "mail", "wwwHomePage", "url", "userPrincipalName",
        "sAMAccountName", "logonHours", "userWorkstations", "accountExpires", "streetAddress",
        "postOfficeBox", "l", "st", "postalCode", "co", "title", "department", "company", "manager",
        "directReports", "profilePath", "scriptPath", "homeDirectory", "homeDrive", "homePhone",
        "otherHomePhone", "pager", "otherPager", "mobile", "otherMobile", "facsimileTelephoneNumber",
        "otherFacsimileTelephoneNumber", "ipPhone", "otherIpPhone", "info", "homeMDB", "mailNickname",
        "submissionContLength", "delivContLength", "authOrig", "dLMemSubmitPerms", "unauthOrig",
        "dLMemRejectPerms", "publicDelegates", "altRecipient", "deliverAndRedirect", "msExchRecipLimit",
        "mDBUseDefaults", "mDBStorageQuota", "mDBOverQuotaLimit", "mDBOverHardQuotaLimit",
        "garbageCollPeriod", "displayNamePrintable", "msExchHideFromAddressLists", "extensionAttribute1",
        "extensionAttribute2", "extensionAttribute3", "extensionAttribute4", "extensionAttribute5",
        "extensionAttribute6", "extensionAttribute7", "extensionAttribute8", "extensionAttribute9",
        "extensionAttribute10", "extensionAttribute11", "extensionAttribute12", "extensionAttribute13",
        "extensionAttribute14", "extensionAttribute15", "protocolSettings", "autoReplyMessage",
        "proxyAddresses", "badPwdCount", "badPasswordTime", "lastLogon", "lastLogoff", "logonCount",
        "pwdLastSet", "lockoutTime", "whenCreated", "whenChanged", "memberOf", "distinguishedName",
        "uSNCreated", "uSNChanged", "lastLogonTimestamp", "msExchHomeServerName", "legacyExchangeDN",
        "homeMTA", "msExchMailboxSecurityDescriptor", "securityProtocol", "thumbnailPhoto", "jpegPhoto"};
    // One search for all of them; an attribute counts when some user has a value other than
    // 0 (badPwdCount and lockoutTime read as 0 on every user).
    QSet<QString> seen;
    for (const LdifEntry &e : ldapSearch(seedOu(), QStringLiteral("(objectClass=user)"), names))
        for (const auto &[name, value] : e.attributes)
            if (value != "0")
                seen.insert(name.toLower());
    QStringList missing;
    for (const QString &name : names)
        if (!seen.contains(name.toLower()))
            missing << name;
    EXPECT_TRUE(missing.isEmpty()) << "no seeded user carries: " << missing.join(QLatin1String(", ")).toStdString();
}

TEST(SeedContent, ShowcaseUserCarriesTheExchangeAttributes)
{
    ARV_REQUIRE_DOMAIN();
    const auto ada = ldapSearch(seedOu(), QStringLiteral("(sAMAccountName=ada.full)"), {QStringLiteral("*")});
    ASSERT_EQ(ada.size(), 1);
    const LdifEntry &e = ada.first();
    for (int k = 1; k <= 15; ++k)
        EXPECT_EQ(e.text(QStringLiteral("extensionAttribute%1").arg(k)), QStringLiteral("Extension value %1").arg(k));
    EXPECT_TRUE(e.text(QStringLiteral("homeMDB")).startsWith(QLatin1String("CN=Mailbox Database 02,")));
    EXPECT_EQ(e.values(QStringLiteral("jpegPhoto")).size(), 3);
    EXPECT_EQ(e.values(QStringLiteral("otherIpPhone")).size(), 2);
    EXPECT_EQ(e.text(QStringLiteral("mDBUseDefaults")), QLatin1String("FALSE"));
    // Back links of the DN-valued Exchange attributes exist on their targets.
    EXPECT_EQ(ldapCount(seedOu(), QStringLiteral("(&(sAMAccountName=mia.mailbox)(publicDelegatesBL=*)(altRecipientBL=*))")), 1);
    // Every picture is a real JPEG.
    QList<QByteArray> pictures = e.values(QStringLiteral("jpegPhoto"));
    pictures << e.values(QStringLiteral("thumbnailPhoto"));
    for (const QByteArray &jpeg : pictures) {
        const QImage image = QImage::fromData(jpeg, "JPEG");
        EXPECT_FALSE(image.isNull());
        EXPECT_GE(image.width(), 64);
    }
}

TEST(SeedContent, MailRecipientsOfEveryKind)
{
    ARV_REQUIRE_DOMAIN();
    const QString person = QStringLiteral("(&(objectCategory=person)(objectClass=user)%1)");
    EXPECT_GE(ldapCount(seedOu(), person.arg(QStringLiteral("(homeMDB=*)(mailNickname=*)(proxyAddresses=SMTP:*)"))), 30)
        << "mailbox users";
    EXPECT_GE(ldapCount(seedOu(), person.arg(QStringLiteral("(mail=*)(mailNickname=*)(!(homeMDB=*))"))), 30)
        << "mail-enabled users without a mailbox";
    EXPECT_GE(ldapCount(seedOu(), person.arg(QStringLiteral("(msExchHideFromAddressLists=TRUE)"))), 30)
        << "hidden from address lists";
    // Distribution lists (groupType without the security bit) with mail attributes.
    EXPECT_GE(ldapCount(seedOu(), QStringLiteral("(&(objectClass=group)(mail=*)(!(groupType:1.2.840.113556.1.4.803:=2147483648)))")), 3);
    const auto dynamic = ldapSearch(seedOu(), QStringLiteral("(objectClass=msExchDynamicDistributionList)"),
                                    {QStringLiteral("msExchDynamicDLFilter"), QStringLiteral("msExchDynamicDLBaseDN")});
    ASSERT_EQ(dynamic.size(), 2);
    for (const LdifEntry &e : dynamic) {
        EXPECT_TRUE(e.text(QStringLiteral("msExchDynamicDLFilter")).startsWith(QLatin1Char('(')));
        // The base DN names an existing container.
        int rc = -1;
        ldapSearch(e.text(QStringLiteral("msExchDynamicDLBaseDN")), QStringLiteral("(objectClass=*)"),
                   {QStringLiteral("1.1")}, Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")}, &rc);
        EXPECT_EQ(rc, 0) << e.dn.toStdString();
    }
}

TEST(SeedContent, GroupsOfAllSixTypesNestedAndPrimary)
{
    ARV_REQUIRE_DOMAIN();
    for (const char *type : {"-2147483646", "-2147483644", "-2147483640", "2", "4", "8"})
        EXPECT_GE(ldapCount(seedOu(), QStringLiteral("(&(objectClass=group)(groupType=%1))").arg(QLatin1String(type))), 1)
            << "groupType " << type;

    // A Platform engineer is in UG All Staff only through two levels of nesting.
    const QString allStaff = QStringLiteral("CN=UG All Staff,OU=Groups,") + seedOu();
    const QString platform = QStringLiteral("OU=Platform,OU=Engineering,OU=Staff,") + seedOu();
    const auto direct = ldapSearch(platform, QStringLiteral("(&(objectClass=user)(memberOf=CN=GG Platform,OU=Groups,%1))").arg(seedOu()),
                                   {QStringLiteral("memberOf")});
    ASSERT_FALSE(direct.isEmpty());
    EXPECT_FALSE(direct.first().values(QStringLiteral("memberOf")).contains(allStaff.toUtf8()));
    EXPECT_GE(ldapCount(platform, QStringLiteral("(memberOf:1.2.840.113556.1.4.1941:=%1)").arg(allStaff)), 1);

    // The primary group of primary.group is GG Engineering, not Domain Users (RID 513).
    const auto pg = ldapSearch(seedOu(), QStringLiteral("(sAMAccountName=primary.group)"), {QStringLiteral("primaryGroupID")});
    const auto eng = ldapSearch(seedOu(), QStringLiteral("(cn=GG Engineering)"), {QStringLiteral("primaryGroupToken")});
    ASSERT_EQ(pg.size(), 1);
    ASSERT_EQ(eng.size(), 1);
    EXPECT_NE(pg.first().text(QStringLiteral("primaryGroupID")), QLatin1String("513"));
    EXPECT_EQ(pg.first().text(QStringLiteral("primaryGroupID")), eng.first().text(QStringLiteral("primaryGroupToken")));
}

TEST(SeedContent, LargeGroupNeedsRangedRetrieval)
{
    ARV_REQUIRE_DOMAIN();
    const QString group = QStringLiteral("CN=GG Bulk Members,OU=Groups,") + seedOu();
    // Ranges of 1,500 values, the way Active Directory hands out large attributes; the last
    // answer names its range with "-*".
    QSet<QByteArray> members;
    int low = 0, pages = 0;
    for (;;) {
        const QString attr = QStringLiteral("member;range=%1-%2").arg(low).arg(low + 1499);
        const auto entries = ldapSearch(group, QStringLiteral("(objectClass=group)"), {attr}, Account::admin(),
                                        {QStringLiteral("-s"), QStringLiteral("base")});
        ASSERT_EQ(entries.size(), 1);
        const QString got = entries.first().attributeStartingWith(QStringLiteral("member;range="));
        ASSERT_FALSE(got.isEmpty());
        const QList<QByteArray> values = entries.first().values(got);
        for (const QByteArray &v : values)
            members.insert(v);
        ++pages;
        if (got.endsWith(QLatin1String("-*")))
            break;
        EXPECT_EQ(values.size(), 1500);
        low += int(values.size());
        ASSERT_LT(pages, 10);
    }
    EXPECT_EQ(pages, 2);
    EXPECT_EQ(members.size(), 1600);
    EXPECT_TRUE(members.contains(QStringLiteral("CN=Bulk User 1600,OU=Bulk,%1").arg(seedOu()).toUtf8()));
}

TEST(SeedContent, UnicodeAndEscapedValuesSurviveExactly)
{
    ARV_REQUIRE_DOMAIN();
    const QString showcase = QStringLiteral("OU=Showcase,") + seedOu();
    auto one = [&](const QString &filter) {
        const auto e = ldapSearch(showcase, filter, {QStringLiteral("*")});
        return e.size() == 1 ? e.first() : LdifEntry();
    };
    EXPECT_EQ(one(QStringLiteral("(sAMAccountName=john.smith)")).dn, QStringLiteral("CN=Smith\\, John,") + showcase);
    EXPECT_EQ(one(QStringLiteral("(sAMAccountName=anna.bell)")).dn, QStringLiteral("CN=Anna\\+Bell,") + showcase);
    EXPECT_EQ(one(QStringLiteral("(sAMAccountName=hash.user)")).dn, QStringLiteral("CN=\\#Hash User,") + showcase);
    EXPECT_EQ(one(QStringLiteral("(cn=Иван Петров)")).text(QStringLiteral("sn")), QStringLiteral("Петров"));
    EXPECT_EQ(one(QStringLiteral("(sAMAccountName=taro.yamada)")).text(QStringLiteral("displayName")), QStringLiteral("山田 太郎"));
    EXPECT_EQ(one(QStringLiteral("(sAMAccountName=joerg.weiss)")).text(QStringLiteral("sn")), QStringLiteral("Weiß"));
    const LdifEntry padded = one(QStringLiteral("(sAMAccountName=padded.values)"));
    EXPECT_EQ(padded.text(QStringLiteral("physicalDeliveryOfficeName")), QStringLiteral("  Room 12  "));
    EXPECT_EQ(padded.text(QStringLiteral("title")), QStringLiteral("trailing blank "));
    EXPECT_EQ(padded.text(QStringLiteral("department")), QStringLiteral("Semi;colon;separated"));
    const LdifEntry multi = one(QStringLiteral("(sAMAccountName=multi.line)"));
    EXPECT_EQ(multi.text(QStringLiteral("info")), QStringLiteral("First line\r\nSecond line\nThird line"));
    EXPECT_EQ(multi.text(QStringLiteral("description")), QStringLiteral("Quote \" and backslash \\ and comma , inside"));
    EXPECT_EQ(one(QStringLiteral("(sAMAccountName=zoe.obrien)")).text(QStringLiteral("sn")), QStringLiteral("O'Brien"));
    // OUs with escaped characters hold users too.
    EXPECT_GT(ldapCount(QStringLiteral("OU=Finance\\, Legal,OU=Staff,") + seedOu(), QStringLiteral("(objectClass=user)")), 0);
    EXPECT_GT(ldapCount(QStringLiteral("OU=R\\+D Lab,OU=Engineering,OU=Staff,") + seedOu(), QStringLiteral("(objectClass=user)")), 0);
}

TEST(SeedContent, ManagersHaveDirectReports)
{
    ARV_REQUIRE_DOMAIN();
    const auto chief = ldapSearch(seedOu(), QStringLiteral("(sAMAccountName=clara.chief)"), {QStringLiteral("directReports")});
    ASSERT_EQ(chief.size(), 1);
    EXPECT_GE(chief.first().values(QStringLiteral("directReports")).size(), 10);
    EXPECT_GE(ldapCount(seedOu(), QStringLiteral("(&(objectClass=user)(manager=*)(directReports=*))")), 5);
}
