// Find and replace without a directory: which attributes are offered, the filters the
// conditions give, the refusals before a preview, placeholder substitution and the log text.
#include "bulk/replaceengine.h"
#include "query/filtercompose.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace findreplace;

namespace {

Rule ruleFor(const QString &attribute)
{
    Rule r;
    const Attribute *a = attributeByName(attribute);
    EXPECT_NE(a, nullptr) << attribute.toStdString();
    if (a)
        r.attribute = *a;
    return r;
}

int countryIndex(const char *alpha2) { return catalogue::countryIndexByAlpha2(QLatin1String(alpha2)); }

} // namespace

TEST(ReplaceAttributes, ListHoldsThe39InOrderWithPagesAndSchemaTest)
{
    const auto &all = allAttributes();
    ASSERT_EQ(all.size(), 39u);
    for (const Attribute &a : all)
        ASSERT_NE(a.field, nullptr);
    EXPECT_EQ(all.front().ldapName(), QStringLiteral("givenName"));
    EXPECT_EQ(all[9].ldapName(), QStringLiteral("streetAddress"));
    EXPECT_EQ(all[9].page, Page::Memo);
    EXPECT_EQ(all[14].page, Page::Country);
    EXPECT_EQ(all[14].caption(), QStringLiteral("Country/Region"));
    EXPECT_EQ(all[18].page, Page::Manager);
    EXPECT_EQ(all[23].page, Page::Booleans);
    EXPECT_TRUE(all[23].isBoolean());
    EXPECT_EQ(all[38].ldapName(), QStringLiteral("extensionAttribute15"));
    EXPECT_TRUE(all[38].mailboxOnly);
    EXPECT_FALSE(all[22].mailboxOnly);

    // No schema list: everything; with one: only names in it, compared without case.
    EXPECT_EQ(offeredAttributes(false, {}).size(), 39u);
    const auto some = offeredAttributes(true, {QStringLiteral("GIVENNAME"), QStringLiteral("title"),
                                               QStringLiteral("extensionattribute3")});
    ASSERT_EQ(some.size(), 3u);
    EXPECT_EQ(some[0].ldapName(), QStringLiteral("givenName"));
    EXPECT_EQ(some[1].ldapName(), QStringLiteral("title"));
    EXPECT_EQ(some[2].ldapName(), QStringLiteral("extensionAttribute3"));
    EXPECT_EQ(attributeByName(QStringLiteral("cn")), nullptr);
}

TEST(ReplaceConditions, MainAndMemoConditionsEscapeTheFindText)
{
    Rule r = ruleFor(QStringLiteral("title"));
    EXPECT_EQ(conditionFilter(r), QStringLiteral("(title=*)"));  // nothing to find: any value
    r.find = QStringLiteral("  a*b(c)  ");
    r.where = Where::Contains;
    EXPECT_EQ(conditionFilter(r), QStringLiteral("(title=*a\\2ab\\28c\\29*)"));
    r.find = QStringLiteral("x\\y/z");
    r.where = Where::Start;
    EXPECT_EQ(conditionFilter(r), QStringLiteral("(title=x\\5cy\\2fz*)"));
    r.where = Where::End;
    EXPECT_EQ(conditionFilter(r), QStringLiteral("(title=*x\\5cy\\2fz)"));
    r.find = QStringLiteral("Boss");
    r.where = Where::IsNot;
    EXPECT_EQ(conditionFilter(r), QStringLiteral("(!(title=Boss))"));
    r.valueNotSet = true;
    EXPECT_EQ(conditionFilter(r), QStringLiteral("(!(title=*))"));

    Rule memo = ruleFor(QStringLiteral("streetAddress"));
    memo.find = QStringLiteral("Main St");
    EXPECT_EQ(conditionFilter(memo), QStringLiteral("(streetAddress=Main St)"));
}

TEST(ReplaceConditions, ExtensionAttributesFindOnlyMailboxUsers)
{
    Rule r = ruleFor(QStringLiteral("extensionAttribute3"));
    r.find = QStringLiteral("x");
    EXPECT_EQ(conditionFilter(r), QStringLiteral("(&(extensionAttribute3=x)(homeMDB=*)(msExchHomeServerName=*))"));
    r.find.clear();
    r.valueNotSet = true;
    EXPECT_EQ(conditionFilter(r), QStringLiteral("(&(!(extensionAttribute3=*))(homeMDB=*)(msExchHomeServerName=*))"));
}

