// The network stand-in against the network domain: SRV records from its own DNS server,
// server facts from both controllers, and a stopped controller.
#include "network/unNetServer.h"
#include "platform/netenum/netenum.h"
#include "platform/netenum/netlogon.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QProcess>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <vector>

using namespace netenum;
using testsupport::fact;

namespace {

class NetDomain : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_FALSE(fact("DNS_SERVER").isEmpty()) << "the network domain serves no DNS";
        ASSERT_FALSE(fact("DC2_ADDR").isEmpty()) << "the network domain has no second controller";
        Options o;
        o.systemDomains = false;
        o.domains = {fact("DNS_DOMAIN")};
        ASSERT_TRUE(parseDnsServer(fact("DNS_SERVER"), &o.dns));
        setOptions(o);
        setKnownDomains({});
        clearCredentials();
    }
    void TearDown() override { clearCredentials(); }

    // The entries below start, read through the enumeration with a small buffer so that the
    // more-data path is taken as the browser takes it.
    static QList<Resource> below(const Resource *start, int *openStatus = nullptr)
    {
        QList<Resource> out;
        std::vector<QByteArray> keep;
        NETRESOURCEA n{};
        if (start) {
            n.dwScope = start->scope;
            n.dwDisplayType = start->displayType;
            n.dwUsage = start->usage;
            keep.push_back(start->remoteName.toUtf8());
            n.lpRemoteName = keep.back().data();
        }
        HANDLE h = nullptr;
        const int rc = WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER,
                                     start ? &n : nullptr, &h);
        if (openStatus)
            *openStatus = rc;
        if (rc != NO_ERROR)
            return out;
        std::vector<char> buf(40);
        for (;;) {
            std::uint32_t count = 0xFFFFFFFF, size = std::uint32_t(buf.size());
            const int r = WNetEnumResourceA(h, &count, buf.data(), &size);
            if (r == ERROR_MORE_DATA) {
                buf.resize(size);
                continue;
            }
            if (r != NO_ERROR)
                break;
            const auto *e = reinterpret_cast<const NETRESOURCEA *>(buf.data());
            for (std::uint32_t i = 0; i < count; ++i)
                out << toResource(e[i]);
        }
        WNetCloseEnum(h);
        return out;
    }

    static QStringList names(const QList<Resource> &l)
    {
        QStringList s;
        for (const Resource &r : l)
            s << r.remoteName;
        return s;
    }
};

} // namespace

TEST_F(NetDomain, TreeListsTheDomainAndBothControllersFromRealSrvRecords)
{
    const QList<Resource> top = below(nullptr);
    ASSERT_EQ(top.size(), 1);
    const QList<Resource> domains = below(&top[0]);
    ASSERT_EQ(names(domains), QStringList{fact("DNS_DOMAIN")});
    const QList<Resource> servers = below(&domains[0]);
    EXPECT_EQ(names(servers), (QStringList{QStringLiteral("\\\\") + fact("DNS_HOST"),
                                           QStringLiteral("\\\\") + fact("DC2_DNS_HOST")}));
    for (const Resource &s : servers)
        EXPECT_EQ(s.displayType, RESOURCEDISPLAYTYPE_SERVER);
    int status = NO_ERROR;
    below(&servers[0], &status);
    EXPECT_EQ(status, ERROR_NOT_CONTAINER);

    // A domain the DNS server does not know: no servers, and the reason.
    Resource unknown = domains[0];
    unknown.remoteName = QStringLiteral("unknown-domain.test");
    EXPECT_TRUE(below(&unknown, &status).isEmpty());
    EXPECT_TRUE(WNetLastProblem().contains("unknown-domain.test")) << WNetLastProblem().toStdString();
}

TEST_F(NetDomain, HostNamesResolveThroughTheDomainsDnsServer)
{
    EXPECT_EQ(resolveHost(fact("DNS_HOST")), fact("ADDR"));
    EXPECT_EQ(resolveHost(fact("DC2_DNS_HOST")), fact("DC2_ADDR"));
    QString problem;
    EXPECT_TRUE(resolveHost(QStringLiteral("nohost.") + fact("DNS_DOMAIN"), &problem).isEmpty());
    EXPECT_FALSE(problem.isEmpty());
}

