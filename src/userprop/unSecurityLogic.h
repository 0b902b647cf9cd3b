#pragma once
// What the security views show of access-control entries: the trustee name rule, the
// per-trustee summary with its extended rights, and the texts of the advanced view.
// No windows and no directory here (account lookups are passed in).
#include "platform/adsi/adssecurity.h"

#include <QList>
#include <QString>
#include <functional>

namespace userprop {

// Names a SID ("DOMAIN\name" or "name"); empty when the account is not known.
using SidLookup = std::function<QString(const QString &sidText)>;
// The lookup of the connected domain (the well-known table first).
QString LookupTrusteeName(const QString &sidText);

// The trustee as the views show it: a SID text is named by lookup (kept as SID text when the
// lookup fails); "NT AUTHORITY\" and "BUILTIN\" are dropped; "DOMAIN\name" becomes
// "name (DOMAIN\name)".
QString TrusteeDisplayText(const QString &trustee, const SidLookup &lookup);

// Extended-rights bits of a summary side.
enum ExtendedRightBit : quint32 {
    ExtAllowedToAuthenticate = 1,
    ExtReceiveAs = 2,
    ExtSendAs = 4,
    ExtChangePassword = 8,
    ExtResetPassword = 16,
};
// The bit of an object type GUID (braces and case as they come); 0 when it has none.
quint32 ExtendedRightBitOf(const QString &guid);

struct TrusteeSummary {
    QString trustee;       // as the entries hold it
    QString caption;       // by the display rule (set by the caller)
    quint32 allow = 0, deny = 0;
    quint32 allowExtended = 0, denyExtended = 0;
};

// One row per distinct trustee of the entries, in order of first appearance. Allowed types
// (0, 5) add to the allow side, denied types (1, 6) to the deny side, audit and alarm types
// (2 to 4) only create the row, types 7 and above are passed over.
QList<TrusteeSummary> SummarizeTrustees(const QList<ads::AccessControlEntry> &entries);

struct RightRow {
    const char *caption;
    quint32 bits;
    bool extended;  // bits of the extended-rights set instead of the mask
};
// The eleven rows of the Security tab and the seven of the mailbox rights.
const QList<RightRow> &SecurityRightRows();
const QList<RightRow> &MailboxRightRows();
// Whether a side holds a row's right.
bool SideHasRight(const RightRow &row, quint32 mask, quint32 extended);

// Texts of the advanced view.
QString AceTypeCaption(int aceType);                  // "Allowed", "Denied", "Audit", or empty
QString AuditTypeCaption(int aceFlags);               // "Success", "Fail", "All", or empty
QString PermissionText(quint32 mask, bool mailbox);
QString InheritedCaption(int aceFlags);               // "Inherited" / "<not inherited>"
// "This object only", "<name> object" or "This object and all child objects".
QString ApplyToCaption(int aceFlags, const QString &inheritedObjectTypeName);
// "0x" + 8 upper-case hexadecimal digits.
QString Hex8(quint32 value);

} // namespace userprop
