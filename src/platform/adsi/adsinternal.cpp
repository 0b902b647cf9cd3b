#include "platform/adsi/adsinternal.h"

#include "platform/adsi/adserror.h"
#include "platform/adsi/adsvalue.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <atomic>
#include <cstring>
#include <limits>

namespace ads {

namespace {
std::atomic<int> g_operationTimeout{0};  // 0: not chosen yet
thread_local const std::function<bool()> *t_waitHook = nullptr;
thread_local bool t_inWaitHook = false;
constexpr int WaitPollMs = 50;

// Runs the wait hook of the thread; false when it asks to stop.
bool runWaitHook()
{
    if (!t_waitHook || t_inWaitHook)
        return true;
    t_inWaitHook = true;
    const bool goOn = (*t_waitHook)();
    t_inWaitHook = false;
    return goOn;
}
} // namespace

void setOperationTimeout(int seconds) { g_operationTimeout = seconds > 0 ? seconds : 60; }

int operationTimeout()
{
    int t = g_operationTimeout.load();
    if (t > 0)
        return t;
    bool ok = false;
    const int fromEnv = qEnvironmentVariableIntValue("ARV_LDAP_TIMEOUT", &ok);
    t = ok && fromEnv > 0 ? fromEnv : 60;
    int expected = 0;
    g_operationTimeout.compare_exchange_strong(expected, t);
    return g_operationTimeout.load();
}

WaitHookScope::WaitHookScope(std::function<bool()> hook) : m_hook(std::move(hook)), m_outer(t_waitHook)
{
    t_waitHook = &m_hook;
}

WaitHookScope::~WaitHookScope() { t_waitHook = m_outer; }

} // namespace ads

namespace ads::detail {

namespace {
QString serverOf(LDAP *ld)
{
    char *uri = nullptr;
    if (ld)
        ldap_get_option(ld, LDAP_OPT_URI, &uri);
    const QString server = QString::fromUtf8(uri ? uri : "").section(QLatin1Char(' '), 0, 0);
    ldap_memfree(uri);
    return server.isEmpty() ? QStringLiteral("(unknown)") : server;
}
} // namespace

QString noAnswerText(LDAP *ld, int seconds)
{
    return QStringLiteral("The directory server %1 did not answer within %2 seconds. It may be overloaded or "
                          "the network may be dropping its packets; try again later or choose another "
                          "server.")
        .arg(serverOf(ld))
        .arg(seconds);
}

int awaitResult(Connection &conn, int msgid, int all, int timeoutSeconds, LDAPMessage **msg)
{
    *msg = nullptr;
    LDAP *ld = conn.ld();
    const int limit = timeoutSeconds > 0 ? timeoutSeconds : operationTimeout();
    const qint64 limitMs = qint64(limit) * 1000;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const qint64 left = limitMs - waited.elapsed();
        const qint64 slice = t_waitHook ? std::min<qint64>(WaitPollMs, std::max<qint64>(left, 0)) : std::max<qint64>(left, 0);
        timeval tv{static_cast<time_t>(slice / 1000), static_cast<suseconds_t>((slice % 1000) * 1000)};
        const int type = ldap_result(ld, msgid, all, &tv, msg);
        if (type > 0)
            return type;
        if (type < 0) {
            int err = LDAP_SERVER_DOWN;
            ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &err);
            if (err == LDAP_SUCCESS)
                err = LDAP_SERVER_DOWN;
            if (err == LDAP_SERVER_DOWN || err == LDAP_CONNECT_ERROR)
                conn.markBroken();
            failLdap(ld, err);
            return err;
        }
        if (!runWaitHook()) {
            ldap_abandon_ext(ld, msgid, nullptr, nullptr);
            fail(hresultFromWin32(1223), QStringLiteral("The request was stopped before the server answered."));
            return LDAP_USER_CANCELLED;
        }
        if (waited.elapsed() >= limitMs) {
            ldap_abandon_ext(ld, msgid, nullptr, nullptr);
            // A later answer to the abandoned request must not be taken for another one's.
            conn.markBroken();
            fail(hresultFromLdap(LDAP_TIMEOUT), noAnswerText(ld, limit));
            return LDAP_TIMEOUT;
        }
    }
}

