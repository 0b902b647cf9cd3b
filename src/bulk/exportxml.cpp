// Export as XML, in the DataPacket or the ADO dialect.
#include "bulk/exportwriter.h"

#include "core/unValuesText.h"

#include <QDate>
#include <QDateTime>
#include <QStringBuilder>

namespace bulk {

namespace {

QString xmlDeclaration(const ExportOptions &o)
{
    const QString declared = declaredEncoding(o);
    const QString enc = declared.isEmpty() ? QString() : QStringLiteral("encoding=\"%1\" ").arg(declared);
    return QStringLiteral("<?xml version=\"1.0\" %1standalone=\"%2\"?>").arg(enc, o.xmlStandalone ? QStringLiteral("yes") : QStringLiteral("no"));
}

// What both dialects share: a Unicode file declares UTF-16, list values are joined with the
// first character of the delimiter.
class XmlWriter : public TextWriter {
public:
    XmlWriter(const QList<ExportColumn> &c, ExportOptions &o) : TextWriter(c, o)
    {
        if (o.unicode)
            o.xmlEncoding = QStringLiteral("UTF-16");
        delim = firstChar(o.multiValueDelimiter, QStringLiteral("|"));
    }

protected:
    QString delim;
};

class DataPacketWriter : public XmlWriter {
public:
    using XmlWriter::XmlWriter;
    void row(const QVariantList &v) override
    {
        if (!started) {
            started = true;
            sink.writeLine(xmlDeclaration(opt));
            sink.writeLine(QStringLiteral("<DATAPACKET Version=\"2.0\">"));
            sink.writeLine(QStringLiteral("<METADATA>"));
            sink.writeLine(QStringLiteral("<FIELDS>"));
            for (int i = 0; i < columns.size(); ++i) {
                const ExportColumn &c = columns.at(i);
                QString type;
                if (isGroupType(i))
                    type = QStringLiteral("\"string\" WIDTH=\"128\"");
                else if (c.kind == ColumnKind::Integer)
                    type = c.wide ? QStringLiteral("\"i8\"") : QStringLiteral("\"int\"");  // quoted: a bare value is no XML
                else if (c.kind == ColumnKind::Boolean)
                    type = QStringLiteral("\"boolean\"");
                else if (c.kind == ColumnKind::DateTime)
                    type = QStringLiteral("\"dateTime\"");
                else
                    type = QStringLiteral("\"string\" WIDTH=\"%1\"").arg(c.maxLength > 0 ? c.maxLength : 8000);
                sink.writeLine(QStringLiteral("<FIELD FieldName=\"%1\" FieldType=%2/>").arg(xmlEscape(c.ldapName, true), type));
            }
            sink.writeLine(QStringLiteral("</FIELDS>"));
            sink.writeLine(QStringLiteral("</METADATA>"));
            sink.writeLine(QStringLiteral("<ROWDATA>"));
        }
        QString line = QStringLiteral("<ROW ");
        for (int i = 0; i < columns.size(); ++i) {
            if (i > 0)
                line += QLatin1Char(' ');
            const ValueText t = valueToText(at(v, i), TextMode::Display, opt, delim, isGroupType(i));
            line += columns.at(i).ldapName % QStringLiteral("=\"") % xmlEscape(t.text, true) % QLatin1Char('"');
        }
        sink.writeLine(line + QStringLiteral("/>"));
    }

protected:
    QString closingText() const override { return QStringLiteral("</ROWDATA>\r\n</DATAPACKET>"); }
};

class AdoXmlWriter : public XmlWriter {
public:
    AdoXmlWriter(const QList<ExportColumn> &c, ExportOptions &o) : XmlWriter(c, o) { o.dateTimeFormat = kAdoDate; }
    void row(const QVariantList &v) override
    {
        if (!started) {
            started = true;
            static const char *const head[] = {
                "<root xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:od=\"urn:schemas-microsoft-com:officedata\">",
                "<xsd:schema>", "<xsd:element name=\"dataroot\">", "<xsd:complexType>", "<xsd:sequence>",
                "<xsd:element ref=\"ROW\" minOccurs=\"0\" maxOccurs=\"unbounded\"/>", "</xsd:sequence>",
                "<xsd:attribute name=\"generated\" type=\"xsd:dateTime\"/>", "</xsd:complexType>", "</xsd:element>",
                "<xsd:element name=\"ROW\">", "<xsd:annotation>", "<xsd:appinfo/>", "</xsd:annotation>",
                "<xsd:complexType>", "<xsd:sequence>"};
            sink.writeLine(xmlDeclaration(opt));
            for (const char *l : head)
                sink.writeLine(QString::fromLatin1(l));
            for (int i = 0; i < columns.size(); ++i) {
                const ExportColumn &c = columns.at(i);
                const QString n = c.ldapName;
                if (c.kind == ColumnKind::Integer && c.wide) {
                    sink.writeLine(QStringLiteral("<xsd:element name=\"%1\" minOccurs=\"0\" od:jetType=\"bigint\" od:sqlSType=\"bigint\" type=\"xsd:long\"/>").arg(n));
                } else if (c.kind == ColumnKind::Integer && !isGroupType(i)) {
                    sink.writeLine(QStringLiteral("<xsd:element name=\"%1\" minOccurs=\"0\" od:jetType=\"longinteger\" od:sqlSType=\"int\" type=\"xsd:int\"/>").arg(n));
                } else if (c.kind == ColumnKind::Boolean) {
                    sink.writeLine(QStringLiteral("<xsd:element name=\"%1\" minOccurs=\"0\" od:jetType=\"yesno\" od:sqlSType=\"bit\" type=\"xsd:boolean\"/>").arg(n));
                } else if (c.kind == ColumnKind::DateTime) {
                    sink.writeLine(QStringLiteral("<xsd:element name=\"%1\" minOccurs=\"0\" od:jetType=\"datetime\" od:sqlSType=\"datetime\" type=\"xsd:dateTime\"/>").arg(n));
                } else {
                    const bool shortText = isGroupType(i) || (c.kind == ColumnKind::Text && c.maxLength > 0 && c.maxLength < 256 && !c.multiValued);
                    const int len = isGroupType(i) ? 128 : c.maxLength;
                    sink.writeLine(QStringLiteral("<xsd:element name=\"%1\" minOccurs=\"0\" od:jetType=\"%2\" od:sqlSType=\"%3\">")
                                       .arg(n, shortText ? QStringLiteral("text") : QStringLiteral("memo"),
                                            shortText ? QStringLiteral("nvarchar") : QStringLiteral("ntext")));
                    sink.writeLine(QStringLiteral("<xsd:simpleType>"));
                    sink.writeLine(QStringLiteral("<xsd:restriction base=\"xsd:string\">"));
                    sink.writeLine(QStringLiteral("<xsd:maxLength value=\"%1\"/>").arg(shortText ? len : 536870910));
                    sink.writeLine(QStringLiteral("</xsd:restriction>"));
                    sink.writeLine(QStringLiteral("</xsd:simpleType>"));
                    sink.writeLine(QStringLiteral("</xsd:element>"));
                }
            }
            for (const char *l : {"</xsd:sequence>", "</xsd:complexType>", "</xsd:element>", "</xsd:schema>"})
                sink.writeLine(QString::fromLatin1(l));
            const QDateTime now = QDateTime::currentDateTime();
            const double day = QDateTime(QDate(1899, 12, 30), QTime(0, 0)).msecsTo(now) / 86400000.0;
            sink.writeLine(QStringLiteral("<dataroot xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" generated=\"%1\">")
                               .arg(formatDateTime(opt.dateTimeFormat, day)));
        }
        sink.writeLine(QStringLiteral("<ROW>"));
        for (int i = 0; i < columns.size(); ++i) {
            const QString n = columns.at(i).ldapName;
            const ValueText t = valueToText(at(v, i), TextMode::AdoXml, opt, delim, isGroupType(i));
            sink.writeLine(QLatin1Char('<') % n % QLatin1Char('>') % xmlEscape(t.text, false) % QStringLiteral("</") % n % QLatin1Char('>'));
        }
        sink.writeLine(QStringLiteral("</ROW>"));
    }

protected:
    QString closingText() const override { return QStringLiteral("</dataroot>\r\n</root>"); }
};

}  // namespace

std::unique_ptr<FormatWriter> makeXmlWriter(const QList<ExportColumn> &cols, ExportOptions &o)
{
    if (o.xmlType == 1)
        return std::make_unique<AdoXmlWriter>(cols, o);
    return std::make_unique<DataPacketWriter>(cols, o);
}

}  // namespace bulk
