#pragma once
// Security descriptors in the self-relative binary form the directory stores in
// ntSecurityDescriptor: parse, edit, write back.
//
// Parsing never reads outside the given bytes: malformed input gives an error text, never a
// crash. Entries of types this code does not interpret keep their bytes and are written
// back unchanged.
#include "platform/security/sid.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace security {

// ACE types.
enum AceType : quint8 {
    ACCESS_ALLOWED_ACE_TYPE = 0x0,
    ACCESS_DENIED_ACE_TYPE = 0x1,
    SYSTEM_AUDIT_ACE_TYPE = 0x2,
    SYSTEM_ALARM_ACE_TYPE = 0x3,
    ACCESS_ALLOWED_COMPOUND_ACE_TYPE = 0x4,
    ACCESS_ALLOWED_OBJECT_ACE_TYPE = 0x5,
    ACCESS_DENIED_OBJECT_ACE_TYPE = 0x6,
    SYSTEM_AUDIT_OBJECT_ACE_TYPE = 0x7,
    SYSTEM_ALARM_OBJECT_ACE_TYPE = 0x8,
    ACCESS_ALLOWED_CALLBACK_ACE_TYPE = 0x9,
    ACCESS_DENIED_CALLBACK_ACE_TYPE = 0xA,
    ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE = 0xB,
    ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE = 0xC,
    SYSTEM_AUDIT_CALLBACK_ACE_TYPE = 0xD,
    SYSTEM_ALARM_CALLBACK_ACE_TYPE = 0xE,
    SYSTEM_AUDIT_CALLBACK_OBJECT_ACE_TYPE = 0xF,
    SYSTEM_ALARM_CALLBACK_OBJECT_ACE_TYPE = 0x10,
    SYSTEM_MANDATORY_LABEL_ACE_TYPE = 0x11,
    SYSTEM_RESOURCE_ATTRIBUTE_ACE_TYPE = 0x12,
    SYSTEM_SCOPED_POLICY_ID_ACE_TYPE = 0x13,
};

// ACE flags.
enum AceFlag : quint8 {
    OBJECT_INHERIT_ACE = 0x01,
    CONTAINER_INHERIT_ACE = 0x02,
    NO_PROPAGATE_INHERIT_ACE = 0x04,
    INHERIT_ONLY_ACE = 0x08,
    INHERITED_ACE = 0x10,
    SUCCESSFUL_ACCESS_ACE_FLAG = 0x40,
    FAILED_ACCESS_ACE_FLAG = 0x80,
};

// Object ACE flags: which of the two GUIDs are present.
enum ObjectAceFlag : quint32 {
    ACE_OBJECT_TYPE_PRESENT = 0x1,
    ACE_INHERITED_OBJECT_TYPE_PRESENT = 0x2,
};

// Directory access rights (ADS_RIGHTS_ENUM) used by the program.
enum AccessRight : quint32 {
    ADS_RIGHT_DS_CREATE_CHILD = 0x1,
    ADS_RIGHT_DS_DELETE_CHILD = 0x2,
    ADS_RIGHT_ACTRL_DS_LIST = 0x4,
    ADS_RIGHT_DS_SELF = 0x8,
    ADS_RIGHT_DS_READ_PROP = 0x10,
    ADS_RIGHT_DS_WRITE_PROP = 0x20,
    ADS_RIGHT_DS_DELETE_TREE = 0x40,
    ADS_RIGHT_DS_LIST_OBJECT = 0x80,
    ADS_RIGHT_DS_CONTROL_ACCESS = 0x100,
    ADS_RIGHT_DELETE = 0x10000,
    ADS_RIGHT_READ_CONTROL = 0x20000,
    ADS_RIGHT_WRITE_DAC = 0x40000,
    ADS_RIGHT_WRITE_OWNER = 0x80000,
    ADS_RIGHT_GENERIC_ALL = 0x10000000,
};

