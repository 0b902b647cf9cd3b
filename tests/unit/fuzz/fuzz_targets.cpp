#include "fuzz_targets.h"

#include "core/unCipher.h"
#include "core/unConnection.h"
#include "core/unValues.h"
#include "main/unPicture.h"
#include "options/unOptions.h"
#include "platform/adsi/adsinternal.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adsvalue.h"
#include "platform/registry/registry.h"
#include "query/filtercompose.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

namespace {

thread_local QByteArray t_input;  // the input being run, shown when an invariant breaks

} // namespace

QByteArray bytes(const std::uint8_t *data, std::size_t size)
{
    t_input = QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    return t_input;
}

// Breaks the run with the failing invariant named (libFuzzer and the driver keep the input).
void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz invariant broken: %s; input (hex): %s\n", what, t_input.toHex().constData());
        std::abort();
    }
}

int wireValues(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the syntax, the rest is the value as the server sent it.
    static const ads::AdsType types[] = {
        ads::ADSTYPE_DN_STRING,       ads::ADSTYPE_CASE_EXACT_STRING, ads::ADSTYPE_CASE_IGNORE_STRING,
        ads::ADSTYPE_PRINTABLE_STRING, ads::ADSTYPE_NUMERIC_STRING,   ads::ADSTYPE_BOOLEAN,
        ads::ADSTYPE_INTEGER,         ads::ADSTYPE_OCTET_STRING,      ads::ADSTYPE_UTC_TIME,
        ads::ADSTYPE_LARGE_INTEGER,   ads::ADSTYPE_PROV_SPECIFIC,     ads::ADSTYPE_NT_SECURITY_DESCRIPTOR,
        ads::ADSTYPE_DN_WITH_BINARY,  ads::ADSTYPE_DN_WITH_STRING,    ads::ADSTYPE_UNKNOWN};
    const ads::AdsType type = types[data[0] % (sizeof types / sizeof types[0])];
    const QByteArray wire = bytes(data + 1, size - 1);
    const QVariant v = ads::valueFromWire(type, wire);
    // A value that parsed as its structured type writes back to wire text that reads the same.
    if (v.canConvert<ads::DnWithBinary>() && type == ads::ADSTYPE_DN_WITH_BINARY) {
        QByteArray again;
        if (ads::valueToWire(type, v, &again)) {
            const QVariant back = ads::valueFromWire(type, again);
            require(back.canConvert<ads::DnWithBinary>() &&
                        back.value<ads::DnWithBinary>().binary == v.value<ads::DnWithBinary>().binary,
                    "DN with binary survives writing");
        }
    }
    // Every value turns into text without failing.
    (void)v.toString();
    return 0;
}

int rangedNames(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const qint64 previous = qint64(data[0]) * 256 + data[1] - 1;
    const QString range = QString::fromUtf8(bytes(data + 2, size - 2));
    const ads::detail::RangeStep step = ads::detail::rangeStep(range, previous);
    require(step.kind != ads::detail::RangeStep::Next || step.next > previous + 1, "a range step moves forward");
    return 0;
}

int pictures(const std::uint8_t *data, std::size_t size)
{
    const QByteArray b = bytes(data, size);
    const picture::Picture j = picture::decodeJpeg(b);
    require(j.isNull() || qint64(j.image.width()) * j.image.height() <= picture::MaxPicturePixels,
            "decoded JPEG within the pixel cap");
    QByteArray bmp = b;
    if (bmp.size() >= 2) {  // reach the bitmap reader past its signature check
        bmp[0] = 'B';
        bmp[1] = 'M';
    }
    const picture::Picture m = picture::decodeBmp(bmp);
    require(m.isNull() || qint64(m.image.width()) * m.image.height() <= picture::MaxPicturePixels,
            "decoded bitmap within the pixel cap");
    return 0;
}

int adsPaths(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(bytes(data, size));
    ads::AdsPath p;
    if (ads::AdsPath::parse(text, &p)) {
        ads::AdsPath again;
        require(ads::AdsPath::parse(p.toString(), &again), "a composed path parses");
        require(again.dn == p.dn && again.rootDse == p.rootDse, "a path survives compose and parse");
    }
    (void)ads::AdsPath::parse(QStringLiteral("LDAP://") + text, &p);
    // "\/" already in a DN is the same value as "/" (RFC 4514), so it may come back plain.
    require(ads::unescapePathDn(ads::escapePathDn(text)) == ads::unescapePathDn(text), "path escaping round trip");
    require(ads::unescapeRdnValue(ads::escapeRdnValue(text)) == text, "RDN escaping round trip");
    const QStringList parts = ads::splitDn(text);
    (void)ads::firstRdn(text);
    (void)ads::parentDn(text);
    for (const QString &part : parts)
        require(part.size() <= text.size(), "an RDN is part of its DN");
    return 0;
}

int filterEscaping(const std::uint8_t *data, std::size_t size)
{
    const QString value = QString::fromUtf8(bytes(data, size));
    const QString escaped = EscapeFilterValue(value);
    if (!escaped.isEmpty())
        require(query::isValidFilter(QStringLiteral("(cn=") + escaped + QLatin1Char(')')),
                "an escaped value makes a valid filter");
    require(query::isValidFilter(query::equals(QStringLiteral("cn"), value)), "the composer escapes");
    return 0;
}

int storedSettings(const std::uint8_t *data, std::size_t size)
{
    // The input is the settings file as another program (or an attacker) left it.
    static QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath(QStringLiteral("settings.ini"));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    f.write(bytes(data, size));
    f.close();
    registry::setStoreFile(file);
    TConnectionSettings s;
    LoadConnectionSettings(s);
    options::TOptions o;
    options::LoadOptions(o);
    (void)options::LoadHiddenColumns();
    (void)DecryptText(QString::fromUtf8(bytes(data, size)));
    return 0;
}

} // namespace fuzz
