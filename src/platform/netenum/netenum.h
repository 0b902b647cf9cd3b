#pragma once
// The network browsing stand-in: what the program calls where Windows offers
// WNetOpenEnum / WNetEnumResource / WNetCloseEnum and NetServerGetInfo (level 101).
//
// The network a Linux machine in a domain really has:
//   top level     one network, kNetworkName;
//   network       the domains the machine knows: the Kerberos default realm, ldap.conf's
//                 BASE, the resolver's search domains, the domains of the connected forest
//                 (setKnownDomains) and Options::domains;
//   domain        its domain controllers, from the DNS SRV records
//                 _ldap._tcp.dc._msdcs.<domain> (remote name "\\" + host name);
//   server        not a container (ERROR_NOT_CONTAINER).
// Server facts (NetServerGetInfo): an anonymous RootDSE read of the server and its answer to
// the domain controller ping, and, when connected (setCredentials), its computer object read
// through the connection: operatingSystemVersion as the version, description as the comment,
// the PDC emulator role. A browsed host is never bound with the connection's credentials: a
// name DNS (or whoever answers for it) lists is no reason to hand it a password.
//
// DNS is asked of Options::dns (ARV_DNS_SERVER, "address[:port]", when not set in code),
// else of the system's resolver. Every wait is bounded by the options' timeouts.
// Names from DNS or the directory are data: they are never used as paths or commands.
#include "platform/netenum/dnsquery.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace netenum {

// Status codes (Windows values).
constexpr int NO_ERROR = 0;
constexpr int ERROR_ACCESS_DENIED = 5;
constexpr int ERROR_INVALID_HANDLE = 6;
constexpr int ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr int ERROR_BAD_NETPATH = 53;
constexpr int ERROR_BAD_NET_NAME = 67;
constexpr int ERROR_INVALID_PARAMETER = 87;
constexpr int ERROR_MORE_DATA = 234;
constexpr int ERROR_NO_MORE_ITEMS = 259;
constexpr int ERROR_NOT_CONTAINER = 1207;
constexpr int ERROR_NO_NETWORK = 1222;
constexpr int ERROR_CANCELLED = 1223;
constexpr int ERROR_LOGON_FAILURE = 1326;
constexpr int ERROR_TIMEOUT = 1460;
constexpr int ERROR_INVALID_LEVEL = 124;

// NETRESOURCE fields.
constexpr std::uint32_t RESOURCE_GLOBALNET = 2;
constexpr std::uint32_t RESOURCETYPE_ANY = 0;
constexpr std::uint32_t RESOURCETYPE_DISK = 1;
constexpr std::uint32_t RESOURCEUSAGE_CONNECTABLE = 1;
constexpr std::uint32_t RESOURCEUSAGE_CONTAINER = 2;
constexpr std::uint32_t RESOURCEDISPLAYTYPE_GENERIC = 0;
constexpr std::uint32_t RESOURCEDISPLAYTYPE_DOMAIN = 1;
constexpr std::uint32_t RESOURCEDISPLAYTYPE_SERVER = 2;
constexpr std::uint32_t RESOURCEDISPLAYTYPE_NETWORK = 6;

// SERVER_INFO_101 platform ids and type flags used here.
constexpr std::uint32_t PLATFORM_ID_NT = 500;
constexpr std::uint32_t SV_TYPE_WORKSTATION = 0x1;
constexpr std::uint32_t SV_TYPE_SERVER = 0x2;
constexpr std::uint32_t SV_TYPE_DOMAIN_CTRL = 0x8;
constexpr std::uint32_t SV_TYPE_DOMAIN_BAKCTRL = 0x10;
constexpr std::uint32_t SV_TYPE_NT = 0x1000;
constexpr std::uint32_t SV_TYPE_SERVER_NT = 0x8000;

// The single top-level network and its provider.
inline const char kNetworkName[] = "Directory Network";
inline const char kProviderName[] = "Arvendel Directory Network";

// NETRESOURCEA: the strings point into the same buffer (or are null).
struct NETRESOURCEA {
    std::uint32_t dwScope;
    std::uint32_t dwType;
    std::uint32_t dwDisplayType;
    std::uint32_t dwUsage;
    char *lpLocalName;
    char *lpRemoteName;
    char *lpComment;
    char *lpProvider;
};

// SERVER_INFO_101 (8-bit texts, UTF-8).
struct SERVER_INFO_101 {
    std::uint32_t sv101_platform_id;
    char *sv101_name;
    std::uint32_t sv101_version_major;
    std::uint32_t sv101_version_minor;
    std::uint32_t sv101_type;
    char *sv101_comment;
};

