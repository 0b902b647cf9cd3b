// The filter builder's conditions: composing, parsing back, the account states and the age.
#include "core/unValuesTime.h"
#include "main/unCatalogue.h"
#include "query/filtercompose.h"
#include "query/filterconditions.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace query;

namespace {

QString s(const char *t) { return QString::fromUtf8(t); }
qint32 key(const char *ldapName) { return KeyByLdapName(QString::fromLatin1(ldapName)); }

// File time of a UTC midnight, computed without the program's conversions.
qint64 utcMidnightFileTime(const QDate &d)
{
    return QDateTime(d, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch() * 10000 + 116444736000000000LL;
}

class Conditions : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetTimeZoneOverride(QTimeZone::utc());
        c.setToday(today);
        c.setLastLogonRule(lastLogonRule(3, 15));
        c.setMaxPasswordAgeDays(42);
    }
    void TearDown() override { SetTimeZoneOverride(QTimeZone()); }

    const QDate today{2024, 1, 31};
    FilterConditions c;
};

} // namespace

TEST_F(Conditions, EveryConditionKindComposesAndParsesBack)
{
    ASSERT_EQ(c.add(key("sn"), Condition::StartsWith, s(" Smi ")), AddError::None);
    ASSERT_EQ(c.add(key("givenName"), Condition::EndsWith, s("ne")), AddError::None);
    ASSERT_EQ(c.add(key("cn"), Condition::IsExactly, s("a*b")), AddError::None);
    ASSERT_EQ(c.add(key("department"), Condition::IsNot, s("Sales")), AddError::None);
    ASSERT_EQ(c.add(key("mail"), Condition::Present, s("ignored")), AddError::None);
    ASSERT_EQ(c.add(key("company"), Condition::NotPresent, QString()), AddError::None);
    ASSERT_EQ(c.add(key("l"), Condition::Containing, s("(x)\\y")), AddError::None);
    const QString f = c.fragment();
    EXPECT_EQ(f, s("(sn=Smi*)(givenName=*ne)(cn=a\\2ab)(!(department=Sales))(mail=*)(!(company=*))(l=*\\28x\\29\\5cy*)"));
    EXPECT_TRUE(isValidFragment(f));

    FilterConditions back;
    EXPECT_EQ(back.parse(f), 0);
    ASSERT_EQ(back.rows().size(), 7);
    EXPECT_EQ(back.rows().at(0).condition, s("Starts with"));
    EXPECT_EQ(back.rows().at(0).value, s("Smi"));
    EXPECT_EQ(back.rows().at(0).caption, CaptionByLdapName(u"sn"));
    EXPECT_EQ(back.rows().at(2).value, s("a*b"));
    EXPECT_EQ(back.rows().at(3).condition, s("Is not"));
    EXPECT_EQ(back.rows().at(4).condition, s("Present"));
    EXPECT_EQ(back.rows().at(5).condition, s("Not present"));
    EXPECT_EQ(back.rows().at(6).condition, s("Containing"));
    EXPECT_EQ(back.rows().at(6).value, s("(x)\\y"));
    EXPECT_EQ(back.fragment(), f);
}

TEST_F(Conditions, AccountStatesStandAloneOrJoinedAndParseBack)
{
    c.add(key("sn"), Condition::StartsWith, s("Smi"));
    c.add(key("mail"), Condition::Present, QString());
    c.setAccountFlag(AccountFlag::Disabled, true);
    EXPECT_EQ(c.fragment(), s("(sn=Smi*)(mail=*)(userAccountControl:1.2.840.113556.1.4.803:=2)"));
    c.setAccountFlag(AccountFlag::Locked, true);
    EXPECT_EQ(c.fragment(),
              s("(sn=Smi*)(mail=*)(|(userAccountControl:1.2.840.113556.1.4.803:=2)(lockoutTime>=1))"));
    c.setAccountFlag(AccountFlag::Expired, true);
    const QString expired = s("(&(pwdLastSet<=%1)(!(userAccountControl:1.2.840.113556.1.4.803:=65536)))")
                                .arg(utcMidnightFileTime(today.addDays(-42)));
    EXPECT_EQ(accountFlagTerm(AccountFlag::Expired, 42, today), expired);
    EXPECT_TRUE(c.fragment().endsWith(expired + s(")")));
    EXPECT_TRUE(isValidFragment(c.fragment()));

    FilterConditions back;
    back.setToday(today);
    back.parse(c.fragment());
    EXPECT_TRUE(back.accountFlag(AccountFlag::Disabled));
    EXPECT_TRUE(back.accountFlag(AccountFlag::Locked));
    EXPECT_TRUE(back.accountFlag(AccountFlag::Expired));
    EXPECT_EQ(back.fragment(), c.fragment());

    // Clearing a box removes its row, and with it its term.
    c.setAccountFlag(AccountFlag::Disabled, false);
    c.setAccountFlag(AccountFlag::Expired, false);
    EXPECT_EQ(c.fragment(), s("(sn=Smi*)(mail=*)(lockoutTime>=1)"));
    // Removing an account row clears its box.
    c.removeAt(c.indexOfKey(accountFlagKey(AccountFlag::Locked)));
    EXPECT_FALSE(c.accountFlag(AccountFlag::Locked));
    // Without a maximum age only passwords that must be changed count as expired.
    EXPECT_EQ(accountFlagTerm(AccountFlag::Expired, 0, today),
              s("(&(pwdLastSet=0)(!(userAccountControl:1.2.840.113556.1.4.803:=65536)))"));
}