// Security descriptor control bits.
enum ControlFlag : quint16 {
    SE_OWNER_DEFAULTED = 0x0001,
    SE_GROUP_DEFAULTED = 0x0002,
    SE_DACL_PRESENT = 0x0004,
    SE_DACL_DEFAULTED = 0x0008,
    SE_SACL_PRESENT = 0x0010,
    SE_SACL_DEFAULTED = 0x0020,
    SE_DACL_AUTO_INHERITED = 0x0400,
    SE_SACL_AUTO_INHERITED = 0x0800,
    SE_DACL_PROTECTED = 0x1000,
    SE_SACL_PROTECTED = 0x2000,
    SE_SELF_RELATIVE = 0x8000,
};

// True for the object ACE types (they carry flags and up to two GUIDs before the SID).
bool isObjectAceType(quint8 type);
// True for the types with an access mask and a trustee SID (all but compound and unknown).
bool hasTrustee(quint8 type);
// True for access-denied types.
bool isDenyAceType(quint8 type);

struct Ace {
    quint8 type = ACCESS_ALLOWED_ACE_TYPE;
    quint8 flags = 0;
    quint32 mask = 0;
    quint32 objectFlags = 0;       // object types only
    QByteArray objectType;         // 16 stored GUID bytes when ACE_OBJECT_TYPE_PRESENT
    QByteArray inheritedObjectType;// 16 stored GUID bytes when ACE_INHERITED_OBJECT_TYPE_PRESENT
    Sid trustee;
    QByteArray trailing;           // bytes after the SID (callback data, padding) or, for
                                   // types not interpreted, the whole body after the header

    bool isInherited() const { return flags & INHERITED_ACE; }
    // objectType as GUID text "{...}" (upper case), empty when absent.
    QString objectTypeText() const;
    QString inheritedObjectTypeText() const;
    // Sets or clears the object type (and the matching object flag) from GUID text.
    bool setObjectTypeText(const QString &guid);
    int byteSize() const;
    friend bool operator==(const Ace &a, const Ace &b)
    {
        return a.type == b.type && a.flags == b.flags && a.mask == b.mask && a.objectFlags == b.objectFlags
            && a.objectType == b.objectType && a.inheritedObjectType == b.inheritedObjectType
            && a.trustee == b.trustee && a.trailing == b.trailing;
    }
};

struct Acl {
    quint8 revision = 4; // 2 without object ACEs, 4 (ACL_REVISION_DS) with them
    QList<Ace> aces;
    int byteSize() const;
    friend bool operator==(const Acl &a, const Acl &b) { return a.revision == b.revision && a.aces == b.aces; }
};

class SecurityDescriptor {
public:
    // Parses self-relative bytes; on failure returns empty and sets *error to what is wrong.
    static std::optional<SecurityDescriptor> parse(const QByteArray &bytes, QString *error = nullptr);
    // The self-relative bytes: header, SACL, DACL, owner, group. Empty when an ACL has grown
    // beyond the 64 KB its size field can describe (nothing half-written is ever returned).
    QByteArray toBytes() const;

    quint8 revision = 1;
    quint8 sbz1 = 0;
    quint16 control = SE_SELF_RELATIVE;
    std::optional<Sid> owner;
    std::optional<Sid> group;
    std::optional<Acl> sacl;
    std::optional<Acl> dacl;

    // Puts the DACL into canonical order: explicit access-denied entries, then the other
    // explicit entries, then the inherited entries, each group keeping its own order.
    // Returns true when the order changed.
    bool canonicalizeDacl();
    // True when the DACL is in canonical order.
    bool daclIsCanonical() const;
    // The index of the first DACL entry with this object type (GUID text, case ignored) and
    // trustee, or -1.
    int findObjectAce(const QString &objectTypeGuid, const Sid &trustee) const;

    friend bool operator==(const SecurityDescriptor &a, const SecurityDescriptor &b)
    {
        return a.revision == b.revision && a.control == b.control && a.owner == b.owner
            && a.group == b.group && a.sacl == b.sacl && a.dacl == b.dacl;
    }
};

// An object ACE of the given type for one right on one trustee (flags 0, object type set).
Ace makeObjectAce(quint8 type, const Sid &trustee, quint32 mask, const QString &objectTypeGuid);

// Names of ACE types and a readable access mask ("Read property, Write property, ...").
QString aceTypeName(quint8 type);
QString accessMaskText(quint32 mask);

} // namespace security