TEST(ReplaceConditions, CountryManagerAndBooleanPages)
{
    Rule c = ruleFor(QStringLiteral("co"));
    EXPECT_EQ(conditionFilter(c), QStringLiteral("(c=*)"));
    c.findCountry = countryIndex("DE");
    EXPECT_EQ(conditionFilter(c), QStringLiteral("(c=DE)"));
    c.where = Where::IsNot;  // finds users without a country too
    EXPECT_EQ(conditionFilter(c), QStringLiteral("(!(c=DE))"));
    c.valueNotSet = true;
    EXPECT_EQ(conditionFilter(c), QStringLiteral("(!(c=*))"));

    Rule m = ruleFor(QStringLiteral("manager"));
    m.find = QStringLiteral("CN=Doe\\, Jane (HQ),OU=Staff,DC=x");
    EXPECT_EQ(conditionFilter(m), QStringLiteral("(manager=CN=Doe\\5c, Jane \\28HQ\\29,OU=Staff,DC=x)"));
    m.where = Where::IsNot;  // a manager is set and differs
    EXPECT_EQ(conditionFilter(m),
              QStringLiteral("(&(!(manager=CN=Doe\\5c, Jane \\28HQ\\29,OU=Staff,DC=x))(manager=*))"));

    Rule b = ruleFor(QStringLiteral("msExchHideFromAddressLists"));
    EXPECT_EQ(conditionFilter(b), QStringLiteral("(msExchHideFromAddressLists=*)"));
    b.find = QStringLiteral("TRUE");
    EXPECT_EQ(conditionFilter(b), QStringLiteral("(msExchHideFromAddressLists=TRUE)"));
}

