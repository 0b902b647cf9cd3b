// arvendel-cli query: the saved LDAP queries the filter builder stores, listed, shown, saved,
// renamed and deleted without a display.
#include "cli/cli.h"
#include "query/filterconditions.h"
#include "query/savedqueries.h"

namespace {

const QString kUsage = QStringLiteral("say 'query list', 'query show NAME', 'query save NAME FRAGMENT', "
                                      "'query rename OLD NEW' or 'query delete NAME'");

// The stored queries; unreadable records are reported once, on standard error.
QList<query::SavedQuery> loadQueries()
{
    const query::SavedQueryList stored = query::LoadSavedQueries();
    if (!stored.skipped.isEmpty()) {
        cli::err() << "arvendel-cli: " << query::skippedQueriesText(stored.skipped) << '\n';
        cli::err().flush();
    }
    QList<query::SavedQuery> out;
    for (const query::StoredQuery &q : stored.queries)
        out << q.query;
    return out;
}

int indexOfName(const QList<query::SavedQuery> &list, const QString &name)
{
    for (int i = 0; i < list.size(); ++i)
        if (list.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int notFound(const QString &name)
{
    cli::err() << "arvendel-cli: no saved query is named \"" << name << "\"\n";
    cli::err().flush();
    return cli::UsageError;
}

int saveAll(const QList<query::SavedQuery> &list)
{
    QString error;
    if (!query::SaveAllQueries(list, &error))
        return cli::directoryError(error);
    return cli::Ok;
}

int runQuery(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The saved LDAP queries of the filter builder (see src/cli/README.md).\n"
        "  query list                  every query: name, kind (conditions or typed), text\n"
        "  query show NAME             the query's text; with --conditions its conditions\n"
        "  query save NAME FRAGMENT    stores a new query (a valid fragment, a new name)\n"
        "  query rename OLD NEW        renames a query (names differ without regard to case)\n"
        "  query delete NAME           deletes a query; the others are numbered again from 0"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("action"), QStringLiteral("list, show, save, rename or delete"));
    parser.addOptions({
        {QStringLiteral("conditions"),
         QStringLiteral("show: print the conditions the query was composed from. save: mark the fragment as "
                        "composed from conditions, so that the filter builder reads it back into them.")},
    });
    if (!parser.parse(args)) {
        cli::err() << "arvendel-cli query: " << parser.errorText() << '\n';
        cli::err().flush();
        return cli::UsageError;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        cli::out() << parser.helpText();
        cli::out().flush();
        return cli::Ok;
    }
    const QStringList pos = parser.positionalArguments();
    const QString action = pos.value(0);
    const bool conditions = parser.isSet(QStringLiteral("conditions"));
    QTextStream &o = cli::out();

    if (action == QLatin1String("list") && pos.size() == 1) {
        for (const query::SavedQuery &q : loadQueries())
            o << q.name << '\t' << (q.fromConditions ? "conditions" : "typed") << '\t' << q.text << '\n';
        o.flush();
        return cli::Ok;
    }
    if (action == QLatin1String("show") && pos.size() == 2) {
        const QList<query::SavedQuery> list = loadQueries();
        const int i = indexOfName(list, pos.at(1));
        if (i < 0)
            return notFound(pos.at(1));
        const query::SavedQuery &q = list.at(i);
        if (!conditions) {
            o << q.text << '\n';
        } else if (!q.fromConditions) {
            o << "(typed by hand: no conditions)\n";
        } else {
            query::FilterConditions c;
            c.parse(q.text);
            for (const query::ConditionRow &r : c.rows())
                o << r.caption << '\t' << r.condition << '\t' << r.value << '\n';
        }
        o.flush();
        return cli::Ok;
    }
    if (action == QLatin1String("save") && pos.size() == 3) {
        const QString name = pos.at(1).trimmed();
        const QString text = pos.at(2).trimmed();
        QString why;
        if (name.isEmpty() || text.isEmpty())
            return cli::usageError(parser, QStringLiteral("a query needs a name and a fragment"));
        if (!query::isValidFragment(text, &why))
            return cli::usageError(parser, QStringLiteral("The specified search filter is invalid. (%1)").arg(why));
        if (conditions) {
            query::FilterConditions c;
            if (c.parse(text) != 0)
                return cli::usageError(parser, QStringLiteral("--conditions: the fragment holds terms the "
                                                              "filter builder cannot show as conditions"));
        }
        if (indexOfName(loadQueries(), name) >= 0)
            return cli::usageError(parser, QStringLiteral("The \"%1\" is already in the list.").arg(name));
        QString error;
        const QString valueName = query::SaveQuery(QStringLiteral("-1"), {name, text, conditions}, &error);
        if (valueName.isEmpty())
            return cli::directoryError(error);
        return cli::Ok;
    }
    if (action == QLatin1String("rename") && pos.size() == 3) {
        QList<query::SavedQuery> list = loadQueries();
        const int i = indexOfName(list, pos.at(1));
        if (i < 0)
            return notFound(pos.at(1));
        const QString to = pos.at(2).trimmed();
        if (to.isEmpty())
            return cli::usageError(parser, QStringLiteral("the new name is empty"));
        const int other = indexOfName(list, to);
        if (other >= 0 && other != i)
            return cli::usageError(parser, QStringLiteral("The \"%1\" is already in the list.").arg(to));
        list[i].name = to;
        return saveAll(list);
    }
    if (action == QLatin1String("delete") && pos.size() == 2) {
        QList<query::SavedQuery> list = loadQueries();
        const int i = indexOfName(list, pos.at(1));
        if (i < 0)
            return notFound(pos.at(1));
        list.removeAt(i);
        return saveAll(list);
    }
    return cli::usageError(parser, kUsage);
}

} // namespace

ARV_CLI_COMMAND(query, "list, show, save, rename or delete the saved LDAP queries", runQuery);