namespace {
// The result code of a whole answer (freed here); a failure sets the extended error.
int resultOf(Connection &conn, LDAPMessage *res)
{
    int rc = LDAP_SUCCESS;
    char *diag = nullptr;
    const int prc = ldap_parse_result(conn.ld(), res, &rc, nullptr, &diag, nullptr, nullptr, 1);
    if (prc != LDAP_SUCCESS)
        rc = prc;
    if (rc != LDAP_SUCCESS && diag && *diag)
        ldap_set_option(conn.ld(), LDAP_OPT_DIAGNOSTIC_MESSAGE, diag);
    ldap_memfree(diag);
    if (rc != LDAP_SUCCESS)
        failLdap(conn.ld(), rc);
    return rc;
}
} // namespace

int finishRequest(Connection &conn, int msgid)
{
    LDAPMessage *res = nullptr;
    const int type = awaitResult(conn, msgid, LDAP_MSG_ALL, 0, &res);
    if (type < 0)
        return type;
    return resultOf(conn, res);
}

HRESULT finishWrite(Connection &conn, int msgid)
{
    LDAPMessage *res = nullptr;
    const int type = awaitResult(conn, msgid, LDAP_MSG_ALL, 0, &res);
    if (type < 0) {
        // The request is on its way or already done: only the answer is missing.
        const QString server = serverOf(conn.ld());
        QString what;
        if (type == LDAP_TIMEOUT)
            what = QStringLiteral("The directory server %1 did not answer within %2 seconds after the change was "
                                  "sent")
                       .arg(server)
                       .arg(operationTimeout());
        else if (type == LDAP_USER_CANCELLED)
            what = QStringLiteral("The wait for the directory server %1 was stopped after the change was sent").arg(server);
        else
            what = QStringLiteral("The connection to the directory server %1 broke after the change was sent").arg(server);
        return fail(E_ADS_WRITE_OUTCOME_UNKNOWN,
                    what + QStringLiteral(", so it is not known whether the change was applied. Read the object "
                                          "again to see what it holds before you repeat the change."));
    }
    const int rc = resultOf(conn, res);
    return rc == LDAP_SUCCESS ? S_OK : hresultFromLdap(rc);
}

void clearLastError() { ADsSetLastError(0, QString(), QString()); }

HRESULT fail(HRESULT status, const QString &text)
{
    const std::uint32_t code = facilityOf(status) == 7 ? codeOf(status) : static_cast<std::uint32_t>(status);
    ADsSetLastError(code, text);
    return status;
}

HRESULT failLdap(LDAP *ld, int rc, const QString &context)
{
    char *msg = nullptr;
    if (ld)
        ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &msg);
    QString text = QString::fromUtf8(msg ? msg : "").trimmed();
    if (msg)
        ldap_memfree(msg);
    if (rc == LDAP_TIMEOUT)
        text = noAnswerText(ld, operationTimeout());
    if (text.isEmpty())
        text = QString::fromUtf8(ldap_err2string(rc));
    if (!context.isEmpty())
        text = context + QStringLiteral(": ") + text;
    ADsSetLastError(win32FromLdap(rc), text);
    return hresultFromLdap(rc);
}

LDAPControl *makeSdFlagsControl(int mask)
{
    // SDFlagsRequestValue ::= SEQUENCE { Flags INTEGER }
    BerElement *ber = ber_alloc_t(LBER_USE_DER);
    if (!ber)
        return nullptr;
    ber_printf(ber, "{i}", static_cast<ber_int_t>(mask));
    berval *bv = nullptr;
    LDAPControl *ctrl = nullptr;
    if (ber_flatten(ber, &bv) == 0) {
        ldap_control_create("1.2.840.113556.1.4.801", 1, bv, 1, &ctrl);
        ber_bvfree(bv);
    }
    ber_free(ber, 1);
    return ctrl;
}

