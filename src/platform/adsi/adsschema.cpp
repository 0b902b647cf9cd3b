#include "platform/adsi/adsschema.h"

namespace ads {

AdsType SchemaMap::typeForSyntax(const QString &syntax, int omSyntax)
{
    if (!syntax.startsWith(QLatin1String("2.5.5.")))
        return ADSTYPE_CASE_IGNORE_STRING;
    switch (QStringView(syntax).mid(6).toInt()) {
    case 1: return ADSTYPE_DN_STRING;
    case 2: return ADSTYPE_CASE_IGNORE_STRING;
    case 3: return ADSTYPE_CASE_EXACT_STRING;
    case 4: return ADSTYPE_CASE_IGNORE_STRING;
    case 5: return ADSTYPE_PRINTABLE_STRING;
    case 6: return ADSTYPE_NUMERIC_STRING;
    case 7: return omSyntax == 127 ? ADSTYPE_DN_WITH_BINARY : ADSTYPE_OCTET_STRING;
    case 8: return ADSTYPE_BOOLEAN;
    case 9: return ADSTYPE_INTEGER;
    case 10: return ADSTYPE_OCTET_STRING;
    case 11: return ADSTYPE_UTC_TIME;
    case 12: return ADSTYPE_CASE_IGNORE_STRING;
    case 13: return ADSTYPE_CASE_IGNORE_STRING;
    case 14: return ADSTYPE_DN_WITH_STRING;
    case 15: return ADSTYPE_NT_SECURITY_DESCRIPTOR;
    case 16: return ADSTYPE_LARGE_INTEGER;
    case 17: return ADSTYPE_OCTET_STRING;
    default: return ADSTYPE_CASE_IGNORE_STRING;
    }
}

void SchemaMap::add(const QString &name, AttributeInfo info)
{
    info.known = true;
    m_map.insert(name.toLower(), info);
}

AttributeInfo SchemaMap::lookup(const QString &name) const
{
    const int semi = name.indexOf(QLatin1Char(';'));
    const QString key = (semi < 0 ? name : name.left(semi)).toLower();
    const auto it = m_map.constFind(key);
    if (it != m_map.constEnd())
        return *it;
    AttributeInfo info;
    if (key == QLatin1String("adspath") || key == QLatin1String("distinguishedname"))
        info.type = ADSTYPE_DN_STRING;
    else if (key == QLatin1String("objectguid") || key == QLatin1String("objectsid") ||
             key == QLatin1String("tokengroups"))
        info.type = ADSTYPE_OCTET_STRING;
    else if (key == QLatin1String("ntsecuritydescriptor"))
        info.type = ADSTYPE_NT_SECURITY_DESCRIPTOR;
    return info;
}

} // namespace ads
