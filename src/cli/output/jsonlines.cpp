#include "cli/output/jsonlines.h"

#include "platform/adsi/adstypes.h"

#include <QDateTime>
#include <cmath>

namespace cli::output {

namespace {

void appendString(QString &out, const QString &text)
{
    out += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\b': out += QLatin1String("\\b"); break;
        case '\f': out += QLatin1String("\\f"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += u'"';
}

void appendTime(QString &out, const QDateTime &t)
{
    if (!t.isValid()) {
        out += QLatin1String("null");
        return;
    }
    appendString(out, t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + u'Z');
}

void append(QString &out, const QVariant &v);

void appendObject(QString &out, const JsonObject &object)
{
    out += u'{';
    bool first = true;
    for (const auto &[name, value] : object.members) {
        if (!first)
            out += u',';
        first = false;
        appendString(out, name);
        out += u':';
        append(out, value);
    }
    out += u'}';
}

void append(QString &out, const QVariant &v)
{
    if (!v.isValid()) {
        out += QLatin1String("null");
        return;
    }
    switch (v.typeId()) {
    case QMetaType::QString: appendString(out, v.toString()); return;
    case QMetaType::Bool: out += v.toBool() ? QLatin1String("true") : QLatin1String("false"); return;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong: out += QString::number(v.toLongLong()); return;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong: out += QString::number(v.toULongLong()); return;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        out += std::isfinite(d) ? QString::number(d, 'g', 17) : QStringLiteral("null");
        return;
    }
    case QMetaType::QDateTime: appendTime(out, v.toDateTime()); return;
    case QMetaType::QByteArray: appendString(out, QString::fromLatin1(v.toByteArray().toBase64())); return;
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        out += u'[';
        const QVariantList items = v.toList();
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (i)
                out += u',';
            append(out, items[i]);
        }
        out += u']';
        return;
    }
    default: break;
    }
    if (v.typeId() == qMetaTypeId<JsonObject>()) {
        appendObject(out, v.value<JsonObject>());
    } else if (v.typeId() == qMetaTypeId<ads::AdsDate>()) {
        const auto d = v.value<ads::AdsDate>();
        appendTime(out, d.isZero() ? QDateTime() : d.toDateTime(Qt::UTC));
    } else if (v.typeId() == qMetaTypeId<ads::DnWithBinary>()) {
        const auto b = v.value<ads::DnWithBinary>();
        const QByteArray hex = b.binary.toHex().toUpper();
        appendString(out, QStringLiteral("B:%1:%2:%3").arg(hex.size()).arg(QString::fromLatin1(hex), b.dn));
    } else if (v.typeId() == qMetaTypeId<ads::DnWithString>()) {
        const auto s = v.value<ads::DnWithString>();
        appendString(out, QStringLiteral("S:%1:%2:%3").arg(s.string.toUtf8().size()).arg(s.string, s.dn));
    } else {
        appendString(out, v.toString());
    }
}

} // namespace

QString jsonText(const QVariant &value)
{
    QString out;
    append(out, value);
    return out;
}

void JsonLinesWriter::write(const JsonObject &object)
{
    QString line;
    appendObject(line, object);
    m_out << line << '\n';
}

} // namespace cli::output
