#include "groups/unGroupRights.h"

#include "core/unConnection.h"
#include "platform/adsi/adsobject.h"

namespace groups {

namespace {

constexpr quint32 kWriteProperty = 0x20;
constexpr quint32 kGenericAll = 0x10000000;
constexpr quint32 kGenericWrite = 0x40000000;

QByteArray firstBytes(const ads::ObjectPtr &o, const QString &name)
{
    ads::PropertyEntry e;
    if (ads::failed(o->GetPropertyItem(name, &e)) || e.values.isEmpty())
        return {};
    return e.values.first().toByteArray();
}

} // namespace

bool CanUpdateMembership(const security::SecurityDescriptor &sd, const security::Sid &trustee)
{
    if (!sd.dacl)
        return true; // no DACL: everyone may do everything
    for (const security::Ace &ace : sd.dacl->aces) {
        if (ace.flags & security::INHERIT_ONLY_ACE)
            continue;
        if (!(ace.trustee == trustee))
            continue;
        if (!(ace.mask & (kWriteProperty | kGenericAll | kGenericWrite)))
            continue;
        const bool objectAce = ace.type == security::ACCESS_ALLOWED_OBJECT_ACE_TYPE
            || ace.type == security::ACCESS_DENIED_OBJECT_ACE_TYPE;
        if (objectAce && (ace.objectFlags & security::ACE_OBJECT_TYPE_PRESENT)
            && ace.objectTypeText().compare(kMemberAttributeGuid, Qt::CaseInsensitive) != 0)
            continue;
        if (ace.type == security::ACCESS_ALLOWED_ACE_TYPE || ace.type == security::ACCESS_ALLOWED_OBJECT_ACE_TYPE)
            return true;
        if (ace.type == security::ACCESS_DENIED_ACE_TYPE || ace.type == security::ACCESS_DENIED_OBJECT_ACE_TYPE)
            return false;
    }
    return false;
}

bool ManagerCanUpdateMembership(const QString &groupDn, const QString &managerDn)
{
    ads::ObjectPtr group, manager;
    if (ads::failed(OpenWithContext(groupDn, &group)) || ads::failed(OpenWithContext(managerDn, &manager)))
        return false;
    if (ads::failed(group->GetInfoEx({QStringLiteral("ntSecurityDescriptor")}))
        || ads::failed(manager->GetInfoEx({QStringLiteral("objectSid")})))
        return false;
    const auto sd = security::SecurityDescriptor::parse(firstBytes(group, QStringLiteral("ntSecurityDescriptor")));
    const auto sid = security::Sid::fromBytes(firstBytes(manager, QStringLiteral("objectSid")));
    if (!sd || !sid)
        return false;
    return CanUpdateMembership(*sd, *sid);
}

const QList<TPermissionRow> &PermissionRows()
{
    static const QList<TPermissionRow> rows{
        {QStringLiteral("Full Control"), 0xF01FF}, {QStringLiteral("Read"), 0x20000},
        {QStringLiteral("Write"), 0x40000},        {QStringLiteral("Read Property"), 0x10},
        {QStringLiteral("Write Property"), 0x20},  {QStringLiteral("Create child objects"), 0x1},
        {QStringLiteral("Delete child objects"), 0x2},
    };
    return rows;
}

quint32 PermissionMaskForRows(quint32 mask)
{
    if ((mask & 0xF01FF) == 0xF01FF)
        return mask;
    for (quint32 group : {0xF008Cu, 0xF0094u, 0xF00A4u, 0xF0184u})
        if ((mask & group) == group)
            return mask & ~group;
    return mask;
}

} // namespace groups
