// The network stand-in against the network domain: SRV records from its own DNS server,
// server facts from both controllers (their computer objects read through the connection),
// a stopped controller and a stand-in at its address that must never see the password.
#include "network/unNetServer.h"
#include "platform/netenum/netenum.h"
#include "platform/netenum/netlogon.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QProcess>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
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

    // The connection's credentials as the program shares them: a simple bind to DC1 by its
    // address, over an unprotected connection.
    static Credentials connection()
    {
        Credentials c;
        c.serverPrefix = QStringLiteral("LDAP://%1:389/").arg(fact("ADDR"));
        c.user = fact("ADMIN_USER");
        c.password = fact("ADMIN_PASSWORD");
        c.useCredentials = true;
        return c;
    }
};

// A host at addr:389 that passes every TCP connection on to target:389 and keeps what the
// clients sent: a server the browser lists, whose traffic the test can read.
class RecordingRelay {
public:
    RecordingRelay(const QString &addr, const QString &target) : target_(target)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(389);
        ::inet_pton(AF_INET, addr.toLatin1().constData(), &a.sin_addr);
        listening_ = ::bind(listen_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && ::listen(listen_, 8) == 0;
        thread_ = std::thread([this] { run(); });
    }
    ~RecordingRelay()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    bool listening() const { return listening_; }
    int connections() const { return connections_; }
    QByteArray received()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

private:
    void run()
    {
        std::vector<std::pair<int, int>> pairs;  // client, server
        while (!stop_) {
            std::vector<pollfd> fds{{listen_, POLLIN, 0}};
            for (const auto &[c, s] : pairs) {
                fds.push_back({c, POLLIN, 0});
                fds.push_back({s, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 50) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                const int c = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in t{};
                t.sin_family = AF_INET;
                t.sin_port = htons(389);
                ::inet_pton(AF_INET, target_.toLatin1().constData(), &t.sin_addr);
                if (c >= 0 && ::connect(s, reinterpret_cast<sockaddr *>(&t), sizeof t) == 0) {
                    pairs.emplace_back(c, s);
                    ++connections_;
                } else {
                    ::close(c);
                    ::close(s);
                }
            }
            // Only the pairs that were polled: one accepted just now has no entry in fds yet.
            for (std::size_t i = 0; i < pairs.size() && 2 + 2 * i < fds.size();) {
                const short fromClient = fds[1 + 2 * i].revents, fromServer = fds[2 + 2 * i].revents;
                char buf[4096];
                bool open = true;
                if (fromClient & (POLLIN | POLLHUP)) {
                    const ssize_t n = ::read(pairs[i].first, buf, sizeof buf);
                    if (n > 0) {
                        std::lock_guard<std::mutex> lock(mutex_);
                        received_.append(buf, int(n));
                    }
                    open = n > 0 && ::write(pairs[i].second, buf, size_t(n)) == n;
                }
                if (open && (fromServer & (POLLIN | POLLHUP))) {
                    const ssize_t n = ::read(pairs[i].second, buf, sizeof buf);
                    open = n > 0 && ::write(pairs[i].first, buf, size_t(n)) == n;
                }
                if (!open) {
                    ::close(pairs[i].first);
                    ::close(pairs[i].second);
                    pairs.erase(pairs.begin() + long(i));
                    fds.erase(fds.begin() + long(1 + 2 * i), fds.begin() + long(3 + 2 * i));
                } else {
                    ++i;
                }
            }
        }
        for (const auto &[c, s] : pairs) {
            ::close(c);
            ::close(s);
        }
    }

    QString target_;
    int listen_ = -1;
    bool listening_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    QByteArray received_;
    std::thread thread_;
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

TEST_F(NetDomain, ServerFactsAnonymouslyAndFromTheConnectionsDirectory)
{
    TNetServer dc1, dc2;
    dc1.setServerName(QStringLiteral("\\\\") + fact("DNS_HOST"));
    dc2.setServerName(QStringLiteral("\\\\") + fact("DC2_DNS_HOST"));
    // Anonymous: both are controllers; the ping tells which one holds the PDC role.
    EXPECT_TRUE(dc1.GetDescription().startsWith("OS Version: [NT] ")) << dc1.GetDescription().toStdString();
    EXPECT_TRUE(dc1.GetDescription().endsWith("Support:[WKS][SVR][PDC][NT][SNT]")) << dc1.GetDescription().toStdString();
    EXPECT_TRUE(dc2.GetDescription().endsWith("Support:[WKS][SVR][BDC][NT][SNT]")) << dc2.GetDescription().toStdString();
    EXPECT_TRUE(dc1.GetComment().isEmpty());

    // With the connection: the computer object's description and the PDC role holder (DC1),
    // read from the directory the connection is bound to.
    const QString dc2Dn = QStringLiteral("CN=DC2,OU=Domain Controllers,") + fact("BASE_DN");
    const QString comment = QStringLiteral("Second controller, built by the tests");
    ASSERT_EQ(testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: description\ndescription: %2\n")
                                          .arg(dc2Dn, comment)
                                          .toUtf8())
                  .exitCode,
              0);
    setCredentials(connection());
    TNetServer dc1c, dc2c;
    dc1c.setServerName(QStringLiteral("\\\\") + fact("DNS_HOST"));
    dc2c.setServerName(QStringLiteral("\\\\") + fact("DC2_DNS_HOST"));
    EXPECT_TRUE(dc1c.GetDescription().endsWith("Support:[WKS][SVR][PDC][NT][SNT]")) << dc1c.GetDescription().toStdString();
    EXPECT_TRUE(dc2c.GetDescription().endsWith("Support:[WKS][SVR][BDC][NT][SNT]")) << dc2c.GetDescription().toStdString();
    // Read through the connection to DC1, where the change was made: no replica lags behind.
    EXPECT_EQ(dc2c.GetComment(), comment);
    EXPECT_TRUE(dc1c.GetComment().isEmpty());
    testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: modify\ndelete: description\n").arg(dc2Dn).toUtf8());
}

TEST_F(NetDomain, StoppedControllerRaisesAndAHostAtItsAddressNeverSeesThePassword)
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

