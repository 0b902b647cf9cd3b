#include "platform/adsi/adspath.h"

namespace ads {

namespace {

// Index of the first "/" not preceded by a backslash escape, or -1.
int firstUnescapedSlash(const QString &s)
{
    for (int i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('\\')) {
            ++i;
            continue;
        }
        if (s[i] == QLatin1Char('/'))
            return i;
    }
    return -1;
}

bool parseServer(const QString &text, QString *server, int *port)
{
    QString host = text;
    QString portText;
    if (host.startsWith(QLatin1Char('['))) { // [IPv6]:port
        const int close = host.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        portText = host.mid(close + 1);
        host = host.mid(1, close - 1);
        if (!portText.isEmpty()) {
            if (!portText.startsWith(QLatin1Char(':')))
                return false;
            portText = portText.mid(1);
        }
    } else {
        const int colon = host.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0) {
            portText = host.mid(colon + 1);
            host = host.left(colon);
        }
    }
    // Brackets belong around an IPv6 address only: a name holding one cannot be written
    // back as a path that reads the same.
    if (host.isEmpty() || host.contains(QLatin1Char('[')) || host.contains(QLatin1Char(']')))
        return false;
    int p = 0;
    if (!portText.isEmpty()) {
        bool ok = false;
        p = portText.toInt(&ok);
        if (!ok || p <= 0 || p > 65535)
            return false;
    }
    *server = host;
    *port = p;
    return true;
}

} // namespace

bool AdsPath::parse(const QString &text, AdsPath *out)
{
    AdsPath p;
    if (!text.startsWith(QLatin1String("LDAP:"), Qt::CaseInsensitive))
        return false;
    QString rest = text.mid(5);
    if (rest.isEmpty()) {
        *out = p;
        return true;
    }
    if (!rest.startsWith(QLatin1String("//")))
        return false;
    rest = rest.mid(2);
    if (rest.isEmpty()) {
        *out = p;
        return true;
    }
    const int slash = firstUnescapedSlash(rest);
    QString dnPart;
    const QString head = slash < 0 ? rest : rest.left(slash);
    // A server name never contains "=": a head with one is already the DN.
    if (head.contains(QLatin1Char('='))) {
        dnPart = rest;
    } else if (slash < 0) {
        if (head.compare(QLatin1String("RootDSE"), Qt::CaseInsensitive) == 0) {
            p.rootDse = true;
        } else if (!parseServer(head, &p.server, &p.port)) {
            return false;
        }
        *out = p;
        return true;
    } else {
        if (!parseServer(head, &p.server, &p.port))
            return false;
        dnPart = rest.mid(slash + 1);
        if (dnPart.compare(QLatin1String("RootDSE"), Qt::CaseInsensitive) == 0) {
            p.rootDse = true;
            dnPart.clear();
        }
    }
    p.dn = unescapePathDn(dnPart);
    *out = p;
    return true;
}

QString AdsPath::prefix() const
{
    if (server.isEmpty())
        return QStringLiteral("LDAP://");
    QString host = server.contains(QLatin1Char(':')) ? QLatin1Char('[') + server + QLatin1Char(']') : server;
    if (port > 0)
        host += QLatin1Char(':') + QString::number(port);
    return QStringLiteral("LDAP://") + host + QLatin1Char('/');
}

QString AdsPath::toString() const
{
    if (rootDse)
        return prefix() + QStringLiteral("RootDSE");
    QString s = prefix() + escapePathDn(dn);
    if (dn.isEmpty() && !server.isEmpty())
        s.chop(1); // "LDAP://server" names the server alone
    return s;
}

