#include "groups/unGroupMembers.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "core/unValuesText.h"
#include "platform/adsi/adserror.h"
#include "platform/adsi/adspath.h"
#include "platform/security/sid.h"
#include "query/filtercompose.h"

namespace groups {

namespace {

const QString kMember = QStringLiteral("member");

QVariant firstValue(const QVariant &v)
{
    if (v.typeId() == QMetaType::QVariantList) {
        const QVariantList l = v.toList();
        return l.isEmpty() ? QVariant() : l.first();
    }
    return v;
}

QStringList texts(const QVariant &v) { return ValueTexts(v); }

ads::ObjectPtr bindGroup(const QString &dn)
{
    ads::ObjectPtr o;
    CheckADSIResult(OpenWithContext(dn, &o));
    return o;
}

QSet<QString> lowerSet(const QStringList &l)
{
    QSet<QString> s;
    s.reserve(l.size());
    for (const QString &x : l)
        s.insert(x.toLower());
    return s;
}

} // namespace

TGroupFacts ReadGroupFacts(const QString &groupDn)
{
    TGroupFacts f;
    f.DistinguishedName = groupDn;
    const ads::ObjectPtr g = bindGroup(groupDn);
    g->GetInfoEx({QStringLiteral("cn"), QStringLiteral("primaryGroupToken"), QStringLiteral("objectSID")});
    QVariant v;
    if (ads::succeeded(g->Get(QStringLiteral("cn"), &v)))
        f.Name = firstValue(v).toString();
    if (ads::succeeded(g->Get(QStringLiteral("primaryGroupToken"), &v)) && firstValue(v).isValid())
        f.PrimaryGroupToken = firstValue(v).toInt();
    if (ads::succeeded(g->Get(QStringLiteral("objectSID"), &v))) {
        const QVariant sid = firstValue(v);
        if (sid.typeId() == QMetaType::QByteArray)
            if (const auto parsed = security::Sid::fromBytes(sid.toByteArray()))
                f.SidText = parsed->toString();
    }
    f.Builtin = f.SidText.startsWith(QLatin1String("S-1-5-32"), Qt::CaseInsensitive);
    return f;
}

QStringList ReadDirectMembers(const QString &groupDn, int rangeSize)
{
    const ads::ObjectPtr g = bindGroup(groupDn);
    // Asking for the first range explicitly makes the directory answer in ranges even where it
    // would send every value unasked; the directory layer reads the following ranges.
    const int last = qMax(1, rangeSize) - 1;
    CheckADSIResult(g->GetInfoEx({QStringLiteral("member;range=0-%1").arg(last)}));
    ads::PropertyEntry entry;
    if (ads::failed(g->GetPropertyItem(kMember, &entry)))
        return {};
    QStringList out;
    out.reserve(entry.values.size());
    for (const QVariant &v : entry.values)
        out << v.toString();
    return out;
}

QString MembersFilter(const QString &groupDn, int primaryGroupToken)
{
    const QString kinds = query::orOf({query::equals(QStringLiteral("objectCategory"), QStringLiteral("person")),
                                       query::equals(QStringLiteral("objectCategory"), QStringLiteral("Group"))});
    QStringList how{query::equals(QStringLiteral("memberOf:1.2.840.113556.1.4.1941:"), groupDn)};
    if (primaryGroupToken >= 0)
        how << query::equals(QStringLiteral("primaryGroupID"), QString::number(primaryGroupToken));
    return query::andOf({kinds, query::orOf(how)});
}

QString MembersAttributes()
{
    return QStringLiteral("cn,canonicalName,distinguishedName,primaryGroupID,objectClass");
}

void LoadGroupMembers(const TGroupFacts &group, const std::function<bool(const TGroupMember &)> &onRow,
                      const TLoadOptions &options)
{
    const QStringList directList = ReadDirectMembers(group.DistinguishedName, options.rangeSize);
    const QSet<QString> direct = lowerSet(directList);
    QSet<QString> seen;
    const TConnectionContext &c = ConnectionContext();
    TQelADSISearching s;
    s.setADsPath(c.DomainPath);
    ApplyContextCredentials(s);
    s.setAttributes(MembersAttributes());
    s.setFilter(MembersFilter(group.DistinguishedName, group.PrimaryGroupToken));
    s.setSearchScope(ads::ADS_SCOPE_SUBTREE);
    s.setSizeLimit(0);
    s.setPageSize(options.pageSize);
    s.ExecuteSearch();
    QVariant row;
    s.GetFirstRow(row);
    while (row.isValid()) {
        const QVariantList cols = row.toList();
        if (cols.size() >= 5) {
            TGroupMember m;
            m.Name = firstValue(cols.at(0)).toString();
            m.Folder = ParentCanonicalName(firstValue(cols.at(1)).toString());
            m.DistinguishedName = firstValue(cols.at(2)).toString();
            m.PrimaryGroupID = firstValue(cols.at(3)).toInt();
            m.IsGroup = texts(cols.at(4)).contains(QStringLiteral("group"), Qt::CaseInsensitive);
            if (direct.contains(m.DistinguishedName.toLower()))
                m.Kind = MemberKind::Direct;
            else if (group.PrimaryGroupToken >= 0 && m.PrimaryGroupID == group.PrimaryGroupToken)
                m.Kind = MemberKind::Primary;
            else
                m.Kind = MemberKind::Nested;
            seen.insert(m.DistinguishedName.toLower());
            if (!m.DistinguishedName.isEmpty() && !onRow(m)) {
                s.CloseSearch();
                return;
            }
        }
        s.GetNextRow(row);
    }
    s.CloseSearch();
    // Direct members the search does not cover (computers, foreign security principals):
    // listed too, so that every value of "member" can be seen and removed.
    for (const QString &dn : directList) {
        if (seen.contains(dn.toLower()))
            continue;
        TGroupMember m;
        m.DistinguishedName = dn;
        m.Kind = MemberKind::Direct;
        ads::ObjectPtr o;
        if (ads::succeeded(OpenWithContext(dn, &o))) {
            o->GetInfoEx({QStringLiteral("cn"), QStringLiteral("canonicalName"), QStringLiteral("primaryGroupID"),
                          QStringLiteral("objectClass")});
            ads::PropertyEntry e;
            if (ads::succeeded(o->GetPropertyItem(QStringLiteral("cn"), &e)) && !e.values.isEmpty())
                m.Name = e.values.first().toString();
            if (ads::succeeded(o->GetPropertyItem(QStringLiteral("canonicalName"), &e)) && !e.values.isEmpty())
                m.Folder = ParentCanonicalName(e.values.first().toString());
            if (ads::succeeded(o->GetPropertyItem(QStringLiteral("primaryGroupID"), &e)) && !e.values.isEmpty())
                m.PrimaryGroupID = e.values.first().toInt();
        }
        if (m.Name.isEmpty())
            m.Name = ads::unescapeRdnValue(ads::splitDn(dn).value(0).section(QLatin1Char('='), 1));
        if (!onRow(m))
            return;
    }
}

QList<TGroupMember> LoadGroupMembers(const TGroupFacts &group, const TLoadOptions &options)
{
    QList<TGroupMember> out;
    LoadGroupMembers(group, [&](const TGroupMember &m) { out.append(m); return true; }, options);
    return out;
}

QString NestingGroupOf(const QString &memberDn, const QStringList &candidateGroups)
{
    const QSet<QString> candidates = lowerSet(candidateGroups);
    ads::ObjectPtr m;
    if (ads::failed(OpenWithContext(memberDn, &m)))
        return {};
    m->GetInfoEx({QStringLiteral("memberOf")});
    ads::PropertyEntry entry;
    if (ads::failed(m->GetPropertyItem(QStringLiteral("memberOf"), &entry)))
        return {};
    for (const QVariant &g : entry.values)
        if (candidates.contains(g.toString().toLower()))
            return g.toString();
    return {};
}

// --- pending changes ---------------------------------------------------------------------------

void TMembershipChanges::setLoaded(const QStringList &loadedDns)
{
    m_loaded = lowerSet(loadedDns);
    clear();
}

bool TMembershipChanges::isCurrentMember(const QString &dn) const
{
    const QString k = key(dn);
    auto has = [&](const QStringList &l) {
        for (const QString &x : l)
            if (key(x) == k)
                return true;
        return false;
    };
    if (has(m_add))
        return true;
    return m_loaded.contains(k) && !has(m_remove);
}

bool TMembershipChanges::add(const QString &dn)
{
    if (dn.isEmpty() || isCurrentMember(dn))
        return false;
    const QString k = key(dn);
    bool wasRemoved = false;
    for (int i = int(m_remove.size()) - 1; i >= 0; --i)
        if (key(m_remove.at(i)) == k) {
            m_remove.removeAt(i);
            wasRemoved = true;
        }
    if (!wasRemoved || !m_loaded.contains(k))
        m_add.append(dn);
    return true;
}

bool TMembershipChanges::remove(const QString &dn)
{
    if (!isCurrentMember(dn))
        return false;
    const QString k = key(dn);
    bool wasAdded = false;
    for (int i = int(m_add.size()) - 1; i >= 0; --i)
        if (key(m_add.at(i)) == k) {
            m_add.removeAt(i);
            wasAdded = true;
        }
    if (!wasAdded || m_loaded.contains(k))
        m_remove.append(dn);
    return true;
}

void TMembershipChanges::commit()
{
    for (const QString &r : m_remove)
        m_loaded.remove(key(r));
    for (const QString &a : m_add)
        m_loaded.insert(key(a));
    clear();
}

TApplyResult ApplyMembershipChanges(const QString &groupDn, const QStringList &additions, const QStringList &removals,
                                    int rangeSize)
{
    TApplyResult r;
    if (additions.isEmpty() && removals.isEmpty())
        return r;
    const QSet<QString> now = lowerSet(ReadDirectMembers(groupDn, rangeSize));
    QSet<QString> seen;
    for (const QString &a : additions) {
        if (seen.contains(a.toLower()))
            continue;
        seen.insert(a.toLower());
        (now.contains(a.toLower()) ? r.alreadyThere : r.added) << a;
    }
    seen.clear();
    for (const QString &d : removals) {
        if (seen.contains(d.toLower()))
            continue;
        seen.insert(d.toLower());
        (now.contains(d.toLower()) ? r.removed : r.alreadyGone) << d;
    }
    if (r.added.isEmpty() && r.removed.isEmpty())
        return r;
    const ads::ObjectPtr g = bindGroup(groupDn);
    QVariantList del, add;
    for (const QString &d : r.removed)
        del << d;
    for (const QString &a : r.added)
        add << a;
    if (!del.isEmpty())
        CheckADSIResult(g->PutEx(ads::ADS_PROPERTY_DELETE, kMember, del));
    if (!add.isEmpty())
        CheckADSIResult(g->PutEx(ads::ADS_PROPERTY_APPEND, kMember, add));
    CheckADSIResult(g->SetInfo());
    r.written = true;
    return r;
}

QString MemberKindText(MemberKind kind)
{
    switch (kind) {
    case MemberKind::Direct: return QStringLiteral("direct");
    case MemberKind::Primary: return QStringLiteral("primary");
    case MemberKind::Nested: return QStringLiteral("nested");
    }
    return {};
}

} // namespace groups
