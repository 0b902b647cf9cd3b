// arvendel-cli report: the rows it prints and writes, against ldapsearch.
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testsupport::fact;

namespace {

struct Result {
    int exitCode = -1;
    QString out, err;
};

Result cli(QStringList args)
{
    args << QStringLiteral("--server") << fact("ADDR") << QStringLiteral("--simple") << QStringLiteral("--user")
         << fact("ADMIN_USER") << QStringLiteral("--password-env") << QStringLiteral("ARV_REPORT_TEST_PW");
    QProcess p;
    QProcessEnvironment env = testsupport::toolEnvironment();
    env.insert(QStringLiteral("ARV_REPORT_TEST_PW"), fact("ADMIN_PASSWORD"));
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(ARV_CLI_PATH), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The distinguishedName fields of printed rows.
QSet<QString> dns(const QString &out)
{
    QSet<QString> s;
    for (const QString &line : out.split(u'\n', Qt::SkipEmptyParts)) {
        const QString first = line.section(u'\t', 0, 0);
        EXPECT_TRUE(first.startsWith(QStringLiteral("distinguishedName=\""))) << line.toStdString();
        s.insert(first.mid(19).chopped(1).toLower());
    }
    return s;
}

QSet<QString> lower(const QList<testsupport::LdifEntry> &entries)
{
    QSet<QString> s;
    for (const auto &e : entries)
        s.insert(e.dn.toLower());
    return s;
}

TEST(ReportCli, ListNeedsNoConnection)
{
    QProcess p;
    p.start(QStringLiteral(ARV_CLI_PATH), {QStringLiteral("report"), QStringLiteral("list")});
    p.waitForFinished(30000);
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 34);
    EXPECT_EQ(lines[18], QStringLiteral("18\tUsers 2\tUsers In a Group\tusers\tgroup"));
    EXPECT_EQ(lines[33], QStringLiteral("33\tExchange\tMembers of Dynamic Distr. Group\tusers\tquery-based group"));
}

TEST(ReportCli, RunPrintsTheReportsRowsAndRefusesWhatItCannotRun)
{
    ARV_REQUIRE_DOMAIN();
    const Result primary = cli({QStringLiteral("report"), QStringLiteral("run"), QStringLiteral("19"), QStringLiteral("--group"),
                                QStringLiteral("GG Engineering"), QStringLiteral("--with-dn")});
    ASSERT_EQ(primary.exitCode, 0) << primary.err.toStdString();
    EXPECT_EQ(dns(primary.out),
              lower(testsupport::ldapSearch(fact("SEED_OU"), QStringLiteral("(sAMAccountName=primary.group)"), {QStringLiteral("1.1")})));

    const Result limited = cli({QStringLiteral("report"), QStringLiteral("run"), QStringLiteral("13"), QStringLiteral("--size-limit"),
                                QStringLiteral("7"), QStringLiteral("--all-columns")});
    ASSERT_EQ(limited.exitCode, 0) << limited.err.toStdString();
    const QStringList rows = limited.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 7);
    EXPECT_EQ(rows[0].count(u'\t'), 28);  // the 29 columns of the user set

    EXPECT_EQ(cli({QStringLiteral("report"), QStringLiteral("run"), QStringLiteral("18")}).exitCode, 2);  // needs --group
    EXPECT_EQ(cli({QStringLiteral("report"), QStringLiteral("run"), QStringLiteral("34")}).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("report"), QStringLiteral("run"), QStringLiteral("14"), QStringLiteral("--days"),
                   QStringLiteral("3")}).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("report"), QStringLiteral("run"), QStringLiteral("18"), QStringLiteral("--group"),
                   QStringLiteral("No Such Group")}).exitCode, 1);
}

TEST(ReportCli, OutputWritesTheKeptRowsThroughTheExportEngine)
{
    ARV_REQUIRE_DOMAIN();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("expired.csv"));
    const Result r = cli({QStringLiteral("report"), QStringLiteral("run"), QStringLiteral("20"), QStringLiteral("--with-dn"),
                          QStringLiteral("--output"), file});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QProcess py;
    py.start(QStringLiteral("python3"),
             {QStringLiteral("-c"),
              QStringLiteral("import csv,io,sys\n"
                             "t=open(sys.argv[1],'rb').read().decode('utf-16')\n"
                             "rows=list(csv.reader(io.StringIO(t,newline=''),quotechar=\"'\"))\n"
                             "print(rows[0][0]); [print(x[0]) for x in rows[1:]]"),
              file});
    py.waitForFinished(30000);
    QStringList lines = QString::fromUtf8(py.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.takeFirst(), QStringLiteral("distinguishedName"));
    QSet<QString> written;
    for (const QString &l : lines)
        written.insert(l.trimmed().toLower());
    QSet<QString> expired;
    for (const auto &e : testsupport::ldapSearch(fact("BASE_DN"), QStringLiteral("(&(objectCategory=person)(objectClass=user))"),
                                                 {QStringLiteral("msDS-User-Account-Control-Computed")}))
        if (e.text(QStringLiteral("msDS-User-Account-Control-Computed")).toLongLong() & 0x800000)
            expired.insert(e.dn.toLower());
    // Users other tests create meanwhile live outside the seeded tree; only that is compared.
    const QString seed = u',' + fact("SEED_OU").toLower();
    auto seeded = [&seed](const QSet<QString> &all) {
        QSet<QString> s;
        for (const QString &d : all)
            if (d.endsWith(seed))
                s.insert(d);
        return s;
    };
    EXPECT_GE(seeded(expired).size(), 40);
    EXPECT_EQ(seeded(written), seeded(expired));
}

} // namespace
