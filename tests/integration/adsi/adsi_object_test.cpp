// Objects against the test domain: the property cache, writes in one modify, typed values,
// security descriptors, ranged values and enumeration.
#include "adsi_fixture.h"

#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adserror.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adssearch.h"

#include <QSet>

using namespace ads;
using namespace adsitest;

static QString lastErrorText()
{
    QString text;
    ADsGetLastError(nullptr, &text, nullptr);
    return text;
}

TEST(AdsObject, PutPutExAndSetInfoRoundTrip)
{
    ARV_REQUIRE_DOMAIN();
    const QString ou = scratchOu();
    const QString dn = createUsers(ou, QStringLiteral("rt"), 1).first();
    ObjectPtr u = bindAdmin(dn);
    ASSERT_TRUE(u);
    EXPECT_EQ(u->Class(), QStringLiteral("user"));
    EXPECT_EQ(u->Name(), firstRdn(dn));
    EXPECT_EQ(u->Parent(), path(ou));

    const QString tricky = QStringLiteral("Line one, \"quoted\"\r\nline two \u00e9\u4e2d");
    EXPECT_EQ(u->Put(QStringLiteral("description"), tricky), S_OK);
    EXPECT_EQ(u->Put(QStringLiteral("title"), QStringLiteral("Engineer")), S_OK);
    EXPECT_EQ(u->PutEx(ADS_PROPERTY_UPDATE, QStringLiteral("otherTelephone"),
                       QVariantList{QStringLiteral("111"), QStringLiteral("222")}), S_OK);
    // Clearing an attribute the user never had is not an error.
    EXPECT_EQ(u->PutEx(ADS_PROPERTY_CLEAR, QStringLiteral("department"), QVariant()), S_OK);
    EXPECT_EQ(u->SetInfo(), S_OK) << lastErrorText().toStdString();

    ObjectPtr r = bindAdmin(dn);
    QVariant v;
    ASSERT_EQ(r->Get(QStringLiteral("description"), &v), S_OK);
    EXPECT_EQ(v.toString(), tricky);
    ASSERT_EQ(r->GetEx(QStringLiteral("title"), &v), S_OK);
    EXPECT_EQ(v.toList(), QVariantList{QStringLiteral("Engineer")});
    ASSERT_EQ(r->Get(QStringLiteral("otherTelephone"), &v), S_OK);
    QStringList phones;
    for (const QVariant &p : v.toList())
        phones << p.toString();
    phones.sort();
    EXPECT_EQ(phones, (QStringList{QStringLiteral("111"), QStringLiteral("222")}));
    EXPECT_EQ(r->Get(QStringLiteral("department"), &v), E_ADS_PROPERTY_NOT_FOUND);

    // Append and delete single values, clear the title, all in one SetInfo.
    EXPECT_EQ(r->PutEx(ADS_PROPERTY_APPEND, QStringLiteral("otherTelephone"), QVariantList{QStringLiteral("333")}), S_OK);
    EXPECT_EQ(r->PutEx(ADS_PROPERTY_DELETE, QStringLiteral("otherTelephone"), QVariantList{QStringLiteral("111")}), S_OK);
    EXPECT_EQ(r->PutEx(ADS_PROPERTY_CLEAR, QStringLiteral("title"), QVariant()), S_OK);
    EXPECT_EQ(r->SetInfo(), S_OK) << lastErrorText().toStdString();

    ObjectPtr s = bindAdmin(dn);
    ASSERT_EQ(s->GetInfoEx({QStringLiteral("otherTelephone"), QStringLiteral("title")}), S_OK);
    ASSERT_EQ(s->GetEx(QStringLiteral("otherTelephone"), &v), S_OK);
    phones.clear();
    for (const QVariant &p : v.toList())
        phones << p.toString();
    phones.sort();
    EXPECT_EQ(phones, (QStringList{QStringLiteral("222"), QStringLiteral("333")}));
    EXPECT_EQ(s->Get(QStringLiteral("title"), &v), E_ADS_PROPERTY_NOT_FOUND);
}

