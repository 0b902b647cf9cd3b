#pragma once
// Rights on a group: whether its manager may change its member list, read from the group's
// DACL (the "Manager can update membership list" box shows it; the program never writes it),
// and the permission rows of the "Securty" tab.
#include "platform/security/descriptor.h"
#include "platform/security/sid.h"

#include <QList>
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

// The seven permission rows and the bit groups shown for a trustee's allow or deny mask.
struct TPermissionRow {
    QString name;
    quint32 bits;
};
const QList<TPermissionRow> &PermissionRows();
// A mask as the rows read it: unless it holds all of 0xF01FF, the first of the groups
// 0xF008C, 0xF0094, 0xF00A4, 0xF0184 it holds completely is taken out. Every group holds
// 0xF0000, so once one is out no later one can match: taking out each group the mask still
// holds, in that order, gives the same rows.
quint32 PermissionMaskForRows(quint32 mask);

} // namespace groups
