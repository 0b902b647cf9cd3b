// The six export formats and the engine's row loop.
#include "bulk/exportengine.h"
#include "bulk/exportinternal.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValuesText.h"
#include "platform/adsi/adstypes.h"
#include "platform/jet/tablestore.h"
#include "platform/office/workbook.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStringBuilder>
#include <QUuid>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace bulk {

// --- TextSink ----------------------------------------------------------------------------------

namespace {
// Windows-1252 bytes 0x80..0x9F; 0 where the code page has no character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
}  // namespace

QByteArray TextSink::toWindows1252(const QString &text, int *unmappable)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.append(char(u));
            continue;
        }
        char b = 0;
        for (int k = 0; k < 32; ++k)
            if (kCp1252High[k] == u && u != 0) {
                b = char(0x80 + k);
                break;
            }
        if (b) {
            out.append(b);
            continue;
        }
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;  // one character, one replacement
        out.append('?');
        if (unmappable)
            ++*unmappable;
    }
    return out;
}

TextSink::~TextSink()
{
    discard();
}

bool TextSink::open(const QString &path, bool unicode, QString *error)
{
    m_path = path;
    m_unicode = unicode;
    const QFileInfo fi(path);
    if (fi.isDir()) {
        if (error)
            *error = QStringLiteral("%1 is a folder.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    m_temp = fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QLatin1Char('.') +
             QUuid::createUuid().toString(QUuid::Id128).left(8) + QStringLiteral(".tmp");
    m_file.setFileName(m_temp);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), m_file.errorString());
        m_temp.clear();
        return false;
    }
    if (m_unicode && m_file.write("\xFF\xFE", 2) != 2)
        m_error = m_file.errorString();
    return true;
}

void TextSink::write(const QString &text)
{
    m_pending += text;
    if (m_pending.size() > 16384)
        flush();
}

void TextSink::flush()
{
    if (m_pending.isEmpty() || !m_error.isEmpty()) {
        m_pending.clear();
        return;
    }
    QByteArray bytes;
    if (m_unicode) {
        bytes.resize(m_pending.size() * 2);
        char *p = bytes.data();
        for (const QChar c : std::as_const(m_pending)) {
            *p++ = char(c.unicode() & 0xFF);
            *p++ = char(c.unicode() >> 8);
        }
    } else if (m_utf8) {
        bytes = m_pending.toUtf8();
    } else {
        bytes = toWindows1252(m_pending, &m_unmappable);
    }
    m_pending.clear();
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        m_error = QStringLiteral("Cannot write to \"%1\". %2").arg(QDir::toNativeSeparators(m_path), m_file.errorString());
}

bool TextSink::commit(QString *error)
{
    flush();
    if (m_error.isEmpty() && ::fsync(m_file.handle()) != 0 && errno != EINVAL)
        m_error = QStringLiteral("Cannot write to \"%1\". %2")
                      .arg(QDir::toNativeSeparators(m_path), QString::fromLocal8Bit(std::strerror(errno)));
    m_file.close();
    if (m_error.isEmpty() && m_file.error() != QFileDevice::NoError)
        m_error = m_file.errorString();
    if (m_error.isEmpty()) {
        QFile::remove(m_path);
        if (!QFile::rename(m_temp, m_path))
            m_error = QStringLiteral("Cannot create file \"%1\".").arg(QDir::toNativeSeparators(m_path));
    }
    if (!m_error.isEmpty()) {
        if (error)
            *error = m_error;
        discard();
        return false;
    }
    m_temp.clear();
    return true;
}

void TextSink::discard()
{
    if (m_file.isOpen())
        m_file.close();
    if (!m_temp.isEmpty())
        QFile::remove(m_temp);
    m_temp.clear();
}

// --- Values ------------------------------------------------------------------------------------

