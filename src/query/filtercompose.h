#pragma once
// Composing LDAP search filters (RFC 4515). Every filter the program builds goes through
// these functions, so that each one is valid for the server: values are escaped, a negation
// is "(!(a=v))", and a term is never wrapped in a second pair of parentheses.
//
// A "term" here is always one complete filter in its own parentheses: "(cn=x)", "(&(a=1)(b=2))".
// Functions that take terms accept either form of input (with or without the outer
// parentheses) and never double them.
#include <QString>
#include <QStringList>

namespace query {

// "(attr=value)" with the value escaped; a value is taken literally, '*' included.
QString equals(const QString &attr, const QString &value);
// "(attr=value)" with the value already escaped or holding wildcards on purpose (for
// example a value from EscapeFilterBytes). Use only with values the program made.
QString equalsRaw(const QString &attr, const QString &rawValue);
// "(attr=*)".
QString present(const QString &attr);
// Substring matches, the value escaped: "(attr=value*)", "(attr=*value)", "(attr=*value*)".
QString startsWith(const QString &attr, const QString &value);
QString endsWith(const QString &attr, const QString &value);
QString contains(const QString &attr, const QString &value);
// "(attr>=value)" and "(attr<=value)", the value escaped.
QString greaterOrEqual(const QString &attr, const QString &value);
QString lessOrEqual(const QString &attr, const QString &value);
// "(attr:1.2.840.113556.1.4.803:=bits)": any of the bits set needs the OR rule, all of them
// the AND rule.
QString bitsAllSet(const QString &attr, quint32 bits);
QString bitsAnySet(const QString &attr, quint32 bits);

// "(!term)". An empty term gives an empty result.
QString notOf(const QString &term);
// "(&t1t2...)" and "(|t1t2...)"; empty terms are left out; one remaining term is returned
// alone (no operator around it); none gives an empty string.
QString andOf(const QStringList &terms);
QString orOf(const QStringList &terms);

// A term in exactly one pair of parentheses: "cn=x" -> "(cn=x)", "((cn=x))" -> "(cn=x)",
// "(cn=x)" unchanged; a bare list such as "(a=1)(b=2)" is returned as "(&(a=1)(b=2))".
QString asTerm(const QString &filterOrFragment);

// Index of the parenthesis that closes the one at `open` in s, or -1 when it is never closed.
// A backslash and the character after it are skipped, so an escaped parenthesis never counts.
qsizetype closingParenthesis(const QString &s, qsizetype open);

// True when text is one valid RFC 4515 filter (after asTerm of a fragment the program was
// handed). On false, *error (when given) says where the filter went wrong.
bool isValidFilter(const QString &filter, QString *error = nullptr);

} // namespace query
