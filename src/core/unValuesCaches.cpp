// The process-wide name caches: schema attribute names and extended-right names by GUID,
// groups by SID (with their primary group tokens).
#include "core/unValuesInternal.h"
#include "platform/adsi/adsvalue.h"

#include <QMap>

namespace {

using values_detail::FirstValue;
using values_detail::PathWithPrefix;

std::optional<QHash<QString, QString>> g_schemaGuids;
std::optional<QHash<QString, QString>> g_extendedRights;
std::optional<QMap<QString, TGroupListRec>> g_groups; // sorted by key

QString guidKey(const QVariant &v)
{
    if (v.metaType().id() == QMetaType::QByteArray)
        return ads::guidToString(v.toByteArray()).toUpper();
    return v.toString().trimmed().toUpper();
}

QString bracedKey(const QString &guid)
{
    const QString g = guid.trimmed().toUpper();
    return g.startsWith(QLatin1Char('{')) ? g : QLatin1Char('{') + g + QLatin1Char('}');
}

// Runs a paged search and hands every row to the callback.
template <typename F>
void forEachRow(const QString &path, const QString &filter, const QString &attributes, int scope, int chase, F &&f)
{
    TQelADSISearching s;
    values_detail::PrepareSearch(s, path);
    s.setFilter(filter);
    s.setAttributes(attributes);
    s.setSearchScope(scope);
    s.setChaseReferrals(chase);
    s.ExecuteSearch();
    QVariant row;
    s.GetFirstRow(row);
    while (row.isValid()) {
        f(row.toList());
        s.GetNextRow(row);
    }
}

} // namespace

QRecursiveMutex &ProcessLock()
{
    static QRecursiveMutex lock;
    return lock;
}

// --- Schema GUIDs ---------------------------------------------------------------------------

void LoadSchemaGuidNames()
{
    {
        QMutexLocker lock(&ProcessLock());
        if (g_schemaGuids)
            return;
    }
    const QString context = values_detail::RootDseValue(QStringLiteral("schemaNamingContext"));
    QHash<QString, QString> map;
    try {
        forEachRow(PathWithPrefix(context), QString(), QStringLiteral("lDAPDisplayName, distinguishedName, schemaIDGUID"),
                   ads::ADS_SCOPE_ONELEVEL, 0, [&](const QVariantList &row) {
                       const QString key = bracedKey(guidKey(FirstValue(row.value(2))));
                       const QString name = FirstValue(row.value(0)).toString();
                       if (!key.isEmpty() && !name.isEmpty() && !map.contains(key))
                           map.insert(key, name);
                   });
    } catch (const Exception &) {
        // A failed listing leaves no cache, so that the next call tries again.
        return;
    }
    QMutexLocker lock(&ProcessLock());
    if (!g_schemaGuids) {
        g_schemaGuids = std::move(map);
    } else {
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            if (!g_schemaGuids->contains(it.key()))
                g_schemaGuids->insert(it.key(), it.value());
    }
}

void AddSchemaGuidName(const QString &guidText, const QString &name)
{
    if (guidText.trimmed().isEmpty())
        return;
    const QString key = bracedKey(guidText);
    QMutexLocker lock(&ProcessLock());
    if (!g_schemaGuids)
        g_schemaGuids.emplace();
    if (!g_schemaGuids->contains(key))
        g_schemaGuids->insert(key, name);
}

QString SchemaGuidName(const QString &guidText)
{
    QMutexLocker lock(&ProcessLock());
    if (!g_schemaGuids)
        return {};
    return g_schemaGuids->value(bracedKey(guidText));
}

bool SchemaGuidNamesLoaded()
{
    QMutexLocker lock(&ProcessLock());
    return g_schemaGuids.has_value();
}

void ClearSchemaGuidNames()
{
    QMutexLocker lock(&ProcessLock());
    g_schemaGuids.reset();
}

// --- Extended rights --------------------------------------------------------------------------

