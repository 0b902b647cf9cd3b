#pragma once
// Conversions between the directory's wire values (LDAP string representations) and the
// program's values (adstypes.h conventions), by ADSI type.
#include "platform/adsi/adstypes.h"
#include "platform/security/guid.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace ads {

// Wire -> value. Strings: UTF-8 text. Boolean: "TRUE"/"FALSE". Integer: decimal int.
// Large integer: decimal qint64. UTC time: generalized time ("20240131120000.0Z") or UTC
// time ("240131120000Z") as an AdsDate holding the UTC fields. Octets, security
// descriptors, provider-specific: the bytes. DN-binary / DN-string: the structs.
// A value that does not parse as its type gives the text (or, for non-UTF-8 bytes, the
// bytes) so that nothing read is lost.
QVariant valueFromWire(AdsType type, const char *data, int length);
inline QVariant valueFromWire(AdsType type, const QByteArray &bytes)
{
    return valueFromWire(type, bytes.constData(), static_cast<int>(bytes.size()));
}

// Value -> wire for the attribute's type. false (and *error) when the value cannot be
// converted (E_ADS_CANT_CONVERT_DATATYPE). Texts, numbers, booleans, byte arrays, dates
// (AdsDate holds UTC for time attributes; QDateTime is converted to UTC) and the DN structs
// are accepted where they make sense; a text is accepted for every type.
bool valueToWire(AdsType type, const QVariant &value, QByteArray *wire);

// Generalized time text for a UTC date-time and back.
QByteArray generalizedTime(const QDateTime &utc);
QDateTime parseGeneralizedTime(const QByteArray &text);

// GUID text and bytes (platform/security/guid.h), where the directory's values are read.
using security::guidFromString;
using security::guidToString;

} // namespace ads
