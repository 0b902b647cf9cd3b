// Group membership, the "user cannot change password" rule and account names of SIDs.
#include "core/unValuesInternal.h"

#include <QMutex>

#include "platform/security/wellknown.h"

namespace {

using values_detail::FirstValue;
using values_detail::PrepareSearch;

bool changeMembership(const QString &groupPath, const QString &memberDN, bool add)
{
    const ads::ObjectPtr group = BindWithDirectoryAccess(groupPath);
    group->GetInfoEx({QStringLiteral("member")});
    QVariant members;
    bool found = false;
    if (ads::succeeded(group->GetEx(QStringLiteral("member"), &members))) {
        for (const QVariant &m : members.toList()) {
            if (m.toString().compare(memberDN, Qt::CaseInsensitive) == 0) {
                found = true;
                break;
            }
        }
    }
    if (found == add)
        return false;
    CheckADSIResult(group->PutEx(add ? ads::ADS_PROPERTY_APPEND : ads::ADS_PROPERTY_DELETE, QStringLiteral("member"),
                                 QVariantList{memberDN}));
    CheckADSIResult(group->SetInfo());
    return true;
}

} // namespace

bool AddGroupMember(const QString &groupPath, const QString &memberDN)
{
    return changeMembership(groupPath, memberDN, true);
}

bool RemoveGroupMember(const QString &groupPath, const QString &memberDN)
{
    return changeMembership(groupPath, memberDN, false);
}

QString ParentCanonicalName(const QString &canonicalName)
{
    // A "/" inside a name is written "\/"; only an unescaped one separates the parent.
    for (int i = int(canonicalName.size()) - 1; i >= 0; --i) {
        if (canonicalName[i] != QLatin1Char('/'))
            continue;
        int backslashes = 0;
        for (int k = i - 1; k >= 0 && canonicalName[k] == QLatin1Char('\\'); --k)
            ++backslashes;
        if (backslashes % 2 == 0)
            return canonicalName.left(i);
    }
    return canonicalName;
}

void GetGroupInfo(const QString &prefix, const QString &dn, QString &name, int &token, QString &parentCanonicalName)
{
    name.clear();
    parentCanonicalName.clear();
    token = 0;
    // A "/" inside the DN would end the path's DN part: it is escaped.
    const ads::ObjectPtr group = BindWithDirectoryAccess(prefix + ads::escapePathDn(dn));
    group->GetInfoEx({QStringLiteral("cn"), QStringLiteral("canonicalName"), QStringLiteral("primaryGroupToken"),
                      QStringLiteral("groupType")});
    QVariant v;
    if (ads::succeeded(group->Get(QStringLiteral("cn"), &v)))
        name = FirstValue(v).toString();
    if (ads::succeeded(group->Get(QStringLiteral("canonicalName"), &v))) {
        parentCanonicalName = ParentCanonicalName(FirstValue(v).toString());
    }
    if (ads::succeeded(group->Get(QStringLiteral("primaryGroupToken"), &v)))
        token = FirstValue(v).toInt();
    int groupType = 0;
    if (ads::succeeded(group->Get(QStringLiteral("groupType"), &v)))
        groupType = FirstValue(v).toInt();
    // Only security groups (global, domain local, universal) can be a primary group.
    if (groupType != -2147483646 && groupType != -2147483644 && groupType != -2147483640)
        token = -token;
}

