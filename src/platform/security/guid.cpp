#include "platform/security/guid.h"

#include <QStringList>

#include <cctype>
#include <cstdio>
#include <utility>

namespace security {

QString guidToString(const QByteArray &b)
{
    if (b.size() != 16)
        return QString();
    const auto *u = reinterpret_cast<const unsigned char *>(b.constData());
    char buf[40];
    std::snprintf(buf, sizeof buf,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", u[3],
                  u[2], u[1], u[0], u[5], u[4], u[7], u[6], u[8], u[9], u[10], u[11], u[12], u[13],
                  u[14], u[15]);
    return QString::fromLatin1(buf);
}

QByteArray guidFromString(const QString &text)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('{')) && t.endsWith(QLatin1Char('}')))
        t = t.mid(1, t.size() - 2);
    const QStringList g = t.split(QLatin1Char('-'));
    if (g.size() != 5 || g[0].size() != 8 || g[1].size() != 4 || g[2].size() != 4 ||
        g[3].size() != 4 || g[4].size() != 12)
        return QByteArray();
    const QByteArray hex = g.join(QString()).toLatin1();
    for (char c : hex)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return QByteArray();
    QByteArray raw = QByteArray::fromHex(hex);
    std::swap(raw[0], raw[3]);
    std::swap(raw[1], raw[2]);
    std::swap(raw[4], raw[5]);
    std::swap(raw[6], raw[7]);
    return raw;
}

} // namespace security
