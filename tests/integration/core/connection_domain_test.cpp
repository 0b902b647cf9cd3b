// Connecting with stored settings against the test domain: every bind mode, the context
// derived from RootDSE, the dialogs' test bind and its error texts, name translation.
#include "core/unConnection.h"
#include "core/unValues.h"
#include "platform/registry/registry.h"
#include "support/testdomain.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <krb5.h>

using testsupport::fact;

namespace {

class ConnectionDomain : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_TRUE(dir.isValid());
        registry::setStoreFile(dir.path() + QStringLiteral("/registry.ini"));
    }
    void TearDown() override
    {
        DisconnectContext();
        registry::setStoreFile({});
    }

    // Explicit server and administrator credentials; simple bind over plain LDAP.
    static TConnectionSettings adminSettings()
    {
        TConnectionSettings s;
        s.UseDefaultServer = false;
        s.ServerName = fact("ADDR");
        s.Port = fact("LDAP_PORT");
        s.SecureAuthentication = false;
        s.UseCredentials = true;
        s.UserName = fact("ADMIN_USER");
        s.Password = fact("ADMIN_PASSWORD");
        return s;
    }

    void expectContext(const TConnectionSettings &s, const QString &port)
    {
        const TConnectionContext &c = ConnectionContext();
        const QString prefix = QStringLiteral("LDAP://%1:%2/").arg(fact("ADDR"), port);
        EXPECT_EQ(c.ServerPrefix, prefix);
        EXPECT_EQ(c.DefaultNamingContext, fact("BASE_DN"));
        EXPECT_EQ(c.DomainPath, prefix + fact("BASE_DN"));
        EXPECT_EQ(c.DcHostName.toLower(), fact("DNS_HOST").toLower());
        EXPECT_EQ(c.DcShortName.toUpper(), fact("HOST").toUpper());
        EXPECT_EQ(c.DnsDomainName.toLower(), fact("DNS_DOMAIN").toLower());
        EXPECT_GE(c.DomainFunctionality, 2);  // Samba provisions 2008 R2 or later
        EXPECT_EQ(c.AuthFlags, GetAuthFlags(s));
        EXPECT_EQ(c.UseCredentials, s.UseCredentials);
        EXPECT_EQ(c.UserName, s.UseCredentials ? s.UserName : QString());
        EXPECT_EQ(c.Password, s.UseCredentials ? s.Password : QString());
    }

    QTemporaryDir dir;
};

// kinit in process: a ticket-granting ticket for principal into the process's default
// credential cache (the test environment's private memory cache).
bool obtainTicketIntoDefaultCache(const QString &principal, const QString &password, QString *error)
{
    krb5_context ctx = nullptr;
    if (krb5_init_context(&ctx) != 0) {
        *error = QStringLiteral("krb5_init_context failed");
        return false;
    }
    krb5_principal client = nullptr;
    krb5_creds creds {};
    krb5_ccache cache = nullptr;
    QByteArray pw = password.toUtf8();
    krb5_error_code rc = krb5_parse_name(ctx, principal.toUtf8().constData(), &client);
    if (rc == 0)
        rc = krb5_get_init_creds_password(ctx, &creds, client, pw.data(), nullptr, nullptr, 0, nullptr, nullptr);
    if (rc == 0)
        rc = krb5_cc_default(ctx, &cache);
    if (rc == 0)
        rc = krb5_cc_initialize(ctx, cache, client);
    if (rc == 0)
        rc = krb5_cc_store_cred(ctx, cache, &creds);
    if (rc != 0) {
        const char *msg = krb5_get_error_message(ctx, rc);
        *error = QString::fromUtf8(msg);
        krb5_free_error_message(ctx, msg);
    }
    pw.fill('\0');
    if (cache)
        krb5_cc_close(ctx, cache);
    krb5_free_cred_contents(ctx, &creds);
    if (client)
        krb5_free_principal(ctx, client);
    krb5_free_context(ctx);
    return rc == 0;
}

} // namespace

