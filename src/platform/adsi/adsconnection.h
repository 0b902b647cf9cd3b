#pragma once
// LDAP connections and their per-thread pool.
//
// One connection exists per (server, port, user, password, flags) and thread: every object
// and search a thread opens with the same values shares it, so reading a user and its tabs
// costs one bind. Worker threads get their own connections. closeAllConnections() (at
// disconnect) drops every pooled connection of every thread; a connection still held by a
// live object stays usable by that object and is unbound when the object goes.
//
// Binds:
//   ADS_SECURE_AUTHENTICATION  SASL GSSAPI. Without credentials the user's Kerberos ticket
//                              cache (KRB5CCNAME) is used; with credentials a ticket is
//                              obtained for that password into a private in-memory cache.
//   ADS_USE_ENCRYPTION         LDAPS (port 636 unless the path names one). Certificates
//                              are verified (system store, ldap.conf or LDAPTLS_CACERT).
//                              With GSSAPI the bind is bound to the TLS channel
//                              (tls-endpoint channel binding).
//   ADS_USE_SEALING            with GSSAPI: SASL confidentiality required.
//   ADS_NO_AUTHENTICATION      anonymous.
//   otherwise                  simple bind with the user name and password.
// User names: "DOMAIN\user", "user@realm" or a DN. A simple bind passes DN and UPN forms
// unchanged and turns DOMAIN\user into user@<realm> (the realm is taken from the default
// Kerberos realm or the server's DNS domain), which Active Directory accepts.
// The default server (no server in the path): the first URI of libldap's configuration
// (ldap.conf URI / LDAPURI), else the DNS SRV records _ldap._tcp of the Kerberos default
// realm, then of the host's DNS domain.
#include "platform/adsi/adstypes.h"

#include <QString>
#include <functional>
#include <memory>

typedef struct ldap LDAP;

namespace ads {

class SchemaMap;

struct ConnectionKey {
    QString server;   // as named in the path (empty = default server)
    int port = 0;     // as named in the path (0 = by flags)
    QString user;
    QByteArray passwordDigest;  // SHA-256 of the password: the key never holds the password
    std::uint32_t flags = 0;
    bool operator==(const ConnectionKey &o) const
    {
        return server.compare(o.server, Qt::CaseInsensitive) == 0 && port == o.port &&
               user.compare(o.user, Qt::CaseInsensitive) == 0 &&
               passwordDigest == o.passwordDigest && flags == o.flags;
    }
};

// One bound LDAP session. Owned through shared pointers by the pool and by every object
// and search that uses it; used by one thread at a time.
class Connection {
public:
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    LDAP *ld() const { return m_ld; }
    const ConnectionKey &key() const { return m_key; }
    // The host and port actually connected to, and the URI ("ldap://host:389").
    QString host() const { return m_host; }
    int port() const { return m_port; }
    QString uri() const { return m_uri; }
    bool usesTls() const { return m_tls; }
    // How the session is protected, in words for the status bar: TLS, Kerberos with
    // sealing or signing (the negotiated SASL security layer), or nothing.
    QString protectionText() const;
    // The channel binding a SASL bind of this session asks for (LDAP_OPT_X_SASL_CBINDING_*).
    int channelBinding() const;
    // The attribute type map of this server (read from its schema once per server and
    // process, shared between threads). Never null after a successful open; an unreadable
    // schema gives an empty map (every attribute then reads as text or octets).
    std::shared_ptr<const SchemaMap> schema();
    // Who the session is bound as: the server's answer to "Who am I?" ("u:EXAMPLE\\admin",
    // asked once per connection), else the Kerberos principal of a SASL bind, else the bind
    // name (Samba does not answer "Who am I?").
    QString boundIdentity();
    // Marks the session broken (server down): the pool no longer hands it out.
    void markBroken() { m_broken = true; }
    bool broken() const { return m_broken; }

private:
    friend class ConnectionPool;
    friend struct ConnectionFactory;
    Connection() = default;
    LDAP *m_ld = nullptr;
    ConnectionKey m_key;
    QString m_host;
    int m_port = 0;
    QString m_uri;
    bool m_tls = false;
    bool m_broken = false;
    QString m_identity;
    std::shared_ptr<const SchemaMap> m_schema;
public:
    struct KerberosState;  // the private ticket cache of a password bind
private:
    std::unique_ptr<KerberosState> m_krb;  // private ticket cache for password binds
};

class ConnectionPool {
public:
    // The pooled connection of the calling thread for these values, binding a new one when
    // there is none. Returns S_OK and the connection, or a failure status (the thread's
    // extended error then says why in plain words).
    static HRESULT get(const QString &server, int port, const QString &user,
                       const QString &password, std::uint32_t flags,
                       std::shared_ptr<Connection> *out);
};

// Drops every pooled connection of every thread (disconnect).
void closeAllConnections();
// How many LDAP connections this process has opened (bound) so far; for tests and
// diagnostics.
int connectionsOpened();
// How many connections the calling thread's pool holds now.
int pooledConnectionCount();

// How long one directory request waits for the server's answer before it gives up with a
// "did not answer" error (seconds). The default is 60, or ARV_LDAP_TIMEOUT when that names a
// positive number. A search's own timeout preference, when set, replaces it for that search.
// Connections also probe an idle peer with TCP keepalive, so a vanished server is noticed.
void setOperationTimeout(int seconds);
int operationTimeout();

// While the calling thread waits for the directory, the hook of the innermost live scope is
// called about every 50 ms (never from inside itself); returning false abandons the request,
// which then fails with ERROR_CANCELLED. The window thread uses it to keep the window alive
// and Stop usable while a page of a listing is on its way.
class WaitHookScope {
public:
    explicit WaitHookScope(std::function<bool()> hook);
    ~WaitHookScope();
    WaitHookScope(const WaitHookScope &) = delete;
    WaitHookScope &operator=(const WaitHookScope &) = delete;

private:
    std::function<bool()> m_hook;
    const std::function<bool()> *m_outer;
};

// The server the system would choose when a path names none, as "host:port" or an LDAP URI
// list from the configuration; empty when none can be found.
QString defaultServerUri(bool tls);

} // namespace ads