TEST_F(Conditions, OlderStoredFormsStillLoad)
{
    // The negation without inner parentheses and the account-control bits of earlier versions.
    EXPECT_EQ(c.parse(s("(!department=Sales)(|(userAccountControl:1.2.840.113556.1.4.803:=2)"
                        "(userAccountControl:1.2.840.113556.1.4.803:=8388608)"
                        "(userAccountControl:1.2.840.113556.1.4.803:=16))")),
              0);
    ASSERT_EQ(c.rows().size(), 4);
    EXPECT_EQ(c.rows().at(0).condition, s("Is not"));
    EXPECT_EQ(c.rows().at(0).value, s("Sales"));
    EXPECT_TRUE(c.accountFlag(AccountFlag::Disabled));
    EXPECT_TRUE(c.accountFlag(AccountFlag::Expired));
    EXPECT_TRUE(c.accountFlag(AccountFlag::Locked));
    // ... and are written back in the form the server answers.
    EXPECT_TRUE(c.fragment().startsWith(s("(!(department=Sales))(|(userAccountControl:1.2.840.113556.1.4.803:=2)")));
    EXPECT_TRUE(isValidFragment(c.fragment()));

    // Other bits of that rule add nothing; "!" before a substring is not kept.
    c.parse(s("(userAccountControl:1.2.840.113556.1.4.803:=512)(!cn=x*)"));
    ASSERT_EQ(c.rows().size(), 1);
    EXPECT_EQ(c.rows().at(0).condition, s("Starts with"));
    EXPECT_EQ(c.rows().at(0).value, s("x"));
}

TEST_F(Conditions, UnknownOrRepeatedAttributesAreSkipped)
{
    EXPECT_EQ(c.parse(s("(noSuchAttribute=1)(sn=a)(SN=b)(garbage)(cn=x")), 3);
    ASSERT_EQ(c.rows().size(), 1);
    EXPECT_EQ(c.rows().at(0).attribute, s("sn"));
    EXPECT_EQ(c.rows().at(0).value, s("a"));
}

TEST_F(Conditions, AddRefusesDuplicatesEmptyValuesAndHeaders)
{
    EXPECT_EQ(c.add(key("sn"), Condition::IsExactly, s("   ")), AddError::EmptyValue);
    EXPECT_EQ(c.add(1001, Condition::Present, QString()), AddError::UnknownField);
    EXPECT_EQ(c.add(accountFlagKey(AccountFlag::Disabled), Condition::Present, QString()), AddError::UnknownField);
    EXPECT_EQ(c.add(key("sn"), Condition::IsExactly, s("x")), AddError::None);
    int existing = -1;
    EXPECT_EQ(c.add(key("sn"), Condition::Present, QString(), &existing), AddError::Duplicate);
    EXPECT_EQ(existing, 0);
    EXPECT_EQ(c.rows().size(), 1);
}

