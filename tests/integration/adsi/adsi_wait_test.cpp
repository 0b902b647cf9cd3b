// A server that accepts the connection and then never answers: every kind of request ends
// after the operation timeout with words that say so (a write as "not known"), Stop (the wait
// hook) ends the wait at once, and a new connection to a live server works afterwards.
#include "adsi_fixture.h"

#include "../main/usergrid_proxy.h"
#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adserror.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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

class SilentServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        closeAllConnections();
        setOperationTimeout(2);
    }
    void TearDown() override
    {
        setOperationTimeout(60);
        closeAllConnections();
    }
    static QString viaRelay(const ugtest::DroppingRelay &relay, const QString &dn)
    {
        return QStringLiteral("LDAP://127.0.0.1:%1/%2").arg(relay.port()).arg(dn);
    }
    static void expectNoAnswer(HRESULT h)
    {
        EXPECT_EQ(h, hresultFromWin32(1460)) << std::hex << h;
        EXPECT_TRUE(lastErrorText().contains(QLatin1String("did not answer within 2 seconds")))
            << lastErrorText().toStdString();
    }
};

} // namespace

TEST_F(SilentServer, BindGetInfoAndSetInfoEndWithDidNotAnswer)
{
    ARV_REQUIRE_DOMAIN();
    const QString ou = scratchOu();
    const QString user = createUsers(ou, QStringLiteral("wait"), 1).value(0);
    ASSERT_FALSE(user.isEmpty());

    // The bind itself.
    {
        ugtest::DroppingRelay relay(server(), 389, QByteArray("no such marker"));
        relay.silenceEverything();
        ObjectPtr o;
        expectNoAnswer(ADsOpenObject(viaRelay(relay, user), adminUpn(), adminPassword(), 0, &o));
    }
    // Reading and writing an object that was bound while the server still answered.
    {
        ugtest::DroppingRelay relay(server(), 389, QByteArray("no such marker"));
        ObjectPtr o;
        ASSERT_EQ(ADsOpenObject(viaRelay(relay, user), adminUpn(), adminPassword(), 0, &o), S_OK)
            << lastErrorText().toStdString();
        ObjectPtr writer;
        ASSERT_EQ(ADsOpenObject(viaRelay(relay, user), adminUpn(), adminPassword(), 0, &writer), S_OK);
        ASSERT_EQ(writer->Put(QStringLiteral("description"), QStringLiteral("never written")), S_OK);
        relay.silenceEverything();
        expectNoAnswer(o->GetInfo());
        // The timed-out connection is not handed out again: the next object opens its own.
        ObjectPtr fresh;
        ASSERT_EQ(ADsOpenObject(path(user), adminUpn(), adminPassword(), 0, &fresh), S_OK);
        // A write that got no answer is not a failure: its outcome is not known.
        const HRESULT h = writer->SetInfo();
        EXPECT_TRUE(writeOutcomeUnknown(h)) << std::hex << h;
        EXPECT_TRUE(lastErrorText().contains(QLatin1String("did not answer within 2 seconds after the change was sent")))
            << lastErrorText().toStdString();
        EXPECT_TRUE(lastErrorText().contains(QLatin1String("not known whether the change was applied")))
            << lastErrorText().toStdString();
    }
    // A live server still answers afterwards, and nothing was written.
    ObjectPtr check = bindAdmin(user);
    ASSERT_TRUE(check);
    QVariant description;
    EXPECT_NE(check->Get(QStringLiteral("description"), &description), S_OK);
}

TEST_F(SilentServer, WaitHookEndsTheWaitAtOnce)
{
    ARV_REQUIRE_DOMAIN();
    setOperationTimeout(300);
    ugtest::DroppingRelay relay(server(), 389, QByteArray("no such marker"));
    ObjectPtr o;
    ASSERT_EQ(ADsOpenObject(viaRelay(relay, baseDn()), adminUpn(), adminPassword(), 0, &o), S_OK);
    relay.silenceEverything();
    int calls = 0;
    WaitHookScope hook([&calls] { return ++calls < 5; });
    const HRESULT h = o->GetInfo();
    EXPECT_EQ(h, hresultFromWin32(1223)) << std::hex << h << " " << lastErrorText().toStdString();
    EXPECT_EQ(calls, 5);
    EXPECT_TRUE(lastErrorText().contains(QLatin1String("stopped"))) << lastErrorText().toStdString();
}

