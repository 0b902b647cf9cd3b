// arvendel-cli servers and browse run as child processes against the network domain.
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
    QString out, err;
};

class CliNetwork : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_FALSE(fact("DC2_ADDR").isEmpty()) << "the network domain has no second controller";
        ASSERT_TRUE(dir.isValid());
        passwordFile = dir.filePath(QStringLiteral("pw"));
        QFile f(passwordFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(fact("ADMIN_PASSWORD").toUtf8() + '\n');
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    // systemResolver false: the child resolves names as this machine does, without the
    // tests' resolver that knows the network domain's host names.
    CliRun cli(const QStringList &args, bool systemResolver = true)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!systemResolver)
            for (const char *v : {"LD_PRELOAD", "NSS_WRAPPER_HOSTS", "RESOLV_WRAPPER_CONF"})
                env.remove(QString::fromLatin1(v));
        env.insert(QStringLiteral("ARV_SETTINGS_FILE"), dir.filePath(QStringLiteral("registry.ini")));
        env.insert(QStringLiteral("KRB5_CONFIG"), fact("KRB5_CONFIG"));
        env.insert(QStringLiteral("KRB5CCNAME"), QStringLiteral("MEMORY:arvendel-cli-net"));
        env.remove(QStringLiteral("ARV_DNS_SERVER"));
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(QStringLiteral(ARV_CLI_PATH), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        CliRun r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_FALSE(r.out.contains(fact("ADMIN_PASSWORD")));
        return r;
    }

    // The administrator on DC1 by its address, with no mode chosen yet.
    QStringList adminOnDc1() const
    {
        return {QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--user"), fact("ADMIN_USER"),
                QStringLiteral("--password-file"), passwordFile};
    }

    QStringList admin() const
    {
        return {QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--simple"), QStringLiteral("--user"),
                fact("ADMIN_USER"), QStringLiteral("--password-file"), passwordFile};
    }

    QTemporaryDir dir;
    QString passwordFile;
};

} // namespace

TEST_F(CliNetwork, BrowsePrintsTheTreeFromTheDomainsDns)
{
    const QString domain = fact("DNS_DOMAIN");
    const CliRun r = cli({"browse", "--dns", fact("DNS_SERVER"), "--no-system-domains", "--domain", domain,
                          "--domain", "missing.test"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Directory Network\n  %1\n    %2\n    %3\n  missing.test\n")
                         .arg(domain, fact("DNS_HOST").toLower(), fact("DC2_DNS_HOST").toLower()));
    EXPECT_TRUE(r.err.contains("missing.test")) << r.err.toStdString();

    // With the connection: the computer objects tell which controller holds the PDC role.
    const CliRun c = cli(QStringList{"browse", "--dns", fact("DNS_SERVER"), "--no-system-domains", "--info",
                                     "--connect"} + admin());
    ASSERT_EQ(c.exitCode, 0) << c.err.toStdString();
    const QStringList lines = c.out.split('\n', Qt::SkipEmptyParts);
    const int dc1 = lines.indexOf("    " + fact("DNS_HOST").toLower());
    const int dc2 = lines.indexOf("    " + fact("DC2_DNS_HOST").toLower());
    ASSERT_GE(dc1, 0) << c.out.toStdString();
    ASSERT_GE(dc2, 0) << c.out.toStdString();
    EXPECT_TRUE(lines.value(dc1 + 1).startsWith("      OS Version: [NT] "));
    EXPECT_EQ(lines.value(dc1 + 2), "      Support:[WKS][SVR][PDC][NT][SNT]");
    EXPECT_EQ(lines.value(dc2 + 2), "      Support:[WKS][SVR][BDC][NT][SNT]");

    // A DNS server that does not answer: the domain is listed, its servers are not, and why.
    const CliRun silent = cli({"browse", "--dns", "127.0.0.253", "--no-system-domains", "--domain", domain});
    EXPECT_EQ(silent.exitCode, 0);
    EXPECT_EQ(silent.out, QStringLiteral("Directory Network\n  %1\n").arg(domain));
    EXPECT_FALSE(silent.err.isEmpty());
    EXPECT_EQ(cli({"browse", "--dns", "dns.example.com"}).exitCode, 2);
}

TEST_F(CliNetwork, ServersListsBothControllersWithTheirRootDse)
{
    const CliRun r = cli(QStringList{"servers", "--dns", fact("DNS_SERVER")} + admin());
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    for (const QString &addr : {fact("ADDR"), fact("DC2_ADDR")}) {
        const auto out = testsupport::runTool("ldapsearch", {"-x", "-LLL", "-H", "ldap://" + addr, "-b", "", "-s",
                                                             "base", "dnsHostName", "serverName"});
        const auto e = testsupport::parseLdif(out.out);
        ASSERT_EQ(e.size(), 1);
        const QString host = e[0].text("dnsHostName");
        EXPECT_TRUE(r.out.contains("DNS Host Name: " + host + "\n")) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains("  Dns Host Name: " + host + "\n")) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains("Distinguished Name: " + e[0].text("serverName") + "\n")) << r.out.toStdString();
    }
    EXPECT_EQ(r.out.count("Server Name: "), 2);
    EXPECT_EQ(r.out.count("  Is Synchronized: TRUE\n"), 2);
    // --all adds the multi-valued rows, one value per line.
    const CliRun all = cli(QStringList{"servers", "--all", "--dns", fact("DNS_SERVER")} + admin());
    ASSERT_EQ(all.exitCode, 0);
    EXPECT_EQ(all.out.count("  Naming Contexts:\n"), 2);
    EXPECT_TRUE(all.out.contains("\n    " + fact("BASE_DN") + "\n")) << all.out.toStdString();
    EXPECT_FALSE(r.out.contains("Naming Contexts"));
}

