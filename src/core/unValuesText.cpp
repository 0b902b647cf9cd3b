#include "core/unValuesText.h"

namespace {

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

quint32 readLE32(const QByteArray &b, int at)
{
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8 | quint32(quint8(b[at + 2])) << 16
         | quint32(quint8(b[at + 3])) << 24;
}

} // namespace

QString EscapeFilterValue(const QString &text)
{
    QString s = text;
    s.replace(QLatin1String("\\"), QLatin1String("\\5c"));
    s.replace(QLatin1String("*"), QLatin1String("\\2a"));
    s.replace(QLatin1String("("), QLatin1String("\\28"));
    s.replace(QLatin1String(")"), QLatin1String("\\29"));
    s.replace(QLatin1String("/"), QLatin1String("\\2f"));
    // A NUL would end the filter where the C library reads it (RFC 4515 demands \00).
    s.replace(QChar(u'\0'), QLatin1String("\\00"));
    return s;
}

QString UnescapeFilterValue(const QString &text)
{
    QString s = text;
    s.replace(QLatin1String("\\2a"), QLatin1String("*"), Qt::CaseInsensitive);
    s.replace(QLatin1String("\\28"), QLatin1String("("), Qt::CaseInsensitive);
    s.replace(QLatin1String("\\29"), QLatin1String(")"), Qt::CaseInsensitive);
    s.replace(QLatin1String("\\2f"), QLatin1String("/"), Qt::CaseInsensitive);
    s.replace(QLatin1String("\\00"), QString(QChar(u'\0')));
    s.replace(QLatin1String("\\5c"), QLatin1String("\\"), Qt::CaseInsensitive);
    return s;
}

QString EscapeFilterBytes(const QByteArray &bytes)
{
    QString s;
    s.reserve(bytes.size() * 3);
    for (char c : bytes)
        s += QLatin1Char('\\') + QString::asprintf("%02x", unsigned(quint8(c)));
    return s;
}

QString BytesToHexText(const QByteArray &bytes)
{
    const QString hex = QString::fromLatin1(bytes.toHex());
    return (bytes.size() == 16 || bytes.size() == 28) ? hex : hex.toUpper();
}

QByteArray HexTextToBytes(const QString &hex)
{
    if (hex.size() % 2 != 0)
        return {};
    QByteArray out(hex.size() / 2, '\0');
    for (int i = 0; i < out.size(); ++i) {
        const int hi = hexDigit(hex[2 * i]);
        const int lo = hexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return {};
        out[i] = char(hi << 4 | lo);
    }
    return out;
}

QString HexToSidText(const QString &hex)
{
    const QByteArray b = HexTextToBytes(hex);
    if (b.size() < 8)
        return {};
    quint64 authority = 0;
    for (int i = 2; i < 8; ++i)
        authority = authority << 8 | quint8(b[i]);
    QString s = QStringLiteral("S-%1-%2").arg(quint8(b[0])).arg(authority);
    for (int at = 8; at + 4 <= b.size(); at += 4)
        s += QLatin1Char('-') + QString::number(readLE32(b, at));
    return s;
}

void SplitUPN(const QString &text, QString &name, QString &suffix)
{
    const int at = text.indexOf(QLatin1Char('@'));
    name = at < 0 ? text : text.left(at);
    suffix = at < 0 ? QString() : text.mid(at);
}

void SplitDomainUser(const QString &text, QString &user, QString &domain)
{
    const int at = text.indexOf(QLatin1Char('\\'));
    domain = at < 0 ? QString() : text.left(at);
    user = at < 0 ? text : text.mid(at + 1);
}

bool IsUNCPath(const QString &text)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    if (t.startsWith(QLatin1String("\\\\")))
        t = t.mid(2);
    return t.indexOf(QLatin1Char('\\')) > 0;
}

QString EnsureTrailingSlash(const QString &text)
{
    return text.endsWith(QLatin1Char('/')) ? text : text + QLatin1Char('/');
}

QString EnsureTrailingBackslash(const QString &text)
{
    return text.endsWith(QLatin1Char('\\')) ? text : text + QLatin1Char('\\');
}

bool StartsWithNoCase(const QString &prefix, const QString &text)
{
    return text.startsWith(prefix, Qt::CaseInsensitive);
}

QString IntToText(qint64 n) { return QString::number(n); }

QString IntToHexText(qint32 n, int digits)
{
    return QStringLiteral("%1").arg(quint32(n), digits, 16, QLatin1Char('0'));
}

QString IntToHexText(qint64 n, int digits)
{
    return QStringLiteral("%1").arg(quint64(n), digits, 16, QLatin1Char('0'));
}

QString GroupTypeText(qint32 groupType)
{
    QString scope;
    if (groupType & 2)
        scope = QStringLiteral(" - Global");
    else if (groupType & 4)
        scope = QStringLiteral(" - Local");
    else if (groupType & 8)
        scope = QStringLiteral(" - Universal");
    return (groupType < 0 ? QStringLiteral("Security Group") : QStringLiteral("Distribution Group")) + scope;
}

void AddValuesUpper(QStringList &list, const QStringList &values)
{
    for (const QString &v : values)
        list.append(v.toUpper());
}

QStringList ValueTexts(const QVariant &v)
{
    QStringList out;
    if (v.typeId() == QMetaType::QVariantList) {
        for (const QVariant &e : v.toList())
            out << e.toString();
    } else if (v.isValid()) {
        out << v.toString();
    }
    return out;
}

namespace {
// Windows-1252 bytes 0x80..0x9F; 0 where the code page has no character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
}  // namespace

QByteArray TextToWindows1252(const QString &text, int *unmappable)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.append(char(u));
            continue;
        }
        char b = 0;
        for (int k = 0; k < 32; ++k)
            if (kCp1252High[k] == u) {
                b = char(0x80 + k);
                break;
            }
        if (b) {
            out.append(b);
            continue;
        }
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;  // one character, one replacement
        out.append('?');
        if (unmappable)
            ++*unmappable;
    }
    return out;
}

QString UnmappableCharactersText(int count)
{
    return QStringLiteral("%1 character(s) have no place in the 8-bit code page (Windows-1252) and were written as \"?\".")
        .arg(count);
}
