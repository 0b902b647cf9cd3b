#include "main/unCatalogue.h"

#include <QSet>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

QStringList names(std::span<const ADSIUserField> t, bool (*pick)(const ADSIUserField &))
{
    QStringList out;
    for (const ADSIUserField &e : t)
        if (pick(e))
            out << e.ldapName.toString();
    return out;
}

QStringList split(const char *spaceSeparated)
{
    return QString::fromLatin1(spaceSeparated).split(u' ');
}

} // namespace

TEST(CatalogueTables, UserTableShapeAndOrder)
{
    const auto t = catalogue::userFields();
    ASSERT_EQ(t.size(), 121u);

    // Headers carry their own key as group, no names and no type, and come in this order.
    QList<qint32> headers;
    QSet<qint32> keys;
    for (const ADSIUserField &e : t) {
        EXPECT_FALSE(keys.contains(e.key)) << "duplicate key " << e.key;
        keys.insert(e.key);
        if (e.isHeader()) {
            headers << e.key;
            EXPECT_EQ(e.group, e.key);
            EXPECT_TRUE(e.ldapName.isEmpty() && e.schemaName.isEmpty());
        }
    }
    EXPECT_EQ(headers, (QList<qint32>{1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010,
                                      2001, 3001, 7777}));
    for (const ADSIUserField &e : t)
        EXPECT_TRUE(keys.contains(e.group) && EntryByKey(e.group)->isHeader()) << e.key;

    // Positions at the seams of the table: negative keys are not sorted first, 204 is last.
    EXPECT_EQ(IndexByKey(1001), 0);
    EXPECT_EQ(IndexByKey(-3), 1);
    EXPECT_EQ(IndexByKey(-2), 5);
    EXPECT_EQ(IndexByKey(78), 88);
    EXPECT_EQ(IndexByKey(100), 112);
    EXPECT_EQ(IndexByKey(204), 120);
    EXPECT_EQ(t[88].group, 1008);  // proxyAddresses sits under header 1009 but belongs to 1008
    EXPECT_EQ(t[120].group, 1010);
}

TEST(CatalogueTables, LdapNamesAreUniqueIgnoringCase)
{
    for (int table : {UserTable, GroupTable}) {
        QSet<QString> seen;
        for (const ADSIUserField &e : catalogue::fields(table)) {
            if (e.isHeader())
                continue;
            const QString n = e.ldapName.toString().toLower();
            EXPECT_FALSE(seen.contains(n)) << table << " " << n.toStdString();
            seen.insert(n);
        }
    }
}

TEST(CatalogueTables, GroupTable)
{
    const auto g = catalogue::groupFields();
    ASSERT_EQ(g.size(), 15u);
    QList<qint32> keys;
    for (const ADSIUserField &e : g) {
        keys << e.key;
        EXPECT_EQ(e.group, 1001);
        EXPECT_FALSE(e.isHeader());
    }
    EXPECT_EQ(keys, (QList<qint32>{0, 1, 4, 9, 2, 5, 6, 7, 8, 10, 3, 11, 12, 13, 14}));
    EXPECT_EQ(g[2].type, FieldType::Integer);  // groupType
    EXPECT_EQ(g[2].filterFlags, 9);
}

