#include "platform/security/sid.h"

#include <QStringList>
#include <algorithm>

namespace security {

Sid::Sid(quint64 authority, QList<quint32> subAuthorities, quint8 revision)
    : m_revision(revision), m_authority(authority & 0xFFFFFFFFFFFFULL), m_sub(std::move(subAuthorities))
{
    if (m_sub.size() > kMaxSubAuthorities)
        m_sub.resize(kMaxSubAuthorities);
}

std::optional<Sid> Sid::fromBytes(const char *data, qsizetype size, qsizetype offset, qsizetype *consumed)
{
    if (!data || offset < 0 || size < 0 || offset > size || size - offset < 8)
        return std::nullopt;
    const auto *p = reinterpret_cast<const quint8 *>(data) + offset;
    const int count = p[1];
    if (p[0] != 1 || count > kMaxSubAuthorities || size - offset < 8 + 4 * qsizetype(count))
        return std::nullopt;
    Sid sid;
    sid.m_revision = p[0];
    for (int i = 2; i < 8; ++i)
        sid.m_authority = sid.m_authority << 8 | p[i];
    sid.m_sub.reserve(count);
    for (int i = 0; i < count; ++i) {
        const quint8 *q = p + 8 + 4 * i;
        sid.m_sub.append(quint32(q[0]) | quint32(q[1]) << 8 | quint32(q[2]) << 16 | quint32(q[3]) << 24);
    }
    if (consumed)
        *consumed = 8 + 4 * count;
    return sid;
}

std::optional<Sid> Sid::fromBytes(const QByteArray &bytes)
{
    qsizetype used = 0;
    auto sid = fromBytes(bytes.constData(), bytes.size(), 0, &used);
    if (sid && used != bytes.size())
        return std::nullopt;
    return sid;
}

std::optional<Sid> Sid::fromString(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('-'));
    if (parts.size() < 3 || parts.size() > 3 + kMaxSubAuthorities
        || parts[0].compare(QLatin1String("S"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    bool ok = false;
    const uint revision = parts[1].toUInt(&ok);
    if (!ok || revision != 1)
        return std::nullopt;
    const QString auth = parts[2];
    const quint64 authority = auth.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
        ? auth.mid(2).toULongLong(&ok, 16) : auth.toULongLong(&ok, 10);
    if (!ok || authority > 0xFFFFFFFFFFFFULL)
        return std::nullopt;
    QList<quint32> sub;
    for (int i = 3; i < parts.size(); ++i) {
        // Digits only: toUInt would accept a sign or blanks.
        const QString &s = parts[i];
        if (s.isEmpty() || s.size() > 10 || std::any_of(s.begin(), s.end(), [](QChar c) { return !c.isDigit() || c.unicode() > '9'; }))
            return std::nullopt;
        const quint64 v = s.toULongLong(&ok);
        if (!ok || v > 0xFFFFFFFFULL)
            return std::nullopt;
        sub.append(quint32(v));
    }
    return Sid(authority, sub, quint8(revision));
}

QByteArray Sid::toBytes() const
{
    QByteArray b(byteSize(), '\0');
    b[0] = char(m_revision);
    b[1] = char(m_sub.size());
    for (int i = 0; i < 6; ++i)
        b[2 + i] = char(m_authority >> (8 * (5 - i)));
    for (int i = 0; i < m_sub.size(); ++i)
        for (int k = 0; k < 4; ++k)
            b[8 + 4 * i + k] = char(m_sub[i] >> (8 * k));
    return b;
}

QString Sid::toString() const
{
    if (!isValid())
        return {};
    // Authorities that do not fit 32 bits are shown in hexadecimal, as Windows does.
    QString s = QStringLiteral("S-%1-").arg(m_revision);
    s += m_authority > 0xFFFFFFFFULL ? QStringLiteral("0x%1").arg(m_authority, 12, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"), QLatin1String("0x"))
                                     : QString::number(m_authority);
    for (quint32 v : m_sub)
        s += QLatin1Char('-') + QString::number(v);
    return s;
}

Sid Sid::domainSid() const
{
    QList<quint32> sub = m_sub;
    if (!sub.isEmpty())
        sub.removeLast();
    return Sid(m_authority, sub, m_revision);
}

Sid everyoneSid() { return Sid(1, {0}); }
Sid selfSid() { return Sid(5, {10}); }
Sid authenticatedUsersSid() { return Sid(5, {11}); }
Sid localSystemSid() { return Sid(5, {18}); }

} // namespace security
