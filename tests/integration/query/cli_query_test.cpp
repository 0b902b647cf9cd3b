// arvendel-cli query and search --query as child processes, over the same stored records the
// program reads, against the test domain.
#include "platform/registry/registry.h"
#include "query/filterconditions.h"
#include "query/savedqueries.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testsupport::fact;

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class CliQuery : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        settings = dir.filePath(QStringLiteral("registry.ini"));
        registry::setStoreFile(settings);
    }
    void TearDown() override { registry::setStoreFile(QString()); }

    CliRun cli(const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ARV_SETTINGS_FILE"), settings);
        env.insert(QStringLiteral("ARV_QUERY_TEST_PW"), fact("ADMIN_PASSWORD"));
        env.insert(QStringLiteral("LDAPTLS_CACERT"), fact("CA_FILE"));
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(QStringLiteral(ARV_CLI_PATH), args);
        EXPECT_TRUE(p.waitForFinished(120000));
        CliRun r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    QStringList connection() const
    {
        return {QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--user"), fact("ADMIN_USER"),
                QStringLiteral("--password-env"), QStringLiteral("ARV_QUERY_TEST_PW"), QStringLiteral("--simple")};
    }

    QTemporaryDir dir;
    QString settings;
};

} // namespace

TEST_F(CliQuery, SearchWithASavedQueryListsWhatLdapsearchLists)
{
    ARV_REQUIRE_DOMAIN();
    const QString seed = fact("SEED_OU");
    ASSERT_EQ(cli({QStringLiteral("query"), QStringLiteral("save"), QStringLiteral("Mailboxes in Eng"),
                   QStringLiteral("(homeMDB=*)(department=Eng*)"), QStringLiteral("--conditions")})
                  .exitCode,
              0);
    const CliRun r = cli(QStringList{QStringLiteral("search"), QStringLiteral("--query"), QStringLiteral("MAILBOXES IN ENG"),
                                  QStringLiteral("--base"), seed, QStringLiteral("--attrs"), QStringLiteral("distinguishedName")} +
                      connection());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QSet<QString> listed;
    for (const QString &line : r.out.split(u'\n', Qt::SkipEmptyParts))
        listed.insert(line.toLower());
    QSet<QString> expected;
    for (const testsupport::LdifEntry &e : testsupport::ldapSearch(
             seed, QStringLiteral("(&(objectCategory=person)(objectClass=user)(homeMDB=*)(department=Eng*))"),
             {QStringLiteral("1.1")}))
        expected.insert(QStringLiteral("distinguishedname=\"%1\"").arg(e.dn).toLower());
    EXPECT_FALSE(expected.isEmpty());
    EXPECT_EQ(listed, expected);

    // Unknown names and --filter beside --query are usage errors, before any connection.
    EXPECT_EQ(cli({QStringLiteral("search"), QStringLiteral("--query"), QStringLiteral("nope")}).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("search"), QStringLiteral("--query"), QStringLiteral("Mailboxes in Eng"),
                   QStringLiteral("--filter"), QStringLiteral("(cn=x)")})
                  .exitCode,
              2);
}

TEST_F(CliQuery, StoredQueriesThatCannotBeUsedAreRefusedOrSkipped)
{
    ARV_REQUIRE_DOMAIN();
    // Written by an earlier version or by hand: an invalid fragment and a damaged record.
    query::SaveQuery(QStringLiteral("-1"), {QStringLiteral("Old"), QStringLiteral("(!department=Sales)"), true});
    query::SaveQuery(QStringLiteral("-1"), {QStringLiteral("Fine"), QStringLiteral("(sn=A*)"), false});
    {
        registry::Key key;
        ASSERT_TRUE(key.open(query::savedQueriesKey(), registry::Access::ReadWrite));
        key.writeBinary(QStringLiteral("7"), QByteArray("\x08\x00\x00\x00\x00\x00\x00\x00" "ab", 10));
    }
    const CliRun bad = cli(QStringList{QStringLiteral("search"), QStringLiteral("--query"), QStringLiteral("Old")} + connection());
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("The specified search filter is invalid."))) << bad.err.toStdString();

    const CliRun list = cli({QStringLiteral("query"), QStringLiteral("list")});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out, QStringLiteral("Old\tconditions\t(!department=Sales)\nFine\ttyped\t(sn=A*)\n"));
    EXPECT_EQ(list.err.count(QStringLiteral("could not be read")), 1) << list.err.toStdString();
    // The old negation still reads back as a condition.
    EXPECT_TRUE(cli({QStringLiteral("query"), QStringLiteral("show"), QStringLiteral("old"), QStringLiteral("--conditions")})
                    .out.contains(QStringLiteral("\tIs not\tSales")));
    // Saving refuses what the server would refuse and names already taken.
    EXPECT_EQ(cli({QStringLiteral("query"), QStringLiteral("save"), QStringLiteral("X"), QStringLiteral("(cn=a")}).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("query"), QStringLiteral("save"), QStringLiteral("FINE"), QStringLiteral("(cn=a)")}).exitCode, 2);
    // Deleting writes the readable queries back, numbered from 0.
    ASSERT_EQ(cli({QStringLiteral("query"), QStringLiteral("delete"), QStringLiteral("old")}).exitCode, 0);
    const query::SavedQueryList after = query::LoadSavedQueries();
    ASSERT_EQ(after.queries.size(), 1);
    EXPECT_EQ(after.queries.at(0).valueName, QStringLiteral("0"));
    EXPECT_EQ(after.queries.at(0).query.name, QStringLiteral("Fine"));
    EXPECT_TRUE(after.skipped.isEmpty());
}