// The flags decide what the filter builder, the export window's sort keys and the colouring
// offer; other windows list the expected attributes independently of this table.
TEST(CatalogueTables, FlagsSelectTheDocumentedAttributes)
{
    const auto u = catalogue::userFields();
    EXPECT_EQ(names(u, [](const ADSIUserField &e) { return e.sortFlag; }),
              split("cn givenName sn displayName physicalDeliveryOfficeName mail userPrincipalName "
                    "sAMAccountname l mailNickname proxyAddresses uSNCreated uSNChanged"));
    EXPECT_EQ(names(catalogue::groupFields(), [](const ADSIUserField &e) { return e.sortFlag; }),
              split("cn displayName groupType mail sAMAccountname uSNCreated uSNChanged"));
    EXPECT_EQ(names(u, [](const ADSIUserField &e) { return e.secondFlag; }),
              split("cn givenName sn displayName description telephoneNumber mail userPrincipalName "
                    "sAMAccountname l st manager homePhone ipPhone otherIpPhone whenCreated "
                    "whenChanged distinguishedName uSNCreated uSNChanged"));
    // Condition fields of the filter builder: filter flags set and a text or integer type.
    EXPECT_EQ(names(u,
                    [](const ADSIUserField &e) {
                        return e.isFilterField() &&
                               (e.type == FieldType::Text || e.type == FieldType::Integer);
                    }),
              split("cn givenName sn displayName physicalDeliveryOfficeName mail userPrincipalName "
                    "sAMAccountname userWorkstations postOfficeBox l st postalCode co department "
                    "company manager profilePath scriptPath homeDirectory homeDrive mailNickname "
                    "submissionContLength delivContLength authOrig dLMemSubmitPerms unauthOrig "
                    "dLMemRejectPerms publicDelegates altRecipient msExchRecipLimit mDBStorageQuota "
                    "mDBOverQuotaLimit mDBOverHardQuotaLimit extensionAttribute1 extensionAttribute2 "
                    "extensionAttribute3 extensionAttribute4 extensionAttribute5 extensionAttribute7 "
                    "extensionAttribute8 extensionAttribute9 extensionAttribute10 "
                    "extensionAttribute12 extensionAttribute13 extensionAttribute14 "
                    "extensionAttribute15 protocolSettings proxyAddresses memberOf "
                    "distinguishedName"));
    QSet<int> filterValues;
    for (const ADSIUserField &e : u)
        filterValues.insert(e.filterFlags);
    EXPECT_EQ(filterValues, (QSet<int>{0, 1, 5, 8, 9, 13, 16, 17}));
}

TEST(CatalogueTables, ExactTextsAndOddSpellings)
{
    auto cap = [](qint32 k) { return CaptionByKey(k); };
    EXPECT_EQ(cap(94), u"Password newer expire");
    EXPECT_EQ(cap(53), u"Maximum Recepients");
    EXPECT_EQ(cap(50), u"Send of behalf");
    EXPECT_EQ(cap(77), u"ILS Settings");
    EXPECT_EQ(cap(16), u"P.O.Box");
    EXPECT_EQ(cap(1010), u"Misc. User logon information");
    EXPECT_EQ(cap(7777), u"Vastrel");
    EXPECT_EQ(EntryByKey(2)->description, u"Contains the initials \rfor parts of the user\"s full name.");
    EXPECT_EQ(EntryByKey(-2)->hint,
              u"The \"friendly\" or localized name\r used by other programs,\r such as Microsoft Exchange.");
    EXPECT_EQ(EntryByKey(35)->hint,
              u"Provides a space for you to type \rthe mobile or cellurar phone number for this user.");
    EXPECT_EQ(EntryByKey(39)->hint, u"Provides a space for you\r to type ths person's IP telephony number.");
    EXPECT_EQ(EntryByKey(3)->description, u"Contains the description\r to display for an user.");
    EXPECT_EQ(EntryByKey(11)->ldapName, u"sAMAccountname");
    EXPECT_EQ(EntryByKey(200)->schemaName, u"Obj-Dist-Name Attribute");
    EXPECT_EQ(EntryByKey(15)->mapiTag, 0x00003A29u);
    EXPECT_EQ(EntryByKey(3)->mapiTag, 0x806F101Eu);
    EXPECT_EQ(EntryByKey(78)->maxLength, 1123);
    EXPECT_EQ(EntryByKey(12)->type, FieldType::Binary);
    EXPECT_EQ(EntryByKey(14)->type, FieldType::LargeInteger);
    EXPECT_EQ(EntryByKey(52)->type, FieldType::Boolean);
    EXPECT_EQ(CaptionByKeyIn(GroupTable, 10), u"Group name (pre-Windows 2000)");

    // Every entry explains itself, except the one whose editor hint is meant to be empty.
    for (int table : {UserTable, GroupTable})
        for (const ADSIUserField &e : catalogue::fields(table)) {
            EXPECT_FALSE(e.description.trimmed().isEmpty()) << table << " " << e.key;
            EXPECT_EQ(e.hint.trimmed().isEmpty(), table == UserTable && e.key == 25)
                << table << " " << e.key;
        }
}

