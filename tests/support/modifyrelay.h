#pragma once
// A TCP relay in front of the test domain's LDAP port that stands for a server going wrong in
// the middle of a write: see CuttingRelay. Runs in its own thread, since the code under test
// blocks while it waits for the directory.
#include <QByteArray>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

namespace testsupport {

// Forwards LDAP traffic to the test domain and, when a client sends its cutAt-th modify
// request (1-based), either cuts every connection before the request reaches the server (a
// server that goes away in the middle of an Apply), or, in HoldAnswer mode, hands the request
// on and never passes the server's answer back (a server that applies a change and does not
// answer in time).
class CuttingRelay {
public:
    enum class Mode { Cut, HoldAnswer };
    CuttingRelay(const QString &targetAddr, int targetPort, int cutAt, Mode mode = Mode::Cut)
        : target_(targetAddr), targetPort_(targetPort), cutAt_(cutAt), mode_(mode)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(listen_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && ::listen(listen_, 8) == 0) {
            socklen_t len = sizeof a;
            ::getsockname(listen_, reinterpret_cast<sockaddr *>(&a), &len);
            port_ = ntohs(a.sin_port);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~CuttingRelay()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }
    int modifiesForwarded() const { return modifies_; }
    bool cut() const { return cut_; }

private:
    struct Pair {
        int client = -1, server = -1;
        QByteArray pending;
        bool holding = false;  // the server's answers are swallowed from now on
    };
    static void closePair(Pair &p)
    {
        if (p.client >= 0) ::close(p.client);
        if (p.server >= 0) ::close(p.server);
        p.client = p.server = -1;
    }
    // Forwards whole messages; false when the connection is to be cut.
    bool forward(Pair &p)
    {
        for (;;) {
            const QByteArray &b = p.pending;
            if (b.size() < 2)
                return true;
            qsizetype header = 2, length = static_cast<unsigned char>(b[1]);
            if (length & 0x80) {
                const int bytes = length & 0x7f;
                if (b.size() < 2 + bytes)
                    return true;
                length = 0;
                for (int i = 0; i < bytes; ++i)
                    length = (length << 8) | static_cast<unsigned char>(b[2 + i]);
                header += bytes;
            }
            const qsizetype total = header + length;
            if (b.size() < total)
                return true;
            const qsizetype idLength = static_cast<unsigned char>(b[header + 1]);
            const unsigned char op = static_cast<unsigned char>(b[header + 2 + idLength]);
            if (op == 0x66) {  // ModifyRequest
                if (modifies_ + 1 == cutAt_ && mode_ == Mode::HoldAnswer) {
                    cut_ = true;
                    p.holding = true;
                } else if (modifies_ + 1 >= cutAt_ && mode_ == Mode::Cut) {
                    cut_ = true;
                    return false;
                }
                ++modifies_;
            }
            if (::send(p.server, b.constData(), static_cast<size_t>(total), MSG_NOSIGNAL) < 0)
                return false;
            p.pending.remove(0, total);
        }
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
                if ((!cut_ || mode_ == Mode::HoldAnswer) && ::connect(p.server, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
                    pairs.push_back(p);
                else
                    closePair(p);  // after the cut the server stays away
            }
            for (std::size_t i = 0; i < polled; ++i) {
                Pair &p = pairs[i];
                const pollfd &c = fds[1 + 2 * i];
                const pollfd &s = fds[2 + 2 * i];
                char buf[65536];
                bool alive = true;
                if (c.revents & (POLLIN | POLLHUP | POLLERR)) {
                    const ssize_t n = ::recv(p.client, buf, sizeof buf, 0);
                    alive = n > 0;
                    if (alive) {
                        p.pending.append(buf, n);
                        alive = forward(p);
                    }
                }
                if (alive && (s.revents & (POLLIN | POLLHUP | POLLERR))) {
                    const ssize_t n = ::recv(p.server, buf, sizeof buf, 0);
                    alive = n > 0 && (p.holding || ::send(p.client, buf, static_cast<size_t>(n), MSG_NOSIGNAL) == n);
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
    int cutAt_;
    Mode mode_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> cut_{false};
    std::atomic<int> modifies_{0};
    std::thread thread_;
};

} // namespace testsupport
