#include "platform/adsi/adsvalue.h"

#include <QDateTime>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace ads {

namespace {

bool parseInt64(const char *data, int length, qint64 *out)
{
    if (length <= 0 || length > 20)
        return false;
    char buf[24];
    std::memcpy(buf, data, length);
    buf[length] = 0;
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(buf, &end, 10);
    if (errno != 0 || end != buf + length)
        return false;
    *out = v;
    return true;
}

int digits(const char *p, int n)
{
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

// Generalized time "YYYYMMDDHH[MM[SS[.fff]]]Z" or UTC time "YYMMDDHHMM[SS]Z".
bool parseTime(const char *p, int n, int *f /* y m d h mi s ms */)
{
    const bool utcTime = n >= 11 && n <= 13 && p[n - 1] == 'Z' && (n == 11 || n == 13);
    int pos = 0;
    if (utcTime) {
        const int yy = digits(p, 2);
        if (yy < 0)
            return false;
        f[0] = yy < 50 ? 2000 + yy : 1900 + yy;
        pos = 2;
    } else {
        if (n < 11)
            return false;
        f[0] = digits(p, 4);
        pos = 4;
    }
    f[1] = digits(p + pos, 2);
    f[2] = digits(p + pos + 2, 2);
    f[3] = digits(p + pos + 4, 2);
    pos += 6;
    f[4] = f[5] = f[6] = 0;
    if (pos + 2 <= n && p[pos] >= '0' && p[pos] <= '9') {
        f[4] = digits(p + pos, 2);
        pos += 2;
        if (pos + 2 <= n && p[pos] >= '0' && p[pos] <= '9') {
            f[5] = digits(p + pos, 2);
            pos += 2;
        }
    }
    if (pos < n && (p[pos] == '.' || p[pos] == ',')) {
        ++pos;
        int ms = 0, scale = 100;
        while (pos < n && p[pos] >= '0' && p[pos] <= '9') {
            ms += (p[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        f[6] = ms;
    }
    for (int i = 0; i < 6; ++i)
        if (f[i] < 0)
            return false;
    // Only "Z" (UTC) is written by Active Directory; an offset is tolerated and ignored
    // only when it is +0000.
    if (pos < n && p[pos] == 'Z')
        return pos + 1 == n;
    if (pos + 5 == n && (p[pos] == '+' || p[pos] == '-'))
        return digits(p + pos + 1, 4) == 0;
    return pos == n;
}

QByteArray toHex(const QByteArray &b) { return b.toHex().toUpper(); }

} // namespace

QVariant valueFromWire(AdsType type, const char *data, int length)
{
    switch (type) {
    case ADSTYPE_BOOLEAN:
        if (length == 4 && std::memcmp(data, "TRUE", 4) == 0)
            return true;
        if (length == 5 && std::memcmp(data, "FALSE", 5) == 0)
            return false;
        break;
    case ADSTYPE_INTEGER: {
        qint64 v;
        if (parseInt64(data, length, &v) && v >= std::numeric_limits<int>::min() &&
            v <= 0xFFFFFFFFLL)
            return int(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
        break;
    }
    case ADSTYPE_LARGE_INTEGER: {
        qint64 v;
        if (parseInt64(data, length, &v))
            return v;
        break;
    }
    case ADSTYPE_UTC_TIME: {
        int f[7];
        if (parseTime(data, length, f)) {
            const AdsDate d = AdsDate::fromFields(f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
            if (!d.isZero() || (f[0] == 1899 && f[1] == 12 && f[2] == 30))
                return QVariant::fromValue(d);
        }
        break;
    }
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_PROV_SPECIFIC:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
    case ADSTYPE_OCTET_LIST:
    case ADSTYPE_UNKNOWN:
        return QByteArray(data, length);
    case ADSTYPE_DN_WITH_BINARY: {
        // B:<count of hex digits>:<hex>:<dn>
        const QByteArray s(data, length);
        if (s.startsWith("B:")) {
            const int c1 = s.indexOf(':', 2);
            bool ok = false;
            const int n = c1 > 0 ? s.mid(2, c1 - 2).toInt(&ok) : -1;
            // The declared count is untrusted: it must fit in what follows the colon.
            if (ok && n >= 0 && n <= s.size() - c1 - 2 && s.at(c1 + 1 + n) == ':') {
                DnWithBinary v;
                v.binary = QByteArray::fromHex(s.mid(c1 + 1, n));
                v.dn = QString::fromUtf8(s.mid(c1 + 2 + n));
                return QVariant::fromValue(v);
            }
        }
        break;
    }
    case ADSTYPE_DN_WITH_STRING: {
        // S:<count of characters>:<text>:<dn>; the count is of UTF-8 bytes as AD writes it.
        const QByteArray s(data, length);
        if (s.startsWith("S:")) {
            const int c1 = s.indexOf(':', 2);
            bool ok = false;
            const int n = c1 > 0 ? s.mid(2, c1 - 2).toInt(&ok) : -1;
            if (ok && n >= 0 && n <= s.size() - c1 - 2 && s.at(c1 + 1 + n) == ':') {
                DnWithString v;
                v.string = QString::fromUtf8(s.mid(c1 + 1, n));
                v.dn = QString::fromUtf8(s.mid(c1 + 2 + n));
                return QVariant::fromValue(v);
            }
        }
        break;
    }
    default:
        return QString::fromUtf8(data, length);
    }
    // Not parseable as its type: keep what was read.
    return QString::fromUtf8(data, length);
}

QByteArray generalizedTime(const QDateTime &utc)
{
    const QDateTime t = utc.toUTC();
    return t.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + ".0Z";
}

QDateTime parseGeneralizedTime(const QByteArray &text)
{
    int f[7];
    if (!parseTime(text.constData(), int(text.size()), f))
        return QDateTime();
    const QDate d(f[0], f[1], f[2]);
    const QTime t(f[3], f[4], f[5], f[6]);
    if (!d.isValid() || !t.isValid())
        return QDateTime();
    return QDateTime(d, t, Qt::UTC);
}

bool valueToWire(AdsType type, const QVariant &value, QByteArray *wire)
{
    const int id = value.metaType().id();
    if (!value.isValid())
        return false;
    switch (type) {
    case ADSTYPE_BOOLEAN:
        if (id == QMetaType::Bool || id == QMetaType::Int || id == QMetaType::LongLong ||
            id == QMetaType::UInt) {
            *wire = value.toLongLong() != 0 ? "TRUE" : "FALSE";
            return true;
        }
        if (id == QMetaType::QString) {
            const QString s = value.toString().trimmed();
            if (s.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 || s == QLatin1String("1")) {
                *wire = "TRUE";
                return true;
            }
            if (s.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0 || s == QLatin1String("0")) {
                *wire = "FALSE";
                return true;
            }
        }
        return false;
    case ADSTYPE_INTEGER: {
        bool ok = false;
        qint64 v = id == QMetaType::QString ? value.toString().trimmed().toLongLong(&ok)
                                            : value.toLongLong(&ok);
        if (id == QMetaType::Bool) { v = value.toBool() ? 1 : 0; ok = true; }
        if (!ok || v < std::numeric_limits<std::int32_t>::min() || v > 0xFFFFFFFFLL)
            return false;
        // Flags above 2^31 are stored as the signed 32-bit value (groupType and the like).
        *wire = QByteArray::number(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
        return true;
    }
    case ADSTYPE_LARGE_INTEGER: {
        if (id == QMetaType::QDateTime) {
            *wire = QByteArray::number(dateTimeToFileTime(value.toDateTime()));
            return true;
        }
        bool ok = false;
        const qint64 v = id == QMetaType::QString ? value.toString().trimmed().toLongLong(&ok)
                                                  : value.toLongLong(&ok);
        if (!ok)
            return false;
        *wire = QByteArray::number(v);
        return true;
    }
    case ADSTYPE_UTC_TIME:
        if (id == qMetaTypeId<AdsDate>()) {
            *wire = generalizedTime(value.value<AdsDate>().toDateTime(Qt::UTC));
            return true;
        }
        if (id == QMetaType::QDateTime) {
            *wire = generalizedTime(value.toDateTime());
            return true;
        }
        if (id == QMetaType::QString && parseGeneralizedTime(value.toString().toLatin1()).isValid()) {
            *wire = value.toString().toLatin1();
            return true;
        }
        return false;
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_PROV_SPECIFIC:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
    case ADSTYPE_OCTET_LIST:
    case ADSTYPE_UNKNOWN:
        if (id == QMetaType::QByteArray) {
            *wire = value.toByteArray();
            return true;
        }
        return false;
    case ADSTYPE_DN_WITH_BINARY:
        if (id == qMetaTypeId<DnWithBinary>()) {
            const auto v = value.value<DnWithBinary>();
            const QByteArray hex = toHex(v.binary);
            *wire = "B:" + QByteArray::number(hex.size()) + ':' + hex + ':' + v.dn.toUtf8();
            return true;
        }
        break;
    case ADSTYPE_DN_WITH_STRING:
        if (id == qMetaTypeId<DnWithString>()) {
            const auto v = value.value<DnWithString>();
            const QByteArray s = v.string.toUtf8();
            *wire = "S:" + QByteArray::number(s.size()) + ':' + s + ':' + v.dn.toUtf8();
            return true;
        }
        break;
    default:
        break;
    }
    // Text types, and text given for a DN-binary/string value.
    if (id == QMetaType::QByteArray) {
        *wire = value.toByteArray();
        return true;
    }
    if (id == QMetaType::QString || id == QMetaType::Int || id == QMetaType::LongLong ||
        id == QMetaType::UInt || id == QMetaType::ULongLong || id == QMetaType::Double) {
        *wire = value.toString().toUtf8();
        return true;
    }
    if (id == QMetaType::Bool) {
        *wire = value.toBool() ? "TRUE" : "FALSE";
        return true;
    }
    return false;
}

} // namespace ads