    // Whoever answers at a listed name (here a relay at DC2's address) is asked anonymously
    // only: the connection's password, which a simple bind carries in the clear, never reaches it.
    std::uint8_t *buf = nullptr;
    int rc = -1;
    QByteArray seen;
    int relayed = 0;
    {
        RecordingRelay relay(fact("DC2_ADDR"), fact("ADDR"));
        ASSERT_TRUE(relay.listening());
        setCredentials(connection());
        rc = NetServerGetInfo(("\\\\" + fact("DC2_DNS_HOST")).toUtf8().constData(), 101, &buf);
        relayed = relay.connections();
        seen = relay.received();
    }
    NetApiBufferFree(buf);
    EXPECT_EQ(run({QStringLiteral("join-dc")}), 0);  // starts it again
    EXPECT_EQ(code, ERROR_BAD_NETPATH);
    EXPECT_EQ(servers.size(), 2);
    EXPECT_EQ(rc, NO_ERROR) << WNetLastProblem().toStdString();
    EXPECT_GE(relayed, 1);
    EXPECT_FALSE(seen.contains(fact("ADMIN_PASSWORD").toUtf8()));
    EXPECT_FALSE(seen.contains(QByteArray("Administrator")));
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
    ASSERT_TRUE(parseNetlogonAnswer(answer, 7, &whole, &problem)) << problem.toStdString();
    EXPECT_EQ(whole.netbiosComputerName, fact("HOST"));
    // The same answer is not the answer to another request.
    NetlogonInfo kept;
    kept.flags = 0xA5A5;
    kept.siteName = QStringLiteral("kept");
    NetlogonInfo other = kept;
    EXPECT_FALSE(parseNetlogonAnswer(answer, 8, &other, &problem));
    EXPECT_EQ(other.siteName, "kept");
    int accepted = 0;
    for (int n = 0; n < answer.size(); ++n) {
        NetlogonInfo cut = kept;
        if (parseNetlogonAnswer(answer.left(n), 7, &cut, &problem)) {
            ++accepted;
        } else {
            // A refused answer leaves the record as it was, whatever was read before the cut.
            EXPECT_EQ(cut.flags, 0xA5A5u) << "cut at " << n;
            EXPECT_EQ(cut.siteName, "kept") << "cut at " << n;
        }
    }
    // Only cuts inside what follows the names (the search-done message) may still read.
    EXPECT_LT(accepted, answer.size() / 2);
    EXPECT_FALSE(parseNetlogonAnswer(QByteArray(), 7, &whole, &problem));
}

TEST_F(NetDomain, PickedServerKeepsItsResolvableNameAndGetsItsNetbiosDomain)
{
    // The system resolves the name: it stays, as the certificate and the service name name it.
    QString server = fact("DC2_DNS_HOST"), domain = fact("DNS_DOMAIN");
    ConnectionValuesOfPickedServer(&server, &domain);
    EXPECT_EQ(server, fact("DC2_DNS_HOST"));
    EXPECT_EQ(domain, fact("NETBIOS"));
    // A name only the configured DNS server knows becomes its address (the domain's own A
    // record; the ping for its parent "test" goes unanswered, so it is kept short).
    Options quick = options();
    quick.ldapTimeoutSeconds = 1;
    setOptions(quick);
    server = fact("DNS_DOMAIN");
    ConnectionValuesOfPickedServer(&server, &domain);
    EXPECT_EQ(server, fact("ADDR"));
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
