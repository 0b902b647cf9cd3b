#pragma once
// Whether a group's manager may change its member list, read from the group's DACL (the
// "Manager can update membership list" box shows it; the program never writes it).
#include "platform/security/descriptor.h"
#include "platform/security/sid.h"

#include <QString>

namespace groups {

// The schemaIDGUID of the "member" attribute.
inline const QString kMemberAttributeGuid = QStringLiteral("{BF9679C0-0DE6-11D0-A285-00AA003049E2}");

// True when the DACL lets trustee write "member": the first entry for the trustee that
// grants or denies writing properties (all properties, or "member" by object type) decides,
// in the order the entries stand (denials stand first in a canonical DACL).
bool CanUpdateMembership(const security::SecurityDescriptor &sd, const security::Sid &trustee);

// Reads the group's ntSecurityDescriptor and the manager's objectSid; false when either
// cannot be read.
bool ManagerCanUpdateMembership(const QString &groupDn, const QString &managerDn);

} // namespace groups
