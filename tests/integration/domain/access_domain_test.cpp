// How clients reach the test domain: TLS verified with the domain's CA, Kerberos binds, the
// delegated account's limits, and a second domain that stops and starts cleanly.
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

QStringList baseSearch(const QString &uri)
{
    return {QStringLiteral("-H"), uri, QStringLiteral("-s"), QStringLiteral("base")};
}

// A user of the delegated OU and one outside it, with their current telephone number.
struct Target {
    QString dn;
    QString phone;
};

Target firstUserBelow(const QString &base)
{
    const auto e = ldapSearch(base, QStringLiteral("(&(objectClass=user)(telephoneNumber=*))"),
                              {QStringLiteral("telephoneNumber")}, Account::admin(), {QStringLiteral("-z"), QStringLiteral("1")});
    return e.isEmpty() ? Target() : Target{e.first().dn, e.first().text(QStringLiteral("telephoneNumber"))};
}

QByteArray replaceLdif(const QString &dn, const QString &attr, const QString &value)
{
    return QStringLiteral("dn: %1\nchangetype: modify\nreplace: %2\n%2: %3\n-\n").arg(dn, attr, value).toUtf8();
}

bool portAnswers(const QString &addr, quint16 port)
{
    QTcpSocket s;
    s.connectToHost(addr, port);
    return s.waitForConnected(1000);
}

} // namespace

TEST(DomainAccess, TlsVerifiesWithTheDomainCaOnly)
{
    ARV_REQUIRE_DOMAIN();
    int rc = -1;
    auto e = ldapSearch(fact("BASE_DN"), QStringLiteral("(objectClass=*)"), {QStringLiteral("1.1")}, Account::admin(),
                        baseSearch(fact("LDAPS_URI")), &rc);
    EXPECT_EQ(rc, 0) << "LDAPS with CA_FILE";
    EXPECT_EQ(e.size(), 1);
    e = ldapSearch(fact("BASE_DN"), QStringLiteral("(objectClass=*)"), {QStringLiteral("1.1")}, Account::admin(),
                   baseSearch(fact("LDAP_URI")) << QStringLiteral("-ZZ"), &rc);
    EXPECT_EQ(rc, 0) << "StartTLS with CA_FILE";

    // Without the domain's CA the same connection must be refused: verification is really on.
    QProcessEnvironment env = toolEnvironment();
    env.insert(QStringLiteral("LDAPTLS_CACERT"), QStringLiteral("/etc/ssl/certs/ca-certificates.crt"));
    const ToolResult refused = runTool(QStringLiteral("ldapsearch"),
                                       {QStringLiteral("-x"), QStringLiteral("-H"), fact("LDAPS_URI"), QStringLiteral("-b"),
                                        QString(), QStringLiteral("-s"), QStringLiteral("base"), QStringLiteral("1.1")},
                                       {}, env);
    EXPECT_NE(refused.exitCode, 0);

    // The certificate names both the address and the DC's host name.
    for (const QString &host : {fact("ADDR"), fact("DNS_HOST")}) {
        const bool isIp = host == fact("ADDR");
        const ToolResult r = runTool(QStringLiteral("openssl"),
                                     {QStringLiteral("s_client"), QStringLiteral("-connect"), fact("ADDR") + QStringLiteral(":636"),
                                      QStringLiteral("-CAfile"), fact("CA_FILE"), QStringLiteral("-verify_return_error"),
                                      isIp ? QStringLiteral("-verify_ip") : QStringLiteral("-verify_hostname"), host},
                                     QByteArray("Q\n"));
        EXPECT_EQ(r.exitCode, 0) << host.toStdString() << ": " << r.err.right(400).toStdString();
        EXPECT_TRUE(r.out.contains("Verify return code: 0 (ok)")) << host.toStdString();
    }
}

TEST(DomainAccess, KerberosBindByAddress)
{
    ARV_REQUIRE_DOMAIN();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment env = toolEnvironment();
    env.insert(QStringLiteral("KRB5CCNAME"), QStringLiteral("FILE:") + dir.filePath(QStringLiteral("ccache")));
    // kinit reads the password from standard input when it is not a terminal.
    const ToolResult kinit = runTool(QStringLiteral("kinit"), {fact("ADMIN_UPN")}, fact("ADMIN_PASSWORD").toUtf8() + '\n', env);
    ASSERT_EQ(kinit.exitCode, 0) << kinit.err.toStdString();
    for (const QStringList &extra : {QStringList{QStringLiteral("-O"), QStringLiteral("maxssf=0")}, QStringList{}}) {
        QStringList args{QStringLiteral("-LLL"), QStringLiteral("-Y"), QStringLiteral("GSSAPI"), QStringLiteral("-N"),
                         QStringLiteral("-H"), fact("LDAP_URI"), QStringLiteral("-b"), QString(), QStringLiteral("-s"),
                         QStringLiteral("base")};
        args << extra << QStringLiteral("(objectClass=*)") << QStringLiteral("defaultNamingContext");
        const ToolResult r = runTool(QStringLiteral("ldapsearch"), args, {}, env);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(fact("BASE_DN").toUtf8()));
    }
    const ToolResult whoami = runTool(QStringLiteral("ldapwhoami"),
                                      {QStringLiteral("-Y"), QStringLiteral("GSSAPI"), QStringLiteral("-N"), QStringLiteral("-H"),
                                       fact("LDAP_URI")},
                                      {}, env);
    EXPECT_TRUE(whoami.err.contains("Administrator@" + fact("REALM").toUtf8())) << whoami.err.toStdString();
}

