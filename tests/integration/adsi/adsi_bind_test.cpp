// Binds in every mode, the errors a user meets when connecting, and connection reuse.
#include "adsi_fixture.h"

#include "core/unSearch.h"
#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adserror.h"

#include <QFile>
#include <ldap.h>
#include <cstdio>
#include <QProcess>
#include <QTemporaryDir>
#include <thread>

using namespace ads;
using namespace adsitest;

namespace {

QString lastErrorText()
{
    QString text;
    ADsGetLastError(nullptr, &text, nullptr);
    return text;
}

// Opens RootDSE of the test DC and returns its default naming context ("" on failure).
QString namingContextVia(const QString &user, const QString &password, std::uint32_t flags,
                         HRESULT *status = nullptr, int port = 0)
{
    ObjectPtr root;
    const QString p = port ? QStringLiteral("LDAP://%1:%2/RootDSE").arg(server()).arg(port)
                           : QStringLiteral("LDAP://%1/RootDSE").arg(server());
    const HRESULT h = ADsOpenObject(p, user, password, flags, &root);
    if (status)
        *status = h;
    if (failed(h))
        return QString();
    QVariant v;
    if (failed(root->Get(QStringLiteral("defaultNamingContext"), &v)))
        return QString();
    return v.toString();
}

class Bind : public ::testing::Test {
protected:
    void SetUp() override { closeAllConnections(); }
};

} // namespace

TEST_F(Bind, SimpleBindAcceptsUpnNt4AndDnNames)
{
    ARV_REQUIRE_DOMAIN();
    EXPECT_EQ(namingContextVia(adminUpn(), adminPassword(), 0), baseDn()) << lastErrorText().toStdString();
    EXPECT_EQ(namingContextVia(adminNt4(), adminPassword(), 0), baseDn()) << lastErrorText().toStdString();
    EXPECT_EQ(namingContextVia(testsupport::fact("ADMIN_DN"), adminPassword(), 0), baseDn())
        << lastErrorText().toStdString();
}

TEST_F(Bind, SimpleBindOverLdapsVerifiesTheDomainCertificate)
{
    ARV_REQUIRE_DOMAIN();
    HRESULT h = 0;
    EXPECT_EQ(namingContextVia(adminUpn(), adminPassword(), ADS_USE_ENCRYPTION, &h), baseDn())
        << std::hex << h << " " << lastErrorText().toStdString();
    // An explicit port is used as given.
    EXPECT_EQ(namingContextVia(adminUpn(), adminPassword(), ADS_USE_ENCRYPTION, &h, 636), baseDn());
}

TEST_F(Bind, KerberosWithPasswordSignedSealedAndInsideTls)
{
    ARV_REQUIRE_DOMAIN();
    for (std::uint32_t flags : {0x1u, 0x81u, 0x3u, 0x201u}) {
        HRESULT h = 0;
        EXPECT_EQ(namingContextVia(adminUpn(), adminPassword(), flags, &h), baseDn())
            << "flags " << flags << ": " << std::hex << h << " " << lastErrorText().toStdString();
        EXPECT_EQ(namingContextVia(adminNt4(), adminPassword(), flags, &h), baseDn())
            << "flags " << flags << ": " << std::hex << h << " " << lastErrorText().toStdString();
    }
}

TEST_F(Bind, KerberosInsideTlsAsksForChannelBindingToTheTlsEndpoint)
{
    ARV_REQUIRE_DOMAIN();
    // Controllers that enforce LDAP channel binding refuse a Kerberos bind inside TLS that is
    // not bound to the TLS channel; outside TLS there is no channel to bind to.
    using Case = std::pair<std::uint32_t, int>;
    for (const auto &[flags, binding] : {Case{ADS_SECURE_AUTHENTICATION | ADS_USE_ENCRYPTION, LDAP_OPT_X_SASL_CBINDING_TLS_ENDPOINT},
                                         Case{ADS_SECURE_AUTHENTICATION, LDAP_OPT_X_SASL_CBINDING_NONE}}) {
        ObjectPtr root;
        const HRESULT h = ADsOpenObject(QStringLiteral("LDAP://%1/RootDSE").arg(server()), adminUpn(), adminPassword(),
                                        flags, &root);
        ASSERT_EQ(h, S_OK) << std::hex << h << " " << lastErrorText().toStdString();
        EXPECT_EQ(root->connection()->channelBinding(), binding) << "flags " << flags;
    }
}

