// arvendel-cli account run as a child process against the test domain: the account as the
// property dialog shows it, unlocking and expiry.
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testsupport::fact;

namespace {

class CliAccount : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_TRUE(dir.isValid());
        passwordFile = dir.path() + QStringLiteral("/pw");
        QFile f(passwordFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(fact("ADMIN_PASSWORD").toUtf8() + '\n');
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        ou = QStringLiteral("OU=up-cli-%1,%2").arg(QRandomGenerator::global()->bounded(100000000)).arg(fact("BASE_DN"));
        ASSERT_EQ(testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: add\nobjectClass: organizationalUnit\n")
                                              .arg(ou).toUtf8())
                      .exitCode,
                  0);
    }
    void TearDown() override
    {
        if (!user.isEmpty())
            testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: delete\n").arg(user).toUtf8());
        testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: delete\n").arg(ou).toUtf8());
    }

    QString run(const QStringList &extra, int *exitCode)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ARV_SETTINGS_FILE"), dir.path() + QStringLiteral("/cfg/registry.ini"));
        env.insert(QStringLiteral("LDAPTLS_CACERT"), fact("CA_FILE"));
        env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(QStringLiteral(ARV_CLI_PATH),
                QStringList{command, user, QStringLiteral("--server"), fact("ADDR"),
                            QStringLiteral("--user"), fact("ADMIN_USER"), QStringLiteral("--password-file"),
                            passwordFile, QStringLiteral("--simple")}
                    + extra);
        EXPECT_TRUE(p.waitForFinished(60000));
        *exitCode = p.exitCode();
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        EXPECT_FALSE(out.contains(fact("ADMIN_PASSWORD")));
        return out + QString::fromUtf8(p.readAllStandardError());
    }

    QString command = QStringLiteral("account");
    QTemporaryDir dir;
    QString passwordFile;
    QString ou;
    QString user;
};

} // namespace

TEST_F(CliAccount, ShowsHoursWorkstationsAndChangesExpiryAndLockout)
{
    // Monday 08:00-10:00 UTC permitted: bits 32 and 33 (Monday starts at hour 24).
    QByteArray hours(21, '\0');
    hours[4] = 0x03;
    user = QStringLiteral("CN=up-cli-user,%1").arg(ou);
    ASSERT_EQ(testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: add\nobjectClass: user\nsAMAccountName: up-cli-%2\n"
                                                     "logonHours:: %3\nuserWorkstations: WS-1,WS-2\n"
                                                     "lockoutTime: 0\n")
                                          .arg(user)
                                          .arg(QRandomGenerator::global()->bounded(1000000))
                                          .arg(QString::fromLatin1(hours.toBase64()))
                                          .toUtf8())
                  .exitCode,
              0);
    int rc = -1;
    QString out = run({}, &rc);
    ASSERT_EQ(rc, 0) << out.toStdString();
    EXPECT_TRUE(out.contains("Monday     ........##..............")) << out.toStdString();
    EXPECT_TRUE(out.contains("Sunday     ........................")) << out.toStdString();
    EXPECT_TRUE(out.contains("Log on to: WS-1, WS-2")) << out.toStdString();
    EXPECT_TRUE(out.contains("[x] Account is disabled")) << out.toStdString(); // no password yet
    EXPECT_TRUE(out.contains("Account expires: Never")) << out.toStdString();
    EXPECT_TRUE(out.contains("Domain Users")) << out.toStdString();

    out = run({QStringLiteral("--expires"), QStringLiteral("2031-07-14"), QStringLiteral("--unlock")}, &rc);
    ASSERT_EQ(rc, 0) << out.toStdString();
    EXPECT_TRUE(out.contains("Account expires: End of 2031-07-14")) << out.toStdString();
    // The first instant of 15 July 2031 in UTC, as a file time.
    const auto e = testsupport::ldapSearch(user, QStringLiteral("(objectClass=*)"), {QStringLiteral("accountExpires")},
                                           testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    ASSERT_EQ(e.size(), 1);
    EXPECT_EQ(e.first().text(QStringLiteral("accountExpires")), QStringLiteral("135863136000000000"));

    out = run({QStringLiteral("--expires"), QStringLiteral("tomorrow")}, &rc);
    EXPECT_EQ(rc, 2);
}

TEST_F(CliAccount, TrusteesPrintsTheRightsOfEachTrusteeAsTheSecurityTab)
{
    user = QStringLiteral("CN=up-cli-trustees,%1").arg(ou);
    ASSERT_EQ(testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: add\nobjectClass: user\nsAMAccountName: up-clt-%2\n")
                                          .arg(user)
                                          .arg(QRandomGenerator::global()->bounded(1000000))
                                          .toUtf8())
                  .exitCode,
              0);
    command = QStringLiteral("trustees");
    int rc = -1;
    QString out = run({}, &rc);
    ASSERT_EQ(rc, 0) << out.toStdString();
    const int admins = out.indexOf(QRegularExpression(QStringLiteral(R"re(\nDomain Admins \([^)]*\\Domain Admins\) \[S-1-5-21-[-0-9]+-512\]\n)re")));
    ASSERT_GE(admins, 0) << out.toStdString();
    EXPECT_TRUE(out.mid(admins).section('\n', 2, 2).startsWith(
        "  allow: Full Control, Read, Delete, Write, Create child objects, Delete child objects, Allowed to Authenticate, "
        "Change Password, Receive As, Reset Password, Send As"))
        << out.toStdString();
    EXPECT_TRUE(out.contains("\nSYSTEM [S-1-5-18]\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("Inheritable permissions from the parent: enabled")) << out.toStdString();

    // No mailbox descriptor: said, not an empty list.
    out = run({QStringLiteral("--mailbox")}, &rc);
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(out.contains("You do not have access to the Security Descriptor")) << out.toStdString();
}
