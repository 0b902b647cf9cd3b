#include "platform/netenum/netlogon.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QRandomGenerator>

#include <algorithm>

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <resolv.h>
#include <sys/socket.h>
#include <unistd.h>

namespace netenum {

namespace {

// BER: tag, definite length, contents.
QByteArray tlv(quint8 tag, const QByteArray &content)
{
    QByteArray out(1, char(tag));
    const int n = content.size();
    if (n < 0x80) {
        out += char(n);
    } else if (n < 0x100) {
        out += char(0x81);
        out += char(n);
    } else {
        out += char(0x82);
        out += char(n >> 8);
        out += char(n & 0xFF);
    }
    return out + content;
}

QByteArray berInt(int v)
{
    QByteArray b;
    do {
        b.prepend(char(v & 0xFF));
        v >>= 8;
    } while (v > 0);
    if (quint8(b.at(0)) & 0x80)
        b.prepend('\0');
    return tlv(0x02, b);
}

QByteArray octets(const QByteArray &s) { return tlv(0x04, s); }

QByteArray equality(const char *attr, const QByteArray &value)
{
    return tlv(0xA3, octets(QByteArray(attr)) + octets(value));
}

// A reader of BER elements inside [pos, end) that never reads past end.
struct Reader {
    const QByteArray *data;
    int pos;
    int end;

