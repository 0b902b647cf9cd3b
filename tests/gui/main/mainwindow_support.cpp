#include "mainwindow_support.h"

#include "platform/registry/registry.h"
#include "support/testdomain.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace mwtest {

TempSettings::TempSettings() { registry::setStoreFile(dir_.filePath(QStringLiteral("settings.ini"))); }
TempSettings::~TempSettings() { registry::setStoreFile(QString()); }
QString TempSettings::file() const { return dir_.filePath(QStringLiteral("settings.ini")); }

TConnectionSettings domainSettings()
{
    TConnectionSettings s;
    s.UseDefaultServer = false;
    s.ServerName = testsupport::fact("ADDR");
    s.Port = testsupport::fact("LDAP_PORT");
    s.SecureAuthentication = false;
    s.UseCredentials = true;
    s.UserName = testsupport::fact("ADMIN_USER");
    s.Password = testsupport::fact("ADMIN_PASSWORD");
    return s;
}

bool waitFor(const std::function<bool()> &pred, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// ---- the stub LDAP server -------------------------------------------------------------------

namespace {
QByteArray berLength(int n)
{
    QByteArray out;
    if (n < 0x80) {
        out.append(char(n));
    } else if (n < 0x100) {
        out.append(char(0x81));
        out.append(char(n));
    } else {
        out.append(char(0x82));
        out.append(char(n >> 8));
        out.append(char(n & 0xFF));
    }
    return out;
}

QByteArray tlv(unsigned char tag, const QByteArray &content)
{
    return QByteArray(1, char(tag)) + berLength(int(content.size())) + content;
}

QByteArray octets(const QByteArray &s) { return tlv(0x04, s); }

QByteArray result(unsigned char op, int code)
{
    return tlv(op, tlv(0x0A, QByteArray(1, char(code))) + octets({}) + octets({}));
}

QByteArray attribute(const QByteArray &type, const QList<QByteArray> &values)
{
    QByteArray vals;
    for (const QByteArray &v : values)
        vals += octets(v);
    return tlv(0x30, octets(type) + tlv(0x31, vals));
}

// Reads one BER element (tag, length, content) from data at pos; false when incomplete.
bool readElement(const QByteArray &data, int &pos, unsigned char *tag, QByteArray *content)
{
    if (pos + 2 > data.size())
        return false;
    *tag = static_cast<unsigned char>(data[pos]);
    int p = pos + 1;
    int len = static_cast<unsigned char>(data[p++]);
    if (len & 0x80) {
        const int n = len & 0x7F;
        if (n > 3 || p + n > data.size())
            return false;
        len = 0;
        for (int i = 0; i < n; ++i)
            len = (len << 8) | static_cast<unsigned char>(data[p++]);
    }
    if (p + len > data.size())
        return false;
    *content = data.mid(p, len);
    pos = p + len;
    return true;
}
} // namespace

StubLdapServer::StubLdapServer()
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    ::bind(listenFd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::listen(listenFd_, 8);
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
}

StubLdapServer::~StubLdapServer()
{
    stop_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);
    ::close(listenFd_);
    thread_.join();
}

void StubLdapServer::serve()
{
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0)
            continue;
        session(fd);
        ::close(fd);
    }
}

void StubLdapServer::session(int fd)
{
    QByteArray buffer;
    while (!stop_) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, 100);
        if (r == 0)
            continue;
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        buffer.append(chunk, int(n));
        int pos = 0;
        unsigned char tag;
        QByteArray message;
        while (readElement(buffer, pos, &tag, &message)) {
            int mp = 0;
            unsigned char idTag, opTag;
            QByteArray id, op;
            if (!readElement(message, mp, &idTag, &id) || !readElement(message, mp, &opTag, &op))
                return;
            const QByteArray msgId = tlv(0x02, id);
            QByteArray reply;
            switch (opTag) {
            case 0x60: // bind
                reply = tlv(0x30, msgId + result(0x61, 0));
                break;
            case 0x63: { // search: one entry without a default naming context
                ++searches_;
                const QByteArray attrs = attribute("objectClass", {"top"}) +
                                         attribute("supportedLDAPVersion", {"3"}) +
                                         attribute("namingContexts", {"o=stub"});
                reply = tlv(0x30, msgId + tlv(0x64, octets({}) + tlv(0x30, attrs)));
                reply += tlv(0x30, msgId + result(0x65, 0));
                break;
            }
            case 0x42: // unbind
                return;
            case 0x77: // extended operation: not supported here
                reply = tlv(0x30, msgId + result(0x78, 2));
                break;
            default: // abandon and the rest: no answer
                break;
            }
            if (!reply.isEmpty() && ::send(fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL) < 0)
                return;
        }
        buffer.remove(0, pos);
    }
}

} // namespace mwtest