void freeControl(LDAPControl *c)
{
    if (c)
        ldap_control_free(c);
}

bool isUtf8(const char *s, int n)
{
    int i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra;
        if (c < 0x80) { ++i; continue; }
        if ((c & 0xE0) == 0xC0) extra = 1;
        else if ((c & 0xF0) == 0xE0) extra = 2;
        else if ((c & 0xF8) == 0xF0) extra = 3;
        else return false;
        for (int k = 1; k <= extra; ++k)
            if (i + k >= n || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += extra + 1;
    }
    return true;
}

AdsType typeFor(const SchemaMap *schema, const QString &name)
{
    return schema ? schema->lookup(name).type : SchemaMap().lookup(name).type;
}

QVariantList convertValues(AdsType type, const berval *const *vals)
{
    QVariantList out;
    if (!vals)
        return out;
    int n = 0;
    while (vals[n])
        ++n;
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out.append(valueFromWire(type, vals[i]->bv_val, static_cast<int>(vals[i]->bv_len)));
    return out;
}

QVariantList convertValues(AdsType type, const QList<QByteArray> &vals)
{
    QVariantList out;
    out.reserve(vals.size());
    for (const QByteArray &v : vals)
        out.append(valueFromWire(type, v));
    return out;
}

// --- Pager --------------------------------------------------------------------------------

Pager::~Pager()
{
    if (m_current)
        ldap_msgfree(m_current);
    abandon();
    if (m_cookie.bv_val)
        ber_memfree(m_cookie.bv_val);
}

void Pager::abandon()
{
    if (m_msgid >= 0 && m_conn && m_conn->ld())
        ldap_abandon_ext(m_conn->ld(), m_msgid, nullptr, nullptr);
    m_msgid = -1;
    m_done = true;
}

int Pager::start(const SearchSpec &searchSpec)
{
    m_spec = searchSpec;
    m_attrPtrs.clear();
    for (QByteArray &a : m_spec.attrs)
        m_attrPtrs.push_back(a.data());
    m_attrPtrs.push_back(nullptr);
    m_count = 0;
    m_done = false;
    return sendPage();
}