TEST(CatalogueLookups, ByKey)
{
    EXPECT_EQ(CaptionByKey(-3), u"Common Name");
    EXPECT_EQ(CaptionByKey(204), u"Last Logon Time Stamp");
    EXPECT_TRUE(CaptionByKey(30).isEmpty());  // the key numbering has a gap at 30
    EXPECT_TRUE(CaptionByKey(-1).isEmpty());
    EXPECT_EQ(IndexByKey(30), -1);
    EXPECT_EQ(EntryByKey(30), nullptr);
    EXPECT_EQ(EntryByKey(std::numeric_limits<qint32>::min()), nullptr);
    EXPECT_EQ(EntryByKey(std::numeric_limits<qint32>::max()), nullptr);

    // Same key, different tables.
    EXPECT_EQ(CaptionByKeyIn(UserTable, 0), u"First Name");
    EXPECT_EQ(CaptionByKeyIn(GroupTable, 0), u"Group Name");
    EXPECT_EQ(EntryByKeyIn(GroupTable, 6)->ldapName, u"memberOf");
    EXPECT_EQ(EntryByKeyIn(GroupTable, 15), nullptr);
    EXPECT_TRUE(CaptionByKeyIn(2, 0).isEmpty());
    EXPECT_TRUE(CaptionByKeyIn(-1, 0).isEmpty());
    EXPECT_EQ(EntryByKeyIn(7, 0), nullptr);

    // Captions are handed out without copying the table's text.
    const QString c = CaptionByKey(0);
    EXPECT_EQ(static_cast<const void *>(c.constData()),
              static_cast<const void *>(EntryByKey(0)->caption.data()));
}

// Every entry must be reachable through the indices exactly where a linear scan finds it.
TEST(CatalogueLookups, IndicesAgreeWithTableOrder)
{
    for (int table : {UserTable, GroupTable}) {
        const auto t = catalogue::fields(table);
        for (size_t i = 0; i < t.size(); ++i) {
            const ADSIUserField &e = t[i];
            EXPECT_EQ(EntryByKeyIn(table, e.key), &e);
            EXPECT_EQ(catalogue::indexByKeyIn(table, e.key), int(i));
            if (e.isHeader())
                continue;
            EXPECT_EQ(catalogue::entryByLdapNameIn(table, e.ldapName.toString().toUpper()), &e);
            EXPECT_EQ(catalogue::indexByLdapNameIn(table, e.ldapName.toString().toLower()), int(i));
        }
    }
}

TEST(CatalogueLookups, ByLdapName)
{
    EXPECT_EQ(CaptionByLdapName("SAMACCOUNTNAME"), u"User logon name (pre-Windows 2000)");
    EXPECT_EQ(CaptionByLdapName(u"  lastlogon\t"), u"Last Logon");
    EXPECT_EQ(CaptionByLdapName(QStringLiteral("\u00A0mail\u00A0")), u"E-Mail");
    EXPECT_EQ(CaptionByLdapName(QLatin1StringView(" employeeID ")), u"employeeID");
    EXPECT_EQ(CaptionByLdapName("   "), u"");
    EXPECT_EQ(CaptionByLdapName(u"Åland"), u"Åland");

    EXPECT_EQ(KeyByLdapName("lastLogon"), 81);
    EXPECT_EQ(KeyByLdapName(u"LASTLOGONTIMESTAMP"), 204);
    EXPECT_EQ(KeyByLdapName(QString("cn")), -3);
    EXPECT_EQ(KeyByLdapName("ADS_UF_LOCKOUT"), 90);
    // Headers have no LDAP name: neither their caption nor an empty name finds them.
    EXPECT_EQ(KeyByLdapName("General Property Sheet"), -1);
    EXPECT_EQ(KeyByLdapName(""), -1);
    EXPECT_EQ(EntryByLdapName(QString()), nullptr);
    // Only CaptionByLdapName trims; near misses do not match.
    EXPECT_EQ(KeyByLdapName(" cn"), -1);
    EXPECT_EQ(KeyByLdapName("c"), -1);
    EXPECT_EQ(KeyByLdapName("cnx"), -1);
    EXPECT_EQ(KeyByLdapName(u"m\u0430il"), -1);  // Cyrillic a
    EXPECT_EQ(KeyByLdapName(QString(200, u'a')), -1);

    EXPECT_EQ(catalogue::entryByLdapNameIn(GroupTable, "MEMBER")->key, 5);
    EXPECT_EQ(catalogue::entryByLdapNameIn(GroupTable, "givenName"), nullptr);
    EXPECT_EQ(catalogue::indexByLdapNameIn(3, "cn"), -1);
}

TEST(CatalogueLookups, AccountControlBits)
{
    EXPECT_EQ(catalogue::accountControlBit("ADS_UF_ACCOUNTDISABLE"), 2u);
    EXPECT_EQ(catalogue::accountControlBit("ads_uf_password_expired"), 8388608u);
    EXPECT_EQ(catalogue::accountControlBit("ADS_UF_LOCKOUT"), 16u);
    EXPECT_EQ(catalogue::accountControlBit("cn"), 0u);
    EXPECT_EQ(catalogue::accountControlBit("ADS_UF_NOSUCHFLAG"), 0u);
    for (const ADSIUserField &e : catalogue::userFields()) {
        if (e.group == 2001 && !e.isHeader()) {
            EXPECT_NE(catalogue::accountControlBit(e.ldapName), 0u) << e.key;
        }
    }
}

