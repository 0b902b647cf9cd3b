#include "core/unSearch.h"

#include "core/localzone.h"

#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adserror.h"
#include "platform/adsi/adsvalue.h"

using namespace ads;

namespace {

struct AdsiMessage {
    std::uint32_t code;
    const char *text;
};

constexpr AdsiMessage kAdsiMessages[] = {
    {0x80005000u, "An invalid ADSI pathname was passed."},
    {0x80005001u, "An unknown ADSI domain object was requested."},
    {0x80005002u, "An unknown ADSI user object was requested."},
    {0x80005003u, "An unknown ADSI computer object was requested."},
    {0x80005004u, "An unknown ADSI object was requested."},
    {0x80005005u, "The specified ADSI property was not set."},
    {0x80005006u, "The specified ADSI property is not supported."},
    {0x80005007u, "The specified ADSI property is invalid."},
    {0x80005008u, "One or more input parameters are invalid."},
    {0x80005009u, "The specified ADSI object is not bound to a remote resource."},
    {0x8000500Au, "The specified ADSI object has not been modified."},
    {0x8000500Bu, "The specified ADSI object has been modified."},
    {0x8000500Cu, "The data type cannot be converted to/from a native DS data type."},
    {0x8000500Du, "The property cannot be found in the cache."},
    {0x8000500Eu, "The ADSI object exists."},
    {0x8000500Fu, "The attempted action violates the directory service schema rules."},
    {0x80005010u, "The specified column in the ADSI was not set."},
    {0x80005014u, "The specified search filter is invalid."},
};

// Attributes holding file times that rows show as date-times.
const char *const kTimeAttributes[] = {"accountExpires", "badPasswordTime", "lastLogon",
                                       "lastLogonTimeStamp", "lastLogoff", "lockoutTime",
                                       "pwdLastSet"};

} // namespace

