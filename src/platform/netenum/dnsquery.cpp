#include "platform/netenum/dnsquery.h"

#include <QHostAddress>
#include <QRegularExpression>

#include <algorithm>
#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

namespace netenum {

bool parseDnsServer(const QString &text, DnsServer *out)
{
    const QString t = text.trimmed();
    DnsServer s = out ? *out : DnsServer();
    QString host = t;
    QString port;
    static const QRegularExpression bracketed(QStringLiteral("^\\[([0-9A-Fa-f:.]+)\\](?::(\\d+))?$"));
    const auto m = bracketed.match(t);
    if (m.hasMatch()) {
        host = m.captured(1);
        port = m.captured(2);
    } else if (t.count(QLatin1Char(':')) == 1) {
        host = t.section(QLatin1Char(':'), 0, 0);
        port = t.section(QLatin1Char(':'), 1);
    }
    QHostAddress a;
    if (host.isEmpty() || !a.setAddress(host))
        return false;
    if (!port.isEmpty()) {
        bool ok = false;
        const int p = port.toInt(&ok);
        if (!ok || p <= 0 || p > 65535)
            return false;
        s.port = p;
    }
    s.address = a.toString();
    if (out)
        *out = s;
    return true;
}

namespace {

// One resolver state per query: thread-safe, and the chosen server replaces resolv.conf's.
struct Resolver {
    struct __res_state st;
    bool ok = false;
    QString error;

    explicit Resolver(const DnsServer &server)
    {
        std::memset(&st, 0, sizeof st);
        if (res_ninit(&st) != 0) {
            error = QStringLiteral("the resolver could not be initialised");
            return;
        }
        st.retrans = std::max(1, server.timeoutSeconds);
        st.retry = std::max(1, server.attempts);
        if (!server.address.isEmpty()) {
            QHostAddress a(server.address);
            if (a.protocol() != QAbstractSocket::IPv4Protocol) {
                // libresolv takes IPv6 name servers only through resolv.conf's extension
                // slots; the option is documented as IPv4.
                error = QStringLiteral("the DNS server %1 is not an IPv4 address").arg(server.address);
                return;
            }
            sockaddr_in sin;
            std::memset(&sin, 0, sizeof sin);
            sin.sin_family = AF_INET;
            sin.sin_port = htons(static_cast<uint16_t>(server.port));
            sin.sin_addr.s_addr = htonl(a.toIPv4Address());
            st.nsaddr_list[0] = sin;
            st.nscount = 1;
            // Names are looked up exactly as given, not below the host's search domains.
            st.options &= ~(RES_DEFNAMES | RES_DNSRCH);
        }
        ok = true;
    }
    ~Resolver() { res_nclose(&st); }

    // The raw answer of a query; an empty array with error set when there is none.
    QByteArray query(const QString &name, int type, DnsAnswer &answer)
    {
        if (!ok) {
            answer.error = error;
            return {};
        }
        const QByteArray qname = name.toUtf8();
        if (qname.isEmpty() || qname.size() > 253) {
            answer.error = QStringLiteral("'%1' is not a DNS name").arg(name);
            return {};
        }
        QByteArray buf(65535, Qt::Uninitialized);
        const int n = res_nquery(&st, qname.constData(), ns_c_in, type,
                                 reinterpret_cast<unsigned char *>(buf.data()), buf.size());
        if (n < 0) {
            switch (st.res_h_errno) {
            case HOST_NOT_FOUND:
                answer.ok = true;  // an answer: the name does not exist
                answer.error = QStringLiteral("%1 does not exist in DNS").arg(name);
                break;
            case NO_DATA:
                answer.ok = true;
                answer.error = QStringLiteral("DNS has no records of that type for %1").arg(name);
                break;
            case TRY_AGAIN:
                answer.error = QStringLiteral("the DNS server %1 did not answer for %2")
                                   .arg(serverText(), name);
                break;
            default:
                answer.error = QStringLiteral("the DNS server %1 refused the query for %2")
                                   .arg(serverText(), name);
                break;
            }
            return {};
        }
        buf.truncate(std::min(n, int(buf.size())));
        answer.ok = true;
        return buf;
    }

