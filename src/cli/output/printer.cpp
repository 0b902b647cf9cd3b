#include "cli/output/printer.h"

#include "cli/output/rowtext.h"
#include "platform/adsi/adsschema.h"

#include <QDateTime>

namespace cli::output {

namespace {

bool multiValued(const QString &name, const ads::SchemaMap *schema, qsizetype count)
{
    if (schema) {
        const ads::AttributeInfo info = schema->lookup(name);
        if (info.known)
            return !info.singleValued;
    }
    return count > 1;
}

const ads::SearchColumn *findColumn(const TSearchEntry &entry, const QString &name)
{
    for (const ads::SearchColumn &c : entry.columns)
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

// A field of a record as LDIF values: texts as UTF-8, numbers in decimal, booleans as the
// directory writes them; empty texts and nulls give no value.
void appendLdifValues(const QVariant &v, QList<QByteArray> *out)
{
    switch (v.typeId()) {
    case QMetaType::UnknownType: return;
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        for (const QVariant &item : v.toList())
            appendLdifValues(item, out);
        return;
    case QMetaType::Bool: out->append(v.toBool() ? "TRUE" : "FALSE"); return;
    case QMetaType::QByteArray: out->append(v.toByteArray()); return;
    default: {
        const QByteArray text = v.toString().toUtf8();
        if (!text.isEmpty())
            out->append(text);
    }
    }
}

} // namespace

void addFormatOption(QCommandLineParser &parser, bool ldif)
{
    parser.addOption({QStringLiteral("output"),
                      ldif ? QStringLiteral("text (default), json (one JSON object per line) or ldif.")
                           : QStringLiteral("text (default) or json (one JSON object per line)."),
                      QStringLiteral("format")});
}

bool parseFormat(const QString &name, Format *format)
{
    const QString n = name.toLower();
    if (n == QLatin1String("text"))
        *format = Format::Text;
    else if (n == QLatin1String("json"))
        *format = Format::Json;
    else if (n == QLatin1String("ldif"))
        *format = Format::Ldif;
    else
        return false;
    return true;
}

bool formatFromOptions(const QCommandLineParser &parser, bool ldif, Format *format, QString *error)
{
    *format = Format::Text;
    if (!parser.isSet(QStringLiteral("output")))
        return true;
    if (parseFormat(parser.value(QStringLiteral("output")), format) && (ldif || *format != Format::Ldif))
        return true;
    *error = ldif ? QStringLiteral("--output is text, json or ldif") : QStringLiteral("--output is text or json");
    return false;
}

QVariant jsonValue(const ads::SearchColumn &column, const ads::SchemaMap *schema)
{
    const bool fileTime = column.type == ads::ADSTYPE_LARGE_INTEGER && IsFileTimeAttribute(column.name);
    QVariantList values;
    values.reserve(column.values.size());
    for (const QVariant &v : column.values) {
        if (fileTime && v.typeId() == QMetaType::LongLong) {
            const qint64 ft = v.toLongLong();
            values << (ft <= 0 || ft == ads::kFileTimeNever ? QVariant() : QVariant(ads::fileTimeToDateTime(ft)));
        } else {
            values << v;
        }
    }
    if (values.size() != 1 || multiValued(column.name, schema, values.size()))
        return values;
    return values.first();
}

void Printer::row(const QVariant &row, const QStringList &names, const TSearchEntry &entry)
{
    ++m_rows;
    if (m_format == Format::Text) {
        m_out << formatRow(row, names) << '\n';
        return;
    }
    const ads::SchemaMap *schema = entry.schema.get();
    if (m_format == Format::Json) {
        JsonObject o;
        o.add(QStringLiteral("dn"), entry.dn);
        if (names.isEmpty()) {
            for (const ads::SearchColumn &c : entry.columns)
                o.add(c.name, jsonValue(c, schema));
        } else {
            for (const QString &name : names) {
                const ads::SearchColumn *c = findColumn(entry, name);
                o.add(name, c ? jsonValue(*c, schema)
                              : multiValued(name, schema, 0) ? QVariant(QVariantList()) : QVariant());
            }
        }
        m_json.write(o);
        return;
    }
    LdifAttributes attributes;
    if (names.isEmpty()) {
        for (const ads::SearchColumn &c : entry.columns)
            attributes.append({c.name, c.wire});
    } else {
        for (const QString &name : names)
            if (const ads::SearchColumn *c = findColumn(entry, name))
                attributes.append({name, c->wire});
    }
    m_ldif.write(entry.dn, attributes);
}

void Printer::record(const QString &dn, const JsonObject &fields)
{
    ++m_rows;
    if (m_format == Format::Json) {
        JsonObject o;
        if (!dn.isNull())
            o.add(QStringLiteral("dn"), dn);
        o.members += fields.members;
        m_json.write(o);
    } else if (m_format == Format::Ldif) {
        LdifAttributes attributes;
        for (const auto &[name, value] : fields.members) {
            QList<QByteArray> values;
            appendLdifValues(value, &values);
            if (!values.isEmpty())
                attributes.append({name, values});
        }
        m_ldif.write(dn, attributes);
    }
}

void Printer::finish(QTextStream *countTo)
{
    m_out.flush();
    if (countTo) {
        *countTo << m_rows << " rows\n";
        countTo->flush();
    }
}

} // namespace cli::output