int Pager::sendPage()
{
    LDAP *ld = m_conn->ld();
    std::vector<LDAPControl *> ctrls;
    LDAPControl *page = nullptr, *sort = nullptr, *sd = nullptr;
    int rc = LDAP_SUCCESS;
    if (m_spec.pageSize > 0) {
        rc = ldap_create_page_control(ld, m_spec.pageSize, m_cookie.bv_val ? &m_cookie : nullptr, 0, &page);
        if (rc != LDAP_SUCCESS)
            return failLdap(ld, rc), rc;
        ctrls.push_back(page);
    }
    std::vector<LDAPSortKey> keys;
    std::vector<LDAPSortKey *> keyPtrs;
    std::vector<QByteArray> keyText;
    if (!m_spec.sort.isEmpty()) {
        keyText.reserve(m_spec.sort.size() * 2);
        keys.resize(m_spec.sort.size());
        for (int i = 0; i < m_spec.sort.size(); ++i) {
            keyText.push_back(m_spec.sort[i].attribute.toUtf8());
            keyText.push_back(m_spec.sort[i].matchingRule.toUtf8());
            keys[i].attributeType = keyText[keyText.size() - 2].data();
            keys[i].orderingRule = m_spec.sort[i].matchingRule.isEmpty() ? nullptr : keyText.back().data();
            keys[i].reverseOrder = m_spec.sort[i].reverseOrder ? 1 : 0;
        }
        for (auto &k : keys)
            keyPtrs.push_back(&k);
        keyPtrs.push_back(nullptr);
        rc = ldap_create_sort_control(ld, keyPtrs.data(), 0, &sort);
        if (rc != LDAP_SUCCESS) {
            ldap_control_free(page);
            return failLdap(ld, rc), rc;
        }
        ctrls.push_back(sort);
    }
    if (m_spec.sdFlags >= 0) {
        sd = makeSdFlagsControl(m_spec.sdFlags);
        if (sd)
            ctrls.push_back(sd);
    }
    LDAPControl *showDeleted = nullptr;
    if (m_spec.tombstones) {
        ldap_control_create("1.2.840.113556.1.4.417", 0, nullptr, 1, &showDeleted);
        if (showDeleted)
            ctrls.push_back(showDeleted);
    }
    ctrls.push_back(nullptr);

    ldap_set_option(ld, LDAP_OPT_DEREF, &m_spec.deref);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, m_spec.chaseReferrals ? LDAP_OPT_ON : LDAP_OPT_OFF);
    timeval tl{m_spec.timeLimit, 0};
    int sizeLimit = m_spec.sizeLimit > 0 ? m_spec.sizeLimit - m_count : 0;
    if (m_spec.sizeLimit > 0 && sizeLimit <= 0)
        sizeLimit = 1;
    rc = ldap_search_ext(ld, m_spec.base.isEmpty() ? "" : m_spec.base.constData(), m_spec.scope,
                         m_spec.filter.constData(), m_spec.attrs.isEmpty() ? nullptr : m_attrPtrs.data(),
                         m_spec.attrsOnly ? 1 : 0, ctrls.size() > 1 ? ctrls.data() : nullptr, nullptr,
                         m_spec.timeLimit > 0 ? &tl : nullptr, sizeLimit, &m_msgid);
    if (page) ldap_control_free(page);
    if (sort) ldap_control_free(sort);
    if (sd) ldap_control_free(sd);
    if (showDeleted) ldap_control_free(showDeleted);
    if (rc != LDAP_SUCCESS) {
        m_msgid = -1;
        if (rc == LDAP_SERVER_DOWN)
            m_conn->markBroken();
        failLdap(ld, rc);
    }
    return rc;
}

int Pager::next(LDAPMessage **entry)
{
    *entry = nullptr;
    if (m_current) {
        ldap_msgfree(m_current);
        m_current = nullptr;
    }
    LDAP *ld = m_conn->ld();
    for (;;) {
        if (m_done || m_msgid < 0)
            return LDAP_SUCCESS;
        if (m_spec.sizeLimit > 0 && m_count >= m_spec.sizeLimit) {
            abandon();
            return LDAP_SIZELIMIT_EXCEEDED;
        }
        LDAPMessage *msg = nullptr;
        const int type = awaitResult(*m_conn, m_msgid, LDAP_MSG_ONE, m_spec.clientTimeout, &msg);
        if (type < 0) {
            // Timed out, stopped or the connection failed; the extended error says which.
            m_msgid = -1;
            m_done = true;
            return type;
        }
        if (type == LDAP_RES_SEARCH_ENTRY) {
            m_current = msg;
            *entry = msg;
            ++m_count;
            return LDAP_SUCCESS;
        }
        if (type == LDAP_RES_SEARCH_REFERENCE || type == LDAP_RES_INTERMEDIATE) {
            ldap_msgfree(msg);
            continue;
        }
        // The search result of this page.
        int rc = LDAP_SUCCESS;
        char *diag = nullptr;
        LDAPControl **ctrls = nullptr;
        const int prc = ldap_parse_result(ld, msg, &rc, nullptr, &diag, nullptr, &ctrls, 1);
        m_msgid = -1;
        if (prc != LDAP_SUCCESS)
            rc = prc;
        if (rc != LDAP_SUCCESS) {
            m_done = true;
            if (diag && *diag)
                ldap_set_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, diag);
            ldap_memfree(diag);
            ldap_controls_free(ctrls);
            if (rc == LDAP_SIZELIMIT_EXCEEDED)
                return rc;
            failLdap(ld, rc);
            return rc;
        }
        ldap_memfree(diag);
        bool more = false;
        if (m_spec.pageSize > 0 && ctrls) {
            LDAPControl *pr = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, ctrls, nullptr);
            if (pr) {
                ber_int_t estimate = 0;
                berval cookie{0, nullptr};
                if (ldap_parse_pageresponse_control(ld, pr, &estimate, &cookie) == LDAP_SUCCESS) {
                    if (m_cookie.bv_val)
                        ber_memfree(m_cookie.bv_val);
                    m_cookie = cookie;
                    more = cookie.bv_len > 0;
                }
            }
        }
        ldap_controls_free(ctrls);
        if (!more) {
            m_done = true;
            return LDAP_SUCCESS;
        }
        rc = sendPage();
        if (rc != LDAP_SUCCESS) {
            m_done = true;
            return rc;
        }
    }
}