void LoadExtendedRightNames()
{
    {
        QMutexLocker lock(&ProcessLock());
        if (g_extendedRights)
            return;
    }
    QHash<QString, QString> map;
    try {
        const QString context = values_detail::RootDseValue(QStringLiteral("configurationNamingContext"));
        forEachRow(PathWithPrefix(QStringLiteral("CN=Extended-Rights,") + context),
                   QStringLiteral("(objectClass=controlAccessRight)"), QStringLiteral("displayName, rightsGuid"),
                   ads::ADS_SCOPE_ONELEVEL, 0, [&](const QVariantList &row) {
                       const QString guid = FirstValue(row.value(1)).toString();
                       if (guid.trimmed().isEmpty())
                           return;
                       const QString key = bracedKey(guid);
                       if (!map.contains(key))
                           map.insert(key, FirstValue(row.value(0)).toString());
                   });
    } catch (const Exception &e) {
        ClearExtendedRightNames();
        throw EADSIException(e.Message());
    }
    QMutexLocker lock(&ProcessLock());
    g_extendedRights = std::move(map);
}

QString ExtendedRightName(const QString &guidText)
{
    QMutexLocker lock(&ProcessLock());
    if (!g_extendedRights)
        return {};
    return g_extendedRights->value(bracedKey(guidText));
}

bool ExtendedRightNamesLoaded()
{
    QMutexLocker lock(&ProcessLock());
    return g_extendedRights.has_value();
}

void ClearExtendedRightNames()
{
    QMutexLocker lock(&ProcessLock());
    g_extendedRights.reset();
}

// --- Groups -----------------------------------------------------------------------------------

QString GroupListKey(const QVariant &objectSid)
{
    const QString hex = ValueToHex(objectSid);
    return hex.size() == 32 ? hex.mid(20, 12) : hex;
}

void LoadGroupList(const QString &base)
{
    QMap<QString, TGroupListRec> groups;
    try {
        forEachRow(PathWithPrefix(base), QStringLiteral("(&(objectCategory=Group)(objectClass=Group))"),
                   QStringLiteral("objectSid,distinguishedname,cn,primaryGroupToken"), ads::ADS_SCOPE_SUBTREE,
                   ads::ADS_CHASE_REFERRALS_ALWAYS, [&](const QVariantList &row) {
                       const QString key = GroupListKey(FirstValue(row.value(0)));
                       if (key.isEmpty() || groups.contains(key))
                           return;
                       TGroupListRec rec;
                       rec.DistinguishedName = FirstValue(row.value(1)).toString();
                       rec.CommonName = FirstValue(row.value(2)).toString();
                       rec.PrimaryGroupToken = FirstValue(row.value(3)).toInt();
                       groups.insert(key, rec);
                   });
    } catch (const Exception &) {
        // The groups read so far are kept.
    }
    QMutexLocker lock(&ProcessLock());
    if (!g_groups) {
        g_groups = std::move(groups);
    } else {
        for (auto it = groups.cbegin(); it != groups.cend(); ++it)
            if (!g_groups->contains(it.key()))
                g_groups->insert(it.key(), it.value());
    }
}

QString GroupDnByToken(int token, const QString &base)
{
    if (!GroupListLoaded())
        LoadGroupList(base);
    QMutexLocker lock(&ProcessLock());
    if (!g_groups)
        return {};
    for (const TGroupListRec &rec : *g_groups)
        if (rec.PrimaryGroupToken == token)
            return rec.DistinguishedName;
    return {};
}

QList<TGroupListRec> GroupListSnapshot()
{
    QMutexLocker lock(&ProcessLock());
    return g_groups ? g_groups->values() : QList<TGroupListRec>();
}

std::optional<TGroupListRec> GroupBySidHex(const QString &sidHex)
{
    QMutexLocker lock(&ProcessLock());
    if (!g_groups)
        return std::nullopt;
    auto it = g_groups->constFind(sidHex);
    if (it == g_groups->constEnd())
        return std::nullopt;
    return *it;
}

bool GroupListLoaded()
{
    QMutexLocker lock(&ProcessLock());
    return g_groups.has_value();
}

void ClearGroupList()
{
    QMutexLocker lock(&ProcessLock());
    g_groups.reset();
}
