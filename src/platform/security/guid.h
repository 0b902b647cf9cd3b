#pragma once
// GUID text and bytes: the object types of access-control entries and every GUID-valued
// attribute (objectGUID, schemaIDGUID, rightsGuid).
#include <QByteArray>
#include <QString>

namespace security {

// The GUID text of 16 bytes: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", the first three
// groups read little-endian. Empty for any other length.
QString guidToString(const QByteArray &bytes);
// The 16 bytes of a GUID text (braces optional); empty when it is not one.
QByteArray guidFromString(const QString &text);

} // namespace security
