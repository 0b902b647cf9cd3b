#pragma once
// What the export formats share inside arv_bulk_export: the writer every format implements,
// the text-file writer under the text formats, the escaping they use, and one maker per format.
#include "bulk/exportengine.h"
#include "bulk/exportinternal.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace bulk {

// Dates as ADO XML writes them (and the format the ADO XML writer sets for its generated stamp).
inline const QString kAdoDate = QStringLiteral("yyyy\"-\"mm\"-\"dd\"T\"hh:nn:ss");

QString firstChar(const QString &s, const QString &fallback);
QString xmlEscape(const QString &s, bool attribute);
QString htmlText(const QString &s);
// The encoding an XML or HTML file declares: the option as it stands, except that an 8-bit
// file never declares a 16- or 32-bit encoding (it then declares Windows-1252, its bytes).
QString declaredEncoding(const ExportOptions &o);
// A font family as a style sheet may hold it: anything but letters, digits, spaces, quotes
// and , . - _ is written as a CSS escape.
QString cssFontFamily(const QString &font);
// "#rrggbb" of a stored colour (red in the low byte). System colours have no RGB of their
// own here: window text is black, any other system colour white.
QString htmlColour(quint32 c);

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

std::unique_ptr<FormatWriter> makeCsvWriter(const QList<ExportColumn> &cols, ExportOptions &o);
std::unique_ptr<FormatWriter> makeSqlWriter(const QList<ExportColumn> &cols, ExportOptions &o);
// The DataPacket dialect, or the ADO one when o.xmlType is 1.
std::unique_ptr<FormatWriter> makeXmlWriter(const QList<ExportColumn> &cols, ExportOptions &o);
std::unique_ptr<FormatWriter> makeHtmlWriter(const QList<ExportColumn> &cols, ExportOptions &o);
std::unique_ptr<FormatWriter> makeDatabaseWriter(const QList<ExportColumn> &cols, ExportOptions &o);
std::unique_ptr<FormatWriter> makeWorkbookWriter(const QList<ExportColumn> &cols, ExportOptions &o);

}  // namespace bulk