TEST_F(Bind, KerberosFromTicketCacheAndClearTextWithoutTicket)
{
    ARV_REQUIRE_DOMAIN();
    QTemporaryDir dir;
    const QByteArray oldCache = qgetenv("KRB5CCNAME");
    const QByteArray cache = "FILE:" + dir.filePath(QStringLiteral("ccache")).toLocal8Bit();

    // Without a ticket: a text that says what to do.
    qputenv("KRB5CCNAME", cache);
    HRESULT h = 0;
    EXPECT_TRUE(namingContextVia(QString(), QString(), ADS_SECURE_AUTHENTICATION, &h).isEmpty());
    EXPECT_TRUE(failed(h));
    EXPECT_TRUE(GetADSIErrorText(h).contains(QLatin1String("kinit"))) << GetADSIErrorText(h).toStdString();

    // kinit with the password on its standard input.
    QProcess kinit;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KRB5CCNAME"), QString::fromLocal8Bit(cache));
    kinit.setProcessEnvironment(env);
    kinit.start(QStringLiteral("kinit"), {adminUpn()});
    ASSERT_TRUE(kinit.waitForStarted());
    kinit.write(adminPassword().toUtf8() + "\n");
    kinit.closeWriteChannel();
    ASSERT_TRUE(kinit.waitForFinished(30000));
    ASSERT_EQ(kinit.exitCode(), 0) << kinit.readAllStandardError().toStdString();

    closeAllConnections();
    EXPECT_EQ(namingContextVia(QString(), QString(), ADS_SECURE_AUTHENTICATION, &h), baseDn())
        << std::hex << h << " " << lastErrorText().toStdString();
    EXPECT_EQ(namingContextVia(QString(), QString(), ADS_SECURE_AUTHENTICATION | ADS_USE_SEALING, &h), baseDn());
    qputenv("KRB5CCNAME", oldCache);
    closeAllConnections();
}

TEST_F(Bind, WrongPasswordGivesLogonFailureAndItsText)
{
    ARV_REQUIRE_DOMAIN();
    const QString wrong = adminPassword() + QStringLiteral("x");
    for (std::uint32_t flags : {0x0u, 0x1u}) {
        HRESULT h = 0;
        namingContextVia(adminUpn(), wrong, flags, &h);
        EXPECT_EQ(h, HR_LOGON_FAILURE) << "flags " << flags << std::hex << " " << h;
        const QString text = GetADSIErrorText(h);
        EXPECT_TRUE(text.startsWith(QLatin1String("The user name or password is incorrect."))) << text.toStdString();
        EXPECT_FALSE(text.contains(wrong));
    }
    try {
        CheckADSIResult(HR_LOGON_FAILURE);
        ADD_FAILURE() << "no exception";
    } catch (const EADSIException &e) {
        EXPECT_TRUE(e.Message().startsWith(QLatin1String("The user name or password is incorrect.")));
    }
}

TEST_F(Bind, UnreachableServerIsNotOperationalWithPlainWords)
{
    ARV_REQUIRE_DOMAIN();
    ObjectPtr o;
    // A port nobody listens on.
    const HRESULT h = ADsOpenObject(QStringLiteral("LDAP://%1:1/RootDSE").arg(server()), adminUpn(),
                                    adminPassword(), 0, &o);
    EXPECT_EQ(h, HR_DS_SERVER_DOWN);
    EXPECT_FALSE(o);
    const QString text = GetADSIErrorText(h);
    EXPECT_TRUE(text.startsWith(QLatin1String("The server is not operational."))) << text.toStdString();
    // The extended error says it in plain words (the text is wrapped at 40 columns).
    EXPECT_TRUE(QString(text).replace(QLatin1String("\r\n"), QLatin1String(" ")).simplified()
                    .contains(QLatin1String("cannot be reached")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("LDAP Provider")));
}

