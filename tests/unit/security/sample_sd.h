#pragma once
// A descriptor shaped like the ones the directory keeps on a user: owner, group, a DACL with
// plain and object entries (explicit and inherited) and a SACL.
#include "platform/security/descriptor.h"

inline security::SecurityDescriptor sampleDescriptor()
{
    using namespace security;
    const Sid domain(5, {21, 4294967295u, 2147483648u, 3000000000u});
    auto account = [&](quint32 rid) {
        QList<quint32> sub = domain.subAuthorities();
        sub << rid;
        return Sid(5, sub);
    };
    SecurityDescriptor sd;
    sd.control = SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_SACL_PRESENT | SE_DACL_AUTO_INHERITED;
    sd.owner = account(512);
    sd.group = account(513);
    Acl dacl;
    Ace fullAdmins;
    fullAdmins.type = ACCESS_ALLOWED_ACE_TYPE;
    fullAdmins.mask = 0xF01FF;
    fullAdmins.trustee = account(512);
    dacl.aces << fullAdmins;
    dacl.aces << makeObjectAce(ACCESS_ALLOWED_OBJECT_ACE_TYPE, selfSid(), ADS_RIGHT_DS_CONTROL_ACCESS,
                               QStringLiteral("{AB721A53-1E2F-11D0-9819-00AA0040529B}"));
    Ace inheritedRead = makeObjectAce(ACCESS_ALLOWED_OBJECT_ACE_TYPE, authenticatedUsersSid(), ADS_RIGHT_DS_READ_PROP,
                                      QStringLiteral("{4C164200-20C0-11D0-A768-00AA006E0529}"));
    inheritedRead.flags = CONTAINER_INHERIT_ACE | INHERITED_ACE;
    inheritedRead.inheritedObjectType = QByteArray::fromHex("14cc28483714bc459b07ad6f015e5f28");
    inheritedRead.objectFlags |= ACE_INHERITED_OBJECT_TYPE_PRESENT;
    dacl.aces << inheritedRead;
    Ace inheritedDeny;
    inheritedDeny.type = ACCESS_DENIED_ACE_TYPE;
    inheritedDeny.flags = INHERITED_ACE;
    inheritedDeny.mask = ADS_RIGHT_DELETE;
    inheritedDeny.trustee = everyoneSid();
    dacl.aces << inheritedDeny;
    sd.dacl = dacl;
    Acl sacl;
    Ace audit;
    audit.type = SYSTEM_AUDIT_ACE_TYPE;
    audit.flags = FAILED_ACCESS_ACE_FLAG;
    audit.mask = ADS_RIGHT_WRITE_DAC;
    audit.trustee = everyoneSid();
    sacl.revision = 2;
    sacl.aces << audit;
    sd.sacl = sacl;
    return sd;
}