TEST_F(Conditions, LastLogonAgeComposesParsesAndKeepsItsTerm)
{
    c.add(key("sn"), Condition::StartsWith, s("S"));
    c.setLastLogon(30, true);
    const QString term = s("(lastLogonTimeStamp<=%1)").arg(utcMidnightFileTime(today.addDays(-30)));
    EXPECT_EQ(c.lastLogonTerm(), term);
    EXPECT_EQ(c.fragment(), s("(sn=S*)") + term);
    const ConditionRow &row = c.rows().last();
    EXPECT_EQ(row.kind, RowKind::LastLogon);
    EXPECT_EQ(row.condition, s("<="));
    EXPECT_EQ(row.value, s("2024-01-01"));

    FilterConditions back;
    back.setToday(today.addDays(10)); // parsed ten days later: the age grows, the term stays
    back.setLastLogonRule(lastLogonRule(3, 15));
    back.parse(c.fragment());
    EXPECT_EQ(back.lastLogonDays(), 40);
    EXPECT_TRUE(back.lastLogonNotLoggedIn());
    EXPECT_EQ(back.fragment(), c.fragment());

    // A parsed age below the step is raised to it; a malformed term is composed again.
    back.parse(s("(lastLogon>=%1)").arg(utcMidnightFileTime(today.addDays(8))));
    EXPECT_EQ(back.lastLogonDays(), 15);
    EXPECT_FALSE(back.lastLogonNotLoggedIn());
    back.parse(s("(lastLogon>=12x)"));
    EXPECT_TRUE(isValidFragment(back.fragment()));

    c.setLastLogon(0, false);
    EXPECT_EQ(c.fragment(), s("(sn=S*)"));
    EXPECT_EQ(c.rows().size(), 1);
}

TEST(LastLogon, RuleStepsChoicesAndNormalising)
{
    EXPECT_EQ(lastLogonRule(2, 0).attribute, s("lastLogonTimeStamp"));
    EXPECT_EQ(lastLogonRule(2, 0).step, 15);
    EXPECT_EQ(lastLogonRule(3, 7).step, 7);
    EXPECT_EQ(lastLogonRule(1, 7).attribute, s("lastLogon"));
    EXPECT_EQ(lastLogonRule(1, 7).step, 5);
    EXPECT_TRUE(lastLogonRule(0, 7).thisServerOnly);
    EXPECT_EQ(lastLogonChoices(14).first(), s("14"));
    EXPECT_EQ(lastLogonChoices(14).last(), s("140"));
    EXPECT_EQ(normaliseLogonDays(s(""), 15), 0);
    EXPECT_EQ(normaliseLogonDays(s("abc"), 15), 15);
    EXPECT_EQ(normaliseLogonDays(s("3"), 15), 15);
    EXPECT_EQ(normaliseLogonDays(s(" 90 "), 15), 90);
}

TEST(FilterValues, DecodingReadsEveryEscapeAsUtf8)
{
    EXPECT_EQ(decodeFilterValue(s("a\\2ab\\5c\\28\\29\\2F")), s("a*b\\()/"));
    EXPECT_EQ(decodeFilterValue(s("Jos\\c3\\a9")), s("José"));
    EXPECT_EQ(decodeFilterValue(s("x\\00y")), QString(s("x")) + QChar(u'\0') + s("y"));
    EXPECT_EQ(decodeFilterValue(s("\\zz\\4")), s("\\zz\\4"));
    EXPECT_EQ(decodeFilterValue(s("日本\\2a")), s("日本*"));
    EXPECT_EQ(fragmentTerms(s(" (a=1) x(b=\\29)(|(c=1)(d=2))(e=")),
              QStringList({s("(a=1)"), s("(b=\\29)"), s("(|(c=1)(d=2))")}));
}

TEST(FilterFields, FieldBoxOffersHeadersAndFilterableTextOrIntegerFields)
{
    const QList<FieldChoice> fields = filterFieldChoices();
    ASSERT_FALSE(fields.isEmpty());
    EXPECT_TRUE(fields.first().header);
    EXPECT_EQ(fields.first().key, 1001);
    QStringList captions;
    int headers = 0;
    for (const FieldChoice &f : fields) {
        headers += f.header;
        if (!f.header)
            captions << f.caption;
    }
    EXPECT_EQ(headers, 9);
    EXPECT_TRUE(captions.contains(CaptionByLdapName(u"sAMAccountname")));
    EXPECT_TRUE(captions.contains(CaptionByLdapName(u"memberOf")));
    EXPECT_FALSE(captions.contains(CaptionByLdapName(u"logonHours")));   // binary
    EXPECT_FALSE(captions.contains(CaptionByLdapName(u"description")));  // no filter flag
}
