#pragma once
// The domain controller "ping" over connectionless LDAP (UDP port 389): a RootDSE search for
// the Netlogon attribute with the domain's DNS name, answered anonymously by every controller
// with its domain's NetBIOS name, its own names and its site. Bounded by a timeout.
#include <QByteArray>
#include <QString>

#include <functional>

namespace netenum {

struct NetlogonInfo {
    QString dnsForestName, dnsDomainName, dnsHostName;
    QString netbiosDomainName, netbiosComputerName;
    QString siteName;
    quint32 flags = 0;
};

// Asks the controller at address; false with a reason when it does not answer in time or the
// answer cannot be read. A datagram that does not answer this request (another message id) is
// passed over; cancelled, when given, is asked while waiting and ends the wait early.
bool netlogonPing(const QString &address, const QString &dnsDomain, int timeoutMs, NetlogonInfo *info,
                  QString *problem, const std::function<bool()> &cancelled = {});

// The request datagram and the reading of an answer (exposed for tests). The answer must carry
// the request's message id; info is written only when the whole answer reads.
QByteArray netlogonRequest(int messageId, const QString &dnsDomain);
bool parseNetlogonAnswer(const QByteArray &datagram, int messageId, NetlogonInfo *info, QString *problem);

} // namespace netenum