TEST_F(ConnectionDomain, SimpleBindDerivesTheContextAndDisconnectClearsIt)
{
    TConnectionSettings s = adminSettings();
    const TConnectResult r = ConnectWithSettings(s);
    ASSERT_TRUE(r.RootDse && r.DomainObject);
    expectContext(s, fact("LDAP_PORT"));
    EXPECT_EQ(r.DomainObject->distinguishedName().toLower(), fact("BASE_DN").toLower());

    // Later binds go through the context.
    ads::ObjectPtr users;
    EXPECT_EQ(OpenWithContext(QStringLiteral("CN=Users,") + fact("BASE_DN"), &users), ads::S_OK);
    TQelADSISearching search;
    ApplyContextCredentials(search);
    EXPECT_EQ(search.UserName(), s.UserName);
    EXPECT_EQ(search.AuthFlags(), 0x200);

    // The value operations bind through the same server and account.
    EXPECT_EQ(DirectoryAccess().ServerPrefix, ConnectionContext().ServerPrefix);
    EXPECT_EQ(DirectoryAccess().UserName, s.UserName);
    EXPECT_EQ(DirectoryAccess().AuthFlags, 0x200u);

    auto handlerRuns = std::make_shared<int>(0);  // the handler outlives this test
    AddDisconnectHandler([handlerRuns] { ++*handlerRuns; });
    DisconnectContext();
    EXPECT_EQ(*handlerRuns, 1);
    EXPECT_TRUE(DirectoryAccess().ServerPrefix.isEmpty());
    EXPECT_TRUE(DirectoryAccess().Password.isEmpty());
    const TConnectionContext &c = ConnectionContext();
    EXPECT_TRUE(c.ServerPrefix.isEmpty() && c.DomainPath.isEmpty() && c.DefaultNamingContext.isEmpty());
    EXPECT_TRUE(c.DcHostName.isEmpty() && c.UserName.isEmpty() && c.Password.isEmpty());
    EXPECT_EQ(c.AuthFlags, 0u);
    EXPECT_TRUE(c.UseCredentials);
    EXPECT_FALSE(c.NameTranslator);
}

TEST_F(ConnectionDomain, LdapsSimpleBind)
{
    TConnectionSettings s = adminSettings();
    s.UseEncryption = true;
    s.Port.clear();  // the encrypted default port
    ASSERT_NO_THROW(ConnectWithSettings(s));
    expectContext(s, QStringLiteral("636"));
    EXPECT_EQ(ConnectionContext().AuthFlags, 0x202u);
}

TEST_F(ConnectionDomain, KerberosWithPasswordAndSealing)
{
    TConnectionSettings s = adminSettings();
    s.SecureAuthentication = true;
    ASSERT_NO_THROW(ConnectWithSettings(s));
    expectContext(s, fact("LDAP_PORT"));
    EXPECT_EQ(ConnectionContext().AuthFlags, 1u);
    DisconnectContext();

    s.UseKerberos = true;
    ASSERT_NO_THROW(ConnectWithSettings(s));
    EXPECT_EQ(ConnectionContext().AuthFlags, 0x81u);
}

TEST_F(ConnectionDomain, KerberosFromTheTicketCacheWithoutCredentials)
{
    // The current logon: a ticket obtained beforehand (as kinit does) in the default cache.
    QString error;
    ASSERT_TRUE(obtainTicketIntoDefaultCache(fact("ADMIN_UPN"), fact("ADMIN_PASSWORD"), &error))
        << error.toStdString();

    TConnectionSettings s = adminSettings();
    s.SecureAuthentication = true;
    s.UseCredentials = false;
    ASSERT_NO_THROW(ConnectWithSettings(s));
    expectContext(s, fact("LDAP_PORT"));
    EXPECT_TRUE(ConnectionContext().UserName.isEmpty());
}

TEST_F(ConnectionDomain, TestBindReportsWrongPasswordAndApplySavesNothing)
{
    TConnectionSettings good = adminSettings();
    EXPECT_EQ(TestConnectionSettings(good), QString());

    TConnectionSettings bad = good;
    bad.Password = QStringLiteral("not-the-password");
    const QString text = TestConnectionSettings(bad);
    EXPECT_TRUE(text.startsWith(QStringLiteral("The user name or password is incorrect."))) << text.toStdString();
    EXPECT_FALSE(text.contains(bad.Password));

    QString error;
    EXPECT_FALSE(ApplyConnectionSettings(bad, &error));
    EXPECT_EQ(error, text);
    registry::Key stored;
    EXPECT_TRUE(!stored.open(kConnectionKey, registry::Access::Read) || stored.valueNames().isEmpty());

    ASSERT_TRUE(ApplyConnectionSettings(good, &error)) << error.toStdString();
    TConnectionSettings loaded;
    ASSERT_TRUE(LoadConnectionSettings(loaded));
    EXPECT_EQ(loaded.ServerName, good.ServerName);
    EXPECT_EQ(loaded.Password, good.Password);
    ASSERT_NO_THROW(ConnectWithSettings(loaded));
}

