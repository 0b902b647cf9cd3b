// Export as comma-separated values.
#include "bulk/exportwriter.h"


namespace bulk {

namespace {

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
            // Only an absent text is the null text; an absent number, date or octet string is
            // empty.
            const QVariant value = at(v, i);
            const bool octet = columns.at(i).kind == ColumnKind::Octet;
            if (!value.isValid()) {
                line += columns.at(i).kind == ColumnKind::Text ? opt.nullString : QString();
                continue;
            }
            ValueText t = valueToText(value, TextMode::Display, opt, delim, isGroupType(i));
            if (t.text.isEmpty() && octet)
                continue;
            if (t.text.isEmpty())
                t.text = opt.nullString;
            line += quoted(t.text, i, t.wasList, value, quote);
        }
        sink.writeLine(line);
    }

private:
    QString sep, quote, delim;
};

}  // namespace

std::unique_ptr<FormatWriter> makeCsvWriter(const QList<ExportColumn> &cols, ExportOptions &o)
{
    return std::make_unique<CsvWriter>(cols, o);
}

}  // namespace bulk
