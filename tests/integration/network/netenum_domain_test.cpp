// The network stand-in against the network domain: SRV records from its own DNS server,
// server facts from both controllers, and a stopped controller.
#include "network/unNetServer.h"
#include "platform/netenum/netenum.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QProcess>
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
    // Anonymous: both are controllers, neither is known to hold the PDC role.
    EXPECT_TRUE(dc1.GetDescription().startsWith("OS Version: [NT] ")) << dc1.GetDescription().toStdString();
    EXPECT_TRUE(dc1.GetDescription().endsWith("Support:[WKS][SVR][BDC][NT][SNT]")) << dc1.GetDescription().toStdString();
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
