// arvendel-cli servers: the forest's domain controllers with their main RootDSE facts.
// arvendel-cli browse: the network (domains and their controllers) as indented text.
#include "cli/cli.h"
#include "cli/output/printer.h"
#include "network/unDcServers.h"
#include "network/unNetServer.h"
#include "network/unNetWalk.h"
#include "platform/adsi/adsvalue.h"
#include "platform/netenum/netenum.h"

#include <QHash>
#include <QRegularExpression>

namespace {

void addDnsOption(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("dns"),
                      QStringLiteral("ask this DNS server (address[:port]) for SRV records and host names "
                                     "instead of the system's resolver"),
                      QStringLiteral("address")});
}

// Applies --dns (else ARV_DNS_SERVER). False after a usage error.
bool applyDnsOption(const QCommandLineParser &parser, int *exitCode, QStringList extraDomains = {})
{
    netenum::Options o = netenum::options();
    if (parser.isSet(QStringLiteral("dns"))) {
        if (!netenum::parseDnsServer(parser.value(QStringLiteral("dns")), &o.dns)) {
            *exitCode = cli::usageError(parser, QStringLiteral("--dns needs an IP address with an optional port"));
            return false;
        }
    }
    o.domains << extraDomains;
    netenum::setOptions(o);
    return true;
}

QString resolveForBind(const QString &host) { return netenum::addressForBind(host); }

// The facts printed without --all.
bool isMainFact(const QString &attribute)
{
    static const QStringList mainFacts = {
        QStringLiteral("dnsHostName"), QStringLiteral("currentTime"), QStringLiteral("domainControllerFunctionality"),
        QStringLiteral("domainFunctionality"), QStringLiteral("highestCommittedUSN"),
        QStringLiteral("isGlobalCatalogReady"), QStringLiteral("isSynchronized")};
    return mainFacts.contains(attribute);
}

// One line per fact; a multi-valued fact on one line per value.
void printRows(QTextStream &o, const QList<TServerProperty> &rows, bool all)
{
    for (const TServerProperty &p : rows) {
        if (!all && !isMainFact(p.Attribute))
            continue;
        if (p.MultiValued) {
            o << "  " << p.Caption << ":\n";
            for (const QString &v : p.Values)
                o << "    " << v << '\n';
        } else {
            o << "  " << p.Caption << ": " << p.Value << '\n';
        }
    }
}

// A RootDSE value in JSON: its text typed by its form, since the RootDSE's attributes are
// outside the schema: TRUE/FALSE a boolean, digits a number, a generalized time a UTC time.
QVariant rootDseValue(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^-?[0-9]{1,18}$"));
    static const QRegularExpression time(QStringLiteral("^[0-9]{14}(\\.[0-9]+)?Z$"));
    if (text == QLatin1String("TRUE") || text == QLatin1String("FALSE"))
        return text == QLatin1String("TRUE");
    if (digits.match(text).hasMatch())
        return text.toLongLong();
    if (time.match(text).hasMatch()) {
        const QDateTime t = ads::parseGeneralizedTime(text.toLatin1());
        if (t.isValid())
            return t;
    }
    return text;
}

// The JSON row of one controller: dn, serverName, dnsHostName, and rootDSE (its facts by
// attribute name; the multi-valued ones arrays) or error.
cli::output::JsonObject serverRow(const TDcServer &s, const QList<TServerProperty> &rows, const QString &error, bool all)
{
    cli::output::JsonObject o;
    o.add(QStringLiteral("dn"), s.DistinguishedName)
        .add(QStringLiteral("serverName"), s.ServerName)
        .add(QStringLiteral("dnsHostName"), s.DnsHostName);
    if (!error.isEmpty())
        return o.add(QStringLiteral("error"), error);
    cli::output::JsonObject facts;
    for (const TServerProperty &p : rows) {
        if (!all && !isMainFact(p.Attribute))
            continue;
        QVariantList values;
        for (const QString &v : p.Values)
            values << rootDseValue(v);
        facts.add(p.Attribute, p.MultiValued ? QVariant(values) : values.value(0));
    }
    return o.add(QStringLiteral("rootDSE"), QVariant::fromValue(facts));
}

