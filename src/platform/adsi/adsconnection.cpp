#include "platform/adsi/adsconnection.h"

#include "platform/adsi/adserror.h"
#include "platform/adsi/adsinternal.h"
#include "platform/adsi/adsschema.h"
#include "platform/adsi/adsschemacache.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>

#include <atomic>
#include <map>
#include <mutex>

#include <cerrno>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_krb5.h>
#include <krb5.h>
#include <ldap.h>
#include <sasl/sasl.h>

namespace ads {

using detail::fail;

// --- Kerberos state of a password bind ----------------------------------------------------

struct Connection::KerberosState {
    krb5_context ctx = nullptr;
    krb5_ccache cache = nullptr;
    ~KerberosState()
    {
        if (cache)
            krb5_cc_destroy(ctx, cache);
        if (ctx)
            krb5_free_context(ctx);
    }
};

Connection::~Connection()
{
    if (m_ld)
        ldap_unbind_ext_s(m_ld, nullptr, nullptr);
}

namespace {

std::atomic<int> g_opened{0};
std::atomic<int> g_generation{0};

struct ThreadPool {
    int generation = 0;
    std::vector<std::shared_ptr<Connection>> connections;
};
thread_local ThreadPool t_pool;

ThreadPool &pool()
{
    const int gen = g_generation.load();
    if (t_pool.generation != gen) {
        t_pool.connections.clear();
        t_pool.generation = gen;
    }
    return t_pool;
}

QString krb5Message(krb5_context ctx, krb5_error_code code)
{
    const char *m = krb5_get_error_message(ctx, code);
    QString s = QString::fromUtf8(m ? m : "unknown Kerberos error");
    krb5_free_error_message(ctx, m);
    return s;
}

// Realm for a user name without one: the default realm, else the server's DNS domain.
QString defaultRealm(krb5_context ctx, const QString &host)
{
    char *realm = nullptr;
    if (krb5_get_default_realm(ctx, &realm) == 0 && realm) {
        QString r = QString::fromUtf8(realm);
        krb5_free_default_realm(ctx, realm);
        return r;
    }
    const int dot = host.indexOf(QLatin1Char('.'));
    if (dot > 0 && !host.at(0).isDigit())
        return host.mid(dot + 1).toUpper();
    return QString();
}

// The Kerberos principal for a user name: user@realm as given (realm upper-cased),
// DOMAIN\user as user@<default realm>.
QString principalFor(krb5_context ctx, const QString &user, const QString &host)
{
    const int bs = user.indexOf(QLatin1Char('\\'));
    if (bs >= 0) {
        const QString realm = defaultRealm(ctx, host);
        return realm.isEmpty() ? QString() : user.mid(bs + 1) + QLatin1Char('@') + realm;
    }
    const int at = user.lastIndexOf(QLatin1Char('@'));
    if (at > 0)
        return user.left(at) + QLatin1Char('@') + user.mid(at + 1).toUpper();
    if (user.contains(QLatin1Char('=')))
        return QString(); // a DN: Kerberos cannot use it
    const QString realm = defaultRealm(ctx, host);
    return realm.isEmpty() ? QString() : user + QLatin1Char('@') + realm;
}

HRESULT kerberosFailure(krb5_context ctx, krb5_error_code code, const QString &principal)
{
    const QString text = krb5Message(ctx, code);
    switch (code) {
    case KRB5KDC_ERR_PREAUTH_FAILED:
    case KRB5KRB_AP_ERR_BAD_INTEGRITY:
    case KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN:
        return fail(HR_LOGON_FAILURE,
                    QStringLiteral("Kerberos refused the user name or password of %1: %2")
                        .arg(principal, text));
    case KRB5KDC_ERR_KEY_EXP:
        return fail(hresultFromWin32(1330),
                    QStringLiteral("The password of %1 has expired: %2").arg(principal, text));
    case KRB5KDC_ERR_CLIENT_REVOKED:
        return fail(hresultFromWin32(1331),
                    QStringLiteral("The account %1 is disabled or locked out: %2").arg(principal, text));
    case KRB5_KDC_UNREACH:
    case KRB5_REALM_UNKNOWN:
    case KRB5_REALM_CANT_RESOLVE:
        return fail(HR_DS_SERVER_DOWN,
                    QStringLiteral("No Kerberos KDC can be reached for %1: %2. Check the "
                                   "Kerberos configuration (krb5.conf).")
                        .arg(principal, text));
    default:
        return fail(hresultFromWin32(8234),
                    QStringLiteral("Kerberos could not obtain a ticket for %1: %2").arg(principal, text));
    }
}

// Obtains a ticket for user/password into a private memory cache for the SASL bind.
HRESULT kerberosLogin(const QString &user, const QString &password, const QString &host,
                      std::unique_ptr<Connection::KerberosState> *out)
{
    auto st = std::make_unique<Connection::KerberosState>();
    krb5_error_code rc = krb5_init_context(&st->ctx);
    if (rc)
        return fail(hresultFromWin32(8234), QStringLiteral("Kerberos cannot be initialised (error %1).").arg(rc));
    const QString principal = principalFor(st->ctx, user, host);
    if (principal.isEmpty())
        return fail(HR_LOGON_FAILURE,
                    QStringLiteral("Kerberos needs the user name as DOMAIN\\user or user@realm "
                                   "(and a default realm in krb5.conf for DOMAIN\\user); \"%1\" cannot be used.")
                        .arg(user));
    krb5_principal princ = nullptr;
    rc = krb5_parse_name(st->ctx, principal.toUtf8().constData(), &princ);
    if (rc)
        return kerberosFailure(st->ctx, rc, principal);
    krb5_get_init_creds_opt *opts = nullptr;
    krb5_get_init_creds_opt_alloc(st->ctx, &opts);
    krb5_creds creds;
    memset(&creds, 0, sizeof creds);
    QByteArray pw = password.toUtf8();
    rc = krb5_get_init_creds_password(st->ctx, &creds, princ, pw.data(), nullptr, nullptr, 0,
                                      nullptr, opts);
    pw.fill('\0');
    krb5_get_init_creds_opt_free(st->ctx, opts);
    if (rc) {
        krb5_free_principal(st->ctx, princ);
        return kerberosFailure(st->ctx, rc, principal);
    }
    rc = krb5_cc_new_unique(st->ctx, "MEMORY", nullptr, &st->cache);
    if (!rc)
        rc = krb5_cc_initialize(st->ctx, st->cache, princ);
    if (!rc)
        rc = krb5_cc_store_cred(st->ctx, st->cache, &creds);
    krb5_free_cred_contents(st->ctx, &creds);
    if (rc) {
        krb5_free_principal(st->ctx, princ);
        return kerberosFailure(st->ctx, rc, principal);
    }
    krb5_free_principal(st->ctx, princ);
    *out = std::move(st);
    return S_OK;
}

int saslInteract(LDAP *, unsigned, void *, void *in)
{
    for (auto *i = static_cast<sasl_interact_t *>(in); i && i->id != SASL_CB_LIST_END; ++i) {
        i->result = i->defresult ? i->defresult : "";
        i->len = static_cast<unsigned>(strlen(static_cast<const char *>(i->result)));
    }
    return LDAP_SUCCESS;
}

QString diagnostic(LDAP *ld)
{
    char *msg = nullptr;
    ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &msg);
    QString s = QString::fromUtf8(msg ? msg : "");
    ldap_memfree(msg);
    return s.trimmed();
}

QString uriHost(const QString &uri);

int uriPort(const QString &uri, int fallback)
{
    const QString hostPort = uri.section(QLatin1String("://"), 1).section(QLatin1Char('/'), 0, 0);
    const int colon = hostPort.lastIndexOf(QLatin1Char(':'));
    const int close = hostPort.lastIndexOf(QLatin1Char(']'));
    if (colon < 0 || colon < close)
        return fallback;
    const int p = hostPort.mid(colon + 1).toInt();
    return p > 0 ? p : fallback;
}

// True when a TCP connection to host:port succeeds within three seconds.
bool tcpReachable(const QString &host, int port)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    if (getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints, &res) != 0)
        return false;
    bool ok = false;
    for (addrinfo *a = res; a && !ok; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            ok = true;
        } else if (errno == EINPROGRESS) {
            pollfd pfd{fd, POLLOUT, 0};
            int err = 0;
            socklen_t len = sizeof err;
            ok = poll(&pfd, 1, 3000) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
        }
        ::close(fd);
    }
    freeaddrinfo(res);
    return ok;
}

