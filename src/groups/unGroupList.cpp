#include "groups/unGroupList.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "platform/adsi/adspath.h"
#include "query/filtercompose.h"

#include <algorithm>

namespace groups {

namespace {

QString firstText(const QVariant &v)
{
    if (v.typeId() == QMetaType::QVariantList) {
        const QVariantList l = v.toList();
        return l.isEmpty() ? QString() : l.first().toString();
    }
    return v.toString();
}

QString columnText(const TGroupListEntry &e, int column)
{
    switch (column) {
    case 0: return e.Name;
    case 1: return e.TypeText;
    case 2: return e.Folder;
    default: return e.DistinguishedName;
    }
}

} // namespace

QString GroupListFilter(GroupKind kind)
{
    const QString cls = kind == GroupKind::Groups ? QStringLiteral("Group") : QStringLiteral("msExchDynamicDistributionList");
    return query::andOf({query::equals(QStringLiteral("objectCategory"), cls),
                         query::equals(QStringLiteral("objectClass"), cls)});
}

QList<TGroupListEntry> LoadGroupList(GroupKind kind, const QString &base, const std::function<bool()> &keepGoing)
{
    const TConnectionContext &c = ConnectionContext();
    TQelADSISearching s;
    if (base.isEmpty())
        s.setADsPath(c.DomainPath);
    else if (base.startsWith(QLatin1String("LDAP:"), Qt::CaseInsensitive))
        s.setADsPath(base);
    else
        s.setADsPath(c.ServerPrefix + ads::escapePathDn(base));
    ApplyContextCredentials(s);
    s.setAttributes(QStringLiteral("name,groupType,canonicalName,distinguishedName"));
    s.setFilter(GroupListFilter(kind));
    s.setSearchScope(ads::ADS_SCOPE_SUBTREE);
    s.setSizeLimit(0);
    s.setPageSize(100);
    QList<TGroupListEntry> out;
    s.ExecuteSearch();
    QVariant row;
    s.GetFirstRow(row);
    while (row.isValid()) {
        const QVariantList cols = row.toList();
        if (cols.size() >= 4) {
            TGroupListEntry e;
            e.Name = firstText(cols.at(0));
            if (cols.at(1).isValid())
                e.TypeText = GroupTypeText(qint32(firstText(cols.at(1)).toLongLong()));
            e.Folder = ParentCanonicalName(firstText(cols.at(2)));
            e.DistinguishedName = firstText(cols.at(3));
            out.append(e);
        }
        if (keepGoing && !keepGoing())
            break;
        s.GetNextRow(row);
    }
    s.CloseSearch();
    return out;
}

int NextSortKey(int currentKey, int column)
{
    if (column <= 0)
        return currentKey == kSortByName ? -kSortByName : kSortByName;
    const int n = column + 1;
    return currentKey == n ? -n : n;
}

void SortGroupList(QList<TGroupListEntry> &rows, int key)
{
    const int column = std::abs(key) == kSortByName ? 0 : std::abs(key) - 1;
    const bool descending = key < 0;
    std::stable_sort(rows.begin(), rows.end(), [&](const TGroupListEntry &a, const TGroupListEntry &b) {
        const int r = QString::compare(columnText(a, column), columnText(b, column), Qt::CaseInsensitive);
        return descending ? r > 0 : r < 0;
    });
}

} // namespace groups
