// The network enumeration stand-in: the buffer contract (more data, no more items, entries
// packed with their strings), handles, the default source's levels, DNS server options.
#include "platform/netenum/netenum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace netenum;

namespace {

Resource res(std::uint32_t displayType, const QString &remote, const QString &comment = QString())
{
    Resource r;
    r.displayType = displayType;
    r.remoteName = remote;
    r.comment = comment;
    r.provider = QStringLiteral("Test Provider");
    return r;
}

class FakeSource : public ::testing::Test {
protected:
    void SetUp() override
    {
        setSource([this](const Resource *start, QString *problem, int *status) {
            *status = NO_ERROR;
            if (!start)
                return QList<Resource>{res(RESOURCEDISPLAYTYPE_NETWORK, QStringLiteral("Net"))};
            if (start->remoteName == QLatin1String("Net"))
                return domains;
            *problem = QStringLiteral("asked for ") + start->remoteName;
            *status = ERROR_NOT_CONTAINER;
            return QList<Resource>{};
        });
    }
    void TearDown() override { setSource(nullptr); }
    QList<Resource> domains;
};

NETRESOURCEA netResource(const Resource &r, std::vector<QByteArray> &keep)
{
    NETRESOURCEA n{};
    n.dwScope = r.scope;
    n.dwDisplayType = r.displayType;
    n.dwUsage = r.usage;
    keep.push_back(r.remoteName.toUtf8());
    n.lpRemoteName = keep.back().data();
    return n;
}

} // namespace

TEST_F(FakeSource, EntriesComeBackWithTheirStringsInsideTheBuffer)
{
    domains = {res(RESOURCEDISPLAYTYPE_DOMAIN, QStringLiteral("alpha.test"), QStringLiteral("first")),
               res(RESOURCEDISPLAYTYPE_DOMAIN, QStringLiteral("beta.test"))};
    HANDLE top = nullptr;
    ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, nullptr, &top), NO_ERROR);
    std::vector<char> buf(16384);
    std::uint32_t count = 0xFFFFFFFF, size = std::uint32_t(buf.size());
    ASSERT_EQ(WNetEnumResourceA(top, &count, buf.data(), &size), NO_ERROR);
    ASSERT_EQ(count, 1u);
    const auto *net = reinterpret_cast<const NETRESOURCEA *>(buf.data());
    EXPECT_EQ(net->dwDisplayType, RESOURCEDISPLAYTYPE_NETWORK);
    EXPECT_STREQ(net->lpRemoteName, "Net");
    EXPECT_EQ(net->lpLocalName, nullptr);
    count = 0xFFFFFFFF;
    EXPECT_EQ(WNetEnumResourceA(top, &count, buf.data(), &size), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(count, 0u);

    std::vector<QByteArray> keep;
    const NETRESOURCEA start = netResource(toResource(*net), keep);
    EXPECT_EQ(WNetCloseEnum(top), NO_ERROR);
    HANDLE h = nullptr;
    ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, &start, &h), NO_ERROR);
    count = 0xFFFFFFFF;
    ASSERT_EQ(WNetEnumResourceA(h, &count, buf.data(), &size), NO_ERROR);
    ASSERT_EQ(count, 2u);
    const auto *e = reinterpret_cast<const NETRESOURCEA *>(buf.data());
    EXPECT_STREQ(e[0].lpRemoteName, "alpha.test");
    EXPECT_STREQ(e[0].lpComment, "first");
    EXPECT_STREQ(e[1].lpRemoteName, "beta.test");
    EXPECT_EQ(e[1].lpComment, nullptr);
    for (const char *p : {e[0].lpRemoteName, e[0].lpComment, e[0].lpProvider, e[1].lpRemoteName}) {
        EXPECT_GE(p, buf.data() + 2 * sizeof(NETRESOURCEA));
        EXPECT_LT(p, buf.data() + buf.size());
    }
    EXPECT_EQ(WNetCloseEnum(h), NO_ERROR);
}

TEST_F(FakeSource, TooSmallBufferAsksForTheNextEntrysSizeAndLosesNothing)
{
    const QString longName(3000, QLatin1Char('d'));
    domains = {res(RESOURCEDISPLAYTYPE_DOMAIN, QStringLiteral("a.test")), res(RESOURCEDISPLAYTYPE_DOMAIN, longName),
               res(RESOURCEDISPLAYTYPE_DOMAIN, QStringLiteral("c.test"))};
    std::vector<QByteArray> keep;
    const NETRESOURCEA start = netResource(res(RESOURCEDISPLAYTYPE_NETWORK, QStringLiteral("Net")), keep);
    HANDLE h = nullptr;
    ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, &start, &h), NO_ERROR);

    // Room for the first entry but not the long one: the first comes alone.
    std::vector<char> buf(200);
    std::uint32_t count = 0xFFFFFFFF, size = 200;
    ASSERT_EQ(WNetEnumResourceA(h, &count, buf.data(), &size), NO_ERROR);
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(reinterpret_cast<NETRESOURCEA *>(buf.data())->lpRemoteName, "a.test");
    // Now not even one fits: more data, with the size it needs; the entry is kept.
    count = 0xFFFFFFFF;
    ASSERT_EQ(WNetEnumResourceA(h, &count, buf.data(), &size), ERROR_MORE_DATA);
    EXPECT_EQ(count, 0u);
    const std::uint32_t need = size;
    EXPECT_EQ(need, sizeof(NETRESOURCEA) + 3001 + std::strlen("Test Provider") + 1);
    // Exactly the size asked for is enough.
    buf.assign(need, 0);
    count = 0xFFFFFFFF;
    ASSERT_EQ(WNetEnumResourceA(h, &count, buf.data(), &size), NO_ERROR);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(QString::fromUtf8(reinterpret_cast<NETRESOURCEA *>(buf.data())->lpRemoteName), longName);
    // A count limit of one hands out one even when more fit.
    buf.assign(16384, 0);
    size = 16384;
    count = 1;
    ASSERT_EQ(WNetEnumResourceA(h, &count, buf.data(), &size), NO_ERROR);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(reinterpret_cast<NETRESOURCEA *>(buf.data())->lpRemoteName, "c.test");
    count = 0xFFFFFFFF;
    EXPECT_EQ(WNetEnumResourceA(h, &count, buf.data(), &size), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(WNetCloseEnum(h), NO_ERROR);
}