TEST(AdsObject, FailedSetInfoKeepsChangesAndReportsServerText)
{
    ARV_REQUIRE_DOMAIN();
    const QString dn = createUsers(scratchOu(), QStringLiteral("cv"), 1).first();
    ObjectPtr u = bindAdmin(dn);
    // countryCode is a 16-bit value: out of range is a constraint violation on the server.
    EXPECT_EQ(u->Put(QStringLiteral("countryCode"), 70000), S_OK);
    const HRESULT h = u->SetInfo();
    EXPECT_TRUE(failed(h));
    std::uint32_t code = 0;
    QString text;
    ADsGetLastError(&code, &text, nullptr);
    EXPECT_NE(code, 0u);
    EXPECT_FALSE(text.isEmpty());
    // Fix the value: the staged change is still there and is replaced.
    EXPECT_EQ(u->Put(QStringLiteral("countryCode"), 276), S_OK);
    EXPECT_EQ(u->SetInfo(), S_OK) << lastErrorText().toStdString();
    ObjectPtr r = bindAdmin(dn);
    QVariant v;
    ASSERT_EQ(r->Get(QStringLiteral("countryCode"), &v), S_OK);
    EXPECT_EQ(v.toInt(), 276);
}

TEST(AdsObject, TypedValuesFromTheSchema)
{
    ARV_REQUIRE_DOMAIN();
    const QString dn = createUsers(scratchOu(), QStringLiteral("ty"), 1).first();
    ObjectPtr u = bindAdmin(dn);
    ASSERT_EQ(u->GetInfo(), S_OK);
    QVariant v;
    ASSERT_EQ(u->Get(QStringLiteral("userAccountControl"), &v), S_OK);
    EXPECT_EQ(v.metaType().id(), QMetaType::Int);
    ASSERT_EQ(u->Get(QStringLiteral("objectSid"), &v), S_OK);
    EXPECT_EQ(v.metaType().id(), QMetaType::QByteArray);
    EXPECT_EQ(v.toByteArray().size(), 28);
    ASSERT_EQ(u->Get(QStringLiteral("whenCreated"), &v), S_OK);
    EXPECT_EQ(v.metaType().id(), qMetaTypeId<AdsDate>());
    EXPECT_GT(v.value<AdsDate>().value, 40000.0);
    ASSERT_EQ(u->Get(QStringLiteral("pwdLastSet"), &v), S_OK);
    EXPECT_EQ(v.metaType().id(), QMetaType::LongLong);
    PropertyEntry e;
    ASSERT_EQ(u->GetPropertyItem(QStringLiteral("distinguishedName"), &e), S_OK);
    EXPECT_EQ(e.type, ADSTYPE_DN_STRING);
    EXPECT_GT(u->PropertyCount(), 5);
    EXPECT_EQ(u->GUID().size(), 32);

    // Constructed attributes come with GetInfoEx (a base read).
    ASSERT_EQ(u->GetInfoEx({QStringLiteral("canonicalName"), QStringLiteral("allowedAttributesEffective"),
                            QStringLiteral("tokenGroups")}), S_OK);
    ASSERT_EQ(u->Get(QStringLiteral("canonicalName"), &v), S_OK);
    EXPECT_TRUE(v.toString().endsWith(QLatin1Char('/') + firstRdn(dn).mid(3)));
    ASSERT_EQ(u->GetEx(QStringLiteral("allowedAttributesEffective"), &v), S_OK);
    EXPECT_GT(v.toList().size(), 10);

    // Writing a boolean-typed and an integer value through text.
    EXPECT_EQ(u->Put(QStringLiteral("userAccountControl"), QStringLiteral("514")), S_OK);
    EXPECT_EQ(u->SetInfo(), S_OK) << lastErrorText().toStdString();
}

TEST(AdsObject, SecurityDescriptorReadAndWrittenBackDaclOnly)
{
    ARV_REQUIRE_DOMAIN();
    const QString dn = createUsers(scratchOu(), QStringLiteral("sd"), 1).first();
    ObjectPtr u = bindAdmin(dn);
    ASSERT_EQ(u->GetInfoEx({QStringLiteral("nTSecurityDescriptor")}), S_OK);
    QVariant sd;
    ASSERT_EQ(u->Get(QStringLiteral("nTSecurityDescriptor"), &sd), S_OK);
    const QByteArray bytes = sd.toByteArray();
    ASSERT_GT(bytes.size(), 20);
    EXPECT_EQ(bytes.at(0), 1); // revision
    // Owner and DACL offsets are set (owner, group and DACL were asked for).
    EXPECT_NE(bytes.mid(4, 4), QByteArray(4, '\0'));
    EXPECT_NE(bytes.mid(16, 4), QByteArray(4, '\0'));
    EXPECT_EQ(u->Put(QStringLiteral("nTSecurityDescriptor"), bytes), S_OK);
    EXPECT_EQ(u->SetInfo(), S_OK) << lastErrorText().toStdString();
}