bool IsValueTaken(const QString &base, const QString &attribute, const QString &value, const QString &userName,
                  const QString &password, std::uint32_t authFlags, bool useCredentials)
{
    try {
        TQelADSISearching s;
        PrepareSearch(s, base);
        s.setUserName(userName);
        s.setPassword(password);
        s.setAuthFlags(int(authFlags));
        s.setUseCredentials(useCredentials);
        s.setSearchScope(ads::ADS_SCOPE_SUBTREE);
        s.setPageSize(500);
        // The value is escaped: a "*" or "(" in it must be matched literally, not as a pattern.
        s.setFilter(QStringLiteral("(&(objectCategory=person)(objectClass=user)(%1=%2))")
                        .arg(attribute, EscapeFilterValue(value)));
        s.setAttributes(attribute);
        s.ExecuteSearch();
        QVariant row;
        s.GetFirstRow(row);
        while (row.isValid()) {
            const QVariant cell = row.toList().value(0);
            const QVariantList values = cell.metaType().id() == QMetaType::QVariantList ? cell.toList() : QVariantList{cell};
            for (const QVariant &v : values) {
                if (v.toString() == value) {
                    s.CloseSearch();
                    return true;
                }
            }
            s.GetNextRow(row);
        }
    } catch (const Exception &) {
    }
    return false;
}

// --- User cannot change password ------------------------------------------------------------

bool GetCannotChangePassword(const security::SecurityDescriptor &sd)
{
    const int everyone = sd.findObjectAce(kChangePasswordGuid, security::everyoneSid());
    const int self = sd.findObjectAce(kChangePasswordGuid, security::selfSid());
    return everyone >= 0 && self >= 0 && sd.dacl->aces[everyone].type == security::ACCESS_DENIED_OBJECT_ACE_TYPE
        && sd.dacl->aces[self].type == security::ACCESS_DENIED_OBJECT_ACE_TYPE;
}

bool GetCannotChangePassword(const QByteArray &securityDescriptor)
{
    const auto sd = security::SecurityDescriptor::parse(securityDescriptor);
    return sd && GetCannotChangePassword(*sd);
}

bool SetCannotChangePassword(const ads::ObjectPtr &userObject, bool deny)
{
    if (!userObject)
        return false;
    const QString attr = QStringLiteral("ntSecurityDescriptor");
    QVariant value;
    if (ads::failed(userObject->GetInfoEx({attr})) || ads::failed(userObject->Get(attr, &value))
        || value.metaType().id() != QMetaType::QByteArray)
        return false;
    auto sd = security::SecurityDescriptor::parse(value.toByteArray());
    if (!sd)
        return false;
    if (!sd->dacl)
        sd->dacl = security::Acl{};
    const quint8 type = deny ? security::ACCESS_DENIED_OBJECT_ACE_TYPE : security::ACCESS_ALLOWED_OBJECT_ACE_TYPE;
    for (const security::Sid &trustee : {security::everyoneSid(), security::selfSid()}) {
        const int at = sd->findObjectAce(kChangePasswordGuid, trustee);
        if (at >= 0)
            sd->dacl->aces[at].type = type;
        else
            sd->dacl->aces.append(security::makeObjectAce(type, trustee, security::ADS_RIGHT_DS_CONTROL_ACCESS,
                                                          kChangePasswordGuid));
    }
    // Entries are evaluated in order, so a deny placed after an allow would have no effect:
    // the list is always written back in canonical order, also when only a type changed.
    sd->canonicalizeDacl();
    sd->dacl->revision = 4;
    const QByteArray bytes = sd->toBytes();
    if (bytes.isEmpty())
        return false;
    CheckADSIResult(userObject->Put(attr, QVariant(bytes)));
    CheckADSIResult(userObject->SetInfo());
    return true;
}

// --- Account names --------------------------------------------------------------------------

QString DomainNetbiosName()
{
    const TDirectoryAccess a = DirectoryAccess();
    if (!a.DomainNetbiosName.isEmpty() || a.DefaultNamingContext.isEmpty())
        return a.DomainNetbiosName;
    static QMutex mutex;
    static QString cachedFor, cached;
    const QString key = a.ServerPrefix + QLatin1Char('|') + a.DefaultNamingContext;
    QMutexLocker lock(&mutex);
    if (cachedFor == key)
        return cached;
    QString name;
    try {
        const QString config = values_detail::RootDseValue(QStringLiteral("configurationNamingContext"));
        TQelADSISearching s;
        PrepareSearch(s, QStringLiteral("CN=Partitions,") + config);
        s.setSearchScope(ads::ADS_SCOPE_ONELEVEL);
        s.setFilter(QStringLiteral("(&(objectClass=crossRef)(nCName=%1))").arg(EscapeFilterValue(a.DefaultNamingContext)));
        s.setAttributes(QStringLiteral("nETBIOSName"));
        s.ExecuteSearch();
        QVariant row;
        s.GetFirstRow(row);
        if (row.isValid())
            name = FirstValue(row.toList().value(0)).toString();
        s.CloseSearch();
    } catch (const Exception &) {
        return {}; // not remembered: the next call tries again
    }
    cachedFor = key;
    cached = name;
    return name;
}