bool IsFileTimeAttribute(const QString &name)
{
    for (const char *t : kTimeAttributes)
        if (name.compare(QLatin1String(t), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

namespace {

QString hex(HRESULT status) { return QString::number(static_cast<std::uint32_t>(status), 16).toUpper(); }

bool isBreak(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QLatin1Char('\t'); }

QString wrapParagraph(const QString &p, int width)
{
    QStringList lines;
    int pos = 0;
    const int n = static_cast<int>(p.size());
    while (n - pos > width) {
        int j = -1;
        for (int k = pos + width - 1; k >= pos; --k)
            if (isBreak(p[k])) {
                j = k;
                break;
            }
        if (j < 0) { // no break within the width: the word stays whole
            int k = pos + width;
            while (k < n && !isBreak(p[k]))
                ++k;
            if (k >= n)
                break;
            j = k;
        }
        lines << p.mid(pos, j - pos + 1);
        pos = j + 1;
        while (pos < n && (p[pos] == QLatin1Char(' ') || p[pos] == QLatin1Char('\t')))
            ++pos;
    }
    if (pos < n || lines.isEmpty())
        lines << p.mid(pos);
    return lines.join(QStringLiteral("\r\n"));
}

// A file time read as UTC, shown in this computer's local time; the zero date-time for 0,
// for "never" (low 32 bits all ones) and when the value cannot be converted.
AdsDate fileTimeToLocalDate(qint64 ft)
{
    constexpr qint64 kLastFileTime = 2650467743999990000LL; // 31 December 9999 23:59:59.999 UTC
    if (ft <= 0 || ft > kLastFileTime || (static_cast<quint64>(ft) & 0xFFFFFFFFull) == 0xFFFFFFFFull)
        return AdsDate();
    return AdsDate(localzone::fileTimeToLocalDateTime(ft));
}

} // namespace

QString WrapText(const QString &text, int width)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList paragraphs = t.split(QLatin1Char('\n'));
    for (QString &p : paragraphs)
        p = wrapParagraph(p, width);
    return paragraphs.join(QStringLiteral("\r\n"));
}

QString GetADSIErrorText(HRESULT status)
{
    if (succeeded(status))
        return QString();
    QString text;
    const auto u = static_cast<std::uint32_t>(status);
    // A write whose answer never came carries, like the directory's own errors, the extended
    // error that names the server and why its outcome is not known.
    if ((u & 0x5000u) != 0 && !writeOutcomeUnknown(status)) {
        for (const auto &m : kAdsiMessages)
            if (m.code == u) {
                text = QString::fromLatin1(m.text);
                break;
            }
    } else if (facilityOf(status) == 7 || writeOutcomeUnknown(status)) {
        text = systemMessage(status);
        std::uint32_t code = 0;
        QString buffer, name;
        if (succeeded(ADsGetLastError(&code, &buffer, &name)) && code != 0 && code != 13) {
            if (!buffer.isEmpty())
                text += QStringLiteral("\r\n") + buffer;
            if (!name.isEmpty())
                text += QStringLiteral("\r\n") + name;
        }
    }
    if (text.isEmpty())
        text = systemMessage(status);
    if (text.isEmpty())
        text = QStringLiteral("Unknown ADSI Error: ") + QStringLiteral("%1").arg(u, 8, 16, QLatin1Char('0')).toUpper();
    return WrapText(text, 40);
}

void CheckADSIResult(HRESULT status)
{
    if (failed(status))
        throw EADSIException(GetADSIErrorText(status));
}

HRESULT OpenADsObject(const QString &path, const QString &userName, const QString &password,
                      ObjectPtr *object, const QString &interfaceId, std::uint32_t authFlags,
                      bool useCredentials)
{
    const bool withCredentials = useCredentials && !userName.isEmpty() && !password.isEmpty();
    ObjectPtr o;
    const HRESULT h = ADsOpenObject(path, withCredentials ? userName : QString(),
                                    withCredentials ? password : QString(), authFlags, &o);
    if (failed(h))
        return h;
    if (!interfaceId.isEmpty()) {
        const HRESULT qi = o->QueryInterface(interfaceId);
        if (failed(qi))
            return qi;
    }
    if (object)
        *object = o;
    return S_OK;
}

// --- TQelADSISearching --------------------------------------------------------------------

TQelADSISearching::TQelADSISearching() = default;

TQelADSISearching::~TQelADSISearching()
{
    if (m_searchHandle && m_searcher)
        m_searcher->CloseSearchHandle(m_searchHandle);
    m_searchHandle = nullptr;
}

void TQelADSISearching::setFilter(const QString &v)
{
    if (v != m_filter) {
        m_filter = v;
        m_executed = false;
    }
}

void TQelADSISearching::setADsPath(const QString &v)
{
    if (v != m_adsPath) {
        m_adsPath = v;
        if (m_searchHandle && m_searcher)
            m_searcher->CloseSearchHandle(m_searchHandle);
        m_searchHandle = nullptr;
        m_searcher.reset();
        m_rootObject.reset();
        m_executed = false;
    }
}

QString TQelADSISearching::GetErrorText() const { return GetADSIErrorText(m_lastResult); }

QStringList TQelADSISearching::SplitAttributes(const QString &attributes)
{
    QStringList names;
    QString cur;
    bool quoted = false;
    for (const QChar c : attributes) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == QLatin1Char(',') || c.isSpace())) {
            if (!cur.isEmpty())
                names << cur;
            cur.clear();
            continue;
        }
        cur += c;
    }
    if (!cur.isEmpty())
        names << cur;
    return names;
}