// Plain words for a failed connect or bind.
HRESULT bindFailure(LDAP *ld, int rc, const QString &uri, bool secure, bool withPassword)
{
    const QString diag = diagnostic(ld);
    const QString err = QString::fromUtf8(ldap_err2string(rc));
    if (rc == LDAP_TIMEOUT)
        return fail(hresultFromWin32(1460), detail::noAnswerText(ld, operationTimeout()));
    if (rc == LDAP_USER_CANCELLED)
        return fail(hresultFromWin32(1223), QStringLiteral("Connecting to %1 was stopped.").arg(uri));
    if (!secure && (rc == LDAP_STRONG_AUTH_REQUIRED || rc == LDAP_CONFIDENTIALITY_REQUIRED))
        return fail(hresultFromLdap(rc),
                    QStringLiteral("The server %1 refuses a simple bind over an unprotected connection: it "
                                   "requires signing or encryption (%2). Choose Secure Authentication "
                                   "(Kerberos, which signs and can seal the connection) or SSL encryption "
                                   "in the connection settings.")
                        .arg(uri, diag.isEmpty() ? err : diag));
    if (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR) {
        QString text;
        // libldap rarely says why TLS failed; a port that accepts TCP tells that the
        // server is there and the secure channel was the problem.
        const bool tlsFailed = diag.contains(QLatin1String("certificate"), Qt::CaseInsensitive) ||
                               diag.contains(QLatin1String("TLS"), Qt::CaseInsensitive) ||
                               diag.contains(QLatin1String("SSL"), Qt::CaseInsensitive) ||
                               (uri.startsWith(QLatin1String("ldaps:"), Qt::CaseInsensitive) &&
                                tcpReachable(uriHost(uri), uriPort(uri, 636)));
        if (tlsFailed)
            text = QStringLiteral("The secure connection to %1 failed: the server's certificate is not "
                                  "trusted or TLS could not be negotiated (%2). To trust the domain's "
                                  "certificate authority, save its CA certificate (PEM) and name it in "
                                  "TLS_CACERT of /etc/ldap/ldap.conf or in the LDAPTLS_CACERT environment "
                                  "variable, or add it to the system's store with "
                                  "update-ca-certificates.")
                       .arg(uri, diag);
        else
            text = QStringLiteral("The server %1 cannot be reached (%2). Check the server name, the "
                                  "port and the network.")
                       .arg(uri, diag.isEmpty() ? err : diag);
        return fail(HR_DS_SERVER_DOWN, text);
    }
    if (secure && (rc == LDAP_LOCAL_ERROR || rc == LDAP_AUTH_UNKNOWN || rc == LDAP_OTHER ||
                   rc == LDAP_INAPPROPRIATE_AUTH)) {
        const bool noTicket = !withPassword &&
                              (diag.contains(QLatin1String("credentials"), Qt::CaseInsensitive) ||
                               diag.contains(QLatin1String("ccache"), Qt::CaseInsensitive) ||
                               diag.contains(QLatin1String("cache"), Qt::CaseInsensitive));
        if (noTicket)
            return fail(hresultFromWin32(1312),
                        QStringLiteral("No Kerberos ticket: run kinit to obtain one, or connect with a "
                                       "user name and password (%1).")
                            .arg(diag));
        return fail(hresultFromWin32(8234),
                    QStringLiteral("The Kerberos (GSSAPI) bind to %1 failed: %2").arg(uri, diag.isEmpty() ? err : diag));
    }
    return detail::failLdap(ld, rc);
}

