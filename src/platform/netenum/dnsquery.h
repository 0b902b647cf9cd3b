#pragma once
// DNS look-ups for the network browser: SRV records of a domain's controllers and the
// addresses of a host, asked of a chosen DNS server (an administrator's machine may not use
// the domain's DNS) or of the system's resolver. Every query is bounded: a server that does
// not answer costs at most timeoutSeconds * attempts.
#include <QByteArray>
#include <QList>
#include <QString>

namespace netenum {

struct DnsServer {
    QString address;  // IPv4 or IPv6 address; empty = the system's resolver (resolv.conf)
    int port = 53;
    int timeoutSeconds = 2;
    int attempts = 1;
};

// "addr", "addr:port" or "[v6]:port"; false for anything else (names are not accepted:
// resolving the DNS server itself through DNS would make the option useless).
bool parseDnsServer(const QString &text, DnsServer *out);

struct SrvRecord {
    QString target;    // host name without the final dot
    int port = 0;
    int priority = 0;
    int weight = 0;
};

struct DnsAnswer {
    bool ok = false;      // an answer came (it may hold no records)
    QString error;        // why not, for the user
    QList<SrvRecord> srv; // sorted by priority, then weight (heavier first), then name
    QStringList addresses;
};

// SRV records of name (e.g. "_ldap._tcp.dc._msdcs.example.com").
DnsAnswer querySrv(const DnsServer &server, const QString &name);
// The SRV records of a DNS answer message to the query for name (what querySrv reads from the
// server's answer): sorted as above, targets "." left out. A message that cannot be read
// gives ok false and the reason; records cut short are skipped.
DnsAnswer parseSrvAnswer(const QByteArray &message, const QString &name);
// IPv4 (A) addresses of a host.
DnsAnswer queryAddresses(const DnsServer &server, const QString &host);

} // namespace netenum