TEST_F(NetDomain, ServerFactsAnonymouslyAndWithCredentials)
{
    TNetServer dc1, dc2;
    dc1.setServerName(QStringLiteral("\\\\") + fact("DNS_HOST"));
    dc2.setServerName(QStringLiteral("\\\\") + fact("DC2_DNS_HOST"));
    // Anonymous: both are controllers; the ping tells which one holds the PDC role.
    EXPECT_TRUE(dc1.GetDescription().startsWith("OS Version: [NT] ")) << dc1.GetDescription().toStdString();
    EXPECT_TRUE(dc1.GetDescription().endsWith("Support:[WKS][SVR][PDC][NT][SNT]")) << dc1.GetDescription().toStdString();
    EXPECT_TRUE(dc2.GetDescription().endsWith("Support:[WKS][SVR][BDC][NT][SNT]")) << dc2.GetDescription().toStdString();
    EXPECT_TRUE(dc1.GetComment().isEmpty());

    // With credentials: the computer object's description and the PDC role holder (DC1).
    const QString dc2Dn = QStringLiteral("CN=DC2,OU=Domain Controllers,") + fact("BASE_DN");
    const QString comment = QStringLiteral("Second controller, built by the tests");
    ASSERT_EQ(testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: description\ndescription: %2\n")
                                          .arg(dc2Dn, comment)
                                          .toUtf8())
                  .exitCode,
              0);
    Credentials c;
    c.user = fact("ADMIN_USER");
    c.password = fact("ADMIN_PASSWORD");
    c.useCredentials = true;
    setCredentials(c);
    TNetServer dc1c, dc2c;
    dc1c.setServerName(QStringLiteral("\\\\") + fact("DNS_HOST"));
    dc2c.setServerName(QStringLiteral("\\\\") + fact("DC2_DNS_HOST"));
    EXPECT_TRUE(dc1c.GetDescription().endsWith("Support:[WKS][SVR][PDC][NT][SNT]")) << dc1c.GetDescription().toStdString();
    EXPECT_TRUE(dc2c.GetDescription().endsWith("Support:[WKS][SVR][BDC][NT][SNT]")) << dc2c.GetDescription().toStdString();
    // DC2 answers from its own replica; the change made on DC1 may not have arrived yet.
    const QString got = dc2c.GetComment();
    EXPECT_TRUE(got == comment || got.isEmpty()) << got.toStdString();
    testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: modify\ndelete: description\n").arg(dc2Dn).toUtf8());
}

TEST_F(NetDomain, StoppedControllerRaisesWithinBoundedTime)
{
    const QString script = qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/tests/domain/testdomain.sh");
    const QString dir = testsupport::domainDir();
    auto run = [&](const QStringList &args) {
        QProcess p;
        p.start(QStringLiteral("bash"), QStringList{script} + args + QStringList{QStringLiteral("--dir"), dir});
        p.waitForFinished(300000);
        return p.exitCode();
    };
    ASSERT_EQ(run({QStringLiteral("stop-dc2")}), 0);
    TNetServer dc2;
    dc2.setServerName(QStringLiteral("\\\\") + fact("DC2_DNS_HOST"));
    int code = 0;
    try {
        dc2.GetDescription();
    } catch (const ENTException &e) {
        code = e.Code();
    }
    // Its SRV record stays: the tree still lists it, its facts cannot be read.
    const QList<Resource> servers = below(&below(&below(nullptr)[0])[0]);
    EXPECT_EQ(run({QStringLiteral("join-dc")}), 0);  // starts it again
    EXPECT_EQ(code, ERROR_BAD_NETPATH);
    EXPECT_EQ(servers.size(), 2);
}

TEST_F(NetDomain, PingAnswersWithNetbiosNamesAndEveryCutAnswerIsRefused)
{
    NetlogonInfo info;
    QString problem;
    ASSERT_TRUE(netlogonPing(fact("DC2_ADDR"), fact("DNS_DOMAIN"), 2000, &info, &problem)) << problem.toStdString();
    EXPECT_EQ(info.netbiosDomainName, fact("NETBIOS"));
    EXPECT_EQ(info.netbiosComputerName, "DC2");
    EXPECT_EQ(info.dnsHostName, fact("DC2_DNS_HOST"));
    EXPECT_EQ(info.dnsDomainName, fact("DNS_DOMAIN"));
    EXPECT_FALSE(netlogonPing(QStringLiteral("127.0.0.253"), fact("DNS_DOMAIN"), 500, &info, &problem));

    // The raw answer: whole it reads, cut anywhere it is refused without reading past its end.
    QUdpSocket sock;
    sock.connectToHost(fact("ADDR"), 389);
    ASSERT_TRUE(sock.waitForConnected(2000));
    sock.write(netlogonRequest(7, fact("DNS_DOMAIN")));
    ASSERT_TRUE(sock.waitForReadyRead(2000));
    const QByteArray answer = sock.read(65536);
    NetlogonInfo whole;
    ASSERT_TRUE(parseNetlogonAnswer(answer, &whole, &problem)) << problem.toStdString();
    EXPECT_EQ(whole.netbiosComputerName, fact("HOST"));
    int accepted = 0;
    for (int n = 0; n < answer.size(); ++n) {
        NetlogonInfo cut;
        accepted += parseNetlogonAnswer(answer.left(n), &cut, &problem) ? 1 : 0;
    }
    // Only cuts inside what follows the names (the search-done message) may still read.
    EXPECT_LT(accepted, answer.size() / 2);
    EXPECT_FALSE(parseNetlogonAnswer(QByteArray(), &whole, &problem));
}

TEST_F(NetDomain, PickedServerBecomesItsAddressAndNetbiosDomain)
{
    QString server = fact("DC2_DNS_HOST"), domain = fact("DNS_DOMAIN");
    ConnectionValuesOfPickedServer(&server, &domain);
    EXPECT_EQ(server, fact("DC2_ADDR"));
    EXPECT_EQ(domain, fact("NETBIOS"));
    // Without the DNS server option the name stays for the system to resolve.
    Options o = options();
    o.dns = DnsServer();
    setOptions(o);
    server = QStringLiteral("nohost.invalid");
    domain = QStringLiteral("invalid");
    ConnectionValuesOfPickedServer(&server, &domain);
    EXPECT_EQ(server, "nohost.invalid");
    EXPECT_EQ(domain, "invalid");
}
