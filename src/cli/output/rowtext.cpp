#include "cli/output/rowtext.h"

#include "platform/adsi/adstypes.h"

namespace cli {

namespace {

QString quoted(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\\': out += QStringLiteral("\\\\"); break;
        case '"': out += QStringLiteral("\\\""); break;
        case '\t': out += QStringLiteral("\\t"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                out += QStringLiteral("\\x") + QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
            else
                out += c;
        }
    }
    out += u'"';
    return out;
}

} // namespace

QString formatValue(const QVariant &value)
{
    if (!value.isValid())
        return {};
    const int type = value.typeId();
    if (type == QMetaType::QVariantList) {
        QStringList parts;
        for (const QVariant &v : value.toList())
            parts << formatValue(v);
        return u'[' + parts.join(QStringLiteral(", ")) + u']';
    }
    if (type == QMetaType::QString)
        return quoted(value.toString());
    if (type == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("bool:true") : QStringLiteral("bool:false");
    if (type == QMetaType::Int)
        return QStringLiteral("int:") + QString::number(value.toInt());
    if (type == QMetaType::LongLong)
        return QStringLiteral("int64:") + QString::number(value.toLongLong());
    if (type == QMetaType::QByteArray)
        return QStringLiteral("bytes:") + QString::fromLatin1(value.toByteArray().toHex().toUpper());
    if (type == qMetaTypeId<ads::AdsDate>()) {
        const auto d = value.value<ads::AdsDate>();
        if (d.isZero())
            return QStringLiteral("date:");
        return QStringLiteral("date:") +
               d.toDateTime(Qt::UTC).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    }
    return QStringLiteral("%1:%2").arg(QString::fromLatin1(value.typeName()), quoted(value.toString()));
}

QString formatRow(const QVariant &row, const QStringList &columnNames)
{
    if (!row.isValid())
        return {};
    const QVariantList cells = row.toList();
    QStringList fields;
    if (!columnNames.isEmpty()) {
        for (qsizetype i = 0; i < cells.size(); ++i)
            fields << columnNames.value(i) + u'=' + formatValue(cells[i]);
    } else {
        for (const QVariant &slot : cells) {
            const QVariantList pair = slot.toList();
            fields << pair.value(0).toString() + u'=' + formatValue(pair.value(1));
        }
    }
    return fields.join(u'\t');
}

} // namespace cli
