// The search wrapper against the test domain: paging, size limit, sorting, row shapes and
// the conversions of each value type.
#include "adsi_fixture.h"

#include "core/unSearch.h"
#include "platform/adsi/adserror.h"
#include "platform/adsi/adspath.h"

#include <QTimeZone>
#include <ctime>

using namespace ads;
using namespace adsitest;

namespace {

// 50 users in an OU of their own, made once for this program.
const QString &userOu()
{
    static QString ou;
    if (ou.isEmpty()) {
        ou = QStringLiteral("OU=search,") + scratchOu();
        ObjectPtr parent = bindAdmin(scratchOu());
        ObjectPtr child;
        EXPECT_EQ(parent->Create(QStringLiteral("organizationalUnit"), QStringLiteral("OU=search"), &child), S_OK);
        EXPECT_EQ(child->SetInfo(), S_OK);
        createUsers(ou, QStringLiteral("su"), 50);
    }
    return ou;
}

void configure(TQelADSISearching &s, const QString &dn)
{
    s.setADsPath(path(dn));
    s.setUserName(adminUpn());
    s.setPassword(adminPassword());
    s.setUseCredentials(true);
    s.setAuthFlags(0x200); // simple bind to the named server
}

QList<QVariantList> readAll(TQelADSISearching &s)
{
    QList<QVariantList> rows;
    QVariant row;
    s.ExecuteSearch();
    s.GetFirstRow(row);
    while (row.isValid()) {
        rows << row.toList();
        s.GetNextRow(row);
    }
    return rows;
}

} // namespace

TEST(Search, PagedListingReturnsEveryUserAlignedWithRequestedNames)
{
    ARV_REQUIRE_DOMAIN();
    TQelADSISearching s;
    configure(s, userOu());
    s.setFilter(QStringLiteral("(objectClass=user)"));
    // Mixed case, quotes and blanks; mail is not set on these users.
    s.setAttributes(QStringLiteral("SAMACCOUNTNAME, Sn \"givenName\",mail"));
    s.setPageSize(7);
    const QList<QVariantList> rows = readAll(s);
    ASSERT_EQ(rows.size(), 50);
    EXPECT_TRUE(s.EndOfRows());
    EXPECT_EQ(s.ColumnNames(), (QStringList{QStringLiteral("SAMACCOUNTNAME"), QStringLiteral("Sn"),
                                            QStringLiteral("givenName"), QStringLiteral("mail")}));
    for (const QVariantList &r : rows) {
        ASSERT_EQ(r.size(), 4);
        EXPECT_TRUE(r[0].toString().startsWith(QLatin1String("su")));
        EXPECT_TRUE(r[1].toString().startsWith(QLatin1String("Sn")));
        EXPECT_EQ(r[2].toString(), QStringLiteral("Given"));
        EXPECT_FALSE(r[3].isValid());
    }
}

TEST(Search, ObjectsWithNoneOfTheNamesStillGiveRows)
{
    ARV_REQUIRE_DOMAIN();
    TQelADSISearching s;
    configure(s, userOu());
    s.setFilter(QStringLiteral("(objectClass=user)"));
    s.setAttributes(QStringLiteral("mail"));
    const QList<QVariantList> rows = readAll(s);
    EXPECT_EQ(rows.size(), 50);
}

TEST(Search, SizeLimitEndsTheListingQuietly)
{
    ARV_REQUIRE_DOMAIN();
    for (int pageSize : {0, 5, 100}) {
        TQelADSISearching s;
        configure(s, userOu());
        s.setFilter(QStringLiteral("(objectClass=user)"));
        s.setAttributes(QStringLiteral("cn"));
        s.setSizeLimit(10);
        s.setPageSize(pageSize);
        QList<QVariantList> rows;
        EXPECT_NO_THROW(rows = readAll(s));
        EXPECT_EQ(rows.size(), 10) << "page size " << pageSize;
        EXPECT_FALSE(s.EndOfRows());
    }
}

TEST(Search, ServerSideSortBothDirections)
{
    ARV_REQUIRE_DOMAIN();
    for (bool reverse : {false, true}) {
        TQelADSISearching s;
        configure(s, userOu());
        s.setFilter(QStringLiteral("(objectClass=user)"));
        s.setAttributes(QStringLiteral("sn"));
        s.setSortOn(QStringLiteral("sn"));
        s.setSortReverse(reverse);
        s.setPageSize(9);
        QStringList got;
        for (const QVariantList &r : readAll(s))
            got << r[0].toString();
        ASSERT_EQ(got.size(), 50);
        QStringList sorted = got;
        sorted.sort();
        if (reverse)
            std::reverse(sorted.begin(), sorted.end());
        EXPECT_EQ(got, sorted);
    }
}

