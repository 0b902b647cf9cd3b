// A readable summary of a security descriptor: trustees by name, rights in words.
#include "core/unValues.h"

QString GuidDisplayName(const QString &guidText)
{
    if (guidText.isEmpty())
        return {};
    QString name = ExtendedRightName(guidText);
    if (name.isEmpty())
        name = SchemaGuidName(guidText);
    return name.isEmpty() ? guidText : name;
}

TSecuritySummary SummarizeSecurityDescriptor(const security::SecurityDescriptor &sd)
{
    QHash<QString, QString> names; // SID text -> account name, looked up once each
    auto nameOf = [&](const security::Sid &sid) {
        const QString text = sid.toString();
        auto it = names.constFind(text);
        if (it == names.constEnd()) {
            const QString found = LookupAccountSid(sid);
            it = names.insert(text, found.isEmpty() ? text : found);
        }
        return *it;
    };
    TSecuritySummary s;
    if (sd.owner) {
        s.OwnerSid = sd.owner->toString();
        s.Owner = nameOf(*sd.owner);
    }
    if (sd.group) {
        s.GroupSid = sd.group->toString();
        s.Group = nameOf(*sd.group);
    }
    s.HasDacl = sd.dacl.has_value();
    s.DaclCanonical = sd.daclIsCanonical();
    if (sd.dacl) {
        for (const security::Ace &ace : sd.dacl->aces) {
            TAceSummary a;
            a.Type = security::aceTypeName(ace.type);
            a.Inherited = ace.isInherited();
            if (security::hasTrustee(ace.type)) {
                a.TrusteeSid = ace.trustee.toString();
                a.Trustee = nameOf(ace.trustee);
                a.Rights = security::accessMaskText(ace.mask);
                a.ObjectType = GuidDisplayName(ace.objectTypeText());
                a.InheritedObjectType = GuidDisplayName(ace.inheritedObjectTypeText());
            }
            s.Dacl.append(a);
        }
    }
    s.CannotChangePassword = GetCannotChangePassword(sd);
    return s;
}
