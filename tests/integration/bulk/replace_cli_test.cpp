// arvendel-cli replace run as a child process against a scratch OU: the preview prints the
// rows the engine finds and writes nothing; --apply writes them, prints each outcome, appends
// to the log, and exits non-zero when a row was refused.
#include "replace_fixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace replacetest;
using testsupport::fact;

namespace {

struct CliRun {
    int exitCode = -1;
    QStringList lines;
    QString err;
};

class ReplaceCli : public ScratchOuTest<ReplaceCli> {
public:
    static constexpr const char *kOuPrefix = "replcli";

protected:
    QTemporaryDir dir;

    // relayPort: connect through a relay on this machine instead, with a 5-second operation
    // timeout.
    CliRun cli(const QStringList &args, bool delegate = false, int relayPort = 0)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (relayPort > 0)
            env.insert(QStringLiteral("ARV_LDAP_TIMEOUT"), QStringLiteral("5"));
        env.insert(QStringLiteral("ARV_SETTINGS_FILE"), dir.filePath(QStringLiteral("registry.ini")));
        env.insert(QStringLiteral("LDAPTLS_CACERT"), fact("CA_FILE"));
        env.insert(QStringLiteral("ARV_REPLACE_TEST_PW"), fact(delegate ? "DELEGATE_PASSWORD" : "ADMIN_PASSWORD"));
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(QStringLiteral(ARV_CLI_PATH),
                QStringList{QStringLiteral("replace"), QStringLiteral("--server"),
                            relayPort > 0 ? QStringLiteral("127.0.0.1") : fact("ADDR"), QStringLiteral("--simple"),
                            QStringLiteral("--user"), fact(delegate ? "DELEGATE_UPN" : "ADMIN_UPN"),
                            QStringLiteral("--password-env"), QStringLiteral("ARV_REPLACE_TEST_PW")} +
                    (relayPort > 0 ? QStringList{QStringLiteral("--port"), QString::number(relayPort)} : QStringList()) +
                    args);
        EXPECT_TRUE(p.waitForFinished(120000));
        CliRun r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        r.err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_FALSE(r.err.contains(fact(delegate ? "DELEGATE_PASSWORD" : "ADMIN_PASSWORD")));
        return r;
    }
};

TEST_F(ReplaceCli, PreviewWritesNothingAndApplyWritesLogsAndReports)
{
    const QStringList rule = {QStringLiteral("--base"), ou.dn, QStringLiteral("--attribute"), QStringLiteral("sn"),
                              QStringLiteral("--where"), QStringLiteral("end"), QStringLiteral("--find"), QStringLiteral("a"),
                              QStringLiteral("--replace"), QStringLiteral("<%CURRENT%>-<%givenName%>")};
    CliRun preview = cli(rule);
    ASSERT_EQ(preview.exitCode, 0) << preview.err.toStdString();
    const QSet<QString> expected = dnsOf(ou.dn, QStringLiteral("(&(objectCategory=person)(objectClass=user)(sn=*a))"));
    ASSERT_EQ(expected.size(), 4);  // Alpha, Beta, Gamma, Delta
    QSet<QString> previewed;
    for (const QString &line : preview.lines) {
        const QStringList f = line.split(QLatin1Char('\t'));
        ASSERT_EQ(f.size(), 3) << line.toStdString();
        previewed.insert(f[0].toLower());
        if (f[0] == ou.user(QStringLiteral("Rep Ann"))) {
            EXPECT_EQ(f[2], QStringLiteral("Alpha-Ann"));
        }
    }
    EXPECT_EQ(previewed, expected);
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Ann")), QStringLiteral("sn")), QStringList{QStringLiteral("Alpha")});

    const QString logPath = dir.filePath(QStringLiteral("cli log.txt"));
    CliRun applied = cli(rule + QStringList{QStringLiteral("--apply"), QStringLiteral("--log"), logPath});
    EXPECT_EQ(applied.exitCode, 0) << applied.err.toStdString();
    ASSERT_EQ(applied.lines.size(), 4);
    for (const QString &line : applied.lines)
        EXPECT_TRUE(line.endsWith(QStringLiteral("\tSUCCEEDED"))) << line.toStdString();
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Ann")), QStringLiteral("sn")), QStringList{QStringLiteral("Alpha-Ann")});
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Dee")), QStringLiteral("sn")), QStringList{QStringLiteral("Delta-Dee")});
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Boss")), QStringLiteral("sn")), QStringList{QStringLiteral("Boss")});
    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_EQ(text.count(QStringLiteral("; [SUCCEEDED]\r\n")), 4);
    EXPECT_TRUE(text.contains(QStringLiteral("[Rep Ann]; [%1]; [Alpha]; [Alpha-Ann]; [SUCCEEDED]")
                                  .arg(ou.user(QStringLiteral("Rep Ann")))));

    // The same rule again finds nothing that ends in "a" any more except where it did not apply.
    EXPECT_EQ(cli(rule).lines.size(), 0);
}

