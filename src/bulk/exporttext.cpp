// One value as text, and the escaping the formats share.
#include "bulk/exportinternal.h"
#include "bulk/exportwriter.h"

#include "core/unValuesText.h"
#include "platform/adsi/adstypes.h"

namespace bulk {

// --- Values ------------------------------------------------------------------------------------

namespace {

const QString kTypedDate = QStringLiteral("yyyy\"-\"mm\"-\"dd hh\":\"nn\":\"ss");

QString scalarText(const QVariant &v, TextMode mode, const ExportOptions &o, bool groupType)
{
    const int id = v.metaType().id();
    if (groupType && (id == QMetaType::Int || id == QMetaType::LongLong || id == QMetaType::UInt))
        return GroupTypeText(qint32(v.toLongLong()));
    if (id == qMetaTypeId<ads::AdsDate>()) {
        const double day = v.value<ads::AdsDate>().value;
        if (day < 1)
            return QString();
        if (mode == TextMode::Typed) {
            QString s = formatDateTime(kTypedDate, day);
            s.replace(QLatin1Char('\''), QStringLiteral("''"));
            return QLatin1Char('\'') + s + QLatin1Char('\'');
        }
        if (mode == TextMode::AdoXml)
            return formatDateTime(kAdoDate, day);
        return formatDateTime(o.dateTimeFormat.isEmpty() ? defaultDateTimeFormat() : o.dateTimeFormat, day);
    }
    switch (id) {
    case QMetaType::Bool:
        if (mode == TextMode::Display)
            return v.toBool() ? o.booleanTrue : o.booleanFalse;
        return v.toBool() ? QStringLiteral("-1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        // 64-bit values whole: their low 32 bits alone would be a different number.
        return v.toString();
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray().toHex().toUpper());
    case QMetaType::QString:
        return v.toString();
    default:
        return v.toString();
    }
}

}  // namespace

ValueText valueToText(const QVariant &value, TextMode mode, const ExportOptions &o, const QString &delimiter,
                      bool groupTypeColumn)
{
    ValueText r;
    if (!value.isValid())
        return r;
    if (value.metaType().id() == QMetaType::QVariantList) {
        r.wasList = true;
        const QVariantList list = value.toList();
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (i > 0)
                r.text += delimiter;
            r.text += scalarText(list.at(i), mode, o, groupTypeColumn);
        }
        return r;
    }
    r.text = scalarText(value, mode, o, groupTypeColumn);
    return r;
}

QString firstChar(const QString &s, const QString &fallback)
{
    return s.isEmpty() ? fallback : s.left(1);
}

QString xmlEscape(const QString &s, bool attribute)
{
    QString out;
    out.reserve(s.size() + 8);
    for (const QChar c : s) {
        switch (c.unicode()) {
        case '&': out += QStringLiteral("&amp;"); break;
        case '<': out += QStringLiteral("&lt;"); break;
        case '>': out += QStringLiteral("&gt;"); break;
        case '"': out += QStringLiteral("&quot;"); break;
        // A parser turns raw line breaks in attributes into spaces and CR LF in content into
        // LF; character references keep them.
        case '\r': out += QStringLiteral("&#13;"); break;
        case '\n': out += attribute ? QStringLiteral("&#10;") : QStringLiteral("\n"); break;
        case '\t': out += attribute ? QStringLiteral("&#9;") : QStringLiteral("\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QChar(0xFFFD);  // not representable in XML 1.0
            else
                out += c;
        }
    }
    return out;
}

QString htmlText(const QString &s)
{
    QString t = xmlEscape(s, false);
    t.replace(QStringLiteral("&#13;\n"), QStringLiteral("<br>"));
    t.replace(QStringLiteral("&#13;"), QStringLiteral("<br>"));
    t.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    if (s.trimmed().isEmpty())
        return QStringLiteral("&nbsp;");
    return t;
}

QString htmlColour(quint32 c)
{
    if (c & 0x80000000u)
        return (c & 0xFF) == 8 ? QStringLiteral("#000000") : QStringLiteral("#ffffff");
    const quint32 rgb = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    return QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0'));
}

QString declaredEncoding(const ExportOptions &o)
{
    if (o.unicode)
        return o.xmlEncoding;
    // An 8-bit file holds Windows-1252 (or UTF-8 when that is declared) bytes: a declared
    // 16- or 32-bit encoding would make every parser misread it.
    const QString e = o.xmlEncoding.trimmed().toLower().remove(QLatin1Char('-')).remove(QLatin1Char('_'));
    if (e.startsWith(QLatin1String("utf16")) || e.startsWith(QLatin1String("utf32")) || e.startsWith(QLatin1String("ucs")) ||
        e == QLatin1String("unicode"))
        return QStringLiteral("Windows-1252");
    return o.xmlEncoding;
}

QString cssFontFamily(const QString &font)
{
    // Names, lists of names and quoted names pass as they are; any other character is written
    // as a CSS escape, so the text cannot end the declaration, the rule or the style sheet.
    QString out;
    out.reserve(font.size());
    for (const QChar c : font) {
        if (c.isLetterOrNumber() || c == u' ' || c == u'-' || c == u'_' || c == u',' || c == u'.' || c == u'"' || c == u'\'')
            out += c;
        else
            out += QStringLiteral("\\%1 ").arg(c.unicode(), 0, 16);
    }
    return out;
}

}  // namespace bulk