TEST(DomainAccess, DelegatedAccountWritesOnlyItsAttributesInItsOu)
{
    ARV_REQUIRE_DOMAIN();
    const Target inside = firstUserBelow(fact("DELEGATE_OU"));
    const Target outside = firstUserBelow(QStringLiteral("OU=EMEA,OU=Sales,OU=Staff,") + fact("SEED_OU"));
    ASSERT_FALSE(inside.dn.isEmpty());
    ASSERT_FALSE(outside.dn.isEmpty());

    const QString probe = QStringLiteral("+49 30 000-%1").arg(QCoreApplication::applicationPid());
    ToolResult r = ldapModify(replaceLdif(inside.dn, QStringLiteral("telephoneNumber"), probe), Account::delegate());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const auto after = ldapSearch(inside.dn, QStringLiteral("(objectClass=*)"), {QStringLiteral("telephoneNumber")}, Account::admin(),
                                  {QStringLiteral("-s"), QStringLiteral("base")});
    ASSERT_EQ(after.size(), 1);
    EXPECT_EQ(after.first().text(QStringLiteral("telephoneNumber")), probe);
    // Put the seeded value back so other tests see the documented content.
    r = ldapModify(replaceLdif(inside.dn, QStringLiteral("telephoneNumber"), inside.phone));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

    // Not its attribute in its OU, nor its attribute elsewhere: 50 insufficientAccessRights.
    r = ldapModify(replaceLdif(inside.dn, QStringLiteral("title"), QStringLiteral("Refused")), Account::delegate());
    EXPECT_EQ(r.exitCode, 50) << r.err.toStdString();
    r = ldapModify(replaceLdif(outside.dn, QStringLiteral("telephoneNumber"), probe), Account::delegate());
    EXPECT_EQ(r.exitCode, 50) << r.err.toStdString();
    const auto untouched = ldapSearch(outside.dn, QStringLiteral("(objectClass=*)"), {QStringLiteral("telephoneNumber")},
                                      Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    ASSERT_EQ(untouched.size(), 1);
    EXPECT_EQ(untouched.first().text(QStringLiteral("telephoneNumber")), outside.phone);
}

// A second, unseeded domain on its own address: start, stop, start again, stop, and nothing of
// it is left running or listening, while the shared domain keeps answering; a copy of the
// stopped folder serves on a third address.
TEST(DomainLifecycle, SecondDomainStopsAndStartsWithoutLeftovers)
{
    ARV_REQUIRE_DOMAIN();
    const QString script = QString::fromLocal8Bit(qgetenv("ARV_SOURCE_DIR")) + QStringLiteral("/tests/domain/testdomain.sh");
    ASSERT_TRUE(QFile::exists(script)) << script.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("second"));
    const QString addr = QStringLiteral("127.0.0.22");
    auto run = [&](const QString &cmd) {
        return runTool(QStringLiteral("bash"), {script, cmd, QStringLiteral("--dir"), folder, QStringLiteral("--addr"), addr},
                       {}, QProcessEnvironment::systemEnvironment(), 300000);
    };
    auto processesOfFolder = [&] {
        // Our server runs with its working directory in the folder's run/ directory.
        int n = 0;
        const QString run = QDir(folder).canonicalPath() + QStringLiteral("/run");
        for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            if (!pid.toInt())
                continue;
            if (QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid)) == run)
                ++n;
        }
        return n;
    };

    ToolResult r = run(QStringLiteral("provision"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (int round = 0; round < 2; ++round) {
        r = run(QStringLiteral("start"));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        r = run(QStringLiteral("wait"));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(portAnswers(addr, 389));
        EXPECT_TRUE(portAnswers(addr, 636));
        EXPECT_EQ(run(QStringLiteral("status")).exitCode, 0);
        EXPECT_GT(processesOfFolder(), 0);
        EXPECT_TRUE(portAnswers(fact("ADDR"), 389)) << "the shared domain runs beside it";

        r = run(QStringLiteral("stop"));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(processesOfFolder(), 0) << "round " << round;
        EXPECT_FALSE(portAnswers(addr, 389));
        EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/run/testdomain.pid")));
        EXPECT_NE(run(QStringLiteral("status")).exitCode, 0);
    }
    EXPECT_TRUE(portAnswers(fact("ADDR"), 389));

    // A stopped folder copied for another address serves there, with a certificate for it.
    const QString copy = dir.filePath(QStringLiteral("copy"));
    const QString copyAddr = QStringLiteral("127.0.0.23");
    auto runCopy = [&](const QStringList &args) {
        return runTool(QStringLiteral("bash"), QStringList{script} << args << QStringLiteral("--dir") << copy
                                                   << QStringLiteral("--addr") << copyAddr,
                       {}, QProcessEnvironment::systemEnvironment(), 300000);
    };
    r = runCopy({QStringLiteral("clone"), QStringLiteral("--from"), folder});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = runCopy({QStringLiteral("start")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = runCopy({QStringLiteral("wait")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const ToolResult tls = runTool(QStringLiteral("openssl"),
                                   {QStringLiteral("s_client"), QStringLiteral("-connect"), copyAddr + QStringLiteral(":636"),
                                    QStringLiteral("-CAfile"), copy + QStringLiteral("/tls/ca.pem"),
                                    QStringLiteral("-verify_return_error"), QStringLiteral("-verify_ip"), copyAddr},
                                   QByteArray("Q\n"));
    EXPECT_EQ(tls.exitCode, 0) << tls.err.right(400).toStdString();
    EXPECT_FALSE(portAnswers(addr, 389)) << "the original folder stays stopped";
    r = runCopy({QStringLiteral("stop")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(portAnswers(copyAddr, 389));
}