// --- Entries -------------------------------------------------------------------------------

namespace {
QString stripOptions(const QString &name, QString *range)
{
    const int semi = name.indexOf(QLatin1Char(';'));
    if (semi < 0)
        return name;
    const QString opts = name.mid(semi + 1);
    for (const QString &o : opts.split(QLatin1Char(';')))
        if (o.startsWith(QLatin1String("range="), Qt::CaseInsensitive) && range)
            *range = o.mid(6);
    return name.left(semi);
}
} // namespace


// A base-scope read of dn: *entry is the entry (owned by the pager) or null when absent.
static int baseRead(Pager &pager, const QByteArray &dn, const QList<QByteArray> &attrs, int sdFlags,
             LDAPMessage **entry)
{
    SearchSpec searchSpec;
    searchSpec.base = dn;
    searchSpec.scope = LDAP_SCOPE_BASE;
    searchSpec.attrs = attrs;
    searchSpec.sdFlags = sdFlags;
    *entry = nullptr;
    const int rc = pager.start(searchSpec);
    return rc == LDAP_SUCCESS ? pager.next(entry) : rc;
}

RangeStep rangeStep(const QString &range, qint64 previousHigh)
{
    RangeStep step;
    const int dash = range.indexOf(QLatin1Char('-'));
    if (dash <= 0)
        return step;
    bool lowOk = false, highOk = false;
    const qint64 low = range.left(dash).toLongLong(&lowOk);
    const QString highText = range.mid(dash + 1);
    if (!lowOk || low < 0 || low <= previousHigh)
        return step;
    if (highText == QLatin1String("*")) {
        step.kind = RangeStep::Done;
        return step;
    }
    const qint64 high = highText.toLongLong(&highOk);
    if (!highOk || high < low || high >= std::numeric_limits<int>::max())
        return step;
    step.kind = RangeStep::Next;
    step.next = high + 1;
    return step;
}

