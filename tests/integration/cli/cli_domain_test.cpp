// arvendel-cli run as a child process against the test domain. Passwords reach it through a
// file or an environment variable only.
#include "cli_fixture.h"
#include "support/testdomain.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::fact;

TEST_F(CliDomain, ConnectPrintsTheContext)
{
    const CliRun r = cli(QStringList{QStringLiteral("connect")} + simpleAdmin());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList l = lines(r.out);
    EXPECT_TRUE(l.contains(QStringLiteral("ServerPrefix: LDAP://%1:389/").arg(fact("ADDR"))));
    EXPECT_TRUE(l.contains(QStringLiteral("DomainPath: LDAP://%1:389/%2").arg(fact("ADDR"), fact("BASE_DN"))));
    EXPECT_TRUE(l.contains(QStringLiteral("DefaultNamingContext: ") + fact("BASE_DN")));
    EXPECT_TRUE(l.contains(QStringLiteral("DcHostName: ") + fact("DNS_HOST"), Qt::CaseInsensitive));
    EXPECT_TRUE(l.contains(QStringLiteral("DcShortName: ") + fact("HOST"), Qt::CaseInsensitive));
    EXPECT_TRUE(l.contains(QStringLiteral("DnsDomainName: ") + fact("DNS_DOMAIN"), Qt::CaseInsensitive));
    EXPECT_TRUE(l.contains(QStringLiteral("AuthFlags: 0x00000200")));
    EXPECT_TRUE(r.out.contains(QRegularExpression(QStringLiteral("^DomainFunctionality: [1-9][0-9]*$"),
                                                  QRegularExpression::MultilineOption)));
}

TEST_F(CliDomain, ConnectOverLdapsWithThePasswordInAVariable)
{
    const CliRun r = cli({QStringLiteral("connect"), QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--ssl"),
                       QStringLiteral("--simple"), QStringLiteral("--user"), fact("ADMIN_USER"),
                       QStringLiteral("--password-env"), QStringLiteral("ARV_CLI_TEST_PW")},
                      fact("ADMIN_PASSWORD"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("ServerPrefix: LDAP://%1:636/").arg(fact("ADDR"))));
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("AuthFlags: 0x00000202")));
}

TEST_F(CliDomain, ConnectWithKerberosPassword)
{
    const CliRun r = cli({QStringLiteral("connect"), QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--secure"),
                       QStringLiteral("--user"), fact("ADMIN_USER"), QStringLiteral("--password-file"), passwordFile});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("AuthFlags: 0x00000001")));
}

TEST_F(CliDomain, ConnectWithTheCurrentLogonsTicket)
{
    ticketCache = QStringLiteral("FILE:") + dir.path() + QStringLiteral("/krb5cc");
    QProcess kinit;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KRB5_CONFIG"), fact("KRB5_CONFIG"));
    env.insert(QStringLiteral("KRB5CCNAME"), ticketCache);
    kinit.setProcessEnvironment(env);
    kinit.start(QStringLiteral("kinit"), {fact("ADMIN_UPN")});
    ASSERT_TRUE(kinit.waitForStarted()) << "kinit (krb5-user) is missing";
    kinit.write(fact("ADMIN_PASSWORD").toUtf8() + '\n');
    kinit.closeWriteChannel();
    ASSERT_TRUE(kinit.waitForFinished(30000));
    ASSERT_EQ(kinit.exitCode(), 0) << kinit.readAllStandardError().toStdString();

    const CliRun r = cli({QStringLiteral("connect"), QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--secure"),
                          QStringLiteral("--no-credentials")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("AuthFlags: 0x00000001")));
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("UseCredentials: false")));
}

TEST_F(CliDomain, DirectoryErrorsPrintTheProgramsTextAndFail)
{
    CliRun r = cli({QStringLiteral("connect"), QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--simple"),
                 QStringLiteral("--user"), fact("ADMIN_USER"), QStringLiteral("--password-env"),
                 QStringLiteral("ARV_CLI_TEST_PW")},
                QStringLiteral("wrong-password"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("The user name or password is incorrect."))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());

    r = cli({QStringLiteral("connect"), QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--port"),
             QStringLiteral("1"), QStringLiteral("--simple"), QStringLiteral("--no-credentials")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("The server is not operational."))) << r.err.toStdString();

    r = cli(search({QStringLiteral("--filter"), QStringLiteral("(cn=Administrator")}));
    EXPECT_EQ(r.exitCode, 1);
    // The code alone does not tell a reader what went wrong: the readable text follows it.
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("Search failed (result code 80005014)\nThe specified search filter is invalid."));

    // A password file others may read works, with a warning.
    QFile(passwordFile).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    r = cli(search({QStringLiteral("--filter"), QStringLiteral("(cn=Administrator)")}));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("can be read by other users"))) << r.err.toStdString();
    QFile(passwordFile).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    r = cli(search({QStringLiteral("--filter"), QStringLiteral("(cn=Administrator)")}));
    EXPECT_FALSE(r.err.contains(QStringLiteral("can be read by other users"))) << r.err.toStdString();

    r = cli(search({QStringLiteral("--base"), QStringLiteral("OU=No Such Unit,") + fact("BASE_DN")}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.trimmed().isEmpty());
}