QString uriHost(const QString &uri)
{
    QString h = uri.section(QLatin1String("://"), 1).section(QLatin1Char('/'), 0, 0);
    if (h.startsWith(QLatin1Char('[')))
        return h.mid(1, h.indexOf(QLatin1Char(']')) - 1);
    return h.section(QLatin1Char(':'), 0, 0);
}

} // namespace

QString defaultServerUri(bool tls)
{
    // The configured URI (ldap.conf URI, LDAPURI).
    char *uri = nullptr;
    if (ldap_get_option(nullptr, LDAP_OPT_URI, &uri) == LDAP_OPT_SUCCESS && uri && *uri) {
        QString s = QString::fromUtf8(uri);
        ldap_memfree(uri);
        uri = nullptr;  // freed: only ldapi: URIs leave the loop below without returning
        QStringList out;
        for (QString u : s.split(QRegularExpression(QStringLiteral("[ ,]+")), Qt::SkipEmptyParts)) {
            if (u.startsWith(QLatin1String("ldapi:"), Qt::CaseInsensitive))
                continue;
            if (tls && u.startsWith(QLatin1String("ldap://"), Qt::CaseInsensitive)) {
                QString host = u.mid(7).section(QLatin1Char('/'), 0, 0).section(QLatin1Char(':'), 0, 0);
                u = QStringLiteral("ldaps://") + host;
            }
            out << u;
        }
        if (!out.isEmpty())
            return out.join(QLatin1Char(' '));
    }
    if (uri)
        ldap_memfree(uri);
    // DNS SRV records of the Kerberos default realm, then of the resolver's domain.
    QStringList domains;
    krb5_context ctx = nullptr;
    if (krb5_init_context(&ctx) == 0) {
        char *realm = nullptr;
        if (krb5_get_default_realm(ctx, &realm) == 0 && realm) {
            domains << QString::fromUtf8(realm).toLower();
            krb5_free_default_realm(ctx, realm);
        }
        krb5_free_context(ctx);
    }
    QFile resolv(QStringLiteral("/etc/resolv.conf"));
    if (resolv.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : resolv.readAll().split('\n')) {
            const QList<QByteArray> w = line.simplified().split(' ');
            if (w.size() >= 2 && (w[0] == "domain" || w[0] == "search"))
                domains << QString::fromUtf8(w[1]);
        }
    }
    for (const QString &d : domains) {
        char *hosts = nullptr;
        if (ldap_domain2hostlist(d.toUtf8().constData(), &hosts) == LDAP_SUCCESS && hosts) {
            QStringList out;
            for (const QString &h : QString::fromUtf8(hosts).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                const QString host = h.section(QLatin1Char(':'), 0, 0);
                out << (tls ? QStringLiteral("ldaps://") + host : QStringLiteral("ldap://") + h);
            }
            ldap_memfree(hosts);
            if (!out.isEmpty())
                return out.join(QLatin1Char(' '));
        }
    }
    return QString();
}