TEST_F(FakeSource, BadHandlesAndNonContainersAreRefused)
{
    std::uint32_t count = 1, size = 0;
    int dummy = 0;
    EXPECT_EQ(WNetEnumResourceA(&dummy, &count, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WNetCloseEnum(&dummy), ERROR_INVALID_HANDLE);
    HANDLE h = nullptr;
    ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, nullptr, &h), NO_ERROR);
    EXPECT_EQ(WNetCloseEnum(h), NO_ERROR);
    EXPECT_EQ(WNetCloseEnum(h), ERROR_INVALID_HANDLE);  // closed twice

    // The source's failure and its reason reach the caller.
    std::vector<QByteArray> keep;
    const NETRESOURCEA server = netResource(res(RESOURCEDISPLAYTYPE_DOMAIN, QStringLiteral("elsewhere")), keep);
    EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, &server, &h),
              ERROR_NOT_CONTAINER);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(WNetLastProblem(), "asked for elsewhere");
    NETRESOURCEA leaf = server;
    leaf.dwUsage = RESOURCEUSAGE_CONNECTABLE;
    EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, &leaf, &h),
              ERROR_NOT_CONTAINER);
}

TEST(SystemSource, LevelsAndDomainsFromOptionsAndTheForest)
{
    Options o;
    o.systemDomains = false;
    o.domains = {QStringLiteral("Example.COM."), QStringLiteral("bad name;x")};
    setOptions(o);
    setKnownDomains({QStringLiteral("example.com"), QStringLiteral("forest.example")});
    EXPECT_EQ(knownDomains(), (QStringList{QStringLiteral("example.com"), QStringLiteral("forest.example")}));

    QString problem;
    int status = -1;
    const QList<Resource> top = systemResources(nullptr, &problem, &status);
    ASSERT_EQ(top.size(), 1);
    EXPECT_EQ(top[0].displayType, RESOURCEDISPLAYTYPE_NETWORK);
    const QList<Resource> doms = systemResources(&top[0], &problem, &status);
    ASSERT_EQ(doms.size(), 2);
    EXPECT_EQ(doms[1].remoteName, "forest.example");
    EXPECT_EQ(doms[1].displayType, RESOURCEDISPLAYTYPE_DOMAIN);
    Resource server = doms[0];
    server.displayType = RESOURCEDISPLAYTYPE_SERVER;
    systemResources(&server, &problem, &status);
    EXPECT_EQ(status, ERROR_NOT_CONTAINER);

    // No domain at all: an empty level and a reason.
    setKnownDomains({});
    o.domains.clear();
    setOptions(o);
    problem.clear();
    EXPECT_TRUE(systemResources(&top[0], &problem, &status).isEmpty());
    EXPECT_FALSE(problem.isEmpty());
}

TEST(SystemSource, SilentDnsServerEndsInBoundedTimeWithAReason)
{
    Options o;
    o.systemDomains = false;
    // Nobody serves DNS on this loopback address: the query is refused, not waited for.
    ASSERT_TRUE(parseDnsServer(QStringLiteral("127.0.0.253:53"), &o.dns));
    o.dns.timeoutSeconds = 1;
    setOptions(o);
    QString problem;
    int status = NO_ERROR;
    const Resource domain = res(RESOURCEDISPLAYTYPE_DOMAIN, QStringLiteral("nowhere.test"));
    EXPECT_TRUE(systemResources(&domain, &problem, &status).isEmpty());
    EXPECT_EQ(status, ERROR_NO_NETWORK);
    EXPECT_TRUE(problem.contains("nowhere.test")) << problem.toStdString();
    const Resource evil = res(RESOURCEDISPLAYTYPE_DOMAIN, QStringLiteral("x;$(reboot)"));
    systemResources(&evil, &problem, &status);
    EXPECT_EQ(status, ERROR_BAD_NET_NAME);
}

TEST(DnsServerOption, AddressesWithOptionalPortOnly)
{
    DnsServer s;
    EXPECT_TRUE(parseDnsServer(QStringLiteral("127.0.0.49"), &s));
    EXPECT_EQ(s.address, "127.0.0.49");
    EXPECT_EQ(s.port, 53);
    EXPECT_TRUE(parseDnsServer(QStringLiteral(" 10.1.2.3:5353 "), &s));
    EXPECT_EQ(s.port, 5353);
    EXPECT_TRUE(parseDnsServer(QStringLiteral("[::1]:53"), &s));
    EXPECT_EQ(s.address, "::1");
    EXPECT_FALSE(parseDnsServer(QStringLiteral("dns.example.com"), &s));
    EXPECT_FALSE(parseDnsServer(QStringLiteral("10.1.2.3:0"), &s));
    EXPECT_FALSE(parseDnsServer(QStringLiteral("10.1.2.3:99999"), &s));
    EXPECT_FALSE(parseDnsServer(QString(), &s));
}
