#include "platform/netenum/netenum.h"

#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adsobject.h"
#include "platform/adsi/adspath.h"
#include "platform/netenum/netlogon.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QVariant>

#include <krb5.h>
#include <ldap.h>
#include <netdb.h>
#include <resolv.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace netenum {

// --- configuration ---------------------------------------------------------------------

namespace {

struct Config {
    QMutex mutex;
    bool loaded = false;
    Options options;
    QStringList known;
    Credentials credentials;
    Source source;
};

Config &config()
{
    static Config c;
    return c;
}

void loadFromEnvironment(Options &o)
{
    const QString dns = qEnvironmentVariable("ARV_DNS_SERVER");
    if (!dns.isEmpty())
        parseDnsServer(dns, &o.dns);  // an unusable value leaves the system's resolver
    const QString extra = qEnvironmentVariable("ARV_NETENUM_DOMAINS");
    for (const QString &d : extra.split(QLatin1Char(','), Qt::SkipEmptyParts))
        o.domains << d.trimmed();
}

thread_local QString t_problem;
thread_local std::function<bool()> t_cancelled;

bool cancelled() { return t_cancelled && t_cancelled(); }

void addProblem(const QString &text)
{
    if (text.isEmpty())
        return;
    if (!t_problem.isEmpty())
        t_problem += QLatin1Char('\n');
    t_problem += text;
}

// A host name as DNS or the directory gives it: letters, digits, '-', '_' and dots only.
bool plausibleHostName(const QString &h)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9_.-]{0,251}[A-Za-z0-9_])?\\.?$"));
    return re.match(h).hasMatch();
}

} // namespace

Options options()
{
    Config &c = config();
    QMutexLocker lock(&c.mutex);
    if (!c.loaded) {
        loadFromEnvironment(c.options);
        c.loaded = true;
    }
    return c.options;
}

void setOptions(const Options &o)
{
    Config &c = config();
    QMutexLocker lock(&c.mutex);
    c.options = o;
    c.loaded = true;
}

void setKnownDomains(const QStringList &dnsDomains)
{
    Config &c = config();
    QMutexLocker lock(&c.mutex);
    c.known = dnsDomains;
}

void setCredentials(const Credentials &credentials)
{
    Config &c = config();
    QMutexLocker lock(&c.mutex);
    c.credentials = credentials;
}

void clearCredentials() { setCredentials(Credentials()); }

CancelScope::CancelScope(std::function<bool()> cancelled) : previous_(std::move(t_cancelled))
{
    t_cancelled = std::move(cancelled);
}

CancelScope::~CancelScope() { t_cancelled = std::move(previous_); }

static Credentials credentials()
{
    Config &c = config();
    QMutexLocker lock(&c.mutex);
    return c.credentials;
}

void setSource(Source source)
{
    Config &c = config();
    QMutexLocker lock(&c.mutex);
    c.source = std::move(source);
}

static Source source()
{
    Config &c = config();
    QMutexLocker lock(&c.mutex);
    return c.source;
}

Resource toResource(const NETRESOURCEA &r)
{
    Resource x;
    x.scope = r.dwScope;
    x.type = r.dwType;
    x.displayType = r.dwDisplayType;
    x.usage = r.dwUsage;
    auto text = [](const char *s) { return s ? QString::fromUtf8(s) : QString(); };
    x.localName = text(r.lpLocalName);
    x.remoteName = text(r.lpRemoteName);
    x.comment = text(r.lpComment);
    x.provider = text(r.lpProvider);
    return x;
}

// --- the domains the machine knows ------------------------------------------------------

static QString domainOfBase(const QString &base)
{
    // "dc=example,dc=com" -> "example.com"; anything else in the base is not a domain.
    QStringList labels;
    for (const QString &rdn : base.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString t = rdn.trimmed();
        if (!t.startsWith(QLatin1String("dc="), Qt::CaseInsensitive))
            return QString();
        labels << t.mid(3);
    }
    return labels.join(QLatin1Char('.'));
}

