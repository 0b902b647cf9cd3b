// arvendel-cli group: the group lists, a group's members, member changes and the member
// preview of a query-based group, through the same code as the group windows.
#include "cli/cli.h"
#include "cli/output/printer.h"
#include "core/unConnection.h"
#include "groups/unEnumMembersThread.h"
#include "groups/unGroupList.h"
#include "groups/unGroupMembers.h"
#include "query/filtercompose.h"

#include <QRegularExpression>

namespace {

const QString kUsage = QStringLiteral(
    "Subcommands:\n"
    "  list [--query-based]          every group (or query-based group): name, type, folder, DN\n"
    "  members GROUP                 every member: name, folder, DN, how (direct, primary, nested)\n"
    "  add-member GROUP MEMBER       adds MEMBER to GROUP's member list\n"
    "  remove-member GROUP MEMBER    removes MEMBER from GROUP's member list\n"
    "  preview GROUP                 the members of a query-based group: name, folder, DN\n"
    "GROUP and MEMBER are distinguished names, or names (cn, name or sAMAccountName).");

bool looksLikeDn(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z][A-Za-z0-9-]*=.+"));
    return re.match(text).hasMatch();
}

// The distinguished name of an object of the given category named by DN or by name. Raises
// nothing; an error text when none or several match.
QString resolve(const QString &nameOrDn, const QStringList &categories, QString *error)
{
    if (looksLikeDn(nameOrDn))
        return nameOrDn;
    const TConnectionContext &c = ConnectionContext();
    QStringList kinds;
    for (const QString &cat : categories)
        kinds << query::equals(QStringLiteral("objectCategory"), cat);
    const QString filter = query::andOf({query::orOf(kinds),
                                         query::orOf({query::equals(QStringLiteral("cn"), nameOrDn),
                                                      query::equals(QStringLiteral("name"), nameOrDn),
                                                      query::equals(QStringLiteral("sAMAccountName"), nameOrDn)})});
    TQelADSISearching s;
    s.setADsPath(c.DomainPath);
    ApplyContextCredentials(s);
    s.setAttributes(QStringLiteral("distinguishedName"));
    s.setFilter(filter);
    s.setSearchScope(ads::ADS_SCOPE_SUBTREE);
    QStringList found;
    try {
        s.ExecuteSearch();
        QVariant row;
        s.GetFirstRow(row);
        while (row.isValid()) {
            found << row.toList().value(0).toString();
            if (found.size() > 1)
                break;
            s.GetNextRow(row);
        }
    } catch (const Exception &e) {
        *error = e.Message();
        return {};
    }
    if (found.size() == 1)
        return found.first();
    *error = found.isEmpty() ? QStringLiteral("No object named \"%1\" was found.").arg(nameOrDn)
                             : QStringLiteral("Several objects are named \"%1\"; give the distinguished name.").arg(nameOrDn);
    return {};
}

const QStringList kGroupCategories{QStringLiteral("Group")};
const QStringList kDynamicCategories{QStringLiteral("msExchDynamicDistributionList")};
const QStringList kMemberCategories{QStringLiteral("person"), QStringLiteral("Group"), QStringLiteral("computer")};

using cli::output::JsonObject;

// The rows below name their fields in JSON and LDIF: name, type, folder, membership.
int runList(const QCommandLineParser &parser, cli::output::Printer &printer)
{
    const groups::GroupKind kind = parser.isSet(QStringLiteral("query-based"))
        ? groups::GroupKind::QueryBasedDistributionGroups : groups::GroupKind::Groups;
    QList<groups::TGroupListEntry> rows = groups::LoadGroupList(kind);
    groups::SortGroupList(rows, groups::kSortByName);
    QTextStream &o = cli::out();
    for (const auto &r : rows) {
        if (printer.format() == cli::output::Format::Text)
            o << r.Name << '\t' << r.TypeText << '\t' << r.Folder << '\t' << r.DistinguishedName << '\n';
        else
            printer.record(r.DistinguishedName, JsonObject()
                                                    .add(QStringLiteral("name"), r.Name)
                                                    .add(QStringLiteral("type"), r.TypeText.isEmpty() ? QVariant() : r.TypeText)
                                                    .add(QStringLiteral("folder"), r.Folder));
    }
    return cli::Ok;
}

