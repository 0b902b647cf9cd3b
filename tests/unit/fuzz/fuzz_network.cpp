// Fuzz targets for what the network browser reads from hosts it does not control: a domain
// controller's answer to the ping (connectionless LDAP) and a DNS server's SRV answer.
#include "fuzz_targets.h"

#include "platform/netenum/dnsquery.h"
#include "platform/netenum/netlogon.h"

#include <QString>

namespace fuzz {

int pingAnswers(const std::uint8_t *data, std::size_t size)
{
    // The seeds answer request 7.
    const QByteArray datagram = bytes(data, size);
    netenum::NetlogonInfo info;
    info.siteName = QStringLiteral("untouched");
    info.flags = 0xA5A5A5A5u;
    QString problem;
    if (netenum::parseNetlogonAnswer(datagram, 7, &info, &problem)) {
        for (const QString *name : {&info.dnsForestName, &info.dnsDomainName, &info.dnsHostName,
                                    &info.netbiosDomainName, &info.netbiosComputerName, &info.siteName})
            require(name->size() <= 255, "a name of the answer is at most 255 characters");
        netenum::NetlogonInfo other;
        require(!netenum::parseNetlogonAnswer(datagram, 8, &other, &problem), "an answer answers one request only");
    } else {
        require(info.siteName == QStringLiteral("untouched") && info.flags == 0xA5A5A5A5u,
                "a refused answer leaves the record as it was");
        require(!problem.isEmpty(), "a refused answer says why");
    }
    return 0;
}

int srvAnswers(const std::uint8_t *data, std::size_t size)
{
    const QString name = QStringLiteral("_ldap._tcp.dc._msdcs.arvendel.test");
    const netenum::DnsAnswer a = netenum::parseSrvAnswer(bytes(data, size), name);
    require(a.ok || a.srv.isEmpty(), "an unreadable answer gives no records");
    require(!a.srv.isEmpty() || !a.error.isEmpty(), "an answer without records says why");
    for (qsizetype i = 0; i < a.srv.size(); ++i) {
        const netenum::SrvRecord &r = a.srv.at(i);
        require(!r.target.isEmpty() && !r.target.endsWith(QLatin1Char('.')), "a target is a host name");
        require(r.target.size() < 1025, "a target fits a DNS name");
        require(r.port >= 0 && r.port <= 65535 && r.priority >= 0 && r.priority <= 65535 && r.weight >= 0 &&
                    r.weight <= 65535,
                "sixteen-bit fields");
        if (i > 0) {
            const netenum::SrvRecord &p = a.srv.at(i - 1);
            require(p.priority < r.priority || (p.priority == r.priority && p.weight >= r.weight),
                    "lower priority first, heavier weight first");
        }
    }
    return 0;
}

} // namespace fuzz
