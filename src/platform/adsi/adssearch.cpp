#include "platform/adsi/adssearch.h"

#include "platform/adsi/adserror.h"
#include "platform/adsi/adsinternal.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adsschema.h"
#include "platform/adsi/adsvalue.h"

#include <QSet>
#include <cstring>

namespace ads {

using namespace detail;

struct DirectorySearch::Private {
    std::shared_ptr<Connection> conn;
    QString baseDn;
    QString pathPrefix;  // "LDAP://server/" of the object the search came from
    // Preferences.
    bool async = false;
    int deref = LDAP_DEREF_NEVER;
    int sizeLimit = 0;
    int timeLimit = 0;
    bool attribTypesOnly = false;
    int scope = ADS_SCOPE_SUBTREE;
    int timeout = 0;
    int pageSize = 0;
    int chase = ADS_CHASE_REFERRALS_NEVER;
    QList<SortKey> sort;
    bool tombstone = false;
    int securityMask = -1;
    bool keepWire = false;
    QSet<SearchState *> handles;
};

// Column names seen in earlier rows, with their types: rows of one search repeat the same
// names, so the name text and schema lookup are done once per name, not once per row.
struct NameCacheEntry {
    QByteArray raw;
    QString name;
    AdsType type;
    bool known;  // in the schema; otherwise text unless a value is not UTF-8
};

struct RowColumn {
    int nameIndex = -1;            // into SearchState::names
    berval *vals = nullptr;        // values inside the entry (freed with ber_memfree)
    QList<QByteArray> owned;       // values of a ranged attribute, fetched whole
    bool ranged = false;
};

struct SearchState {
    std::unique_ptr<Pager> pager;
    SearchSpec searchSpec;
    QStringList requested;
    bool all = false;
    bool wantPath = false;
    bool started = false;
    bool finished = false;
    std::shared_ptr<const SchemaMap> schema;
    std::vector<NameCacheEntry> names;
    std::vector<RowColumn> row;
    QByteArray dn;
    bool haveRow = false;
    int nextColumn = 0;

    void clearRow()
    {
        for (RowColumn &c : row)
            if (c.vals)
                ber_memfree(c.vals);
        row.clear();
        haveRow = false;
        nextColumn = 0;
    }
    ~SearchState() { clearRow(); }