void TQelADSISearching::ExecuteSearch()
{
    m_columnNames.clear();
    m_columns.clear();
    m_endOfRows = false;

    if (!m_rootObject) {
        std::uint32_t flags = m_authFlags != 0 ? static_cast<std::uint32_t>(m_authFlags) : ADS_SECURE_AUTHENTICATION;
        const bool passCredentials = !m_userName.isEmpty() && !m_password.isEmpty();
        if (m_adsPath.isEmpty()) {
            QString rootPath;
            if (!m_serverName.isEmpty() && m_port != 0)
                rootPath = QStringLiteral("LDAP://%1:%2/RootDSE").arg(m_serverName).arg(m_port);
            else if (!m_serverName.isEmpty())
                rootPath = QStringLiteral("LDAP://%1/RootDSE").arg(m_serverName);
            else
                rootPath = QStringLiteral("LDAP://RootDSE");
            if (!m_serverName.isEmpty())
                flags |= ADS_SERVER_BIND;
            ObjectPtr rootDse;
            m_lastResult = OpenADsObject(rootPath, m_userName, m_password, &rootDse, QLatin1String(IID_IADs),
                                         flags, passCredentials);
            if (failed(m_lastResult))
                throw EADSISearchException(GetErrorText());
            QVariant nc;
            m_lastResult = rootDse->Get(QStringLiteral("defaultNamingContext"), &nc);
            if (failed(m_lastResult))
                throw EADSISearchException(GetErrorText());
            m_adsPath = (QStringLiteral("LDAP://") + nc.toString()).left(259);
        }
        m_lastResult = OpenADsObject(m_adsPath, m_userName, m_password, &m_rootObject,
                                     QLatin1String(IID_IADs), flags, m_useCredentials);
        if (failed(m_lastResult)) {
            m_rootObject.reset();
            throw EADSISearchException(GetErrorText());
        }
    }

    std::shared_ptr<DirectorySearch> searcher;
    m_lastResult = m_rootObject->QueryDirectorySearch(&searcher);
    if (failed(m_lastResult) || !searcher)
        throw EADSISearchException(QStringLiteral("Could not obtain Directory Search interface for %1 (%2)")
                                       .arg(m_adsPath, hex(m_lastResult)));

    if (m_searchHandle) {
        const HRESULT h = m_searcher ? m_searcher->CloseSearchHandle(m_searchHandle) : S_OK;
        m_searchHandle = nullptr;
        if (failed(h))
            throw EADSISearchException(QStringLiteral("Could not free search handle (%1)").arg(hex(h)));
    }
    m_searcher = searcher;

    QList<SearchPrefInfo> prefs;
    prefs.append({ADS_SEARCHPREF_CHASE_REFERRALS, m_chaseReferrals, {}, S_OK});
    prefs.append({ADS_SEARCHPREF_SEARCH_SCOPE, m_searchScope, {}, S_OK});
    if (m_sizeLimit > 0)
        prefs.append({ADS_SEARCHPREF_SIZE_LIMIT, m_sizeLimit, {}, S_OK});
    if (m_pageSize > 0)
        prefs.append({ADS_SEARCHPREF_PAGESIZE, m_pageSize, {}, S_OK});
    if (!m_sortOn.isEmpty())
        prefs.append({ADS_SEARCHPREF_SORT_ON, QVariant(), {SortKey{m_sortOn, QString(), m_sortReverse}}, S_OK});
    if (m_asynchronous) {
        prefs.append({ADS_SEARCHPREF_ASYNCHRONOUS, true, {}, S_OK});
        prefs.append({ADS_SEARCHPREF_TIMEOUT, 0, {}, S_OK});
    }
    m_lastResult = m_searcher->SetSearchPreference(prefs);
    if (failed(m_lastResult))
        throw EADSISearchException(QStringLiteral("Search failed (result code %1)").arg(hex(m_lastResult)));

    const QString filter = !m_filter.isEmpty() ? m_filter : QStringLiteral("(objectClass=%1)").arg(m_objectClass);
    if (!m_attributes.isEmpty())
        m_columnNames = SplitAttributes(m_attributes);
    SearchHandle handle = nullptr;
    m_lastResult = m_searcher->ExecuteSearch(filter, m_columnNames, &handle, m_columnNames.isEmpty());
    if (failed(m_lastResult))
        throw EADSISearchException(QStringLiteral("Search failed (result code %1)").arg(hex(m_lastResult)));
    m_searchHandle = handle;
    m_searcher->SetKeepWireValues(m_keepEntries);
    if (m_keepEntries)
        m_entry.schema = m_rootObject->connection() ? m_rootObject->connection()->schema() : nullptr;
    m_executed = true;
}

void TQelADSISearching::GetFirstRow(QVariant &row) { getRow(row, true); }
void TQelADSISearching::GetNextRow(QVariant &row) { getRow(row, false); }

void TQelADSISearching::getRow(QVariant &row, bool first)
{
    row = QVariant();
    try {
        if (!m_executed)
            throw EADSISearchException(QStringLiteral("Search has not been executed yet"));
        m_lastResult = first ? m_searcher->GetFirstRow(m_searchHandle) : m_searcher->GetNextRow(m_searchHandle);
        if (succeeded(m_lastResult)) {
            if (m_lastResult == S_ADS_NOMORE_ROWS)
                m_endOfRows = true;
            else
                readRow(row);
            return;
        }
        if (m_lastResult == HR_DS_SIZELIMIT_EXCEEDED)
            return;
        if (first) {
            if (facilityOf(m_lastResult) == 7)
                throw EADSISearchException(GetErrorText());
            throw EADSISearchException(QStringLiteral("GetFirstRow failed (%1)").arg(hex(m_lastResult)));
        }
        throw EADSISearchException(QStringLiteral("GetNextRow failed (%1)").arg(hex(m_lastResult)));
    } catch (...) {
        row = QVariant();
        throw;
    }
}