    // The next element: its tag and the range of its contents; false when malformed.
    bool next(quint8 *tag, int *start, int *length)
    {
        if (pos + 2 > end)
            return false;
        const QByteArray &d = *data;
        *tag = quint8(d.at(pos));
        int p = pos + 1;
        int len = quint8(d.at(p++));
        if (len & 0x80) {
            const int bytes = len & 0x7F;
            if (bytes < 1 || bytes > 3 || p + bytes > end)
                return false;
            len = 0;
            for (int i = 0; i < bytes; ++i)
                len = (len << 8) | quint8(d.at(p++));
        }
        if (len < 0 || p + len > end)
            return false;
        *start = p;
        *length = len;
        pos = p + len;
        return true;
    }
    // Enters the next element if it has the tag.
    bool enter(quint8 want, Reader *inner)
    {
        quint8 tag;
        int s, l;
        if (!next(&tag, &s, &l) || tag != want)
            return false;
        *inner = Reader{data, s, s + l};
        return true;
    }
};

} // namespace

QByteArray netlogonRequest(int messageId, const QString &dnsDomain)
{
    // (&(DnsDomain=<domain>)(NtVer=\06\00\00\00)): ask for the extended (5EX) answer.
    const QByteArray ntVer("\x06\x00\x00\x00", 4);
    const QByteArray filter = tlv(0xA0, equality("DnsDomain", dnsDomain.toUtf8()) + equality("NtVer", ntVer));
    const QByteArray search = tlv(0x63, octets(QByteArray()) + tlv(0x0A, QByteArray(1, '\0')) +
                                            tlv(0x0A, QByteArray(1, '\0')) + berInt(0) + berInt(0) +
                                            tlv(0x01, QByteArray(1, '\0')) + filter +
                                            tlv(0x30, octets(QByteArray("Netlogon"))));
    return tlv(0x30, berInt(messageId) + search);
}

bool parseNetlogonAnswer(const QByteArray &datagram, int messageId, NetlogonInfo *info, QString *problem)
{
    auto bad = [problem](const char *why) {
        if (problem)
            *problem = QStringLiteral("unreadable domain controller answer: %1").arg(QLatin1String(why));
        return false;
    };
    Reader top{&datagram, 0, int(datagram.size())};
    Reader msg{&datagram, 0, 0}, entry{&datagram, 0, 0}, attrs{&datagram, 0, 0}, attr{&datagram, 0, 0},
        values{&datagram, 0, 0};
    if (!top.enter(0x30, &msg))
        return bad("no message");
    quint8 tag;
    int s, l;
    if (!msg.next(&tag, &s, &l) || tag != 0x02 || l < 1 || l > 5)
        return bad("no message id");
    // A non-negative INTEGER of at most 31 bits, big-endian; an answer to another request (a
    // late one, or one someone else sent) is not this request's answer.
    qint64 id = 0;
    if (quint8(datagram.at(s)) & 0x80)
        return bad("negative message id");
    for (int i = 0; i < l; ++i)
        id = (id << 8) | quint8(datagram.at(s + i));
    if (id != messageId)
        return bad("the answer is for another request");
    if (!msg.enter(0x64, &entry))
        return bad("no search entry");
    if (!entry.next(&tag, &s, &l) || tag != 0x04)
        return bad("no entry name");
    if (!entry.enter(0x30, &attrs) || !attrs.enter(0x30, &attr))
        return bad("no attribute");
    if (!attr.next(&tag, &s, &l) || tag != 0x04 ||
        QByteArray(datagram.constData() + s, l).compare("Netlogon", Qt::CaseInsensitive) != 0)
        return bad("no Netlogon attribute");
    if (!attr.enter(0x31, &values) || !values.next(&tag, &s, &l) || tag != 0x04)
        return bad("no Netlogon value");
    const auto *blob = reinterpret_cast<const unsigned char *>(datagram.constData() + s);
    const unsigned char *blobEnd = blob + l;
    // Opcode, Sbz, Flags, DomainGuid, then the names (DNS-compressed, offsets from the blob).
    if (l < 24)
        return bad("short value");
    const quint16 opcode = quint16(blob[0] | (blob[1] << 8));
    if (opcode != 23 && opcode != 25)
        return bad("not an extended answer");
    // Read into a record of its own: the caller's is written only when everything read.
    NetlogonInfo read;
    read.flags = quint32(blob[4]) | (quint32(blob[5]) << 8) | (quint32(blob[6]) << 16) | (quint32(blob[7]) << 24);
    const unsigned char *p = blob + 24;
    QString *fields[] = {&read.dnsForestName, &read.dnsDomainName, &read.dnsHostName,
                         &read.netbiosDomainName, &read.netbiosComputerName, nullptr /* user */,
                         &read.siteName};
    for (QString *f : fields) {
        char name[NS_MAXDNAME];
        if (p >= blobEnd)
            return bad("names cut short");
        const int used = dn_expand(blob, blobEnd, p, name, sizeof name);
        if (used < 0)
            return bad("malformed name");
        p += used;
        if (f)
            *f = QString::fromUtf8(name).left(255);
    }
    *info = read;
    return true;
}

bool netlogonPing(const QString &address, const QString &dnsDomain, int timeoutMs, NetlogonInfo *info,
                  QString *problem, const std::function<bool()> &cancelled)
{
    QHostAddress a(address);
    if (a.protocol() != QAbstractSocket::IPv4Protocol) {
        if (problem)
            *problem = QStringLiteral("%1 is not an IPv4 address").arg(address);
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (problem)
            *problem = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    sockaddr_in sin;
    std::memset(&sin, 0, sizeof sin);
    sin.sin_family = AF_INET;
    sin.sin_port = htons(389);
    sin.sin_addr.s_addr = htonl(a.toIPv4Address());
    // A fresh id per request, so that a late answer to an earlier ping (of this or another
    // thread) is not taken for this one's.
    const int id = int(QRandomGenerator::global()->bounded(1, 0x7FFFFFFF));
    const QByteArray req = netlogonRequest(id, dnsDomain);
    bool ok = false;
    QString why = QStringLiteral("%1 did not answer the domain controller ping").arg(address);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&sin), sizeof sin) == 0 &&
        ::send(fd, req.constData(), size_t(req.size()), 0) == req.size()) {
        QElapsedTimer clock;
        clock.start();
        QByteArray buf(8192, Qt::Uninitialized);
        // Waits in short slices, so that a cancel is heard while the controller is silent.
        while (!ok) {
            if (cancelled && cancelled()) {
                why = QStringLiteral("the domain controller ping to %1 was cancelled").arg(address);
                break;
            }
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0)
                break;
            pollfd pfd{fd, POLLIN, 0};
            const int r = ::poll(&pfd, 1, int(std::min<qint64>(left, cancelled ? 100 : left)));
            if (r < 0 && errno != EINTR)
                break;
            if (r <= 0)
                continue;
            if (!(pfd.revents & POLLIN))
                break;  // refused (nothing listens there) or another error
            const ssize_t n = ::recv(fd, buf.data(), size_t(buf.size()), 0);
            if (n <= 0)
                break;
            NetlogonInfo answer;
            QString unreadable;
            if (parseNetlogonAnswer(buf.left(int(n)), id, &answer, &unreadable)) {
                *info = answer;
                ok = true;
            } else {
                why = unreadable;  // another datagram may still bring the answer
            }
        }
    }
    ::close(fd);
    if (!ok && problem)
        *problem = why;
    return ok;
}

} // namespace netenum
