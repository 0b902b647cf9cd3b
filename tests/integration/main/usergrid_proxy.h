#pragma once
// A TCP relay in front of the test domain's LDAP port that drops a connection the moment the
// client asks for the second page of a chosen paged search: the server seems to go away in
// the middle of a listing. In Silence mode it keeps the connection open instead and never
// answers again: a server that hangs. Runs in its own thread because a listing blocks the window thread
// while it waits for the directory.
#include <QByteArray>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace ugtest {

class DroppingRelay {
public:
    // Drop / Silence: at the next page of a paged search holding marker. SilenceAtMarker: at
    // any request holding marker.
    enum class Mode { Drop, Silence, SilenceAtMarker };
    // Drops (or silences) the connection that asks for a following page of a search whose
    // request holds marker (a text of its filter), so that other paged searches (the schema)
    // pass.
    DroppingRelay(const QString &targetAddr, int targetPort, const QByteArray &marker, Mode mode = Mode::Drop)
        : target_(targetAddr), targetPort_(targetPort), marker_(marker), mode_(mode)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(listen_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && ::listen(listen_, 8) == 0) {
            socklen_t len = sizeof a;
            ::getsockname(listen_, reinterpret_cast<sockaddr *>(&a), &len);
            port_ = ntohs(a.sin_port);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~DroppingRelay()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }
    int drops() const { return drops_; }
    // From now on every connection swallows the next request and all that follows: the
    // server hangs for whatever the client asks next.
    void silenceEverything() { silenceAll_ = true; }
    // From now on the server's answers trickle to the client in small pieces with pauses, so
    // that a listing waits between its rows.
    void trickle(bool on) { trickle_ = on; }

private:
    struct Pair {
        int client = -1;
        int server = -1;
        QByteArray pending;   // client bytes not yet forwarded (an incomplete message)
        bool silent = false;  // swallowing everything from now on
    };

    // Length of the cookie of a paged-results control in a request, -1 without one. A
    // non-empty cookie asks for a following page.
    static int pagedCookieLength(const QByteArray &m)
    {
        static const QByteArray oid("1.2.840.113556.1.4.319");
        qsizetype at = m.indexOf(oid);
        if (at < 0)
            return -1;
        at += oid.size();
        auto byte = [&](qsizetype i) { return i < m.size() ? static_cast<unsigned char>(m[i]) : 0u; };
        if (byte(at) == 0x01)                  // criticality
            at += 2 + byte(at + 1);
        if (byte(at) != 0x04)                  // controlValue
            return -1;
        at += 2;
        if (byte(at) != 0x30)                  // realSearchControlValue
            return -1;
        at += 2;
        if (byte(at) != 0x02)                  // size
            return -1;
        at += 2 + byte(at + 1);
        if (byte(at) != 0x04)                  // cookie
            return -1;
        return static_cast<int>(byte(at + 1));
    }

    static void closePair(Pair &p)
    {
        if (p.client >= 0)
            ::close(p.client);
        if (p.server >= 0)
            ::close(p.server);
        p.client = p.server = -1;
    }

    // Forwards every complete client message; returns false when the connection is to be
    // dropped (a request for a following page).
    bool forwardClient(Pair &p)
    {
        for (;;) {
            const QByteArray &b = p.pending;
            if (b.size() < 2)
                return true;
            qsizetype header = 2;
            qsizetype length = static_cast<unsigned char>(b[1]);
            if (length & 0x80) {
                const int n = length & 0x7F;
                if (b.size() < 2 + n)
                    return true;
                length = 0;
                for (int i = 0; i < n; ++i)
                    length = (length << 8) | static_cast<unsigned char>(b[2 + i]);
                header = 2 + n;
            }
            const qsizetype total = header + length;
            if (b.size() < total)
                return true;
            if (silenceAll_) {
                p.silent = true;
                p.pending.clear();
                return true;
            }
            const QByteArray message = b.left(total);
            // messageID INTEGER, then the operation's tag.
            const qsizetype idLength = static_cast<unsigned char>(message[header + 1]);
            const unsigned char op = static_cast<unsigned char>(message[header + 2 + idLength]);
            if (mode_ == Mode::SilenceAtMarker && message.contains(marker_)) {
                ++drops_;
                p.silent = true;
                p.pending.clear();
                return true;
            }
            if (op == 0x63 && message.contains(marker_) && pagedCookieLength(message) > 0) {
                ++drops_;
                if (mode_ == Mode::Drop)
                    return false;
                p.silent = true;
                p.pending.clear();
                return true;
            }
            if (::send(p.server, message.constData(), static_cast<size_t>(message.size()), MSG_NOSIGNAL) < 0)
                return false;
            p.pending.remove(0, total);
        }
    }

    bool sendToClient(int fd, const char *data, ssize_t n)
    {
        const ssize_t piece = trickle_ ? 4096 : n;
        for (ssize_t at = 0; at < n; at += piece) {
            const size_t len = static_cast<size_t>(std::min(piece, n - at));
            if (::send(fd, data + at, len, MSG_NOSIGNAL) != static_cast<ssize_t>(len))
                return false;
            if (trickle_)
                ::usleep(10000);
        }
        return true;
    }

    void run()
    {
        std::vector<Pair> pairs;
        while (!stop_) {
            std::vector<pollfd> fds{{listen_, POLLIN, 0}};
            for (const Pair &p : pairs) {
                fds.push_back({p.client, POLLIN, 0});
                fds.push_back({p.server, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 50) <= 0)
                continue;
            const std::size_t polled = (fds.size() - 1) / 2;
            if (fds[0].revents & POLLIN) {
                Pair p;
                p.client = ::accept(listen_, nullptr, nullptr);
                p.server = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_port = htons(static_cast<uint16_t>(targetPort_));
                ::inet_pton(AF_INET, target_.toLatin1().constData(), &a.sin_addr);
                if (::connect(p.server, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
                    pairs.push_back(p);
                else
                    closePair(p);
            }
            for (std::size_t i = 0; i < polled; ++i) {
                Pair &p = pairs[i];
                const pollfd &c = fds[1 + 2 * i];
                const pollfd &s = fds[2 + 2 * i];
                char buf[65536];
                bool alive = true;
                if (c.revents & (POLLIN | POLLHUP | POLLERR)) {
                    const ssize_t n = ::recv(p.client, buf, sizeof buf, 0);
                    if (n <= 0)
                        alive = false;
                    else if (!p.silent) {
                        p.pending.append(buf, n);
                        alive = forwardClient(p);
                    }
                }
                if (alive && (s.revents & (POLLIN | POLLHUP | POLLERR))) {
                    const ssize_t n = ::recv(p.server, buf, sizeof buf, 0);
                    alive = n > 0 && (p.silent || sendToClient(p.client, buf, n));
                }
                if (!alive)
                    closePair(p);
            }
            std::erase_if(pairs, [](const Pair &p) { return p.client < 0; });
        }
        for (Pair &p : pairs)
            closePair(p);
    }

    QString target_;
    int targetPort_;
    QByteArray marker_;
    Mode mode_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> silenceAll_{false};
    std::atomic<bool> trickle_{false};
    std::atomic<int> drops_{0};
    std::thread thread_;
};

} // namespace ugtest
