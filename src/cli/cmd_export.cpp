// arvendel-cli export: the bulk export without a window, every option of the export window.
#include "bulk/exportengine.h"
#include "bulk/unColumnSets.h"
#include "cli/cli.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adstypes.h"
#include "query/filtercompose.h"
#include "query/savedqueries.h"

#include <QFileInfo>

#include <csignal>
#include <unistd.h>

namespace {

struct IntOption {
    const char *name;
    int *target;
    int minimum;
};

int runExport(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Exports the users (or any objects) a search finds into a file (see src/cli/README.md)."));
    parser.addHelpOption();
    auto opt = [&](const char *name, const char *help, const char *value = nullptr) {
        if (value)
            parser.addOption({QString::fromLatin1(name), QString::fromLatin1(help), QString::fromLatin1(value)});
        else
            parser.addOption({QString::fromLatin1(name), QString::fromLatin1(help)});
    };
    opt("base", "Container: a distinguished name or an LDAP:// path; default the domain.", "dn");
    opt("scope", "one or sub (default sub).", "scope");
    opt("filter", "Complete LDAP filter; default (&(objectCategory=person)(objectClass=user)).", "filter");
    opt("query", "A saved query by name: its fragment narrows the user filter (instead of --filter).", "name");
    opt("columns", "Comma-separated LDAP names of the columns, in order.", "list");
    opt("column-set", "A saved column set by name (instead of --columns).", "name");
    opt("format", "csv, sql, xml, ado-xml, html, xlsx or sqlite (default: from the file's extension).", "format");
    opt("output", "The destination file.", "file");
    opt("ansi", "Write 8-bit text (Windows-1252) instead of UTF-16LE.");
    opt("skip", "Rows read and discarded first.", "n");
    opt("limit", "Write at most this many rows (0: all).", "n");
    opt("batch-size", "Search page size, 10 to 1000 (default 100).", "n");
    opt("no-dn", "Leave out the distinguished name column.");
    opt("sort", "Server-side sort on this LDAP name.", "attribute");
    opt("reverse", "Sort descending.");
    opt("datetime-format", "Date/time picture (default: the system's short date and long time).", "picture");
    opt("true-text", "Text of true (default True).", "text");
    opt("false-text", "Text of false (default False).", "text");
    opt("null", "Text of absent values (default null).", "text");
    opt("sql-commit-every", "Commit after every N rows (0: never).", "n");
    opt("sql-commit-statement", "Commit statement (default COMMIT).", "text");
    opt("sql-commit-after-script", "Commit at the end of the script.");
    opt("sql-term", "Statement terminator (default ;).", "text");
    opt("sql-table", "Table name of the SQL script (default: the file name in upper case).", "name");
    opt("sql-create-table", "Add the CREATE TABLE statement.");
    opt("comma", "Separator (default ,).", "char");
    opt("quote", "Quote character (default '; empty: no quoting).", "char");
    opt("no-quote-strings", "Do not quote strings.");
    opt("multi-delimiter", "Delimiter of multiple values (default |).", "char");
    opt("encoding", "XML and HTML encoding text (default Windows-1252).", "name");
    opt("no-standalone", "standalone=\"no\" in the XML declaration.");
    opt("html-title", "Page title.", "text");
    opt("html-font", "Font family (default Arial).", "name");
    opt("html-background", "Background image path.", "path");
    opt("html-template", "Colour template: Black&White, Classic, ColorFul, Gray, MS_Money, Murky, Olive, Plain, Simple.", "name");
    opt("html-template-file", "Colour template file (.htf).", "file");
    opt("cell-padding", "HTML cell padding (default 4).", "n");
    opt("cell-spacing", "HTML cell spacing (default 1).", "n");
    opt("border", "HTML border width (default 1).", "n");
    opt("table", "Table (sheet) name for xlsx and sqlite.", "name");
    opt("quiet", "No progress on standard error.");
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (cli::rejectArguments(parser, &exitCode))
        return exitCode;

    bulk::ExportOptions o;
    o.fileName = parser.value(QStringLiteral("output"));
    if (o.fileName.isEmpty())
        return cli::usageError(parser, QStringLiteral("--output is required"));
    QString format = parser.value(QStringLiteral("format")).toLower();
    if (format.isEmpty())
        format = QFileInfo(o.fileName).suffix().toLower();
    static const QHash<QString, QPair<bulk::ExportType, int>> formats = {
        {QStringLiteral("csv"), {bulk::ExportType::Csv, 0}},      {QStringLiteral("sql"), {bulk::ExportType::Sql, 0}},
        {QStringLiteral("xml"), {bulk::ExportType::Xml, 0}},      {QStringLiteral("ado-xml"), {bulk::ExportType::Xml, 1}},
        {QStringLiteral("html"), {bulk::ExportType::Html, 0}},    {QStringLiteral("htm"), {bulk::ExportType::Html, 0}},
        {QStringLiteral("xlsx"), {bulk::ExportType::Workbook, 0}}, {QStringLiteral("sqlite"), {bulk::ExportType::Database, 0}},
        {QStringLiteral("db"), {bulk::ExportType::Database, 0}}};
    if (!formats.contains(format))
        return cli::usageError(parser, QStringLiteral("--format is csv, sql, xml, ado-xml, html, xlsx or sqlite"));
    o.type = formats.value(format).first;
    o.xmlType = formats.value(format).second;
    o.unicode = !parser.isSet(QStringLiteral("ansi"));
    o.includeDN = !parser.isSet(QStringLiteral("no-dn"));
    o.sortOn = parser.value(QStringLiteral("sort"));
    o.sortReverse = parser.isSet(QStringLiteral("reverse"));
    auto text = [&](const char *name, QString *target) {
        if (parser.isSet(QString::fromLatin1(name)))
            *target = parser.value(QString::fromLatin1(name));
    };
    text("datetime-format", &o.dateTimeFormat);
    text("true-text", &o.booleanTrue);
    text("false-text", &o.booleanFalse);
    text("null", &o.nullString);
    text("sql-commit-statement", &o.sqlCommitStatement);
    text("sql-term", &o.sqlStatementTerm);
    text("sql-table", &o.sqlTableName);
    text("comma", &o.csvComma);
    text("quote", &o.csvQuote);
    text("multi-delimiter", &o.multiValueDelimiter);
    text("encoding", &o.xmlEncoding);
    text("html-title", &o.htmlTitle);
    text("html-font", &o.htmlFontName);
    text("html-background", &o.htmlBackground);
    text("table", &o.tableName);
    o.sqlCommitAfterScript = parser.isSet(QStringLiteral("sql-commit-after-script"));
    o.sqlCreateTable = parser.isSet(QStringLiteral("sql-create-table"));
    o.csvQuoteStrings = !parser.isSet(QStringLiteral("no-quote-strings"));
    o.xmlStandalone = !parser.isSet(QStringLiteral("no-standalone"));
    const IntOption ints[] = {{"skip", &o.skip, 0},           {"limit", &o.exportOnly, 0},
                              {"batch-size", &o.batchSize, 1}, {"sql-commit-every", &o.sqlCommitCount, 0},
                              {"cell-padding", &o.htmlCellPadding, 0}, {"cell-spacing", &o.htmlCellSpacing, 0},
                              {"border", &o.htmlBorderWidth, 0}};
    for (const IntOption &i : ints) {
        if (!parser.isSet(QString::fromLatin1(i.name)))
            continue;
        bool ok = false;
        const int v = parser.value(QString::fromLatin1(i.name)).toInt(&ok);
        if (!ok || v < i.minimum)
            return cli::usageError(parser, QStringLiteral("--%1 needs a number of %2 or more").arg(QLatin1String(i.name)).arg(i.minimum));
        *i.target = v;
    }
    o.batchSize = std::clamp(o.batchSize, 10, 1000);
    if (parser.isSet(QStringLiteral("html-template"))) {
        QString font;
        if (!bulk::htmlTemplate(parser.value(QStringLiteral("html-template")), &o.colours, &font))
            return cli::usageError(parser, QStringLiteral("unknown --html-template"));
        o.htmlFontName = parser.isSet(QStringLiteral("html-font")) ? o.htmlFontName : font;
    }
    if (parser.isSet(QStringLiteral("html-template-file"))) {
        QString error;
        if (!bulk::loadHtmlTemplateFile(parser.value(QStringLiteral("html-template-file")), &o.colours, &o.htmlFontName, &error))
            return cli::directoryError(error);
    }

    bulk::ExportRequest req;
    if (parser.isSet(QStringLiteral("column-set"))) {
        const int number = bulk::findColumnSet(parser.value(QStringLiteral("column-set")));
        if (number < 0)
            return cli::usageError(parser, QStringLiteral("no saved column set of that name"));
        QList<qint32> keys;
        for (const auto &c : bulk::readColumnSet(number))
            keys << c.second;
        req.columns = bulk::columnsFromKeys(keys);
    } else {
        req.columns = bulk::columnsFromNames(parser.value(QStringLiteral("columns")).split(QLatin1Char(','), Qt::SkipEmptyParts));
    }
    if (req.columns.isEmpty() && !o.includeDN)
        return cli::usageError(parser, QStringLiteral("--columns or --column-set names no column"));
    req.filter = parser.isSet(QStringLiteral("filter")) ? parser.value(QStringLiteral("filter"))
                                                        : QStringLiteral("(&(objectCategory=person)(objectClass=user))");
    if (parser.isSet(QStringLiteral("query"))) {
        if (parser.isSet(QStringLiteral("filter")))
            return cli::usageError(parser, QStringLiteral("--query and --filter exclude each other"));
        const QString name = parser.value(QStringLiteral("query"));
        bool found = false;
        for (const query::StoredQuery &q : query::LoadSavedQueries().queries)
            if (q.query.name.compare(name, Qt::CaseInsensitive) == 0) {
                const QString fragment = q.query.text.trimmed();
                if (!fragment.isEmpty())
                    req.filter = query::andOf({query::equals(QStringLiteral("objectCategory"), QStringLiteral("person")),
                                               query::equals(QStringLiteral("objectClass"), QStringLiteral("user")),
                                               query::asTerm(fragment)});
                found = true;
                break;
            }
        if (!found)
            return cli::usageError(parser, QStringLiteral("no saved query of that name"));
    }
    QString filterError;
    if (!query::isValidFilter(req.filter, &filterError))
        return cli::usageError(parser, QStringLiteral("the filter is not valid: ") + filterError);
    const QString scope = parser.value(QStringLiteral("scope")).toLower();
    if (scope.isEmpty() || scope == QLatin1String("sub") || scope == QLatin1String("subtree"))
        req.scope = ads::ADS_SCOPE_SUBTREE;
    else if (scope == QLatin1String("one") || scope == QLatin1String("onelevel"))
        req.scope = ads::ADS_SCOPE_ONELEVEL;
    else
        return cli::usageError(parser, QStringLiteral("--scope is one or sub"));

    if (const int rc = cli::connectFromOptions(parser); rc != cli::Ok)
        return rc;
    const TConnectionContext &c = ConnectionContext();
    const QString base = parser.value(QStringLiteral("base"));
    if (base.isEmpty())
        req.base = c.DomainPath;
    else if (base.startsWith(QStringLiteral("LDAP:"), Qt::CaseInsensitive))
        req.base = base;
    else
        req.base = c.ServerPrefix + ads::escapePathDn(base);

    // A write beyond a file-size limit must come back as an error, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    const bool showProgress = !parser.isSet(QStringLiteral("quiet")) && ::isatty(2);
    bulk::ExportResult r = bulk::ExportEngine().run(req, o, [&](int written) {
        if (showProgress && written % 100 == 0) {
            cli::err() << "\rExported " << written;
            cli::err().flush();
        }
        return true;
    });
    if (showProgress) {
        cli::err() << "\rExported " << r.written << '\n';
        cli::err().flush();
    }
    DisconnectContext();
    if (!r.ok)
        return cli::directoryError(r.error);
    if (r.unmappable > 0) {
        cli::err() << r.unmappable << " character(s) have no place in Windows-1252 and were written as \"?\"; export without --ansi to keep them.\n";
        cli::err().flush();
    }
    cli::out() << r.written << " rows written to " << o.fileName << '\n';
    cli::out().flush();
    return cli::Ok;
}

}  // namespace

ARV_CLI_COMMAND(export, "export the objects a search finds to CSV, SQL, XML, HTML, a workbook or a SQLite database", runExport);
