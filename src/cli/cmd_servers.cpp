// arvendel-cli servers: the forest's domain controllers with their main RootDSE facts.
// arvendel-cli browse: the network (domains and their controllers) as indented text.
#include "cli/cli.h"
#include "network/unDcServers.h"
#include "network/unNetServer.h"
#include "network/unNetWalk.h"
#include "platform/netenum/netenum.h"

#include <QHash>

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

// One line per fact; a multi-valued fact on one line per value.
void printRows(QTextStream &o, const QList<TServerProperty> &rows, bool all)
{
    static const QStringList mainFacts = {
        QStringLiteral("dnsHostName"), QStringLiteral("currentTime"), QStringLiteral("domainControllerFunctionality"),
        QStringLiteral("domainFunctionality"), QStringLiteral("highestCommittedUSN"),
        QStringLiteral("isGlobalCatalogReady"), QStringLiteral("isSynchronized")};
    for (const TServerProperty &p : rows) {
        if (!all && !mainFacts.contains(p.Attribute))
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
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (cli::rejectArguments(parser, &exitCode))
        return exitCode;
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
    int failures = 0;
    for (const TDcServer &s : servers) {
        o << "Server Name: " << s.ServerName << '\n'
          << "DNS Host Name: " << s.DnsHostName << '\n'
          << "Distinguished Name: " << s.DistinguishedName << '\n';
        const QString path = ServerRootDsePath(ctx.ServerPrefix, ctx.DcShortName, s,
                                               ctx.AuthFlags & ads::ADS_USE_ENCRYPTION, resolveForBind);
        ads::ObjectPtr rootDse;
        const ads::HRESULT h = OpenADsObject(path, c.UserName, c.Password, &rootDse, QString::fromLatin1(ads::IID_IADs),
                                             c.AuthFlags, c.UseCredentials);
        if (ads::failed(h)) {
            ++failures;
            o << "  Error: "
              << ServerBindErrorText(s, path, c.AuthFlags, h).replace(QLatin1String("\r\n"), QLatin1String(" ")) << '\n';
        } else {
            printRows(o, ServerPropertyRows(rootDse), parser.isSet(QStringLiteral("all")));
        }
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
