#pragma once
// Internals shared by the connection, object and search code of this folder (not for use
// outside src/platform/adsi).
#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adsschema.h"
#include "platform/adsi/adssearch.h"
#include "platform/adsi/adstypes.h"
#include "platform/adsi/adswrites.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

#include <lber.h>
#include <ldap.h>

namespace ads::detail {

// Sets the thread's extended error from a failed LDAP call (the server's diagnostic text,
// or a plain-word description of a client failure, prefixed with context when given) and
// returns the status code for rc.
HRESULT failLdap(LDAP *ld, int rc, const QString &context = QString());
// Sets the extended error to text and returns status.
HRESULT fail(HRESULT status, const QString &text);
// Clears the extended error (a successful call).
void clearLastError();

// Waits for the answer to request msgid (all: LDAP_MSG_ONE or LDAP_MSG_ALL) at most
// timeoutSeconds (0: the operation timeout), in short polls that run the thread's wait hook.
// Returns the message type (> 0) with *msg (the caller frees it), or a negative LDAP code:
// LDAP_TIMEOUT when the server did not answer (the request is abandoned, the connection is
// marked broken and the extended error says so), LDAP_USER_CANCELLED when the wait hook asked
// to stop (request abandoned), or the client error (LDAP_SERVER_DOWN marks the connection).
int awaitResult(Connection &conn, int msgid, int all, int timeoutSeconds, LDAPMessage **msg);
// Waits for the whole answer of a request without entries (add, modify, delete, bind) and
// returns its result code; a failure sets the extended error.
int finishRequest(Connection &conn, int msgid);
// finishRequest for a write (add, modify, delete) whose request msgid has gone out: a wait
// that ends without an answer (timeout, stop, a connection that broke) gives
// E_ADS_WRITE_OUTCOME_UNKNOWN with an extended error that says the change may have been
// applied; the server's own refusal gives its status. S_OK on success.
HRESULT finishWrite(Connection &conn, int msgid);
// The plain-word text of a server that did not answer in time.
QString noAnswerText(LDAP *ld, int seconds);

// The SD-flags control (1.2.840.113556.1.4.801) for a security information mask.
LDAPControl *makeSdFlagsControl(int mask);
void freeControl(LDAPControl *c);

// Converts the wire values of attribute name to program values; the type comes from the
// schema; unknown attributes whose values are not UTF-8 text read as octet strings.
AdsType typeFor(const SchemaMap *schema, const QString &name);
QVariantList convertValues(AdsType type, const berval *const *vals);
QVariantList convertValues(AdsType type, const QList<QByteArray> &vals);
bool isUtf8(const char *data, int length);

// A streaming LDAP search: pages (paged-results control) fetched as the entries are used,
// optional server-side sort, size limit, SD-flags control, time limits.
struct SearchSpec {
    QByteArray base;
    int scope = LDAP_SCOPE_SUBTREE;
    QByteArray filter = "(objectClass=*)";
    QList<QByteArray> attrs;     // empty: all user attributes
    bool attrsOnly = false;
    int pageSize = 0;            // 0: no paging
    int sizeLimit = 0;
    int timeLimit = 0;           // server-side seconds
    int clientTimeout = 0;       // seconds to wait for one answer; 0 = forever
    QList<SortKey> sort;
    int sdFlags = -1;            // -1: no SD-flags control
    int deref = LDAP_DEREF_NEVER;
    bool chaseReferrals = false;
    bool tombstones = false;
};

class Pager {
public:
    explicit Pager(std::shared_ptr<Connection> conn) : m_conn(std::move(conn)) {}
    ~Pager();
    Pager(const Pager &) = delete;
    Pager &operator=(const Pager &) = delete;

    // Sends the first request. Returns an LDAP result code.
    int start(const SearchSpec &searchSpec);
    // The next entry (owned by the pager until the next call) in *entry. LDAP_SUCCESS with
    // a null entry at the end; LDAP_SIZELIMIT_EXCEEDED when the size limit ended the
    // listing; another code on errors (the extended error is set).
    int next(LDAPMessage **entry);
    // Abandons the running request.
    void abandon();
    bool running() const { return m_msgid >= 0; }
    LDAP *ld() const { return m_conn->ld(); }
    const std::shared_ptr<Connection> &connection() const { return m_conn; }

private:
    int sendPage();
    std::shared_ptr<Connection> m_conn;
    SearchSpec m_spec;
    std::vector<char *> m_attrPtrs;
    int m_msgid = -1;
    LDAPMessage *m_current = nullptr;
    berval m_cookie{0, nullptr};
    int m_count = 0;
    bool m_done = false;
};

// One attribute of an entry as read: its name (options removed) and wire values.
struct RawAttribute {
    QString name;
    QList<QByteArray> values;
};

// Reads the entry dn with a base-scope search for attrs (empty: "*"), fetching ranged
// values whole. Returns S_OK, or the failure status (extended error set). *found is false
// when the entry does not exist (status then the no-such-object code).
HRESULT readEntry(const std::shared_ptr<Connection> &conn, const QString &dn,
                  const QList<QByteArray> &attrs, int sdFlags, QList<RawAttribute> *out);

// Reads the entry's attributes from a search entry, completing ranged ones
// ("member;range=0-1499") with further base reads of the entry.
HRESULT entryAttributes(const std::shared_ptr<Connection> &conn, LDAPMessage *entry,
                        QList<RawAttribute> *out);

// The next step of a ranged retrieval after the server answered with range ("low-high" or
// "low-*"): Done at the last part, Next with the first index to ask for, or Invalid when the
// range is malformed or does not move beyond previousHigh (a server answering the same part
// again must not keep the reader asking forever).
struct RangeStep {
    enum Kind { Done, Next, Invalid } kind = Invalid;
    qint64 next = 0;
};
RangeStep rangeStep(const QString &range, qint64 previousHigh);

// Completes a ranged attribute: values holds the first part returned under the name
// "base;range=low-high"; reads the following ranges of dn until the last one ("-*").
HRESULT completeRange(const std::shared_ptr<Connection> &conn, const QByteArray &dn,
                      const QString &base, const QString &rangedName, QList<QByteArray> *values);

// A write on its way, told to the process's write recorder (adswrites.h) when one is
// installed; without one it does nothing.
class WriteCall {
public:
    explicit WriteCall(std::shared_ptr<Connection> conn);
    // Whether a recorder wants to hear of this write (build the request only then).
    bool recording() const { return m_recorder != nullptr; }
    // Asks the recorder; S_OK to send the request, else the recorder's refusal (extended
    // error set by it). Fills in the server and the bound identity.
    HRESULT begin(WriteRequest request);
    // Tells the recorder how the request ended (sent: it went out). After a success the
    // attributes the recorder asked for are read again (descriptor with sdMask).
    void end(HRESULT status, bool sent, int sdMask);

private:
    std::shared_ptr<WriteRecorder> m_recorder;
    std::shared_ptr<Connection> m_conn;
    WriteRequest m_request;
    quint64 m_ticket = 0;
    bool m_begun = false;
};

// The DN of the default naming context of the connection's server (RootDSE).
HRESULT defaultNamingContext(const std::shared_ptr<Connection> &conn, QString *dn);

} // namespace ads::detail