TEST_F(Bind, MissingObjectAndBadPath)
{
    ARV_REQUIRE_DOMAIN();
    ObjectPtr o;
    HRESULT h = ADsOpenObject(path(QStringLiteral("CN=nobody-here,") + baseDn()), adminUpn(), adminPassword(), 0, &o);
    EXPECT_EQ(h, HR_DS_NO_SUCH_OBJECT);
    EXPECT_TRUE(GetADSIErrorText(h).startsWith(QLatin1String("There is no such object on the server.")));
    h = ADsOpenObject(QStringLiteral("WinNT://x"), adminUpn(), adminPassword(), 0, &o);
    EXPECT_EQ(h, E_ADS_BAD_PATHNAME);
    EXPECT_EQ(GetADSIErrorText(h), QStringLiteral("An invalid ADSI pathname was passed."));
}

TEST_F(Bind, OneConnectionPerCredentialsAndThreadClosedAtDisconnect)
{
    ARV_REQUIRE_DOMAIN();
    const int before = connectionsOpened();
    const int socketsBefore = openLdapSockets();
    ObjectPtr a = bindAdmin(baseDn());
    ObjectPtr b = bindAdmin(QStringLiteral("CN=Users,") + baseDn());
    ObjectPtr c;
    ASSERT_EQ(OpenADsObject(path(QStringLiteral("CN=Users,") + baseDn()), adminUpn(), adminPassword(), &c,
                            QLatin1String(IID_IADsContainer), 0, true), S_OK);
    ASSERT_TRUE(a && b && c);
    QVariant v;
    EXPECT_EQ(b->GetInfoEx({QStringLiteral("cn"), QStringLiteral("canonicalName")}), S_OK);
    EXPECT_EQ(connectionsOpened() - before, 1);
    EXPECT_EQ(openLdapSockets() - socketsBefore, 1);

    // Other flags: another connection.
    ObjectPtr k = bindAdmin(baseDn(), ADS_SECURE_AUTHENTICATION);
    EXPECT_EQ(connectionsOpened() - before, 2);

    // A worker thread gets its own.
    int inThread = 0;
    std::thread([&] {
        ObjectPtr t = bindAdmin(baseDn());
        inThread = pooledConnectionCount();
    }).join();
    EXPECT_EQ(inThread, 1);
    EXPECT_EQ(connectionsOpened() - before, 3);

    // Disconnect: the pool is emptied; the sockets go with the last object using them.
    closeAllConnections();
    EXPECT_EQ(pooledConnectionCount(), 0);
    a.reset();
    b.reset();
    c.reset();
    k.reset();
    EXPECT_EQ(openLdapSockets(), socketsBefore);
}

// Settings that libldap reads once per process (TLS trust, the default server) are tried
// in a child run of this program with its own environment.
namespace {
bool inChild() { return qEnvironmentVariableIsSet("ARV_ADSI_CHILD"); }

// Runs one disabled test of this program in a child process; true when it ran and passed.
bool runChild(const char *test, const QStringList &env, const QString &workDir = QString())
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("ARV_ADSI_CHILD"), QStringLiteral("1"));
    e.remove(QStringLiteral("LDAPTLS_CACERT"));
    e.remove(QStringLiteral("LDAPURI"));
    for (const QString &kv : env)
        e.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
            {QStringLiteral("--gtest_also_run_disabled_tests"), QStringLiteral("--gtest_filter=") + QLatin1String(test)});
    if (!p.waitForStarted() || !p.waitForFinished(120000))
        return false;
    const QByteArray out = p.readAll();
    const bool passed = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 &&
                        out.contains("[  PASSED  ] 1 test") && !out.contains("SKIPPED");
    if (!passed)
        std::fprintf(stderr, "%s\n", out.constData());
    return passed;
}
} // namespace

