// arvendel-cli search: runs one TQelADSISearching and prints its rows.
#include "cli/cli.h"
#include "cli/output/printer.h"
#include "platform/adsi/adspath.h"
#include "query/filterconditions.h"
#include "query/savedqueries.h"

#include <algorithm>

namespace {

bool readCount(const QCommandLineParser &p, const char *name, int *value, QString *error)
{
    if (!p.isSet(QString::fromLatin1(name)))
        return true;
    bool ok = false;
    const int v = p.value(QString::fromLatin1(name)).toInt(&ok);
    if (!ok || v < 0) {
        *error = QStringLiteral("--%1 needs a number of 0 or more").arg(QLatin1String(name));
        return false;
    }
    *value = v;
    return true;
}

int runSearch(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs one directory search and prints every row on one line (see src/cli/README.md)."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("base"), QStringLiteral("Search root: a distinguished name (below the connected server) or an LDAP:// path; default the domain."), QStringLiteral("dn")},
        {QStringLiteral("filter"), QStringLiteral("LDAP filter; default (objectClass=<class>)."), QStringLiteral("filter")},
        {QStringLiteral("class"), QStringLiteral("Class of the default filter (default *)."), QStringLiteral("class")},
        {QStringLiteral("attrs"), QStringLiteral("Comma-separated attributes; default all, printed as name=value pairs."), QStringLiteral("list")},
        {QStringLiteral("scope"), QStringLiteral("base, one or sub (default sub)."), QStringLiteral("scope")},
        {QStringLiteral("size-limit"), QStringLiteral("At most this many rows (0: no limit)."), QStringLiteral("n")},
        {QStringLiteral("page-size"), QStringLiteral("Rows per page (0: no paging; default 100)."), QStringLiteral("n")},
        {QStringLiteral("sort"), QStringLiteral("Server-side sort on this attribute."), QStringLiteral("attribute")},
        {QStringLiteral("reverse"), QStringLiteral("Sort descending.")},
        {QStringLiteral("async"), QStringLiteral("Asynchronous search.")},
        {QStringLiteral("chase-referrals"), QStringLiteral("Referral chasing: 0 never, 32 subordinate, 64 external, 96 always."), QStringLiteral("n")},
        {QStringLiteral("count"), QStringLiteral("Print the number of rows to standard error at the end.")},
        {QStringLiteral("query"), QStringLiteral("Users matching the saved query of this name, inside the user filter as the main window applies it (instead of --filter)."), QStringLiteral("name")},
    });
    cli::output::addFormatOption(parser, true);
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (cli::rejectArguments(parser, &exitCode))
        return exitCode;

    TQelADSISearching search;
    QString error;
    cli::output::Format format;
    if (!cli::output::formatFromOptions(parser, true, &format, &error))
        return cli::usageError(parser, error);
    int sizeLimit = search.SizeLimit(), pageSize = search.PageSize(), chase = search.ChaseReferrals();
    if (!readCount(parser, "size-limit", &sizeLimit, &error) || !readCount(parser, "page-size", &pageSize, &error) ||
        !readCount(parser, "chase-referrals", &chase, &error))
        return cli::usageError(parser, error);
    int scope = search.SearchScope();
    if (parser.isSet(QStringLiteral("scope"))) {
        const QString s = parser.value(QStringLiteral("scope")).toLower();
        if (s == QLatin1String("base") || s == QLatin1String("0"))
            scope = ads::ADS_SCOPE_BASE;
        else if (s == QLatin1String("one") || s == QLatin1String("onelevel") || s == QLatin1String("1"))
            scope = ads::ADS_SCOPE_ONELEVEL;
        else if (s == QLatin1String("sub") || s == QLatin1String("subtree") || s == QLatin1String("2"))
            scope = ads::ADS_SCOPE_SUBTREE;
        else
            return cli::usageError(parser, QStringLiteral("--scope is base, one or sub"));
    }
    QString filter = parser.value(QStringLiteral("filter"));
    if (parser.isSet(QStringLiteral("query"))) {
        if (parser.isSet(QStringLiteral("filter")))
            return cli::usageError(parser, QStringLiteral("--query and --filter exclude each other"));
        const QString name = parser.value(QStringLiteral("query"));
        const query::SavedQueryList stored = query::LoadSavedQueries();
        const auto it = std::find_if(stored.queries.begin(), stored.queries.end(), [&](const query::StoredQuery &q) {
            return q.query.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (it == stored.queries.end())
            return cli::usageError(parser, QStringLiteral("no saved query is named \"%1\"").arg(name));
        if (!query::isValidFragment(it->query.text))
            return cli::directoryError(QStringLiteral("The specified search filter is invalid."));
        filter = query::userFilter(it->query.text.trimmed());
    }
    return cli::runConnected(parser, [&]() -> int {
        const TConnectionContext &c = ConnectionContext();
        const QString base = parser.value(QStringLiteral("base"));
        if (base.isEmpty())
            search.setADsPath(c.DomainPath);
        else if (base.startsWith(QStringLiteral("LDAP:"), Qt::CaseInsensitive))
            search.setADsPath(base);
        else
            search.setADsPath(c.ServerPrefix + ads::escapePathDn(base));
        ApplyContextCredentials(search);
        search.setFilter(filter);
        if (parser.isSet(QStringLiteral("class")))
            search.setObjectClass(parser.value(QStringLiteral("class")));
        search.setAttributes(parser.value(QStringLiteral("attrs")));
        search.setSearchScope(scope);
        search.setSizeLimit(sizeLimit);
        search.setPageSize(pageSize);
        search.setChaseReferrals(chase);
        search.setSortOn(parser.value(QStringLiteral("sort")));
        search.setSortReverse(parser.isSet(QStringLiteral("reverse")));
        search.setAsynchronous(parser.isSet(QStringLiteral("async")));

        cli::output::Printer printer(cli::out(), format);
        search.setKeepEntries(printer.wantsEntries());
        search.ExecuteSearch();
        QVariant row;
        search.GetFirstRow(row);
        while (row.isValid()) {
            printer.row(row, search.ColumnNames(), search.CurrentEntry());
            search.GetNextRow(row);
        }
        printer.finish(parser.isSet(QStringLiteral("count")) ? &cli::err() : nullptr);
        return cli::Ok;
    });
}

} // namespace

ARV_CLI_COMMAND(search, "run a directory search and print its rows", runSearch);