TEST(CatalogueCountries, TableCodes)
{
    const auto c = catalogue::countries();
    ASSERT_EQ(c.size(), 244u);
    QSet<QString> a2, a3;
    QSet<int> num;
    for (const CountryISO &k : c) {
        EXPECT_EQ(k.alpha2.size(), 2);
        EXPECT_EQ(k.alpha3.size(), 3);
        EXPECT_TRUE(k.numeric > 0 && k.numeric < 1000) << k.name.toString().toStdString();
        a2.insert(k.alpha2.toString());
        a3.insert(k.alpha3.toString());
        num.insert(k.numeric);
    }
    EXPECT_EQ(a2.size(), 244);
    EXPECT_EQ(a3.size(), 244);
    EXPECT_EQ(num.size(), 244);

    EXPECT_EQ(c.front().name, u"Afghanistan");
    EXPECT_EQ(c[1].name, u"Åland Islands");
    EXPECT_EQ(c.back().name, u"Zimbabwe");

    // Entries particular to the edition the table follows.
    struct Expect { const char16_t *name; int numeric; const char16_t *a2; const char16_t *a3; };
    for (const Expect &x : {Expect{u"Serbia", 688, u"RS", u"SRB"}, Expect{u"Montenegro", 499, u"ME", u"MNE"},
                            Expect{u"Netherlands Antilles", 530, u"AN", u"ANT"},
                            Expect{u"Sudan", 736, u"SD", u"SDN"}, Expect{u"Timor-Leste", 626, u"TL", u"TLS"},
                            Expect{u"Jersey", 832, u"JE", u"JEY"}, Expect{u"Åland Islands", 248, u"AX", u"ALA"},
                            Expect{u"Côte d´Ivoire", 384, u"CI", u"CIV"},
                            Expect{u"São Tomé and Príncipe", 678, u"ST", u"STP"},
                            Expect{u"Gambia, The", 270, u"GM", u"GMB"}, Expect{u"Romania", 642, u"RO", u"ROU"}}) {
        const CountryISO *k = catalogue::countryByAlpha2(QStringView(x.a2));
        ASSERT_NE(k, nullptr) << QStringView(x.a2).toString().toStdString();
        EXPECT_EQ(k->name, QStringView(x.name));
        EXPECT_EQ(k->numeric, x.numeric);
        EXPECT_EQ(k->alpha3, QStringView(x.a3));
    }
    for (const char16_t *gone : {u"BL", u"MF", u"CS", u"YU", u"TP", u"SS", u"CW"})
        EXPECT_EQ(catalogue::countryByAlpha2(QStringView(gone)), nullptr);
}

TEST(CatalogueCountries, Selection)
{
    const auto c = catalogue::countries();
    EXPECT_EQ(c[catalogue::countryIndexByAlpha2("us")].name, u"United States");
    EXPECT_EQ(c[catalogue::countryIndexByAlpha2(u"Us")].name, u"United States");
    EXPECT_EQ(c[catalogue::countryIndexByNumeric(276)].name, u"Germany");
    EXPECT_EQ(catalogue::countryIndexByAlpha2(""), -1);
    EXPECT_EQ(catalogue::countryIndexByAlpha2("U"), -1);
    EXPECT_EQ(catalogue::countryIndexByAlpha2("USA"), -1);
    EXPECT_EQ(catalogue::countryIndexByAlpha2(" us"), -1);
    EXPECT_EQ(catalogue::countryIndexByAlpha2("XX"), -1);
    EXPECT_EQ(catalogue::countryIndexByNumeric(0), -1);
    EXPECT_EQ(catalogue::countryIndexByNumeric(729), -1);  // Sudan's later code
    EXPECT_EQ(catalogue::countryIndexByNumeric(-840), -1);
    EXPECT_EQ(catalogue::countryByNumeric(999), nullptr);

    for (size_t i = 0; i < c.size(); ++i) {
        EXPECT_EQ(catalogue::countryIndexByAlpha2(c[i].alpha2.toString().toLower()), int(i));
        EXPECT_EQ(catalogue::countryIndexByNumeric(c[i].numeric), int(i));
    }
}