// The first value of attribute on the object of the domain whose objectSid is sid; empty when
// there is none or it cannot be read.
static QString valueOfObjectWithSid(const security::Sid &sid, const QString &attribute)
{
    const TDirectoryAccess a = DirectoryAccess();
    if (a.DefaultNamingContext.isEmpty())
        return {};
    try {
        TQelADSISearching s;
        PrepareSearch(s, a.DefaultNamingContext);
        s.setSearchScope(ads::ADS_SCOPE_SUBTREE);
        s.setFilter(QStringLiteral("(objectSid=%1)").arg(EscapeFilterBytes(sid.toBytes())));
        s.setAttributes(attribute);
        s.ExecuteSearch();
        QVariant row;
        s.GetFirstRow(row);
        if (!row.isValid())
            return {};
        const QString value = FirstValue(row.toList().value(0)).toString();
        s.CloseSearch();
        return value;
    } catch (const Exception &) {
        return {};
    }
}

QString LookupAccountSid(const security::Sid &sid)
{
    if (const auto known = security::wellKnownName(sid))
        return known->fullName();
    const QString name = valueOfObjectWithSid(sid, QStringLiteral("sAMAccountName"));
    if (name.isEmpty())
        return {};
    const bool builtin = sid.authority() == 5 && sid.subAuthorities().value(0) == 32;
    const QString domain = builtin ? QStringLiteral("BUILTIN") : DomainNetbiosName();
    return domain.isEmpty() ? name : domain + QLatin1Char('\\') + name;
}

QString PrimaryGroupDn(const QByteArray &userSid, int primaryGroupId)
{
    const std::optional<security::Sid> user = security::Sid::fromBytes(userSid);
    if (!user || primaryGroupId <= 0 || user->subAuthorities().size() < 2)
        return {};
    QList<quint32> sub = user->domainSid().subAuthorities();
    sub << quint32(primaryGroupId);
    return valueOfObjectWithSid(security::Sid(user->authority(), sub), QStringLiteral("distinguishedName"));
}

std::optional<security::Sid> LookupAccountName(const QString &text)
{
    if (StartsWithNoCase(QStringLiteral("S-"), text.trimmed()))
        if (auto sid = security::Sid::fromString(text))
            return sid;
    if (auto sid = security::wellKnownSid(text))
        return sid;
    const TDirectoryAccess a = DirectoryAccess();
    QString user, domain;
    SplitDomainUser(text.trimmed(), user, domain);
    if (a.DefaultNamingContext.isEmpty() || user.isEmpty())
        return std::nullopt;
    try {
        TQelADSISearching s;
        PrepareSearch(s, a.DefaultNamingContext);
        s.setSearchScope(ads::ADS_SCOPE_SUBTREE);
        s.setFilter(QStringLiteral("(sAMAccountName=%1)").arg(EscapeFilterValue(user)));
        s.setAttributes(QStringLiteral("objectSid"));
        s.ExecuteSearch();
        QVariant row;
        s.GetFirstRow(row);
        if (!row.isValid())
            return std::nullopt;
        const QVariant sidValue = FirstValue(row.toList().value(0));
        s.CloseSearch();
        return security::Sid::fromBytes(sidValue.toByteArray());
    } catch (const Exception &) {
        return std::nullopt;
    }
}