QStringList knownDomains()
{
    const Options o = options();
    QStringList found;
    {
        Config &c = config();
        QMutexLocker lock(&c.mutex);
        found << c.known;
    }
    if (o.systemDomains) {
        krb5_context ctx = nullptr;
        if (krb5_init_context(&ctx) == 0) {
            char *realm = nullptr;
            if (krb5_get_default_realm(ctx, &realm) == 0 && realm) {
                found << QString::fromUtf8(realm);
                krb5_free_default_realm(ctx, realm);
            }
            krb5_free_context(ctx);
        }
        char *base = nullptr;
        if (ldap_get_option(nullptr, LDAP_OPT_DEFBASE, &base) == LDAP_OPT_SUCCESS && base) {
            found << domainOfBase(QString::fromUtf8(base));
            ldap_memfree(base);
        }
        struct __res_state st;
        std::memset(&st, 0, sizeof st);
        if (res_ninit(&st) == 0) {
            for (int i = 0; i < MAXDNSRCH && st.dnsrch[i]; ++i)
                found << QString::fromUtf8(st.dnsrch[i]);
            res_nclose(&st);
        }
    }
    found << o.domains;
    QStringList out;
    QSet<QString> seen;
    for (QString d : found) {
        d = d.trimmed().toLower();
        while (d.endsWith(QLatin1Char('.')))
            d.chop(1);
        if (d.isEmpty() || !plausibleHostName(d) || seen.contains(d))
            continue;
        seen.insert(d);
        out << d;
    }
    return out;
}

// --- name resolution ----------------------------------------------------------------------

// The first address the system's resolver (hosts file, NSS, resolv.conf) gives for host;
// empty with getaddrinfo's code when it gives none.
static QString systemAddress(const QString &host, int *rc)
{
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    *rc = getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &res);
    QString address;
    if (*rc == 0 && res)
        address = QHostAddress(res->ai_addr).toString();
    if (res)
        freeaddrinfo(res);
    return address;
}

QString resolveHost(const QString &host, QString *problem)
{
    QHostAddress literal;
    if (literal.setAddress(host))
        return literal.toString();
    if (!plausibleHostName(host)) {
        if (problem)
            *problem = QStringLiteral("'%1' is not a host name").arg(host);
        return QString();
    }
    const Options o = options();
    QString why;
    if (!o.dns.address.isEmpty()) {
        const DnsAnswer a = queryAddresses(o.dns, host);
        if (!a.addresses.isEmpty())
            return a.addresses.first();
        why = a.error;
    }
    int rc = 0;
    const QString address = systemAddress(host, &rc);
    if (!address.isEmpty())
        return address;
    if (problem)
        *problem = why.isEmpty() ? QStringLiteral("%1 cannot be resolved (%2)").arg(host, QString::fromUtf8(gai_strerror(rc)))
                                 : why;
    return QString();
}

QString addressForBind(const QString &host)
{
    QHostAddress literal;
    if (literal.setAddress(host) || !plausibleHostName(host))
        return QString();
    int rc = 0;
    if (!systemAddress(host, &rc).isEmpty())
        return QString();
    const Options o = options();
    if (o.dns.address.isEmpty())
        return QString();
    return queryAddresses(o.dns, host).addresses.value(0);
}

bool pingServer(const QString &server, NetlogonInfo *info, QString *problem)
{
    QString host = server;
    while (host.startsWith(QLatin1Char('\\')))
        host.remove(0, 1);
    const QString address = resolveHost(host, problem);
    if (address.isEmpty())
        return false;
    const QString domain = host.section(QLatin1Char('.'), 1);
    return netlogonPing(address, domain, std::max(1, options().ldapTimeoutSeconds) * 1000, info, problem, t_cancelled);
}

// --- the default source --------------------------------------------------------------------

