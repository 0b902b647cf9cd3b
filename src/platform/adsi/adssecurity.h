#pragma once
// The ADSI security objects (IADsSecurityDescriptor, IADsAccessControlList,
// IADsAccessControlEntry) as plain values over the descriptor parser of platform/security.
//
// Trustees are given as SID text ("S-1-5-21-...-1105"); naming them is the caller's choice
// (account lookups need a connection this layer does not have). Object type GUIDs are
// braced upper-case GUID text, empty when the entry carries none.
//
//   ads::SecurityDescriptor sd;
//   if (ads::succeeded(ads::GetSecurityDescriptor(user, "ntSecurityDescriptor", &sd)))
//       for (const ads::AccessControlEntry &e : sd.DiscretionaryAcl.entries) ...
#include "platform/adsi/adsobject.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace ads {

struct AccessControlEntry {
    QString Trustee;
    quint32 AccessMask = 0;
    int AceType = 0;
    int AceFlags = 0;
    int Flags = 0;              // which object GUIDs are present (object entry types only)
    QString ObjectType;
    QString InheritedObjectType;
};

struct AccessControlList {
    int AclRevision = 0;
    QList<AccessControlEntry> entries;
    int AceCount() const { return int(entries.size()); }
};

struct SecurityDescriptor {
    int Revision = 0;
    quint32 Control = 0;
    QString Owner;              // SID text, empty when the descriptor has none
    QString Group;
    bool OwnerDefaulted = false;
    bool GroupDefaulted = false;
    bool HasDacl = false;
    bool HasSacl = false;
    AccessControlList DiscretionaryAcl;
    AccessControlList SystemAcl;
};

// The descriptor of self-relative bytes; empty (and *error set) when they do not parse.
std::optional<SecurityDescriptor> SecurityDescriptorFromBytes(const QByteArray &bytes, QString *error = nullptr);

// Reads attribute (ntSecurityDescriptor, msExchMailboxSecurityDescriptor) from the directory
// into the object's cache and converts it. The directory's status when it cannot be read,
// E_ADS_PROPERTY_NOT_FOUND when the attribute is absent or not visible, E_FAIL when its
// bytes are not a descriptor.
HRESULT GetSecurityDescriptor(const ObjectPtr &object, const QString &attribute, SecurityDescriptor *out);

} // namespace ads
