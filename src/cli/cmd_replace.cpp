// arvendel-cli replace: find and replace one attribute across users, with the window's
// conditions and placeholders. Without --apply it only prints what would change.
#include "bulk/replaceengine.h"
#include "cli/cli.h"
#include "journal/recorder.h"
#include "platform/adsi/adspath.h"

#include <QDateTime>

namespace {

using namespace findreplace;

// A country given as a two-letter code or by its name; -1 when unknown.
int countryIndexOf(const QString &text)
{
    const QString t = text.trimmed();
    if (t.size() == 2)
        return catalogue::countryIndexByAlpha2(t);
    const auto all = catalogue::countries();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i].name.compare(t, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

QString fieldText(const QString &v) { return ReplaceLog::escape(v); }

int runReplace(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Finds users whose attribute meets a condition and replaces the value (see src/cli/README.md).\n"
        "Without --apply nothing is written: the rows are printed as DN, current value, target value."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("attribute"), QStringLiteral("The attribute (LDAP name, one of --list-attributes)."), QStringLiteral("name")},
        {QStringLiteral("list-attributes"), QStringLiteral("Print the attributes that can be replaced and end.")},
        {QStringLiteral("base"), QStringLiteral("The container: a DN below the connected server or an LDAP:// path; default the domain."), QStringLiteral("dn")},
        {QStringLiteral("scope"), QStringLiteral("one or sub; default sub for the domain, one for a --base."), QStringLiteral("scope")},
        {QStringLiteral("restrict"), QStringLiteral("An extra LDAP filter the users must also meet."), QStringLiteral("filter")},
        {QStringLiteral("find"), QStringLiteral("The value to look for (text; a DN for manager; TRUE or FALSE; a country code or name). Empty: any value."), QStringLiteral("value")},
        {QStringLiteral("where"), QStringLiteral("exactly (default), start, end, contains or not."), QStringLiteral("condition")},
        {QStringLiteral("not-set"), QStringLiteral("Find users without a value.")},
        {QStringLiteral("replace"), QStringLiteral("The new value; placeholders <%sAMAccountname%>, <%givenName%>, <%initials%>, <%sn%>, <%displayName%>, <%company%>, <%CURRENT%>. Empty: clear."), QStringLiteral("value")},
        {QStringLiteral("clear"), QStringLiteral("Clear the value.")},
        {QStringLiteral("apply"), QStringLiteral("Write the changes (one modify per user) and print each outcome.")},
        {QStringLiteral("log"), QStringLiteral("Append a record of every written row to this file (UTF-8)."), QStringLiteral("file")},
    });
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (cli::rejectArguments(parser, &exitCode))
        return exitCode;
    if (parser.isSet(QStringLiteral("list-attributes"))) {
        for (const Attribute &a : allAttributes())
            cli::out() << a.ldapName() << '\t' << a.caption() << '\n';
        cli::out().flush();
        return cli::Ok;
    }

    const Attribute *attribute = attributeByName(parser.value(QStringLiteral("attribute")));
    if (!attribute)
        return cli::usageError(parser, QStringLiteral("--attribute names one of the attributes of --list-attributes"));
    Rule rule;
    rule.attribute = *attribute;
    rule.valueNotSet = parser.isSet(QStringLiteral("not-set"));
    rule.clear = parser.isSet(QStringLiteral("clear"));
    const QString where = parser.value(QStringLiteral("where")).toLower();
    if (where.isEmpty() || where == QLatin1String("exactly"))
        rule.where = Where::IsExactly;
    else if (where == QLatin1String("not"))
        rule.where = Where::IsNot;
    else if ((where == QLatin1String("start") || where == QLatin1String("end") || where == QLatin1String("contains")) &&
             (attribute->page == Page::Main || attribute->page == Page::Memo))
        rule.where = where == QLatin1String("start") ? Where::Start : where == QLatin1String("end") ? Where::End : Where::Contains;
    else
        return cli::usageError(parser, QStringLiteral("--where is exactly, start, end, contains or not "
                                                      "(start, end and contains only for text attributes)"));
    const QString find = parser.value(QStringLiteral("find"));
    const QString replace = parser.value(QStringLiteral("replace"));
    if (attribute->page == Page::Country) {
        if (!find.trimmed().isEmpty() && (rule.findCountry = countryIndexOf(find)) < 0)
            return cli::usageError(parser, QStringLiteral("--find: unknown country \"%1\"").arg(find));
        if (!rule.clear && (rule.replaceCountry = countryIndexOf(replace)) < 0)
            return cli::usageError(parser, QStringLiteral("--replace needs a country (code or name), or --clear"));
    } else {
        rule.find = find;
        rule.replace = replace;
    }
    if (!parser.isSet(QStringLiteral("replace")) && !rule.clear)
        return cli::usageError(parser, QStringLiteral("give --replace VALUE or --clear"));
    const bool apply = parser.isSet(QStringLiteral("apply"));
    if (parser.isSet(QStringLiteral("log")) && !apply)
        return cli::usageError(parser, QStringLiteral("--log goes with --apply"));
    if (int rc = cli::Ok; apply && !cli::journalWritable(&rc))
        return rc;

    if (const int rc = cli::connectFromOptions(parser); rc != cli::Ok)
        return rc;
    const TConnectionContext ctx = ConnectionContext();
    const QString base = parser.value(QStringLiteral("base"));
    QString container = ctx.DomainPath;
    if (base.startsWith(QStringLiteral("LDAP:"), Qt::CaseInsensitive))
        container = base;
    else if (!base.isEmpty())
        container = ctx.ServerPrefix + ads::escapePathDn(base);
    bool subtree = base.isEmpty();
    const QString scope = parser.value(QStringLiteral("scope")).toLower();
    if (scope == QLatin1String("sub"))
        subtree = true;
    else if (scope == QLatin1String("one"))
        subtree = false;
    else if (!scope.isEmpty()) {
        DisconnectContext();
        return cli::usageError(parser, QStringLiteral("--scope is one or sub"));
    }

    ReplaceRun run(ctx);
    std::vector<Row> rows;
    QTextStream &o = cli::out();
    const QString error = run.preview(rule, container, subtree, parser.value(QStringLiteral("restrict")), [&](Row &&row) {
        if (!apply)
            o << fieldText(row.dn) << '\t' << fieldText(row.currentShown()) << '\t' << fieldText(row.targetShown()) << '\n';
        rows.push_back(std::move(row));
        return true;
    });
    o.flush();
    if (!error.isEmpty()) {
        DisconnectContext();
        return cli::directoryError(error);
    }
    if (!apply) {
        cli::err() << rows.size() << " items are available\n";
        cli::err().flush();
        DisconnectContext();
        return cli::Ok;
    }

    ReplaceLog log;
    if (parser.isSet(QStringLiteral("log"))) {
        QString logError;
        if (!log.open(parser.value(QStringLiteral("log")), &logError)) {
            DisconnectContext();
            return cli::directoryError(logError);
        }
    }
    // What each row held and gets, as previewed (Apply updates a written row's current value).
    std::vector<std::pair<QString, QString>> shown;
    for (const Row &row : rows)
        shown.emplace_back(row.currentShown(), row.targetShown());
    ApplyHooks hooks;
    hooks.rowDone = [&](int index, int) {
        const auto at = static_cast<std::size_t>(index);
        o << fieldText(rows[at].dn) << '\t' << fieldText(shown[at].first) << '\t' << fieldText(shown[at].second) << '\t'
          << fieldText(rows[at].outcome) << '\n';
        o.flush();
    };
    const ApplySummary s = run.apply(rule, rows, log.isOpen() ? &log : nullptr, hooks);
    log.close();
    cli::err() << s.succeeded << " succeeded, " << s.failed << " failed, " << s.skipped << " skipped, " << s.notDone
               << " not done";
    if (s.notKnown > 0)
        cli::err() << ", " << s.notKnown << " not known (may have been applied; read them again)";
    cli::err() << '\n';
    if (s.journalRefused)
        cli::err() << "The change journal could not be written; the rows after the last one written were not "
                      "changed. Give --no-journal to change the directory without recording it.\n";
    if (journal::installedRecorder() && s.succeeded > 0)
        cli::err() << "journal run: " << s.journalRun << '\n';
    if (s.logFailed)
        cli::err() << "The log file could not be written (" << log.errorText()
                   << "); the rows after the last one logged were not changed.\n";
    cli::err().flush();
    DisconnectContext();
    return s.failed + s.skipped + s.notDone + s.notKnown > 0 || s.logFailed ? cli::DirectoryError : cli::Ok;
}

} // namespace

ARV_CLI_COMMAND(replace, "find users by an attribute's value and replace it (preview unless --apply)", runReplace);