int runMembers(const QString &groupDn, int rangeSize, cli::output::Printer &printer)
{
    const groups::TGroupFacts facts = groups::ReadGroupFacts(groupDn);
    groups::TLoadOptions options;
    options.rangeSize = rangeSize;
    QTextStream &o = cli::out();
    groups::LoadGroupMembers(facts, [&](const groups::TGroupMember &m) {
        if (printer.format() == cli::output::Format::Text)
            o << m.Name << '\t' << m.Folder << '\t' << m.DistinguishedName << '\t' << groups::MemberKindText(m.Kind) << '\n';
        else
            printer.record(m.DistinguishedName, JsonObject()
                                                    .add(QStringLiteral("name"), m.Name)
                                                    .add(QStringLiteral("folder"), m.Folder)
                                                    .add(QStringLiteral("membership"), groups::MemberKindText(m.Kind)));
        return true;
    }, options);
    return cli::Ok;
}

int runChange(const QString &groupDn, const QString &memberDn, bool add)
{
    const groups::TApplyResult r = add ? groups::ApplyMembershipChanges(groupDn, {memberDn}, {})
                                       : groups::ApplyMembershipChanges(groupDn, {}, {memberDn});
    QTextStream &o = cli::out();
    for (const QString &d : r.added)
        o << "added: " << d << '\n';
    for (const QString &d : r.removed)
        o << "removed: " << d << '\n';
    for (const QString &d : r.alreadyThere)
        o << "already a member: " << d << '\n';
    for (const QString &d : r.alreadyGone)
        o << "not a member: " << d << '\n';
    o.flush();
    return cli::Ok;
}

int runPreview(const QString &groupDn, cli::output::Printer &printer)
{
    const groups::TDynamicGroupQuery q = groups::ReadDynamicGroupQuery(groupDn);
    QTextStream &o = cli::out();
    groups::PreviewMembers(q.BaseDn, q.Filter, [&](const groups::TPreviewMember &m) {
        if (printer.format() == cli::output::Format::Text)
            o << m.Name << '\t' << m.Folder << '\t' << m.DistinguishedName << '\n';
        else
            printer.record(m.DistinguishedName, JsonObject()
                                                    .add(QStringLiteral("name"), m.Name)
                                                    .add(QStringLiteral("folder"), m.Folder));
        return true;
    });
    return cli::Ok;
}

int runGroup(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists groups and their members and changes members.\n") + kUsage);
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("subcommand"), QStringLiteral("list, members, add-member, remove-member or preview"));
    parser.addOptions({
        {QStringLiteral("query-based"), QStringLiteral("list: the query-based distribution groups.")},
        {QStringLiteral("range-size"), QStringLiteral("members: values of \"member\" asked for at a time (default 1500)."), QStringLiteral("n")},
    });
    cli::output::addFormatOption(parser, true);
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    const QStringList pos = parser.positionalArguments();
    if (pos.isEmpty())
        return cli::usageError(parser, QStringLiteral("give a subcommand"));
    const QString sub = pos.first();
    const int wanted = sub == QLatin1String("list") ? 1
        : (sub == QLatin1String("members") || sub == QLatin1String("preview")) ? 2
        : (sub == QLatin1String("add-member") || sub == QLatin1String("remove-member")) ? 3 : 0;
    if (!wanted)
        return cli::usageError(parser, QStringLiteral("unknown subcommand %1").arg(sub));
    if (pos.size() != wanted)
        return cli::usageError(parser, QStringLiteral("%1 takes %2 argument(s)").arg(sub).arg(wanted - 1));
    int rangeSize = 1500;
    if (parser.isSet(QStringLiteral("range-size"))) {
        bool ok = false;
        rangeSize = parser.value(QStringLiteral("range-size")).toInt(&ok);
        if (!ok || rangeSize < 1)
            return cli::usageError(parser, QStringLiteral("--range-size needs a number of 1 or more"));
    }
    cli::output::Format format;
    QString error;
    if (!cli::output::formatFromOptions(parser, true, &format, &error))
        return cli::usageError(parser, error);
    if (format != cli::output::Format::Text && wanted == 3)
        return cli::usageError(parser, QStringLiteral("%1 takes no --output").arg(sub));
    cli::output::Printer printer(cli::out(), format);
    if (wanted == 3 && !cli::journalWritable(&exitCode))
        return exitCode;
    return cli::runConnected(parser, [&]() -> int {
        if (sub == QLatin1String("list"))
            return runList(parser, printer);
        const QString group = resolve(pos.at(1), sub == QLatin1String("preview") ? kDynamicCategories : kGroupCategories, &error);
        QString member;
        if (!group.isEmpty() && wanted == 3)
            member = resolve(pos.at(2), kMemberCategories, &error);
        if (!error.isEmpty())
            return cli::directoryError(error);
        if (sub == QLatin1String("members"))
            return runMembers(group, rangeSize, printer);
        if (sub == QLatin1String("preview"))
            return runPreview(group, printer);
        return runChange(group, member, sub == QLatin1String("add-member"));
    });
}

} // namespace

ARV_CLI_COMMAND(group, "list groups and their members, change members, preview query-based groups", runGroup);
