// The export engine: the table-name checks, the choice of format and the row loop.
#include "bulk/exportengine.h"
#include "bulk/exportwriter.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "platform/jet/tablestore.h"
#include "platform/office/workbook.h"

#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace bulk {

namespace {

std::unique_ptr<FormatWriter> makeWriter(const QList<ExportColumn> &cols, ExportOptions &o)
{
    switch (o.type) {
    case ExportType::Csv: return makeCsvWriter(cols, o);
    case ExportType::Sql: return makeSqlWriter(cols, o);
    case ExportType::Xml: return makeXmlWriter(cols, o);
    case ExportType::Html: return makeHtmlWriter(cols, o);
    case ExportType::Workbook: return makeWorkbookWriter(cols, o);
    case ExportType::Database: return makeDatabaseWriter(cols, o);
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
