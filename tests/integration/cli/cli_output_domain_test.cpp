// --output json and --output ldif of the listing commands against the test domain: read back
// with Python's json module and python3-ldap's LDIF parser, and compared with what ldapsearch
// and Samba's own decoding say.
#include "cli_fixture.h"
#include "support/ldaptools.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>

using testsupport::LdifEntry;

namespace {

class CliOutputDomain : public CliDomain {
protected:
    // The command's standard output read back by tests/support/readback.py.
    QJsonArray readBack(const char *kind, const CliRun &r)
    {
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QString file = dir.filePath(QStringLiteral("out.") + QLatin1String(kind));
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(r.out.toUtf8());
        f.close();
        const testsupport::ToolResult py = testsupport::runTool(
            QStringLiteral("/usr/bin/python3"),
            {qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/tests/support/readback.py"), QLatin1String(kind), file});
        EXPECT_EQ(py.exitCode, 0) << py.err.toStdString();
        return QJsonDocument::fromJson(py.out).array();
    }

    // Whether the schema says the attribute holds one value (ldapsearch of its attributeSchema).
    static bool singleValuedInSchema(const QString &name)
    {
        const auto e = testsupport::ldapSearch(QStringLiteral("CN=Schema,CN=Configuration,") + fact("BASE_DN"),
                                               QStringLiteral("(lDAPDisplayName=%1)").arg(name),
                                               {QStringLiteral("isSingleValued")});
        EXPECT_EQ(e.size(), 1) << name.toStdString();
        return !e.isEmpty() && e.first().text(QStringLiteral("isSingleValued")) == QLatin1String("TRUE");
    }

    static QList<QByteArray> sorted(QList<QByteArray> l)
    {
        std::sort(l.begin(), l.end());
        return l;
    }
};

// File time (100 ns since 1601) as the JSON text: UTC, whole seconds; 0 and the largest value null.
QJsonValue expectedFileTime(const QByteArray &ldapValue)
{
    const qint64 ft = ldapValue.toLongLong();
    if (ft <= 0 || ft == 0x7FFFFFFFFFFFFFFFLL)
        return QJsonValue::Null;
    const QDateTime epoch(QDate(1601, 1, 1), QTime(0, 0), Qt::UTC);
    return epoch.addSecs(ft / 10000000).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

// Generalized time "20240131120000.0Z" as the JSON text.
QString expectedTime(const QByteArray &ldapValue)
{
    const QString t = QString::fromLatin1(ldapValue);
    return QStringLiteral("%1-%2-%3T%4:%5:%6Z")
        .arg(t.mid(0, 4), t.mid(4, 2), t.mid(6, 2), t.mid(8, 2), t.mid(10, 2), t.mid(12, 2));
}

} // namespace

TEST_F(CliOutputDomain, SearchJsonAndLdifAgreeWithLdapsearch)
{
    ARV_REQUIRE_DOMAIN();
    // Unicode names, binary values (objectSid, objectGUID, pictures), multi-valued attributes,
    // values with line breaks and padding, times of both kinds, integers and booleans.
    const QStringList attrs = {
        QStringLiteral("cn"), QStringLiteral("objectSid"), QStringLiteral("objectGUID"), QStringLiteral("thumbnailPhoto"),
        QStringLiteral("jpegPhoto"), QStringLiteral("memberOf"), QStringLiteral("otherTelephone"),
        QStringLiteral("proxyAddresses"), QStringLiteral("description"), QStringLiteral("info"),
        QStringLiteral("streetAddress"), QStringLiteral("physicalDeliveryOfficeName"), QStringLiteral("whenCreated"),
        QStringLiteral("pwdLastSet"), QStringLiteral("accountExpires"), QStringLiteral("userAccountControl"),
        QStringLiteral("mDBUseDefaults")};
    const QString base = QStringLiteral("OU=Showcase,") + fact("SEED_OU");
    const QString filter = QStringLiteral("(objectClass=user)");
    const QList<LdifEntry> expected = testsupport::ldapSearch(base, filter, attrs);
    ASSERT_GE(expected.size(), 19);
    QHash<QString, LdifEntry> byDn;
    for (const LdifEntry &e : expected)
        byDn.insert(e.dn.toLower(), e);

    const QStringList common = {QStringLiteral("--base"), base, QStringLiteral("--filter"), filter,
                                QStringLiteral("--attrs"), attrs.join(u',')};

    // LDIF: the same entries, every value byte for byte.
    const QJsonArray ldif = readBack("ldif", cli(search(common + QStringList{QStringLiteral("--output"), QStringLiteral("ldif")})));
    ASSERT_EQ(ldif.size(), expected.size());
    for (const QJsonValue &record : ldif) {
        const QString dn = record.toArray()[0].toString();
        ASSERT_TRUE(byDn.contains(dn.toLower())) << dn.toStdString();
        const LdifEntry &want = byDn[dn.toLower()];
        const QJsonObject got = record.toArray()[1].toObject();
        for (const QString &a : attrs) {
            QList<QByteArray> values;
            for (const QJsonValue &v : got.value(a).toArray())
                values << QByteArray::fromBase64(v.toString().toLatin1());
            EXPECT_EQ(sorted(values), sorted(want.values(a))) << dn.toStdString() << ' ' << a.toStdString();
        }
    }

    // JSON: one object per entry with its DN; values typed from the schema.
    QHash<QString, bool> single;
    for (const QString &a : attrs)
        single.insert(a, singleValuedInSchema(a));
    EXPECT_FALSE(single.value(QStringLiteral("description")));  // multi-valued in the schema
    const QJsonArray json = readBack("json", cli(search(common + QStringList{QStringLiteral("--output"), QStringLiteral("json")})));
    ASSERT_EQ(json.size(), expected.size());
    int pictures = 0, lineBreaks = 0, unicode = 0;
    for (const QJsonValue &row : json) {
        const QJsonObject o = row.toObject();
        const QString dn = o.value(QStringLiteral("dn")).toString();
        ASSERT_TRUE(byDn.contains(dn.toLower())) << dn.toStdString();
        const LdifEntry &want = byDn[dn.toLower()];
        EXPECT_EQ(o.keys().size(), attrs.size() + 1);
        for (const QString &a : attrs) {
            const QList<QByteArray> values = want.values(a);
            const QJsonValue got = o.value(a);
            SCOPED_TRACE(dn.toStdString() + " " + a.toStdString());
            if (!single.value(a)) {
                ASSERT_TRUE(got.isArray());  // even with one value or none
                ASSERT_EQ(got.toArray().size(), values.size());
            } else if (values.isEmpty()) {
                EXPECT_TRUE(got.isNull());
                continue;
            }
            const QJsonArray gotValues = got.isArray() ? got.toArray() : QJsonArray{got};
            QList<QByteArray> decoded;
            for (qsizetype i = 0; i < values.size(); ++i) {
                const QJsonValue v = gotValues[i];
                if (a == QLatin1String("objectSid") || a == QLatin1String("objectGUID") || a.endsWith(QLatin1String("Photo"))) {
                    decoded << QByteArray::fromBase64(v.toString().toLatin1());
                    pictures += a.endsWith(QLatin1String("Photo"));
                } else if (a == QLatin1String("pwdLastSet") || a == QLatin1String("accountExpires")) {
                    EXPECT_EQ(v, expectedFileTime(values[i]));
                } else if (a == QLatin1String("whenCreated")) {
                    EXPECT_EQ(v.toString(), expectedTime(values[i]));
                } else if (a == QLatin1String("userAccountControl")) {
                    EXPECT_TRUE(v.isDouble());
                    EXPECT_EQ(v.toInteger(), values[i].toLongLong());
                } else if (a == QLatin1String("mDBUseDefaults")) {
                    EXPECT_EQ(v, QJsonValue(values[i] == "TRUE"));
                } else {
                    decoded << v.toString().toUtf8();
                    lineBreaks += values[i].contains('\n');
                    unicode += std::any_of(values[i].begin(), values[i].end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
                }
            }
            if (!decoded.isEmpty()) {
                EXPECT_EQ(sorted(decoded), sorted(values));
            }
        }
    }
    EXPECT_GT(pictures, 3);
    EXPECT_GT(lineBreaks, 0);
    EXPECT_GT(unicode, 0);
}

TEST_F(CliOutputDomain, ReportAndGroupListingsReadBack)
{
    ARV_REQUIRE_DOMAIN();
    auto with = [&](const QStringList &head, const QStringList &more) { return head + simpleAdmin() + more; };

    // Report 15 (locked-out users) with the DN: the same users as the row text, the report's
    // columns as members.
    const CliRun text = cli(with({QStringLiteral("report"), QStringLiteral("run"), QStringLiteral("15")},
                                 {QStringLiteral("--with-dn")}));
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QJsonArray report = readBack("json", cli(with({QStringLiteral("report"), QStringLiteral("run"), QStringLiteral("15")},
                                                        {QStringLiteral("--with-dn"), QStringLiteral("--output"), QStringLiteral("json")})));
    const QStringList textRows = lines(text.out);
    ASSERT_EQ(report.size(), textRows.size());
    ASSERT_GE(report.size(), 20);
    for (const QJsonValue &row : report) {
        const QJsonObject o = row.toObject();
        EXPECT_EQ(o.value(QStringLiteral("distinguishedName")).toString(), o.value(QStringLiteral("dn")).toString());
        // The row text escapes backslashes and quotes inside its quoted values.
        QString quoted = o.value(QStringLiteral("dn")).toString();
        quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        EXPECT_TRUE(text.out.contains(QStringLiteral("distinguishedName=\"%1\"").arg(quoted))) << quoted.toStdString();
    }
    const QJsonArray reportLdif = readBack("ldif", cli(with({QStringLiteral("report"), QStringLiteral("run"), QStringLiteral("15")},
                                                            {QStringLiteral("--output"), QStringLiteral("ldif")})));
    EXPECT_EQ(reportLdif.size(), report.size());

    // group list: every group of the domain, as ldapsearch finds them.
    QSet<QString> groupDns;
    for (const LdifEntry &e : testsupport::ldapSearch(fact("BASE_DN"), QStringLiteral("(objectCategory=group)"), {QStringLiteral("1.1")}))
        groupDns.insert(e.dn.toLower());
    QSet<QString> listed;
    for (const QJsonValue &row : readBack("json", cli(with({QStringLiteral("group"), QStringLiteral("list")},
                                                           {QStringLiteral("--output"), QStringLiteral("json")})))) {
        listed.insert(row.toObject().value(QStringLiteral("dn")).toString().toLower());
        EXPECT_TRUE(row.toObject().value(QStringLiteral("name")).isString());
    }
    EXPECT_EQ(listed, groupDns);

    // group members in LDIF: the direct members ldapsearch reads from "member", each with how
    // it belongs.
    const QString group = QStringLiteral("CN=GG Platform,OU=Groups,") + fact("SEED_OU");
    QSet<QString> direct;
    for (const QByteArray &m : testsupport::ldapSearch(group, QStringLiteral("(objectClass=*)"), {QStringLiteral("member")},
                                                       testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")})
                                   .value(0).values(QStringLiteral("member")))
        direct.insert(QString::fromUtf8(m).toLower());
    ASSERT_EQ(direct.size(), 12);
    QSet<QString> members;
    for (const QJsonValue &record : readBack("ldif", cli(with({QStringLiteral("group"), QStringLiteral("members"), group},
                                                             {QStringLiteral("--output"), QStringLiteral("ldif")})))) {
        const QJsonObject attrs = record.toArray()[1].toObject();
        if (QByteArray::fromBase64(attrs.value(QStringLiteral("membership")).toArray()[0].toString().toLatin1()) == "direct")
            members.insert(record.toArray()[0].toString().toLower());
    }
    EXPECT_EQ(members, direct);

    // group preview: the query-based group's members (mailbox users below the seed).
    const int mailboxUsers = testsupport::ldapCount(fact("SEED_OU"), QStringLiteral("(&(objectClass=user)(homeMDB=*))"));
    const QJsonArray preview = readBack("json", cli(with({QStringLiteral("group"), QStringLiteral("preview"), QStringLiteral("All Mailbox Users")},
                                                         {QStringLiteral("--output"), QStringLiteral("json")})));
    EXPECT_EQ(preview.size(), mailboxUsers);
}

TEST_F(CliOutputDomain, ServersAndTrusteesInJson)
{
    ARV_REQUIRE_DOMAIN();
    const QJsonArray servers = readBack("json", cli(QStringList{QStringLiteral("servers")} + simpleAdmin() +
                                                    QStringList{QStringLiteral("--output"), QStringLiteral("json")}));
    ASSERT_GE(servers.size(), 1);
    const QList<LdifEntry> rootDse = testsupport::ldapSearch(QString(), QStringLiteral("(objectClass=*)"),
                                                             {QStringLiteral("dnsHostName"), QStringLiteral("highestCommittedUSN")},
                                                             testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    ASSERT_EQ(rootDse.size(), 1);
    bool connected = false;
    for (const QJsonValue &row : servers) {
        const QJsonObject o = row.toObject();
        EXPECT_TRUE(o.value(QStringLiteral("dn")).toString().contains(QLatin1String(",CN=Servers,"), Qt::CaseInsensitive));
        const QJsonObject facts = o.value(QStringLiteral("rootDSE")).toObject();
        if (facts.value(QStringLiteral("dnsHostName")).toString().compare(rootDse[0].text(QStringLiteral("dnsHostName")), Qt::CaseInsensitive) != 0)
            continue;
        connected = true;
        EXPECT_TRUE(facts.value(QStringLiteral("isSynchronized")).isBool());
        EXPECT_TRUE(facts.value(QStringLiteral("highestCommittedUSN")).isDouble());
        // The tool read first: other tests writing meanwhile can only have raised the number since.
        EXPECT_GT(facts.value(QStringLiteral("highestCommittedUSN")).toInteger(), 0);
        EXPECT_LE(facts.value(QStringLiteral("highestCommittedUSN")).toInteger(), rootDse[0].text(QStringLiteral("highestCommittedUSN")).toLongLong());
        const QDateTime now = QDateTime::fromString(facts.value(QStringLiteral("currentTime")).toString(), Qt::ISODate);
        EXPECT_LT(std::abs(now.secsTo(QDateTime::currentDateTimeUtc())), 600);
    }
    EXPECT_TRUE(connected);

    // trustees: one row per trustee SID of the DACL as Samba decodes it.
    const QString user = QStringLiteral("CN=Multi Line,OU=Showcase,") + fact("SEED_OU");
    const QByteArray sd = testsupport::ldapSearch(user, QStringLiteral("(objectClass=*)"), {QStringLiteral("nTSecurityDescriptor")},
                                                  testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")})
                              .value(0).values(QStringLiteral("nTSecurityDescriptor")).value(0);
    QSet<QString> sids;
    for (const testsupport::DecodedAce &ace : testsupport::decodeAclWithSamba(sd))
        sids.insert(ace.sid);
    ASSERT_FALSE(sids.isEmpty());
    QSet<QString> rows;
    for (const QJsonValue &row : readBack("json", cli(QStringList{QStringLiteral("trustees"), user} + simpleAdmin() +
                                                      QStringList{QStringLiteral("--output"), QStringLiteral("json")}))) {
        const QJsonObject o = row.toObject();
        EXPECT_EQ(o.value(QStringLiteral("dn")).toString(), user);
        EXPECT_TRUE(o.value(QStringLiteral("allow")).isArray());
        EXPECT_TRUE(o.value(QStringLiteral("inheritFromParent")).isBool());
        rows.insert(o.value(QStringLiteral("sid")).toString());
    }
    EXPECT_EQ(rows, sids);

    // Forms a command does not offer are usage errors.
    EXPECT_EQ(cli(QStringList{QStringLiteral("servers"), QStringLiteral("--output"), QStringLiteral("ldif")}).exitCode, 2);
    EXPECT_EQ(cli(search({QStringLiteral("--output"), QStringLiteral("xml")})).exitCode, 2);
}
