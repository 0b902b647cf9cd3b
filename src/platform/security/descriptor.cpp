#include "platform/security/descriptor.h"

#include "platform/security/guid.h"

#include <QStringList>
#include <algorithm>

namespace security {

namespace {

constexpr qsizetype kHeaderSize = 20;
constexpr qsizetype kAclHeaderSize = 8;
constexpr qsizetype kAceHeaderSize = 4;
constexpr int kMaxAces = 0xFFFF;

quint16 le16(const quint8 *p) { return quint16(p[0] | p[1] << 8); }
quint32 le32(const quint8 *p) { return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24; }
void put16(QByteArray &b, qsizetype at, quint16 v) { b[at] = char(v); b[at + 1] = char(v >> 8); }
void put32(QByteArray &b, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// Parses one ACE body (after its 4-byte header) of `size` bytes at p.
bool parseAceBody(const quint8 *p, qsizetype size, Ace &ace, QString *error)
{
    const char *c = reinterpret_cast<const char *>(p);
    if (!hasTrustee(ace.type)) {
        ace.trailing = QByteArray(c, size);
        return true;
    }
    qsizetype at = 0;
    if (size < 4)
        return fail(error, QStringLiteral("access control entry too short for its access mask"));
    ace.mask = le32(p);
    at = 4;
    if (isObjectAceType(ace.type)) {
        if (size - at < 4)
            return fail(error, QStringLiteral("object access control entry too short for its flags"));
        ace.objectFlags = le32(p + at);
        at += 4;
        if (ace.objectFlags & ACE_OBJECT_TYPE_PRESENT) {
            if (size - at < 16)
                return fail(error, QStringLiteral("object access control entry too short for its object type"));
            ace.objectType = QByteArray(c + at, 16);
            at += 16;
        }
        if (ace.objectFlags & ACE_INHERITED_OBJECT_TYPE_PRESENT) {
            if (size - at < 16)
                return fail(error, QStringLiteral("object access control entry too short for its inherited object type"));
            ace.inheritedObjectType = QByteArray(c + at, 16);
            at += 16;
        }
    }
    qsizetype used = 0;
    auto sid = Sid::fromBytes(c, size, at, &used);
    if (!sid)
        return fail(error, QStringLiteral("access control entry with a malformed trustee SID"));
    ace.trustee = *sid;
    at += used;
    ace.trailing = QByteArray(c + at, size - at);
    return true;
}

bool parseAcl(const QByteArray &bytes, quint32 offset, const char *which, Acl &acl, QString *error)
{
    const QString name = QString::fromLatin1(which);
    if (offset < kHeaderSize || qsizetype(offset) > bytes.size() - kAclHeaderSize)
        return fail(error, QStringLiteral("%1 offset %2 lies outside the descriptor").arg(name).arg(offset));
    const auto *p = reinterpret_cast<const quint8 *>(bytes.constData()) + offset;
    acl.revision = p[0];
    if (acl.revision != 2 && acl.revision != 4)
        return fail(error, QStringLiteral("%1 has the unknown revision %2").arg(name).arg(acl.revision));
    const quint16 aclSize = le16(p + 2);
    const quint16 count = le16(p + 4);
    if (aclSize < kAclHeaderSize || qsizetype(offset) + aclSize > bytes.size())
        return fail(error, QStringLiteral("%1 size %2 runs past the end of the descriptor").arg(name).arg(aclSize));
    qsizetype at = kAclHeaderSize;
    acl.aces.clear();
    acl.aces.reserve(std::min<int>(count, (aclSize - kAclHeaderSize) / kAceHeaderSize));
    for (int i = 0; i < count; ++i) {
        if (aclSize - at < kAceHeaderSize)
            return fail(error, QStringLiteral("%1 entry %2 lies outside the list").arg(name).arg(i));
        Ace ace;
        ace.type = p[at];
        ace.flags = p[at + 1];
        const quint16 aceSize = le16(p + at + 2);
        if (aceSize < kAceHeaderSize || aclSize - at < aceSize)
            return fail(error, QStringLiteral("%1 entry %2 has the impossible size %3").arg(name).arg(i).arg(aceSize));
        if (!parseAceBody(p + at + kAceHeaderSize, aceSize - kAceHeaderSize, ace, error)) {
            if (error)
                *error = QStringLiteral("%1 entry %2: %3").arg(name).arg(i).arg(*error);
            return false;
        }
        acl.aces.append(std::move(ace));
        at += aceSize;
    }
    return true;
}

void writeAcl(QByteArray &out, const Acl &acl)
{
    const qsizetype start = out.size();
    out.append(QByteArray(acl.byteSize(), '\0'));
    auto &b = out;
    b[start] = char(acl.revision);
    b[start + 1] = 0;
    put16(b, start + 2, quint16(acl.byteSize()));
    put16(b, start + 4, quint16(acl.aces.size()));
    put16(b, start + 6, 0);
    qsizetype at = start + kAclHeaderSize;
    for (const Ace &ace : acl.aces) {
        const int size = ace.byteSize();
        b[at] = char(ace.type);
        b[at + 1] = char(ace.flags);
        put16(b, at + 2, quint16(size));
        qsizetype w = at + kAceHeaderSize;
        auto append = [&](const QByteArray &x) {
            std::copy(x.begin(), x.end(), b.begin() + w);
            w += x.size();
        };
        if (hasTrustee(ace.type)) {
            put32(b, w, ace.mask);
            w += 4;
            if (isObjectAceType(ace.type)) {
                put32(b, w, ace.objectFlags);
                w += 4;
                if (ace.objectFlags & ACE_OBJECT_TYPE_PRESENT)
                    append(ace.objectType.leftJustified(16, '\0', true));
                if (ace.objectFlags & ACE_INHERITED_OBJECT_TYPE_PRESENT)
                    append(ace.inheritedObjectType.leftJustified(16, '\0', true));
            }
            append(ace.trustee.toBytes());
        }
        append(ace.trailing);
        // The rest up to the 4-byte boundary stays zero.
        at += size;
    }
}

} // namespace

bool isObjectAceType(quint8 t)
{
    switch (t) {
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE: case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_OBJECT_ACE_TYPE: case SYSTEM_ALARM_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_CALLBACK_OBJECT_ACE_TYPE: case SYSTEM_ALARM_CALLBACK_OBJECT_ACE_TYPE:
        return true;
    default:
        return false;
    }
}

bool hasTrustee(quint8 t) { return t <= SYSTEM_SCOPED_POLICY_ID_ACE_TYPE && t != ACCESS_ALLOWED_COMPOUND_ACE_TYPE; }

bool isDenyAceType(quint8 t)
{
    return t == ACCESS_DENIED_ACE_TYPE || t == ACCESS_DENIED_OBJECT_ACE_TYPE
        || t == ACCESS_DENIED_CALLBACK_ACE_TYPE || t == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

QString Ace::objectTypeText() const
{
    return (objectFlags & ACE_OBJECT_TYPE_PRESENT) ? guidToString(objectType) : QString();
}

QString Ace::inheritedObjectTypeText() const
{
    return (objectFlags & ACE_INHERITED_OBJECT_TYPE_PRESENT) ? guidToString(inheritedObjectType) : QString();
}

bool Ace::setObjectTypeText(const QString &guid)
{
    if (guid.isEmpty()) {
        objectFlags &= ~quint32(ACE_OBJECT_TYPE_PRESENT);
        objectType.clear();
        return true;
    }
    const QByteArray bytes = guidFromString(guid);
    if (bytes.size() != 16)
        return false;
    objectType = bytes;
    objectFlags |= ACE_OBJECT_TYPE_PRESENT;
    return true;
}

int Ace::byteSize() const
{
    int size = int(kAceHeaderSize);
    if (hasTrustee(type)) {
        size += 4 + trustee.byteSize();
        if (isObjectAceType(type)) {
            size += 4;
            if (objectFlags & ACE_OBJECT_TYPE_PRESENT)
                size += 16;
            if (objectFlags & ACE_INHERITED_OBJECT_TYPE_PRESENT)
                size += 16;
        }
    }
    size += int(trailing.size());
    return (size + 3) & ~3;
}

int Acl::byteSize() const
{
    int size = int(kAclHeaderSize);
    for (const Ace &a : aces)
        size += a.byteSize();
    return size;
}

std::optional<SecurityDescriptor> SecurityDescriptor::parse(const QByteArray &bytes, QString *error)
{
    if (bytes.size() < kHeaderSize) {
        fail(error, QStringLiteral("security descriptor too short (%1 bytes)").arg(bytes.size()));
        return std::nullopt;
    }
    const auto *p = reinterpret_cast<const quint8 *>(bytes.constData());
    SecurityDescriptor sd;
    sd.revision = p[0];
    sd.sbz1 = p[1];
    sd.control = le16(p + 2);
    if (sd.revision != 1) {
        fail(error, QStringLiteral("security descriptor has the unknown revision %1").arg(sd.revision));
        return std::nullopt;
    }
    if (!(sd.control & SE_SELF_RELATIVE)) {
        fail(error, QStringLiteral("security descriptor is not in self-relative form"));
        return std::nullopt;
    }
    const quint32 ownerAt = le32(p + 4), groupAt = le32(p + 8), saclAt = le32(p + 12), daclAt = le32(p + 16);
    auto readSid = [&](quint32 at, const char *which, std::optional<Sid> &out) {
        if (at == 0)
            return true;
        qsizetype used = 0;
        if (at < kHeaderSize || qsizetype(at) >= bytes.size()
            || !(out = Sid::fromBytes(bytes.constData(), bytes.size(), at, &used)))
            return fail(error, QStringLiteral("%1 SID at offset %2 is malformed or outside the descriptor")
                                   .arg(QLatin1String(which)).arg(at));
        return true;
    };
    if (!readSid(ownerAt, "owner", sd.owner) || !readSid(groupAt, "group", sd.group))
        return std::nullopt;
    if ((sd.control & SE_SACL_PRESENT) && saclAt != 0) {
        Acl acl;
        if (!parseAcl(bytes, saclAt, "SACL", acl, error))
            return std::nullopt;
        sd.sacl = std::move(acl);
    }
    if ((sd.control & SE_DACL_PRESENT) && daclAt != 0) {
        Acl acl;
        if (!parseAcl(bytes, daclAt, "DACL", acl, error))
            return std::nullopt;
        sd.dacl = std::move(acl);
    }
    return sd;
}

QByteArray SecurityDescriptor::toBytes() const
{
    if ((sacl && sacl->byteSize() > 0xFFFF) || (dacl && dacl->byteSize() > 0xFFFF))
        return {};
    QByteArray out(kHeaderSize, '\0');
    out[0] = char(revision);
    out[1] = char(sbz1);
    quint16 ctl = control | SE_SELF_RELATIVE;
    ctl = sacl ? (ctl | SE_SACL_PRESENT) : (ctl & ~SE_SACL_PRESENT);
    ctl = dacl ? (ctl | SE_DACL_PRESENT) : (ctl & ~SE_DACL_PRESENT);
    put16(out, 2, ctl);
    if (sacl) {
        put32(out, 12, quint32(out.size()));
        writeAcl(out, *sacl);
    }
    if (dacl) {
        put32(out, 16, quint32(out.size()));
        writeAcl(out, *dacl);
    }
    if (owner) {
        put32(out, 4, quint32(out.size()));
        out += owner->toBytes();
    }
    if (group) {
        put32(out, 8, quint32(out.size()));
        out += group->toBytes();
    }
    return out;
}

bool SecurityDescriptor::canonicalizeDacl()
{
    if (!dacl)
        return false;
    auto rank = [](const Ace &a) { return a.isInherited() ? 2 : (isDenyAceType(a.type) ? 0 : 1); };
    QList<Ace> sorted = dacl->aces;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const Ace &a, const Ace &b) { return rank(a) < rank(b); });
    if (sorted == dacl->aces)
        return false;
    dacl->aces = sorted;
    return true;
}

bool SecurityDescriptor::daclIsCanonical() const
{
    SecurityDescriptor copy = *this;
    return !copy.canonicalizeDacl();
}

int SecurityDescriptor::findObjectAce(const QString &objectTypeGuid, const Sid &trustee) const
{
    if (!dacl)
        return -1;
    for (int i = 0; i < dacl->aces.size(); ++i) {
        const Ace &a = dacl->aces[i];
        if (isObjectAceType(a.type) && a.trustee == trustee
            && a.objectTypeText().compare(objectTypeGuid, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

Ace makeObjectAce(quint8 type, const Sid &trustee, quint32 mask, const QString &objectTypeGuid)
{
    Ace ace;
    ace.type = type;
    ace.flags = 0;
    ace.mask = mask;
    ace.trustee = trustee;
    ace.setObjectTypeText(objectTypeGuid);
    return ace;
}

QString aceTypeName(quint8 type)
{
    switch (type) {
    case ACCESS_ALLOWED_ACE_TYPE: return QStringLiteral("Allow");
    case ACCESS_DENIED_ACE_TYPE: return QStringLiteral("Deny");
    case SYSTEM_AUDIT_ACE_TYPE: return QStringLiteral("Audit");
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE: return QStringLiteral("Allow (object)");
    case ACCESS_DENIED_OBJECT_ACE_TYPE: return QStringLiteral("Deny (object)");
    case SYSTEM_AUDIT_OBJECT_ACE_TYPE: return QStringLiteral("Audit (object)");
    default: return QStringLiteral("Type %1").arg(type);
    }
}

QString accessMaskText(quint32 mask)
{
    static const struct { quint32 bit; const char *name; } names[] = {
        {ADS_RIGHT_GENERIC_ALL, "Generic all"},
        {ADS_RIGHT_DS_CREATE_CHILD, "Create child"},
        {ADS_RIGHT_DS_DELETE_CHILD, "Delete child"},
        {ADS_RIGHT_ACTRL_DS_LIST, "List contents"},
        {ADS_RIGHT_DS_SELF, "Validated write"},
        {ADS_RIGHT_DS_READ_PROP, "Read property"},
        {ADS_RIGHT_DS_WRITE_PROP, "Write property"},
        {ADS_RIGHT_DS_DELETE_TREE, "Delete tree"},
        {ADS_RIGHT_DS_LIST_OBJECT, "List object"},
        {ADS_RIGHT_DS_CONTROL_ACCESS, "Control access"},
        {ADS_RIGHT_DELETE, "Delete"},
        {ADS_RIGHT_READ_CONTROL, "Read permissions"},
        {ADS_RIGHT_WRITE_DAC, "Modify permissions"},
        {ADS_RIGHT_WRITE_OWNER, "Modify owner"},
    };
    QStringList parts;
    quint32 rest = mask;
    // What the directory stores for "full control": every standard and directory right.
    constexpr quint32 kFullControl = 0xF01FF;
    if ((mask & kFullControl) == kFullControl) {
        parts << QStringLiteral("Full control");
        rest &= ~kFullControl;
    }
    for (const auto &n : names) {
        if (!(rest & n.bit))
            continue;
        parts << QString::fromLatin1(n.name);
        rest &= ~n.bit;
    }
    if (rest)
        parts << QStringLiteral("0x%1").arg(rest, 0, 16);
    return parts.isEmpty() ? QStringLiteral("None") : parts.join(QLatin1String(", "));
}

} // namespace security
