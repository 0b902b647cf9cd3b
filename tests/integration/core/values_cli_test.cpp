// arvendel-cli security against the test domain: the summary a domain administrator reads.
#include "../adsi/adsi_fixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct CliRun {
    int exitCode = -1;
    QString out, err;
};

CliRun runSecurity(const QStringList &extra)
{
    static int argc = 1;
    static char name[] = "values_cli_test";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    Q_UNUSED(app);

    QTemporaryDir home;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ARV_SETTINGS_FILE"), home.filePath(QStringLiteral("settings.ini")));
    env.insert(QStringLiteral("ARV_TEST_CLI_PASSWORD"), adsitest::adminPassword()); // never an argument
    p.setProcessEnvironment(env);
    const QString tool = qEnvironmentVariable("ARV_BINARY_DIR") + QStringLiteral("/src/cli/arvendel-cli");
    QStringList args = {QStringLiteral("security"), QStringLiteral("--server"), adsitest::server(),
                        QStringLiteral("--simple"), QStringLiteral("--user"), adsitest::adminNt4(),
                        QStringLiteral("--password-env"), QStringLiteral("ARV_TEST_CLI_PASSWORD")};
    p.start(tool, args + extra);
    CliRun r;
    if (!p.waitForFinished(120000)) {
        r.err = QStringLiteral("did not finish: ") + p.errorString();
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

TEST(ValuesCli, SecuritySummaryShowsTrusteesAndTheChangePasswordRule)
{
    ARV_REQUIRE_DOMAIN();
    const QString ou = adsitest::scratchOu();
    const QString dn = adsitest::createUsers(ou, QStringLiteral("vcli%1").arg(QRandomGenerator::global()->bounded(100000)), 1).value(0);
    const QString netbios = testsupport::fact("NETBIOS");

    CliRun r = runSecurity({dn});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Object: ") + dn)) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Owner: ") + netbios + QStringLiteral("\\Domain Admins"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("explicit  Everyone: Control access on "))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("User cannot change password: no"))) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(adsitest::adminPassword()));

    r = runSecurity({QStringLiteral("--cannot-change-password"), QStringLiteral("yes"), dn});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("User cannot change password: yes"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Deny (object)   explicit  Everyone: Control access on"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Deny (object)   explicit  NT AUTHORITY\\SELF: Control access on"))) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("NOT in canonical order")));

    // By account name, and back to allowed.
    const QString sam = dn.section(QLatin1Char(','), 0, 0).mid(3);
    r = runSecurity({QStringLiteral("--cannot-change-password"), QStringLiteral("no"), netbios + QLatin1Char('\\') + sam});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("User cannot change password: no"))) << r.out.toStdString();

    // Mistakes are reported, not guessed around.
    r = runSecurity({QStringLiteral("no-such-account-here")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("No account named"))) << r.err.toStdString();
    r = runSecurity({QStringLiteral("--cannot-change-password"), QStringLiteral("maybe"), dn});
    EXPECT_EQ(r.exitCode, 2);
}
