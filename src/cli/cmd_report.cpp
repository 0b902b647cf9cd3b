// arvendel-cli report: lists the predefined reports and runs one of them.
#include "cli/cli.h"
#include "cli/output/printer.h"
#include "reports/unReportCatalogue.h"
#include "reports/unReportRun.h"
#include "bulk/exportengine.h"

#include <QFileInfo>

namespace {

using namespace reports;

int listReports()
{
    QTextStream &o = cli::out();
    for (const ReportInfo &r : reportList()) {
        QString parameter;
        switch (r.parameter) {
        case ParameterKind::Days: parameter = QStringLiteral("days"); break;
        case ParameterKind::Group: parameter = QStringLiteral("group"); break;
        case ParameterKind::DynamicGroup: parameter = QStringLiteral("query-based group"); break;
        case ParameterKind::None: break;
        }
        o << r.number << '\t' << tabs()[r.tab].caption << '\t' << r.title << '\t'
          << (r.kind == ReportKind::Group ? "groups" : "users") << '\t' << parameter << '\n';
    }
    o.flush();
    return cli::Ok;
}

// The group named by --group: a distinguished name or a name, compared without regard to case.
template <typename T>
const T *findGroup(const QList<T> &list, const QString &wanted)
{
    for (const T &g : list)
        if (g.dn.compare(wanted, Qt::CaseInsensitive) == 0)
            return &g;
    for (const T &g : list)
        if (g.name.compare(wanted, Qt::CaseInsensitive) == 0)
            return &g;
    return nullptr;
}

int runReportCommand(const QCommandLineParser &parser, const QStringList &positional)
{
    bool ok = false;
    const int number = positional.value(1).toInt(&ok);
    const ReportInfo *report = ok ? reportByNumber(number) : nullptr;
    if (!report)
        return cli::usageError(parser, QStringLiteral("report run needs a report number from 0 to 33"));
    int sizeLimit = 0;
    if (parser.isSet(QStringLiteral("size-limit"))) {
        sizeLimit = parser.value(QStringLiteral("size-limit")).toInt(&ok);
        if (!ok || sizeLimit < 0)
            return cli::usageError(parser, QStringLiteral("--size-limit needs a number of 0 or more"));
    }
    const bool needsGroup = report->parameter == ParameterKind::Group || report->parameter == ParameterKind::DynamicGroup;
    if (needsGroup && !parser.isSet(QStringLiteral("group")))
        return cli::usageError(parser, QStringLiteral("report %1 needs --group").arg(number));
    if (parser.isSet(QStringLiteral("days")) && report->parameter != ParameterKind::Days)
        return cli::usageError(parser, QStringLiteral("report %1 takes no --days").arg(number));
    QString daysText = parser.value(QStringLiteral("days"));
    if (report->parameter == ParameterKind::Days && parser.isSet(QStringLiteral("days"))) {
        const int n = daysText.toInt(&ok);
        if (!ok || n < 0)
            return cli::usageError(parser, QStringLiteral("--days needs a number of 0 or more"));
    }

    // --output json / ldif prints in that form; any other value names a file (./json for a
    // file of that name).
    QString output = parser.value(QStringLiteral("output"));
    cli::output::Format format = cli::output::Format::Text;
    if (cli::output::parseFormat(output, &format)) {
        if (parser.isSet(QStringLiteral("format")) || parser.isSet(QStringLiteral("ansi")))
            return cli::usageError(parser, QStringLiteral("--format and --ansi go with --output FILE, not --output %1").arg(output));
        output.clear();
    }
    bulk::ExportType exportType = bulk::ExportType::Csv;
    int xmlType = 0;
    if (!output.isEmpty()) {
        QString format = parser.value(QStringLiteral("format")).toLower();
        if (format.isEmpty())
            format = QFileInfo(output).suffix().toLower();
        static const QHash<QString, QPair<bulk::ExportType, int>> formats = {
            {QStringLiteral("csv"), {bulk::ExportType::Csv, 0}},       {QStringLiteral("sql"), {bulk::ExportType::Sql, 0}},
            {QStringLiteral("xml"), {bulk::ExportType::Xml, 0}},       {QStringLiteral("ado-xml"), {bulk::ExportType::Xml, 1}},
            {QStringLiteral("html"), {bulk::ExportType::Html, 0}},     {QStringLiteral("htm"), {bulk::ExportType::Html, 0}},
            {QStringLiteral("xlsx"), {bulk::ExportType::Workbook, 0}}, {QStringLiteral("sqlite"), {bulk::ExportType::Database, 0}}};
        if (!formats.contains(format))
            return cli::usageError(parser, QStringLiteral("--format is csv, sql, xml, ado-xml, html, xlsx or sqlite"));
        exportType = formats.value(format).first;
        xmlType = formats.value(format).second;
    } else if (parser.isSet(QStringLiteral("format"))) {
        return cli::usageError(parser, QStringLiteral("--format needs --output"));
    }
    return cli::runConnected(parser, [&]() -> int {
        int rows = 0;
        const DomainSettings domain = readDomainSettings();
        const double now = localNow();
        QString condition, base;
        if (report->parameter == ParameterKind::Days) {
            // As the days dialog does: no number, or one below the step, becomes the step.
            const int days = daysText.isEmpty() ? daysListStep(domain) : normaliseDays(daysText, daysCheckStep(*report, domain));
            condition = daysCondition(*report, days, domain, now);
        } else if (report->parameter == ParameterKind::Group) {
            const QList<GroupChoice> groups = loadGroups();
            const GroupChoice *g = findGroup(groups, parser.value(QStringLiteral("group")));
            if (!g)
                return cli::directoryError(QStringLiteral("No group \"%1\" in the domain.").arg(parser.value(QStringLiteral("group"))));
            condition = groupCondition(number, g->dn, g->token);
        } else if (report->parameter == ParameterKind::DynamicGroup) {
            const QList<DynamicGroupChoice> groups = loadDynamicGroups();
            const DynamicGroupChoice *g = findGroup(groups, parser.value(QStringLiteral("group")));
            if (!g)
                return cli::directoryError(QStringLiteral("No query-based distribution group \"%1\" in the domain.")
                                               .arg(parser.value(QStringLiteral("group"))));
            bool baseRead = true;
            readDynamicGroup(g->dn, &condition, &base, &baseRead);
            if (!baseRead) {
                cli::err() << "The search base of \"" << g->name << "\" could not be read: the whole domain is searched.\n";
                cli::err().flush();
            }
        }
        const QString filter = reportFilter(*report, condition, domain, now);
        const QList<ReportColumn> all = columnSet(report->kind, domain);
        QList<ReportColumn> columns;
        if (parser.isSet(QStringLiteral("all-columns"))) {
            columns = all;
        } else {
            const QSet<int> hidden = initialHidden(*report, all, domain);
            for (const ReportColumn &c : all)
                if (!hidden.contains(c.key))
                    columns << c;
        }
        if (parser.isSet(QStringLiteral("with-dn")))
            columns.prepend(ReportColumn{-1000, QStringLiteral("distinguishedName"), QStringLiteral("DN"), false});
        ReportQuery q = makeQuery(*report, filter, columns, sizeLimit, base);
        if (parser.isSet(QStringLiteral("show-filter"))) {
            cli::err() << "filter: " << filter << '\n' << "base: " << q.base << '\n';
            cli::err().flush();
        }
        if (!output.isEmpty()) {
            // Through the export engine: the kept rows, in the chosen format, each written as
            // it arrives (a report over a large domain is not held in memory).
            ReportCursor cursor(q);
            bulk::ExportOptions opt;
            opt.type = exportType;
            opt.xmlType = xmlType;
            opt.fileName = output;
            opt.includeDN = false;  // --with-dn makes it a column of its own
            opt.unicode = !parser.isSet(QStringLiteral("ansi"));
            if (opt.tableName.isEmpty())
                opt.tableName = QStringLiteral("Report%1").arg(number);
            const bulk::ExportResult r = bulk::ExportEngine().write(
                bulk::columnsFromNames(q.attributes, report->kind == ReportKind::Group ? GroupTable : UserTable), opt,
                [&](QVariantList *row) { return cursor.next(row); });
            if (!r.ok)
                return cli::directoryError(r.error);
            rows = r.written;
        } else {
            cli::output::Printer printer(cli::out(), format);
            q.keepEntries = printer.wantsEntries();
            runReport(q, [&](const QVariantList &row, const TSearchEntry &entry) {
                printer.row(row, q.attributes, entry);
                return true;
            });
            rows = printer.rows();
        }
        if (parser.isSet(QStringLiteral("count"))) {
            cli::err() << rows << " rows\n";
            cli::err().flush();
        }
        return cli::Ok;
    });
}

int runReportGroup(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "report list: the predefined reports (number, tab, name, kind, parameter).\n"
        "report run N: runs report N and prints its rows as search does (see src/cli/README.md)."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("action"), QStringLiteral("list or run"));
    parser.addPositionalArgument(QStringLiteral("number"), QStringLiteral("report number (run)"));
    parser.addOptions({
        {QStringLiteral("days"), QStringLiteral("Number of days of a days report (default and minimum: the dialog's step)."), QStringLiteral("n")},
        {QStringLiteral("group"), QStringLiteral("Group of reports 18 and 19, query-based group of report 33: name or distinguished name."), QStringLiteral("group")},
        {QStringLiteral("size-limit"), QStringLiteral("At most this many rows (0: all)."), QStringLiteral("n")},
        {QStringLiteral("all-columns"), QStringLiteral("Print every column of the report's set, not only the visible ones.")},
        {QStringLiteral("with-dn"), QStringLiteral("Print each object's distinguishedName first.")},
        {QStringLiteral("show-filter"), QStringLiteral("Print the filter and base on standard error.")},
        {QStringLiteral("count"), QStringLiteral("Print the number of rows to standard error at the end.")},
        {QStringLiteral("output"), QStringLiteral("json or ldif: print the rows in that form; a file name: write the rows to it through the export engine."), QStringLiteral("json|ldif|file")},
        {QStringLiteral("format"), QStringLiteral("csv, sql, xml, ado-xml, html, xlsx or sqlite (default: from the file's extension)."), QStringLiteral("format")},
        {QStringLiteral("ansi"), QStringLiteral("Write the file in the 8-bit code page instead of UTF-16.")},
    });
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    const QStringList positional = parser.positionalArguments();
    const QString action = positional.value(0);
    if (action == QLatin1String("list") && positional.size() == 1)
        return listReports();
    if (action == QLatin1String("run") && positional.size() == 2)
        return runReportCommand(parser, positional);
    return cli::usageError(parser, QStringLiteral("use \"report list\" or \"report run N\""));
}

} // namespace

ARV_CLI_COMMAND(report, "list the predefined reports or run one", runReportGroup);