TEST_F(ReplaceCli, RefusedRowsGiveANonZeroExitAndChangeNothing)
{
    CliRun r = cli({QStringLiteral("--base"), fact("DELEGATE_OU"), QStringLiteral("--attribute"), QStringLiteral("title"),
                    QStringLiteral("--restrict"), QStringLiteral("(title=*)"), QStringLiteral("--replace"),
                    QStringLiteral("Refused Title"), QStringLiteral("--apply")},
                   true);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    ASSERT_FALSE(r.lines.isEmpty());
    for (const QString &line : r.lines)
        EXPECT_TRUE(line.section(QLatin1Char('\t'), 3).startsWith(QStringLiteral("FAILED "))) << line.toStdString();
    EXPECT_EQ(testsupport::ldapCount(fact("DELEGATE_OU"), QStringLiteral("(title=Refused Title)")), 0);
}

TEST_F(ReplaceCli, UsageErrors)
{
    EXPECT_EQ(cli({QStringLiteral("--attribute"), QStringLiteral("cn"), QStringLiteral("--replace"), QStringLiteral("x")}).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("--attribute"), QStringLiteral("title")}).exitCode, 2);  // neither --replace nor --clear
    EXPECT_EQ(cli({QStringLiteral("--attribute"), QStringLiteral("co"), QStringLiteral("--replace"), QStringLiteral("Atlantis")}).exitCode, 2);
    // Both checkboxes are refused by the rule itself, as in the window.
    CliRun both = cli({QStringLiteral("--base"), ou.dn, QStringLiteral("--attribute"), QStringLiteral("title"),
                       QStringLiteral("--not-set"), QStringLiteral("--clear")});
    EXPECT_EQ(both.exitCode, 1);
    EXPECT_TRUE(both.err.contains(QStringLiteral("\"Value Is Not Set\" and \"Clear Value\""))) << both.err.toStdString();
}

// A modify the server applied without answering in time is printed as not known, counted
// apart in the summary, and gives a non-zero exit; the directory holds the value.
TEST_F(ReplaceCli, AModifyWithoutAnAnswerIsNotKnown)
{
    CuttingRelay relay(fact("ADDR"), fact("LDAP_PORT").toInt(), 1, CuttingRelay::Mode::HoldAnswer);
    const QString ann = ou.user(QStringLiteral("Rep Ann"));
    CliRun r = cli({QStringLiteral("--base"), ou.dn, QStringLiteral("--attribute"), QStringLiteral("description"),
                    QStringLiteral("--not-set"), QStringLiteral("--restrict"), QStringLiteral("(givenName=Ann)"),
                    QStringLiteral("--replace"),
                    QStringLiteral("cli held"), QStringLiteral("--apply")},
                   false, relay.port());
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    ASSERT_EQ(r.lines.size(), 1) << r.err.toStdString();
    const QString outcome = r.lines[0].section(QLatin1Char('\t'), 3);
    EXPECT_TRUE(outcome.startsWith(QStringLiteral("NOT KNOWN "))) << outcome.toStdString();
    EXPECT_TRUE(outcome.contains(QStringLiteral("may have been applied"))) << outcome.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("0 failed"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("1 not known (may have been applied"))) << r.err.toStdString();
    EXPECT_EQ(valuesOf(ann, QStringLiteral("description")), QStringList{QStringLiteral("cli held")});
    modify(QStringLiteral("dn: %1\nchangetype: modify\ndelete: description\n\n").arg(ann));
}

} // namespace
