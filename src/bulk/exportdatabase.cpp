// Export into a table of a table store (a database file).
#include "bulk/exportwriter.h"

#include "platform/jet/tablestore.h"

#include <QFile>
#include <QFileInfo>

namespace bulk {

namespace {

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

}  // namespace

std::unique_ptr<FormatWriter> makeDatabaseWriter(const QList<ExportColumn> &cols, ExportOptions &o)
{
    return std::make_unique<DatabaseWriter>(cols, o);
}

}  // namespace bulk