TEST(Search, AllAttributesGiveNameValuePairsWithConvertedValues)
{
    ARV_REQUIRE_DOMAIN();
    const QString dn = QStringLiteral("CN=su") + uniqueTag() + QStringLiteral("000,") + userOu();
    TQelADSISearching s;
    configure(s, dn);
    s.setSearchScope(0);
    const QList<QVariantList> rows = readAll(s);
    ASSERT_EQ(rows.size(), 1);
    QHash<QString, QVariant> byName;
    for (const QVariant &pair : rows.first()) {
        const QVariantList p = pair.toList();
        ASSERT_EQ(p.size(), 2);
        byName.insert(p[0].toString().toLower(), p[1]);
    }
    // objectGUID as registry-form text, objectSid (28 bytes) as bytes.
    const QString guid = byName.value(QStringLiteral("objectguid")).toString();
    EXPECT_EQ(guid.size(), 38);
    EXPECT_TRUE(guid.startsWith(QLatin1Char('{')) && guid.endsWith(QLatin1Char('}')));
    EXPECT_EQ(guid, guid.toUpper());
    const QVariant sid = byName.value(QStringLiteral("objectsid"));
    EXPECT_EQ(sid.metaType().id(), QMetaType::QByteArray);
    EXPECT_EQ(sid.toByteArray().size(), 28);
    // The GUID text matches the object's GUID bytes (first three groups little-endian).
    ObjectPtr o = bindAdmin(dn);
    const QString raw = o->GUID().toUpper();
    EXPECT_EQ(guid.mid(1, 8), raw.mid(6, 2) + raw.mid(4, 2) + raw.mid(2, 2) + raw.mid(0, 2));
    EXPECT_EQ(guid.mid(25, 12), raw.mid(20, 12));
    // Integers, large integers and UTC times.
    EXPECT_EQ(byName.value(QStringLiteral("useraccountcontrol")).metaType().id(), QMetaType::Int);
    EXPECT_EQ(byName.value(QStringLiteral("usnchanged")).metaType().id(), QMetaType::LongLong);
    const QVariant created = byName.value(QStringLiteral("whencreated"));
    ASSERT_EQ(created.metaType().id(), qMetaTypeId<AdsDate>());
    const QDateTime utcNow = QDateTime::currentDateTimeUtc();
    // UTC fields as stored: within a day of now in UTC terms.
    EXPECT_LT(std::abs(created.value<AdsDate>().toDateTime(Qt::UTC).secsTo(utcNow)), 86400);
    EXPECT_EQ(byName.value(QStringLiteral("adspath")).toString(), path(dn));
}

TEST(Search, TimeAttributesZeroNeverAndLocalTime)
{
    ARV_REQUIRE_DOMAIN();
    // A zone away from UTC, with summer time, so that the local conversion shows.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "America/New_York");
    tzset();
    const QString dn = createUsers(scratchOu(), QStringLiteral("tm"), 1).first();
    // pwdLastSet 0 (must change password), accountExpires never.
    ObjectPtr u = bindAdmin(dn);
    u->Put(QStringLiteral("pwdLastSet"), 0);
    u->Put(QStringLiteral("accountExpires"), QStringLiteral("9223372036854775807"));
    ASSERT_EQ(u->SetInfo(), S_OK);

    TQelADSISearching s;
    configure(s, dn);
    s.setSearchScope(0);
    s.setAttributes(QStringLiteral("pwdLastSet,accountExpires,uSNCreated"));
    QList<QVariantList> rows = readAll(s);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][0].value<AdsDate>(), ZeroDateTime());
    EXPECT_EQ(rows[0][0].metaType().id(), qMetaTypeId<AdsDate>());
    EXPECT_EQ(rows[0][1].value<AdsDate>(), ZeroDateTime());
    EXPECT_EQ(rows[0][2].metaType().id(), QMetaType::LongLong);

    // accountExpires 0 is also "no date"; a real expiry shows in local time.
    u->Put(QStringLiteral("accountExpires"), 0);
    ASSERT_EQ(u->SetInfo(), S_OK);
    rows = readAll(s);
    EXPECT_EQ(rows[0][1].value<AdsDate>(), ZeroDateTime());

    const QDateTime expiry(QDate(2031, 7, 15), QTime(12, 30, 0), Qt::UTC);
    u->Put(QStringLiteral("accountExpires"), dateTimeToFileTime(expiry));
    ASSERT_EQ(u->SetInfo(), S_OK);
    rows = readAll(s);
    const AdsDate shown = rows[0][1].value<AdsDate>();
    EXPECT_EQ(shown.toDateTime(Qt::LocalTime), expiry.toLocalTime());
    EXPECT_EQ(shown.toDateTime(Qt::UTC).time(), QTime(8, 30)); // 12:30 UTC is 08:30 EDT
    if (oldTz.isEmpty())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
}