namespace {

const QString kTypedDate = QStringLiteral("yyyy\"-\"mm\"-\"dd hh\":\"nn\":\"ss");
const QString kAdoDate = QStringLiteral("yyyy\"-\"mm\"-\"dd\"T\"hh:nn:ss");

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

namespace {

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

// "#rrggbb" of a stored colour (red in the low byte). System colours have no RGB of their
// own here: window text is black, any other system colour white.
QString htmlColour(quint32 c)
{
    if (c & 0x80000000u)
        return (c & 0xFF) == 8 ? QStringLiteral("#000000") : QStringLiteral("#ffffff");
    const quint32 rgb = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    return QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0'));
}

// --- Writers ----------------------------------------------------------------------------------

class FormatWriter {
public:
    FormatWriter(const QList<ExportColumn> &cols, ExportOptions &o) : columns(cols), opt(o)
    {
        for (qsizetype i = 0; i < columns.size(); ++i) {
            names << columns.at(i).ldapName;
            if (groupTypeIndex < 0 && columns.at(i).ldapName.compare(QLatin1String("groupType"), Qt::CaseInsensitive) == 0)
                groupTypeIndex = int(i);
        }
    }
    virtual ~FormatWriter() = default;
    virtual bool begin(QString *error) = 0;
    virtual void row(const QVariantList &values) = 0;  // errors: error()
    virtual bool finish(QString *error) = 0;
    virtual void abort() = 0;
    virtual QString error() const = 0;
    virtual int unmappable() const { return 0; }

protected:
    bool isGroupType(int i) const { return i == groupTypeIndex; }
    QVariant at(const QVariantList &v, int i) const { return i < v.size() ? v.at(i) : QVariant(); }
    // Quoting shared by CSV, SQL and the table stores. A value that came as text is quoted
    // in any column, so a text in a number column cannot end a statement early.
    QString quoted(const QString &text, int col, bool wasList, const QVariant &value, const QString &q) const
    {
        if (q.isEmpty() || !quoteStrings || text.isEmpty() || text == opt.nullString)
            return text;
        const bool textValue = value.metaType().id() == QMetaType::QString;
        if (!columns.at(col).isText() && !wasList && !isGroupType(col) && !(typedStatements && textValue))
            return text;
        QString t = text;
        t.replace(q, q + q);
        return q + t + q;
    }