TEST(AdsObject, RangedMembersAreFetchedWhole)
{
    ARV_REQUIRE_DOMAIN();
    const QString ou = scratchOu();
    const QStringList users = createUsers(ou, QStringLiteral("rg"), 7);
    ObjectPtr parent = bindAdmin(ou);
    ObjectPtr g;
    ASSERT_EQ(parent->Create(QStringLiteral("group"), QStringLiteral("CN=rg-group"), &g), S_OK);
    g->Put(QStringLiteral("sAMAccountName"), QStringLiteral("rg-group-") + uniqueTag());
    QVariantList members;
    for (const QString &u : users)
        members << u;
    g->Put(QStringLiteral("member"), members);
    ASSERT_EQ(g->SetInfo(), S_OK) << lastErrorText().toStdString();

    ObjectPtr r = bindAdmin(QStringLiteral("CN=rg-group,") + ou);
    // Ask in ranges of two: the remaining ranges are fetched until the last.
    ASSERT_EQ(r->GetInfoEx({QStringLiteral("member;range=0-1")}), S_OK);
    QVariant v;
    ASSERT_EQ(r->GetEx(QStringLiteral("member"), &v), S_OK);
    EXPECT_EQ(v.toList().size(), 7);
}

TEST(AdsObject, EnumerationWithClassFilterAndHints)
{
    ARV_REQUIRE_DOMAIN();
    const QString ou = scratchOu();
    const QString sub = QStringLiteral("OU=en-sub,") + ou;
    ObjectPtr parent = bindAdmin(ou);
    ObjectPtr child;
    ASSERT_EQ(parent->Create(QStringLiteral("organizationalUnit"), QStringLiteral("OU=en-sub"), &child), S_OK);
    ASSERT_EQ(child->SetInfo(), S_OK);
    createUsers(sub, QStringLiteral("en"), 3);
    ObjectPtr c;
    ASSERT_EQ(ADsOpenObject(path(sub), adminUpn(), adminPassword(), 0, &c), S_OK);
    ObjectPtr cont;
    ASSERT_EQ(parent->Create(QStringLiteral("container"), QStringLiteral("CN=en-box"), &cont), S_OK);
    ASSERT_EQ(cont->SetInfo(), S_OK) << lastErrorText().toStdString();

    ObjectPtr p = bindAdmin(ou);
    p->put_Filter({QStringLiteral("organizationalUnit"), QStringLiteral("Container")});
    p->put_Hints({QStringLiteral("distinguishedName, canonicalName")});
    std::unique_ptr<Enumerator> e;
    ASSERT_EQ(ADsBuildEnumerator(p, &e), S_OK);
    QStringList classes;
    QList<ObjectPtr> batch;
    int fetched = 0;
    while (ADsEnumerateNext(e.get(), 1, &batch, &fetched) == S_OK && fetched == 1) {
        classes << batch.first()->Class();
        QVariant cn;
        EXPECT_EQ(batch.first()->Get(QStringLiteral("canonicalName"), &cn), S_OK);
        EXPECT_TRUE(cn.toString().contains(QLatin1String("/en-")));
    }
    classes.sort();
    EXPECT_EQ(classes, (QStringList{QStringLiteral("container"), QStringLiteral("organizationalUnit")}));
}

TEST(AdsObject, SeededLargeGroupReadInRangesOfFifteenHundred)
{
    ARV_REQUIRE_DOMAIN();
    // The seed's group of 1,600 bulk users: more than one range of Active Directory's size.
    ObjectPtr seed = bindAdmin(testsupport::fact("SEED_OU"));
    ASSERT_TRUE(seed);
    std::shared_ptr<DirectorySearch> search;
    ASSERT_EQ(seed->QueryDirectorySearch(&search), S_OK);
    SearchHandle h = nullptr;
    ASSERT_EQ(search->ExecuteSearch(QStringLiteral("(&(objectClass=group)(cn=GG Bulk Members))"),
                                    {QStringLiteral("distinguishedName")}, &h), S_OK);
    ASSERT_EQ(search->GetFirstRow(h), S_OK) << "the seed has no group GG Bulk Members";
    SearchColumn col;
    ASSERT_EQ(search->GetColumn(h, QStringLiteral("distinguishedName"), &col), S_OK);
    const QString dn = col.values.value(0).toString();
    search->CloseSearchHandle(h);

    ObjectPtr g = bindAdmin(dn);
    ASSERT_EQ(g->GetInfoEx({QStringLiteral("member;range=0-1499")}), S_OK);
    QVariant members;
    ASSERT_EQ(g->GetEx(QStringLiteral("member"), &members), S_OK);
    EXPECT_EQ(members.toList().size(), 1600);
    QSet<QString> distinct;
    for (const QVariant &m : members.toList())
        distinct.insert(m.toString().toLower());
    EXPECT_EQ(distinct.size(), 1600);
}