TEST_F(CliDomain, UsageErrorsAndNoPasswordArgument)
{
    EXPECT_EQ(cli({QStringLiteral("connect"), QStringLiteral("--password"), QStringLiteral("x")}).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("nosuchcommand")}).exitCode, 2);
    EXPECT_EQ(cli(search({QStringLiteral("--scope"), QStringLiteral("deep")})).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("connect"), QStringLiteral("--ssl"), QStringLiteral("--no-ssl")}).exitCode, 2);
    // Credentials without a password and no terminal: refused instead of binding as someone else.
    const CliRun r = cli({QStringLiteral("connect"), QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--simple"),
                       QStringLiteral("--user"), fact("ADMIN_USER")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("a password is needed"))) << r.err.toStdString();
}

TEST_F(CliDomain, HelpNeitherConnectsNorSavesAndStrayArgumentsAreRefused)
{
    // Settings that would fail to connect: a help request that went on to run the command
    // would show up as a directory error, or as a settings file written.
    const QString settingsFile = dir.path() + QStringLiteral("/cfg/registry.ini");
    const QStringList unreachable{QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--port"), QStringLiteral("1"),
                                  QStringLiteral("--no-credentials")};
    const QList<QStringList> commands{{QStringLiteral("connect")},
                                      {QStringLiteral("search")},
                                      {QStringLiteral("security"), QStringLiteral("Administrator")},
                                      {QStringLiteral("translate"), QStringLiteral("Administrator")},
                                      {QStringLiteral("settings"), QStringLiteral("save")}};
    for (const QStringList &command : commands) {
        for (const QString &help : {QStringLiteral("--help"), QStringLiteral("--help-all")}) {
            const CliRun r = cli(command + unreachable + QStringList{help});
            const std::string what = (command.join(u' ') + u' ' + help).toStdString();
            EXPECT_EQ(r.exitCode, 0) << what << ": " << r.err.toStdString();
            EXPECT_TRUE(r.err.isEmpty()) << what << ": " << r.err.toStdString();
            // Each command's help lists the shared connection options too.
            EXPECT_TRUE(r.out.contains(QStringLiteral("--password-file <file>"))) << what;
            EXPECT_TRUE(r.out.contains(QStringLiteral("--help-all"))) << what;
        }
    }
    EXPECT_FALSE(QFile::exists(settingsFile));

    for (const QString &command : {QStringLiteral("connect"), QStringLiteral("search")}) {
        const CliRun r = cli(QStringList{command, QStringLiteral("extra")} + unreachable);
        EXPECT_EQ(r.exitCode, 2) << command.toStdString();
        EXPECT_EQ(r.err, QStringLiteral("arvendel-cli: unexpected argument extra\nTry 'arvendel-cli %1 --help'.\n").arg(command));
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST_F(CliDomain, SearchPrintsTypedRowsAlignedWithTheAttributes)
{
    const CliRun r = cli(search({QStringLiteral("--base"), QStringLiteral("CN=Users,") + fact("BASE_DN"),
                              QStringLiteral("--filter"), QStringLiteral("(sAMAccountName=Administrator)"),
                              QStringLiteral("--attrs"),
                              QStringLiteral("sAMAccountName,objectGUID,objectSid,accountExpires,memberOf,userAccountControl,noSuchAttribute,whenCreated")}));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList rows = lines(r.out);
    ASSERT_EQ(rows.size(), 1) << r.out.toStdString();
    const QStringList f = rows.first().split(u'\t');
    ASSERT_EQ(f.size(), 8);
    EXPECT_EQ(f[0], QStringLiteral("sAMAccountName=\"Administrator\""));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^objectGUID=\"\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}\"$"))
                    .match(f[1]).hasMatch()) << f[1].toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^objectSid=bytes:01050000[0-9A-F]{48}$")).match(f[2]).hasMatch())
        << f[2].toStdString();
    EXPECT_EQ(f[3], QStringLiteral("accountExpires=date:"));  // never expires: the zero date
    EXPECT_TRUE(f[4].startsWith(QStringLiteral("memberOf=[\"CN=")) && f[4].contains(QStringLiteral("CN=Domain Admins,")))
        << f[4].toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^userAccountControl=int:[0-9]+$")).match(f[5]).hasMatch());
    EXPECT_EQ(f[6], QStringLiteral("noSuchAttribute="));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^whenCreated=date:20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-9:]{8}\\.[0-9]{3}$"))
                    .match(f[7]).hasMatch()) << f[7].toStdString();
}

