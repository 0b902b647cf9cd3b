#include "userprop/memberof.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "core/unValuesText.h"
#include "platform/security/sid.h"
#include "query/filtercompose.h"

#include <QSet>

#include <deque>
#include <map>

namespace userprop {

constexpr int kGlobalSecurityGroup = int(0x80000002u);

UserPropConnection UserPropConnection::fromContext()
{
    const TConnectionContext &ctx = ConnectionContext();
    UserPropConnection c;
    c.pathPrefix = ctx.ServerPrefix;
    c.searchRoot = ctx.DomainPath;
    c.userName = ctx.UserName;
    c.password = ctx.Password;
    c.authFlags = ctx.AuthFlags;
    c.useCredentials = ctx.UseCredentials;
    return c;
}

void prepareSearch(TQelADSISearching &search, const UserPropConnection &c)
{
    search.setADsPath(c.searchRoot);
    search.setUserName(c.userName);
    search.setPassword(c.password);
    search.setAuthFlags(int(c.authFlags));
    search.setUseCredentials(c.useCredentials);
    search.setSearchScope(ads::ADS_SCOPE_SUBTREE);
}

namespace {

template <class F>
void searchRows(const UserPropConnection &c, const QString &filter, const QString &attributes, F &&f)
{
    TQelADSISearching s;
    prepareSearch(s, c);
    s.setFilter(filter);
    s.setAttributes(attributes);
    s.setPageSize(500);
    s.ExecuteSearch();
    QVariant row;
    s.GetFirstRow(row);
    while (row.isValid()) {
        f(row.toList());
        s.GetNextRow(row);
    }
    s.CloseSearch();
}

QVariant first(const QVariant &v)
{
    return v.typeId() == QMetaType::QVariantList ? v.toList().value(0) : v;
}

QStringList all(const QVariant &v)
{
    return ValueTexts(v);
}

} // namespace

std::vector<MemberOfRow> loadMemberOf(const ads::ObjectPtr &user, const UserPropConnection &c, int *primaryGroupId)
{
    CheckADSIResult(user->GetInfoEx({QStringLiteral("memberOf"), QStringLiteral("tokenGroups"),
                                     QStringLiteral("primaryGroupID")}));
    QVariant pg;
    CheckADSIResult(user->Get(QStringLiteral("primaryGroupID"), &pg));
    *primaryGroupId = first(pg).toInt();
    QVariant mo, tg;
    QStringList memberOf;
    if (ads::succeeded(user->Get(QStringLiteral("memberOf"), &mo)))
        memberOf = all(mo);
    QStringList sids;
    if (ads::succeeded(user->GetEx(QStringLiteral("tokenGroups"), &tg)))
        for (const QVariant &v : tg.toList())
            if (auto sid = security::Sid::fromBytes(v.toByteArray()))
                sids << sid->toString();

    // One search for every group the token names or memberOf lists: name, folder, token,
    // type and the groups each one is a member of (for the nesting marks).
    struct Group {
        QString dn, cn, canonical;
        int token = 0;
        int type = 0;
        QStringList parents;
        bool inToken = false;
    };
    std::map<QString, Group> groups; // key: lower-case DN
    QStringList terms;
    for (const QString &s : sids)
        terms << query::equals(QStringLiteral("objectSid"), s);
    for (const QString &dn : memberOf)
        terms << query::equals(QStringLiteral("distinguishedName"), dn);
    QSet<QString> tokenDns;
    // Large tokens are asked for in slices so that no filter grows without bound.
    for (int at = 0; at < terms.size(); at += 200) {
        const QString filter = query::andOf({query::equals(QStringLiteral("objectClass"), QStringLiteral("group")),
                                             query::orOf(terms.mid(at, 200))});
        try {
            searchRows(c, filter, QStringLiteral("distinguishedName,cn,canonicalName,primaryGroupToken,groupType,objectSid,memberOf"),
                       [&](const QVariantList &row) {
                           Group g;
                           g.dn = first(row.value(0)).toString();
                           if (g.dn.isEmpty())
                               return;
                           g.cn = first(row.value(1)).toString();
                           g.canonical = first(row.value(2)).toString();
                           g.token = first(row.value(3)).toInt();
                           g.type = first(row.value(4)).toInt();
                           if (auto sid = security::Sid::fromBytes(first(row.value(5)).toByteArray()))
                               g.inToken = sids.contains(sid->toString());
                           g.parents = all(row.value(6));
                           groups[g.dn.toLower()] = g;
                       });
        } catch (const Exception &) {
            // A failed read of the list shows what was read so far.
        }
    }
    QSet<QString> direct;
    for (const QString &dn : memberOf)
        direct.insert(dn.toLower());
    for (const auto &[key, g] : groups)
        if (g.token == *primaryGroupId && g.token > 0)
            direct.insert(key);

    // For each group reached through nesting: the direct group it is reached through, by a
    // walk upwards from the direct groups.
    std::map<QString, QString> through;
    std::deque<std::pair<QString, QString>> queue; // (group, direct root)
    for (const QString &d : direct)
        queue.emplace_back(d, d);
    QSet<QString> seen = direct;
    while (!queue.empty()) {
        const auto [key, root] = queue.front();
        queue.pop_front();
        auto it = groups.find(key);
        if (it == groups.end())
            continue;
        for (const QString &p : it->second.parents) {
            const QString pk = p.toLower();
            if (seen.contains(pk))
                continue;
            seen.insert(pk);
            through[pk] = root;
            queue.emplace_back(pk, root);
        }
    }

    std::vector<MemberOfRow> rows;
    QSet<QString> added;
    auto add = [&](const QString &key) {
        auto it = groups.find(key);
        if (it == groups.end() || added.contains(key))
            return;
        added.insert(key);
        const Group &g = it->second;
        MemberOfRow r;
        r.dn = g.dn;
        r.name = g.cn;
        r.folder = ParentCanonicalName(g.canonical);
        r.token = g.token;
        r.direct = direct.contains(key);
        if (!r.direct) {
            auto root = groups.find(through[key]);
            r.through = root != groups.end() ? root->second.cn : QString();
        }
        rows.push_back(r);
    };
    // Token groups first (global security groups only), then memberOf.
    for (const auto &[key, g] : groups)
        if (g.inToken && g.type == kGlobalSecurityGroup)
            add(key);
    for (const QString &dn : memberOf)
        add(dn.toLower());
    return rows;
}

} // namespace userprop