QList<Resource> systemResources(const Resource *start, QString *problem, int *status)
{
    *status = NO_ERROR;
    QList<Resource> out;
    if (!start) {
        Resource net;
        net.displayType = RESOURCEDISPLAYTYPE_NETWORK;
        net.remoteName = QString::fromLatin1(kNetworkName);
        net.provider = QString::fromLatin1(kProviderName);
        out << net;
        return out;
    }
    switch (start->displayType) {
    case RESOURCEDISPLAYTYPE_NETWORK: {
        const QStringList domains = knownDomains();
        if (domains.isEmpty())
            *problem = QStringLiteral("No domain is known: the Kerberos configuration has no default realm, "
                                      "ldap.conf no BASE and the resolver no search domain.");
        for (const QString &d : domains) {
            Resource r;
            r.displayType = RESOURCEDISPLAYTYPE_DOMAIN;
            r.remoteName = d;
            r.provider = QString::fromLatin1(kProviderName);
            out << r;
        }
        return out;
    }
    case RESOURCEDISPLAYTYPE_DOMAIN: {
        const QString domain = start->remoteName;
        if (!plausibleHostName(domain)) {
            *status = ERROR_BAD_NET_NAME;
            *problem = QStringLiteral("'%1' is not a DNS domain name").arg(domain);
            return out;
        }
        const DnsAnswer a = querySrv(options().dns, QStringLiteral("_ldap._tcp.dc._msdcs.") + domain);
        if (!a.ok) {
            *status = ERROR_NO_NETWORK;
            *problem = QStringLiteral("No domain controllers of %1: %2").arg(domain, a.error);
            return out;
        }
        if (a.srv.isEmpty())
            *problem = QStringLiteral("No domain controllers of %1: %2").arg(domain, a.error);
        QSet<QString> seen;
        for (const SrvRecord &s : a.srv) {
            const QString host = s.target.toLower();
            if (!plausibleHostName(host) || seen.contains(host))
                continue;
            seen.insert(host);
            Resource r;
            r.displayType = RESOURCEDISPLAYTYPE_SERVER;
            r.remoteName = QStringLiteral("\\\\") + host;
            r.provider = QString::fromLatin1(kProviderName);
            out << r;
        }
        return out;
    }
    default:
        *status = ERROR_NOT_CONTAINER;
        return out;
    }
}

// --- enumeration -----------------------------------------------------------------------------

namespace {

constexpr std::uint32_t kMagic = 0x4e455445;  // "NETE"

struct EnumState {
    std::uint32_t magic = kMagic;
    QList<Resource> items;
    int next = 0;
};

QMutex g_handlesMutex;
QSet<EnumState *> g_handles;

EnumState *stateOf(HANDLE h)
{
    QMutexLocker lock(&g_handlesMutex);
    auto *s = static_cast<EnumState *>(h);
    return g_handles.contains(s) ? s : nullptr;
}

std::uint32_t textSize(const QString &s) { return s.isEmpty() ? 0 : std::uint32_t(s.toUtf8().size()) + 1; }

std::uint32_t entrySize(const Resource &r)
{
    return sizeof(NETRESOURCEA) + textSize(r.localName) + textSize(r.remoteName) + textSize(r.comment) +
           textSize(r.provider);
}

} // namespace

int WNetOpenEnumA(std::uint32_t dwScope, std::uint32_t dwType, std::uint32_t dwUsage,
                  const NETRESOURCEA *lpNetResource, HANDLE *lphEnum)
{
    t_problem.clear();
    if (!lphEnum)
        return ERROR_INVALID_PARAMETER;
    *lphEnum = nullptr;
    if (dwScope != RESOURCE_GLOBALNET)
        return ERROR_INVALID_PARAMETER;
    Resource start;
    if (lpNetResource) {
        start = toResource(*lpNetResource);
        if (!(start.usage & RESOURCEUSAGE_CONTAINER))
            return ERROR_NOT_CONTAINER;
    }
    Source src = source();
    if (!src)
        src = systemResources;
    QString problem;
    int status = NO_ERROR;
    QList<Resource> items = src(lpNetResource ? &start : nullptr, &problem, &status);
    addProblem(problem);
    if (status != NO_ERROR)
        return status;
    auto state = std::make_unique<EnumState>();
    for (const Resource &r : items) {
        // Only containers are asked for; other types are what the caller filtered.
        if (dwUsage == RESOURCEUSAGE_CONTAINER && !(r.usage & RESOURCEUSAGE_CONTAINER))
            continue;
        if (dwType != RESOURCETYPE_ANY && r.type != dwType && r.type != RESOURCETYPE_ANY)
            continue;
        state->items << r;
    }
    QMutexLocker lock(&g_handlesMutex);
    g_handles.insert(state.get());
    *lphEnum = state.release();
    return NO_ERROR;
}

