#include "core/unCipher.h"
#include "core/unConnection.h"
#include "platform/registry/registry.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        file = dir.path() + QStringLiteral("/Arvendel/registry.ini");
        registry::setStoreFile(file);
    }
    void TearDown() override { registry::setStoreFile({}); }

    registry::Key connectionKey()
    {
        registry::Key k;
        EXPECT_TRUE(k.open(kConnectionKey, registry::Access::ReadWrite));
        return k;
    }

    QTemporaryDir dir;
    QString file;
};

QByteArray utf16(const QString &s)
{
    return QByteArray(reinterpret_cast<const char *>(s.utf16()), s.size() * 2);
}

} // namespace

TEST(AuthFlags, CombinationsAndRootDsePaths)
{
    TConnectionSettings s;
    EXPECT_EQ(GetAuthFlags(s), 1u);
    EXPECT_EQ(GetRootDSEPath(s), QStringLiteral("LDAP://RootDSE"));

    s.UseDefaultServer = false;
    s.ServerName = QStringLiteral("dc1");
    EXPECT_EQ(GetRootDSEPath(s), QStringLiteral("LDAP://dc1:389/RootDSE"));
    s.Port.clear();
    s.UseEncryption = true;
    EXPECT_EQ(GetRootDSEPath(s), QStringLiteral("LDAP://dc1:636/RootDSE"));
    EXPECT_EQ(GetAuthFlags(s), 3u);
    s.UseKerberos = true;
    EXPECT_EQ(GetAuthFlags(s), 0x83u);
    s.SecureAuthentication = false;  // sealing needs secure authentication
    EXPECT_EQ(GetAuthFlags(s), 0x202u);
    s.UseEncryption = false;
    EXPECT_EQ(GetAuthFlags(s), 0x200u);
    EXPECT_EQ(GetRootDSEPath(s), QStringLiteral("LDAP://dc1:389/RootDSE"));
    s.Port = QStringLiteral("3268");
    EXPECT_EQ(GetRootDSEPath(s), QStringLiteral("LDAP://dc1:3268/RootDSE"));

    // A server name is ignored while the default server is chosen, and an empty one means
    // the default server.
    s.UseDefaultServer = true;
    EXPECT_EQ(GetRootDSEPath(s), QStringLiteral("LDAP://RootDSE"));
    s.UseDefaultServer = false;
    s.ServerName.clear();
    EXPECT_EQ(GetRootDSEPath(s), QStringLiteral("LDAP://RootDSE"));
}

TEST_F(SettingsStore, FreshStoreKeepsDefaults)
{
    TConnectionSettings s;
    ASSERT_TRUE(LoadConnectionSettings(s));
    const TConnectionSettings d;
    EXPECT_EQ(s.UseCredentials, d.UseCredentials);
    EXPECT_TRUE(s.UseDefaultServer);
    EXPECT_FALSE(s.UseEncryption);
    EXPECT_TRUE(s.SecureAuthentication);
    EXPECT_FALSE(s.UseKerberos);
    EXPECT_FALSE(s.RememberMe);
    EXPECT_EQ(s.Port, QStringLiteral("389"));
    EXPECT_TRUE(s.ServerName.isEmpty() && s.UserName.isEmpty() && s.Password.isEmpty());
}

TEST_F(SettingsStore, EveryFieldRoundTripsWithCredentialsEnciphered)
{
    TConnectionSettings s;
    s.UseCredentials = true;
    s.UseDefaultServer = false;
    s.UseEncryption = true;
    s.SecureAuthentication = false;
    s.UseKerberos = true;
    s.RememberMe = true;
    s.ServerName = QStringLiteral("dc1.exämple.test");
    s.Port = QStringLiteral("636");
    s.UserName = QStringLiteral("EXAMPLE\\Jürgen");
    s.Password = QStringLiteral("pä$$ \"w0rd\"");
    ASSERT_TRUE(SaveConnectionSettings(s));

    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    TConnectionSettings r;
    ASSERT_TRUE(LoadConnectionSettings(r));
    EXPECT_TRUE(r.UseCredentials);
    EXPECT_FALSE(r.UseDefaultServer);
    EXPECT_TRUE(r.UseEncryption);
    EXPECT_FALSE(r.SecureAuthentication);
    EXPECT_TRUE(r.UseKerberos);
    EXPECT_TRUE(r.RememberMe);
    EXPECT_EQ(r.ServerName, s.ServerName);
    EXPECT_EQ(r.Port, s.Port);
    EXPECT_EQ(r.UserName, s.UserName);
    EXPECT_EQ(r.Password, s.Password);

    // The stored layout: integers, the server name in UTF-16LE, the port as a string and the
    // credentials enciphered (never the plain text).
    registry::Key k = connectionKey();
    EXPECT_EQ(k.readInt(QStringLiteral("{BCBB1B83-405C-491A-A8DE-8958C27BE10E}")), 1);
    EXPECT_EQ(k.readInt(QStringLiteral("{FDFAA39D-E130-4EC6-850D-A65FB8235162}")), 0);
    EXPECT_EQ(k.readBinary(QStringLiteral("{0D0F7DEB-E5CE-4367-8E05-D23791676DBD}")), utf16(s.ServerName));
    EXPECT_EQ(k.readString(QStringLiteral("{F171ABBE-1F1D-4D3E-AD05-0BB570C15862}")), QStringLiteral("636"));
    const auto pw = k.readBinary(QStringLiteral("{1A15F19F-61DB-4B0B-A118-FA8DE7FF82D9}"));
    ASSERT_TRUE(pw.has_value());
    EXPECT_EQ(*pw, utf16(EncryptText(s.Password)));
    QFile raw(file);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray content = raw.readAll();
    EXPECT_FALSE(content.contains("w0rd"));
    EXPECT_FALSE(content.contains(utf16(QStringLiteral("w0rd")).toHex()));
    EXPECT_EQ(k.valueNames().size(), 10);
}