HRESULT ConnectionPool::get(const QString &server, int port, const QString &user,
                            const QString &password, std::uint32_t flags,
                            std::shared_ptr<Connection> *out)
{
    // Flags that do not change the session are not part of the key.
    const std::uint32_t keyFlags = flags & (ADS_SECURE_AUTHENTICATION | ADS_USE_ENCRYPTION |
                                            ADS_NO_AUTHENTICATION | ADS_USE_SIGNING | ADS_USE_SEALING);
    ConnectionKey key;
    key.server = server;
    key.port = port;
    key.user = user;
    key.passwordDigest = password.isEmpty()
                             ? QByteArray()
                             : QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha256);
    key.flags = keyFlags;

    ThreadPool &p = pool();
    for (auto it = p.connections.begin(); it != p.connections.end(); ++it) {
        if ((*it)->key() == key) {
            if ((*it)->broken()) {
                p.connections.erase(it);
                break;
            }
            *out = *it;
            return S_OK;
        }
    }

    const bool tls = flags & ADS_USE_ENCRYPTION;
    const bool secure = (flags & ADS_SECURE_AUTHENTICATION) && !(flags & ADS_NO_AUTHENTICATION);
    QString uris;
    if (server.isEmpty()) {
        uris = defaultServerUri(tls);
        if (uris.isEmpty())
            return fail(HR_DS_SERVER_DOWN,
                        QStringLiteral("No domain controller was found: ldap.conf names no URI and DNS "
                                       "has no _ldap._tcp records for the domain. Name a server in the "
                                       "connection settings."));
        if (port > 0) {
            QStringList withPort;
            for (const QString &u : uris.split(QLatin1Char(' ')))
                withPort << u.section(QLatin1String("://"), 0, 0) + QLatin1String("://") + uriHost(u) +
                                QLatin1Char(':') + QString::number(port);
            uris = withPort.join(QLatin1Char(' '));
        }
    } else {
        const QString host = server.contains(QLatin1Char(':')) ? QLatin1Char('[') + server + QLatin1Char(']') : server;
        const int p2 = port > 0 ? port : (tls ? 636 : 389);
        uris = (tls ? QStringLiteral("ldaps://") : QStringLiteral("ldap://")) + host + QLatin1Char(':') +
               QString::number(p2);
    }

    std::shared_ptr<Connection> conn(new Connection());
    conn->m_key = key;
    conn->m_tls = tls;
    LDAP *ld = nullptr;
    int rc = ldap_initialize(&ld, uris.toUtf8().constData());
    if (rc != LDAP_SUCCESS || !ld)
        return fail(E_ADS_BAD_PATHNAME, QStringLiteral("The server address %1 is not valid.").arg(uris));
    conn->m_ld = ld;
    const int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
    timeval tv{15, 0};
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &tv);
    // No request waits forever: the synchronous calls libldap makes itself (the SASL bind)
    // end after the operation timeout, the program's own waits poll (awaitResult). A peer
    // that vanished without closing is noticed by TCP keepalive after about 90 s of silence.
    timeval api{operationTimeout(), 0};
    ldap_set_option(ld, LDAP_OPT_TIMEOUT, &api);
    const int keepIdle = 60, keepProbes = 3, keepInterval = 10;
    ldap_set_option(ld, LDAP_OPT_X_KEEPALIVE_IDLE, &keepIdle);
    ldap_set_option(ld, LDAP_OPT_X_KEEPALIVE_PROBES, &keepProbes);
    ldap_set_option(ld, LDAP_OPT_X_KEEPALIVE_INTERVAL, &keepInterval);
    if (tls) {
        // The program itself demands a verified certificate, in a TLS context of this
        // connection, so that an ldaprc in the current folder or LDAPTLS_REQCERT cannot turn
        // the check off; the trusted CA still comes from ldap.conf or LDAPTLS_CACERT.
        // A new handle starts without TLS file names: they are copied from the configuration.
        for (const int option : {LDAP_OPT_X_TLS_CACERTFILE, LDAP_OPT_X_TLS_CACERTDIR, LDAP_OPT_X_TLS_CIPHER_SUITE}) {
            char *value = nullptr;
            if (ldap_get_option(nullptr, option, &value) == LDAP_OPT_SUCCESS && value)
                ldap_set_option(ld, option, value);
            ldap_memfree(value);
        }
        int protocolMin = 0;
        if (ldap_get_option(nullptr, LDAP_OPT_X_TLS_PROTOCOL_MIN, &protocolMin) == LDAP_OPT_SUCCESS && protocolMin)
            ldap_set_option(ld, LDAP_OPT_X_TLS_PROTOCOL_MIN, &protocolMin);
        const int demand = LDAP_OPT_X_TLS_DEMAND;
        const int client = 0;
        if (ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand) != LDAP_OPT_SUCCESS ||
            ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &client) != LDAP_OPT_SUCCESS)
            return fail(HR_DS_SERVER_DOWN,
                        QStringLiteral("TLS cannot be set up for %1: the CA certificates named in ldap.conf "
                                       "or LDAPTLS_CACERT cannot be read.")
                            .arg(uris));
    }

    const QString firstUri = uris.section(QLatin1Char(' '), 0, 0);
    const bool withPassword = !user.isEmpty() && !password.isEmpty();
    if (flags & ADS_NO_AUTHENTICATION || (!secure && user.isEmpty())) {
        berval empty{0, nullptr};
        int msgid = -1;
        rc = ldap_sasl_bind(ld, "", LDAP_SASL_SIMPLE, &empty, nullptr, nullptr, &msgid);
        if (rc == LDAP_SUCCESS)
            rc = detail::finishRequest(*conn, msgid);
    } else if (secure) {
        QByteArray cacheName;
        if (withPassword) {
            const HRESULT h = kerberosLogin(user, password, uriHost(firstUri), &conn->m_krb);
            if (failed(h))
                return h;
            const char *type = krb5_cc_get_type(conn->m_krb->ctx, conn->m_krb->cache);
            const char *name = krb5_cc_get_name(conn->m_krb->ctx, conn->m_krb->cache);
            cacheName = QByteArray(type) + ':' + QByteArray(name);
        }
        // AD refuses a SASL security layer inside TLS; otherwise sealing asks for
        // confidentiality and the default lets the server choose signing or sealing.
        const char *secprops = tls ? "maxssf=0" : (flags & ADS_USE_SEALING) ? "minssf=56" : "minssf=0";
        ldap_set_option(ld, LDAP_OPT_X_SASL_SECPROPS, secprops);
        // Inside TLS the Kerberos authenticator is bound to the TLS channel (the hash of the
        // server's certificate), which controllers that enforce LDAP channel binding require
        // and which keeps a bind from being relayed through another TLS session.
        if (tls) {
            const int binding = LDAP_OPT_X_SASL_CBINDING_TLS_ENDPOINT;
            if (ldap_set_option(ld, LDAP_OPT_X_SASL_CBINDING, &binding) != LDAP_OPT_SUCCESS)
                return fail(hresultFromWin32(8234),
                            QStringLiteral("The Kerberos bind to %1 cannot be bound to the TLS channel: this "
                                           "libldap does not offer channel binding.")
                                .arg(firstUri));
        }
        // The private cache is made the GSSAPI default of this thread for the bind only
        // (MIT keeps that name per thread), so other threads and the user's own cache are
        // untouched.
        // Afterwards the thread goes back to the default (KRB5CCNAME or the system's).
        OM_uint32 minor = 0;
        // Binding without the private cache would bind as whoever owns the desktop's ticket.
        if (!cacheName.isEmpty() && gss_krb5_ccache_name(&minor, cacheName.constData(), nullptr) != GSS_S_COMPLETE)
            return fail(hresultFromWin32(8234),
                        QStringLiteral("The Kerberos ticket obtained for %1 cannot be handed to GSSAPI "
                                       "(gss_krb5_ccache_name failed, minor status %2); the bind was not "
                                       "attempted.")
                            .arg(user)
                            .arg(minor));
        rc = ldap_sasl_interactive_bind_s(ld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET,
                                          saslInteract, nullptr);
        if (!cacheName.isEmpty())
            gss_krb5_ccache_name(&minor, nullptr, nullptr);
    } else {
        QByteArray pw = password.toUtf8();
        berval cred{static_cast<ber_len_t>(pw.size()), pw.data()};
        int msgid = -1;
        rc = ldap_sasl_bind(ld, user.toUtf8().constData(), LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, &msgid);
        pw.fill('\0');
        if (rc == LDAP_SUCCESS)
            rc = detail::finishRequest(*conn, msgid);
    }
    if (rc != LDAP_SUCCESS)
        return bindFailure(ld, rc, firstUri, secure, withPassword);

    char *connectedUri = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_URI, &connectedUri) == LDAP_OPT_SUCCESS && connectedUri) {
        conn->m_uri = QString::fromUtf8(connectedUri).section(QLatin1Char(' '), 0, 0);
        ldap_memfree(connectedUri);
    }
    char *hostName = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_HOST_NAME, &hostName) == LDAP_OPT_SUCCESS && hostName) {
        const QString hp = QString::fromUtf8(hostName).section(QLatin1Char(' '), 0, 0);
        conn->m_host = hp.section(QLatin1Char(':'), 0, 0);
        conn->m_port = hp.section(QLatin1Char(':'), 1, 1).toInt();
        ldap_memfree(hostName);
    }
    if (conn->m_host.isEmpty()) {
        conn->m_host = uriHost(firstUri);
        conn->m_port = port > 0 ? port : (tls ? 636 : 389);
    }
    if (conn->m_port == 0)
        conn->m_port = tls ? 636 : 389;
    ++g_opened;
    detail::clearLastError();
    p.connections.push_back(conn);
    *out = conn;
    return S_OK;
}