QString escapePathDn(const QString &dn)
{
    QString out;
    out.reserve(dn.size() + 4);
    for (int i = 0; i < dn.size(); ++i) {
        const QChar c = dn[i];
        if (c == QLatin1Char('\\') && i + 1 < dn.size()) {
            // keep an existing escape pair as it is ("\/" stays "\/")
            out += c;
            out += dn[++i];
            continue;
        }
        if (c == QLatin1Char('/'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

QString unescapePathDn(const QString &pathDn)
{
    QString out;
    out.reserve(pathDn.size());
    for (int i = 0; i < pathDn.size(); ++i) {
        const QChar c = pathDn[i];
        if (c == QLatin1Char('\\') && i + 1 < pathDn.size()) {
            if (pathDn[i + 1] == QLatin1Char('/')) {
                out += QLatin1Char('/');
            } else {
                out += c;
                out += pathDn[i + 1];
            }
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}

QString escapeRdnValue(const QString &value)
{
    QString out;
    out.reserve(value.size() + 8);
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        const bool special = c == QLatin1Char(',') || c == QLatin1Char('+') || c == QLatin1Char('"') ||
                             c == QLatin1Char('\\') || c == QLatin1Char('<') || c == QLatin1Char('>') ||
                             c == QLatin1Char(';') || c == QLatin1Char('=');
        const bool leading = i == 0 && (c == QLatin1Char('#') || c == QLatin1Char(' '));
        const bool trailing = i == value.size() - 1 && c == QLatin1Char(' ');
        if (c == QChar(0)) {
            out += QStringLiteral("\\00");
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            out += QStringLiteral("\\%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        } else {
            if (special || leading || trailing)
                out += QLatin1Char('\\');
            out += c;
        }
    }
    return out;
}

QString unescapeRdnValue(const QString &value)
{
    QByteArray bytes;
    bytes.reserve(value.size());
    const QByteArray utf8 = value.toUtf8();
    auto hex = [](char ch) -> int {
        if (ch >= '0' && ch <= '9') return ch - '0';
        if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
        if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
        return -1;
    };
    for (int i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\\' && i + 1 < utf8.size()) {
            const int h1 = hex(utf8[i + 1]);
            const int h2 = i + 2 < utf8.size() ? hex(utf8[i + 2]) : -1;
            if (h1 >= 0 && h2 >= 0) {
                bytes += char(h1 * 16 + h2);
                i += 2;
            } else {
                bytes += utf8[i + 1];
                ++i;
            }
            continue;
        }
        bytes += c;
    }
    return QString::fromUtf8(bytes);
}

// Trims blanks around an RDN, keeping an escaped trailing blank ("CN=a\\ ").
static QString trimRdn(const QString &part)
{
    int b = 0, e = part.size();
    while (b < e && part[b].isSpace())
        ++b;
    while (e > b && part[e - 1].isSpace()) {
        int backslashes = 0;
        for (int k = e - 2; k >= b && part[k] == QLatin1Char('\\'); --k)
            ++backslashes;
        if (backslashes % 2 == 1)
            break;
        --e;
    }
    return part.mid(b, e - b);
}

QStringList splitDn(const QString &dn)
{
    QStringList parts;
    QString cur;
    bool quoted = false;
    for (int i = 0; i < dn.size(); ++i) {
        const QChar c = dn[i];
        if (c == QLatin1Char('\\') && i + 1 < dn.size()) {
            cur += c;
            cur += dn[++i];
            continue;
        }
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if ((c == QLatin1Char(',') || c == QLatin1Char(';')) && !quoted) {
            parts << trimRdn(cur);
            cur.clear();
            continue;
        }
        cur += c;
    }
    if (!cur.trimmed().isEmpty() || !parts.isEmpty())
        parts << trimRdn(cur);
    return parts;
}

QString firstRdn(const QString &dn)
{
    const QStringList parts = splitDn(dn);
    return parts.isEmpty() ? QString() : parts.first();
}

QString parentDn(const QString &dn)
{
    QStringList parts = splitDn(dn);
    if (parts.size() <= 1)
        return QString();
    parts.removeFirst();
    return parts.join(QLatin1Char(','));
}

} // namespace ads