HRESULT completeRange(const std::shared_ptr<Connection> &conn, const QByteArray &dn,
                      const QString &base, const QString &rangedName, QList<QByteArray> *values)
{
    QString range;
    stripOptions(rangedName, &range);
    qint64 previousHigh = -1;
    for (;;) {
        const RangeStep step = rangeStep(range, previousHigh);
        if (step.kind == RangeStep::Done)
            return S_OK;
        if (step.kind == RangeStep::Invalid)
            return fail(hresultFromLdap(LDAP_PROTOCOL_ERROR),
                        QStringLiteral("The server answered the values of %1 with the range \"%2\", which "
                                       "does not continue the values read so far; the values were not read "
                                       "completely.")
                            .arg(base, range));
        previousHigh = step.next - 1;
        const QByteArray want = base.toUtf8() + ";range=" + QByteArray::number(step.next) + "-*";
        Pager pager(conn);
        LDAPMessage *e = nullptr;
        const int rc = baseRead(pager, dn, {want}, -1, &e);
        if (rc != LDAP_SUCCESS)
            return hresultFromLdap(rc);
        if (!e)
            return S_OK;
        bool found = false;
        BerElement *ber = nullptr;
        for (char *a = ldap_first_attribute(conn->ld(), e, &ber); a; a = ldap_next_attribute(conn->ld(), e, ber)) {
            const QString name = QString::fromUtf8(a);
            QString r;
            if (stripOptions(name, &r).compare(base, Qt::CaseInsensitive) == 0) {
                berval **v = ldap_get_values_len(conn->ld(), e, a);
                for (int i = 0; v && v[i]; ++i)
                    values->append(QByteArray(v[i]->bv_val, static_cast<int>(v[i]->bv_len)));
                ldap_value_free_len(v);
                // Without a range option the answer holds the rest.
                range = r.isEmpty() ? QString::number(step.next) + QStringLiteral("-*") : r;
                found = true;
            }
            ldap_memfree(a);
        }
        if (ber)
            ber_free(ber, 0);
        if (!found)
            return S_OK;
    }
    return S_OK;
}

HRESULT entryAttributes(const std::shared_ptr<Connection> &conn, LDAPMessage *entry,
                        QList<RawAttribute> *out)
{
    LDAP *ld = conn->ld();
    BerElement *ber = nullptr;
    QByteArray dn;
    for (char *a = ldap_first_attribute(ld, entry, &ber); a; a = ldap_next_attribute(ld, entry, ber)) {
        RawAttribute attr;
        const QString full = QString::fromUtf8(a);
        QString range;
        attr.name = stripOptions(full, &range);
        berval **v = ldap_get_values_len(ld, entry, a);
        for (int i = 0; v && v[i]; ++i)
            attr.values.append(QByteArray(v[i]->bv_val, static_cast<int>(v[i]->bv_len)));
        ldap_value_free_len(v);
        ldap_memfree(a);
        if (!range.isEmpty()) {
            if (dn.isEmpty()) {
                char *d = ldap_get_dn(ld, entry);
                dn = d ? QByteArray(d) : QByteArray();
                ldap_memfree(d);
            }
            const HRESULT h = completeRange(conn, dn, attr.name, full, &attr.values);
            if (failed(h)) {
                if (ber)
                    ber_free(ber, 0);
                return h;
            }
        }
        out->append(attr);
    }
    if (ber)
        ber_free(ber, 0);
    return S_OK;
}

HRESULT readEntry(const std::shared_ptr<Connection> &conn, const QString &dn,
                  const QList<QByteArray> &attrs, int sdFlags, QList<RawAttribute> *out)
{
    Pager pager(conn);
    LDAPMessage *e = nullptr;
    const int rc = baseRead(pager, dn.toUtf8(), attrs, sdFlags, &e);
    if (rc != LDAP_SUCCESS)
        return hresultFromLdap(rc);
    if (!e)
        return fail(HR_DS_NO_SUCH_OBJECT, QStringLiteral("The object %1 was not found.").arg(dn));
    out->clear();
    const HRESULT h = entryAttributes(conn, e, out);
    if (succeeded(h))
        clearLastError();
    return h;
}


HRESULT defaultNamingContext(const std::shared_ptr<Connection> &conn, QString *dn)
{
    QList<RawAttribute> root;
    const HRESULT h = readEntry(conn, QString(), {"defaultNamingContext"}, -1, &root);
    if (failed(h))
        return h;
    if (root.isEmpty() || root.first().values.isEmpty())
        return fail(E_ADS_PROPERTY_NOT_FOUND, QStringLiteral("The server publishes no default naming context."));
    *dn = QString::fromUtf8(root.first().values.first());
    return S_OK;
}

} // namespace ads::detail