// The schema of one server is read outside the lock that guards the schema cache, so a server
// that hangs while its schema is read holds up only the thread that asked.
TEST_F(SilentServer, HangingSchemaReadDoesNotBlockOtherServers)
{
    ARV_REQUIRE_DOMAIN();
    setOperationTimeout(8);
    ugtest::DroppingRelay relay(server(), 389, QByteArray("schemaNamingContext"),
                                ugtest::DroppingRelay::Mode::SilenceAtMarker);
    std::atomic<bool> hungDone{false};
    std::thread reader([&] {
        ObjectPtr o;
        // Its schema read waits out the operation timeout; the open's status does not matter.
        ADsOpenObject(viaRelay(relay, baseDn()), adminUpn(), adminPassword(), 0, &o);
        closeAllConnections();
        hungDone = true;
    });
    // Wait until the relay swallowed the schema request, then use the real server directly.
    for (int i = 0; i < 400 && relay.drops() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(relay.drops(), 1);
    ObjectPtr direct;
    EXPECT_EQ(ADsOpenObject(path(baseDn()), adminUpn(), adminPassword(), 0, &direct), S_OK)
        << lastErrorText().toStdString();
    QVariant dn;
    EXPECT_EQ(direct->Get(QStringLiteral("distinguishedName"), &dn), S_OK);
    EXPECT_FALSE(hungDone.load()) << "the other server answered only after the hanging one gave up";
    reader.join();
}

namespace {
// A one-shot LDAP server that refuses every simple bind with strongerAuthRequired (8), as a
// domain controller does that requires signing for simple binds.
class StrongAuthServer {
public:
    StrongAuthServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && ::listen(fd_, 4) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~StrongAuthServer()
    {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    int port() const { return port_; }

private:
    void serve()
    {
        const int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0)
            return;
        unsigned char in[4096];
        const ssize_t n = ::recv(c, in, sizeof in, 0);
        // LDAPMessage: 30 len (short or long form), then messageID 02 01 id.
        ssize_t at = 2;
        if (n > 2 && (in[1] & 0x80))
            at += in[1] & 0x7F;
        if (n > at + 2 && in[at] == 0x02 && in[at + 1] == 0x01) {
            // (short enough for one-byte BER lengths)
            const QByteArray diag("00002028: The server requires binds to turn on integrity checking");
            QByteArray bindResponse;
            bindResponse.append("\x0a\x01\x08", 3).append("\x04\x00", 2).append(char(0x04)).append(char(diag.size())).append(diag);
            QByteArray op = QByteArray(1, char(0x61)) + char(bindResponse.size()) + bindResponse;
            QByteArray body = QByteArray("\x02\x01", 2) + char(in[at + 2]) + op;
            QByteArray message = QByteArray(1, char(0x30)) + char(body.size()) + body;
            ::send(c, message.constData(), size_t(message.size()), MSG_NOSIGNAL);
        }
        unsigned char rest[256];
        while (::recv(c, rest, sizeof rest, 0) > 0) {
        }
        ::close(c);
    }
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};
} // namespace

// A server that requires signing refuses the simple bind; the message says so and what to
// choose instead.
TEST(StrongAuthentication, RefusedSimpleBindNamesTheProtectedChoices)
{
    StrongAuthServer server;
    ASSERT_GT(server.port(), 0);
    ObjectPtr o;
    const HRESULT h = ADsOpenObject(QStringLiteral("LDAP://127.0.0.1:%1/RootDSE").arg(server.port()),
                                    QStringLiteral("user@example.test"), QStringLiteral("secret"), 0, &o);
    EXPECT_EQ(h, hresultFromLdap(8)) << std::hex << h;
    const QString text = lastErrorText();
    EXPECT_TRUE(text.contains(QLatin1String("requires signing or encryption"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("Secure Authentication"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("SSL encryption"))) << text.toStdString();
}