TEST(Search, ReadingNeedsAnExecutedSearch)
{
    ARV_REQUIRE_DOMAIN();
    TQelADSISearching s;
    configure(s, userOu());
    QVariant row = QStringLiteral("stale");
    try {
        s.GetFirstRow(row);
        ADD_FAILURE() << "no exception";
    } catch (const EADSISearchException &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Search has not been executed yet"));
    }
    EXPECT_FALSE(row.isValid());

    s.setFilter(QStringLiteral("(objectClass=user)"));
    s.ExecuteSearch();
    s.GetFirstRow(row);
    EXPECT_TRUE(row.isValid());
    s.setFilter(QStringLiteral("(objectClass=user)")); // the same filter keeps the search
    s.GetNextRow(row);
    EXPECT_TRUE(row.isValid());
    s.setFilter(QStringLiteral("(cn=su*)"));
    EXPECT_THROW(s.GetNextRow(row), EADSISearchException);
    EXPECT_FALSE(row.isValid());

    // Closing early, then executing again, starts from the first row.
    s.ExecuteSearch();
    s.GetFirstRow(row);
    s.CloseSearch();
    EXPECT_FALSE(s.Executed());
    EXPECT_THROW(s.GetNextRow(row), EADSISearchException);
    EXPECT_EQ(readAll(s).size(), 50);
}

TEST(Search, ErrorsCarryTheProgramsTexts)
{
    ARV_REQUIRE_DOMAIN();
    TQelADSISearching bad;
    configure(bad, userOu());
    bad.setFilter(QStringLiteral("(objectClass=user"));
    try {
        bad.ExecuteSearch();
        ADD_FAILURE() << "no exception";
    } catch (const EADSISearchException &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Search failed (result code 80005014)"));
    }
    EXPECT_EQ(bad.GetErrorText(), QStringLiteral("The specified search filter is invalid."));

    TQelADSISearching missing;
    configure(missing, QStringLiteral("OU=not-there,") + userOu());
    try {
        missing.ExecuteSearch();
        ADD_FAILURE() << "no exception";
    } catch (const EADSISearchException &e) {
        EXPECT_TRUE(e.Message().startsWith(QLatin1String("There is no such object on the server.")))
            << e.Message().toStdString();
        EXPECT_EQ(missing.LastResult(), HR_DS_NO_SUCH_OBJECT);
    }

    TQelADSISearching wrong;
    configure(wrong, userOu());
    wrong.setPassword(adminPassword() + QStringLiteral("-wrong"));
    try {
        wrong.ExecuteSearch();
        ADD_FAILURE() << "no exception";
    } catch (const EADSISearchException &e) {
        EXPECT_TRUE(e.Message().startsWith(QLatin1String("The user name or password is incorrect.")))
            << e.Message().toStdString();
    }
}

TEST(Search, DomainRootFoundThroughRootDseOfTheNamedServer)
{
    ARV_REQUIRE_DOMAIN();
    TQelADSISearching s;
    s.setServerName(server());
    s.setUserName(adminUpn());
    s.setPassword(adminPassword());
    s.setUseCredentials(true);
    s.setAuthFlags(0x1);
    s.setSearchScope(0);
    s.setAttributes(QStringLiteral("distinguishedName"));
    // The root path is built from the default naming context without the server; the
    // domain is then reached through the default server, as the system finds it.
    try {
        s.ExecuteSearch();
    } catch (const EADSISearchException &) {
    }
    EXPECT_EQ(s.ADsPath(), QStringLiteral("LDAP://") + baseDn());
}

TEST(Search, AsynchronousSearchAndKerberosBind)
{
    ARV_REQUIRE_DOMAIN();
    TQelADSISearching s;
    configure(s, userOu());
    s.setAuthFlags(ADS_SECURE_AUTHENTICATION | ADS_USE_SEALING);
    s.setAsynchronous(true);
    s.setFilter(QStringLiteral("(objectClass=user)"));
    s.setAttributes(QStringLiteral("cn"));
    EXPECT_EQ(readAll(s).size(), 50);
}
