// Export as an SQL script: CREATE TABLE and one INSERT per row.
#include "bulk/exportwriter.h"

#include <QFileInfo>
#include <QStringBuilder>

namespace bulk {

namespace {

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
                    type = c.wide ? QStringLiteral("bigint") : QStringLiteral("integer");
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

}  // namespace

std::unique_ptr<FormatWriter> makeSqlWriter(const QList<ExportColumn> &cols, ExportOptions &o)
{
    return std::make_unique<SqlWriter>(cols, o);
}

}  // namespace bulk