int Connection::channelBinding() const
{
    int binding = LDAP_OPT_X_SASL_CBINDING_NONE;
    if (m_ld)
        ldap_get_option(m_ld, LDAP_OPT_X_SASL_CBINDING, &binding);
    return binding;
}

QString Connection::protectionText() const
{
    if (m_tls)
        return QStringLiteral("Protected by TLS (LDAPS)");
    sasl_ssf_t ssf = 0;
    if (m_ld)
        ldap_get_option(m_ld, LDAP_OPT_X_SASL_SSF, &ssf);
    if (ssf > 1)
        return QStringLiteral("Kerberos, sealed (encrypted)");
    if (ssf == 1)
        return QStringLiteral("Kerberos, signed (not encrypted)");
    if (m_key.flags & ADS_SECURE_AUTHENTICATION)
        return QStringLiteral("Kerberos, not encrypted");
    return QStringLiteral("Not protected: data travels unencrypted");
}

QString Connection::boundIdentity()
{
    if (!m_identity.isEmpty() || !m_ld)
        return m_identity;
    int msgid = -1;
    if (ldap_whoami(m_ld, nullptr, nullptr, &msgid) == LDAP_SUCCESS) {
        LDAPMessage *res = nullptr;
        if (detail::awaitResult(*this, msgid, LDAP_MSG_ALL, 0, &res) > 0) {
            berval *authzid = nullptr;
            if (ldap_parse_whoami(m_ld, res, &authzid) == LDAP_SUCCESS && authzid) {
                m_identity = QString::fromUtf8(authzid->bv_val, static_cast<qsizetype>(authzid->bv_len));
                ber_bvfree(authzid);
            }
            ldap_msgfree(res);
        }
    }
    if (m_identity.isEmpty()) {
        // Servers without "Who am I?" (Samba): the SASL layer knows a Kerberos principal.
        char *sasl = nullptr;
        if ((m_key.flags & ADS_SECURE_AUTHENTICATION) && ldap_get_option(m_ld, LDAP_OPT_X_SASL_USERNAME, &sasl) == LDAP_OPT_SUCCESS
            && sasl)
            m_identity = QString::fromUtf8(sasl);
        ldap_memfree(sasl);
    }
    if (m_identity.isEmpty())
        m_identity = !m_key.user.isEmpty() ? m_key.user
                     : (m_key.flags & ADS_NO_AUTHENTICATION) ? QStringLiteral("(anonymous)")
                                                             : QStringLiteral("(current logon)");
    return m_identity;
}