TEST_F(CliNetwork, ServersBindsTheOtherControllerByItsHostNameOverLdapsAndKerberos)
{
    // The system's resolver knows the controllers' names, as a domain member's does: DC2 is
    // bound by its name, which its certificate and its Kerberos service names name (its address
    // they do not).
    const QList<QStringList> modes = {{"--ssl", "--simple"}, {"--secure"}, {"--ssl", "--secure"}};
    for (const QStringList &mode : modes) {
        const CliRun r = cli(QStringList{"servers"} + adminOnDc1() + mode);
        EXPECT_EQ(r.exitCode, 0) << mode.join(' ').toStdString() << "\n" << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.out.contains("  Dns Host Name: " + fact("DC2_DNS_HOST") + "\n")) << r.out.toStdString();
        EXPECT_EQ(r.out.count("  Is Synchronized: TRUE\n"), 2) << mode.join(' ').toStdString();
    }
}

TEST_F(CliNetwork, ServersBindsByAddressWhereOnlyTheDnsServerKnowsTheNameAndSaysHowToMendIt)
{
    // As in the demo: --dns names the only DNS server that knows the controllers' names.
    const QStringList dns{"--dns", fact("DNS_SERVER")};
    const CliRun plain = cli(QStringList{"servers", "--simple"} + adminOnDc1() + dns, false);
    EXPECT_EQ(plain.exitCode, 0) << plain.out.toStdString() << plain.err.toStdString();
    EXPECT_EQ(plain.out.count("  Is Synchronized: TRUE\n"), 2) << plain.out.toStdString();

    // TLS and Kerberos check the name, which the address is not: the error says so and how to
    // make the name resolvable; the connected controller still answers.
    const QList<QStringList> modes = {{"--ssl", "--simple"}, {"--secure"}};
    for (const QStringList &mode : modes) {
        const CliRun r = cli(QStringList{"servers"} + adminOnDc1() + mode + dns, false);
        EXPECT_NE(r.exitCode, 0) << mode.join(' ').toStdString();
        EXPECT_EQ(r.out.count("  Is Synchronized: TRUE\n"), 1) << r.out.toStdString();
        const QString dc2 = r.out.mid(r.out.indexOf("Server Name: DC2\n"));
        const QString error = dc2.mid(dc2.indexOf("  Error: ")).section('\n', 0, 0);
        EXPECT_TRUE(error.contains(fact("DC2_ADDR"))) << error.toStdString();
        EXPECT_TRUE(error.contains(fact("DC2_DNS_HOST") + " resolvable")) << error.toStdString();
        EXPECT_TRUE(error.contains("/etc/hosts")) << error.toStdString();
    }
}
