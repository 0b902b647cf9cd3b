#pragma once
// ADsPath text: "LDAP://" [server[:port] "/"] distinguished-name, and "LDAP://RootDSE" /
// "LDAP://server[:port]/RootDSE". A "/" inside the distinguished name is written "\/" in
// the path; every other escape of the DN (\, \+ \" \\ \xx ...) is kept as it stands, so a
// DN survives parse and compose unchanged.
#include <QString>
#include <QStringList>

namespace ads {

struct AdsPath {
    QString server;   // host name or address; empty = the default server
    int port = 0;     // 0 = the default port for the bind flags
    QString dn;       // the LDAP distinguished name (path escapes removed); empty for RootDSE
                      // and for a path that names a server only
    bool rootDse = false;

    // Parses text; false when it is not an LDAP ADsPath ("LDAP:" prefix, compared without
    // regard to case, "LDAP:" alone is accepted as the namespace root and gives an empty dn).
    static bool parse(const QString &text, AdsPath *out);
    // The path text: "LDAP://" + server[:port] "/" (when a server is set) + dn with "/"
    // escaped, or "RootDSE".
    QString toString() const;
    // "LDAP://" + server[:port] + "/" or "LDAP://" when no server: the prefix the program
    // puts before distinguished names.
    QString prefix() const;
};

// Escapes "/" as "\/" for use inside an ADsPath (DN escapes untouched).
QString escapePathDn(const QString &dn);
// Undoes escapePathDn: "\/" becomes "/"; every other escape is kept.
QString unescapePathDn(const QString &pathDn);

// Escapes an attribute value for use in an RDN (RFC 4514: , + " \ < > ; = leading # or
// blank, trailing blank, NUL as \00).
QString escapeRdnValue(const QString &value);
// Removes RFC 4514 escapes (\, and \xx hex pairs, UTF-8 aware) from an RDN value.
QString unescapeRdnValue(const QString &value);
// Splits a DN into its RDNs at unescaped commas (escapes kept in each part; blanks around
// the separators trimmed).
QStringList splitDn(const QString &dn);
// The first RDN of dn ("CN=x") and the rest ("OU=y,DC=z"); both empty for an empty dn.
QString firstRdn(const QString &dn);
QString parentDn(const QString &dn);

} // namespace ads