TEST_F(ConnectionDomain, UnreachableServerRaisesTheRootDseError)
{
    TConnectionSettings s = adminSettings();
    s.Port = QStringLiteral("1");  // nothing listens there
    try {
        ConnectWithSettings(s);
        FAIL() << "connected to a closed port";
    } catch (const ERootDSEBindException &e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("The server is not operational."))) << e.what();
    }
    EXPECT_TRUE(ConnectionContext().ServerPrefix.isEmpty());  // nothing half-published
}

TEST_F(ConnectionDomain, MissingCredentialsAreAskedForOnce)
{
    TConnectionSettings s = adminSettings();
    s.Password.clear();
    int asked = 0;
    const TConnectResult r = ConnectWithSettings(s, [&](TConnectionSettings &copy) {
        ++asked;
        EXPECT_EQ(copy.UserName, fact("ADMIN_USER"));
        copy.Password = fact("ADMIN_PASSWORD");
        copy.RememberMe = true;
        return true;
    });
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(s.RememberMe);
    EXPECT_EQ(ConnectionContext().Password, fact("ADMIN_PASSWORD"));
    DisconnectContext();

    // Complete credentials: nobody is asked.
    ConnectWithSettings(s, [&](TConnectionSettings &) { ++asked; return true; });
    EXPECT_EQ(asked, 1);
}

TEST_F(ConnectionDomain, NameTranslatorConvertsBetweenForms)
{
    TConnectionSettings s = adminSettings();
    ConnectWithSettings(s);
    const auto nt = GetNameTranslator();
    ASSERT_TRUE(nt);
    EXPECT_EQ(GetNameTranslator(), nt);  // cached

    const QString adminDn = QStringLiteral("CN=Administrator,CN=Users,") + fact("BASE_DN");
    const QString canonical = fact("DNS_DOMAIN") + QStringLiteral("/Users/Administrator");
    QString name;
    ASSERT_EQ(nt->Set(TNameTranslate::ADS_NAME_TYPE_1779, adminDn), ads::S_OK);
    ASSERT_EQ(nt->Get(TNameTranslate::ADS_NAME_TYPE_NT4, &name), ads::S_OK);
    EXPECT_EQ(name.toUpper(), fact("ADMIN_USER").toUpper());
    ASSERT_EQ(nt->Get(TNameTranslate::ADS_NAME_TYPE_CANONICAL, &name), ads::S_OK);
    EXPECT_EQ(name.toLower(), canonical.toLower());

    ASSERT_EQ(nt->Set(TNameTranslate::ADS_NAME_TYPE_NT4, fact("ADMIN_USER").toLower()), ads::S_OK);
    ASSERT_EQ(nt->Get(TNameTranslate::ADS_NAME_TYPE_1779, &name), ads::S_OK);
    EXPECT_EQ(name.toLower(), adminDn.toLower());

    ASSERT_EQ(nt->Set(TNameTranslate::ADS_NAME_TYPE_UNKNOWN, canonical), ads::S_OK);
    ASSERT_EQ(nt->Get(TNameTranslate::ADS_NAME_TYPE_1779, &name), ads::S_OK);
    EXPECT_EQ(name.toLower(), adminDn.toLower());

    // The domain itself has the NT4 name "DOMAIN\".
    ASSERT_EQ(nt->Set(TNameTranslate::ADS_NAME_TYPE_1779, fact("BASE_DN")), ads::S_OK);
    ASSERT_EQ(nt->Get(TNameTranslate::ADS_NAME_TYPE_NT4, &name), ads::S_OK);
    EXPECT_EQ(name.toUpper(), fact("NETBIOS").toUpper() + u'\\');

    EXPECT_TRUE(ads::failed(nt->Set(TNameTranslate::ADS_NAME_TYPE_NT4, fact("NETBIOS") + QStringLiteral("\\no-such-user-x"))));
    EXPECT_TRUE(ads::failed(nt->Set(TNameTranslate::ADS_NAME_TYPE_CANONICAL, fact("DNS_DOMAIN") + QStringLiteral("/Users/Nobody Here"))));
    EXPECT_TRUE(ads::failed(nt->Set(TNameTranslate::ADS_NAME_TYPE_NT4, QStringLiteral("NODOMAIN\\Administrator"))));

    DisconnectContext();
    EXPECT_FALSE(ConnectionContext().NameTranslator);
}
