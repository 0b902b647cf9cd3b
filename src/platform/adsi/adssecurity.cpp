#include "platform/adsi/adssecurity.h"

#include "platform/security/descriptor.h"

namespace ads {

namespace {

AccessControlList convertAcl(const security::Acl &acl)
{
    AccessControlList out;
    out.AclRevision = acl.revision;
    for (const security::Ace &a : acl.aces) {
        AccessControlEntry e;
        // Entries of types the parser keeps opaque have no trustee; they stay in the list
        // so that views can show them by their raw fields.
        e.Trustee = security::hasTrustee(a.type) && a.trustee.isValid() ? a.trustee.toString() : QString();
        e.AccessMask = a.mask;
        e.AceType = a.type;
        e.AceFlags = a.flags;
        e.Flags = int(a.objectFlags);
        e.ObjectType = a.objectTypeText();
        e.InheritedObjectType = a.inheritedObjectTypeText();
        out.entries.append(e);
    }
    return out;
}

} // namespace

std::optional<SecurityDescriptor> SecurityDescriptorFromBytes(const QByteArray &bytes, QString *error)
{
    const auto sd = security::SecurityDescriptor::parse(bytes, error);
    if (!sd)
        return std::nullopt;
    SecurityDescriptor out;
    out.Revision = sd->revision;
    out.Control = sd->control;
    out.Owner = sd->owner ? sd->owner->toString() : QString();
    out.Group = sd->group ? sd->group->toString() : QString();
    out.OwnerDefaulted = sd->control & security::SE_OWNER_DEFAULTED;
    out.GroupDefaulted = sd->control & security::SE_GROUP_DEFAULTED;
    out.HasDacl = sd->dacl.has_value();
    out.HasSacl = sd->sacl.has_value();
    if (sd->dacl)
        out.DiscretionaryAcl = convertAcl(*sd->dacl);
    if (sd->sacl)
        out.SystemAcl = convertAcl(*sd->sacl);
    return out;
}

HRESULT GetSecurityDescriptor(const ObjectPtr &object, const QString &attribute, SecurityDescriptor *out)
{
    if (!object || !out)
        return E_FAIL;
    HRESULT h = object->GetInfoEx({attribute});
    if (failed(h))
        return h;
    PropertyEntry entry;
    h = object->GetPropertyItem(attribute, &entry);
    if (failed(h))
        return h;
    if (entry.values.isEmpty())
        return E_ADS_PROPERTY_NOT_FOUND;
    const auto sd = SecurityDescriptorFromBytes(entry.values.first().toByteArray());
    if (!sd)
        return E_FAIL;
    *out = *sd;
    return S_OK;
}

} // namespace ads