const TQelADSISearching::ColumnInfo &TQelADSISearching::columnInfo(const QString &name)
{
    for (const ColumnInfo &c : m_columns)
        if (c.text == name.constData())
            return c;
    for (ColumnInfo &c : m_columns)
        if (c.name == name) { // the same name from another text: hold that one from now on
            c.name = name;  // keeps the text alive, so that its address names nothing else
            c.text = name.constData();
            return c;
        }
    ColumnInfo c;
    c.text = name.constData();
    c.name = name;
    c.time = IsFileTimeAttribute(name);
    for (int i = 0; i < m_columnNames.size() && c.slot < 0; ++i)
        if (m_columnNames[i].compare(name, Qt::CaseInsensitive) == 0)
            c.slot = i;
    m_columns.push_back(c);
    return m_columns.back();
}

void TQelADSISearching::readRow(QVariant &row)
{
    QString name;
    m_lastResult = m_searcher->GetNextColumnName(m_searchHandle, &name);
    QVariantList cells;
    const bool aligned = !m_columnNames.isEmpty();
    // A row of requested names is always a full array of cells, even when the object has
    // none of them: an empty row would read as the end of the listing.
    if (aligned)
        cells.resize(m_columnNames.size());
    bool any = aligned;
    if (m_keepEntries) {
        m_entry.columns.clear();
        m_searcher->GetDn(m_searchHandle, &m_entry.dn);
    }
    SearchColumn column; // one for every column: its list of values is reused
    while (succeeded(m_lastResult) && m_lastResult != S_ADS_NOMORE_COLUMNS) {
        if (succeeded(m_searcher->GetColumn(m_searchHandle, name, &column))) {
            if (m_keepEntries && (aligned || name.compare(QLatin1String("ADsPath"), Qt::CaseInsensitive) != 0))
                m_entry.columns.append(column);
            const ColumnInfo &info = columnInfo(name);
            if (aligned) {
                if (info.slot >= 0)
                    cells[info.slot] = convertColumn(column, info.time);
            } else {
                cells.append(QVariant(QVariantList{name, convertColumn(column, info.time)}));
                any = true;
            }
            m_searcher->FreeColumn(&column);
        }
        m_lastResult = m_searcher->GetNextColumnName(m_searchHandle, &name);
    }
    if (m_lastResult == S_ADS_NOMORE_COLUMNS)
        m_lastResult = S_OK;
    if (any)
        row = cells;
}

QVariant TQelADSISearching::ConvertColumn(const SearchColumn &column)
{
    return convertColumn(column, column.type == ADSTYPE_LARGE_INTEGER && IsFileTimeAttribute(column.name));
}

QVariant TQelADSISearching::convertColumn(const SearchColumn &column, bool timeAttribute)
{
    const bool timeAttr = timeAttribute && column.type == ADSTYPE_LARGE_INTEGER;
    auto convert = [&](const QVariant &v) -> QVariant {
        switch (column.type) {
        case ADSTYPE_DN_STRING:
        case ADSTYPE_CASE_EXACT_STRING:
        case ADSTYPE_CASE_IGNORE_STRING:
        case ADSTYPE_PRINTABLE_STRING:
        case ADSTYPE_NUMERIC_STRING:
        case ADSTYPE_OBJECT_CLASS:
            return v.toString();
        case ADSTYPE_BOOLEAN:
            return v.metaType().id() == QMetaType::Bool ? v.toBool() : v.toLongLong() != 0;
        case ADSTYPE_INTEGER:
            return v.toInt();
        case ADSTYPE_OCTET_STRING:
        case ADSTYPE_PROV_SPECIFIC: {
            const QByteArray b = v.toByteArray();
            if (b.size() == 16)
                return guidToString(b);
            return b;
        }
        case ADSTYPE_UTC_TIME:
            if (v.metaType().id() == qMetaTypeId<AdsDate>())
                return v;
            return QVariant::fromValue(AdsDate());
        case ADSTYPE_LARGE_INTEGER:
            if (timeAttr)
                return QVariant::fromValue(fileTimeToLocalDate(v.toLongLong()));
            return v.toLongLong();
        default:
            return QStringLiteral("(unknown data type %1)").arg(int(column.type));
        }
    };
    if (column.values.isEmpty())
        return QVariant();
    if (column.values.size() == 1)
        return convert(column.values.first());
    QVariantList out;
    out.reserve(column.values.size());
    for (const QVariant &v : column.values)
        out.append(convert(v));
    return out;
}

void TQelADSISearching::CloseSearch()
{
    if (!m_searchHandle || !m_searcher)
        return;
    m_executed = false;
    if (m_asynchronous || m_pageSize > 0)
        m_searcher->AbandonSearch(m_searchHandle);
    m_searcher->CloseSearchHandle(m_searchHandle);
    m_searchHandle = nullptr;
    m_executed = false;
}