int runServers(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists the domain controllers of the connected forest: per controller its name, DNS host "
        "name and server object, then the main facts of its RootDSE (all of them with --all). "
        "Each controller is bound by its DNS host name, which its certificate and Kerberos service "
        "name name; only when the system cannot resolve the name but the DNS server named by --dns "
        "can, it is bound by that server's address for it."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("all"), QStringLiteral("print every RootDSE row, multi-valued ones too")});
    addDnsOption(parser);
    cli::output::addFormatOption(parser, false);
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (cli::rejectArguments(parser, &exitCode))
        return exitCode;
    cli::output::Format format;
    QString formatError;
    if (!cli::output::formatFromOptions(parser, false, &format, &formatError))
        return cli::usageError(parser, formatError);
    cli::output::Printer printer(cli::out(), format);
    const bool all = parser.isSet(QStringLiteral("all"));
    if (!applyDnsOption(parser, &exitCode))
        return exitCode;
    if (const int rc = cli::connectFromOptions(parser); rc != cli::Ok)
        return rc;
    const TConnectionContext &ctx = ConnectionContext();
    const TServerInfoCredentials c = ServerInfoCredentialsFromContext();
    QList<TDcServer> servers;
    try {
        servers = ListDcServers(c);
    } catch (const Exception &e) {
        DisconnectContext();
        return cli::directoryError(e.Message());
    }
    QTextStream &o = cli::out();
    const bool text = format == cli::output::Format::Text;
    int failures = 0;
    for (const TDcServer &s : servers) {
        if (text)
            o << "Server Name: " << s.ServerName << '\n'
              << "DNS Host Name: " << s.DnsHostName << '\n'
              << "Distinguished Name: " << s.DistinguishedName << '\n';
        const QString path = ServerRootDsePath(ctx.ServerPrefix, ctx.DcShortName, s,
                                               ctx.AuthFlags & ads::ADS_USE_ENCRYPTION, resolveForBind);
        ads::ObjectPtr rootDse;
        const ads::HRESULT h = OpenADsObject(path, c.UserName, c.Password, &rootDse, QString::fromLatin1(ads::IID_IADs),
                                             c.AuthFlags, c.UseCredentials);
        const QString error = ads::failed(h)
            ? ServerBindErrorText(s, path, c.AuthFlags, h).replace(QLatin1String("\r\n"), QLatin1String(" "))
            : QString();
        failures += error.isEmpty() ? 0 : 1;
        const QList<TServerProperty> rows = error.isEmpty() ? ServerPropertyRows(rootDse) : QList<TServerProperty>();
        if (!text) {
            printer.record({}, serverRow(s, rows, error, all));
            continue;
        }
        if (!error.isEmpty())
            o << "  Error: " << error << '\n';
        else
            printRows(o, rows, all);
        o << '\n';
    }
    o.flush();
    DisconnectContext();
    return failures == 0 ? cli::Ok : cli::DirectoryError;
}

int runBrowse(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the network as the server browser shows it: the network, its domains and their "
        "domain controllers, indented by two blanks per level. Domains: the Kerberos default "
        "realm, ldap.conf's BASE, the resolver's search domains and --domain; with --connect "
        "also the connected forest's domains (and, with --info, the controllers' computer "
        "objects read with the connection's credentials)."));
    parser.addHelpOption();
    addDnsOption(parser);
    parser.addOption({QStringLiteral("domain"), QStringLiteral("list this DNS domain too (repeatable)"),
                      QStringLiteral("name")});
    parser.addOption({QStringLiteral("no-system-domains"),
                      QStringLiteral("list only --domain and the connected forest's domains")});
    parser.addOption({QStringLiteral("info"), QStringLiteral("print each server's comment and description")});
    parser.addOption({QStringLiteral("connect"), QStringLiteral("connect first (connection options apply)")});
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (cli::rejectArguments(parser, &exitCode))
        return exitCode;
    if (!applyDnsOption(parser, &exitCode, parser.values(QStringLiteral("domain"))))
        return exitCode;
    if (parser.isSet(QStringLiteral("no-system-domains"))) {
        netenum::Options o = netenum::options();
        o.systemDomains = false;
        netenum::setOptions(o);
    }
    const bool connected = parser.isSet(QStringLiteral("connect"));
    if (connected) {
        if (const int rc = cli::connectFromOptions(parser); rc != cli::Ok)
            return rc;
        ShareConnectionWithNetwork();
    }
    QTextStream &o = cli::out();
    QHash<int, int> depth{{0, -1}};
    int nextId = 1;
    QStringList problems;
    const bool info = parser.isSet(QStringLiteral("info"));
    netwalk::Visitor v;
    v.node = [&](int parent, const netenum::Resource &, const QString &text, int image) {
        const int d = depth.value(parent) + 1;
        const int id = nextId++;
        depth.insert(id, d);
        o << QString(2 * d, QLatin1Char(' ')) << text << '\n';
        if (info && image == 2) {
            TNetServer server;
            server.setServerName(QStringLiteral("\\\\") + text);
            const QString pad(2 * d + 2, QLatin1Char(' '));
            try {
                const QString comment = server.GetComment();
                if (!comment.isEmpty())
                    o << pad << "Comment: " << comment << '\n';
                for (const QString &line : server.GetDescription().split(QStringLiteral("\r\n")))
                    o << pad << line << '\n';
            } catch (const ENTException &e) {
                o << pad << "Unknown (" << e.Message() << ")\n";
            }
        }
        return id;
    };
    v.problem = [&](const QString &p) { problems << p; };
    netwalk::Walk(nullptr, 0, v);
    o.flush();
    for (const QString &p : problems)
        cli::err() << p << '\n';
    cli::err().flush();
    if (connected)
        DisconnectContext();
    return cli::Ok;
}

} // namespace

ARV_CLI_COMMAND(servers, "list the forest's domain controllers with their RootDSE facts", runServers);
ARV_CLI_COMMAND(browse, "print the network's domains and domain controllers as a tree", runBrowse);