TEST(ReplaceConditions, FullQueryIsOneValidFilterAndRefusesABrokenRestriction)
{
    Rule r = ruleFor(QStringLiteral("extensionAttribute1"));
    r.find = QStringLiteral("v");
    const QString q = fullQuery(r, QStringLiteral("(department=Sales)"));
    EXPECT_EQ(q, QStringLiteral("(&(objectCategory=person)(objectClass=user)"
                                "(&(extensionAttribute1=v)(homeMDB=*)(msExchHomeServerName=*))(department=Sales))"));
    EXPECT_TRUE(query::isValidFilter(q));
    // A restriction handed over without its parentheses gets exactly one pair.
    EXPECT_TRUE(fullQuery(r, QStringLiteral("l=Bern")).endsWith(QStringLiteral("(l=Bern))")));
    QString error;
    EXPECT_TRUE(fullQuery(r, QStringLiteral("(&(a=1)"), &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(ReplaceRules, RefusalsBeforeSearching)
{
    // An empty replace text means Clear Value, which cannot go with Value Is Not Set.
    Rule r = ruleFor(QStringLiteral("title"));
    r.replace = QStringLiteral("   ");
    EXPECT_TRUE(prepareRule(r).isEmpty());
    EXPECT_TRUE(r.clear);
    r.valueNotSet = true;
    EXPECT_EQ(prepareRule(r), QStringLiteral("You cannot select both checkboxes\r\n\"Value Is Not Set\" and \"Clear Value\""));

    Rule self = ruleFor(QStringLiteral("givenName"));
    self.replace = QStringLiteral("Dr. <%GIVENNAME%>");
    EXPECT_EQ(prepareRule(self), QStringLiteral("You cannot use \"<%givenName%>\" as replace attribute - it is equal to "
                                                "\"First Name\".\r\nYou can use \"<%CURRENT%>\" instead."));

    Rule cur = ruleFor(QStringLiteral("title"));
    cur.replace = QStringLiteral("<%current%> (old)");
    cur.valueNotSet = true;
    EXPECT_EQ(prepareRule(cur), QStringLiteral("You cannot select \"Value Is Not Set\" and <%CURRENT%>"));

    Rule b = ruleFor(QStringLiteral("msExchHideFromAddressLists"));
    EXPECT_FALSE(prepareRule(b).isEmpty());  // neither TRUE nor FALSE chosen
    b.replace = QStringLiteral("FALSE");
    EXPECT_TRUE(prepareRule(b).isEmpty());
    Rule c = ruleFor(QStringLiteral("co"));
    EXPECT_FALSE(prepareRule(c).isEmpty());  // no country to write
    c.replaceCountry = countryIndex("CH");
    EXPECT_TRUE(prepareRule(c).isEmpty());
}

TEST(ReplacePlaceholders, FoundWithoutCaseAndSubstitutedInOnePass)
{
    Rule r = ruleFor(QStringLiteral("displayName"));
    r.replace = QStringLiteral("<%SN%>, <%givenname%> <%sAMAccountName%> <%title%>");
    EXPECT_EQ(placeholderAttributes(r), (QStringList{QStringLiteral("sAMAccountname"), QStringLiteral("givenName"),
                                                     QStringLiteral("sn")}));
    EXPECT_EQ(searchAttributes(r), (QStringList{QStringLiteral("cn"), QStringLiteral("distinguishedName"),
                                                QStringLiteral("displayName"), QStringLiteral("sAMAccountname"),
                                                QStringLiteral("givenName"), QStringLiteral("sn")}));
    r.clear = true;
    EXPECT_TRUE(placeholderAttributes(r).isEmpty());

    const QHash<QString, QString> values{{QStringLiteral("sn"), QStringLiteral("<%givenName%>")},
                                         {QStringLiteral("givenname"), QStringLiteral("Ann")}};
    // A value that holds placeholder text stays as it is; an unknown name stays literal;
    // a placeholder without a value becomes empty.
    EXPECT_EQ(substitutePlaceholders(QStringLiteral("<%sn%>|<%GivenName%>|<%Company%>|<%title%>|<%current%>!"), values,
                                     QStringLiteral("<%sn%>")),
              QStringLiteral("<%givenName%>|Ann||<%title%>|<%sn%>!"));
}

TEST(ReplaceValues, TextOfDirectoryValues)
{
    EXPECT_EQ(valueText(QVariant()), QString());
    EXPECT_EQ(valueText(true), QStringLiteral("TRUE"));
    EXPECT_EQ(valueText(QVariantList{QStringLiteral("a"), QStringLiteral("b")}), QStringLiteral("a; b"));
    Row row;
    EXPECT_EQ(row.currentShown(), kBlank);
    row.clear = true;
    EXPECT_EQ(row.targetShown(), kBlank);
}

TEST(ReplaceLogFile, EscapesLineBreaksAndAppendsWithASeparator)
{
    EXPECT_EQ(ReplaceLog::escape(QStringLiteral("a\\b\r\nc\td")), QStringLiteral("a\\\\b\\r\\nc\\td"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QString error;
    for (int run = 0; run < 2; ++run) {
        ReplaceLog log;
        ASSERT_TRUE(log.open(path, &error)) << error.toStdString();
        log.header(*attributeByName(QStringLiteral("streetAddress")), QDateTime::currentDateTime());
        Row row;
        row.cn = QStringLiteral("Ωmega Üser");
        row.dn = QStringLiteral("CN=Ωmega Üser,DC=x");
        row.outcome = QStringLiteral("SUCCEEDED");
        log.row(row, QStringLiteral("line 1\nline 2"), QStringLiteral("new"));
        log.trailer(QDateTime::currentDateTime(), run == 1, 3, 0);
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.first(), QStringLiteral("[LDAP ATTRIBUTE] [streetAddress] {Street}"));
    EXPECT_EQ(lines.count(QStringLiteral("[Ωmega Üser]; [CN=Ωmega Üser,DC=x]; [line 1\\nline 2]; [new]; [SUCCEEDED]")), 2);
    EXPECT_EQ(lines.count(QStringLiteral("[STOPPED!]")), 1);
    EXPECT_EQ(lines.count(QStringLiteral("3 items was processed for 0 seconds")), 2);
    // The second run starts after an empty line and the separator.
    const int second = static_cast<int>(lines.lastIndexOf(QStringLiteral("[LDAP ATTRIBUTE] [streetAddress] {Street}")));
    ASSERT_GT(second, 2);
    EXPECT_EQ(lines.at(second - 1), QStringLiteral("======================================"));
    EXPECT_EQ(lines.at(second - 2), QString());
}

TEST(ReplaceLogFile, AFullDiskIsReportedAtTheLineItHit)
{
    // /dev/full accepts the open and refuses every write with "no space left on device".
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full on this machine";
    ReplaceLog log;
    QString error;
    ASSERT_TRUE(log.open(QStringLiteral("/dev/full"), &error)) << error.toStdString();
    EXPECT_FALSE(log.failed());
    log.header(*attributeByName(QStringLiteral("streetAddress")), QDateTime::currentDateTime());
    EXPECT_TRUE(log.failed());
    EXPECT_FALSE(log.errorText().isEmpty());
}