int WNetEnumResourceA(HANDLE hEnum, std::uint32_t *lpcCount, void *lpBuffer, std::uint32_t *lpBufferSize)
{
    EnumState *s = stateOf(hEnum);
    if (!s)
        return ERROR_INVALID_HANDLE;
    if (!lpcCount || !lpBufferSize || (!lpBuffer && *lpBufferSize > 0))
        return ERROR_INVALID_PARAMETER;
    if (s->next >= s->items.size()) {
        *lpcCount = 0;
        return ERROR_NO_MORE_ITEMS;
    }
    const std::uint32_t wanted = *lpcCount == 0 ? 0xFFFFFFFFu : *lpcCount;
    const std::uint32_t size = *lpBufferSize;
    // Entries from the front, their strings packed from the back.
    std::uint32_t count = 0;
    std::uint32_t stringsUsed = 0;
    auto *base = static_cast<char *>(lpBuffer);
    while (count < wanted && s->next < s->items.size()) {
        const Resource &r = s->items.at(s->next);
        const std::uint32_t need = entrySize(r);
        const std::uint64_t used = std::uint64_t(count) * sizeof(NETRESOURCEA) + stringsUsed;
        if (used + need > size) {
            if (count == 0) {
                *lpBufferSize = need;
                *lpcCount = 0;
                return ERROR_MORE_DATA;
            }
            break;
        }
        NETRESOURCEA *e = reinterpret_cast<NETRESOURCEA *>(base + std::size_t(count) * sizeof(NETRESOURCEA));
        auto put = [&](const QString &text) -> char * {
            if (text.isEmpty())
                return nullptr;
            const QByteArray b = text.toUtf8();
            stringsUsed += std::uint32_t(b.size()) + 1;
            char *p = base + size - stringsUsed;
            std::memcpy(p, b.constData(), std::size_t(b.size()) + 1);
            return p;
        };
        NETRESOURCEA entry;
        entry.dwScope = r.scope;
        entry.dwType = r.type;
        entry.dwDisplayType = r.displayType;
        entry.dwUsage = r.usage;
        entry.lpLocalName = put(r.localName);
        entry.lpRemoteName = put(r.remoteName);
        entry.lpComment = put(r.comment);
        entry.lpProvider = put(r.provider);
        std::memcpy(e, &entry, sizeof entry);
        ++count;
        ++s->next;
    }
    *lpcCount = count;
    return NO_ERROR;
}

int WNetCloseEnum(HANDLE hEnum)
{
    EnumState *s = nullptr;
    {
        QMutexLocker lock(&g_handlesMutex);
        s = static_cast<EnumState *>(hEnum);
        if (!g_handles.remove(s))
            return ERROR_INVALID_HANDLE;
    }
    delete s;
    return NO_ERROR;
}

QString WNetLastProblem() { return t_problem; }

// --- server information -------------------------------------------------------------------

