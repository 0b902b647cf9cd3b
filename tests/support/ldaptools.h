#pragma once
// Reading and writing the test domain with the directory's own command-line tools
// (ldapsearch, ldapmodify), independent of the program's code. Passwords go to the tools
// through an owner-only temporary file (-y), never through the command line.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace testsupport {

// Who binds: the administrator, the delegated account, or an explicit bind name + password.
struct Account {
    QString bindName;
    QByteArray password;
    static Account admin();
    static Account delegate();
};

// One entry of an LDIF answer. Attribute names are kept as the server sent them, looked up
// without regard to case; values are decoded (base64 values come back as raw bytes).
struct LdifEntry {
    QString dn;
    QList<QPair<QString, QByteArray>> attributes;

    QList<QByteArray> values(const QString &name) const;
    QString text(const QString &name) const; // the first value as UTF-8, empty when absent
    // Name of the first attribute whose name starts with prefix (for "member;range=...").
    QString attributeStartingWith(const QString &prefix) const;
};

struct ToolResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to completion (timeoutMs at most, then it is killed); stdinData is written to
// its standard input.
ToolResult runTool(const QString &program, const QStringList &args, const QByteArray &stdinData = {},
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                   int timeoutMs = 60000);

// The environment for the tools: the domain's CA (verification demanded) and krb5.conf.
QProcessEnvironment toolEnvironment();

QList<LdifEntry> parseLdif(const QByteArray &ldif);

// ldapsearch -LLL with a simple bind over ldap://ADDR (or uri when given); exitCode of the tool
// in *exitCode when wanted. extraArgs go before the filter (e.g. {"-s", "base"}).
QList<LdifEntry> ldapSearch(const QString &base, const QString &filter, const QStringList &attrs,
                            const Account &who = Account::admin(), const QStringList &extraArgs = {},
                            int *exitCode = nullptr);

// Number of entries below base that match filter (dn only).
int ldapCount(const QString &base, const QString &filter);

// ldapmodify with the given LDIF on standard input; returns the tool's exit code, which is the
// LDAP result code of the first failing change (50 insufficient access, 0 success).
ToolResult ldapModify(const QByteArray &ldif, const Account &who = Account::admin());

// Of attributes, those the schema lets hold several values, each stored on dn now with the
// two values "<attr> one" and "<attr> two". One the directory keeps to a single value on this
// object all the same (description of a security principal) is left out.
QStringList storeTwoValuesOfEach(const QString &dn, const QStringList &attributes);
// The values of attribute on dn, sorted.
QStringList sortedValues(const QString &dn, const QString &attribute);

// One access-control entry as Samba's own NDR code decodes it.
struct DecodedAce {
    int type = 0;
    quint32 mask = 0;
    QString sid;
    QString objectType;  // upper-case GUID text without braces, empty when absent
};
// The DACL (or SACL) entries of self-relative descriptor bytes, decoded by Samba's Python
// bindings: an independent reading to compare our parser and views with.
QList<DecodedAce> decodeAclWithSamba(const QByteArray &descriptor, bool sacl = false);

} // namespace testsupport