TEST(BindChild, DISABLED_UntrustedCertificate)
{
    if (!inChild())
        GTEST_SKIP();
    ObjectPtr o;
    const HRESULT h = ADsOpenObject(QStringLiteral("LDAP://%1/RootDSE").arg(server()), adminUpn(), adminPassword(),
                                    ADS_USE_ENCRYPTION, &o);
    EXPECT_EQ(h, HR_DS_SERVER_DOWN);
    const QString text = lastErrorText();
    EXPECT_TRUE(text.contains(QLatin1String("certificate is not trusted"))) << text.toStdString();
    // The text says how to trust the CA, and does not advise giving up encryption.
    EXPECT_TRUE(text.contains(QLatin1String("LDAPTLS_CACERT"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QLatin1String("without encryption"))) << text.toStdString();
}

TEST(BindChild, DISABLED_OnlyLdapiConfigured)
{
    if (!inChild())
        GTEST_SKIP();
    // Every configured URI is a local socket: none is usable, and nothing is freed twice.
    EXPECT_FALSE(defaultServerUri(false).contains(QLatin1String("ldapi")));
    EXPECT_FALSE(defaultServerUri(true).contains(QLatin1String("ldapi")));
}

TEST(BindChild, DISABLED_DefaultServerFromTheConfiguration)
{
    if (!inChild())
        GTEST_SKIP();
    ObjectPtr root;
    ASSERT_EQ(ADsOpenObject(QStringLiteral("LDAP://RootDSE"), adminUpn(), adminPassword(), 0, &root), S_OK)
        << lastErrorText().toStdString();
    EXPECT_EQ(root->ADsPath(), QStringLiteral("LDAP://RootDSE"));
    // The search wrapper finds the domain root by itself.
    TQelADSISearching s;
    s.setUserName(adminUpn());
    s.setPassword(adminPassword());
    s.setUseCredentials(true);
    s.setAuthFlags(0x200);
    s.setSearchScope(0);
    s.setAttributes(QStringLiteral("distinguishedName"));
    QVariant row;
    s.ExecuteSearch();
    s.GetFirstRow(row);
    EXPECT_EQ(s.ADsPath(), QStringLiteral("LDAP://") + baseDn());
    ASSERT_EQ(row.toList().size(), 1);
    EXPECT_EQ(row.toList().first().toString(), baseDn());
}

TEST_F(Bind, UntrustedCertificateAndDefaultServerInAChildProcess)
{
    ARV_REQUIRE_DOMAIN();
    // The system's store does not hold the test domain's CA.
    EXPECT_TRUE(runChild("BindChild.DISABLED_UntrustedCertificate",
                         {QStringLiteral("LDAPTLS_CACERT=/etc/ssl/certs/ca-certificates.crt")}));
    EXPECT_TRUE(runChild("BindChild.DISABLED_DefaultServerFromTheConfiguration",
                         {QStringLiteral("LDAPURI=ldap://") + server()}));
    EXPECT_TRUE(runChild("BindChild.DISABLED_OnlyLdapiConfigured", {QStringLiteral("LDAPURI=ldapi:///")}));
}

TEST_F(Bind, NeitherTheEnvironmentNorAnLdaprcTurnsCertificateChecksOff)
{
    ARV_REQUIRE_DOMAIN();
    EXPECT_TRUE(runChild("BindChild.DISABLED_UntrustedCertificate",
                         {QStringLiteral("LDAPTLS_CACERT=/etc/ssl/certs/ca-certificates.crt"),
                          QStringLiteral("LDAPTLS_REQCERT=never")}));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile rc(dir.filePath(QStringLiteral("ldaprc")));
    ASSERT_TRUE(rc.open(QIODevice::WriteOnly));
    rc.write("TLS_REQCERT never\nTLS_CACERT /etc/ssl/certs/ca-certificates.crt\n");
    rc.close();
    EXPECT_TRUE(runChild("BindChild.DISABLED_UntrustedCertificate", {}, dir.path()));
}