namespace {

struct RootDseFacts {
    QString dnsHostName, serverName, dsServiceName, defaultNamingContext;
    int dcFunctionality = -1;
};

// An anonymous base read of the server's RootDSE, bounded by the options' timeout.
int readRootDse(const QString &address, int timeoutSeconds, RootDseFacts *f, QString *problem)
{
    const QString host = address.contains(QLatin1Char(':')) ? QLatin1Char('[') + address + QLatin1Char(']') : address;
    const QByteArray uri = QStringLiteral("ldap://%1:389").arg(host).toUtf8();
    LDAP *ld = nullptr;
    if (ldap_initialize(&ld, uri.constData()) != LDAP_SUCCESS || !ld) {
        *problem = QStringLiteral("%1 is not a valid server address").arg(address);
        return ERROR_BAD_NETPATH;
    }
    std::unique_ptr<LDAP, void (*)(LDAP *)> guard(ld, [](LDAP *l) { ldap_unbind_ext_s(l, nullptr, nullptr); });
    const int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    timeval tv{timeoutSeconds, 0};
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &tv);
    ldap_set_option(ld, LDAP_OPT_TIMEOUT, &tv);
    const char *attrs[] = {"dnsHostName", "serverName", "dsServiceName", "defaultNamingContext",
                           "domainControllerFunctionality", nullptr};
    int msgid = -1;
    int rc = ldap_search_ext(ld, "", LDAP_SCOPE_BASE, "(objectClass=*)", const_cast<char **>(attrs), 0, nullptr,
                             nullptr, &tv, 1, &msgid);
    // The answer is awaited in short slices, so that a cancel is heard while the server is silent.
    LDAPMessage *res = nullptr;
    QElapsedTimer clock;
    clock.start();
    while (rc == LDAP_SUCCESS && !res) {
        if (cancelled()) {
            *problem = QStringLiteral("%1: the read was cancelled").arg(address);
            return ERROR_CANCELLED;
        }
        if (clock.elapsed() >= qint64(timeoutSeconds) * 1000) {
            rc = LDAP_TIMEOUT;
            break;
        }
        timeval slice{0, 100000};
        const int got = ldap_result(ld, msgid, LDAP_MSG_ALL, &slice, &res);
        if (got < 0) {
            ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc);
            if (rc == LDAP_SUCCESS)
                rc = LDAP_SERVER_DOWN;
        } else if (got > 0) {
            int err = LDAP_SUCCESS;
            rc = ldap_parse_result(ld, res, &err, nullptr, nullptr, nullptr, nullptr, 0) == LDAP_SUCCESS ? err
                                                                                                       : LDAP_DECODING_ERROR;
        }
    }
    std::unique_ptr<LDAPMessage, int (*)(LDAPMessage *)> resGuard(res, ldap_msgfree);
    if (rc != LDAP_SUCCESS) {
        *problem = QStringLiteral("%1: %2").arg(address, QString::fromUtf8(ldap_err2string(rc)));
        return rc == LDAP_TIMEOUT ? ERROR_TIMEOUT : ERROR_BAD_NETPATH;
    }
    LDAPMessage *e = ldap_first_entry(ld, res);
    if (!e) {
        *problem = QStringLiteral("%1 has no RootDSE").arg(address);
        return ERROR_BAD_NETPATH;
    }
    auto value = [&](const char *name) {
        berval **v = ldap_get_values_len(ld, e, name);
        QString s;
        // A value is data of the server's choosing: it is kept only when it is short.
        if (v && v[0] && v[0]->bv_len <= 1024)
            s = QString::fromUtf8(v[0]->bv_val, int(v[0]->bv_len));
        if (v)
            ldap_value_free_len(v);
        return s;
    };
    f->dnsHostName = value("dnsHostName");
    f->serverName = value("serverName");
    f->dsServiceName = value("dsServiceName");
    f->defaultNamingContext = value("defaultNamingContext");
    bool ok = false;
    const int n = value("domainControllerFunctionality").toInt(&ok);
    f->dcFunctionality = ok ? n : -1;
    return NO_ERROR;
}

// The Windows version that a controller functionality level stands for.
void versionOfFunctionality(int level, std::uint32_t *major, std::uint32_t *minor)
{
    switch (level) {
    case 0: *major = 5; *minor = 0; break;   // 2000
    case 2: *major = 5; *minor = 2; break;   // 2003
    case 3: *major = 6; *minor = 0; break;   // 2008
    case 4: *major = 6; *minor = 1; break;   // 2008 R2
    case 5: *major = 6; *minor = 2; break;   // 2012
    case 6: *major = 6; *minor = 3; break;   // 2012 R2
    case 7: *major = 10; *minor = 0; break;  // 2016 and later
    default: *major = 0; *minor = 0; break;
    }
}

QString firstValue(const ads::ObjectPtr &o, const QString &name)
{
    QVariant v;
    if (!o || ads::failed(o->Get(name, &v)))
        return QString();
    if (v.typeId() == QMetaType::QVariantList) {
        const QVariantList l = v.toList();
        return l.isEmpty() ? QString() : l.first().toString();
    }
    return v.toString();
}

struct ComputerFacts {
    bool read = false;
    QString operatingSystem, version, description;
    bool pdc = false;
};

// A host name as the directory or a browser writes it, for comparing.
QString normalHost(QString h)
{
    h = h.trimmed().toLower();
    while (h.endsWith(QLatin1Char('.')))
        h.chop(1);
    return h;
}

