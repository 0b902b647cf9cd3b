// arvendel-cli connect: connects and prints the connection context.
#include "cli/cli.h"

namespace {

int runConnect(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Connects to the directory and prints the connection context, one 'Name: value' line "
        "per field. Without --server the stored connection settings are used."));
    parser.addHelpOption();
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    if (cli::rejectArguments(parser, &exitCode))
        return exitCode;
    if (const int rc = cli::connectFromOptions(parser); rc != cli::Ok)
        return rc;
    const TConnectionContext &c = ConnectionContext();
    QTextStream &o = cli::out();
    o << "ServerPrefix: " << c.ServerPrefix << '\n'
      << "DomainPath: " << c.DomainPath << '\n'
      << "DefaultNamingContext: " << c.DefaultNamingContext << '\n'
      << "DcHostName: " << c.DcHostName << '\n'
      << "DcShortName: " << c.DcShortName << '\n'
      << "DnsDomainName: " << c.DnsDomainName << '\n'
      << "DomainFunctionality: " << c.DomainFunctionality << '\n'
      << "AuthFlags: " << cli::authFlagsText(c.AuthFlags) << '\n'
      << "UseCredentials: " << (c.UseCredentials ? "true" : "false") << '\n'
      << "UserName: " << c.UserName << '\n';
    o.flush();
    DisconnectContext();
    return cli::Ok;
}

} // namespace

ARV_CLI_COMMAND(connect, "connect and print the connection context", runConnect);
