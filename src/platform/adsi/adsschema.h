#pragma once
// The schema syntax map: attribute name -> ADSI type and single/multi-valued, read once per
// server from the directory's schema (attributeSchema objects: lDAPDisplayName,
// attributeSyntax, oMSyntax, isSingleValued, searchFlags) and shared read-only between threads.
#include "platform/adsi/adstypes.h"

#include <QHash>
#include <QString>
#include <memory>

namespace ads {

struct AttributeInfo {
    AdsType type = ADSTYPE_CASE_IGNORE_STRING;
    bool singleValued = false;
    bool known = false;   // false: the attribute is not in the schema (RootDSE, unknown)
    bool confidential = false;  // searchFlags bit 0x80: readable only with extra rights
};

class SchemaMap {
public:
    // ADSI type for an Active Directory attribute syntax:
    //   2.5.5.1 DN -> 1; 2.5.5.2 OID -> 3; 2.5.5.3 case-exact -> 2; 2.5.5.4 teletex -> 3;
    //   2.5.5.5 printable/IA5 -> 4; 2.5.5.6 numeric -> 5; 2.5.5.7 DN-binary -> 27
    //   (oMSyntax 127 OR-name: 1); 2.5.5.8 boolean -> 6; 2.5.5.9 integer/enum -> 7;
    //   2.5.5.10 octets -> 8; 2.5.5.11 time -> 9; 2.5.5.12 Unicode -> 3;
    //   2.5.5.13 presentation address -> 3; 2.5.5.14 DN-string -> 28 (access point: 3);
    //   2.5.5.15 security descriptor -> 25; 2.5.5.16 large integer -> 10; 2.5.5.17 SID -> 8.
    //   Anything else -> 3.
    static AdsType typeForSyntax(const QString &attributeSyntax, int omSyntax);

    void add(const QString &name, AttributeInfo info);
    // Info for an attribute name (case-insensitive; options such as ";range=0-1499" or
    // ";binary" are ignored). Unknown names give {3, false, known=false}; a few well-known
    // names outside the schema (RootDSE's, objectGUID-like octets) are typed sensibly.
    AttributeInfo lookup(const QString &name) const;
    int size() const { return static_cast<int>(m_map.size()); }
    // Every attribute by lower-case name.
    const QHash<QString, AttributeInfo> &entries() const { return m_map; }

private:
    QHash<QString, AttributeInfo> m_map;  // key: lower-case name
};

} // namespace ads