// One resource as a value (what a source yields; what callers may copy a NETRESOURCEA into).
struct Resource {
    std::uint32_t scope = RESOURCE_GLOBALNET;
    std::uint32_t type = RESOURCETYPE_ANY;
    std::uint32_t displayType = RESOURCEDISPLAYTYPE_GENERIC;
    std::uint32_t usage = RESOURCEUSAGE_CONTAINER;
    QString localName, remoteName, comment, provider;
};
Resource toResource(const NETRESOURCEA &r);

using HANDLE = void *;

// Opens an enumeration of the resources below lpNetResource (null: the top level). The
// look-up (DNS) happens here. ERROR_NOT_CONTAINER for a server; ERROR_NO_NETWORK when
// nothing at all can be asked (no domains known, top level still works).
int WNetOpenEnumA(std::uint32_t dwScope, std::uint32_t dwType, std::uint32_t dwUsage,
                  const NETRESOURCEA *lpNetResource, HANDLE *lphEnum);
// Copies as many of the next entries as fit into lpBuffer (*lpBufferSize bytes), at most
// *lpcCount (0xFFFFFFFF: as many as fit), and sets *lpcCount to the number copied.
// ERROR_MORE_DATA with *lpBufferSize set to the size the next entry needs when not even
// one fits; ERROR_NO_MORE_ITEMS when every entry was handed out.
int WNetEnumResourceA(HANDLE hEnum, std::uint32_t *lpcCount, void *lpBuffer, std::uint32_t *lpBufferSize);
int WNetCloseEnum(HANDLE hEnum);
// Why the last call of this thread found less than it looked for ("" when nothing went
// wrong): unanswered DNS, domains without SRV records, unreachable servers.
QString WNetLastProblem();

// Reads the server's facts. servername: "\\host" or "host". Only level 101. The record is
// allocated here and freed with NetApiBufferFree. ERROR_BAD_NETPATH when the server cannot
// be reached or has no RootDSE; ERROR_CANCELLED when a CancelScope of the thread said so.
int NetServerGetInfo(const char *servername, std::uint32_t level, std::uint8_t **bufptr);

// While a scope lives, the calling thread's server reads (NetServerGetInfo, pingServer) ask
// cancelled() about every 100 ms while they wait, and end early when it says so.
class CancelScope {
public:
    explicit CancelScope(std::function<bool()> cancelled);
    ~CancelScope();
    CancelScope(const CancelScope &) = delete;
    CancelScope &operator=(const CancelScope &) = delete;

private:
    std::function<bool()> previous_;
};
int NetApiBufferFree(void *buffer);

// The system's text for a code (the network message table first, then the system
// messages); empty when there is none.
QString systemMessage(int code);

// --- configuration ---------------------------------------------------------------------

struct Options {
    DnsServer dns;               // empty address: the system's resolver
    QStringList domains;         // extra domains to list
    bool systemDomains = true;   // Kerberos realm, ldap.conf, resolv.conf search domains
    int ldapTimeoutSeconds = 3;  // connect and answer limit of a RootDSE read
};
// Process-wide options; the first call reads ARV_DNS_SERVER and ARV_NETENUM_DOMAINS
// (comma-separated) from the environment.
Options options();
void setOptions(const Options &options);

// Domains of the connected forest (their DNS names), listed besides the system's.
void setKnownDomains(const QStringList &dnsDomains);

// The connection whose directory holds the controllers' computer objects: its server (the
// ServerPrefix, "LDAP://server:port/") and credentials; nothing is read while it is not set.
struct Credentials {
    QString serverPrefix;
    QString user, password;
    std::uint32_t authFlags = 0;
    bool useCredentials = false;
};
void setCredentials(const Credentials &credentials);
void clearCredentials();

// The domain controller ping (netlogon.h) to a server named as in the browser ("\\host" or
// "host", resolved like resolveHost), for the DNS domain of its host name.
struct NetlogonInfo;
bool pingServer(const QString &server, NetlogonInfo *info, QString *problem = nullptr);

// The address to reach host at: the configured DNS server's A record first, then the
// system's resolver; an address is returned as it is. Empty when nothing resolves.
QString resolveHost(const QString &host, QString *problem = nullptr);

// The address to bind host by instead of its name, for a bind that checks who answers (TLS
// certificates and Kerberos service names name hosts, not addresses): empty when the system's
// resolver knows the name (it is bound by its name then) or when host is an address already;
// else the configured DNS server's address for it (empty when it has none).
QString addressForBind(const QString &host);

// The resources below a start (null: the top) as the stand-in finds them; the default
// source. A test or another platform may replace it (a null function restores it).
using Source = std::function<QList<Resource>(const Resource *start, QString *problem, int *status)>;
QList<Resource> systemResources(const Resource *start, QString *problem, int *status);
void setSource(Source source);

// The domains the machine knows (see the header comment), de-duplicated, lower case.
QStringList knownDomains();

} // namespace netenum