void closeAllConnections()
{
    ++g_generation;
    t_pool.connections.clear();
    t_pool.generation = g_generation.load();
}

int connectionsOpened() { return g_opened.load(); }

int pooledConnectionCount() { return static_cast<int>(pool().connections.size()); }

// --- Schema -------------------------------------------------------------------------------

namespace {
QMutex g_schemaMutex;
std::map<QString, std::shared_ptr<const SchemaMap>> g_schemas;

QByteArray firstValue(const QList<detail::RawAttribute> &attrs, const char *name)
{
    for (const detail::RawAttribute &a : attrs)
        if (a.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0 && !a.values.isEmpty())
            return a.values.first();
    return {};
}

std::shared_ptr<const SchemaMap> loadSchema(const std::shared_ptr<Connection> &conn)
{
    auto map = std::make_shared<SchemaMap>();
    QList<detail::RawAttribute> root;
    if (failed(detail::readEntry(conn, QString(), {"schemaNamingContext", "rootDomainNamingContext"}, -1, &root)))
        return map;
    const QByteArray schemaDn = firstValue(root, "schemaNamingContext");
    if (schemaDn.isEmpty())
        return map;
    // The facts on disk serve as long as the schema container shows no change since.
    schemacache::Key key;
    QList<detail::RawAttribute> head;
    if (succeeded(detail::readEntry(conn, QString::fromUtf8(schemaDn), {"modifyTimeStamp", "uSNChanged", "schemaInfo"},
                                    -1, &head))) {
        key.forest = QString::fromUtf8(firstValue(root, "rootDomainNamingContext"));
        key.server = conn->host() + QLatin1Char(':') + QString::number(conn->port());
        key.modifyTimeStamp = QString::fromUtf8(firstValue(head, "modifyTimeStamp"));
        key.usnChanged = QString::fromUtf8(firstValue(head, "uSNChanged"));
        key.schemaInfo = firstValue(head, "schemaInfo");
        if (auto cached = schemacache::load(key))
            return cached;
    }
    detail::SearchSpec searchSpec;
    searchSpec.base = schemaDn;
    searchSpec.scope = LDAP_SCOPE_ONELEVEL;
    searchSpec.filter = "(objectClass=attributeSchema)";
    searchSpec.attrs = {"lDAPDisplayName", "attributeSyntax", "oMSyntax", "isSingleValued", "searchFlags"};
    searchSpec.pageSize = 1000;
    detail::Pager pager(conn);
    if (pager.start(searchSpec) != LDAP_SUCCESS)
        return map;
    LDAPMessage *e = nullptr;
    int rc = LDAP_SUCCESS;
    while ((rc = pager.next(&e)) == LDAP_SUCCESS && e) {
        QByteArray name, syntax;
        int om = 0;
        bool single = false;
        qint64 searchFlags = 0;
        BerElement *ber = nullptr;
        for (char *a = ldap_first_attribute(conn->ld(), e, &ber); a; a = ldap_next_attribute(conn->ld(), e, ber)) {
            berval **v = ldap_get_values_len(conn->ld(), e, a);
            if (v && v[0]) {
                const QByteArray val(v[0]->bv_val, static_cast<int>(v[0]->bv_len));
                if (!strcasecmp(a, "lDAPDisplayName"))
                    name = val;
                else if (!strcasecmp(a, "attributeSyntax"))
                    syntax = val;
                else if (!strcasecmp(a, "oMSyntax"))
                    om = val.toInt();
                else if (!strcasecmp(a, "isSingleValued"))
                    single = val == "TRUE";
                else if (!strcasecmp(a, "searchFlags"))
                    searchFlags = val.toLongLong();
            }
            ldap_value_free_len(v);
            ldap_memfree(a);
        }
        if (ber)
            ber_free(ber, 0);
        if (!name.isEmpty()) {
            AttributeInfo info;
            info.type = SchemaMap::typeForSyntax(QString::fromLatin1(syntax), om);
            info.singleValued = single;
            info.confidential = (searchFlags & 0x80) != 0;
            map->add(QString::fromUtf8(name), info);
        }
    }
    if (rc == LDAP_SUCCESS) // only a whole schema is kept
        schemacache::save(key, *map);
    return map;
}
} // namespace

std::shared_ptr<const SchemaMap> Connection::schema()
{
    if (m_schema)
        return m_schema;
    const QString key = m_host.toLower() + QLatin1Char(':') + QString::number(m_port);
    {
        QMutexLocker lock(&g_schemaMutex);
        auto it = g_schemas.find(key);
        if (it != g_schemas.end()) {
            m_schema = it->second;
            return m_schema;
        }
    }
    // Read outside the lock: a server that hangs while its schema is read holds up only the
    // thread that asked (its wait is bounded), never the threads of other servers. Two
    // threads asking at once may both read it; the first stored copy wins.
    auto loaded = loadSchema(std::shared_ptr<Connection>(std::shared_ptr<Connection>(), this));
    QMutexLocker lock(&g_schemaMutex);
    if (loaded->size() > 0) {
        auto [it, inserted] = g_schemas.try_emplace(key, loaded);
        m_schema = it->second;
    } else {
        m_schema = loaded;
    }
    return m_schema;
}

} // namespace ads
