#pragma once
// Small text operations shared by the windows: LDAP filter escaping, binary values (SIDs,
// GUIDs, octet strings) as text, names split at "@" or "\", the group-type text.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtGlobal>

// Filter text ------------------------------------------------------------------------------

// Escapes the characters that have a meaning inside an LDAP filter value: "\" "*" "(" ")" "/".
QString EscapeFilterValue(const QString &text);
// Reverses EscapeFilterValue (escape digits matched without regard to case).
QString UnescapeFilterValue(const QString &text);
// Every byte as "\xx" (lower-case hexadecimal): a binary value inside a filter.
QString EscapeFilterBytes(const QByteArray &bytes);

// Binary values as text -------------------------------------------------------------------

// GUID texts: ads::guidToString / ads::guidFromString (platform/adsi/adsvalue.h).

// Bytes as hexadecimal the way ValueToHex shows an octet string: 16 and 28 bytes (GUIDs and
// domain account SIDs) in lower case, every other length in upper case.
QString BytesToHexText(const QByteArray &bytes);
// Hexadecimal text (2 digits per byte) to bytes; empty on an odd length or a non-digit.
QByteArray HexTextToBytes(const QString &hex);

// A SID given as hexadecimal text to its standard string "S-1-5-21-...". Sub-authorities are
// printed unsigned. Fewer than 8 bytes or malformed hexadecimal give empty text.
QString HexToSidText(const QString &hex);

// Small text operations ---------------------------------------------------------------------

// name := text before the first "@"; suffix := the rest starting with "@". Without "@" the
// whole text is the name and the suffix is empty.
void SplitUPN(const QString &text, QString &name, QString &suffix);
// domain := text before the first "\"; user := the text after it. Without "\" the whole text
// is the user and the domain is empty.
void SplitDomainUser(const QString &text, QString &user, QString &domain);
// True for "\\server\share" (and "server\share"), false for "\\server".
bool IsUNCPath(const QString &text);
QString EnsureTrailingSlash(const QString &text);
QString EnsureTrailingBackslash(const QString &text);
// True when text begins with prefix, compared without regard to case.
bool StartsWithNoCase(const QString &prefix, const QString &text);
QString IntToText(qint64 n);
// Lower-case hexadecimal with at least `digits` digits; a negative 32-bit value shows as its
// two's complement (ffffffff for -1).
QString IntToHexText(qint32 n, int digits);
QString IntToHexText(qint64 n, int digits);

// "Security Group" or "Distribution Group" followed by " - Global", " - Local" or
// " - Universal" from the group-type bits.
QString GroupTypeText(qint32 groupType);

// Every value of an attribute (one value or a list of them) as text; none for an invalid one.
QStringList ValueTexts(const QVariant &v);

// The 8-bit code page of the program's files (Windows-1252): a character it cannot hold
// becomes "?" and is added to *unmappable (a surrogate pair counts once).
QByteArray TextToWindows1252(const QString &text, int *unmappable = nullptr);
// The warning after an 8-bit file that lost count characters that way.
QString UnmappableCharactersText(int count);

// Appends every text upper-cased to list.
void AddValuesUpper(QStringList &list, const QStringList &values);