    int nameIndex(const char *raw, ber_len_t len)
    {
        for (size_t i = 0; i < names.size(); ++i)
            if (static_cast<ber_len_t>(names[i].raw.size()) == len && std::memcmp(names[i].raw.constData(), raw, len) == 0)
                return static_cast<int>(i);
        NameCacheEntry e;
        e.raw = QByteArray(raw, static_cast<int>(len));
        QString full = QString::fromUtf8(e.raw);
        const int semi = full.indexOf(QLatin1Char(';'));
        e.name = semi < 0 ? full : full.left(semi);
        const AttributeInfo info = schema ? schema->lookup(e.name) : SchemaMap().lookup(e.name);
        e.type = info.type;
        e.known = info.known;
        names.push_back(e);
        return static_cast<int>(names.size() - 1);
    }
};

DirectorySearch::DirectorySearch() : d(std::make_unique<Private>()) {}

std::shared_ptr<DirectorySearch> DirectorySearch::create(std::shared_ptr<Connection> conn,
                                                         const QString &baseDn, const QString &pathPrefix)
{
    std::shared_ptr<DirectorySearch> s(new DirectorySearch());
    s->d->conn = std::move(conn);
    s->d->baseDn = baseDn;
    s->d->pathPrefix = pathPrefix;
    return s;
}

DirectorySearch::~DirectorySearch()
{
    for (SearchState *s : d->handles)
        delete s;
}

HRESULT DirectorySearch::SetSearchPreference(QList<SearchPrefInfo> &prefs)
{
    bool someFailed = false;
    for (SearchPrefInfo &p : prefs) {
        bool ok = true;
        const int iv = p.value.toInt(&ok);
        p.status = S_OK;
        switch (p.pref) {
        case ADS_SEARCHPREF_ASYNCHRONOUS: d->async = p.value.toBool(); break;
        case ADS_SEARCHPREF_DEREF_ALIASES: if (ok && iv >= 0 && iv <= 3) d->deref = iv; else p.status = E_ADS_BAD_PARAMETER; break;
        case ADS_SEARCHPREF_SIZE_LIMIT: if (ok && iv >= 0) d->sizeLimit = iv; else p.status = E_ADS_BAD_PARAMETER; break;
        case ADS_SEARCHPREF_TIME_LIMIT: if (ok && iv >= 0) d->timeLimit = iv; else p.status = E_ADS_BAD_PARAMETER; break;
        case ADS_SEARCHPREF_ATTRIBTYPES_ONLY: d->attribTypesOnly = p.value.toBool(); break;
        case ADS_SEARCHPREF_SEARCH_SCOPE: if (ok && iv >= 0 && iv <= 2) d->scope = iv; else p.status = E_ADS_BAD_PARAMETER; break;
        case ADS_SEARCHPREF_TIMEOUT: if (ok && iv >= 0) d->timeout = iv; else p.status = E_ADS_BAD_PARAMETER; break;
        case ADS_SEARCHPREF_PAGESIZE: if (ok && iv >= 0) d->pageSize = iv; else p.status = E_ADS_BAD_PARAMETER; break;
        case ADS_SEARCHPREF_PAGED_TIME_LIMIT: if (ok && iv >= 0) d->timeLimit = iv; else p.status = E_ADS_BAD_PARAMETER; break;
        case ADS_SEARCHPREF_CHASE_REFERRALS:
            if (ok && (iv == 0 || iv == 0x20 || iv == 0x40 || iv == 0x60)) d->chase = iv; else p.status = E_ADS_BAD_PARAMETER;
            break;
        case ADS_SEARCHPREF_SORT_ON:
            d->sort.clear();
            for (const SortKey &k : p.sortKeys)
                if (!k.attribute.isEmpty())
                    d->sort.append(k);
            break;
        case ADS_SEARCHPREF_CACHE_RESULTS: break;
        case ADS_SEARCHPREF_TOMBSTONE: d->tombstone = p.value.toBool(); break;
        case ADS_SEARCHPREF_SECURITY_MASK: if (ok && iv >= 0 && iv <= 15) d->securityMask = iv; else p.status = E_ADS_BAD_PARAMETER; break;
        default: p.status = E_ADS_BAD_PARAMETER; break;
        }
        if (failed(p.status))
            someFailed = true;
    }
    return someFailed ? S_ADS_ERRORSOCCURRED : S_OK;
}

HRESULT DirectorySearch::ExecuteSearch(const QString &filter, const QStringList &names,
                                       SearchHandle *handle, bool allAttributes)
{
    if (!handle)
        return E_POINTER;
    *handle = nullptr;
    auto st = std::make_unique<SearchState>();
    st->schema = d->conn->schema();
    st->all = allAttributes || names.isEmpty();
    st->requested = names;
    SearchSpec &searchSpec = st->searchSpec;
    searchSpec.base = d->baseDn.toUtf8();
    searchSpec.scope = d->scope;
    searchSpec.filter = filter.isEmpty() ? QByteArray("(objectClass=*)") : filter.toUtf8();
    searchSpec.attrsOnly = d->attribTypesOnly;
    searchSpec.pageSize = d->pageSize;
    searchSpec.sizeLimit = d->sizeLimit;
    searchSpec.timeLimit = d->timeLimit;
    searchSpec.clientTimeout = d->timeout;
    searchSpec.sort = d->sort;
    searchSpec.deref = d->deref;
    searchSpec.chaseReferrals = d->chase != ADS_CHASE_REFERRALS_NEVER;
    searchSpec.tombstones = d->tombstone;
    if (!st->all) {
        for (const QString &n : names) {
            if (n.compare(QLatin1String("ADsPath"), Qt::CaseInsensitive) == 0) {
                st->wantPath = true;
                continue;
            }
            if (n.compare(QLatin1String("nTSecurityDescriptor"), Qt::CaseInsensitive) == 0)
                searchSpec.sdFlags = d->securityMask >= 0 ? d->securityMask : 7;
            searchSpec.attrs.append(n.toUtf8());
        }
        if (searchSpec.attrs.isEmpty())
            searchSpec.attrs.append("1.1");  // only the ADsPath was asked for
    } else {
        st->wantPath = true;
    }
    if (d->securityMask >= 0 && searchSpec.sdFlags < 0)
        searchSpec.sdFlags = d->securityMask;
    st->pager = std::make_unique<Pager>(d->conn);
    const int rc = st->pager->start(searchSpec);
    if (rc != LDAP_SUCCESS)
        return hresultFromLdap(rc);
    clearLastError();
    *handle = st.release();
    d->handles.insert(*handle);
    return S_OK;
}

namespace {

HRESULT fetchRow(const std::shared_ptr<Connection> &conn, SearchState *s)
{
    s->clearRow();
    if (s->finished)
        return S_ADS_NOMORE_ROWS;
    LDAPMessage *e = nullptr;
    const int rc = s->pager->next(&e);
    if (rc == LDAP_SIZELIMIT_EXCEEDED) {
        s->finished = true;
        ADsSetLastError(win32FromLdap(rc), QStringLiteral("The size limit of the search was reached."));
        return HR_DS_SIZELIMIT_EXCEEDED;
    }
    if (rc != LDAP_SUCCESS) {
        s->finished = true;
        return hresultFromLdap(rc);
    }
    if (!e) {
        s->finished = true;
        return S_ADS_NOMORE_ROWS;
    }
    LDAP *ld = conn->ld();
    BerElement *ber = nullptr;
    berval dn{0, nullptr};
    if (ldap_get_dn_ber(ld, e, &ber, &dn) != LDAP_SUCCESS) {
        // libldap hands out the BerElement even when the entry cannot be decoded.
        if (ber)
            ber_free(ber, 0);
        return failLdap(ld, LDAP_DECODING_ERROR);
    }
    s->dn = QByteArray(dn.bv_val, static_cast<int>(dn.bv_len));
    berval name{0, nullptr};
    berval *vals = nullptr;
    HRESULT result = S_OK;
    while (ldap_get_attribute_ber(ld, e, ber, &name, &vals) == LDAP_SUCCESS && name.bv_val) {
        RowColumn c;
        c.nameIndex = s->nameIndex(name.bv_val, name.bv_len);
        c.vals = vals;
        vals = nullptr;
        const NameCacheEntry &ne = s->names[c.nameIndex];
        if (ne.raw.contains(';') && ne.raw.toLower().contains(";range=")) {
            c.ranged = true;
            for (int i = 0; c.vals && c.vals[i].bv_val; ++i)
                c.owned.append(QByteArray(c.vals[i].bv_val, static_cast<int>(c.vals[i].bv_len)));
            const HRESULT h = completeRange(conn, s->dn, ne.name, QString::fromUtf8(ne.raw), &c.owned);
            if (failed(h))
                result = h;
        }
        s->row.push_back(std::move(c));
    }
    if (ber)
        ber_free(ber, 0);
    s->haveRow = true;
    return result;
}

} // namespace

HRESULT DirectorySearch::GetFirstRow(SearchHandle handle)
{
    if (!handle || !d->handles.contains(handle))
        return E_ADS_BAD_PARAMETER;
    if (handle->started) {
        // Reading again from the start: run the search again.
        handle->clearRow();
        handle->finished = false;
        handle->pager = std::make_unique<Pager>(d->conn);
        const int rc = handle->pager->start(handle->searchSpec);
        if (rc != LDAP_SUCCESS) {
            handle->finished = true;
            return hresultFromLdap(rc);
        }
    }
    handle->started = true;
    return fetchRow(d->conn, handle);
}

HRESULT DirectorySearch::GetNextRow(SearchHandle handle)
{
    if (!handle || !d->handles.contains(handle))
        return E_ADS_BAD_PARAMETER;
    handle->started = true;
    return fetchRow(d->conn, handle);
}

HRESULT DirectorySearch::GetNextColumnName(SearchHandle handle, QString *name)
{
    if (!handle || !d->handles.contains(handle) || !name)
        return E_ADS_BAD_PARAMETER;
    if (!handle->haveRow)
        return S_ADS_NOMORE_COLUMNS;
    const int n = static_cast<int>(handle->row.size());
    if (handle->nextColumn < n) {
        *name = handle->names[handle->row[handle->nextColumn++].nameIndex].name;
        return S_OK;
    }
    if (handle->wantPath && handle->nextColumn == n) {
        ++handle->nextColumn;
        *name = QStringLiteral("ADsPath");
        return S_OK;
    }
    name->clear();
    return S_ADS_NOMORE_COLUMNS;
}

HRESULT DirectorySearch::GetColumn(SearchHandle handle, const QString &name, SearchColumn *column)
{
    if (!handle || !d->handles.contains(handle) || !column)
        return E_ADS_BAD_PARAMETER;
    if (!handle->haveRow)
        return E_ADS_COLUMN_NOT_SET;
    // Callers usually ask for the column GetNextColumnName just gave: try it first.
    const int n = static_cast<int>(handle->row.size());
    const int last = handle->nextColumn - 1;
    for (int k = 0; k < n; ++k) {
        const int i = (last >= 0 && last < n) ? (last + k) % n : k;
        const RowColumn &c = handle->row[i];
        const NameCacheEntry &ne = handle->names[c.nameIndex];
        if (ne.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        column->name = ne.name;
        AdsType type = ne.type;
        if (!ne.known) {
            // Not in the schema: text unless a value is not UTF-8.
            for (int i = 0; c.vals && c.vals[i].bv_val; ++i)
                if (!isUtf8(c.vals[i].bv_val, static_cast<int>(c.vals[i].bv_len)))
                    type = ADSTYPE_OCTET_STRING;
        }
        column->type = type;
        column->values.clear();
        column->wire.clear();
        if (c.ranged) {
            column->values = convertValues(type, c.owned);
            if (d->keepWire)
                column->wire = c.owned;
        } else {
            int count = 0;
            while (c.vals && c.vals[count].bv_val)
                ++count;
            column->values.reserve(count);
            for (int i = 0; i < count; ++i)
                column->values.append(valueFromWire(type, c.vals[i].bv_val, static_cast<int>(c.vals[i].bv_len)));
            if (d->keepWire)
                for (int i = 0; i < count; ++i)
                    column->wire.append(QByteArray(c.vals[i].bv_val, static_cast<int>(c.vals[i].bv_len)));
        }
        return S_OK;
    }
    if (handle->wantPath && name.compare(QLatin1String("ADsPath"), Qt::CaseInsensitive) == 0) {
        column->name = QStringLiteral("ADsPath");
        column->type = ADSTYPE_CASE_IGNORE_STRING;
        column->values = {d->pathPrefix + escapePathDn(QString::fromUtf8(handle->dn))};
        column->wire.clear();
        if (d->keepWire)
            column->wire = {column->values.first().toString().toUtf8()};
        return S_OK;
    }
    return E_ADS_COLUMN_NOT_SET;
}

HRESULT DirectorySearch::FreeColumn(SearchColumn *column)
{
    if (column) {
        column->values.clear();
        column->wire.clear();
    }
    return S_OK;
}

HRESULT DirectorySearch::GetDn(SearchHandle handle, QString *dn)
{
    if (!handle || !d->handles.contains(handle) || !dn)
        return E_ADS_BAD_PARAMETER;
    if (!handle->haveRow)
        return E_ADS_COLUMN_NOT_SET;
    *dn = QString::fromUtf8(handle->dn);
    return S_OK;
}

void DirectorySearch::SetKeepWireValues(bool keep) { d->keepWire = keep; }

HRESULT DirectorySearch::AbandonSearch(SearchHandle handle)
{
    if (!handle || !d->handles.contains(handle))
        return E_ADS_BAD_PARAMETER;
    if (handle->pager)
        handle->pager->abandon();
    handle->finished = true;
    return S_OK;
}

HRESULT DirectorySearch::CloseSearchHandle(SearchHandle handle)
{
    if (!handle || !d->handles.contains(handle))
        return E_ADS_BAD_PARAMETER;
    d->handles.remove(handle);
    delete handle;
    return S_OK;
}

} // namespace ads
