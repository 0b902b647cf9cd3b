#pragma once
// Helpers shared by the value operations' source files (not part of the public interface).
#include "core/unSearch.h"
#include "core/unValues.h"
#include "platform/adsi/adspath.h"

namespace values_detail {

// The first value of a multi-valued cell, or the cell itself.
inline QVariant FirstValue(const QVariant &v)
{
    if (v.metaType().id() == QMetaType::QVariantList) {
        const QVariantList l = v.toList();
        return l.isEmpty() ? QVariant() : l.first();
    }
    return v;
}

// A full path for a DN (the connection's server prefix in front, "/" in the DN escaped);
// full paths stay as they are.
inline QString PathWithPrefix(const QString &dnOrPath)
{
    if (StartsWithNoCase(QStringLiteral("LDAP://"), dnOrPath))
        return dnOrPath;
    const QString prefix = DirectoryAccess().ServerPrefix;
    return (prefix.isEmpty() ? QStringLiteral("LDAP://") : prefix) + ads::escapePathDn(dnOrPath);
}

// A search rooted at dnOrPath with the connection's credentials, page size 500.
inline void PrepareSearch(TQelADSISearching &s, const QString &dnOrPath)
{
    const TDirectoryAccess a = DirectoryAccess();
    s.setADsPath(PathWithPrefix(dnOrPath));
    s.setUserName(a.UserName);
    s.setPassword(a.Password);
    s.setAuthFlags(int(a.AuthFlags));
    s.setUseCredentials(a.UseCredentials);
    s.setPageSize(500);
}

// A value read from RootDSE; raises EADSIException when RootDSE or the value cannot be read.
inline QString RootDseValue(const QString &name)
{
    const ads::ObjectPtr root = BindWithDirectoryAccess(PathWithPrefix(QStringLiteral("RootDSE")));
    QVariant v;
    CheckADSIResult(root->Get(name, &v));
    return FirstValue(v).toString();
}

} // namespace values_detail