    QString serverText() const
    {
        if (st.nscount < 1)
            return QStringLiteral("(none)");
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &st.nsaddr_list[0].sin_addr, text, sizeof text);
        return QString::fromLatin1(text);
    }
};

QString hostText(const char *name)
{
    QString s = QString::fromUtf8(name);
    while (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    return s;
}

// The answer section's records of one type; a malformed message gives none and an error.
// The records point into msg, which must outlive them.
QList<ns_rr> answerRecords(const QByteArray &msg, const QString &name, int type, DnsAnswer &a)
{
    QList<ns_rr> out;
    if (msg.isEmpty())
        return out;
    ns_msg handle;
    if (ns_initparse(reinterpret_cast<const unsigned char *>(msg.constData()), msg.size(), &handle) != 0) {
        a.ok = false;
        a.error = QStringLiteral("the DNS answer for %1 is malformed").arg(name);
        return out;
    }
    const int count = ns_msg_count(handle, ns_s_an);
    for (int i = 0; i < count; ++i) {
        ns_rr rr;
        if (ns_parserr(&handle, ns_s_an, i, &rr) != 0)
            break;
        if (ns_rr_type(rr) == type)
            out << rr;
    }
    return out;
}

} // namespace

DnsAnswer querySrv(const DnsServer &server, const QString &name)
{
    DnsAnswer a;
    Resolver r(server);
    const QByteArray msg = r.query(name, ns_t_srv, a);
    if (msg.isEmpty()) {
        if (a.error.isEmpty())
            a.error = QStringLiteral("DNS has no SRV records for %1").arg(name);
        return a;
    }
    return parseSrvAnswer(msg, name);
}

DnsAnswer parseSrvAnswer(const QByteArray &msg, const QString &name)
{
    DnsAnswer a;
    a.ok = true;
    if (msg.isEmpty()) {
        a.ok = false;
        a.error = QStringLiteral("the DNS answer for %1 is empty").arg(name);
        return a;
    }
    const auto *base = reinterpret_cast<const unsigned char *>(msg.constData());
    for (const ns_rr &rr : answerRecords(msg, name, ns_t_srv, a)) {
        if (ns_rr_rdlen(rr) < 7)
            continue;
        const unsigned char *rd = ns_rr_rdata(rr);
        SrvRecord s;
        s.priority = ns_get16(rd);
        s.weight = ns_get16(rd + 2);
        s.port = ns_get16(rd + 4);
        char target[NS_MAXDNAME];
        // dn_expand checks every label and pointer against the message's end.
        if (dn_expand(base, base + msg.size(), rd + 6, target, sizeof target) < 0)
            continue;
        s.target = hostText(target);
        if (s.target.isEmpty())
            continue;  // "." means: the service is decidedly not offered
        a.srv << s;
    }
    std::sort(a.srv.begin(), a.srv.end(), [](const SrvRecord &x, const SrvRecord &y) {
        if (x.priority != y.priority)
            return x.priority < y.priority;
        if (x.weight != y.weight)
            return x.weight > y.weight;
        return x.target.compare(y.target, Qt::CaseInsensitive) < 0;
    });
    if (a.srv.isEmpty() && a.error.isEmpty())
        a.error = QStringLiteral("DNS has no SRV records for %1").arg(name);
    return a;
}

DnsAnswer queryAddresses(const DnsServer &server, const QString &host)
{
    DnsAnswer a;
    Resolver r(server);
    const QByteArray msg = r.query(host, ns_t_a, a);
    for (const ns_rr &rr : answerRecords(msg, host, ns_t_a, a)) {
        if (ns_rr_rdlen(rr) != 4)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, ns_rr_rdata(rr), text, sizeof text);
        a.addresses << QString::fromLatin1(text);
    }
    if (a.addresses.isEmpty() && a.error.isEmpty())
        a.error = QStringLiteral("DNS has no address for %1").arg(host);
    return a;
}

} // namespace netenum
