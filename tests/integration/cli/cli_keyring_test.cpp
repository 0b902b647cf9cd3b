// "Remember me" of arvendel-cli with a private desktop session (its own D-Bus and GNOME
// Keyring): the password goes to the keyring and never into the settings file; a locked
// keyring is neither waited for nor bypassed; without a keyring the obfuscated form is used,
// and moves into a keyring once one answers. Read back with secret-tool.
#include "cli_fixture.h"
#include "support/keyring.h"

namespace {

// The registry value names of the stored password and of Remember Me.
const QByteArray kPasswordValue = "1A15F19F-61DB-4B0B-A118-FA8DE7FF82D9";
const QByteArray kRememberValue = "7FCAA05A-944A-477C-AA2D-FB2094D598C1";

class CliKeyring : public CliDomain {
protected:
    QByteArray settingsFile() const
    {
        QFile f(dir.path() + QStringLiteral("/cfg/registry.ini"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList saveRemembered(const QStringList &more = {}) const
    {
        return QStringList{QStringLiteral("settings"), QStringLiteral("save"), QStringLiteral("--server"), fact("ADDR"),
                           QStringLiteral("--simple"), QStringLiteral("--user"), fact("ADMIN_USER"), QStringLiteral("--remember")} +
               more;
    }
    QStringList withPassword() const { return {QStringLiteral("--password-file"), passwordFile}; }
};

} // namespace

TEST_F(CliKeyring, TheRememberedPasswordLivesInTheKeyringOnly)
{
    testsupport::PrivateKeyring keyring;
    ASSERT_TRUE(keyring.error().isEmpty()) << keyring.error().toStdString();
    baseEnvironment = keyring.environment();

    CliRun r = cli(saveRemembered(withPassword()));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("PasswordStore: keyring"))) << r.out.toStdString();
    EXPECT_EQ(keyring.lookup(fact("ADDR"), fact("ADMIN_USER")), fact("ADMIN_PASSWORD"));
    EXPECT_TRUE(settingsFile().contains(kRememberValue));
    EXPECT_FALSE(settingsFile().contains(kPasswordValue));

    // The connecting commands find it there.
    r = cli({QStringLiteral("connect")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

    // Without Remember Me it is forgotten.
    r = cli({QStringLiteral("settings"), QStringLiteral("save"), QStringLiteral("--no-remember")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(keyring.lookup(fact("ADDR"), fact("ADMIN_USER")).isEmpty());
}

TEST_F(CliKeyring, ALockedKeyringIsNeitherWaitedForNorBypassed)
{
    testsupport::PrivateKeyring keyring;
    ASSERT_TRUE(keyring.error().isEmpty()) << keyring.error().toStdString();
    baseEnvironment = keyring.environment();
    ASSERT_EQ(cli(saveRemembered(withPassword())).exitCode, 0);
    ASSERT_TRUE(keyring.lock());

    // Nobody can unlock it here (no terminal, no prompter): the command says so and stops
    // rather than bind without the password.
    CliRun r = cli({QStringLiteral("connect")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QLatin1String("The keyring is locked"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("a password is needed")));
    // A password given explicitly still connects.
    r = cli(QStringList{QStringLiteral("connect")} + withPassword());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

    // Saving into the locked keyring keeps the password for that run only, not in the file.
    r = cli(saveRemembered(withPassword()));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("PasswordStore: this session only"))) << r.out.toStdString();
    EXPECT_FALSE(settingsFile().contains(kPasswordValue));
}

TEST_F(CliKeyring, WithoutAKeyringTheObfuscatedFormIsUsedAndMovesIntoOneLater)
{
    {
        testsupport::PrivateKeyring bareBus(false);
        ASSERT_TRUE(bareBus.error().isEmpty()) << bareBus.error().toStdString();
        baseEnvironment = bareBus.environment();
        CliRun r = cli(saveRemembered(withPassword()));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("No keyring (Secret Service) answers"))) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QLatin1String("PasswordStore: settings file (obfuscated)")));
        const QByteArray file = settingsFile();
        EXPECT_TRUE(file.contains(kPasswordValue));
        EXPECT_FALSE(file.contains(fact("ADMIN_PASSWORD").toUtf8()));
        r = cli({QStringLiteral("connect")});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    // Settings written that way (or before the keyring was used) keep loading, and the next
    // save with Remember Me moves the password into the keyring.
    testsupport::PrivateKeyring keyring;
    ASSERT_TRUE(keyring.error().isEmpty()) << keyring.error().toStdString();
    baseEnvironment = keyring.environment();
    const CliRun r = cli({QStringLiteral("settings"), QStringLiteral("save"), QStringLiteral("--remember")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("PasswordStore: keyring"))) << r.out.toStdString();
    EXPECT_EQ(keyring.lookup(fact("ADDR"), fact("ADMIN_USER")), fact("ADMIN_PASSWORD"));
    EXPECT_FALSE(settingsFile().contains(kPasswordValue));
}