// The computer object and the PDC role of host, read through the connection: the directory
// the program is connected to holds them, and nothing is sent to the browsed host. The server
// object its RootDSE names is used only when it carries host's own DNS name, so that a host
// cannot pass another controller's facts off as its own.
ComputerFacts readComputer(const QString &host, const RootDseFacts &dse, const Credentials &cred)
{
    ComputerFacts c;
    if (cred.serverPrefix.isEmpty() || dse.serverName.isEmpty())
        return c;
    // A wait for the directory ends early when the read is cancelled.
    ads::WaitHookScope hook([] { return !cancelled(); });
    const QString &prefix = cred.serverPrefix;
    const QString user = cred.useCredentials ? cred.user : QString();
    const QString pw = cred.useCredentials ? cred.password : QString();
    const std::uint32_t flags = cred.authFlags;
    ads::ObjectPtr server;
    if (ads::failed(ads::ADsOpenObject(prefix + ads::escapePathDn(dse.serverName), user, pw, flags, &server)))
        return c;
    server->GetInfoEx({QStringLiteral("dNSHostName"), QStringLiteral("serverReference")});
    if (normalHost(firstValue(server, QStringLiteral("dNSHostName"))) != normalHost(host))
        return c;
    const QString computerDn = firstValue(server, QStringLiteral("serverReference"));
    ads::ObjectPtr computer;
    if (!computerDn.isEmpty() &&
        ads::succeeded(ads::ADsOpenObject(prefix + ads::escapePathDn(computerDn), user, pw, flags, &computer))) {
        computer->GetInfoEx({QStringLiteral("operatingSystem"), QStringLiteral("operatingSystemVersion"),
                             QStringLiteral("description")});
        c.operatingSystem = firstValue(computer, QStringLiteral("operatingSystem")).left(256);
        c.version = firstValue(computer, QStringLiteral("operatingSystemVersion")).left(256);
        c.description = firstValue(computer, QStringLiteral("description")).left(1024);
        c.read = true;
    }
    // The PDC emulator role: the domain object names the role holder's directory service.
    ads::ObjectPtr domain;
    if (!dse.defaultNamingContext.isEmpty() &&
        ads::succeeded(ads::ADsOpenObject(prefix + ads::escapePathDn(dse.defaultNamingContext), user, pw, flags, &domain))) {
        domain->GetInfoEx({QStringLiteral("fSMORoleOwner")});
        const QString owner = firstValue(domain, QStringLiteral("fSMORoleOwner"));
        c.pdc = !owner.isEmpty() &&
                owner.compare(QStringLiteral("CN=NTDS Settings,") + dse.serverName, Qt::CaseInsensitive) == 0;
    }
    return c;
}

} // namespace