TEST_F(CliDomain, SearchSortsLimitsAndListsAllAttributes)
{
    // Below the seeded OU only: other tests add and remove users elsewhere while this runs,
    // and the two sort orders must see the same users.
    const QStringList base{QStringLiteral("--base"), fact("SEED_OU"),
                           QStringLiteral("--filter"), QStringLiteral("(&(objectCategory=person)(objectClass=user))"),
                           QStringLiteral("--attrs"), QStringLiteral("sAMAccountName"), QStringLiteral("--sort"),
                           QStringLiteral("sAMAccountName"), QStringLiteral("--page-size"), QStringLiteral("3")};
    const CliRun up = cli(search(base));
    ASSERT_EQ(up.exitCode, 0) << up.err.toStdString();
    const QStringList asc = lines(up.out);
    ASSERT_GE(asc.size(), 4);
    QStringList sorted = asc;
    std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    EXPECT_EQ(asc, sorted);

    const CliRun down = cli(search(base + QStringList{QStringLiteral("--reverse")}));
    ASSERT_EQ(down.exitCode, 0);
    QStringList desc = lines(down.out);
    std::reverse(desc.begin(), desc.end());
    EXPECT_EQ(desc, asc);

    const CliRun limited = cli(search(base + QStringList{QStringLiteral("--size-limit"), QStringLiteral("2")}));
    EXPECT_EQ(limited.exitCode, 0) << limited.err.toStdString();
    EXPECT_EQ(lines(limited.out), asc.mid(0, 2));

    const CliRun all = cli(search({QStringLiteral("--base"), fact("ADMIN_DN"), QStringLiteral("--scope"), QStringLiteral("base")}));
    ASSERT_EQ(all.exitCode, 0) << all.err.toStdString();
    const QStringList fields = lines(all.out).value(0).split(u'\t');
    EXPECT_TRUE(fields.contains(QStringLiteral("cn=\"Administrator\""))) << all.out.toStdString();
    EXPECT_TRUE(std::any_of(fields.begin(), fields.end(),
                            [](const QString &f) { return f.startsWith(QStringLiteral("objectClass=[\"top\", ")); }));
}

TEST_F(CliDomain, TranslateConvertsNames)
{
    CliRun r = cli(QStringList{QStringLiteral("translate")} + simpleAdmin() +
                   QStringList{QStringLiteral("--to"), QStringLiteral("canonical"), fact("ADMIN_USER")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed().toLower(), (fact("DNS_DOMAIN") + QStringLiteral("/Users/Administrator")).toLower());

    r = cli(QStringList{QStringLiteral("translate")} + simpleAdmin() +
            QStringList{QStringLiteral("--from"), QStringLiteral("nt4"), fact("NETBIOS") + QStringLiteral("\\no-such-account")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_FALSE(r.err.trimmed().isEmpty());
}

TEST_F(CliDomain, SavedSettingsAreUsedByDefault)
{
    // Without --remember the password is not stored: the next run has none.
    CliRun r = cli(QStringList{QStringLiteral("settings"), QStringLiteral("save"), QStringLiteral("--test")} + simpleAdmin());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = cli({QStringLiteral("settings"), QStringLiteral("show")});
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("Password: (empty)"))) << r.out.toStdString();

    r = cli(QStringList{QStringLiteral("settings"), QStringLiteral("save"), QStringLiteral("--test"),
                        QStringLiteral("--remember")} + simpleAdmin());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("Password: (set)")));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.path() + QStringLiteral("/cfg/registry.ini")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    QFile store(dir.path() + QStringLiteral("/cfg/registry.ini"));
    ASSERT_TRUE(store.open(QIODevice::ReadOnly));
    EXPECT_FALSE(store.readAll().contains(fact("ADMIN_PASSWORD").toUtf8()));

    r = cli({QStringLiteral("connect")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("UserName: ") + fact("ADMIN_USER")));

    // A failing test bind saves nothing.
    r = cli({QStringLiteral("settings"), QStringLiteral("save"), QStringLiteral("--test"), QStringLiteral("--port"),
             QStringLiteral("1")});
    EXPECT_EQ(r.exitCode, 1);
    r = cli({QStringLiteral("settings"), QStringLiteral("show")});
    EXPECT_TRUE(lines(r.out).contains(QStringLiteral("Port: 389")));
}
