// arvendel-cli group run as a child process: its lists agree with the library the windows
// use, and its member changes are read back with ldapsearch.
#include "groups_domain_support.h"

#include "groups/unEnumMembersThread.h"
#include "groups/unGroupMembers.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QCoreApplication>
#include <QDir>

using namespace groups;
using namespace groupstest;

namespace {

struct CliRun {
    int exitCode = -1;
    QString out, err;
};

CliRun runCli(const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = testsupport::toolEnvironment();
    env.insert(QStringLiteral("ARV_GROUP_TEST_PW"), fact("ADMIN_PASSWORD"));
    env.insert(QStringLiteral("ARV_SETTINGS_FILE"), QDir::tempPath() + QStringLiteral("/arv-groups-cli-%1.ini").arg(QCoreApplication::applicationPid()));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ARV_CLI_PATH),
            QStringList{QStringLiteral("group")} + args
                + QStringList{QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--user"), fact("ADMIN_USER"),
                              QStringLiteral("--password-env"), QStringLiteral("ARV_GROUP_TEST_PW"), QStringLiteral("--simple")});
    p.waitForFinished(120000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// Column `col` of every tab-separated output line, lower-cased, with the kind when asked.
QSet<QString> column(const QString &out, int col, int kindCol = -1)
{
    QSet<QString> s;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char('\t'));
        s.insert(f.value(col).toLower() + (kindCol >= 0 ? QLatin1Char('|') + f.value(kindCol) : QString()));
    }
    return s;
}

} // namespace

TEST_F(GroupsDomain, CliMembersAndPreviewAgreeWithTheWindowsLists)
{
    const QString group = QStringLiteral("CN=GG Engineering,OU=Groups,") + fact("SEED_OU");
    const CliRun members = runCli({QStringLiteral("members"), QStringLiteral("GG Engineering")});
    ASSERT_EQ(members.exitCode, 0) << members.err.toStdString();
    QSet<QString> expected;
    for (const auto &m : LoadGroupMembers(ReadGroupFacts(group)))
        expected.insert(m.DistinguishedName.toLower() + QLatin1Char('|') + MemberKindText(m.Kind));
    EXPECT_EQ(column(members.out, 2, 3), expected);
    EXPECT_TRUE(members.out.contains(QStringLiteral("CN=Primary Group,OU=Showcase,")));

    const CliRun big = runCli({QStringLiteral("members"), QStringLiteral("GG Bulk Members"), QStringLiteral("--range-size"), QStringLiteral("100")});
    ASSERT_EQ(big.exitCode, 0) << big.err.toStdString();
    EXPECT_EQ(column(big.out, 2).size(), 1600);

    const QString dyn = QStringLiteral("CN=All Mailbox Users,OU=Distribution Lists,OU=Groups,") + fact("SEED_OU");
    const CliRun preview = runCli({QStringLiteral("preview"), dyn});
    ASSERT_EQ(preview.exitCode, 0) << preview.err.toStdString();
    const TDynamicGroupQuery q = ReadDynamicGroupQuery(dyn);
    QSet<QString> previewExpected;
    PreviewMembers(q.BaseDn, q.Filter, [&](const TPreviewMember &m) {
        previewExpected.insert(m.DistinguishedName.toLower());
        return true;
    });
    EXPECT_FALSE(previewExpected.isEmpty());
    EXPECT_EQ(column(preview.out, 2), previewExpected);
}

TEST_F(GroupsDomain, CliAddAndRemoveMemberReportRepeatsWithoutFailing)
{
    const QString group = createGroup(QStringLiteral("Cli"));
    const QStringList users = adsitest::createUsers(scratch(), QStringLiteral("gcli"), 1);
    ASSERT_EQ(users.size(), 1);
    CliRun r = runCli({QStringLiteral("add-member"), group, users[0]});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("added: ")));
    EXPECT_EQ(membersByTool(group), lower({users[0]}));
    r = runCli({QStringLiteral("add-member"), group, users[0]});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("already a member: ")));
    r = runCli({QStringLiteral("remove-member"), group, users[0]});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(membersByTool(group).isEmpty());
    r = runCli({QStringLiteral("remove-member"), group, users[0]});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("not a member: ")));

    EXPECT_EQ(runCli({QStringLiteral("members")}).exitCode, 2);
    EXPECT_EQ(runCli({QStringLiteral("frobnicate"), QStringLiteral("x")}).exitCode, 2);
    const CliRun missing = runCli({QStringLiteral("members"), QStringLiteral("No Such Group Anywhere")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_FALSE(missing.err.isEmpty());
}