TEST_F(SettingsStore, MissingWrongTypedAndDamagedValues)
{
    registry::Key k = connectionKey();
    // Wrong type: left as it was. Damaged cipher text: empty. Binary text stops at a NUL.
    ASSERT_TRUE(k.writeString(QStringLiteral("{C40E26E3-A1D2-4582-8DD6-D40EF1E93EB3}"), QStringLiteral("0")));
    ASSERT_TRUE(k.writeInt(QStringLiteral("{24C442D7-69EF-40F0-9E61-0B99CB3E46EF}"), 7));
    ASSERT_TRUE(k.writeBinary(QStringLiteral("{1A15F19F-61DB-4B0B-A118-FA8DE7FF82D9}"), utf16(QStringLiteral("ZZ12"))));
    ASSERT_TRUE(k.writeBinary(QStringLiteral("{0D0F7DEB-E5CE-4367-8E05-D23791676DBD}"),
                              utf16(QStringLiteral("dc1")) + QByteArray(2, '\0') + utf16(QStringLiteral("junk"))));
    TConnectionSettings s;
    s.Password = QStringLiteral("before");
    s.UserName = QStringLiteral("kept");
    ASSERT_TRUE(LoadConnectionSettings(s));
    EXPECT_TRUE(s.UseDefaultServer);
    EXPECT_TRUE(s.UseEncryption);
    EXPECT_EQ(s.Password, QString());
    EXPECT_EQ(s.UserName, QStringLiteral("kept"));
    EXPECT_EQ(s.ServerName, QStringLiteral("dc1"));
}

TEST_F(SettingsStore, LongCredentialsSurvive)
{
    TConnectionSettings s;
    s.Password = QString(1500, QChar(u'p'));
    ASSERT_TRUE(SaveConnectionSettings(s));
    TConnectionSettings r;
    ASSERT_TRUE(LoadConnectionSettings(r));
    EXPECT_EQ(r.Password, s.Password);
}

TEST_F(SettingsStore, UnwritableStoreReportsInsteadOfPretending)
{
    registry::setStoreFile(QStringLiteral("/proc/arvendel-none/registry.ini"));
    QString error;
    EXPECT_FALSE(SaveConnectionSettings(TConnectionSettings(), &error));
    EXPECT_FALSE(error.isEmpty());
    TConnectionSettings s;
    EXPECT_FALSE(LoadConnectionSettings(s, &error));
}

TEST(CredentialsDialog, PrefillsBrowsedDomain)
{
    EXPECT_EQ(PrefillCredentialsUserName(QString(), QStringLiteral("EXAMPLE")), QStringLiteral("EXAMPLE\\"));
    EXPECT_EQ(PrefillCredentialsUserName(QStringLiteral("  "), QStringLiteral("EXAMPLE")), QStringLiteral("EXAMPLE\\"));
    EXPECT_EQ(PrefillCredentialsUserName(QStringLiteral("X\\u"), QStringLiteral("EXAMPLE")), QStringLiteral("X\\u"));
    EXPECT_EQ(PrefillCredentialsUserName(QString(), QString()), QString());
}

// The password reaches the settings file only with Remember Me; without it the password is
// kept for this process, a stored one is removed, and settings written before the box
// existed (password stored, flag off) keep working until they are saved again.
TEST_F(SettingsStore, PasswordIsStoredOnlyWhenRemembered)
{
    const QString passwordKey = QStringLiteral("{1A15F19F-61DB-4B0B-A118-FA8DE7FF82D9}");
    TConnectionSettings s;
    s.UseCredentials = true;
    s.UserName = QStringLiteral("EXAMPLE\\session");
    s.Password = QStringLiteral("only-for-now");
    s.RememberMe = false;
    ASSERT_TRUE(SaveConnectionSettings(s));
    QFile raw(file);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_FALSE(raw.readAll().toUpper().contains("1A15F19F")) << "a password value was written";
    raw.close();
    TConnectionSettings session;
    ASSERT_TRUE(LoadConnectionSettings(session));
    EXPECT_EQ(session.Password, s.Password);  // this process still has it

    // Remembered: stored; saved again without the box: removed from the file.
    s.RememberMe = true;
    ASSERT_TRUE(SaveConnectionSettings(s));
    EXPECT_TRUE(connectionKey().valueExists(passwordKey));
    s.RememberMe = false;
    ASSERT_TRUE(SaveConnectionSettings(s));
    EXPECT_FALSE(connectionKey().valueExists(passwordKey));

    // Another user's session password is not handed to these settings.
    s.UserName = QStringLiteral("EXAMPLE\\other");
    {
        registry::Key k = connectionKey();
        ASSERT_TRUE(k.writeBinary(QStringLiteral("{2A24B18C-1C19-47AD-BFC4-7E3B191819B2}"), utf16(EncryptText(s.UserName))));
        ASSERT_TRUE(k.flush());
    }
    TConnectionSettings other;
    ASSERT_TRUE(LoadConnectionSettings(other));
    EXPECT_TRUE(other.Password.isEmpty());

    // Written before the box existed: flag off, password stored; it is used as stored.
    {
        registry::Key k = connectionKey();
        ASSERT_TRUE(k.writeBinary(passwordKey, utf16(EncryptText(QStringLiteral("older")))));
        ASSERT_TRUE(k.flush());
    }
    TConnectionSettings legacy;
    ASSERT_TRUE(LoadConnectionSettings(legacy));
    EXPECT_FALSE(legacy.RememberMe);
    EXPECT_EQ(legacy.Password, QStringLiteral("older"));
}
