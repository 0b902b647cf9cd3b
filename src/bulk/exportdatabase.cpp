// Export into a table of a table store (a database file).
#include "bulk/exportwriter.h"

#include "platform/jet/tablestore.h"

#include <QFile>
#include <QFileInfo>

namespace bulk {

namespace {

// Table stores: the values of one row as they are stored: null for absent or empty values,
// text for text columns, lists, group types and strings, and for the rest what the typed text
// holds (a quoted date or octet string as text, a number as a number).
std::vector<jet::SqliteStore::Value> rowValues(const QList<ExportColumn> &columns, const QVariantList &v,
                                               const ExportOptions &o, int groupTypeIndex)
{
    using Value = jet::SqliteStore::Value;
    std::vector<Value> values(static_cast<std::size_t>(columns.size()));
    for (int i = 0; i < columns.size(); ++i) {
        const QVariant value = i < v.size() ? v.at(i) : QVariant();
        ValueText t = valueToText(value, TextMode::Typed, o, QStringLiteral("\r\n"), i == groupTypeIndex);
        Value &out = values[static_cast<std::size_t>(i)];
        if (t.text.isEmpty())
            continue;
        const bool text = columns.at(i).isText() || t.wasList || i == groupTypeIndex ||
                          value.metaType().id() == QMetaType::QString || value.metaType().id() == QMetaType::QByteArray;
        if (!text && t.text.size() >= 2 && t.text.startsWith(QLatin1Char('\'')) && t.text.endsWith(QLatin1Char('\''))) {
            t.text = t.text.mid(1, t.text.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
        } else if (!text) {
            bool ok = false;
            out.integer = t.text.toLongLong(&ok);
            if (ok) {
                out.kind = Value::Integer;
                continue;
            }
            out.real = t.text.toDouble(&ok);
            if (ok) {
                out.kind = Value::Real;
                continue;
            }
        }
        out.kind = Value::Text;
        out.text = t.text.toUtf8();
    }
    return values;
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
        const QStringList marks(columns.size(), QStringLiteral("?"));
        if (!db.prepareInsert(QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3)")
                                  .arg(opt.tableName, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                              &why)) {
            if (error)
                *error = why;
            return false;
        }
        return true;
    }
    void row(const QVariantList &v) override
    {
        if (!err.isEmpty())
            return;
        db.insert(rowValues(columns, v, opt, groupTypeIndex), &err);
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
    QString err;
    bool existed = false;
};

}  // namespace

std::unique_ptr<FormatWriter> makeDatabaseWriter(const QList<ExportColumn> &cols, ExportOptions &o)
{
    return std::make_unique<DatabaseWriter>(cols, o);
}

}  // namespace bulk