int NetServerGetInfo(const char *servername, std::uint32_t level, std::uint8_t **bufptr)
{
    t_problem.clear();
    if (!bufptr)
        return ERROR_INVALID_PARAMETER;
    *bufptr = nullptr;
    if (level != 101)
        return ERROR_INVALID_LEVEL;
    QString host = servername ? QString::fromUtf8(servername) : QString();
    while (host.startsWith(QLatin1Char('\\')))
        host.remove(0, 1);
    if (host.isEmpty()) {
        addProblem(QStringLiteral("no server named"));
        return ERROR_BAD_NETPATH;
    }
    QString problem;
    const QString address = resolveHost(host, &problem);
    if (address.isEmpty()) {
        addProblem(problem);
        return ERROR_BAD_NETPATH;
    }
    RootDseFacts dse;
    const int rc = readRootDse(address, std::max(1, options().ldapTimeoutSeconds), &dse, &problem);
    if (rc != NO_ERROR) {
        addProblem(problem);
        return rc;
    }
    std::uint32_t major = 0, minor = 0;
    versionOfFunctionality(dse.dcFunctionality, &major, &minor);
    const ComputerFacts computer = readComputer(host, dse, credentials());
    if (cancelled()) {
        addProblem(QStringLiteral("reading %1 was cancelled").arg(host));
        return ERROR_CANCELLED;
    }
    if (computer.read && computer.operatingSystem.contains(QLatin1String("Windows"), Qt::CaseInsensitive)) {
        // "10.0 (17763)": major and minor before the build.
        static const QRegularExpression re(QStringLiteral("^\\s*(\\d{1,5})\\.(\\d{1,5})"));
        const auto m = re.match(computer.version);
        if (m.hasMatch()) {
            major = m.captured(1).toUInt();
            minor = m.captured(2).toUInt();
        }
    }
    // The controller's own answer to the ping names its NetBIOS name and whether it holds the
    // PDC emulator role, without credentials.
    NetlogonInfo ping;
    QString pingProblem;
    const QString dnsHost = dse.dnsHostName.isEmpty() ? host : dse.dnsHostName;
    const bool pinged = netlogonPing(address, dnsHost.section(QLatin1Char('.'), 1),
                                     std::max(1, options().ldapTimeoutSeconds) * 1000, &ping, &pingProblem, t_cancelled);
    if (cancelled()) {
        addProblem(QStringLiteral("reading %1 was cancelled").arg(host));
        return ERROR_CANCELLED;
    }
    std::uint32_t type = SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_NT | SV_TYPE_SERVER_NT;
    // A server with a directory service is a domain controller: the PDC emulator role holder
    // when it says so or its domain object names it, else a backup controller.
    const bool pdc = computer.pdc || (pinged && (ping.flags & 0x1));
    if (!dse.dsServiceName.isEmpty())
        type |= pdc ? SV_TYPE_DOMAIN_CTRL : SV_TYPE_DOMAIN_BAKCTRL;

    QString name = pinged && plausibleHostName(ping.netbiosComputerName) ? ping.netbiosComputerName.toUpper()
                                                                          : dnsHost.section(QLatin1Char('.'), 0, 0).toUpper();
    if (!plausibleHostName(name))
        name = host.section(QLatin1Char('.'), 0, 0).toUpper();
    const QByteArray nameBytes = name.toUtf8();
    const QByteArray commentBytes = computer.description.toUtf8();
    const std::size_t total = sizeof(SERVER_INFO_101) + std::size_t(nameBytes.size()) + 1 +
                              std::size_t(commentBytes.size()) + 1;
    auto *block = static_cast<std::uint8_t *>(std::calloc(1, total));
    if (!block)
        return ERROR_NOT_ENOUGH_MEMORY;
    auto *info = reinterpret_cast<SERVER_INFO_101 *>(block);
    char *p = reinterpret_cast<char *>(block + sizeof(SERVER_INFO_101));
    std::memcpy(p, nameBytes.constData(), std::size_t(nameBytes.size()) + 1);
    info->sv101_name = p;
    p += nameBytes.size() + 1;
    std::memcpy(p, commentBytes.constData(), std::size_t(commentBytes.size()) + 1);
    info->sv101_comment = p;
    info->sv101_platform_id = PLATFORM_ID_NT;
    info->sv101_version_major = major;
    info->sv101_version_minor = minor;
    info->sv101_type = type;
    *bufptr = block;
    return NO_ERROR;
}

int NetApiBufferFree(void *buffer)
{
    std::free(buffer);
    return NO_ERROR;
}

QString systemMessage(int code)
{
    switch (code) {
    case NO_ERROR: return QStringLiteral("The operation completed successfully.");
    case ERROR_ACCESS_DENIED: return QStringLiteral("Access is denied.");
    case ERROR_INVALID_HANDLE: return QStringLiteral("The handle is invalid.");
    case ERROR_NOT_ENOUGH_MEMORY: return QStringLiteral("Not enough storage is available to process this command.");
    case ERROR_BAD_NETPATH: return QStringLiteral("The network path was not found.");
    case ERROR_BAD_NET_NAME: return QStringLiteral("The network name cannot be found.");
    case ERROR_INVALID_PARAMETER: return QStringLiteral("The parameter is incorrect.");
    case ERROR_INVALID_LEVEL: return QStringLiteral("The system call level is not correct.");
    case ERROR_MORE_DATA: return QStringLiteral("More data is available.");
    case ERROR_NO_MORE_ITEMS: return QStringLiteral("No more data is available.");
    case ERROR_NOT_CONTAINER: return QStringLiteral("Cannot enumerate a noncontainer.");
    case ERROR_NO_NETWORK: return QStringLiteral("The network is not present or not started.");
    case ERROR_CANCELLED: return QStringLiteral("The operation was canceled by the user.");
    case ERROR_LOGON_FAILURE: return QStringLiteral("The user name or password is incorrect.");
    case ERROR_TIMEOUT: return QStringLiteral("This operation returned because the timeout period expired.");
    default: return QString();
    }
}

} // namespace netenum