    QList<ExportColumn> columns;
    ExportOptions &opt;
    QStringList names;
    int groupTypeIndex = -1;
    bool quoteStrings = true;
    bool typedStatements = false;
};

class TextWriter : public FormatWriter {
public:
    using FormatWriter::FormatWriter;
    bool begin(QString *error) override
    {
        if (!sink.open(opt.fileName, opt.unicode, error))
            return false;
        if (opt.type == ExportType::Xml || opt.type == ExportType::Html) {
            const QString enc = opt.xmlEncoding.trimmed().toLower();
            sink.setUtf8(enc == QLatin1String("utf-8") || enc == QLatin1String("utf8"));
        }
        return true;
    }
    bool finish(QString *error) override
    {
        // Formats whose head waits for the first row close only what they opened.
        if (started)
            sink.write(closingText());
        trailer();
        return sink.commit(error);
    }
    void abort() override { sink.discard(); }
    QString error() const override { return sink.error(); }
    int unmappable() const override { return sink.unmappable(); }

protected:
    virtual void trailer() {}
    virtual QString closingText() const { return QString(); }
    TextSink sink;
    bool started = false;
};

class CsvWriter : public TextWriter {
public:
    CsvWriter(const QList<ExportColumn> &c, ExportOptions &o) : TextWriter(c, o)
    {
        sep = firstChar(o.csvComma, QStringLiteral(","));
        quote = o.csvQuote.left(1);
        quoteStrings = o.csvQuoteStrings;
        delim = firstChar(o.multiValueDelimiter, QStringLiteral("|"));
    }
    bool begin(QString *error) override
    {
        if (!TextWriter::begin(error))
            return false;
        sink.writeLine(names.join(sep));
        return true;
    }
    void row(const QVariantList &v) override
    {
        QString line;
        for (int i = 0; i < columns.size(); ++i) {
            if (i > 0)
                line += sep;
            const QVariant value = at(v, i);
            if (!value.isValid()) {
                line += columns.at(i).isText() ? opt.nullString : QString();
                continue;
            }
            ValueText t = valueToText(value, TextMode::Display, opt, delim, isGroupType(i));
            if (t.text.isEmpty())
                t.text = opt.nullString;
            line += quoted(t.text, i, t.wasList, value, quote);
        }
        sink.writeLine(line);
    }

private:
    QString sep, quote, delim;
};

class SqlWriter : public TextWriter {
public:
    SqlWriter(const QList<ExportColumn> &c, ExportOptions &o) : TextWriter(c, o)
    {
        sep = firstChar(o.csvComma, QStringLiteral(","));
        quote = o.csvQuote.left(1);
        quoteStrings = o.csvQuoteStrings;
        typedStatements = true;
        delim = firstChar(o.multiValueDelimiter, QStringLiteral("|"));
        if (opt.sqlTableName.isEmpty())
            opt.sqlTableName = QFileInfo(opt.fileName).completeBaseName().toUpper();
        table = opt.sqlTableName;
    }
    void row(const QVariantList &v) override
    {
        const QString term = opt.sqlStatementTerm;
        if (written == 0 && opt.sqlCreateTable) {
            const bool u = opt.unicode;
            const int cap = u ? 4000 : 8000;
            const QString varying = u ? QStringLiteral("national char varying") : QStringLiteral("char varying");
            QStringList defs;
            for (int i = 0; i < columns.size(); ++i) {
                const ExportColumn &c = columns.at(i);
                QString type;
                if (isGroupType(i))
                    type = varying + QStringLiteral("(256)");
                else if (c.kind == ColumnKind::Integer)
                    type = QStringLiteral("integer");
                else if (c.kind == ColumnKind::Boolean)
                    type = QStringLiteral("bit");
                else if (c.kind == ColumnKind::DateTime)
                    type = QStringLiteral("datetime");
                else
                    type = varying + QStringLiteral("(%1)").arg(c.maxLength > 0 ? std::min(c.maxLength, cap) : cap);
                defs << c.ldapName + QLatin1Char(' ') + type;
            }
            sink.write(QStringLiteral("CREATE TABLE ") % table % QStringLiteral(" (") % defs.join(QStringLiteral(",\r\n")) %
                       QStringLiteral(")") % term % QStringLiteral("\r\n") % opt.sqlCommitStatement % term %
                       QStringLiteral("\r\n\r\n"));
        }
        QStringList texts;
        for (int i = 0; i < columns.size(); ++i) {
            const QVariant value = at(v, i);
            ValueText t = valueToText(value, TextMode::Typed, opt, delim, isGroupType(i));
            texts << (t.text.isEmpty() ? opt.nullString : quoted(t.text, i, t.wasList, value, quote));
        }
        ++written;
        sink.write(QStringLiteral("INSERT INTO ") % table % QStringLiteral(" (") % names.join(sep) %
                   QStringLiteral(")\r\nVALUES (") % texts.join(sep) % QStringLiteral(")") % term % QStringLiteral("\r\n"));
        if (opt.sqlCommitCount > 0 && written % opt.sqlCommitCount == 0)
            sink.write(opt.sqlCommitStatement + term + QStringLiteral("\r\n"));
        sink.write(QStringLiteral("\r\n"));
    }

protected:
    void trailer() override
    {
        if (opt.sqlCommitAfterScript)
            sink.write(opt.sqlCommitStatement + opt.sqlStatementTerm);
    }

private:
    QString sep, quote, delim, table;
    int written = 0;
};

QString xmlDeclaration(const ExportOptions &o)
{
    const QString enc = o.xmlEncoding.isEmpty() ? QString() : QStringLiteral("encoding=\"%1\" ").arg(o.xmlEncoding);
    return QStringLiteral("<?xml version=\"1.0\" %1standalone=\"%2\"?>").arg(enc, o.xmlStandalone ? QStringLiteral("yes") : QStringLiteral("no"));
}

class DataPacketWriter : public TextWriter {
public:
    DataPacketWriter(const QList<ExportColumn> &c, ExportOptions &o) : TextWriter(c, o)
    {
        if (o.unicode)
            o.xmlEncoding = QStringLiteral("UTF-16");
        delim = firstChar(o.multiValueDelimiter, QStringLiteral("|"));
    }
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
                    type = QStringLiteral("\"int\"");  // quoted: a bare value is no XML
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

private:
    QString delim;
};

class AdoXmlWriter : public TextWriter {
public:
    AdoXmlWriter(const QList<ExportColumn> &c, ExportOptions &o) : TextWriter(c, o)
    {
        o.dateTimeFormat = kAdoDate;
        if (o.unicode)
            o.xmlEncoding = QStringLiteral("UTF-16");
        delim = firstChar(o.multiValueDelimiter, QStringLiteral("|"));
    }
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
                if (c.kind == ColumnKind::Integer && !isGroupType(i)) {
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

private:
    QString delim;
};

class HtmlWriter : public TextWriter {
public:
    using TextWriter::TextWriter;
    void row(const QVariantList &v) override
    {
        if (!started)
            head();
        sink.writeLine(rows % 2 == 0 ? QStringLiteral(" <tr class=\"TQelRows\">") : QStringLiteral(" <tr class=\"TQelOddRows\">"));
        for (int i = 0; i < columns.size(); ++i) {
            const QVariant value = at(v, i);
            if (!value.isValid()) {
                sink.writeLine(QStringLiteral("  <td nowrap>&nbsp;</td>"));
                continue;
            }
            if (value.metaType().id() == QMetaType::QVariantList) {
                QStringList parts;
                for (const QVariant &e : value.toList())
                    parts << htmlText(valueToText(e, TextMode::Display, opt, QString(), isGroupType(i)).text);
                sink.writeLine(QStringLiteral("  <td nowrap>"));
                sink.writeLine(parts.join(QStringLiteral("<br>")) + QStringLiteral("</td>"));
                continue;
            }
            sink.writeLine(QStringLiteral("  <td nowrap>"));
            sink.writeLine(htmlText(valueToText(value, TextMode::Display, opt, QString(), isGroupType(i)).text));
            sink.writeLine(QStringLiteral("  </td>"));
        }
        sink.writeLine(QStringLiteral(" </tr>"));
        ++rows;
    }

protected:
    QString closingText() const override { return QStringLiteral("</Table>\r\n</BODY>\r\n</HTML>"); }

private:
    void head()
    {
        started = true;
        const HtmlColours &c = opt.colours;
        const QString font = opt.htmlFontName;
        sink.writeLine(QStringLiteral("<HTML>"));
        sink.writeLine(QStringLiteral("<HEAD>"));
        sink.writeLine(QStringLiteral("<Title>%1</Title>").arg(xmlEscape(opt.htmlTitle, false)));
        if (!opt.xmlEncoding.isEmpty()) {
            QString cs = opt.xmlEncoding.trimmed().toLower();
            if (cs.isEmpty())
                cs = QStringLiteral("windows-1252");
            sink.writeLine(QStringLiteral("<META Http-Equiv=\"Content-Type\" Content=\"text/html; charset=%1\">").arg(cs));
        }
        sink.writeLine(QStringLiteral("<META Http-Equiv=\"Cache-Control\" Content=\"no-cache, must-revalidate\">"));
        sink.writeLine(QStringLiteral("<META Http-Equiv=\"Pragma\" Content=\"no-cache\">"));
        sink.writeLine(QStringLiteral("<STYLE type=\"text/css\">"));
        sink.writeLine(QStringLiteral("  BODY {"));
        sink.writeLine(QStringLiteral("         background: ") + htmlColour(c.background) + QLatin1Char(';'));
        sink.writeLine(QStringLiteral("         color: ") + htmlColour(c.text) + QLatin1Char(';'));
        if (!opt.htmlBackground.isEmpty())
            sink.writeLine(QStringLiteral("         background-image: url(\"%1\");").arg(xmlEscape(opt.htmlBackground, true)));
        sink.writeLine(QStringLiteral("         font-family: ") + font + QLatin1Char(';'));
        sink.writeLine(QStringLiteral("  }"));
        auto cls = [&](const char *name, quint32 bg, quint32 fg, const char *fixed) {
            sink.writeLine(QStringLiteral("  .%1 { ").arg(QLatin1String(name)));
            sink.writeLine(QStringLiteral("            background-color: %1;").arg(htmlColour(bg)));
            sink.writeLine(QStringLiteral("            color: %1;").arg(htmlColour(fg)));
            sink.writeLine(QString::fromLatin1(fixed));
            sink.writeLine(QStringLiteral("            font-family: ") + font + QLatin1Char(';'));
            sink.writeLine(QStringLiteral("  }"));
        };
        cls("TQelHead", c.headerBackground, c.headerText, "            font-weight: bold; text-align: center; font-size:8pt;");
        cls("TQelRows", c.evenRows, c.dataText, "            font-weight: bold; text-align: left; font-size:8pt;");
        cls("TQelOddRows", c.oddRows, c.dataText, "            font-weight: bold; text-align: left; font-size:8pt;");
        sink.writeLine(QStringLiteral("</STYLE>"));
        sink.writeLine(QStringLiteral("</HEAD>"));
        sink.writeLine(QStringLiteral("<BODY>"));
        sink.writeLine(QStringLiteral("<Table Border=\"%1\" Cellpadding=\"%2\" Cellspacing=\"%3\">")
                           .arg(opt.htmlBorderWidth).arg(opt.htmlCellPadding).arg(opt.htmlCellSpacing));
        sink.writeLine(QStringLiteral(" <tr class=\"TQelHead\">"));
        for (const QString &n : std::as_const(names))
            sink.writeLine(QStringLiteral("<td>") + xmlEscape(n, false) + QStringLiteral("</td>"));
        sink.writeLine(QString());
        sink.writeLine(QStringLiteral(" </tr>"));
    }
    int rows = 0;
};

// Table stores: the values of one row as the statements' texts (null for absent or empty).
QStringList statementTexts(const QList<ExportColumn> &columns, const QVariantList &v, const ExportOptions &o,
                           int groupTypeIndex)
{
    QStringList texts;
    for (int i = 0; i < columns.size(); ++i) {
        const QVariant value = i < v.size() ? v.at(i) : QVariant();
        ValueText t = valueToText(value, TextMode::Typed, o, QStringLiteral("\r\n"), i == groupTypeIndex);
        if (t.text.isEmpty()) {
            texts << QStringLiteral("null");
            continue;
        }
        const bool quote = columns.at(i).isText() || t.wasList || i == groupTypeIndex ||
                           value.metaType().id() == QMetaType::QString || value.metaType().id() == QMetaType::QByteArray;
        if (quote) {
            t.text.replace(QLatin1Char('\''), QStringLiteral("''"));
            t.text = QLatin1Char('\'') + t.text + QLatin1Char('\'');
        }
        texts << t.text;
    }
    return texts;
}

class DatabaseWriter : public FormatWriter {
public:
    using FormatWriter::FormatWriter;
    bool begin(QString *error) override
    {
        existed = QFileInfo::exists(opt.fileName);
        if (!db.open(opt.fileName, error))
            return false;
        if (!db.begin(error))
            return false;
        QStringList defs;
        for (int i = 0; i < columns.size(); ++i) {
            const ExportColumn &c = columns.at(i);
            QString type;
            if (isGroupType(i))
                type = QStringLiteral("varChar(128)");
            else if (c.kind == ColumnKind::Integer)
                type = QStringLiteral("Integer");
            else if (c.kind == ColumnKind::Boolean)
                type = QStringLiteral("bit");
            else if (c.kind == ColumnKind::DateTime)
                type = QStringLiteral("datetime");
            else if (c.maxLength > 0 && c.maxLength < 255 && !c.multiValued)
                type = QStringLiteral("varChar(%1)").arg(c.maxLength);
            else
                type = QStringLiteral("LongText");
            defs << c.ldapName + QLatin1Char(' ') + type;
        }
        QString why;
        if (!db.exec(QStringLiteral("CREATE TABLE [%1] (%2)").arg(opt.tableName, defs.join(QLatin1Char(','))), &why)) {
            if (error)
                *error = why;
            return false;
        }
        insertHead = QStringLiteral("INSERT INTO [%1] (%2)\r\nVALUES (").arg(opt.tableName, names.join(QLatin1Char(',')));
        return true;
    }
    void row(const QVariantList &v) override
    {
        if (!err.isEmpty())
            return;
        const QString sql = insertHead + statementTexts(columns, v, opt, groupTypeIndex).join(QLatin1Char(',')) + QStringLiteral(");\r\n");
        db.exec(sql, &err);
    }
    bool finish(QString *error) override
    {
        if (!err.isEmpty() || !db.commit(&err)) {
            if (error)
                *error = err;
            abort();
            return false;
        }
        db.close();
        return true;
    }
    void abort() override
    {
        db.rollback();
        db.close();
        if (!existed)
            QFile::remove(opt.fileName);
    }
    QString error() const override { return err; }

private:
    jet::SqliteStore db;
    QString insertHead, err;
    bool existed = false;
};

class WorkbookExportWriter : public FormatWriter {
public:
    using FormatWriter::FormatWriter;
    bool begin(QString *error) override
    {
        if (QFileInfo::exists(opt.fileName)) {
            QStringList sheets;
            if (!office::workbookSheetNames(opt.fileName, &sheets, error))
                return false;
            mergeInto = opt.fileName;
            target = office::privateOutputFolder() + QStringLiteral("/") + QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".xlsx");
        } else {
            target = opt.fileName;
        }
        wb = std::make_unique<office::WorkbookWriter>(target, true);
        if (!wb->addSheet(opt.tableName, error))
            return false;
        for (int i = 0; i < columns.size(); ++i)
            wb->writeString(0, i, names.at(i));
        return true;
    }
    void row(const QVariantList &v) override
    {
        ++r;
        if (r >= office::kMaxRows) {
            if (err.isEmpty())
                err = QStringLiteral("A sheet holds at most 1,048,576 rows.");
            return;
        }
        for (int i = 0; i < columns.size(); ++i) {
            const QVariant value = i < v.size() ? v.at(i) : QVariant();
            if (!value.isValid())
                continue;
            const int id = value.metaType().id();
            if (isGroupType(i) || id == QMetaType::QVariantList || id == QMetaType::QString || id == QMetaType::QByteArray) {
                // A cell breaks lines at LF; a CR would show as a stray character.
                ValueText t = valueToText(value, TextMode::Display, opt, QStringLiteral("\n"), isGroupType(i));
                t.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                wb->writeString(r, i, t.text);
            } else if (id == qMetaTypeId<ads::AdsDate>()) {
                const double day = value.value<ads::AdsDate>().value;
                if (day >= 1)
                    wb->writeDateTime(r, i, day);
            } else if (id == QMetaType::Bool) {
                wb->writeBoolean(r, i, value.toBool());
            } else {
                const qint64 n = value.toLongLong();
                // Numbers beyond 2^53 lose digits as a number cell; such values go as text.
                if (std::llabs(n) < (1LL << 53))
                    wb->writeNumber(r, i, double(n));
                else
                    wb->writeString(r, i, QString::number(n));
            }
        }
    }
    bool finish(QString *error) override
    {
        QString why = err;
        if (why.isEmpty() && !wb->close(&why)) {
        }
        if (why.isEmpty() && !mergeInto.isEmpty()) {
            office::appendWorkbookSheets(mergeInto, target, &why);
            QFile::remove(target);
        }
        if (!why.isEmpty()) {
            if (error)
                *error = why;
            abort();
            return false;
        }
        return true;
    }
    void abort() override
    {
        if (wb)
            wb->discard();
        if (!mergeInto.isEmpty())
            QFile::remove(target);
    }
    QString error() const override { return err.isEmpty() && wb ? wb->error() : err; }

private:
    std::unique_ptr<office::WorkbookWriter> wb;
    QString target, mergeInto, err;
    int r = 0;
};

std::unique_ptr<FormatWriter> makeWriter(const QList<ExportColumn> &cols, ExportOptions &o)
{
    switch (o.type) {
    case ExportType::Csv: return std::make_unique<CsvWriter>(cols, o);
    case ExportType::Sql: return std::make_unique<SqlWriter>(cols, o);
    case ExportType::Xml:
        if (o.xmlType == 1)
            return std::make_unique<AdoXmlWriter>(cols, o);
        return std::make_unique<DataPacketWriter>(cols, o);
    case ExportType::Html: return std::make_unique<HtmlWriter>(cols, o);
    case ExportType::Workbook: return std::make_unique<WorkbookExportWriter>(cols, o);
    case ExportType::Database: return std::make_unique<DatabaseWriter>(cols, o);
    }
    return nullptr;
}

}  // namespace

// --- Table names -------------------------------------------------------------------------------

QString checkTableName(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("Table Name\\Sheet can't be empty!");
    if (name.size() > 64)
        return QStringLiteral("Table name can be up to 64 characters long!");
    static const QString bad = QStringLiteral("./*;:#&-?$%'!`[]\"");
    for (const QChar c : name)
        if (bad.contains(c))
            return QStringLiteral("Table name can include any combination \r\nof letters, numbers, spaces, and special characters \r\n"
                                  "except a period (.), an exclamation point (!), \r\nan accent grave (`),an quotation mark (\"), and brackets ([ ])!"
                                  "\r\nThe following symbols must not be used as part of a table name:\r\n./*;:!#&-?\"''$%[]");
    return QString();
}

bool listTables(ExportType type, const QString &path, QStringList *tables, QString *error)
{
    tables->clear();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return true;
    QString reason;
    if (office::fileHeldOpen(path, &reason)) {
        if (error)
            *error = reason + QStringLiteral("\r\nIf file is opened, please first close it!");
        return false;
    }
    QStringList names;
    const bool ok = type == ExportType::Workbook ? office::workbookSheetNames(path, &names, error)
                                                 : jet::listDatabaseTables(path, &names, error);
    if (!ok)
        return false;
    for (const QString &n : std::as_const(names))
        if (!n.endsWith(QLatin1Char('$')) && !n.endsWith(QLatin1String("$'")))
            *tables << n;
    return true;
}

// --- The engine --------------------------------------------------------------------------------

ExportResult ExportEngine::write(const QList<ExportColumn> &columns, ExportOptions &options, const RowSource &rows,
                                 const Progress &progress)
{
    ExportResult result;
    if (options.fileName.isEmpty()) {
        result.error = QStringLiteral("No destination file.");
        return result;
    }
    if (options.type == ExportType::Workbook || options.type == ExportType::Database) {
        QString why = checkTableName(options.tableName);
        if (options.type == ExportType::Workbook && why.isEmpty())
            why = office::checkSheetName(options.tableName);
        QStringList existing;
        // A failure to list the tables leaves its reason in why.
        if (why.isEmpty())
            listTables(options.type, options.fileName, &existing, &why);
        if (why.isEmpty())
            for (const QString &t : std::as_const(existing))
                if (t.compare(options.tableName, Qt::CaseInsensitive) == 0)
                    why = QStringLiteral("The table \"%1\" already exists.").arg(options.tableName);
        if (!why.isEmpty()) {
            result.error = why;
            return result;
        }
    }
    std::unique_ptr<FormatWriter> w = makeWriter(columns, options);
    QString error;
    if (!w->begin(&error)) {
        w->abort();
        result.error = error;
        return result;
    }
    try {
        QVariantList row;
        for (int skipped = 0; skipped < options.skip; ++skipped)
            if (!rows(&row))
                break;
        while ((options.exportOnly <= 0 || result.written < options.exportOnly) && rows(&row)) {
            w->row(row);
            if (!w->error().isEmpty())
                break;
            ++result.written;
            if (progress && !progress(result.written)) {
                result.stopped = true;
                break;
            }
        }
    } catch (const Exception &e) {
        w->abort();
        result.error = e.Message();
        return result;
    }
    if (!w->error().isEmpty()) {
        result.error = w->error();
        w->abort();
        return result;
    }
    if (!w->finish(&error)) {
        result.error = error;
        return result;
    }
    result.unmappable = w->unmappable();
    result.ok = true;
    return result;
}

ExportResult ExportEngine::run(const ExportRequest &request, ExportOptions &options, const Progress &progress)
{
    const QList<ExportColumn> columns = effectiveColumns(request.columns, options.includeDN);
    QStringList names;
    for (const ExportColumn &c : columns)
        names << c.ldapName;
    TQelADSISearching search;
    ApplyContextCredentials(search);
    search.setAttributes(names.join(QLatin1Char(',')));
    search.setADsPath(request.base);
    search.setSearchScope(request.scope);
    search.setFilter(request.filter);
    search.setSizeLimit(0);
    search.setPageSize(std::clamp(options.batchSize, 10, 1000));
    if (!options.sortOn.isEmpty()) {
        search.setSortOn(options.sortOn);
        search.setSortReverse(options.sortReverse);
    }
    bool first = true;
    const RowSource source = [&](QVariantList *row) {
        QVariant r;
        if (first) {
            first = false;
            search.ExecuteSearch();
            search.GetFirstRow(r);
        } else {
            search.GetNextRow(r);
        }
        if (!r.isValid())
            return false;
        *row = r.toList();
        return true;
    };
    ExportResult result = write(columns, options, source, progress);
    try {
        search.CloseSearch();
    } catch (const Exception &) {
    }
    return result;
}

}  // namespace bulk
